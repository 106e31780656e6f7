// The discovery report reader and replay (-u).
#include "report/report_reader.h"

#include <cstdio>

// Not built yet: refuses the mode with one clear line.
int read_discovery_report() {
    fprintf(stderr, "fwpak: the report replay mode is not available in this build\n");
    return 1;
}
