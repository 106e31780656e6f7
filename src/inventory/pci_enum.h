// PCI enumeration: finds the network devices on the PCI bus (one entry per
// physical device) with their vendor names, and reads a device's PCI IDs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

extern "C" {
#include <pci/pci.h>
}

#include "platform/pci_scan.h"

// Bytes of one slot of the interface and vendor-name lists (49 characters: a
// longer vendor name is cut).
constexpr int PCI_TEXT_LEN = 50;

// Lists the PCI devices (list_pci_functions) whose class is one of the four codes of
// pmatch_pattern, reduced to the lowest matching function of each physical device and sorted by
// address. *pppif receives MAX_NICS slots of PCI_TEXT_LEN bytes with the address
// texts ("%04x:%02x:%02x.%d"), *vendor_name as many with the vendor names libpci
// gives (the PCI ID database's name, or a text carrying the vendor number), and
// *pif_count the number listed. The lists are allocated in every case; free them
// with free_text_list. SR-IOV virtual functions (a "physfn" link in their sysfs
// directory) are not listed. A server with more than MAX_NICS such devices lists
// the first MAX_NICS by address, says so on standard error, logs the address of
// each device left out, and sets g_nLeftOut to their number (0 otherwise).
// Returns 0, or 1 after printing "NO Interface Found\n" when nothing is listed.
int get_interface_list(char*** pppif, char*** vendor_name, const int32_t* pmatch_pattern,
                       int32_t* pif_count);

// Whether a vendor name from get_interface_list is Mellanox's: the name contains
// "Mellanox" or "15B3" (the number libpci gives without its ID database), any case.
bool is_mellanox_vendor(const char* vendor_name);

// Frees a list made by get_interface_list, slots included; null is allowed.
void free_text_list(char** list);

// Parses "domain:bus:slot.function" (hex fields; an empty field or "*" leaves the
// filter field as it is) into f. Returns null, or the message of the first check
// that fails: "Invalid domain number" (domain above FF), "Invalid bus number",
// "Invalid input. Either colon or dot missing!", "Invalid slot number",
// "Invalid function number".
const char* pci_filter_parse_pciid(struct pci_filter* f, const char* str);

// qsort comparison of two address texts (pointers to char*), ignoring letter case.
int cmp_pci_id_nums(const void* pci_id1, const void* pci_id2);

// From address texts sorted with cmp_pci_id_nums, keeps the first function of each
// physical device (first 10 characters, letter case ignored) whose address parses,
// at most `limit` of them; *left_out receives the first function of every further
// device.
std::vector<std::string> reduce_to_devices(const std::vector<std::string>& sorted, size_t limit,
                                           std::vector<std::string>* left_out);

// Reads the vendor, device, subsystem vendor and subsystem device IDs of address
// pbus_info from sysfs. Returns 0 with all four stored; 1 (nothing stored) for a null
// or empty address, or after "ERROR: could not open %s (errno=%d), %s,%d\n" on
// standard error when an attribute file cannot be opened.
int get_pci_info(const char* pbus_info, int32_t* ppci_ven, int32_t* ppci_dev, int32_t* ppci_sub_ven,
                 int32_t* ppci_sub_dev);

// True for a PCI address "domain:bus:device.function" in hexadecimal (domain of 4
// to 8 digits, bus and device of 2, function 0 to 7), such as 0000:05:00.0: the
// only form that may reach an outside tool.
bool is_pci_address(const char* text);
