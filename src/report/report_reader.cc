// Reading a discovery report into an adapter table: the counting pass, the filling
// pass with its per-element rules, and the value conversions they use.
#include "report/report_reader.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <sys/stat.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "console.h"
#include "handles.h"
#include "platform/files.h"
#include "versions/versions.h"

namespace {

constexpr char NO_NAME[] = "--";
constexpr char DEVICE[] = "device";

// A reader over a report, with the descriptor it reads when the report is a file
// (released after the reader, which does not close it).
struct OpenedReport {
    UniqueFd fd;
    XmlTextReaderOwner reader;
};
using ReaderOpener = std::function<OpenedReport()>;

const char* node_name(xmlTextReaderPtr reader) {
    const xmlChar* name = xmlTextReaderConstName(reader);
    return name != nullptr ? reinterpret_cast<const char*>(name) : NO_NAME;
}

bool contains(const char* text, const char* word) {
    return text != nullptr && strstr(text, word) != nullptr;
}

// Keeps a report value in the row, cut to MAX_OUTSIDE_TEXT-1 bytes with a warning:
// the table holds no more of a hostile report than a real one needs.
void keep_text(const report_cursor* cursor, const std::string& element, char** field,
               const char* value) {
    free(*field);
    *field = nullptr;
    if (value == nullptr)
        return;
    const size_t len = strlen(value);
    const size_t kept = kept_length(value, len);
    if (kept < len)
        log_eventf(LOG_WARNING,
                   "process_node: the %s of device %d is %zu bytes long; only its first %zu are "
                   "kept\n",
                   element.c_str(), cursor->Idx, len, kept);
    *field = dup_text(std::string(value, kept).c_str());
}

// Rebuilds the row's bus address from its three bus-position values. An address
// that does not fit bus_info's 20 bytes is not stored at all: a cut address could
// name another device.
void rebuild_bus_address(nic_info* row, int32_t Idx) {
    std::string address = std::string(row->busnumber ? row->busnumber : "") + ":" +
                          (row->devicenumber ? row->devicenumber : "") + "." +
                          (row->funcnumber ? row->funcnumber : "");
    free(row->pbus_info);
    row->pbus_info = nullptr;
    if (address.size() >= sizeof bus_info) {
        log_eventf(LOG_ERROR,
                   "process_node: the bus address of device %d is longer than %zu characters\n",
                   Idx, sizeof bus_info - 1);
        return;
    }
    snprintf(bus_info, sizeof bus_info, "%s", address.c_str());
    row->pbus_info = dup_text(bus_info);
}

void store_firmware_id(report_cursor* cursor, const char* value) {
    const char* psid = value != nullptr ? value : "";
    if (strlen(psid) >= FIRMWARE_ID_LEN) {
        log_eventf(LOG_ERROR,
                   "process_node: the firmware_id of device %d is longer than %d characters; "
                   "the device is refused\n",
                   cursor->Idx, FIRMWARE_ID_LEN - 1);
        cursor->refused[cursor->Idx] = true;
        firmware_id[cursor->Idx][0] = '\0';
        return;
    }
    snprintf(firmware_id[cursor->Idx], FIRMWARE_ID_LEN, "%s", psid);
}

// Keeps the texts of a ROM item for readers that show the report; the replay's
// own rules below do not look at them.
void keep_rom_text(report_cursor* cursor, const std::string& element, const char* value) {
    if (!contains(cursor->image_type.c_str(), "ROM"))
        return;
    report_rom_texts& rom = cursor->rom[cursor->Idx];
    const std::string text =
        value != nullptr ? std::string(value, kept_length(value, strlen(value))) : std::string();
    if (element == "version")
        rom.available = text;
    else if (element == "active_version")
        rom.installed = text;
    else if (element == "running_version")
        rom.running = text;
    else if (element == "action")
        rom.action = text;
}

// The rule of one property element applied to one attribute value of it.
void apply_rule(report_cursor* cursor, nic_info* row, const std::string& element,
                const char* value) {
    if (element == "type") {
        cursor->image_type = value != nullptr ? value : "";
        return;
    }
    if (row == nullptr)
        return;
    keep_rom_text(cursor, element, value);
    if (element == "device_id")
        keep_text(cursor, element, &row->pinterfacename, value);
    else if (element == "venid")
        row->ven_id = axtoi(value);
    else if (element == "devid")
        row->dev_id = axtoi(value);
    else if (element == "subvenid")
        row->sub_ven_id = axtoi(value);
    else if (element == "subdevid")
        row->sub_dev_id = axtoi(value);
    else if (element == "macaddress")
        keep_text(cursor, element, &row->pcurrent_mac, value);
    else if (element == "product_id")
        keep_text(cursor, element, &row->pxmlName[0], value);
    else if (element == "busnumber")
        keep_text(cursor, element, &row->busnumber, value);
    else if (element == "devicenumber")
        keep_text(cursor, element, &row->devicenumber, value);
    else if (element == "funcnumber")
        keep_text(cursor, element, &row->funcnumber, value);
    else if (element == "slotnumber")
        keep_text(cursor, element, &row->pPort, value);
    else if (element == "firmware_id")
        store_firmware_id(cursor, value);
    else if (element == "active_version")
        read_FW_cur_version(row, cursor->image_type.c_str(), value);
    else if (element == "action") {
        if (contains(value, "upgrade") || contains(value, "rewrite") ||
            contains(value, "downgrade"))
            row->flags |= NIC_FLASH;
        rebuild_bus_address(row, cursor->Idx);
    }
}

nic_info* current_row(const report_cursor* cursor) {
    if (!cursor->in_device || cursor->Idx < 0 || cursor->Idx >= cursor->row_count)
        return nullptr;
    return &cursor->rows[cursor->Idx];
}

// Reads every node of the document, handing each to visit: REPORT_LOADED at the
// end of a well-formed document. A document type declaration is refused: a report
// never has one, and refusing it leaves no entity declaration for the rest of the
// document to use.
report_load_status walk_nodes(xmlTextReaderPtr reader,
                              const std::function<void(xmlTextReaderPtr)>& visit) {
    int rc;
    while ((rc = xmlTextReaderRead(reader)) == 1) {
        if (xmlTextReaderNodeType(reader) == XML_READER_TYPE_DOCUMENT_TYPE)
            return REPORT_DOCTYPE_REFUSED;
        visit(reader);
    }
    return rc == 0 ? REPORT_LOADED : REPORT_PARSE_FAILED;
}

report_load_status load_report(const ReaderOpener& open, report_cursor* cursor) {
    OpenedReport opened = open();
    if (opened.reader == nullptr)
        return REPORT_OPEN_FAILED;
    int32_t count = 0;
    report_load_status status = walk_nodes(
        opened.reader.get(), [&count](xmlTextReaderPtr r) { read_num_device_elements(r, &count); });
    opened = OpenedReport();
    cursor->row_count = count;
    if (status != REPORT_LOADED)
        return status;
    if (count > MAX_REPORT_DEVICES)
        return REPORT_TOO_MANY_DEVICES;

    cursor->rows = static_cast<nic_info*>(calloc(count > 0 ? count : 1, sizeof(nic_info)));
    if (cursor->rows == nullptr) {
        fatal_out_of_memory(FWPAK_SOURCE, __LINE__);
    }
    for (int32_t i = 0; i < count; ++i) firmware_id[i][0] = '\0';

    opened = open();
    if (opened.reader == nullptr)
        return REPORT_OPEN_FAILED;
    return walk_nodes(opened.reader.get(),
                      [cursor](xmlTextReaderPtr r) { process_node(r, cursor); });
}

// No network access, no entity substitution, no DTD loading: a report is plain
// data and a hostile one must not make the reader fetch or expand anything.
constexpr int REPORT_PARSE_OPTIONS = XML_PARSE_NONET;

}  // namespace

void read_num_device_elements(xmlTextReaderPtr reader, int32_t* deviceCnt) {
    if (strcmp(node_name(reader), DEVICE) == 0 &&
        xmlTextReaderNodeType(reader) == XML_READER_TYPE_ELEMENT)
        ++*deviceCnt;
}

void process_node(xmlTextReaderPtr reader, report_cursor* cursor) {
    const std::string name = node_name(reader);
    const int type = xmlTextReaderNodeType(reader);
    if (name == DEVICE && type == XML_READER_TYPE_END_ELEMENT) {
        ++cursor->Idx;
        cursor->in_device = false;
    }
    if (type != XML_READER_TYPE_ELEMENT)
        return;
    // A self-closing device has no end tag, so it opens no row of its own.
    if (name == DEVICE && xmlTextReaderIsEmptyElement(reader) == 0)
        cursor->in_device = true;

    nic_info* row = current_row(cursor);
    const int attributes = xmlTextReaderAttributeCount(reader);
    for (int i = 0; i < attributes; ++i) {
        if (xmlTextReaderMoveToNextAttribute(reader) != 1)
            continue;
        const xmlChar* value = xmlTextReaderConstValue(reader);
        apply_rule(cursor, row, name, reinterpret_cast<const char*>(value));
    }
    xmlTextReaderMoveToElement(reader);
}

int32_t axtoi(const char* hexStg) {
    if (hexStg == nullptr)
        return 0;
    int32_t value = 0;
    for (int i = 0; i < 4 && hexStg[i] != '\0'; ++i) {
        const unsigned char c = static_cast<unsigned char>(hexStg[i]);
        int digit;
        if (c >= 0x2A && c <= 0x3F)
            digit = c & 0x0F;
        else if ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'))
            digit = (c & 0x0F) + 9;
        else
            break;
        value = value * 16 + digit;
    }
    return value;
}

void read_FW_cur_version(nic_info* pCurNinfo, const char* pImageType, const char* pVersion) {
    if (pVersion == nullptr || contains(pVersion, "n/a"))
        return;
    uint32_t major = 0, minor = 0, release = 0;
    if (parseversions(pVersion, &major, &minor, &release) != 0) {
        log_mellanox_event(pmstflint_fout, LOG_ERROR,
                           "read_FW_cur_version: Error installed version is not a version\n");
        return;
    }
    if (!contains(pImageType, "ROM")) {
        log_mellanox_event(pmstflint_fout, LOG_ERROR,
                           "read_FW_cur_version: Error Wrong image type\n");
        return;
    }
    pCurNinfo->uCurROMmaj = major;
    pCurNinfo->uCurROMmin = minor;
    pCurNinfo->uCurROMrel = release;
    pCurNinfo->flags |= NIC_STATE_KNOWN;
}

// The report is read whole into memory, once, and both passes run over that copy:
// a named pipe, a device or /dev/stdin gives its text only once. Reading it here
// also keeps libxml2 from taking the path as a URI (it would try the name with its
// "%XX" sequences decoded, so that "-u rep%6frt.xml" would replay report.xml).
report_load_status load_report_file(const char* path, report_cursor* cursor, int64_t* mtime) {
    std::string text;
    if (!read_whole_file(path, &text, MAX_REPORT_BYTES))
        // A directory or an unreadable device cannot be opened as a report.
        return errno == EFBIG ? REPORT_TOO_LARGE : REPORT_OPEN_FAILED;
    struct stat st;
    if (mtime != nullptr)
        *mtime = stat(path, &st) == 0 ? static_cast<int64_t>(st.st_mtime) : 0;
    return load_report_memory(text.data(), text.size(), cursor);
}

report_load_status load_report_memory(const char* data, size_t size, report_cursor* cursor) {
    if (size > static_cast<size_t>(INT32_MAX))
        return REPORT_OPEN_FAILED;
    return load_report(
        [data, size] {
            OpenedReport opened;
            opened.reader.reset(xmlReaderForMemory(data, static_cast<int>(size), nullptr, nullptr,
                                                   REPORT_PARSE_OPTIONS));
            return opened;
        },
        cursor);
}

void release_report_rows(nic_info* rows, int32_t count) {
    if (rows == nullptr)
        return;
    for (int32_t i = 0; i < count; ++i) {
        nic_info& r = rows[i];
        for (char* text : {r.pinterfacename, r.pdrivername, r.pdriver_ver, r.pfirmware_ver,
                           r.pbus_info, r.busnumber, r.devicenumber, r.funcnumber, r.pip_addr,
                           r.pnetmask, r.pbroadcast, r.pcurrent_mac, r.pFwPath, r.pPort, r.psid})
            free(text);
        for (int k = 0; k < MAX_FW_IMAGES; ++k) {
            free(r.pxmlName[k]);
            free(r.pxmlFwImage[k]);
        }
    }
    free(rows);
}
