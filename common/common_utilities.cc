// Host utility library: text-file helpers, distribution detection, and interface
// state and addresses through the kernel's interface requests.
#include "common/common_utilities.h"

#include <arpa/inet.h>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/ioctl.h>

#include "console.h"
#include "handles.h"
#include "platform/net_interface.h"

void* common_malloc(size_t size, const char* file, int line) {
    void* p = malloc(size);
    if (p == nullptr) {
        fprintf(stderr, "ERROR: malloc failed (errno=%d), %s,%d\n", errno, file, line);
        abort();
    }
    return p;
}

char* common_strdup(const char* text, const char* file, int line) {
    size_t n = strlen(text) + 1;
    char* copy = static_cast<char*>(common_malloc(n, file, line));
    memcpy(copy, text, n);
    return copy;
}

// ---- Text helpers ----

void trim_chars(char* pstring, const char* ptrim) {
    const char* start = pstring;
    while (*start != '\0' && strchr(ptrim, *start) != nullptr) start++;
    size_t len = strlen(start);
    while (len > 0 && strchr(ptrim, start[len - 1]) != nullptr) len--;
    memmove(pstring, start, len);
    pstring[len] = '\0';
}

void alloc_read_a_line_vars(FILE** ppfile, char** ppa_line, size_t* pline_len) {
    *ppfile = nullptr;
    *ppa_line = nullptr;
    *pline_len = 0;
}

ssize_t read_a_line(const char* pfile_name, FILE** ppfile, char** ppa_line, size_t* pline_len) {
    if (*ppfile == nullptr) {
        *ppfile = fopen(pfile_name, "r");
        if (*ppfile == nullptr)
            return -1;
    }
    return getline(ppa_line, pline_len, *ppfile);
}

void free_read_a_line_vars(FILE** ppfile, char** ppa_line, size_t* pline_len) {
    if (*ppfile == nullptr)
        return;
    fclose(*ppfile);
    free(*ppa_line);
    alloc_read_a_line_vars(ppfile, ppa_line, pline_len);
}

namespace {

// A line reader released however the caller leaves.
struct ScopedLineReader {
    FILE* file = nullptr;
    char* line = nullptr;
    size_t capacity = 0;
    ~ScopedLineReader() { free_read_a_line_vars(&file, &line, &capacity); }
    ssize_t next(const char* path) { return read_a_line(path, &file, &line, &capacity); }
};

struct LineFree {
    char* text = nullptr;
    ~LineFree() { free(text); }
};

// A line matches when its first occurrence of the token is not commented out and
// is where the text starts after the leading blanks; tabs are not skipped.
bool line_begins_with_token(const char* line, const char* token) {
    const char* found = strstr(line, token);
    if (found == nullptr)
        return false;
    if (memchr(line, '#', static_cast<size_t>(found - line)) != nullptr)
        return false;
    const char* text = line;
    while (*text == ' ') text++;
    return strncmp(text, token, strlen(token)) == 0;
}

}  // namespace

int32_t read_tokens_stream(FILE* file, const char* ptoken_to_match, int32_t remove_nl,
                           char*** ppptokens_found, int32_t* ptoken_count) {
    *ptoken_count = 0;
    *ppptokens_found = nullptr;
    LineFree line;
    size_t capacity = 0;
    while (getline(&line.text, &capacity, file) >= 0) {
        if (!line_begins_with_token(line.text, ptoken_to_match))
            continue;
        size_t bytes = sizeof(char*) * static_cast<size_t>(*ptoken_count + 1);
        char** grown = static_cast<char**>(realloc(*ppptokens_found, bytes));
        if (grown == nullptr) {
            fprintf(stderr, "ERROR: malloc failed (errno=%d), %s,%d\n", errno, FWPAK_SOURCE,
                    __LINE__);
            abort();
        }
        *ppptokens_found = grown;
        char* copy = common_strdup(line.text, FWPAK_SOURCE, __LINE__);
        size_t len = strlen(copy);
        if (remove_nl != 0 && len > 0 && copy[len - 1] == '\n')
            copy[len - 1] = '\0';
        grown[(*ptoken_count)++] = copy;
    }
    return *ptoken_count;
}

int32_t read_tokens(const char* pfile_name, const char* ptoken_to_match, int32_t remove_nl,
                    char*** ppptokens_found, int32_t* ptoken_count) {
    UniqueFile file(fopen(pfile_name, "r"));
    if (!file) {
        *ptoken_count = 0;
        *ppptokens_found = nullptr;
        return 0;
    }
    return read_tokens_stream(file.get(), ptoken_to_match, remove_nl, ppptokens_found,
                              ptoken_count);
}

void free_read_tokens(char*** ppplines, int32_t count) {
    if (*ppplines == nullptr)
        return;
    for (int32_t i = count - 1; i >= 0; i--) free((*ppplines)[i]);
    free(*ppplines);
    *ppplines = nullptr;
}

// ---- Distribution detection ----

const char* const linux_distro_name[6] = {"unknown", "Red Hat", "SUSE",
                                          "Vmware",  "Zen",     "Fedora Core"};
const char* const linux_distro_type[5] = {"unknown", "AS", "ES", "WS", "ES"};

namespace {

const char* const release_files[] = {"/etc/redhat-release", "/etc/SuSE-release",
                                     "/etc/SUSE-release"};

// The decimal number right after `word` in line, read as atoi would but held to
// the 32-bit range instead of overflowing; 0 when the word does not occur.
int32_t number_after(const char* line, const char* word) {
    const char* at = strstr(line, word);
    if (at == nullptr)
        return 0;
    long value = strtol(at + strlen(word), nullptr, 10);
    if (value > INT32_MAX)
        return INT32_MAX;
    if (value < INT32_MIN)
        return INT32_MIN;
    return static_cast<int32_t>(value);
}

int32_t classify_release_line(const char* upper, linux_distro_name_t* pname,
                              linux_distro_type_t* ptype, int32_t* pversion) {
    if (strstr(upper, "RED HAT") != nullptr) {
        *pname = rh_distro;
        if (strstr(upper, "LINUX AS") != nullptr)
            *ptype = rh_as;
        else if (strstr(upper, "LINUX ES") != nullptr)
            *ptype = rh_es;
        else if (strstr(upper, "LINUX WS") != nullptr)
            *ptype = rh_ws;
        *pversion = number_after(upper, " RELEASE ");
        return 0;
    }
    if (strstr(upper, "SUSE") != nullptr) {
        *pname = suse_distro;
        *ptype = suse_es;
        *pversion = number_after(upper, " SERVER ");
        return 0;
    }
    if (strstr(upper, "FEDORA CORE") != nullptr) {
        *pname = fedora_core_distro;
        *pversion = number_after(upper, " RELEASE ");
        return 0;
    }
    return 1;
}

}  // namespace

int32_t detect_linux_distro(linux_distro_name_t* pname, linux_distro_type_t* ptype,
                            int32_t* pversion, char** ppofficial_distro_name) {
    *pname = unknown_distro;
    *ptype = unknown_distro_type;
    *pversion = 0;
    ScopedLineReader reader;
    ssize_t len = -1;
    // Only the first file that opens is read, even when it holds no line.
    for (const char* path : release_files) {
        len = reader.next(path);
        if (reader.file != nullptr)
            break;
    }
    if (len < 0)
        return 1;
    if (ppofficial_distro_name != nullptr) {
        *ppofficial_distro_name = common_strdup(reader.line, FWPAK_SOURCE, __LINE__);
        trim_chars(*ppofficial_distro_name, " \t\n");
    }
    for (char* c = reader.line; *c != '\0'; c++)
        *c = static_cast<char>(toupper(static_cast<unsigned char>(*c)));
    return classify_release_line(reader.line, pname, ptype, pversion);
}

// ---- Interface state and addresses ----

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
