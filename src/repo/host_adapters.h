// This host's Mellanox adapters with their PSIDs and PCI IDs, found the way fwpak
// finds them: libpci enumeration, the repository burning tool's device query and
// the sysfs ID files.
#pragma once

#include <string>
#include <vector>

struct HostAdapter {
    std::string address;  // "%04x:%02x:%02x.%d"
    std::string psid;
    unsigned ids[4] = {0, 0, 0, 0};  // vendor, device, subsystem vendor, subsystem device
};

// One entry per Mellanox device whose PSID and PCI IDs could be read.
std::vector<HostAdapter> host_mellanox_adapters();
