// Flash execution: burns the chosen catalog image into one adapter port through the
// outside burning tool and records the verdict in the run flags.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Longest image path ("./nic_fw/" and the file name) that is handed to the tool.
constexpr size_t IMAGE_PATH_MAX = 999;

// Burns row uNicIdx if its flags mark it for flashing. Returns 0 when nothing was
// burnt or the burn succeeded; after a failed burn, the mismatch search's exit code
// (nonzero when the search did not run).
int do_update_firmware(uint32_t uNicIdx);

// Ends the process with 128+N when signal N asked the run to stop while a burn ran
// (the burn was let finish): logs which signal and after the burn of which adapter
// (`bus`), so that no further burn starts. Called once the burn's verdict is
// logged; a run that burns side by side calls it once all running burns have
// their verdicts.
void end_run_if_stopped(const char* bus);

// The burning tool for this boot mode and its argument vector (argument 0 first);
// false for a boot mode that names no tool.
struct BurnCommand {
    const char* program = nullptr;
    std::vector<std::string> args;
};
bool burn_command(int boot_mode, bool silent_run, const char* bus, const std::string& image_path,
                  BurnCommand* command);
