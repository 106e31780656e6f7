// The run-flag word and the process-wide settings of one run.
#include "run_flags.h"

int32_t g_iFlag = 0;
int32_t silent = 0;
char g_XMLDiscoveryReport[PATH_LEN] = {0};
const char g_XMLDiscoveryReportDefault[] = "nicdiscovery.xml";
int32_t boot_mode_value = 0;
int boot_value = 0;
int32_t read_discovery = 0;
