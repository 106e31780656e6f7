// The run-flag word and the process-wide settings of one run, and the one reset
// of every global of the run (the libraries above register theirs).
#include "run_flags.h"

#include <algorithm>
#include <vector>

#include "console.h"

int32_t g_iFlag = 0;
int32_t silent = 0;
char g_XMLDiscoveryReport[PATH_LEN] = {0};
const char g_XMLDiscoveryReportDefault[] = "nicdiscovery.xml";
int boot_value = 0;
int32_t& boot_mode_value = boot_value;
int32_t read_discovery = 0;

namespace {

// Built on first use, so that registrars in other files may run before this one's
// statics are initialised.
std::vector<RunStateReset>& run_state_resets() {
    static std::vector<RunStateReset> resets;
    return resets;
}

}  // namespace

// noexcept: registrars run while statics are initialised, where nothing could catch
// an exception; running out of memory there ends the program either way.
bool register_run_state_reset(RunStateReset reset) noexcept {
    std::vector<RunStateReset>& resets = run_state_resets();
    if (reset != nullptr && std::find(resets.begin(), resets.end(), reset) == resets.end())
        resets.push_back(reset);
    return true;
}

void reset_run_state() {
    g_iFlag = 0;
    silent = 0;
    g_XMLDiscoveryReport[0] = '\0';
    boot_value = 0;
    read_discovery = 0;
    print_msg[0] = '\0';
    log_mellanox_event_text = 1;
    pmstflint_fout = nullptr;
    for (RunStateReset reset : run_state_resets()) reset();
}
