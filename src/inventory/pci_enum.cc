// PCI enumeration over the platform's bus scan, and the PCI IDs of one device
// through sysfs.
#include "inventory/pci_enum.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <strings.h>

#include "console.h"
#include "platform/sysfs_reader.h"
#include "nic_info.h"

namespace {

constexpr char kSysfsPciDevices[] = SYSFS_PCI_DEVICES;
constexpr int kSysfsPathLen = 128;
// The first 10 characters of an address text ("dddd:bb:ss") name the physical device.
constexpr size_t kDevicePrefixLen = 10;

char** alloc_text_list() {
    char** list = static_cast<char**>(calloc(MAX_NICS, sizeof(char*)));
    if (list == nullptr) {
        fatal_out_of_memory(FWPAK_SOURCE, __LINE__);
    }
    for (int i = 0; i < MAX_NICS; ++i) {
        list[i] = static_cast<char*>(calloc(1, PCI_TEXT_LEN));
        if (list[i] == nullptr) {
            fatal_out_of_memory(FWPAK_SOURCE, __LINE__);
        }
    }
    return list;
}

std::string address_text(const PciFunction& f) {
    char text[PCI_TEXT_LEN];
    snprintf(text, sizeof text, "%04x:%02x:%02x.%d", f.domain, f.bus, f.dev, f.func);
    return text;
}

// Reads a hex field between begin and end; an empty field or "*" leaves *out as it
// is. Returns false for a field that is not a hex number up to `max`.
bool parse_hex_field(const char* begin, const char* end, unsigned long max, int* out) {
    size_t len = static_cast<size_t>(end - begin);
    if (len == 0 || (len == 1 && *begin == '*'))
        return true;
    unsigned long value = 0;
    for (const char* p = begin; p < end; ++p) {
        char c = *p;
        int digit = (c >= '0' && c <= '9')   ? c - '0'
                    : (c >= 'a' && c <= 'f') ? c - 'a' + 10
                    : (c >= 'A' && c <= 'F') ? c - 'A' + 10
                                             : -1;
        if (digit < 0)
            return false;
        value = value * 16 + static_cast<unsigned long>(digit);
        if (value > max)
            return false;
    }
    *out = static_cast<int>(value);
    return true;
}

bool matches_class(const PciFunction& f, const int32_t* pmatch_pattern) {
    for (int i = 0; i < 4; ++i) {
        if (static_cast<int32_t>(f.device_class) == pmatch_pattern[i])
            return true;
    }
    return false;
}

// An SR-IOV virtual function has no flash of its own (the burning tool's own scan
// skips it too); sysfs marks it with a "physfn" link to its physical function.
bool is_virtual_function(const std::string& address) {
    std::string link = std::string(SYSFS_PCI_DEVICES) + "/" + address + "/physfn";
    return sysfs_entry_exists(link.c_str());
}

// The matching functions' addresses, and the vendor name of each address.
struct Candidates {
    std::vector<std::string> addresses;
    std::map<std::string, std::string> vendor_names;
};

Candidates matching_functions(const int32_t* pmatch_pattern) {
    Candidates found;
    for (const PciFunction& f : list_pci_functions()) {
        if (!matches_class(f, pmatch_pattern))
            continue;
        std::string address = address_text(f);
        if (is_virtual_function(address))
            continue;
        found.vendor_names[address] = f.vendor_name;
        found.addresses.push_back(std::move(address));
    }
    return found;
}

void sort_addresses(std::vector<std::string>* addresses) {
    if (addresses->empty())
        return;  // qsort must not see the null data of an empty vector
    std::vector<const char*> ptrs;
    for (const std::string& a : *addresses) ptrs.push_back(a.c_str());
    qsort(ptrs.data(), ptrs.size(), sizeof(const char*), cmp_pci_id_nums);
    std::vector<std::string> sorted(ptrs.begin(), ptrs.end());
    addresses->swap(sorted);
}

// Each adapter left out is named in the event log; the modes that act on every
// adapter end in failure for it (g_nLeftOut).
void report_left_out(const std::vector<std::string>& left_out) {
    fprintf(stderr,
            "FWUPG_WARNING: %zu more network devices found than the %d the adapter table "
            "holds; only the first %d by PCI address are listed\n",
            left_out.size(), MAX_NICS, MAX_NICS);
    log_eventf(LOG_WARNING,
               "get_interface_list: %zu network devices beyond the first %d are not listed\n",
               left_out.size(), MAX_NICS);
    for (const std::string& address : left_out)
        log_eventf(LOG_ERROR, "get_interface_list: adapter %s left out: the table holds %d\n",
                   address.c_str(), MAX_NICS);
}

bool is_hex_run(const char* text, size_t min_len, size_t max_len, char end, const char** rest) {
    size_t n = 0;
    while (n <= max_len && isxdigit(static_cast<unsigned char>(text[n]))) ++n;
    if (n < min_len || n > max_len || text[n] != end)
        return false;
    *rest = text + n + 1;
    return true;
}

}  // namespace

int cmp_pci_id_nums(const void* pci_id1, const void* pci_id2) {
    return strcasecmp(*static_cast<const char* const*>(pci_id1),
                      *static_cast<const char* const*>(pci_id2));
}

const char* pci_filter_parse_pciid(struct pci_filter* f, const char* str) {
    // The domain is read from the first four characters (stopping early at a
    // colon): a five-digit domain reads as 1000 hex or more and fails here.
    size_t len = strlen(str);
    const char* colon = strchr(str, ':');
    size_t domain_len = std::min<size_t>(colon != nullptr ? colon - str : len, 4);
    if (!parse_hex_field(str, str + domain_len, 0xff, &f->domain))
        return "Invalid domain number";
    if (colon == nullptr)
        return "Invalid input. Either colon or dot missing!";
    const char* bus = colon + 1;
    if (!parse_hex_field(bus, bus + strnlen(bus, 2), 0xff, &f->bus))
        return "Invalid bus number";
    const char* dot = strchr(str, '.');
    if (dot == nullptr)
        return "Invalid input. Either colon or dot missing!";
    const char* slot = strrchr(str, ':') + 1;
    if (slot > dot || !parse_hex_field(slot, dot, 0x1f, &f->slot))
        return "Invalid slot number";
    if (!parse_hex_field(dot + 1, str + len, 7, &f->func))
        return "Invalid function number";
    return nullptr;
}

std::vector<std::string> reduce_to_devices(const std::vector<std::string>& sorted, size_t limit,
                                           std::vector<std::string>* left_out) {
    std::vector<std::string> devices;
    std::string last;
    left_out->clear();
    for (const std::string& candidate : sorted) {
        if (strncasecmp(candidate.c_str(), last.c_str(), kDevicePrefixLen) == 0)
            continue;
        last = candidate;
        pci_filter filter{};
        if (pci_filter_parse_pciid(&filter, candidate.c_str()) != nullptr)
            continue;
        if (devices.size() < limit)
            devices.push_back(candidate);
        else
            left_out->push_back(candidate);
    }
    return devices;
}

int get_interface_list(char*** pppif, char*** vendor_name, const int32_t* pmatch_pattern,
                       int32_t* pif_count) {
    *pppif = alloc_text_list();
    *vendor_name = alloc_text_list();
    *pif_count = 0;

    Candidates candidates = matching_functions(pmatch_pattern);
    sort_addresses(&candidates.addresses);
    std::vector<std::string> left_out;
    std::vector<std::string> devices = reduce_to_devices(candidates.addresses, MAX_NICS, &left_out);
    g_nLeftOut = static_cast<int32_t>(left_out.size());
    if (!left_out.empty())
        report_left_out(left_out);

    int32_t count = 0;
    for (const std::string& address : devices) {
        snprintf((*pppif)[count], PCI_TEXT_LEN, "%s", address.c_str());
        snprintf((*vendor_name)[count], PCI_TEXT_LEN, "%s",
                 candidates.vendor_names[address].c_str());
        ++count;
    }
    *pif_count = count;
    if (count == 0) {
        printf("NO Interface Found\n");
        return 1;
    }
    return 0;
}

bool is_mellanox_vendor(const char* vendor_name) {
    return strcasestr(vendor_name, "Mellanox") != nullptr ||
           strcasestr(vendor_name, "15B3") != nullptr;
}

void free_text_list(char** list) {
    if (list == nullptr)
        return;
    for (int i = 0; i < MAX_NICS; ++i) free(list[i]);
    free(list);
}

int get_pci_info(const char* pbus_info, int32_t* ppci_ven, int32_t* ppci_dev, int32_t* ppci_sub_ven,
                 int32_t* ppci_sub_dev) {
    if (pbus_info == nullptr || pbus_info[0] == '\0')
        return 1;
    static const char* const kFiles[4] = {"vendor", "device", "subsystem_vendor",
                                          "subsystem_device"};
    unsigned int ids[4] = {0, 0, 0, 0};
    for (int i = 0; i < 4; ++i) {
        char path[kSysfsPathLen];
        int n = snprintf(path, sizeof path, "%s/%s/%s", kSysfsPciDevices, pbus_info, kFiles[i]);
        // A cut path would name some other file: refuse it as unopenable.
        int rc = -1;
        if (n >= 0 && n < kSysfsPathLen)
            rc = sysfs_read_hex(path, &ids[i]);
        else
            errno = ENAMETOOLONG;
        if (rc != 0) {
            fprintf(stderr, "ERROR: could not open %s (errno=%d), %s,%d\n", path, errno,
                    FWPAK_SOURCE, __LINE__);
            return 1;
        }
    }
    *ppci_ven = static_cast<int32_t>(ids[0]);
    *ppci_dev = static_cast<int32_t>(ids[1]);
    *ppci_sub_ven = static_cast<int32_t>(ids[2]);
    *ppci_sub_dev = static_cast<int32_t>(ids[3]);
    return 0;
}

bool is_pci_address(const char* text) {
    if (text == nullptr)
        return false;
    const char* rest = text;
    if (!is_hex_run(rest, 4, 8, ':', &rest) || !is_hex_run(rest, 2, 2, ':', &rest) ||
        !is_hex_run(rest, 2, 2, '.', &rest))
        return false;
    return rest[0] >= '0' && rest[0] <= '7' && rest[1] == '\0';
}
