// Asks the outside Mellanox tools about one adapter: the burning tool's query for
// the running firmware version and PSID, and the image lookup that resolves a
// placeholder image name.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

#include "nic_info.h"

// The query's keywords: the flash's version, the version the adapter runs when it
// is another (the line is there only then), and the PSID.
constexpr char QUERY_VERSION_KEYWORD[] = "FW Version";
constexpr char QUERY_RUNNING_KEYWORD[] = "FW Version(Running)";
constexpr char QUERY_PSID_KEYWORD[] = "PSID";

// Bytes of a queried value (49 characters and the terminator).
constexpr int QUERY_VALUE_LEN = ID_TEXT_LEN;
// Bytes of one query output line as it is read (longer lines arrive in pieces).
constexpr int QUERY_LINE_LEN = 500;
// Bytes of the image lookup's answer buffer.
constexpr int LOOKUP_ANSWER_LEN = 4096;

// Runs the burning tool's query on port `pif` ("./nic_fw/mstflint -d <pif> q 2>&1",
// or /usr/bin/flint while boot_value is not 0) and cuts the value out of the first
// output line that is the value's own line (is_query_value_line). On such a line
// *ppfw receives a new text (the caller owns it); otherwise *ppfw is untouched.
// Returns 0 when the value has at least one character, 1 otherwise (no matching
// line, an empty value, or the command cannot be started).
int get_firmware_info(const char* pif, char** ppfw, const char* fw_match_pattern);

// Queries of different ports that run at one time, at most.
constexpr size_t MAX_QUERIES_AT_ONCE = 8;

// The burning tool's query of each port (the command get_firmware_info runs), run
// once per port and side by side (at most MAX_QUERIES_AT_ONCE at once): both values
// and the Base GUID are cut from that one output. Outputs in the ports' order; a
// query that could not be started has `started` false.
struct PortQueryOutput {
    bool started = false;
    std::string output;
};
std::vector<PortQueryOutput> query_ports(const std::vector<std::string>& addresses);

// get_firmware_info's cut, made in a query output already read. Same results and
// ownership.
int cut_firmware_info(const std::string& output, char** ppfw, const char* fw_match_pattern);

// The flash's identity in a query output: the first word of the "Base GUID:" line
// (ConnectX-4 and later), else of the "GUIDs:" line (ConnectX-3); empty when there
// is neither. Two PCI devices of one flash (both ports of a card, the halves of a
// Socket Direct or multi-host adapter) answer with the same one.
std::string query_base_guid(const std::string& output);

// True for the line that carries the pattern's value: it begins with the pattern
// (any letter case) and a colon, as "FW Version:" and "PSID:" do. The tool's other
// lines never count, though they may hold the words: "FW ISSU Version:",
// "FW Version(Running):" for "FW Version" (it has a keyword of its own),
// "Rom Info: type=PXE version=...", "-W-" warnings and
// "-E- Cannot open Device: ... MFE_..." errors.
bool is_query_value_line(const char* line, const char* pattern);

// The reading half of get_firmware_info over any stream of query output: lines are
// read in pieces of at most QUERY_LINE_LEN-1 characters, and the first piece that
// starts a line and is the value's line is cut with cut_query_value. Same results
// and ownership as get_firmware_info.
int scan_query_output(FILE* output, char** ppfw, const char* fw_match_pattern);

// Cuts the value out of one query output line, as get_firmware_info does: skips
// strlen(pattern)+1 characters from the line's start (the keyword and its colon),
// drops every blank (tabs stay) and a trailing end-of-line ("\n" or "\r\n"), and
// keeps at most `size`-1 characters. Returns the value's length.
size_t cut_query_value(const char* line, const char* pattern, char* value, size_t size);

// Runs `cmd` through do_command (echoed), then reads the first line of `dataFile`
// into `data` (`datasize` bytes, cleared first), ended at the first delimiter that
// follows its first word. Returns 0; the command's exit code when it is not 0 (the
// failure is logged); 2 when the data file cannot be opened (logged).
int get_mlnx_info(const char* cmd, char* data, int datasize, const char* dataFile,
                  const char* delimiter);

// The cut get_mlnx_info makes in the line it read: leading delimiters and the
// first word stay; the text ends at the delimiter after that word.
void keep_first_word(char* data, const char* delimiter);

// Outcome of reading the image lookup's answer.
struct LookupAnswer {
    int status;         // 0: image name found; 1: the tool has no image for the port
    const char* first;  // first "#" field (server name), within the answer buffer
    const char* image;  // second "#" field: the image file name, without end-of-line
};
// Interprets the answer in place (it is modified): "0" at its start means no image;
// otherwise "#"-separated fields, the second naming the image. An answer without a
// usable second field (none, or empty) has no image either: status 1, so a row never
// loses its image name to nothing.
LookupAnswer parse_lookup_answer(char* answer);

// Replaces curnic's image name (pxmlFwImage slot 0) by the one the image-lookup
// program "./getmlnxinfo imgfile <pbus_info>" names for the port, through a data
// file "dataXXXXXX" in the working directory that is removed on every path.
// `servername` (optional, `servername_size` bytes) receives the answer's first field.
// Returns 0 when the name was replaced; 1 when the tool has no image for the port
// (the row is unchanged); otherwise the status of get_mlnx_info, or 2 when the data
// file cannot be created or the port's bus address is not a plain PCI address.
int modify_imagename(nic_info* curnic, char* servername = nullptr, size_t servername_size = 0);
