// The discovery report reader over a report held in memory: both passes end on
// any document, the table never has more rows than a replay takes, and every value
// that can reach an outside tool or a fixed buffer stays within its bound.
#include <cstring>

#include <libxml/xmlerror.h>

#include "fuzz_support.h"
#include "nic_info.h"
#include "inventory/pci_enum.h"
#include "report/report_reader.h"

namespace {

void Quiet(void*, xmlErrorPtr) {}

bool PlainAddressCharacters(const char* text) {
    return strspn(text, "0123456789abcdefABCDEF:.") == strlen(text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    xmlSetStructuredErrorFunc(nullptr, Quiet);
    FuzzBuffer xml(data, size);
    report_cursor cursor;
    report_load_status status = load_report_memory(xml.data(), xml.size(), &cursor);

    if (status == REPORT_LOADED) {
        FUZZ_CHECK(cursor.row_count >= 0 && cursor.row_count <= MAX_REPORT_DEVICES);
        FUZZ_CHECK(cursor.rows != nullptr);
        FUZZ_CHECK(cursor.Idx >= 0 && cursor.Idx <= cursor.row_count);
        for (int32_t i = 0; i < cursor.row_count; ++i) {
            const nic_info& row = cursor.rows[i];
            FUZZ_CHECK(strnlen(firmware_id[i], FIRMWARE_ID_LEN) < FIRMWARE_ID_LEN);
            if (row.pbus_info != nullptr)
                FUZZ_CHECK(strlen(row.pbus_info) < BUS_INFO_LEN);
            if (is_pci_address(row.pbus_info))
                FUZZ_CHECK(PlainAddressCharacters(row.pbus_info));
            FUZZ_CHECK(row.ven_id >= 0 && row.ven_id <= 0xffff);
            FUZZ_CHECK((row.flags & ~(NIC_STATE_KNOWN | NIC_FLASH)) == 0);
        }
    }
    release_report_rows(cursor.rows, cursor.row_count);
    return 0;
}
