// The inventory build: enumeration, the firmware query of every Mellanox port,
// its PCI IDs and its catalog images, into the adapter table.
#include "inventory/inventory_build.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "burn_record.h"
#include "console.h"
#include "flash/tool_commands.h"
#include "handles.h"
#include "inventory/catalog.h"
#include "inventory/fw_query.h"
#include "inventory/pci_enum.h"
#include "platform/files.h"
#include "versions/versions.h"
#include "run_flags.h"

nic_info* curnic = nullptr;

namespace {

void reset_current_row() {
    curnic = nullptr;
}
[[maybe_unused]] const bool kCurrentRowReset = register_run_state_reset(reset_current_row);

constexpr const char* kVersionKeyword = QUERY_VERSION_KEYWORD;
constexpr const char* kPsidKeyword = QUERY_PSID_KEYWORD;

struct TextListFree {
    void operator()(char** list) const { free_text_list(list); }
};
using TextList = std::unique_ptr<char*, TextListFree>;

struct MallocFree {
    void operator()(char* p) const { free(p); }
};
using MallocText = std::unique_ptr<char, MallocFree>;

// Keeps the catalog records' texts from piling up over the ports: each read gets
// cleared records, and the last texts go with the build.
struct CatalogRecords {
    std::vector<XMLFW_INFO> records = std::vector<XMLFW_INFO>(CATALOG_CAPACITY_INVENTORY);
    ~CatalogRecords() { clear(); }
    void clear() { clear_fw_info(records.data(), static_cast<int>(records.size())); }
};

// The per-port error lines of one build; with no data file they go nowhere.
class ErrorLines {
  public:
    ErrorLines() : data_(make_data_file(TMP_DATA_TEMPLATE)) {
        if (!data_.is_open())
            return;
        file_.reset(fdopen(data_.fd.get(), "w"));
        if (file_)
            data_.fd.release();
    }
    bool is_open() const { return file_ != nullptr; }
    const char* name() const { return data_.name.c_str(); }
    // Where a log line sends the reader for the details.
    std::string see() const {
        return is_open() ? std::string("see ") + name() : "no data file could be created";
    }
    void write(const std::string& text) {
        if (file_)
            fputs(text.c_str(), file_.get());
    }

  private:
    DataFile data_;
    UniqueFile file_;
};

void* zero_alloc(size_t count, size_t size) {
    void* p = calloc(count > 0 ? count : 1, size);
    if (p == nullptr) {
        fatal_out_of_memory(FWPAK_SOURCE, __LINE__);
    }
    return p;
}

void print_device_list(char** ppif, char** vendor_name) {
    print_message("List of Network Adapters detected on the Server.................\n");
    for (int i = 0; i < g_nNics; ++i) print_messagef("[%d] %s %s\n", i, ppif[i], vendor_name[i]);
}

// The values of one port's query; a value the query did not give stays null.
struct PortQuery {
    MallocText version;
    MallocText psid;
    MallocText running;  // only when the adapter runs other firmware than its flash's
};

// Both values come from the port's one query output.
PortQuery query_port(const PortQueryOutput& answer, ErrorLines* data) {
    PortQuery q;
    if (!answer.started)
        fprintf(stderr,
                "\n In popen for mstflint fork(2) or pipe(2) calls fail, \t\t\t\t or cannot "
                "allocate memory. \n\n");
    char* version = nullptr;
    char* psid = nullptr;
    int rc = cut_firmware_info(answer.output, &version, kVersionKeyword);
    q.version.reset(version);
    if (rc != 0) {
        data->write(fwupg_error(FatalShape::block,
                                "get_firmware_info filed RC = " + std::to_string(rc), FWPAK_SOURCE,
                                __LINE__));
        q.version.reset();
    }
    rc = cut_firmware_info(answer.output, &psid, kPsidKeyword);
    q.psid.reset(psid);
    if (rc != 0) {
        data->write(fwupg_error(FatalShape::block,
                                "get_firmware_info filed RC = " + std::to_string(rc), FWPAK_SOURCE,
                                __LINE__));
        q.psid.reset();
    }
    char* running = nullptr;
    if (cut_firmware_info(answer.output, &running, QUERY_RUNNING_KEYWORD) == 0)
        q.running.reset(running);
    else
        free(running);
    return q;
}

void print_card_info(const ethtool_info& info, const char* address, const char* psid) {
    print_messagef("\nMellanox card info for %s = FW_VERSION %s, BUS_INFO %s, PSID %s\n", address,
                   info.pfirmware_version, info.pbus_info, psid);
    unsigned int domain = 0, bus = 0, dev = 0, func = 0;
    sscanf(info.pbus_info, "%04x:%02x:%02x.%x", &domain, &bus, &dev, &func);
    print_messagef("%04x:%02x:%02x.%x\n", domain, bus, dev, func);
}

// Right after the card info line: the flash's image is not what the adapter runs.
void print_activation_line(const nic_info& row, const char* address) {
    if (!waits_for_activation(row))
        return;
    print_messagef(
        "Firmware %s is on the flash of %s, but the adapter runs %s: a reboot (or a reset "
        "of the adapter) loads it\n",
        row.pfirmware_ver, address, row.prunning_ver);
}

// A Mellanox port without its PCI IDs cannot be matched or burnt safely: the
// fault ends the run.
RunFault read_pci_ids(nic_info* row) {
    int32_t ven = 0, dev = 0, sub_ven = 0, sub_dev = 0;
    int rc = get_pci_info(row->pbus_info, &ven, &dev, &sub_ven, &sub_dev);
    if (rc != 0)
        return fatal_fault(FatalShape::block, "RC = " + std::to_string(rc), FWPAK_SOURCE, __LINE__);
    print_messagef("DEVICE INFO---------->%x %x %x %x\n", static_cast<unsigned>(ven),
                   static_cast<unsigned>(dev), static_cast<unsigned>(sub_ven),
                   static_cast<unsigned>(sub_dev));
    row->ven_id = ven;
    row->dev_id = dev;
    row->sub_ven_id = sub_ven;
    row->sub_dev_id = sub_dev;
    return RunFault{};
}

// Attaches the catalog's images to the row. A key that does not fit its 50 bytes
// (a PSID of more than 29 characters) is never cut: a cut PSID could match another
// board's images, so such a port gets none. A catalog that cannot be opened ends
// the run (the reader has logged why; no console line).
RunFault attach_catalog(nic_info* row, const char* address, CatalogRecords* catalog) {
    std::string key;
    int found = attach_catalog_images(row, row->psid, catalog->records.data(),
                                      CATALOG_CAPACITY_INVENTORY, ID_TEXT_LEN, &key);
    if (found == CATALOG_UNREADABLE)
        return RunFault{1, ""};
    if (found == CATALOG_KEY_TOO_LONG)
        log_eventf(LOG_WARNING,
                   "build_NIC_list: PSID %s of %s does not fit the %d-byte catalog key; no "
                   "catalog image is matched\n",
                   log_value(row->psid).c_str(), address, ID_TEXT_LEN);
    if (found != 1) {
        log_eventf(LOG_ERROR, "For %s no matching firmware file in XML\n", address);
        return RunFault{};
    }
    // An entry whose version is not a version can be neither ranked nor shown: it
    // is left out, named in the log.
    int kept = 0;
    for (int k = 0; k < row->fw_count; ++k) {
        const XMLFW_INFO& rec = catalog->records[static_cast<size_t>(k)];
        if (parseversions(rec.pxmlRom, &row->uFwROMmaj[kept], &row->uFwROMmin[kept],
                          &row->uFwROMrel[kept]) != 0) {
            log_eventf(
                LOG_WARNING,
                "build_NIC_list: catalog entry %.64s (%.64s) for %s has version \"%.64s\", not a "
                "version; skipped\n",
                log_value(rec.pxmlName).c_str(), log_value(rec.pxmlFwImage).c_str(), address,
                log_value(rec.pxmlRom).c_str());
            continue;
        }
        row->pxmlName[kept] = dup_text(rec.pxmlName);
        row->pxmlFwImage[kept] = dup_text(rec.pxmlFwImage);
        ++kept;
    }
    row->fw_count = kept;
    return RunFault{};
}

enum class PortResult { built, not_queried, fault };

// One Mellanox port: not_queried when its version or PSID is missing; fault (with
// *fault set) when the run cannot go on.
PortResult build_port(nic_info* row, const char* address, const PortQueryOutput& answer,
                      ErrorLines* data, CatalogRecords* catalog, RunFault* fault) {
    PortQuery q = query_port(answer, data);
    if (q.psid)
        row->psid = dup_text(q.psid.get());
    if (!q.version || !q.psid) {
        data->write(std::string("\n\nFWUPG_ERROR: PSID or FW_Version is not found for ") + address +
                    " interface\n");
        // Without this line the port would just be missing from every listing.
        log_eventf(LOG_WARNING,
                   "build_NIC_list: the query of %s gave no %s; the port is left out (%s)\n",
                   address,
                   !q.version && !q.psid ? "firmware version and no PSID"
                   : !q.version          ? "firmware version"
                                         : "PSID",
                   data->see().c_str());
        return PortResult::not_queried;
    }
    // A version that is not one would be shown cut or ranked wrong: the port counts
    // as not queried.
    if (parseversions(q.version.get(), &row->uCurROMmaj, &row->uCurROMmin, &row->uCurROMrel) != 0) {
        data->write(std::string("\n\nFWUPG_ERROR: FW_Version ") + q.version.get() + " of " +
                    address + " interface is not a version\n");
        log_eventf(LOG_ERROR, "build_NIC_list: FW Version \"%s\" of %s is not a version\n",
                   log_value(q.version.get()).c_str(), address);
        return PortResult::not_queried;
    }
    ethtool_info info{nullptr, nullptr, dup_text(q.version.get()), dup_text(address), link_unknown};
    print_card_info(info, address, q.psid.get());
    row->pinterfacename = dup_text(address);
    row->pdrivername = nullptr;
    row->pfirmware_ver = info.pfirmware_version;
    row->pbus_info = info.pbus_info;
    row->pbase_guid = dup_text(query_base_guid(answer.output).c_str());
    row->prunning_ver = q.running.release();
    print_activation_line(*row, address);

    *fault = read_pci_ids(row);
    if (!*fault)
        *fault = attach_catalog(row, address, catalog);
    if (*fault)
        return PortResult::fault;
    row->flags |= NIC_STATE_KNOWN;
    return PortResult::built;
}

}  // namespace

int build_NIC_list(RunFault* fault) {
    CatalogRecords catalog;
    char** ppif = nullptr;
    char** vendor_name = nullptr;
    int rc = get_interface_list(&ppif, &vendor_name, class_code, &g_nNics);
    TextList interfaces(ppif);
    TextList vendors(vendor_name);
    if (rc != 0)
        fputs(fwupg_error(FatalShape::block, "get_interface_list filed RC = " + std::to_string(rc),
                          FWPAK_SOURCE, __LINE__)
                  .c_str(),
              stderr);

    fw_number = static_cast<int32_t*>(zero_alloc(static_cast<size_t>(g_nNics), sizeof(int32_t)));
    print_device_list(ppif, vendor_name);
    g_ninfo = static_cast<nic_info*>(zero_alloc(static_cast<size_t>(g_nNics), sizeof(nic_info)));

    ErrorLines data;
    if (!data.is_open())
        printf("Not able to open this %s file\n", data.name());
    print_messagef("\nIf PSID or FW_Version is not found for some interfaces, please check %s\n\n",
                   data.name());

    // Every Mellanox port's query runs once, side by side with the others'; the
    // results are then taken in table order, as the ports are listed.
    std::vector<std::string> mellanox;
    for (int i = 0; i < g_nNics; ++i)
        if (is_mellanox_vendor(vendor_name[i]))
            mellanox.emplace_back(ppif[i]);
    std::vector<PortQueryOutput> answers = query_ports(mellanox);

    int missing = 0;
    size_t answer = 0;
    std::vector<std::pair<std::string, std::string>> answered;  // address, version
    for (nic_count = 0; nic_count < g_nNics; ++nic_count) {
        nic_info* row = &g_ninfo[nic_count];
        const char* address = ppif[nic_count];
        row->fw_count = 0;
        if (!is_mellanox_vendor(vendor_name[nic_count])) {
            print_messagef("Interface %s is not Mellanox one.\n", address);
            continue;
        }
        ++g_nMellanoxPorts;
        switch (build_port(row, address, answers[answer++], &data, &catalog, fault)) {
            case PortResult::built:
                answered.emplace_back(address, row->pfirmware_ver);
                break;
            case PortResult::not_queried:
                ++missing;
                break;
            case PortResult::fault:
                return BUILD_FATAL;
        }
    }
    forget_queried_burns(answered);

    // Each mode says what a failed build means for it; the ports whose query
    // failed have been named in the log above, with the data file.
    if (g_nMellanoxPorts == 0)
        return BUILD_NO_MELLANOX;
    if (missing == g_nMellanoxPorts)
        return BUILD_NO_PORT_QUERIED;
    return BUILD_OK;
}

int current_nic_fw() {
    for (int i = 0; i < g_nNics; ++i) {
        curnic = &g_ninfo[i];
        parseversions(curnic->pfirmware_ver, &curnic->uCurROMmaj, &curnic->uCurROMmin,
                      &curnic->uCurROMrel);
        curnic->flags |= NIC_STATE_KNOWN;
    }
    return 0;
}
