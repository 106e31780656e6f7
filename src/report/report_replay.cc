// The report replay (-u): the table comes from a discovery report instead of the
// inventory; every device is looked up in the catalog by its key and burnt when its
// action asks for it.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "console.h"
#include "flash/burn_batch.h"
#include "flash/flash_exec.h"
#include "inventory/catalog.h"
#include "inventory/fw_query.h"
#include "inventory/pci_enum.h"
#include "nic_info.h"
#include "platform/process_state.h"
#include "versions/versions.h"
#include "progress_view.h"
#include "report/report_reader.h"
#include "report/report_replay.h"
#include "run_flags.h"

namespace {

enum device_outcome {
    DEVICE_OK,             // ready: to be burnt, or nothing to burn
    DEVICE_ERROR,          // no catalog entry, unusable image name or bus address
    DEVICE_LOOKUP_FAILED,  // the placeholder image could not be resolved: the mode ends
    DEVICE_FAULT,          // the catalog could not be opened: the run ends, nothing is burnt
};

// A replay burns the image the report reader put first, with the tool's silent
// command line.
constexpr BurnForm kReplayForm = {true, true};

// Logs why the report could not be read; every such report ends the mode with 2
// before anything is flashed.
void log_load_failure(report_load_status status, const char* report_path,
                      const report_cursor& cursor, const XmlErrorCapture& xml_errors) {
    const std::string shown = log_value(report_path);
    const char* path = shown.c_str();
    switch (status) {
        case REPORT_OPEN_FAILED:
            log_eventf(LOG_ERROR, "read_discovery_report: Failed to open %s\n", path);
            break;
        case REPORT_TOO_MANY_DEVICES:
            log_eventf(LOG_ERROR,
                       "read_discovery_report: %s names %d devices, more than the %d a replay "
                       "can take; nothing is flashed\n",
                       path, cursor.row_count, MAX_REPORT_DEVICES);
            break;
        case REPORT_TOO_LARGE:
            log_eventf(LOG_ERROR,
                       "read_discovery_report: %s is larger than %zu MiB, more than any report; "
                       "nothing is flashed\n",
                       path, MAX_REPORT_BYTES >> 20);
            break;
        default:
            log_eventf(LOG_ERROR, "read_discovery_report: Failed to parse %s\n", path);
            if (status == REPORT_DOCTYPE_REFUSED)
                log_eventf(LOG_ERROR,
                           "read_discovery_report: %s has a document type declaration, which "
                           "a report never has\n",
                           path);
            else if (xml_errors.seen())
                log_eventf(LOG_ERROR, "read_discovery_report: %s\n",
                           log_value(xml_errors.first_message()).c_str());
            break;
    }
}

// Names in the log every matching catalog entry whose version is not a version;
// newest_record passes over them.
void log_unusable_records(const XMLFW_INFO* records, int count) {
    for (int i = 0; i < count; ++i) {
        uint32_t major = 0, minor = 0, release = 0;
        if (parseversions(records[i].pxmlRom, &major, &minor, &release) == 0)
            continue;
        log_eventf(LOG_WARNING,
                   "read_discovery_report: catalog entry %.64s (%.64s) has version \"%.64s\", "
                   "not a version; skipped\n",
                   log_value(records[i].pxmlName).c_str(),
                   log_value(records[i].pxmlFwImage).c_str(),
                   log_value(records[i].pxmlRom).c_str());
    }
}

// Looks row Idx up in the catalog; on a match (DEVICE_OK), the row's first image
// slot holds the image file name of the newest matching entry. A catalog often
// lists several images for one board, oldest first: burning the first match would
// write an older image than the report recommended, even over a newer one
// installed.
device_outcome find_catalog_image(int32_t Idx, XMLFW_INFO* records) {
    nic_info& row = g_ninfo[Idx];
    std::string key;
    const int found = attach_catalog_images(&row, firmware_id[Idx], records,
                                            CATALOG_CAPACITY_REPLAY, TEXT_LEN, &key);
    if (found == CATALOG_UNREADABLE)
        return DEVICE_FAULT;
    if (found != 1) {
        log_eventf(LOG_ERROR, "read_discovery_report: No firmware for %s in %s\n",
                   log_value(key).c_str(), g_XMLFwFile);
        return DEVICE_ERROR;
    }
    log_unusable_records(records, row.fw_count);
    const int newest = newest_record(records, row.fw_count);
    if (newest < 0) {
        log_eventf(LOG_ERROR, "read_discovery_report: No usable firmware version for %s in %s\n",
                   log_value(key).c_str(), g_XMLFwFile);
        return DEVICE_ERROR;
    }
    const XMLFW_INFO& record = records[newest];
    if (!names_image_file(record.pxmlFwImage)) {
        log_eventf(LOG_ERROR,
                   "read_discovery_report: The firmware entry for %s in %s names no image file\n",
                   log_value(key).c_str(), g_XMLFwFile);
        return DEVICE_ERROR;
    }
    free(row.pxmlFwImage[0]);
    row.pxmlFwImage[0] = dup_text(record.pxmlFwImage);
    // The burn is verified against this entry's version, whatever file a placeholder
    // name later resolves to.
    parseversions(record.pxmlRom, &row.uFwROMmaj[0], &row.uFwROMmin[0], &row.uFwROMrel[0]);
    return DEVICE_OK;
}

// Everything before the burn of one device: the catalog lookup, the image lookup
// of a placeholder, and the burn made ready (`burn`, which runs nothing when the
// device is not to be burnt or fails before its burn).
device_outcome prepare_device(int32_t Idx, const report_cursor& cursor, XMLFW_INFO* records,
                              PreparedBurn* burn) {
    nic_info& row = g_ninfo[Idx];
    if (cursor.refused[Idx])
        return DEVICE_ERROR;
    const device_outcome found = find_catalog_image(Idx, records);
    if (found != DEVICE_OK)
        return found;

    const bool placeholder = is_placeholder_image(row.pxmlFwImage[0]);
    // The address comes from report text and is about to reach the lookup's shell
    // command or the burning tool: nothing runs unless it is a plain PCI address.
    if ((placeholder || (row.flags & NIC_FLASH) != 0) && !is_pci_address(row.pbus_info)) {
        log_eventf(LOG_ERROR,
                   "read_discovery_report: device %d has no valid PCI bus address (%s); nothing "
                   "is run for it\n",
                   Idx, row.pbus_info != nullptr ? log_value(row.pbus_info).c_str() : "none");
        return DEVICE_ERROR;
    }
    if (placeholder &&
        (modify_imagename(&row, nullptr) != 0 || !names_image_file(row.pxmlFwImage[0]))) {
        log_mellanox_event(pmstflint_fout, LOG_ERROR,
                           "read_discovery_report: Error in finding the image for "
                           "Pelmora/Quillet2\n");
        return DEVICE_LOOKUP_FAILED;
    }
    free(row.pFwPath);
    row.pFwPath = dup_text(row.pxmlFwImage[0]);
    *burn = prepare_burn(static_cast<uint32_t>(Idx), kReplayForm);
    return DEVICE_OK;
}

// The devices are made ready one after another, in report order, with their lines
// held back; their burns then run side by side. A report does not tell which
// devices share a flash: devices of one PSID are burnt one after another. A failed
// image lookup ends the mode: later devices are left untouched, the earlier ones
// are still burnt. A fault (the catalog cannot be opened, a stop signal during the
// burns) ends the run: it is left in *fault and its status returned; a catalog
// fault comes before any burn, and the device's lines that tell why are written.
int replay_devices(const report_cursor& cursor, RunFault* fault) {
    std::vector<XMLFW_INFO> records(CATALOG_CAPACITY_REPLAY, XMLFW_INFO{});
    read_discovery = 1;
    BurnBatch batch;
    std::vector<device_outcome> prepared;
    for (int32_t Idx = 0; Idx < cursor.row_count; ++Idx) {
        nic_count = Idx;
        HeldOutput held;
        PreparedBurn burn;
        {
            OutputHold hold(&held);
            prepared.push_back(prepare_device(Idx, cursor, records.data(), &burn));
        }
        if (prepared.back() == DEVICE_FAULT) {
            held.release();
            clear_fw_info(records.data(), CATALOG_CAPACITY_REPLAY);
            *fault = RunFault{1, ""};
            return fault->status;
        }
        batch.add(static_cast<uint32_t>(Idx), std::move(held), std::move(burn),
                  flash_identity(nullptr, firmware_id[Idx]));
        if (prepared.back() == DEVICE_LOOKUP_FAILED)
            break;
    }
    nic_count = cursor.row_count;
    clear_fw_info(records.data(), CATALOG_CAPACITY_REPLAY);
    ProgressView view(console_is_terminal());
    const std::vector<BurnOutcome> burnt = batch.run(&view);
    if (batch.stop()) {
        *fault = batch.stop();
        return fault->status;
    }
    if (!prepared.empty() && prepared.back() == DEVICE_LOOKUP_FAILED)
        return 2;

    int32_t errors = 0;
    bool any_burn_failed = false;
    for (size_t i = 0; i < prepared.size(); ++i) {
        // A device's own burn says whether it failed, whatever others left in the flags.
        const bool failed = burnt[i].verdict == BURN_FAILED;
        if (prepared[i] != DEVICE_OK || failed)
            ++errors;
        any_burn_failed = any_burn_failed || failed;
    }
    if (errors >= cursor.row_count) {
        log_mellanox_event(pmstflint_fout, LOG_ERROR,
                           "read_discovery_report: Error at read_NIC_FW_xml_file\n");
        return 2;
    }
    if (any_burn_failed) {
        log_eventf(LOG_ERROR, "read_discovery_report: %d of %d devices failed, a burn among them\n",
                   errors, cursor.row_count);
        return 2;
    }
    return 0;
}

}  // namespace

int read_discovery_report(RunFault* fault) {
    silent = SILENT_ON;
    *fault = open_event_log(FWPAK_SOURCE, __LINE__);
    if (*fault)
        return fault->status;

    report_cursor cursor;
    report_load_status status;
    {
        XmlErrorCapture xml_errors;
        status = load_report_file(g_XMLDiscoveryReport, &cursor);
        if (status != REPORT_LOADED) {
            log_load_failure(status, g_XMLDiscoveryReport, cursor, xml_errors);
            return 2;
        }
    }
    // The table lives until the process ends, as the inventory's does.
    g_ninfo = cursor.rows;
    g_nNics = cursor.row_count;
    return replay_devices(cursor, fault);
}
