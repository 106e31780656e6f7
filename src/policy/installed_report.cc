// The installed firmware report (-c).
#include "policy/installed_report.h"

#include <cstdio>

// Not built yet: refuses the mode with one clear line.
int show_current() {
    fprintf(stderr, "fwpak: the installed firmware report mode is not available in this build\n");
    return 1;
}
