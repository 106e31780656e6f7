// Turns the replay reader's table of a report into a list of adapter texts.
#include "report/report_items.h"

#include <cerrno>
#include <cstdio>

#include "nic_info.h"

namespace {

std::string text_of(const char* text) {
    return text != nullptr ? text : "";
}

// The address the replay burns: rebuilt from the bus-position values at the
// action; a device without an action falls back to its device_id.
report_item item_of(const report_cursor& cursor, int32_t i) {
    const nic_info& row = cursor.rows[i];
    const report_rom_texts& rom = cursor.rom[i];
    report_item item;
    item.address = row.pbus_info != nullptr ? row.pbus_info : text_of(row.pinterfacename);
    item.psid = cursor.refused[i] ? "" : firmware_id[i];
    item.product = text_of(row.pxmlName[0]);
    item.vendor_id = row.ven_id;
    item.device_id = row.dev_id;
    item.subsystem_vendor_id = row.sub_ven_id;
    item.subsystem_device_id = row.sub_dev_id;
    item.installed = rom.installed;
    item.running = rom.running.empty() ? rom.installed : rom.running;
    item.available = rom.available;
    item.action = rom.action;
    return item;
}

}  // namespace

report_load_status read_report_items(const char* path, report_items* out) {
    report_cursor cursor;
    XmlErrorCapture xml_errors;  // instead of libxml2's own lines on standard error
    errno = 0;
    report_load_status status = load_report_file(path, &cursor, &out->mtime);
    out->error = status == REPORT_OPEN_FAILED ? errno : 0;
    if (status == REPORT_PARSE_FAILED && xml_errors.seen())
        out->xml_error = xml_errors.first_message();
    if (status == REPORT_LOADED) {
        for (int32_t i = 0; i < cursor.row_count; ++i) out->adapters.push_back(item_of(cursor, i));
    }
    release_report_rows(cursor.rows, cursor.rows != nullptr ? cursor.row_count : 0);
    return status;
}

const char* report_load_reason(report_load_status status) {
    switch (status) {
        case REPORT_LOADED:
            return "read";
        case REPORT_OPEN_FAILED:
            return "cannot be opened or read";
        case REPORT_PARSE_FAILED:
            return "is not well-formed XML";
        case REPORT_DOCTYPE_REFUSED:
            return "has a document type declaration, which a report never has";
        case REPORT_TOO_MANY_DEVICES:
            return "names more devices than a report can hold";
        case REPORT_TOO_LARGE:
            return "is larger than any report";
    }
    return "cannot be read";
}
