// The upgrade run: decide and burn every adapter in table order, then the verdict.
#pragma once

#include "console.h"

// The upgrade mode. Returns its exit status; a fault that ends the run (the event
// log or the catalog cannot be opened, a port's PCI IDs cannot be read, a stop
// signal during a burn) is left in *fault and its status returned.
int fwupg(RunFault* fault);
