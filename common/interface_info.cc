// Host utility library: interface state and addresses through the kernel's
// interface requests (the platform layer sends them) and /proc/net/if_inet6.
#include "common/interface_info.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/ioctl.h>

#include "common/common_utilities.h"
#include "console.h"
#include "handles.h"
#include "platform/net_interface.h"

const char* const link_status_text[5] = {"unknown", "up", "down", "failed", "degraded"};
const char* const ipv6_link_scope_text[7] = {"global", "link",     "site",       "v4compat",
                                             "host",   "loopback", "unspecified"};

namespace {

// Each query routine keeps its own raw socket, opened on first use and kept for
// the life of the process.
bool open_query_socket(UniqueFd* fd) {
    if (fd->get() < 0)
        fd->reset(open_interface_socket());
    return fd->get() >= 0;
}

// Prepares a request for the interface. A name of IFNAMSIZ bytes or more cannot
// name an interface, and the kernel would answer for its cut-off prefix instead,
// so such a name is treated as an interface that does not exist.
bool prepare_request(ifreq* req, const char* name) {
    memset(req, 0, sizeof *req);
    size_t len = strnlen(name, IFNAMSIZ);
    if (len >= IFNAMSIZ)
        return false;
    memcpy(req->ifr_name, name, len);
    req->ifr_addr.sa_family = AF_INET;
    return true;
}

void report_ioctl_error(const char* level, const char* request, const char* name, int err,
                        int line) {
    fprintf(stderr, "%s: ioctl(%s) for %s: errno=%d, %s, %s,%d\n", level, request, name, err,
            strerror(err), FWPAK_SOURCE, line);
}

char* ipv4_text(const sockaddr* addr) {
    sockaddr_in in;
    memcpy(&in, addr, sizeof in);
    const auto* b = reinterpret_cast<const unsigned char*>(&in.sin_addr);
    char* text = static_cast<char*>(common_malloc(IPV4_TEXT_LEN, FWPAK_SOURCE, __LINE__));
    snprintf(text, IPV4_TEXT_LEN, "%d.%d.%d.%d", b[0], b[1], b[2], b[3]);
    return text;
}

// One IPv4 address query into *ptext. A missing interface or address is silent;
// any other error is reported and makes the routine's result 1.
void query_ipv4(int fd, unsigned long request, const char* request_name, ifreq* req,
                const char* name, char** ptext, int32_t* result) {
    if (interface_request(fd, request, req) == 0) {
        *ptext = ipv4_text(&req->ifr_addr);
        return;
    }
    if (errno == ENODEV || errno == EADDRNOTAVAIL)
        return;
    report_ioctl_error("INFO", request_name, name, errno, __LINE__);
    *result = 1;
}

void query_hwaddr(int fd, ifreq* req, const char* name, char** ptext, int32_t* result) {
    if (interface_request(fd, SIOCGIFHWADDR, req) != 0) {
        if (errno == ENODEV)
            return;
        report_ioctl_error("ERROR", "SIOCGIFHWADDR", name, errno, __LINE__);
        *result = 1;
        return;
    }
    const auto* b = reinterpret_cast<const unsigned char*>(req->ifr_hwaddr.sa_data);
    *ptext = static_cast<char*>(common_malloc(MAC_TEXT_LEN, FWPAK_SOURCE, __LINE__));
    snprintf(*ptext, MAC_TEXT_LEN, "%.2X:%.2X:%.2X:%.2X:%.02X:%.2X", b[0], b[1], b[2], b[3], b[4],
             b[5]);
}

ipv6_link_scope_t scope_of(unsigned int value) {
    switch (value) {
        case 0x00:
            return ipv6_global_scope;
        case 0x10:
            return ipv6_loopback_scope;
        case 0x20:
            return ipv6_link_scope;
        case 0x40:
            return ipv6_site_scope;
        case 0x80:
            return ipv6_v4compat_scope;
        default:
            return ipv6_unspecified_scope;
    }
}

struct LineBuffer {
    char* text = nullptr;
    size_t capacity = 0;
    ~LineBuffer() { free(text); }
};

// One record of /proc/net/if_inet6.
struct Inet6Record {
    char addr[41];
    unsigned int index, prefix, scope, flags;
    char name[17];
};

// A line that does not give all six fields, or whose address is not the 32 digits
// that the grouping below takes apart, is not a record and is skipped.
bool parse_inet6_line(const char* line, Inet6Record* rec) {
    int n = sscanf(line, "%40s %02x %02x %02x %02x %16s", rec->addr, &rec->index, &rec->prefix,
                   &rec->scope, &rec->flags, rec->name);
    return n == 6 && strlen(rec->addr) == 32;
}

// Stores the record's address in both forms. Returns 1 when it does not convert.
int32_t store_ipv6(const Inet6Record& rec, const char* name, dynamic_interface_info_t* pif) {
    pif->pipv6_addr = static_cast<char*>(common_malloc(IPV6_TEXT_LEN, FWPAK_SOURCE, __LINE__));
    pif->pipv6_shorthand_addr =
        static_cast<char*>(common_malloc(IPV6_TEXT_LEN, FWPAK_SOURCE, __LINE__));
    pif->pipv6_shorthand_addr[0] = '\0';
    const char* a = rec.addr;
    snprintf(pif->pipv6_addr, IPV6_TEXT_LEN, "%.4s:%.4s:%.4s:%.4s:%.4s:%.4s:%.4s:%.4s", a, a + 4,
             a + 8, a + 12, a + 16, a + 20, a + 24, a + 28);
    in6_addr bin;
    if (inet_pton(AF_INET6, pif->pipv6_addr, &bin) != 1) {
        fprintf(stderr, "INFO: could not get ipv6 addr for %s: errno=%d, %s,%d\n", name, errno,
                FWPAK_SOURCE, __LINE__);
        return 1;
    }
    if (inet_ntop(AF_INET6, &bin, pif->pipv6_shorthand_addr, IPV6_TEXT_LEN - 1) == nullptr) {
        free(pif->pipv6_shorthand_addr);
        pif->pipv6_shorthand_addr = nullptr;
        return 1;
    }
    pif->pipv6_refix_length = rec.prefix;
    pif->ipv6_scope = scope_of(rec.scope);
    return 0;
}

// The first IPv6 record of the interface. Returns 1 when the table cannot be read
// or the address does not convert, else `result`.
int32_t read_first_ipv6(const char* name, dynamic_interface_info_t* pif, int32_t result) {
    UniqueFile f(fopen("/proc/net/if_inet6", "r"));
    if (!f)
        return 1;
    LineBuffer line;
    Inet6Record rec;
    while (getline(&line.text, &line.capacity, f.get()) >= 0) {
        if (!parse_inet6_line(line.text, &rec) || strcmp(rec.name, name) != 0)
            continue;
        return store_ipv6(rec, name, pif) != 0 ? 1 : result;
    }
    return result;
}

}  // namespace

link_status_t get_logical_interface_status(const char* pif_name) {
    static UniqueFd status_socket;
    if (!open_query_socket(&status_socket))
        return link_unknown;
    ifreq req;
    if (!prepare_request(&req, pif_name))
        return link_unknown;
    if (interface_request(status_socket.get(), SIOCGIFFLAGS, &req) != 0) {
        if (errno != ENODEV)
            report_ioctl_error("INFO", "SIOCGIFFLAGS", pif_name, errno, __LINE__);
        return link_unknown;
    }
    return (req.ifr_flags & IFF_UP) != 0 ? link_up : link_down;
}

int32_t get_dynamic_interface_info(const char* pif_name, dynamic_interface_info_t* pif) {
    static UniqueFd info_socket;
    memset(pif, 0, sizeof *pif);
    if (!open_query_socket(&info_socket))
        return -1;
    ifreq req;
    if (!prepare_request(&req, pif_name))
        return 0;
    int32_t result = 0;
    int fd = info_socket.get();
    query_ipv4(fd, SIOCGIFADDR, "SIOCGIFADDR", &req, pif_name, &pif->pip_addr, &result);
    query_ipv4(fd, SIOCGIFNETMASK, "SIOCGIFNETMASK", &req, pif_name, &pif->pnetmask, &result);
    query_ipv4(fd, SIOCGIFBRDADDR, "SIOCGIFBRDADDR", &req, pif_name, &pif->pbroadcast, &result);
    query_hwaddr(fd, &req, pif_name, &pif->pcurrent_mac, &result);
    pif->if_status = get_logical_interface_status(pif_name);
    return read_first_ipv6(pif_name, pif, result);
}

void free_dynamic_interface_info(dynamic_interface_info_t* pif) {
    char** texts[] = {&pif->pip_addr,     &pif->pnetmask,   &pif->pbroadcast,
                      &pif->pcurrent_mac, &pif->pipv6_addr, &pif->pipv6_shorthand_addr};
    for (char** text : texts) {
        free(*text);
        *text = nullptr;
    }
}

void free_ethtool_info_members(ethtool_info* pet_info) {
    char** texts[] = {&pet_info->pdriver_name, &pet_info->pdriver_version,
                      &pet_info->pfirmware_version, &pet_info->pbus_info};
    for (char** text : texts) {
        free(*text);
        *text = nullptr;
    }
}
