// Host utility library: text-file helpers, Linux distribution detection, and the
// state and addresses of a network interface. No mode of fwpak calls it; it is
// built and tested on its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <sys/types.h>

#include "nic_info.h"

// Allocation for the library's records: on failure "ERROR: malloc failed" with the
// caller's file and line goes to standard error and the process aborts.
void* common_malloc(size_t size, const char* file, int line);
char* common_strdup(const char* text, const char* file, int line);

// ---- Text helpers ----

// Removes, in place, every leading and trailing character of pstring that occurs in
// ptrim; the rest moves to the start of pstring.
void trim_chars(char* pstring, const char* ptrim);

// A line reader is three values owned by the caller: the file (opened by the first
// read, not by the set-up), the growing line buffer and its capacity.
void alloc_read_a_line_vars(FILE** ppfile, char** ppa_line, size_t* pline_len);
// Opens pfile_name if no file is open yet (-1 when that fails), then returns the
// next line's length, newline included, or -1 at the end of the file. Once a file
// is open, pfile_name is not looked at again.
ssize_t read_a_line(const char* pfile_name, FILE** ppfile, char** ppa_line, size_t* pline_len);
// Closes the file and frees the buffer if a file is open; otherwise does nothing.
void free_read_a_line_vars(FILE** ppfile, char** ppa_line, size_t* pline_len);

// Collects copies of the lines that begin (after blanks, not tabs) with the token
// and are not commented out before it. Returns the count, also in *ptoken_count;
// *ppptokens_found is null when nothing matched.
int32_t read_tokens(const char* pfile_name, const char* ptoken_to_match, int32_t remove_nl,
                    char*** ppptokens_found, int32_t* ptoken_count);
// The same over an open stream (read to its end, not closed).
int32_t read_tokens_stream(FILE* file, const char* ptoken_to_match, int32_t remove_nl,
                           char*** ppptokens_found, int32_t* ptoken_count);
// Frees `count` copies, last first, then the array, and sets the list to null.
void free_read_tokens(char*** ppplines, int32_t count);

// ---- Distribution detection ----

enum linux_distro_name_t {
    unknown_distro = 0,
    rh_distro = 1,
    suse_distro = 2,
    vmware_distro = 3,
    zen_distro = 4,
    fedora_core_distro = 5,
};
extern const char* const linux_distro_name[6];

enum linux_distro_type_t {
    unknown_distro_type = 0,
    rh_as = 1,
    rh_es = 2,
    rh_ws = 3,
    suse_es = 4,
};
extern const char* const linux_distro_type[5];

// Names the distribution from the first line of the first release file that opens.
// Returns 0 when recognised, else 1. ppofficial_distro_name may be null; otherwise
// it receives the trimmed line (allocated, the caller frees it) whenever a line
// was read.
int32_t detect_linux_distro(linux_distro_name_t* pname, linux_distro_type_t* ptype,
                            int32_t* pversion, char** ppofficial_distro_name);

// ---- Interface state and addresses ----

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
