// The installed firmware report (-c): per Mellanox port, its PCI IDs, catalog
// name, installed version and every version the repository offers.
#pragma once

#include "console.h"
#include "nic_info.h"

// Opens the event log, builds the adapter table and prints one block per row
// whose installed state is known. Returns 0 (the build's result is not examined),
// or the status of a fault that ends the run, left in *fault.
int show_current(RunFault* fault);

// Prints the block of one adapter row through print_message. An adapter without
// catalog images shows an empty name in the NIC column.
void print_installed_block(const nic_info& nic);
