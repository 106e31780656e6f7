// The firmware catalog reader over a catalog held in memory: whatever the
// document, the read ends, fills no more records than the caller has room for,
// counts exactly the records it filled, and each of them carries a version text.
#include <cstring>
#include <vector>

#include <libxml/xmlerror.h>

#include "fuzz_support.h"
#include "inventory/catalog.h"
#include "nic_info.h"

namespace {

// The key of the adapter the seeds describe (15B3:1017, subsystem 15B3:0020).
constexpr char kKey[] = "15B3-1017-15B3-0020-MT_0000000080";
constexpr int kCapacities[] = {1, 3, MAX_FW_IMAGES};

void Quiet(void*, xmlErrorPtr) {}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static nic_info* row = static_cast<nic_info*>(calloc(1, sizeof(nic_info)));
    xmlSetStructuredErrorFunc(nullptr, Quiet);
    g_ninfo = row;
    nic_count = 0;
    row->fw_count = 0;
    snprintf(sub_ven_id_new, sizeof sub_ven_id_new, "%s", "15B3");
    snprintf(sub_dev_id_new, sizeof sub_dev_id_new, "%s", "0020");

    const int capacity = kCapacities[size % 3];
    std::vector<XMLFW_INFO> records(static_cast<size_t>(capacity), XMLFW_INFO{});
    FuzzBuffer xml(data, size);
    int rc = read_NIC_FW_xml_memory(xml.data(), xml.size(), kKey, records.data(), capacity);

    FUZZ_CHECK(rc == -1 || rc == (row->fw_count > 0 ? 1 : 0));
    FUZZ_CHECK(row->fw_count >= 0 && row->fw_count <= capacity);
    for (int i = 0; i < row->fw_count; ++i) {
        const XMLFW_INFO& r = records[static_cast<size_t>(i)];
        FUZZ_CHECK(r.pxmlRom != nullptr);
        FUZZ_CHECK(r.pxmlPSID != nullptr && strcmp(r.pxmlPSID, "MT_0000000080") == 0);
        FUZZ_CHECK(r.pxmlSubVenId != nullptr && strcmp(r.pxmlSubVenId, "15B3") == 0);
    }
    clear_fw_info(records.data(), capacity);
    g_ninfo = nullptr;
    return 0;
}
