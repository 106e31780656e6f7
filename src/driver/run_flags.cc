// The run-flag word and the process-wide settings of one run.
#include "run_flags.h"

#include "console.h"

int32_t g_iFlag = 0;
int32_t silent = 0;
char g_XMLDiscoveryReport[PATH_LEN] = {0};
const char g_XMLDiscoveryReportDefault[] = "nicdiscovery.xml";
int32_t boot_mode_value = 0;
int boot_value = 0;
int32_t read_discovery = 0;

void reset_run_state() {
    g_iFlag = 0;
    silent = 0;
    g_XMLDiscoveryReport[0] = '\0';
    boot_mode_value = 0;
    boot_value = 0;
    read_discovery = 0;
    print_msg[0] = '\0';
    log_mellanox_event_text = 1;
}
