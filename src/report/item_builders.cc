// The values of a report fw_item: the repository's newest version for the adapter,
// the installed version and the action the report recommends.
#include "report/item_builders.h"

#include <cstdio>
#include <cstring>

#include "nic_info.h"
#include "versions/versions.h"

namespace {

bool is_rom_type(const char* pFwtype) {
    return pFwtype != nullptr && strstr(pFwtype, "ROM") != nullptr;
}

int image_count(const nic_info& nic) {
    if (nic.fw_count < 0)
        return 0;
    return nic.fw_count < MAX_FW_IMAGES ? nic.fw_count : MAX_FW_IMAGES;
}

// How image i stands to the installed version (compare_versions' sign).
int against_installed(const nic_info& nic, int i) {
    return compare_versions(image_version(nic, i), installed_version(nic));
}

}  // namespace

void build_XML_FW_item_version(const char*, char* pAttribute, size_t size, uint32_t uIdx) {
    if (size == 0)
        return;
    pAttribute[0] = '\0';
    char rows[VER_BUF_ROWS][VER_BUF_LEN] = {};
    int count = 0;
    build_version_list(g_ninfo[uIdx], rows, &count);
    // The shared list is in ascending numeric order, so its last row is the newest.
    if (count > 0)
        snprintf(pAttribute, size, "%s", rows[count - 1]);
}

void build_XML_FW_item_active_version(const char*, char* pAttribute, size_t size, int32_t IdxNic) {
    const nic_info& nic = g_ninfo[IdxNic];
    snprintf(pAttribute, size, "%u.%u.%u", nic.uCurROMmaj, nic.uCurROMmin, nic.uCurROMrel);
}

void recommend_XML_FW_action(const char* pFwtype, char* pAttribute, size_t size, int32_t IdxNic) {
    nic_info& nic = g_ninfo[IdxNic];
    if (!is_rom_type(pFwtype) || (nic.flags & NIC_STATE_KNOWN) == 0)
        return;
    const int count = image_count(nic);
    // Any newer image wins over an equal one, whatever the catalog order.
    for (int i = 0; i < count; ++i) {
        if (against_installed(nic, i) > 0) {
            snprintf(pAttribute, size, "%s", "upgrade");
            nic.flags |= NIC_FLASH;
            return;
        }
    }
    for (int i = 0; i < count; ++i) {
        if (against_installed(nic, i) == 0) {
            snprintf(pAttribute, size, "%s", "rewrite");
            nic.flags |= NIC_FLASH;
            return;
        }
    }
    snprintf(pAttribute, size, "%s", count > 0 ? "downgrade" : "Nothing");
}
