// The inventory build: fills the adapter table with every listed network device,
// the installed firmware of each Mellanox port and its catalog images.
#pragma once

#include "console.h"
#include "nic_info.h"

// Results of build_NIC_list.
constexpr int BUILD_OK = 0;               // a Mellanox port gave both version and PSID
constexpr int BUILD_NO_MELLANOX = 1;      // no Mellanox port (or no device at all)
constexpr int BUILD_NO_PORT_QUERIED = 2;  // Mellanox ports, none gave version and PSID
constexpr int BUILD_FATAL = -1;           // the run cannot go on: *fault says why

// The row current_nic_fw works on.
extern nic_info* curnic;

// Lists the network devices, prints them, and for every Mellanox one (vendor name
// containing "Mellanox" or "15B3", any case) queries version and PSID, reads the PCI
// IDs and attaches the catalog's images. Sets g_ninfo, g_nNics, g_nMellanoxPorts,
// nic_count (= g_nNics afterwards) and fw_number, both allocated with calloc (the
// upgrade run frees them with free). Ports whose query fails are recorded in a data
// file "/tmp/dataXXXXXX" that is left behind. Console lines go through
// print_message. Returns BUILD_OK, BUILD_NO_MELLANOX or BUILD_NO_PORT_QUERIED; or
// BUILD_FATAL, stopping at once, with *fault (status 1) for missing PCI ID files of
// a Mellanox port ("FWUPG_ERROR: RC = 1" block) or a catalog that cannot be opened
// (logged only).
int build_NIC_list(RunFault* fault);

// Parses every row's pfirmware_ver into its installed triple and sets flags bit 1.
// No mode calls it. Returns 0.
int current_nic_fw();
