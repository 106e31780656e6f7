// The run-flag word and the other process-wide settings of one run.
#pragma once

#include <cstdint>

// Option bits, set only while the command line is parsed.
constexpr int32_t FLAG_SHOW_CURRENT = 0x1;  // -c
constexpr int32_t FLAG_SILENT = 0x2;        // -s
constexpr int32_t FLAG_FORCE = 0x4;         // -f, -F
constexpr int32_t FLAG_P = 0x8;             // -p
constexpr int32_t FLAG_YES = 0x10;          // -y
constexpr int32_t FLAG_DISCOVERY = 0x20;    // -d
constexpr int32_t FLAG_REPLAY = 0x40;       // -u
constexpr int32_t OPTION_BITS = 0x7f;

// Run-status bits, set during the run and never cleared.
constexpr int32_t FLAG_CANCELLED = 0x100;
constexpr int32_t FLAG_BURN_FAILED = 0x200;
constexpr int32_t FLAG_BURN_OK = 0x400;
constexpr int32_t FLAG_STOP_ASKING = 0x800;
constexpr int32_t FLAG_NOTICE_LOGGED = 0x1000;

constexpr int SILENT_ON = 2;  // the only value of `silent` that is tested
constexpr int PATH_LEN = 4096;

extern int32_t g_iFlag;
extern int32_t silent;
extern char g_XMLDiscoveryReport[PATH_LEN];
extern const char g_XMLDiscoveryReportDefault[];
// Which burning tool every step runs, held once: the boot-mode check's result
// (get_boot_mode stores it). 0: the repository's mstflint; 1: the installed flint
// (the query takes flint for any nonzero value, the burn refuses any other).
extern int boot_value;
// The design's name under which the burn reads the same holder.
extern int32_t& boot_mode_value;
extern int32_t read_discovery;  // nonzero while a report is replayed

// Puts every global of the run back to its value at start-up, for a test between
// cases: the run flags and settings above, the console's and the event log's state,
// and the globals of each library that registered its reset below. It forgets, and
// neither frees nor closes, what a caller put there (adapter rows, the log file):
// that caller owns them.
void reset_run_state();

// A library that keeps globals of the run registers their reset here, from the file
// that defines them, so the reset is in the program whenever the globals are (a
// static library's object file is linked only when something uses it). Returns true,
// to initialise the registrar: `[[maybe_unused]] const bool r = register_run_state_reset(f);`.
using RunStateReset = void (*)();
bool register_run_state_reset(RunStateReset reset) noexcept;
