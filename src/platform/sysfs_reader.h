// The platform layer for sysfs: the only code that opens files under /sys.
#pragma once

#include <string>
#include <vector>

// The kernel's directory of PCI devices, one entry per address text.
#define SYSFS_PCI_DEVICES "/sys/bus/pci/devices"

// Reads one hexadecimal number ("%x", a leading 0x accepted) from a sysfs attribute
// file. Returns 0 (a number that cannot be read leaves *value at 0), or -1 with
// errno set when the file cannot be opened.
int sysfs_read_hex(const char* path, unsigned int* value);

// True when the entry `path` exists, a link counting as itself (its target is not
// followed): a PCI function whose directory holds a "physfn" link is an SR-IOV
// virtual function.
bool sysfs_entry_exists(const char* path);

// Lists a sysfs directory's entries in alphabetical order, without "." and "..".
// Returns false with errno set when the directory cannot be read.
bool sysfs_list_dir(const char* dir, std::vector<std::string>* entries);
