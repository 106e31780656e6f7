// Host utility library: the state and addresses of a network interface.
#pragma once

#include <cstddef>
#include <cstdint>

#include "nic_info.h"

extern const char* const link_status_text[5];

enum ipv6_link_scope_t {
    ipv6_global_scope = 0,
    ipv6_link_scope = 1,
    ipv6_site_scope = 2,
    ipv6_v4compat_scope = 3,
    ipv6_host_scope = 4,
    ipv6_loopback_scope = 5,
    ipv6_unspecified_scope = 6,
};
extern const char* const ipv6_link_scope_text[7];

// Sizes of the record's text buffers.
constexpr size_t IPV4_TEXT_LEN = 57;
constexpr size_t MAC_TEXT_LEN = 43;
constexpr size_t IPV6_TEXT_LEN = 323;

// An interface's addresses; every text is owned by the record (null when not found).
struct dynamic_interface_info_t {
    char* pip_addr;
    char* pnetmask;
    char* pbroadcast;
    char* pcurrent_mac;
    char* pipv6_addr;
    char* pipv6_shorthand_addr;
    uint32_t pipv6_refix_length;
    ipv6_link_scope_t ipv6_scope;
    link_status_t if_status;
};

// link_up or link_down by the interface's IFF_UP flag; link_unknown when it cannot
// be asked (no such interface, no raw socket).
link_status_t get_logical_interface_status(const char* pif_name);
// Fills *pif. Returns -1 when the raw socket cannot be opened; 1 when
// /proc/net/if_inet6 cannot be read, the IPv6 address does not convert, or a query
// failed unexpectedly; 0 otherwise. A missing interface gives an empty record and 0.
int32_t get_dynamic_interface_info(const char* pif_name, dynamic_interface_info_t* pif);
void free_dynamic_interface_info(dynamic_interface_info_t* pif);
void free_ethtool_info_members(ethtool_info* pet_info);
