// The firmware catalog reader: one streaming pass over the XML catalog per adapter,
// matching entries by the adapter key.
#include "inventory/catalog.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include <libxml/xmlreader.h>

#include "console.h"
#include "policy/versions.h"

namespace {

struct ReaderFree {
    void operator()(xmlTextReaderPtr r) const { xmlFreeTextReader(r); }
};
using UniqueReader = std::unique_ptr<xmlTextReader, ReaderFree>;

// No network, no DTD, no entity substitution, and no libxml2 chatter on stderr: a
// broken catalog ends the read with one warning in the event log.
constexpr int kParseOptions = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;

// MatchState::node_match when the current node has filled no record, and when it
// fills the pending record.
constexpr int kNoMatch = -1;
constexpr int kPendingMatch = -2;

// A value seen in the catalog; `set` is false until an entry has given one.
struct Seen {
    std::string text;
    bool set = false;
    void assign(const char* value) {
        set = value != nullptr;
        if (set)
            text.assign(value);
    }
    const char* c_str() const { return set ? text.c_str() : nullptr; }
};

// The scratch record of one read. It is never cleared between entries: an entry
// that lacks an attribute takes the value an earlier entry gave it.
struct Scratch {
    Seen name, venid, devid, subvenid, psid, subdevid;
};

struct MatchState {
    const char* key;
    XMLFW_INFO* records;
    int capacity;
    nic_info* row;
    Scratch scratch;
    std::string entry_key;
    int node_match = kNoMatch;  // record filled by the current node
    int first_slot = 0;         // the row's image count when the read began
    bool overflow_logged = false;
    // A match past the row's last slot, held until its node has given its version.
    XMLFW_INFO pending{};
};

// "%4s": shorter texts are padded on the left with blanks, longer ones kept whole.
void append_padded(std::string* out, const std::string& text) {
    if (text.size() < 4)
        out->append(4 - text.size(), ' ');
    out->append(text);
}

bool entry_key_matches(MatchState* st) {
    const Scratch& s = st->scratch;
    // A field no entry has given yet can never match (it has no text to compare).
    if (!s.venid.set || !s.devid.set || !s.subvenid.set || !s.subdevid.set || !s.psid.set)
        return false;
    std::string& k = st->entry_key;
    k.clear();
    append_padded(&k, s.venid.text);
    k.push_back('-');
    append_padded(&k, s.devid.text);
    k.push_back('-');
    append_padded(&k, s.subvenid.text);
    k.push_back('-');
    append_padded(&k, s.subdevid.text);
    k.push_back('-');
    k.append(s.psid.text);
    return k == st->key;
}

void fill_record(XMLFW_INFO* rec, const Scratch& s) {
    // Every field is set afresh, so a record reused by the caller keeps nothing
    // from an earlier adapter.
    rec->pxmlName = dup_text(s.name.c_str());
    rec->pxmlVenId = dup_text(s.venid.c_str());
    rec->pxmlDevId = dup_text(s.devid.c_str());
    rec->pxmlSubVenId = dup_text(s.subvenid.c_str());
    rec->pxmlSubDevId = dup_text(s.subdevid.c_str());
    rec->pxmlPSID = dup_text(s.psid.c_str());
    rec->pxmlRom = dup_text("");
    rec->pxmlFwImage = nullptr;
}

int compare_records(const XMLFW_INFO& a, const XMLFW_INFO& b) {
    return compare_versions(record_version(a), record_version(b));
}

// Appends a match for the current entry; returns its record index, kPendingMatch
// when it waits to compete for the row's last slot, or kNoMatch when the caller's
// array or the row is full.
int append_match(MatchState* st) {
    int slot = st->row->fw_count;
    int limit = st->capacity < MAX_FW_IMAGES ? st->capacity : MAX_FW_IMAGES;
    if (slot >= 0 && slot < limit) {
        fill_record(&st->records[slot], st->scratch);
        st->row->fw_count = slot + 1;
        return slot;
    }
    // A caller asking for fewer records than the row holds gets the first matches,
    // silently. Running out of the row's image slots would lose the newest images,
    // which catalogs list last: the match competes with the slots this read filled.
    if (limit != MAX_FW_IMAGES || slot != limit || st->first_slot >= limit)
        return kNoMatch;
    if (!st->overflow_logged)
        log_eventf(LOG_WARNING,
                   "read_NIC_FW_xml_file: more than %d catalog entries match %s; only the %d "
                   "newest are kept\n",
                   limit, st->key, limit);
    st->overflow_logged = true;
    fill_record(&st->pending, st->scratch);
    return kPendingMatch;
}

// Once the pending match's node is done: it replaces the oldest version among the
// records of this read (the latest listed of equal oldest ones) when it is newer.
// The records stay in catalog order, so equal versions still go to the first listed.
void settle_pending(MatchState* st) {
    if (st->node_match != kPendingMatch)
        return;
    int oldest = -1;
    for (int i = st->first_slot; i < st->row->fw_count; ++i) {
        if (oldest < 0 || compare_records(st->records[i], st->records[oldest]) <= 0)
            oldest = i;
    }
    if (oldest >= 0 && compare_records(st->pending, st->records[oldest]) > 0) {
        clear_fw_info(&st->records[oldest], 1);
        for (int i = oldest; i + 1 < st->row->fw_count; ++i) st->records[i] = st->records[i + 1];
        st->records[st->row->fw_count - 1] = st->pending;
    } else {
        clear_fw_info(&st->pending, 1);
    }
    st->pending = XMLFW_INFO{};
    st->node_match = kNoMatch;
}

XMLFW_INFO* node_record(MatchState* st) {
    if (st->node_match == kPendingMatch)
        return &st->pending;
    return st->node_match >= 0 ? &st->records[st->node_match] : nullptr;
}

void replace_text(char** field, const char* value) {
    free(*field);
    *field = dup_text(value);
}

const char* attribute_value(xmlTextReaderPtr reader) {
    return reinterpret_cast<const char*>(xmlTextReaderConstValue(reader));
}

// Handles the attribute the reader stands on; returns false when the node is to be
// left. Values are fetched only where they are kept.
bool visit_attribute(xmlTextReaderPtr reader, MatchState* st, const xmlChar* name) {
    Scratch& s = st->scratch;
    if (xmlStrcmp(name, BAD_CAST g_XMLNicName) == 0) {
        s.name.assign(attribute_value(reader));
    } else if (xmlStrcmp(name, BAD_CAST g_XMLVenId) == 0) {
        s.venid.assign(attribute_value(reader));
    } else if (xmlStrcmp(name, BAD_CAST g_XMLDevId) == 0) {
        s.devid.assign(attribute_value(reader));
    } else if (xmlStrcmp(name, BAD_CAST g_XMLPSID) == 0) {
        s.psid.assign(attribute_value(reader));
    } else if (xmlStrcmp(name, BAD_CAST g_XMLSubVenId) == 0) {
        s.subvenid.assign(sub_ven_id_new);
    } else if (xmlStrcmp(name, BAD_CAST g_XMLSubDevId) == 0) {
        s.subdevid.assign(sub_dev_id_new);
        if (!entry_key_matches(st))
            return false;
        st->node_match = append_match(st);
    } else if (xmlStrcmp(name, BAD_CAST g_XMLrom) == 0) {
        if (XMLFW_INFO* rec = node_record(st)) {
            const char* rom = attribute_value(reader);
            replace_text(&rec->pxmlRom, rom != nullptr ? rom : "");
        }
    } else if (xmlStrcmp(name, BAD_CAST g_XMLFwImage) == 0) {
        if (XMLFW_INFO* rec = node_record(st))
            replace_text(&rec->pxmlFwImage, attribute_value(reader));
    }
    return true;
}

void visit_node(xmlTextReaderPtr reader, MatchState* st, int count) {
    st->node_match = kNoMatch;
    for (int i = 0; i < count; ++i) {
        if (xmlTextReaderMoveToNextAttribute(reader) != 1)
            continue;
        const xmlChar* name = xmlTextReaderConstName(reader);
        if (name == nullptr)
            continue;
        if (!visit_attribute(reader, st, name))
            break;
    }
    settle_pending(st);
}

int read_catalog(xmlTextReaderPtr reader, const char* source, const char* pciIdString,
                 XMLFW_INFO* pXmlFwInfo, int capacity) {
    if (g_ninfo == nullptr || nic_count < 0 || pciIdString == nullptr || pXmlFwInfo == nullptr)
        return 0;
    MatchState st{pciIdString, pXmlFwInfo, capacity, &g_ninfo[nic_count], {}, {}};
    st.first_slot = st.row->fw_count;
    int rc;
    while ((rc = xmlTextReaderRead(reader)) == 1) {
        int count = xmlTextReaderAttributeCount(reader);
        if (count > 0)
            visit_node(reader, &st, count);
    }
    // The matches before the fault still count, but a catalog cut short or made
    // to break the parser must not go unnoticed.
    if (rc < 0)
        log_eventf(LOG_WARNING,
                   "read_NIC_FW_xml_file: %s is not well-formed XML (near line %d); entries "
                   "after that point are not read\n",
                   source, xmlTextReaderGetParserLineNumber(reader));
    return st.row->fw_count != 0 ? 1 : 0;
}

}  // namespace

int read_NIC_FW_xml_file(const char* pciIdString, XMLFW_INFO* pXmlFwInfo, int capacity) {
    xmlCheckVersion(20706);
    UniqueReader reader(xmlReaderForFile(g_XMLFwFile, nullptr, kParseOptions));
    if (!reader) {
        log_eventf(LOG_ERROR, "Unable to open %s\n", g_XMLFwFile);
        exit(1);
    }
    // No xmlCleanupParser after each read: it tears down libxml2's process-wide
    // state under any other libxml2 user of the process (report writer, reader).
    return read_catalog(reader.get(), g_XMLFwFile, pciIdString, pXmlFwInfo, capacity);
}

int read_NIC_FW_xml_memory(const char* xml, size_t size, const char* pciIdString,
                           XMLFW_INFO* pXmlFwInfo, int capacity) {
    xmlCheckVersion(20706);
    if (xml == nullptr || size > static_cast<size_t>(INT32_MAX))
        return -1;
    UniqueReader reader(
        xmlReaderForMemory(xml, static_cast<int>(size), nullptr, nullptr, kParseOptions));
    if (!reader)
        return -1;
    return read_catalog(reader.get(), "the catalog in memory", pciIdString, pXmlFwInfo, capacity);
}

void clear_fw_info(XMLFW_INFO* records, int count) {
    for (int i = 0; i < count; ++i) {
        XMLFW_INFO& r = records[i];
        for (char** f : {&r.pxmlName, &r.pxmlVenId, &r.pxmlDevId, &r.pxmlSubVenId, &r.pxmlSubDevId,
                         &r.pxmlRom, &r.pxmlFwImage, &r.pxmlPSID}) {
            free(*f);
            *f = nullptr;
        }
    }
}

bool names_image_file(const char* name) {
    return name != nullptr && name[0] != '\0' && strstr(name, "n/a") == nullptr;
}

int attach_catalog_images(nic_info* row, const char* psid, XMLFW_INFO* records, int capacity,
                          size_t key_size, std::string* key) {
    char text[ID_TEXT_LEN];
    nic_count = static_cast<int32_t>(row - g_ninfo);
    snprintf(sub_dev_id_new, sizeof sub_dev_id_new, "%04X", static_cast<unsigned>(row->sub_dev_id));
    snprintf(sub_ven_id_new, sizeof sub_ven_id_new, "%04X", static_cast<unsigned>(row->sub_ven_id));
    snprintf(text, sizeof text, "%04X-%04X-%04X-%04X-", static_cast<unsigned>(row->ven_id),
             static_cast<unsigned>(row->dev_id), static_cast<unsigned>(row->sub_ven_id),
             static_cast<unsigned>(row->sub_dev_id));
    *key = std::string(text) + (psid != nullptr ? psid : "(null)");
    // Shown before the read, which ends the process when the catalog is missing.
    print_messagef("pciIdString-------------->%.*s\n\n", static_cast<int>(key_size - 1),
                   key->c_str());
    clear_fw_info(records, capacity);
    if (key->size() >= key_size)
        return -1;
    return read_NIC_FW_xml_file(key->c_str(), records, capacity);
}
