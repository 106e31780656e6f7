// The platform layer for the PCI bus: libpci's scan of every PCI function, and
// libpci's PCI ID database.
#pragma once

#include <string>
#include <vector>

// One PCI function as the bus scan finds it.
struct PciFunction {
    int domain = 0;
    int bus = 0;
    int dev = 0;
    int func = 0;
    unsigned vendor_id = 0;
    unsigned device_id = 0;
    unsigned device_class = 0;  // base class and subclass, 0x0200 for Ethernet
    // libpci's text for the vendor: the PCI ID database's name, or, without an
    // entry there, a text carrying the vendor number in hexadecimal.
    std::string vendor_name;
};

// Every PCI function on the bus, in the order libpci lists them (list_pci_functions
// in platform.h calls through the table to it).
std::vector<PciFunction> list_pci_functions();

// The PCI ID database's name of a device ("MT27800 Family [ConnectX-5]"), or empty.
std::string pci_device_name(unsigned vendor, unsigned device);
