// A discovery report as a list of adapters with their texts, for the programs that
// show a report (fwpak-export) rather than replay it. It is read by the replay's
// own reader, so both see the same devices, IDs, PSIDs and addresses.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "report/report_reader.h"

struct report_item {
    std::string address;  // domain:bus:device.function, as the replay rebuilds it
    std::string psid;
    std::string product;  // the catalog name the report carries
    int32_t vendor_id = 0;
    int32_t device_id = 0;
    int32_t subsystem_vendor_id = 0;
    int32_t subsystem_device_id = 0;
    std::string installed;
    // The version the adapter runs: the installed one unless the report names a
    // burnt image that waits for a reboot or reset to be loaded.
    std::string running;
    std::string available;
    std::string action;

    bool activation_pending() const { return running != installed; }
};

struct report_items {
    std::vector<report_item> adapters;
    int64_t mtime = 0;      // the report file's last change, seconds since the epoch
    int error = 0;          // errno of a report that could not be opened or read
    std::string xml_error;  // libxml2's first complaint about a report it could not parse
};

// Reads the report at path; on REPORT_LOADED, *out holds one item per device in
// document order.
report_load_status read_report_items(const char* path, report_items* out);

// What went wrong, in a few words that fit after the report's name.
const char* report_load_reason(report_load_status status);
