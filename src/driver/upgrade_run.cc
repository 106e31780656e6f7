// The upgrade run: decide and burn every adapter in table order, then the verdict.
#include "driver/upgrade_run.h"

#include <cstdio>

// Not built yet: refuses the mode with one clear line.
int fwupg() {
    fprintf(stderr, "fwpak: the upgrade mode is not available in this build\n");
    return 1;
}
