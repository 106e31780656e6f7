// The slot and bay map: from a network port's PCI bus address to its adapter's
// physical slot, the port's number within the slot, and the enclosure bay and bay
// port that the server's port map assigns to it. Built once per process from the
// PCI device directory and the server-management programs rezuz and dodaruru.
#pragma once

#include <cstdint>

// A port-map entry as the port-map program lists it.
struct nct_nic_port_map_info {
    int32_t slot;
    int32_t slot_port;
    int32_t SWM_bay;
    int32_t SWM_bay_port;
};

// One Ethernet PCI function; the nodes form a circular doubly linked list that
// lives until the process ends.
struct nct_network_adapter {
    int32_t slot;       // physical slot, -1 when none was found
    int32_t slot_port;  // 0-based position among the functions of the slot, or -1
    uint32_t bus;
    uint32_t device;
    uint32_t function;
    nct_nic_port_map_info* nic_port_map;  // null until a port-map line names the node
    nct_network_adapter* prev;
    nct_network_adapter* next;
};

// Slots are counted 0 to 127; a node in any other slot keeps slot port -1.
constexpr int32_t MAX_SLOTS = 128;

extern const char rezuz_utils[];
extern const char rezuz_sbin[];
extern const char dodaruru_utils[];
extern const char dodaruru_sbin[];
extern const char lspci_sbin[];
extern const char pci_devices_dir[];

extern nct_network_adapter* net_adapter_list_head;
extern const char* rezuz_cmd;     // the slot program found, null until found
extern const char* dodaruru_cmd;  // the port-map program found, null until found
extern int32_t need_init;         // 1 until the map has been built

// Builds the map on the first call. Returns -1 when no listed function has that
// bus, device and function (outputs untouched); otherwise fills the outputs (slot
// port 1-based, -1 for anything unknown) and returns -2 when the function has no
// slot, else 0.
int32_t get_slot_bay_info(int32_t bus, int32_t device, int32_t function, int32_t* slot,
                          int32_t* slot_port, int32_t* bay, int32_t* bay_port);
// The same for a bus address text "bus:device.function" or
// "domain:bus:device.function" in hexadecimal. All outputs start at -1. Returns 0
// on success, 1 for a text that does not parse or a function without a slot.
int32_t get_slot_info(const char* pbus_info, int32_t* pslot, int32_t* pport, int32_t* pbay_slot,
                      int32_t* pbay_port);
// The parse step of get_slot_info: "bus:device.function", or with one more colon
// "domain:bus:device.function", each field 1 to 8 hexadecimal digits, blanks
// around the text allowed. Fills the three outputs only on BUS_ADDRESS_OK.
constexpr int32_t BUS_ADDRESS_OK = 0;
constexpr int32_t BUS_ADDRESS_INVALID = 1;
constexpr int32_t BUS_ADDRESS_TOO_MANY_COLONS = 2;
int32_t parse_slot_bus_address(const char* pbus_info, uint32_t* bus, uint32_t* device,
                               uint32_t* function);
// 1 when eight functions sit behind that bus and device (a partitioned adapter).
int32_t is_adapter_partitioned(uint32_t bus, uint32_t device);
// 1 when any of the four management program paths exists, else 0.
int32_t qxmon_installed();
