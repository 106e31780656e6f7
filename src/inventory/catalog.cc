// The firmware catalog reader: one streaming pass over the XML catalog per adapter,
// matching entries by the adapter key.
#include "inventory/catalog.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include <libxml/xmlreader.h>

#include "console.h"

namespace {

struct ReaderFree {
    void operator()(xmlTextReaderPtr r) const { xmlFreeTextReader(r); }
};
using UniqueReader = std::unique_ptr<xmlTextReader, ReaderFree>;

// No network, no DTD, no entity substitution, and no libxml2 chatter on stderr: a
// broken catalog ends the read silently, as it always has.
constexpr int kParseOptions = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;

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
    int node_match = -1;  // record filled by the current node, -1 for none
    bool overflow_logged = false;
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

// Appends a match for the current entry; returns its record index, or -1 when the
// caller's array or the row is full.
int append_match(MatchState* st) {
    int slot = st->row->fw_count;
    int limit = st->capacity < MAX_FW_IMAGES ? st->capacity : MAX_FW_IMAGES;
    if (slot < 0 || slot >= limit) {
        // A caller that asked for fewer records wants only the first matches and is
        // not told; running out of the row's image slots loses images, and is.
        if (limit == MAX_FW_IMAGES && !st->overflow_logged)
            log_eventf(LOG_WARNING,
                       "read_NIC_FW_xml_file: more than %d catalog entries match %s; the "
                       "further ones are ignored\n",
                       limit, st->key);
        st->overflow_logged = true;
        return -1;
    }
    const Scratch& s = st->scratch;
    XMLFW_INFO& rec = st->records[slot];
    // Every field is set afresh, so a record reused by the caller keeps nothing
    // from an earlier adapter.
    rec.pxmlName = dup_text(s.name.c_str());
    rec.pxmlVenId = dup_text(s.venid.c_str());
    rec.pxmlDevId = dup_text(s.devid.c_str());
    rec.pxmlSubVenId = dup_text(s.subvenid.c_str());
    rec.pxmlSubDevId = dup_text(s.subdevid.c_str());
    rec.pxmlPSID = dup_text(s.psid.c_str());
    rec.pxmlRom = dup_text("");
    rec.pxmlFwImage = nullptr;
    st->row->fw_count = slot + 1;
    return slot;
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
        const char* rom = st->node_match >= 0 ? attribute_value(reader) : nullptr;
        if (st->node_match >= 0)
            replace_text(&st->records[st->node_match].pxmlRom, rom != nullptr ? rom : "");
    } else if (xmlStrcmp(name, BAD_CAST g_XMLFwImage) == 0) {
        if (st->node_match >= 0)
            replace_text(&st->records[st->node_match].pxmlFwImage, attribute_value(reader));
    }
    return true;
}

void visit_node(xmlTextReaderPtr reader, MatchState* st, int count) {
    st->node_match = -1;
    for (int i = 0; i < count; ++i) {
        if (xmlTextReaderMoveToNextAttribute(reader) != 1)
            continue;
        const xmlChar* name = xmlTextReaderConstName(reader);
        if (name == nullptr)
            continue;
        if (!visit_attribute(reader, st, name))
            return;
    }
}

int read_catalog(xmlTextReaderPtr reader, const char* pciIdString, XMLFW_INFO* pXmlFwInfo,
                 int capacity) {
    if (g_ninfo == nullptr || nic_count < 0 || pciIdString == nullptr || pXmlFwInfo == nullptr)
        return 0;
    MatchState st{pciIdString, pXmlFwInfo, capacity, &g_ninfo[nic_count], {}, {}};
    while (xmlTextReaderRead(reader) == 1) {
        int count = xmlTextReaderAttributeCount(reader);
        if (count > 0)
            visit_node(reader, &st, count);
    }
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
    return read_catalog(reader.get(), pciIdString, pXmlFwInfo, capacity);
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
    return read_catalog(reader.get(), pciIdString, pXmlFwInfo, capacity);
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
