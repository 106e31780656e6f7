// The adapter table's storage and the constant names of the firmware catalog.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "console.h"
#include "nic_info.h"
#include "run_flags.h"

nic_info* g_ninfo = nullptr;
int32_t g_nNics = 0;
int32_t g_nMellanoxPorts = 0;
int32_t g_nLeftOut = 0;
int32_t nic_count = 0;
int32_t* fw_number = nullptr;
char ver_buf[VER_BUF_ROWS][VER_BUF_LEN] = {};
char firmware_id[MAX_REPORT_DEVICES][FIRMWARE_ID_LEN] = {};
char sub_ven_id_new[ID_TEXT_LEN] = {0};
char sub_dev_id_new[ID_TEXT_LEN] = {0};
char bus_info[BUS_INFO_LEN] = {0};
int32_t class_code[4] = {0x0C06, 0x0200, 0x0280, 0x0207};

const char g_XMLFwFile[] = "nic_fw/NICFWData.xml";
const char g_XMLNicName[] = "name";
const char g_XMLVenId[] = "venid";
const char g_XMLDevId[] = "devid";
const char g_XMLSubVenId[] = "subvenid";
const char g_XMLSubDevId[] = "subdevid";
const char g_XMLFwImage[] = "fwFile";
const char g_XMLrom[] = "rom";
const char g_XMLPSID[] = "PSID";

size_t kept_length(const char* text, size_t len) {
    if (len < MAX_OUTSIDE_TEXT)
        return len;
    size_t kept = MAX_OUTSIDE_TEXT - 1;
    // A continuation byte (10xxxxxx) at the cut belongs to the character before it.
    while (kept > 0 && (static_cast<unsigned char>(text[kept]) & 0xC0) == 0x80) --kept;
    return kept;
}

char* dup_text(const char* text) {
    if (text == nullptr)
        return nullptr;
    char* copy = strdup(text);
    if (copy == nullptr) {
        fatal_out_of_memory(FWPAK_SOURCE, __LINE__);
    }
    return copy;
}

bool waits_for_activation(const nic_info& row) {
    return row.prunning_ver != nullptr && row.prunning_ver[0] != '\0' &&
           (row.pfirmware_ver == nullptr || strcmp(row.prunning_ver, row.pfirmware_ver) != 0);
}

namespace {

// Empties the adapter table's globals; the rows belong to whoever made them and
// are not freed.
void reset_adapter_table() {
    g_ninfo = nullptr;
    g_nNics = 0;
    g_nMellanoxPorts = 0;
    g_nLeftOut = 0;
    nic_count = 0;
    fw_number = nullptr;
    memset(ver_buf, 0, sizeof ver_buf);
    memset(firmware_id, 0, sizeof firmware_id);
    sub_ven_id_new[0] = '\0';
    sub_dev_id_new[0] = '\0';
    bus_info[0] = '\0';
}

[[maybe_unused]] const bool kAdapterTableReset = register_run_state_reset(reset_adapter_table);

}  // namespace
