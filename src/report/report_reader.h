// The discovery report reader and replay (-u): reads a report back in two passes
// into a fresh adapter table, looks every device up in the catalog and burns the
// devices whose action asks for it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "nic_info.h"
#include "report/xml_handles.h"

// The texts of a device's ROM item as the report writes them, which the replay
// does not read (it takes the image from the catalog, the installed version as
// numbers): kept for the readers that show a report rather than replay it.
struct report_rom_texts {
    std::string available;  // version: the repository's newest
    std::string installed;  // active_version
    std::string running;    // running_version: only while a burnt image waits for a reboot
    std::string action;
};

// First pass: counts the reader's current node when it is a device start tag.
void read_num_device_elements(xmlTextReaderPtr reader, int32_t* deviceCnt);

// Where the second pass stands. Idx is the row that the elements of the current
// device fill; it advances at every device end tag. Elements outside a device
// (before the first, between two, after the last) touch no row.
struct report_cursor {
    nic_info* rows = nullptr;
    int32_t row_count = 0;
    int32_t Idx = 0;
    bool in_device = false;
    std::string image_type;  // the most recent type element's value
    // A device whose firmware_id does not fit its 500 bytes: it is refused as a
    // whole, since a cut PSID would name some other board.
    bool refused[MAX_REPORT_DEVICES] = {};
    report_rom_texts rom[MAX_REPORT_DEVICES];
};

// Second pass: applies the element rules of the reader's current node to the
// cursor's current row.
void process_node(xmlTextReaderPtr reader, report_cursor* cursor);

// The value of up to four hexadecimal characters, as report IDs are read: "*" to
// "?" count as their low four bits, a-f and A-F as 10 to 15; any other character
// ends the scan. Null or no accepted character gives 0.
int32_t axtoi(const char* hexStg);

// Stores an installed version read from the report into the row (ROM items only).
void read_FW_cur_version(nic_info* pCurNinfo, const char* pImageType, const char* pVersion);

// Outcome of reading a report into a table.
enum report_load_status {
    REPORT_LOADED = 0,
    REPORT_OPEN_FAILED,
    REPORT_PARSE_FAILED,
    REPORT_DOCTYPE_REFUSED,   // the document carries a document type declaration
    REPORT_TOO_MANY_DEVICES,  // more device elements than MAX_REPORT_DEVICES
    REPORT_TOO_LARGE,         // more than MAX_REPORT_BYTES
};

// Largest report a replay reads: a report names at most 50 devices, so this leaves
// room for any real one while keeping a hostile file's cost bounded.
constexpr size_t MAX_REPORT_BYTES = 16u << 20;

// Both passes over the report at path, taken as it stands (never decoded as a URI)
// and read once, whatever it is (a file, a pipe, a device): on REPORT_LOADED,
// cursor->rows is a new
// zero-filled table of cursor->row_count rows, filled from the report, and
// firmware_id holds the devices' PSIDs. Parsing fetches nothing from the network,
// substitutes no entity and refuses a document type declaration.
// mtime, when given, receives the time of the file's last change (seconds).
report_load_status load_report_file(const char* path, report_cursor* cursor,
                                    int64_t* mtime = nullptr);
// The same over a report held in memory.
report_load_status load_report_memory(const char* data, size_t size, report_cursor* cursor);
// Frees a table made by a load, with every text of its rows.
void release_report_rows(nic_info* rows, int32_t count);
