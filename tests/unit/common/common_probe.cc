// Test helper for the host utility library: a fresh process that runs the library
// routines named on its command line and prints one result line for each. The
// unit tests start it inside private namespaces and under umockdev, since the
// routines keep process-wide state and look at constant absolute paths.
//
//   distro | distro-noname       detect_linux_distro
//   bay BUS DEV FN               get_slot_bay_info (decimal numbers)
//   slot TEXT                    get_slot_info
//   list                         the map's nodes, and whether the ring is sound
//   qxmon                        qxmon_installed
//   part BUS DEV                 is_adapter_partitioned (hexadecimal numbers)
//   ifinfo NAME | ifstatus NAME  get_dynamic_interface_info, get_logical_interface_status
//   --proc-net-if-inet6 FILE     first: serve FILE as /proc/net/if_inet6 (needs root)
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sched.h>

#include "common/common_utilities.h"
#include "common/port_map.h"

namespace {

const char* text_or_dash(const char* text) {
    return text != nullptr ? text : "-";
}

void print_distro(bool with_name) {
    linux_distro_name_t name;
    linux_distro_type_t type;
    int32_t version;
    char* official = nullptr;
    int32_t rc = detect_linux_distro(&name, &type, &version, with_name ? &official : nullptr);
    printf("rc=%d name=%d type=%d version=%d official=%s\n", rc, name, type, version,
           text_or_dash(official));
    free(official);
}

void print_slots(const char* what, int32_t rc, int32_t slot, int32_t port, int32_t bay,
                 int32_t bay_port) {
    printf("%s -> rc=%d slot=%d port=%d bay=%d bay_port=%d\n", what, rc, slot, port, bay, bay_port);
}

void print_list() {
    const nct_network_adapter* node = net_adapter_list_head;
    if (node == nullptr) {
        printf("list empty\n");
        return;
    }
    bool sound = true;
    do {
        sound = sound && node->next->prev == node && node->prev->next == node;
        printf("node %02x:%02x.%x slot=%d slot_port=%d", node->bus, node->device, node->function,
               node->slot, node->slot_port);
        if (node->nic_port_map != nullptr)
            printf(" map=%d/%d/%d/%d", node->nic_port_map->slot, node->nic_port_map->slot_port,
                   node->nic_port_map->SWM_bay, node->nic_port_map->SWM_bay_port);
        printf("\n");
        node = node->next;
    } while (node != net_adapter_list_head);
    printf("ring %s\n", sound ? "sound" : "broken");
}

void print_ifinfo(const char* name) {
    dynamic_interface_info_t info;
    int32_t rc = get_dynamic_interface_info(name, &info);
    printf("rc=%d ip=%s mask=%s brd=%s mac=%s v6=%s short=%s plen=%u scope=%s status=%s\n", rc,
           text_or_dash(info.pip_addr), text_or_dash(info.pnetmask), text_or_dash(info.pbroadcast),
           text_or_dash(info.pcurrent_mac), text_or_dash(info.pipv6_addr),
           text_or_dash(info.pipv6_shorthand_addr), info.pipv6_refix_length,
           ipv6_link_scope_text[info.ipv6_scope], link_status_text[info.if_status]);
    free_dynamic_interface_info(&info);
}

// /proc/net is a link into the per-process directories, where bind mounts do not
// take; a private tmpfs on /proc that holds only net/if_inet6 does.
bool serve_if_inet6(const char* file) {
    std::ifstream in(file);
    std::stringstream content;
    content << in.rdbuf();
    if (!in || unshare(CLONE_NEWNS) != 0 ||
        mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        mount("tmpfs", "/proc", "tmpfs", 0, nullptr) != 0 || mkdir("/proc/net", 0755) != 0)
        return false;
    std::ofstream out("/proc/net/if_inet6");
    out << content.str();
    return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
    setvbuf(stdout, nullptr, _IONBF, 0);
    for (int i = 1; i < argc; i++) {
        std::string cmd = argv[i];
        auto arg = [&](int k) { return i + k < argc ? argv[i + k] : nullptr; };
        if (cmd == "distro" || cmd == "distro-noname") {
            print_distro(cmd == "distro");
        } else if (cmd == "bay" && arg(3) != nullptr) {
            int32_t slot = 99, port = 99, bay = 99, bay_port = 99;
            int32_t rc = get_slot_bay_info(atoi(arg(1)), atoi(arg(2)), atoi(arg(3)), &slot, &port,
                                           &bay, &bay_port);
            std::string what = std::string("bay ") + arg(1) + " " + arg(2) + " " + arg(3);
            print_slots(what.c_str(), rc, slot, port, bay, bay_port);
            i += 3;
        } else if (cmd == "slot" && arg(1) != nullptr) {
            int32_t slot = 99, port = 99, bay = 99, bay_port = 99;
            int32_t rc = get_slot_info(arg(1), &slot, &port, &bay, &bay_port);
            print_slots((std::string("slot ") + arg(1)).c_str(), rc, slot, port, bay, bay_port);
            i += 1;
        } else if (cmd == "list") {
            print_list();
        } else if (cmd == "qxmon") {
            printf("qxmon=%d\n", qxmon_installed());
        } else if (cmd == "part" && arg(2) != nullptr) {
            printf("part=%d\n",
                   is_adapter_partitioned(static_cast<uint32_t>(strtoul(arg(1), nullptr, 16)),
                                          static_cast<uint32_t>(strtoul(arg(2), nullptr, 16))));
            i += 2;
        } else if (cmd == "ifinfo" && arg(1) != nullptr) {
            print_ifinfo(arg(1));
            i += 1;
        } else if (cmd == "ifstatus" && arg(1) != nullptr) {
            printf("status=%s\n", link_status_text[get_logical_interface_status(arg(1))]);
            i += 1;
        } else if (cmd == "--proc-net-if-inet6" && arg(1) != nullptr) {
            if (!serve_if_inet6(arg(1))) {
                perror("common_probe: cannot serve the if_inet6 file");
                return 2;
            }
            i += 1;
        } else {
            fprintf(stderr, "common_probe: unknown or incomplete command \"%s\"\n", argv[i]);
            return 2;
        }
    }
    return 0;
}
