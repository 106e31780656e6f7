// Discovery of this host's Mellanox adapters for fwpak-repo add --from-host.
#include "repo/host_adapters.h"

#include <cstdlib>
#include <memory>

#include "inventory/fw_query.h"
#include "inventory/pci_enum.h"
#include "nic_info.h"

namespace {

struct TextListFree {
    void operator()(char** list) const { free_text_list(list); }
};
using TextList = std::unique_ptr<char*, TextListFree>;

}  // namespace

std::vector<HostAdapter> host_mellanox_adapters() {
    std::vector<HostAdapter> found;
    char** ppif = nullptr;
    char** vendor_name = nullptr;
    int32_t count = 0;
    get_interface_list(&ppif, &vendor_name, class_code, &count);
    TextList interfaces(ppif);
    TextList vendors(vendor_name);
    for (int32_t i = 0; i < count; ++i) {
        if (!is_mellanox_vendor(vendor_name[i]))
            continue;
        HostAdapter a;
        a.address = ppif[i];
        char* psid = nullptr;
        if (get_firmware_info(ppif[i], &psid, "PSID") != 0) {
            free(psid);
            continue;
        }
        a.psid = psid;
        free(psid);
        int32_t ids[4] = {0, 0, 0, 0};
        if (get_pci_info(ppif[i], &ids[0], &ids[1], &ids[2], &ids[3]) != 0)
            continue;
        for (int k = 0; k < 4; ++k) a.ids[k] = static_cast<unsigned>(ids[k]);
        found.push_back(a);
    }
    return found;
}
