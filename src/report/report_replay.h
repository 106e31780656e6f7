// The report replay (-u): burns what a discovery report recommends.
#pragma once

#include "console.h"

// The mode's entry point: 0 when at least one device went through without error
// and no burn failed; 2 otherwise; or the status of a fault that ends the run
// (the event log or the catalog cannot be opened, a stop signal during the
// burns), left in *fault.
int read_discovery_report(RunFault* fault);
