// Flash execution: burns the chosen catalog image into one adapter port through the
// outside burning tool and records the verdict in the run flags.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Longest image path ("./nic_fw/" and the file name) that is handed to the tool.
constexpr size_t IMAGE_PATH_MAX = 999;

// What one burn came to.
enum burn_verdict { BURN_SKIPPED, BURN_SUCCEEDED, BURN_FAILED };
struct BurnOutcome {
    burn_verdict verdict = BURN_SKIPPED;
    int code = 0;  // what do_update_firmware returns
};

// Burns row uNicIdx if its flags mark it for flashing, sets the run flags' burn
// bits (FLAG_BURN_OK or FLAG_BURN_FAILED) and returns the verdict with the code:
// 0 when nothing was burnt or the burn succeeded; after a failed burn, the
// mismatch search's exit code (nonzero when the search did not run).
BurnOutcome burn_row(uint32_t uNicIdx);

// burn_row's code.
int do_update_firmware(uint32_t uNicIdx);

// Ends the process with 128+N when signal N asked the run to stop while a burn ran
// (the burn was let finish): logs which signal and after the burn of which adapter
// (`bus`), so that no further burn starts. Called once the burn's verdict is
// logged; a run that burns side by side calls it once all running burns have
// their verdicts.
void end_run_if_stopped(const char* bus);

// The 12 hexadecimal digits of a colon-form MAC address, in a static 13-byte text:
// how the success line names the port.
char* format_mac(const char* pStrTok);

// The burning tool for this boot mode and its argument vector (argument 0 first);
// false for a boot mode that names no tool.
struct BurnCommand {
    const char* program = nullptr;
    std::vector<std::string> args;
};
bool burn_command(int boot_mode, bool silent_run, const char* bus, const std::string& image_path,
                  BurnCommand* command);
