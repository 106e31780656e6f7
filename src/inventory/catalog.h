// The firmware catalog "nic_fw/NICFWData.xml": finds the entries that fit one
// adapter and attaches them to its row of the adapter table.
#pragma once

#include <cstddef>
#include <string>

#include "nic_info.h"

// Room the inventory build and the report replay give the reader.
constexpr int CATALOG_CAPACITY_INVENTORY = MAX_FW_IMAGES;
// The replay reads every match too, so that it can burn the newest of them.
constexpr int CATALOG_CAPACITY_REPLAY = MAX_FW_IMAGES;

// Results of a catalog read besides 1 and 0.
constexpr int CATALOG_KEY_TOO_LONG = -1;  // attach_catalog_images: nothing was read
constexpr int CATALOG_UNREADABLE = -2;    // the catalog file could not be opened

// The adapter a catalog read is for: the row the matches go to, and its own
// subsystem IDs as "%04X" texts, which stand in for the catalog's.
struct CatalogAdapter {
    nic_info* row = nullptr;
    std::string sub_ven_id;
    std::string sub_dev_id;
};

// Reads the catalog g_XMLFwFile afresh and appends every entry whose key
// "%4s-%4s-%4s-%4s-%s" (venid, devid, the adapter's own sub_ven_id and
// sub_dev_id, PSID) equals pciIdString to the adapter's row: record fw_count of
// pXmlFwInfo receives the entry's texts and the row's fw_count counts up.
//
// Matching follows the catalog's historic rule: attributes are visited in document
// order, the values seen so far carry over from entry to entry (an entry that lacks
// name, venid, devid, subvenid or PSID takes the last earlier value), and the
// entry's subdevid attribute triggers the comparison; a node whose key differs is
// left at once. rom and fwFile count only when they follow the subdevid of a
// matching entry: placed before it they are ignored, and a match without rom has
// the empty version (0.0.0); without fwFile its image name is null.
//
// At most `capacity` records are filled (and never more than the row's
// MAX_FW_IMAGES slots). A caller asking for fewer gets the first matches. When the
// row's slots run out, a warning is logged and the read keeps the newest versions:
// a further match replaces the oldest record of this read (the latest listed of
// equal ones) when it is newer; the records stay in catalog order.
// Returns 1 when the row has at least one image afterwards, else 0.
//
// A catalog that cannot be opened ends the run: "Unable to open %s\n" is logged as
// an error and CATALOG_UNREADABLE returned; the caller stops and hands the fault
// (status 1, no console line) up to the driver. Parsing never fetches anything
// from the network, loads no DTD and substitutes no entity; a parse error part-way
// ends the read with the matches found before it, and a warning in the event log.
int read_catalog_file(const CatalogAdapter& adapter, const char* pciIdString,
                      XMLFW_INFO* pXmlFwInfo, int capacity);
// The same matching over a catalog held in memory (for fuzzing and tests).
// Returns -1 when no reader can be made for the buffer.
int read_catalog_memory(const char* xml, size_t size, const CatalogAdapter& adapter,
                        const char* pciIdString, XMLFW_INFO* pXmlFwInfo, int capacity);

// The design's forms of the two reads: the adapter is row g_ninfo[nic_count] with
// the sub-ID texts sub_ven_id_new and sub_dev_id_new, which the caller sets first.
int read_NIC_FW_xml_file(const char* pciIdString, XMLFW_INFO* pXmlFwInfo, int capacity);
int read_NIC_FW_xml_memory(const char* xml, size_t size, const char* pciIdString,
                           XMLFW_INFO* pXmlFwInfo, int capacity);

// Frees the texts of `count` records and sets every field to null.
void clear_fw_info(XMLFW_INFO* records, int count);

// Looks a row up in the catalog, with its own sub-IDs: builds its key
// "%04X-%04X-%04X-%04X-%s" from its PCI IDs and `psid` into *key, shows it
// (print_message, cut at `key_size` - 1 characters), clears
// `records` and reads up to `capacity` matches into them. A key of `key_size`
// characters or more is never cut (a cut PSID could match another board's
// images): nothing is read and CATALOG_KEY_TOO_LONG is returned. Otherwise returns
// what read_catalog_file returns.
int attach_catalog_images(nic_info* row, const char* psid, XMLFW_INFO* records, int capacity,
                          size_t key_size, std::string* key);

// Whether an image file name names a file: present, not empty, and without the
// catalog's "n/a".
bool names_image_file(const char* name);

// Whether an image file name is a placeholder ("Pelmora" in it) that the report
// replay resolves through the image lookup.
bool is_placeholder_image(const char* name);

// The one way the catalog is read. Every reader of the catalog (fwpak's matching
// above, fwpak-repo's checks) walks it through walk_catalog_file, so that they see
// the same entries with the same values.

// A value the walk holds; `set` is false until an entry has given one.
struct CatalogValue {
    std::string text;
    bool set = false;
    void assign(const char* value) {
        set = value != nullptr;
        if (set)
            text.assign(value);
    }
    const char* c_str() const { return set ? text.c_str() : nullptr; }
};

// The values the walk holds when an entry's subdevid is reached. They are never
// cleared between entries: an entry that lacks name, venid, devid, subvenid or PSID
// takes the value the last earlier entry gave it. subvenid and subdevid hold the
// catalog's own texts (fwpak puts the adapter's IDs in their place).
struct CatalogScratch {
    CatalogValue name, venid, devid, subvenid, psid, subdevid;
};

// The attributes that follow an entry's subdevid.
enum class CatalogTail { rom, fw_file };

// Receives the walk's events, in document order.
class CatalogVisitor {
  public:
    virtual ~CatalogVisitor() = default;
    // A node with attributes begins; `line` is its line in the catalog.
    virtual void begin_node(int line) { (void)line; }
    // Every attribute of the node, by name, before the walk interprets it.
    virtual void attribute(const char* name) { (void)name; }
    // The node's subdevid: the entry is complete and compared here. Returning false
    // leaves the node (its further attributes are not visited).
    virtual bool entry(const CatalogScratch& scratch) = 0;
    // rom or fwFile (value null when it has none), wherever it stands in the node.
    virtual void tail(CatalogTail which, const char* value) {
        (void)which;
        (void)value;
    }
    virtual void end_node() {}
};

// How a walk ended.
struct CatalogWalkEnd {
    bool opened = false;      // false: the catalog could not be opened
    bool well_formed = true;  // false: a parse error ended the walk early
    int error_line = 0;       // line of the parse error
    std::string error_text;   // the parser's message, without its end-of-line
};

// Walks the catalog at `path`: nodes in document order, the attributes of each in
// order. Never fetches anything from the network, loads no DTD, substitutes no
// entity and prints nothing.
CatalogWalkEnd walk_catalog_file(const char* path, CatalogVisitor* visitor);
// The same walk over a catalog held in memory.
CatalogWalkEnd walk_catalog_memory(const char* xml, size_t size, CatalogVisitor* visitor);
