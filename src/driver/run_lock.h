// The host lock of a run: /run/fwpak.lock, taken before the first query, exclusive
// for the runs that burn and shared for those that only query, so that queries
// may run together but never beside a burn, and two burns never run at once. The
// descriptor is inherited by every tool the run starts, so that a burning tool
// keeps the lock held after its run has been killed.
#pragma once

#include <cstdint>
#include <string>

constexpr char HOST_LOCK_PATH[] = "/run/fwpak.lock";
constexpr int RUN_LOCK_REFUSED = 2;

// Takes the lock for the mode of the option bits `flags` (shared for -c and -d,
// exclusive for every other mode). Returns 0 to go on: with the lock, or without
// it after a warning in the log when /run cannot take the file (a read-only
// container). Returns RUN_LOCK_REFUSED when another run holds the lock or the path
// is no plain file: standard error and the log say which run holds it, and no tool
// has been started. The event log must be open.
int take_run_lock(int32_t flags);

// Whether this run holds the lock.
bool run_lock_held();

// The holder line this run writes into the lock file:
// "pid=N lock=exclusive|shared started=TIME mode=OPTIONS".
std::string lock_holder_line(int pid, bool exclusive, const std::string& started, int32_t flags);

// The holders named by the lock file's lines, for the refusal: "pid N (OPTIONS,
// exclusive, started TIME)" joined by "; ". A holder whose process has ended is
// said to live on in a tool it started (the descriptor the tool inherited); when
// some holders still run, only those are named.
std::string describe_lock_holders(const std::string& note);
