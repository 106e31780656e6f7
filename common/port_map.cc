// The slot and bay map. The PCI device directory and the management programs are
// reached only through the platform layer.
#include "common/port_map.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/common_utilities.h"
#include "console.h"
#include "platform/command_runner.h"
#include "platform/sysfs_reader.h"

const char rezuz_utils[] = "/opt/tandrel/utils/rezuz";
const char rezuz_sbin[] = "/sbin/rezuz";
const char dodaruru_utils[] = "/opt/tandrel/utils/dodaruru";
const char dodaruru_sbin[] = "/sbin/dodaruru";
const char lspci_sbin[] = "/sbin/lspci";
const char pci_devices_dir[] = SYSFS_PCI_DEVICES;

nct_network_adapter* net_adapter_list_head = nullptr;
const char* rezuz_cmd = nullptr;
const char* dodaruru_cmd = nullptr;
int32_t need_init = 1;

namespace {

// Command lines of the management programs and lspci. The slot program's columns 1,
// 2 and 6 are bus, device and slot.
constexpr char kSlotCommand[] = "%s -i 2>/dev/null | awk '{print $1\" \"$2\" \"$6;}'";
constexpr char kPortMapCommand[] = "%s -s \"show portmap\" 2>/dev/null";
constexpr char kPartitionCommand[] = " %s -s %x:%x";

constexpr int kSlotHeaderLines = 2;
constexpr int kPortMapHeaderLines = 3;
constexpr int kPartitionedFunctions = 8;
constexpr unsigned int kEthernetClass = 0x20000;

struct LineBuffer {
    char* text = nullptr;
    size_t capacity = 0;
    ~LineBuffer() { free(text); }
    bool next(FILE* f) { return getline(&text, &capacity, f) >= 0; }
};

// The first of the two paths that exists; a found path is remembered for good, a
// missing one is looked for again at the next need.
const char* find_program(const char** remembered, const char* first, const char* second) {
    if (*remembered == nullptr) {
        if (path_exists(first))
            *remembered = first;
        else if (path_exists(second))
            *remembered = second;
    }
    return *remembered;
}

template <typename T>
T* alloc_zeroed() {
    auto* p = static_cast<T*>(common_malloc(sizeof(T), FWPAK_SOURCE, __LINE__));
    memset(p, 0, sizeof(T));
    return p;
}

void append_node(uint32_t bus, uint32_t device, uint32_t function) {
    auto* node = alloc_zeroed<nct_network_adapter>();
    node->slot = -1;
    node->slot_port = -1;
    node->bus = bus;
    node->device = device;
    node->function = function;
    if (net_adapter_list_head == nullptr) {
        node->prev = node->next = node;
        net_adapter_list_head = node;
        return;
    }
    nct_network_adapter* tail = net_adapter_list_head->prev;
    tail->next = node;
    node->prev = tail;
    node->next = net_adapter_list_head;
    net_adapter_list_head->prev = node;
}

unsigned int device_class(const char* entry) {
    char path[TEXT_LEN];
    int n = snprintf(path, sizeof path, "%s/%s/class", pci_devices_dir, entry);
    if (n < 0 || static_cast<size_t>(n) >= sizeof path)
        return 0;
    unsigned int value = 0;
    if (sysfs_read_hex(path, &value) != 0) {
        fprintf(stderr, "ERROR: could not open file %s:  %s,%d\n", path, FWPAK_SOURCE, __LINE__);
        return 0;
    }
    return value;
}

void list_ethernet_functions() {
    std::vector<std::string> entries;
    if (!sysfs_list_dir(pci_devices_dir, &entries)) {
        fprintf(stderr, "INFO: Directory '/sys' not found, Skipping scan dir %s: %s,%d\n",
                pci_devices_dir, FWPAK_SOURCE, __LINE__);
        return;
    }
    for (const std::string& entry : entries) {
        if (device_class(entry.c_str()) != kEthernetClass)
            continue;
        unsigned int domain, bus, device, function;
        if (sscanf(entry.c_str(), "%x:%x:%x.%x", &domain, &bus, &device, &function) != 4)
            continue;
        append_node(bus, device, function);
    }
}

// Runs `command` for reading; null, after reporting it, when it cannot start.
ReadPipe start(const char* command) {
    ReadPipe pipe = open_read_pipe(command);
    if (!pipe)
        fprintf(stderr, "ERROR: could not execute command: %s at %s,%d\n", command, FWPAK_SOURCE,
                __LINE__);
    return pipe;
}

// Reads one hexadecimal field of a slot program line. False for a field that is
// not a number or does not fit 32 bits.
bool read_hex_field(const char** text, uint32_t* value) {
    const char* p = *text;
    while (*p == ' ' || *p == '\t') ++p;
    if (isxdigit(static_cast<unsigned char>(*p)) == 0)
        return false;
    char* end = nullptr;
    errno = 0;
    unsigned long long v = strtoull(p, &end, 16);
    if (errno != 0 || v > UINT32_MAX)
        return false;
    *value = static_cast<uint32_t>(v);
    *text = end;
    return true;
}

// A slot program line "bus device slot". The slot is taken as the unsigned
// number it is: one that does not fit a non-negative int32_t (fffffffe, 80000000)
// is kept as it reads, never wrapped into a negative slot.
bool parse_slot_line(const char* line, uint32_t* bus, uint32_t* device, uint32_t* slot) {
    return read_hex_field(&line, bus) && read_hex_field(&line, device) &&
           read_hex_field(&line, slot);
}

// The slot of a bus and device as the slot program lists it, or -1. A slot number
// past what int32_t holds cannot be told from "no slot" by a caller, so it is
// reported and counts as none.
int32_t slot_of(uint32_t bus, uint32_t device) {
    const char* program = find_program(&rezuz_cmd, rezuz_utils, rezuz_sbin);
    if (program == nullptr)
        return -1;
    char command[TEXT_LEN];
    snprintf(command, sizeof command, kSlotCommand, program);
    ReadPipe pipe = start(command);
    if (!pipe)
        return -1;
    LineBuffer line;
    for (int number = 1; line.next(pipe.get()); number++) {
        uint32_t b, d, slot;
        if (number <= kSlotHeaderLines || !parse_slot_line(line.text, &b, &d, &slot))
            continue;
        if (b != bus || d != device)
            continue;
        if (slot > static_cast<uint32_t>(INT32_MAX)) {
            fprintf(stderr, "ERROR: slot %x of pci bus/device %d,%d is out of range, %s,%d\n", slot,
                    static_cast<int>(bus), static_cast<int>(device), FWPAK_SOURCE, __LINE__);
            return -1;
        }
        return static_cast<int32_t>(slot);
    }
    fprintf(stderr, "ERROR: did not find match for pci bus/device %d,%d, %s,%d\n",
            static_cast<int>(bus), static_cast<int>(device), FWPAK_SOURCE, __LINE__);
    return -1;
}

// Slot ports count the functions of a slot in list order. A slot outside 0 to 127
// has no counter, so its functions keep slot port -1.
void number_slots() {
    int32_t counters[MAX_SLOTS] = {};
    nct_network_adapter* node = net_adapter_list_head;
    do {
        node->slot = slot_of(node->bus, node->device);
        if (node->slot >= 0 && node->slot < MAX_SLOTS)
            node->slot_port = counters[node->slot]++;
        node = node->next;
    } while (node != net_adapter_list_head);
}

nct_network_adapter* node_in_slot(int32_t slot, int32_t slot_port) {
    nct_network_adapter* node = net_adapter_list_head;
    if (node == nullptr)
        return nullptr;
    do {
        if (node->slot == slot && node->slot_port == slot_port)
            return node;
        node = node->next;
    } while (node != net_adapter_list_head);
    return nullptr;
}

// Attaches one port-map line to its node. Nodes without a slot carry -1 in both
// numbers; a line with negative numbers names no real port and is ignored rather
// than pinned on one of them. The first line for a node wins.
void attach_port_map(int32_t slot, int32_t slot_port, int32_t bay, int32_t bay_port) {
    if (slot < 0 || slot_port < 0)
        return;
    nct_network_adapter* node = node_in_slot(slot, slot_port);
    if (node == nullptr || node->nic_port_map != nullptr)
        return;
    auto* entry = alloc_zeroed<nct_nic_port_map_info>();
    entry->slot = slot;
    entry->slot_port = slot_port;
    entry->SWM_bay = bay;
    entry->SWM_bay_port = bay_port;
    node->nic_port_map = entry;
}

void read_port_map() {
    const char* program = find_program(&dodaruru_cmd, dodaruru_utils, dodaruru_sbin);
    if (program == nullptr)
        return;
    char command[TEXT_LEN];
    snprintf(command, sizeof command, kPortMapCommand, program);
    ReadPipe pipe = start(command);
    if (!pipe)
        return;
    LineBuffer line;
    for (int number = 1; line.next(pipe.get()); number++) {
        int32_t slot, slot_port, bay, bay_port;
        if (number <= kPortMapHeaderLines ||
            sscanf(line.text, "%d %d %d %d", &slot, &slot_port, &bay, &bay_port) != 4)
            continue;
        attach_port_map(slot, slot_port, bay, bay_port);
    }
}

void build_map() {
    list_ethernet_functions();
    if (net_adapter_list_head != nullptr)
        number_slots();
    read_port_map();
}

nct_network_adapter* node_of(int32_t bus, int32_t device, int32_t function) {
    nct_network_adapter* node = net_adapter_list_head;
    if (node == nullptr)
        return nullptr;
    do {
        if (node->bus == static_cast<uint32_t>(bus) &&
            node->device == static_cast<uint32_t>(device) &&
            node->function == static_cast<uint32_t>(function))
            return node;
        node = node->next;
    } while (node != net_adapter_list_head);
    return nullptr;
}

// One field of a bus address: 1 to 8 hexadecimal digits (no sign, no 0x), then
// `end`. Advances *p past both.
bool hex_field(const char** p, char end, uint32_t* value) {
    const char* s = *p;
    size_t digits = 0;
    while (isxdigit(static_cast<unsigned char>(s[digits])) != 0) digits++;
    if (digits == 0 || digits > 8 || s[digits] != end)
        return false;
    *value = static_cast<uint32_t>(strtoul(s, nullptr, 16));
    *p = s + digits + (end != '\0' ? 1 : 0);
    return true;
}

// Parses "bus:device.function", with a leading "domain:" when there are two colons.
// Blanks around the text are allowed; anything else that is not a hexadecimal
// field makes the text unusable.
bool parse_bus_address(const char* text, int colons, uint32_t* bus, uint32_t* device,
                       uint32_t* function) {
    std::string trimmed(text);
    trim_chars(trimmed.data(), " \t\n");
    const char* p = trimmed.c_str();
    uint32_t domain;
    if (colons == 2 && !hex_field(&p, ':', &domain))
        return false;
    return hex_field(&p, ':', bus) && hex_field(&p, '.', device) && hex_field(&p, '\0', function);
}

}  // namespace

int32_t get_slot_bay_info(int32_t bus, int32_t device, int32_t function, int32_t* slot,
                          int32_t* slot_port, int32_t* bay, int32_t* bay_port) {
    if (need_init != 0) {
        need_init = 0;
        build_map();
    }
    const nct_network_adapter* node = node_of(bus, device, function);
    if (node == nullptr)
        return -1;
    *slot = node->slot;
    *slot_port = node->slot_port == -1 ? -1 : node->slot_port + 1;
    *bay = node->nic_port_map != nullptr ? node->nic_port_map->SWM_bay : -1;
    *bay_port = node->nic_port_map != nullptr ? node->nic_port_map->SWM_bay_port : -1;
    return node->slot == -1 ? -2 : 0;
}

int32_t parse_slot_bus_address(const char* pbus_info, uint32_t* bus, uint32_t* device,
                               uint32_t* function) {
    if (pbus_info == nullptr)
        return BUS_ADDRESS_INVALID;
    int colons = 0;
    for (const char* c = pbus_info; *c != '\0'; c++) colons += *c == ':' ? 1 : 0;
    if (colons == 0)
        return BUS_ADDRESS_INVALID;
    if (colons > 2)
        return BUS_ADDRESS_TOO_MANY_COLONS;
    return parse_bus_address(pbus_info, colons, bus, device, function) ? BUS_ADDRESS_OK
                                                                       : BUS_ADDRESS_INVALID;
}

int32_t get_slot_info(const char* pbus_info, int32_t* pslot, int32_t* pport, int32_t* pbay_slot,
                      int32_t* pbay_port) {
    *pslot = *pport = *pbay_slot = *pbay_port = -1;
    uint32_t bus, device, function;
    int32_t parsed = parse_slot_bus_address(pbus_info, &bus, &device, &function);
    if (parsed == BUS_ADDRESS_TOO_MANY_COLONS)
        printf("WARNING: unable to parse \"%s\", %s,%d", pbus_info, FWPAK_SOURCE, __LINE__);
    if (parsed != BUS_ADDRESS_OK)
        return 1;
    int32_t result =
        get_slot_bay_info(static_cast<int32_t>(bus), static_cast<int32_t>(device),
                          static_cast<int32_t>(function), pslot, pport, pbay_slot, pbay_port);
    return result == 0 ? 0 : 1;
}

int32_t is_adapter_partitioned(uint32_t bus, uint32_t device) {
    char command[TEXT_LEN];
    snprintf(command, sizeof command, kPartitionCommand, lspci_sbin, bus, device);
    ReadPipe pipe = start(command);
    if (!pipe)
        return 0;
    LineBuffer line;
    int lines = 0;
    while (line.next(pipe.get())) lines++;
    return lines == kPartitionedFunctions ? 1 : 0;
}

int32_t qxmon_installed() {
    for (const char* path : {rezuz_utils, rezuz_sbin, dodaruru_utils, dodaruru_sbin}) {
        if (path_exists(path))
            return 1;
    }
    return 0;
}
