// Flash execution: burns the chosen catalog image into one adapter port through the
// outside burning tool and records the verdict in the run flags.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "flash/tool_commands.h"
#include "console.h"
#include "handles.h"
#include "nic_info.h"
#include "platform/files.h"
#include "platform/platform.h"
#include "versions/versions.h"

// Longest image path ("./nic_fw/" and the file name) that is handed to the tool.
constexpr size_t IMAGE_PATH_MAX = 999;

// What one burn came to.
enum burn_verdict { BURN_SKIPPED, BURN_SUCCEEDED, BURN_FAILED };
struct BurnOutcome {
    burn_verdict verdict = BURN_SKIPPED;
    int code = 0;  // what do_update_firmware returns
    // Set when a stop signal arrived during the burn: the run goes no further.
    RunFault stop;
};

// The form of a burn. An upgrade burns the newest catalog image and logs the
// selection; a replay burns the image the report reader put first. A silent run
// gives the tool its silent command line.
struct BurnForm {
    bool replay = false;
    bool silent_tool = false;
};
// The form the design's globals give: replay while read_discovery is set, silent
// tool while silent is SILENT_ON.
BurnForm burn_form_of_run();

// Burns row uNicIdx if its flags mark it for flashing, sets the run flags' burn
// bits (FLAG_BURN_OK or FLAG_BURN_FAILED) and returns the verdict with the code:
// 0 when nothing was burnt or the burn succeeded; after a failed burn, the
// mismatch search's exit code (nonzero when the search did not run).
BurnOutcome burn_row(uint32_t uNicIdx, const BurnForm& form);

// The burning tool for this boot mode and its argument vector (argument 0 first);
// false for a boot mode that names no tool.
struct BurnCommand {
    const char* program = nullptr;
    std::vector<std::string> args;
};

// The data file of one burn: a new /tmp file that receives the tool's output.
using BurnDataFile = DataFile;

// A burn made ready up to the start of the tool: the image is chosen, the selection
// line logged, the command built. When there is nothing to run (`runs` false), the
// preparation's outcome is the burn's.
struct PreparedBurn {
    bool runs = false;
    BurnOutcome outcome;
    std::string bus;
    std::string image_path;
    BurnCommand command;
    BurnDataFile data;
    // A tool that exits 0 has not necessarily written the flash: after it, the
    // adapter is queried once more (`query`, its output appended to the data file
    // from `query_from` on; -1 before it starts), and the burn has succeeded only
    // when the flash holds `expected`, the version of the catalog entry the burn was
    // chosen from.
    fw_version expected{};
    BurnCommand query;
    off_t query_from = -1;
    bool query_ran = false;  // the query was started and waited for
};
PreparedBurn prepare_burn(uint32_t uNicIdx, const BurnForm& form);

// Where the verification query's output starts: the end of the burn's output.
void mark_query_start(PreparedBurn* burn);

// The verdict of a prepared burn whose tool has run (or could not be started), and
// whose verification query has run when the tool exited 0: run flags, console
// lines and log lines as burn_row gives them.
BurnOutcome conclude_burn(const nic_info& row, const PreparedBurn& burn, const ToolRun& run);

// Whether the console shows the tool's output (runs that are not silent).
bool show_tool_output();

// burn_row's code, in the form of the run (burn_form_of_run).
int do_update_firmware(uint32_t uNicIdx);

// When signal N asked the run to stop while a burn ran (the burn was let finish):
// logs which signal and after the burn of which adapter (`bus`), and returns the
// fault that ends the run with 128+N, so that no further burn starts. Otherwise no
// fault. Called once the burn's verdict is logged; a run that burns side by side
// calls it once all running burns have their verdicts.
RunFault stop_fault(const char* bus);

// The 12 hexadecimal digits of a colon-form MAC address, in a static 13-byte text:
// how the success line names the port.
char* format_mac(const char* pStrTok);

bool burn_command(int boot_mode, bool silent_run, const char* bus, const std::string& image_path,
                  BurnCommand* command);
// The query of one adapter by the tool of burn_command, as a direct command.
bool query_command(int boot_mode, const char* bus, BurnCommand* command);
