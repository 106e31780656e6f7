// The installed firmware report (-c).
#include "policy/installed_report.h"

#include "console.h"
#include "inventory/inventory_build.h"
#include "versions/versions.h"

namespace {

constexpr char kRule[] =
    "------------------------------------------------------------------------\n";

}  // namespace

void print_installed_block(const nic_info& nic) {
    const char* name = nic.pxmlName[0] != nullptr ? nic.pxmlName[0] : "";
    const char* interface = nic.pinterfacename != nullptr ? nic.pinterfacename : "";
    print_message(" PCI-ID              \t\tNIC\n");
    print_messagef("%04X-%04X-%04X-%04X \t%s \n\n", static_cast<unsigned>(nic.ven_id),
                   static_cast<unsigned>(nic.dev_id), static_cast<unsigned>(nic.sub_ven_id),
                   static_cast<unsigned>(nic.sub_dev_id), name);

    char rows[VER_BUF_ROWS][VER_BUF_LEN];
    int count = 0;
    build_version_list(nic, rows, &count);

    print_message("     (Installed)           (Available)\n");
    print_message("     Image      Version      Image        Version     \t\tInterface\n");
    print_message(kRule);
    if (count > 0)
        print_messagef("      ROM       %u.%u.%u    ROM\t\t%10s\t\t%s\n", nic.uCurROMmaj,
                       nic.uCurROMmin, nic.uCurROMrel, rows[0], interface);
    else
        print_messagef("      ROM       %u.%u.%u    ROM\t\tNothing\t\t\t%s\n", nic.uCurROMmaj,
                       nic.uCurROMmin, nic.uCurROMrel, interface);
    for (int k = 1; k < count; ++k)
        print_messagef("                               \t\t%10s\t\t%s\n", rows[k], interface);
    print_message("\n");
}

int show_current(RunFault* fault) {
    *fault = open_event_log(FWPAK_SOURCE, __LINE__);
    if (*fault)
        return fault->status;
    if (build_NIC_list(fault) == BUILD_FATAL)
        return fault->status;
    for (int u = 0; u < g_nNics; ++u) {
        if ((g_ninfo[u].flags & NIC_STATE_KNOWN) != 0)
            print_installed_block(g_ninfo[u]);
    }
    if (g_nLeftOut > 0)
        print_messagef(
            "%d network adapters left out of this table (it holds %d); their "
            "addresses are in the event log.\n",
            g_nLeftOut, MAX_NICS);
    return 0;
}
