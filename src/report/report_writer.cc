// The discovery report writer (-d). The text writer feeds an in-memory document,
// which is saved in one step, through a temporary file renamed over the target, so
// that a reader of the report never sees a partial file.
#include "report/report_writer.h"

#include <cstdio>
#include <cstring>
#include <unistd.h>

#include <libxml/xmlsave.h>

#include "console.h"
#include "handles.h"
#include "inventory/inventory_build.h"
#include "nic_info.h"
#include "platform/files.h"
#include "policy/firmware_action.h"
#include "report/item_builders.h"
#include "run_flags.h"

namespace {

constexpr char INDENT[] = "    ";
constexpr int MAX_IMAGE_TYPES = 6;

// Tracks whether any write of a document failed, so that one failed element
// makes the whole report fail instead of saving an incomplete one.
class WriteStatus {
  public:
    void check(int rc) {
        if (rc < 0)
            failed_ = true;
    }
    int result() const { return failed_ ? -1 : 0; }

  private:
    bool failed_ = false;
};

const xmlChar* xml_text(const char* text) {
    return reinterpret_cast<const xmlChar*>(text != nullptr ? text : "");
}

// A leaf element: one self-closing tag with its single attribute.
int write_leaf(xmlTextWriterPtr writer, const char* name, const char* attribute,
               const char* value) {
    WriteStatus status;
    status.check(xmlTextWriterStartElement(writer, xml_text(name)));
    status.check(xmlTextWriterWriteAttribute(writer, xml_text(attribute), xml_text(value)));
    status.check(xmlTextWriterEndElement(writer));
    return status.result();
}

int write_value(xmlTextWriterPtr writer, const char* name, const char* value) {
    return write_leaf(writer, name, "value", value);
}

std::string hex_id(int32_t id) {
    char text[ID_TEXT_LEN];
    snprintf(text, sizeof text, "%04X", static_cast<unsigned>(id));
    return text;
}

int write_fw_item_children(xmlTextWriterPtr writer, const char* type, int32_t IdxNic) {
    const nic_info& nic = g_ninfo[IdxNic];
    char version[TEXT_LEN] = {0};
    char active_version[TEXT_LEN] = {0};
    char action[TEXT_LEN] = {0};
    build_XML_FW_item_version(type, version, sizeof version, static_cast<uint32_t>(IdxNic));
    build_XML_FW_item_active_version(type, active_version, sizeof active_version, IdxNic);
    build_XML_FW_item_action(type, action, sizeof action, IdxNic);

    WriteStatus status;
    status.check(write_value(writer, "type", type));
    status.check(write_value(writer, "firmware_id", nic.psid));
    status.check(write_value(writer, "version", version));
    status.check(write_value(writer, "active_version", active_version));
    // Only an adapter waiting for activation gets the element, so that every other
    // report stays as it always was; the replay reads no such element.
    if (strstr(type, "ROM") != nullptr && waits_for_activation(nic))
        status.check(write_value(writer, "running_version", nic.prunning_ver));
    status.check(write_value(writer, "action", action));
    status.check(write_value(writer, "duration", strstr(type, "ROM") != nullptr ? "210" : "0"));
    status.check(write_value(writer, "message", ""));
    status.check(write_value(writer, "shared", "no"));
    return status.result();
}

void log_save_error(const char* what, const char* path, int error) {
    log_eventf(LOG_ERROR, "xml_discovery_report: %s %s (%s)\n", what, log_value(path).c_str(),
               strerror(error));
}

// Writes doc into the open file (the temporary file of the save, or the device
// written in place). The document goes to the descriptor,
// not to a file name: libxml2 reads a file name as a URI and would unescape
// "%XX" sequences in it, writing some other file.
int write_document_to(int fd, xmlDocPtr doc) {
    xmlCharEncodingHandlerPtr encoder = xmlFindCharEncodingHandler("UTF-8");
    xmlOutputBufferPtr out = xmlOutputBufferCreateFd(fd, encoder);
    if (out == nullptr)
        return -1;
    // xmlSaveFileTo releases the buffer on every path; the descriptor stays open.
    return xmlSaveFileTo(out, doc, "UTF-8") < 0 ? -1 : 0;
}

}  // namespace

bus_position split_bus_position(const char* pbus_info) {
    bus_position pos;
    std::string bus = pbus_info != nullptr ? pbus_info : "";
    size_t last_dot = bus.rfind('.');
    if (last_dot != std::string::npos)
        pos.funcnumber = bus.substr(last_dot + 1);

    size_t first = bus.find(':');
    size_t second = first == std::string::npos ? first : bus.find(':', first + 1);
    // Without domain:bus:device there is no bus or device to name; both stay empty
    // rather than carry a piece of some other field.
    if (second == std::string::npos)
        return pos;
    pos.busnumber = bus.substr(0, second);
    size_t third = bus.find(':', second + 1);
    std::string device =
        bus.substr(second + 1, third == std::string::npos ? third : third - second - 1);
    pos.devicenumber = device.substr(0, device.find('.'));
    return pos;
}

int write_XML_start_elements(XmlTextWriterOwner* writer, XmlDocOwner* doc) {
    xmlDocPtr new_doc = nullptr;
    writer->reset(xmlNewTextWriterDoc(&new_doc, 0));
    doc->reset(new_doc);
    if (*writer == nullptr) {
        log_mellanox_event(pmstflint_fout, LOG_ERROR,
                           "write_XML_start_elements: Error creating teh xml writer\n");
        return -1;
    }
    xmlTextWriterPtr w = writer->get();
    WriteStatus status;
    status.check(xmlTextWriterSetIndent(w, 1));
    status.check(xmlTextWriterSetIndentString(w, xml_text(INDENT)));
    status.check(xmlTextWriterStartDocument(w, nullptr, "UTF-8", nullptr));
    status.check(xmlTextWriterStartElement(w, xml_text("qx_rom_discovery")));
    status.check(xmlTextWriterWriteAttribute(w, xml_text("version"), xml_text("2.0.0.0")));
    status.check(write_value(w, "type", "MELLANOX_NIC"));
    status.check(write_value(w, "alt_name", BANNER_TITLE));
    status.check(write_value(w, "version", "1.0.0"));
    status.check(write_value(w, "takes_effect", "reboot"));
    status.check(xmlTextWriterStartElement(w, xml_text("devices")));
    return status.result();
}

int write_XML_device_elements(xmlTextWriterPtr writer, int32_t IdxNic) {
    const nic_info& nic = g_ninfo[IdxNic];
    const bus_position pos = split_bus_position(nic.pbus_info);
    WriteStatus status;
    status.check(xmlTextWriterStartElement(writer, xml_text("device")));
    status.check(write_value(writer, "device_id", nic.pinterfacename));
    status.check(write_value(writer, "venid", hex_id(nic.ven_id).c_str()));
    status.check(write_value(writer, "devid", hex_id(nic.dev_id).c_str()));
    status.check(write_value(writer, "subvenid", hex_id(nic.sub_ven_id).c_str()));
    status.check(write_value(writer, "subdevid", hex_id(nic.sub_dev_id).c_str()));
    status.check(write_value(writer, "macaddress", nic.pcurrent_mac));
    status.check(write_value(writer, "product_id", nic.fw_count > 0 ? nic.pxmlName[0] : nullptr));
    status.check(write_value(writer, "busnumber", pos.busnumber.c_str()));
    status.check(write_value(writer, "devicenumber", pos.devicenumber.c_str()));
    status.check(write_value(writer, "funcnumber", pos.funcnumber.c_str()));
    status.check(write_value(writer, "slotnumber", nic.pPort));
    status.check(write_value(writer, "nictype", "MELLANOX"));
    status.check(write_XML_FW_item(writer, IdxNic));
    status.check(xmlTextWriterEndElement(writer));
    return status.result();
}

int write_XML_FW_item(xmlTextWriterPtr writer, int32_t IdxNic) {
    const char* types[MAX_IMAGE_TYPES] = {};
    int type_count = 0;
    if ((g_ninfo[IdxNic].flags & NIC_STATE_KNOWN) != 0)
        types[type_count++] = "ROM";

    WriteStatus status;
    for (int t = 0; t < type_count; ++t) {
        status.check(xmlTextWriterStartElement(writer, xml_text("fw_item")));
        status.check(write_fw_item_children(writer, types[t], IdxNic));
        status.check(xmlTextWriterEndElement(writer));
    }
    return status.result();
}

int save_report_document(xmlDocPtr doc, const char* path) {
    SaveFailure failure;
    if (save_file_atomically(
            path, [doc](int fd) { return write_document_to(fd, doc); }, &failure) == 0)
        return 0;
    const char* what = failure.step == SaveStep::create ? "Failed to create a temporary file beside"
                       : failure.step == SaveStep::open ? "Failed to open"
                       : failure.step == SaveStep::write ? "Failed to save"
                                                         : "Failed to replace";
    log_save_error(what, path, failure.error);
    return -1;
}

int xml_discovery_report() {
    XmlErrorCapture xml_errors;
    XmlTextWriterOwner writer;
    XmlDocOwner doc;
    WriteStatus status;
    status.check(write_XML_start_elements(&writer, &doc));
    if (writer == nullptr)
        return 2;
    // The rows the report recommends flashing are marked before it is written,
    // as the design's action builder marks them.
    mark_recommended_flashes(g_ninfo, g_nNics);
    for (int32_t u = 0; u < g_nNics; ++u) {
        if ((g_ninfo[u].flags & NIC_STATE_KNOWN) != 0)
            status.check(write_XML_device_elements(writer.get(), u));
    }
    if (xmlTextWriterEndDocument(writer.get()) < 0) {
        log_mellanox_event(pmstflint_fout, LOG_ERROR, "Error at XmlTextWriterEndDocument\n");
        return 2;
    }
    // Releasing the writer ends the document's parse; only then is the tree whole.
    writer.reset();
    if (status.result() != 0 || xml_errors.seen() || xmlDocGetRootElement(doc.get()) == nullptr) {
        log_eventf(
            LOG_ERROR, "xml_discovery_report: Failed to build the report for %s: %s\n",
            log_value(g_XMLDiscoveryReport).c_str(),
            xml_errors.seen() ? log_value(xml_errors.first_message()).c_str() : "a write failed");
        return 2;
    }
    return save_report_document(doc.get(), g_XMLDiscoveryReport) == 0 ? 0 : 2;
}

// A fleet roll-out must tell a server without Mellanox adapters (nothing to do) from
// one whose adapters could not be read (a fault): both end with 2 and no report, so
// the log says which.
int discover_HW(RunFault* fault) {
    *fault = open_event_log(FWPAK_SOURCE, __LINE__);
    if (*fault)
        return fault->status;
    int built = build_NIC_list(fault);
    if (built == BUILD_FATAL)
        return fault->status;
    if (built == BUILD_NO_MELLANOX) {
        log_eventf(LOG_INFO, "discover_HW: no Mellanox adapter found, no report written\n");
        return 2;
    }
    if (built != BUILD_OK) {
        log_eventf(LOG_ERROR,
                   "discover_HW: no Mellanox adapter could be queried, no report written\n");
        return 2;
    }
    int result = xml_discovery_report();
    // The report holds what the table holds; adapters left out of it (logged with
    // their addresses) make it incomplete, and a deployment must not take it as whole.
    return g_nLeftOut > 0 ? 2 : result;
}
