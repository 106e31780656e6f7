// What guards a burn from the outside world: its start on the disk before the tool
// runs (the event log's start line and the record of burns in progress), and a
// systemd-logind inhibitor that holds back a shutdown, reboot or suspend that
// someone else starts while a flash is being written.
#pragma once

#include <string>
#include <vector>

#include "flash/flash_exec.h"
#include "handles.h"

// Just before the burn's tool starts: the start line (adapter, image, data file)
// in the log and the burn's record, both on the disk.
void burn_starting(const PreparedBurn& burn);
// Once the burn's verdict is in the log: its record is cleared.
void burn_ended(const PreparedBurn& burn);

// Holds the inhibitor from its construction, before the first of the burns of
// `buses` starts, until its destruction, after the last one has ended. Where there
// is no system bus or no logind, the burns go on without it, and the log says so
// once per run (information).
class ShutdownInhibitor {
  public:
    explicit ShutdownInhibitor(const std::vector<std::string>& buses);
    ShutdownInhibitor(const ShutdownInhibitor&) = delete;
    ShutdownInhibitor& operator=(const ShutdownInhibitor&) = delete;

  private:
    UniqueFd fd_;
};

// The reason logind shows for the inhibitor: the adapters being written.
std::string inhibitor_reason(const std::vector<std::string>& buses);
