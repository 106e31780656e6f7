// The report replay (-u): burns what a discovery report recommends.
#pragma once

// The mode's entry point: 0 when at least one device went through without error
// and no burn failed; 2 otherwise.
int read_discovery_report();
