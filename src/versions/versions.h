// Firmware version texts: parsing into triples and ordering an adapter's images.
//
// Versions are ordered by their numeric triple (major, then minor, then release),
// each field compared whole; equal triples keep catalog order. compare_versions is
// that order, and the one place it is decided: the versions shown before the flash
// question, the -c table, the image burnt, the report's newest version and action,
// the catalog's overflow rule and the replay's image all go through it, so they
// cannot disagree.
#pragma once

#include <cstdint>
#include <string>

#include "nic_info.h"

// Result of parseversions for a text that is not a version.
constexpr int VERSION_UNUSABLE = 1;

// Splits "major.minor.release" at its dots and reads each field whole as an
// unsigned 32-bit decimal number (the tools print minors of 100 and above with four
// digits: 13.2010.3146). Missing fields read as 0 ("2.42" is 2.42.0, the empty text
// 0.0.0); characters after a third dot are dropped; blanks and an end-of-line
// around the whole text are ignored. Returns 0, or VERSION_UNUSABLE with all three
// outputs 0 when a field is empty, not all digits, or past 4294967295. A null text
// reads as empty.
int parseversions(const char* version, uint32_t* major, uint32_t* minor, uint32_t* release);

// A version text as fwpak reads it, written back as "%u.%u.%u" ("0.0.0" for a
// text that is not a version): what fwpak-repo compares catalog and image
// versions by.
std::string version_as_read(const char* text);

// A version triple.
struct fw_version {
    uint32_t major;
    uint32_t minor;
    uint32_t release;
};

// Image i of a row, the row's installed version, and a catalog record's version
// text parsed (0.0.0 when it is not a version).
fw_version image_version(const nic_info& row, int i);
fw_version installed_version(const nic_info& row);
fw_version record_version(const XMLFW_INFO& record);

// The one order of versions: negative, zero or positive as a is older than, the
// same as or newer than b, field by field over the whole 32-bit numbers.
int compare_versions(const fw_version& a, const fw_version& b);

// The image to burn for a row: the first in catalog order of its newest images;
// -1 when the row has none.
int newest_image(const nic_info& row);

// The first of the newest among `count` catalog records, passing over records
// whose version is not a version; -1 when no record is left.
int newest_record(const XMLFW_INFO* records, int count);

// Sort key of a triple for the legacy key arrays: ascending keys are ascending
// versions while each field stays below 2^20 (major) or 2^21 (minor, release);
// larger fields share the key of their bound. The order itself is compare_versions.
long version_sort_key(uint32_t major, uint32_t minor, uint32_t release);

// Sorts the first `count` rows of a version list, with their keys, into ascending
// version order (compare_versions over the rows' texts); rows of equal versions keep
// their order. `count` is bounded at VER_BUF_ROWS.
void sort_version_rows(char rows[][VER_BUF_LEN], long* keys, int count);

// Builds the sorted version list of one adapter: rows[k] is "%u.%u.%u" of an
// image's triple, lowest version first, highest last; images with equal triples
// appear in catalog order. *count receives the number of rows (0 without images).
// An adapter with more than VER_BUF_ROWS (50) images lists its 50 highest versions,
// so the newest image is never lost. `rows` must have VER_BUF_ROWS rows. When
// `image_index` is not null it must have VER_BUF_ROWS entries and receives, per row,
// the index of the image (into pxmlFwImage etc.) that the row stands for.
void build_version_list(const nic_info& nic, char rows[][VER_BUF_LEN], int* count,
                        int* image_index = nullptr);
