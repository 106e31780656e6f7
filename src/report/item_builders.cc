// The values of a report fw_item: the repository's newest version for the adapter,
// the installed version and the action the report recommends.
#include "report/item_builders.h"

#include <cstdio>
#include <cstring>

#include "nic_info.h"
#include "policy/firmware_action.h"
#include "versions/versions.h"

namespace {

bool is_rom_type(const char* pFwtype) {
    return pFwtype != nullptr && strstr(pFwtype, "ROM") != nullptr;
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

void build_XML_FW_item_action(const char* pFwtype, char* pAttribute, size_t size, int32_t IdxNic) {
    const nic_info& nic = g_ninfo[IdxNic];
    if (!is_rom_type(pFwtype) || (nic.flags & NIC_STATE_KNOWN) == 0)
        return;
    snprintf(pAttribute, size, "%s", firmware_action_text(classify_firmware(nic)));
}

void recommend_XML_FW_action(const char* pFwtype, char* pAttribute, size_t size, int32_t IdxNic) {
    nic_info& nic = g_ninfo[IdxNic];
    if (!is_rom_type(pFwtype) || (nic.flags & NIC_STATE_KNOWN) == 0)
        return;
    build_XML_FW_item_action(pFwtype, pAttribute, size, IdxNic);
    if (report_flashes(classify_firmware(nic)))
        nic.flags |= NIC_FLASH;
}
