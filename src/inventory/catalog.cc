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
#include "versions/versions.h"

namespace {

struct ReaderFree {
    void operator()(xmlTextReaderPtr r) const { xmlFreeTextReader(r); }
};
using UniqueReader = std::unique_ptr<xmlTextReader, ReaderFree>;

// No network, no DTD, no entity substitution, and no libxml2 chatter on stderr: a
// broken catalog ends the read with one warning in the event log.
// Line numbers past 65535 are kept too, for the findings of fwpak-repo.
constexpr int kParseOptions =
    XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_BIG_LINES;

// MatchState::node_match when the current node has filled no record, and when it
// fills the pending record.
constexpr int kNoMatch = -1;
constexpr int kPendingMatch = -2;

struct MatchState {
    const char* source;  // the catalog's name in log lines
    const CatalogAdapter* adapter;
    const char* key;
    XMLFW_INFO* records;
    int capacity;
    nic_info* row;
    std::string entry_key;
    int node_match = kNoMatch;  // record filled by the current node
    int first_slot = 0;         // the row's image count when the read began
    bool overflow_logged = false;
    int line = 0;             // the current node's line in the catalog
    bool cut_logged = false;  // a value of this read was cut (logged once per read)
    // A match past the row's last slot, held until its node has given its version.
    XMLFW_INFO pending{};
};

// "%4s": shorter texts are padded on the left with blanks, longer ones kept whole.
void append_padded(std::string* out, const std::string& text) {
    if (text.size() < 4)
        out->append(4 - text.size(), ' ');
    out->append(text);
}

// The catalog's subsystem IDs are not compared: the adapter's own stand in for them.
bool entry_key_matches(MatchState* st, const CatalogScratch& s) {
    // A field no entry has given yet can never match (it has no text to compare).
    if (!s.venid.set || !s.devid.set || !s.subvenid.set || !s.subdevid.set || !s.psid.set)
        return false;
    std::string& k = st->entry_key;
    k.clear();
    append_padded(&k, s.venid.text);
    k.push_back('-');
    append_padded(&k, s.devid.text);
    k.push_back('-');
    append_padded(&k, st->adapter->sub_ven_id);
    k.push_back('-');
    append_padded(&k, st->adapter->sub_dev_id);
    k.push_back('-');
    k.append(s.psid.text);
    return k == st->key;
}

// A copy of a catalog value as the adapter table keeps it: cut to
// MAX_OUTSIDE_TEXT-1 bytes, with one warning per read naming the first entry cut.
// Without the cut, a 1 MiB name that 100 nameless entries inherit would be copied
// into each of their records: memory a multiple of the catalog's size.
char* kept_copy(MatchState* st, const char* what, const char* value) {
    if (value == nullptr)
        return nullptr;
    const size_t len = strlen(value);
    const size_t kept = kept_length(value, len);
    if (kept == len)
        return dup_text(value);
    if (!st->cut_logged)
        log_eventf(LOG_WARNING,
                   "read_NIC_FW_xml_file: the %s of the entry on line %d of %s is %zu bytes "
                   "long; only its first %zu are kept\n",
                   what, st->line, st->source, len, kept);
    st->cut_logged = true;
    return dup_text(std::string(value, kept).c_str());
}

void fill_record(MatchState* st, XMLFW_INFO* rec, const CatalogScratch& s) {
    // Every field is set afresh, so a record reused by the caller keeps nothing
    // from an earlier adapter.
    rec->pxmlName = kept_copy(st, g_XMLNicName, s.name.c_str());
    rec->pxmlVenId = kept_copy(st, g_XMLVenId, s.venid.c_str());
    rec->pxmlDevId = kept_copy(st, g_XMLDevId, s.devid.c_str());
    rec->pxmlSubVenId = dup_text(st->adapter->sub_ven_id.c_str());
    rec->pxmlSubDevId = dup_text(st->adapter->sub_dev_id.c_str());
    rec->pxmlPSID = kept_copy(st, g_XMLPSID, s.psid.c_str());
    rec->pxmlRom = dup_text("");
    rec->pxmlFwImage = nullptr;
}

int compare_records(const XMLFW_INFO& a, const XMLFW_INFO& b) {
    return compare_versions(record_version(a), record_version(b));
}

// Appends a match for the current entry; returns its record index, kPendingMatch
// when it waits to compete for the row's last slot, or kNoMatch when the caller's
// array or the row is full.
int append_match(MatchState* st, const CatalogScratch& s) {
    int slot = st->row->fw_count;
    int limit = st->capacity < MAX_FW_IMAGES ? st->capacity : MAX_FW_IMAGES;
    if (slot >= 0 && slot < limit) {
        fill_record(st, &st->records[slot], s);
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
                   limit, log_value(st->key).c_str(), limit);
    st->overflow_logged = true;
    fill_record(st, &st->pending, s);
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

// Takes over `value` (a new copy, or null) as the field's text.
void replace_text(char** field, char* value) {
    free(*field);
    *field = value;
}

// fwpak's matching: appends the entries whose key equals the adapter's.
class Matcher : public CatalogVisitor {
  public:
    explicit Matcher(MatchState* st) : st_(st) {}
    void begin_node(int line) override {
        st_->node_match = kNoMatch;
        st_->line = line;
    }
    bool entry(const CatalogScratch& s) override {
        if (!entry_key_matches(st_, s))
            return false;
        st_->node_match = append_match(st_, s);
        return true;
    }
    void tail(CatalogTail which, const char* value) override {
        XMLFW_INFO* rec = node_record(st_);
        if (rec == nullptr)
            return;
        if (which == CatalogTail::rom)
            replace_text(&rec->pxmlRom, kept_copy(st_, g_XMLrom, value != nullptr ? value : ""));
        else
            replace_text(&rec->pxmlFwImage, kept_copy(st_, g_XMLFwImage, value));
    }
    void end_node() override { settle_pending(st_); }

  private:
    MatchState* st_;
};

const char* attribute_value(xmlTextReaderPtr reader) {
    return reinterpret_cast<const char*>(xmlTextReaderConstValue(reader));
}

// The subsystem IDs count as given once their attribute is there, whatever it holds.
const char* value_or_empty(xmlTextReaderPtr reader) {
    const char* value = attribute_value(reader);
    return value != nullptr ? value : "";
}

// Interprets the attribute the reader stands on; returns false when the node is
// to be left.
bool visit_attribute(xmlTextReaderPtr reader, CatalogScratch* s, CatalogVisitor* v,
                     const xmlChar* name) {
    v->attribute(reinterpret_cast<const char*>(name));
    if (xmlStrcmp(name, BAD_CAST g_XMLNicName) == 0) {
        s->name.assign(attribute_value(reader));
    } else if (xmlStrcmp(name, BAD_CAST g_XMLVenId) == 0) {
        s->venid.assign(attribute_value(reader));
    } else if (xmlStrcmp(name, BAD_CAST g_XMLDevId) == 0) {
        s->devid.assign(attribute_value(reader));
    } else if (xmlStrcmp(name, BAD_CAST g_XMLPSID) == 0) {
        s->psid.assign(attribute_value(reader));
    } else if (xmlStrcmp(name, BAD_CAST g_XMLSubVenId) == 0) {
        s->subvenid.assign(value_or_empty(reader));
    } else if (xmlStrcmp(name, BAD_CAST g_XMLSubDevId) == 0) {
        s->subdevid.assign(value_or_empty(reader));
        return v->entry(*s);
    } else if (xmlStrcmp(name, BAD_CAST g_XMLrom) == 0) {
        v->tail(CatalogTail::rom, attribute_value(reader));
    } else if (xmlStrcmp(name, BAD_CAST g_XMLFwImage) == 0) {
        v->tail(CatalogTail::fw_file, attribute_value(reader));
    }
    return true;
}

void visit_node(xmlTextReaderPtr reader, CatalogScratch* s, CatalogVisitor* v, int count) {
    v->begin_node(static_cast<int>(xmlGetLineNo(xmlTextReaderCurrentNode(reader))));
    for (int i = 0; i < count; ++i) {
        if (xmlTextReaderMoveToNextAttribute(reader) != 1)
            continue;
        const xmlChar* name = xmlTextReaderConstName(reader);
        if (name == nullptr)
            continue;
        if (!visit_attribute(reader, s, v, name))
            break;
    }
    v->end_node();
}

CatalogWalkEnd walk(xmlTextReaderPtr reader, CatalogVisitor* v) {
    CatalogWalkEnd end;
    end.opened = true;
    CatalogScratch scratch;
    xmlResetLastError();
    int rc;
    while ((rc = xmlTextReaderRead(reader)) == 1) {
        int count = xmlTextReaderAttributeCount(reader);
        if (count > 0)
            visit_node(reader, &scratch, v, count);
    }
    if (rc < 0) {
        end.well_formed = false;
        end.error_line = xmlTextReaderGetParserLineNumber(reader);
        const xmlError* e = xmlGetLastError();
        if (e != nullptr && e->message != nullptr) {
            end.error_text = e->message;
            while (!end.error_text.empty() && end.error_text.back() == '\n')
                end.error_text.pop_back();
            if (e->line > 0)
                end.error_line = e->line;
        }
    }
    return end;
}

int read_catalog(xmlTextReaderPtr reader, const char* source, const CatalogAdapter& adapter,
                 const char* pciIdString, XMLFW_INFO* pXmlFwInfo, int capacity) {
    if (adapter.row == nullptr || pciIdString == nullptr || pXmlFwInfo == nullptr)
        return 0;
    MatchState st{source, &adapter, pciIdString, pXmlFwInfo, capacity, adapter.row, {}};
    st.first_slot = st.row->fw_count;
    Matcher matcher(&st);
    CatalogWalkEnd end = walk(reader, &matcher);
    // The matches before the fault still count, but a catalog cut short or made
    // to break the parser must not go unnoticed.
    if (!end.well_formed)
        log_eventf(LOG_WARNING,
                   "read_NIC_FW_xml_file: %s is not well-formed XML (near line %d); entries "
                   "after that point are not read\n",
                   source, end.error_line);
    return st.row->fw_count != 0 ? 1 : 0;
}

UniqueReader open_file_reader(const char* path) {
    xmlCheckVersion(20706);
    return UniqueReader(xmlReaderForFile(path, nullptr, kParseOptions));
}

UniqueReader open_memory_reader(const char* xml, size_t size) {
    xmlCheckVersion(20706);
    if (xml == nullptr || size > static_cast<size_t>(INT32_MAX))
        return nullptr;
    return UniqueReader(
        xmlReaderForMemory(xml, static_cast<int>(size), nullptr, nullptr, kParseOptions));
}

}  // namespace

namespace {

CatalogAdapter current_catalog_adapter() {
    CatalogAdapter adapter;
    if (g_ninfo != nullptr && nic_count >= 0)
        adapter.row = &g_ninfo[nic_count];
    adapter.sub_ven_id = sub_ven_id_new;
    adapter.sub_dev_id = sub_dev_id_new;
    return adapter;
}

}  // namespace

int read_catalog_file(const CatalogAdapter& adapter, const char* pciIdString,
                      XMLFW_INFO* pXmlFwInfo, int capacity) {
    UniqueReader reader = open_file_reader(g_XMLFwFile);
    if (!reader) {
        log_eventf(LOG_ERROR, "Unable to open %s\n", g_XMLFwFile);
        return CATALOG_UNREADABLE;
    }
    // No xmlCleanupParser after each read: it tears down libxml2's process-wide
    // state under any other libxml2 user of the process (report writer, reader).
    return read_catalog(reader.get(), g_XMLFwFile, adapter, pciIdString, pXmlFwInfo, capacity);
}

int read_catalog_memory(const char* xml, size_t size, const CatalogAdapter& adapter,
                        const char* pciIdString, XMLFW_INFO* pXmlFwInfo, int capacity) {
    UniqueReader reader = open_memory_reader(xml, size);
    if (!reader)
        return -1;
    return read_catalog(reader.get(), "the catalog in memory", adapter, pciIdString, pXmlFwInfo,
                        capacity);
}

int read_NIC_FW_xml_file(const char* pciIdString, XMLFW_INFO* pXmlFwInfo, int capacity) {
    return read_catalog_file(current_catalog_adapter(), pciIdString, pXmlFwInfo, capacity);
}

int read_NIC_FW_xml_memory(const char* xml, size_t size, const char* pciIdString,
                           XMLFW_INFO* pXmlFwInfo, int capacity) {
    return read_catalog_memory(xml, size, current_catalog_adapter(), pciIdString, pXmlFwInfo,
                               capacity);
}

CatalogWalkEnd walk_catalog_file(const char* path, CatalogVisitor* visitor) {
    UniqueReader reader = open_file_reader(path);
    if (!reader)
        return CatalogWalkEnd{};
    return walk(reader.get(), visitor);
}

CatalogWalkEnd walk_catalog_memory(const char* xml, size_t size, CatalogVisitor* visitor) {
    UniqueReader reader = open_memory_reader(xml, size);
    if (!reader)
        return CatalogWalkEnd{};
    return walk(reader.get(), visitor);
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

bool is_placeholder_image(const char* name) {
    return name != nullptr && strstr(name, "Pelmora") != nullptr;
}

int attach_catalog_images(nic_info* row, const char* psid, XMLFW_INFO* records, int capacity,
                          size_t key_size, std::string* key) {
    char text[ID_TEXT_LEN];
    CatalogAdapter adapter;
    adapter.row = row;
    snprintf(text, sizeof text, "%04X", static_cast<unsigned>(row->sub_ven_id));
    adapter.sub_ven_id = text;
    snprintf(text, sizeof text, "%04X", static_cast<unsigned>(row->sub_dev_id));
    adapter.sub_dev_id = text;
    snprintf(text, sizeof text, "%04X-%04X-%04X-%04X-", static_cast<unsigned>(row->ven_id),
             static_cast<unsigned>(row->dev_id), static_cast<unsigned>(row->sub_ven_id),
             static_cast<unsigned>(row->sub_dev_id));
    *key = std::string(text) + (psid != nullptr ? psid : "(null)");
    // Shown before the read, which ends the process when the catalog is missing.
    print_messagef("pciIdString-------------->%.*s\n\n", static_cast<int>(key_size - 1),
                   key->c_str());
    clear_fw_info(records, capacity);
    if (key->size() >= key_size)
        return CATALOG_KEY_TOO_LONG;
    return read_catalog_file(adapter, key->c_str(), records, capacity);
}
