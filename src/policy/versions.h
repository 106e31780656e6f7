// Firmware version texts: parsing into triples and ordering an adapter's images.
//
// Versions are ordered by their numeric triple (major, then minor, then release);
// equal triples keep catalog order. Every user of the order (the versions shown
// before the flash question, the -c table, the image burnt, the report's newest
// version) builds its list through build_version_list, so they cannot disagree.
#pragma once

#include <cstdint>

#include "nic_info.h"

// A version as three numbers; versions are ordered field by field.
struct version_t {
    uint32_t major;
    uint32_t minor;
    uint32_t release;
};

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

// Negative, zero or positive as a is older than, equal to or newer than b.
int compare_versions(const version_t& a, const version_t& b);

// Sort key of a triple for the legacy key arrays: ascending keys are ascending
// versions while each field stays below 2^20 (major) or 2^21 (minor, release);
// larger fields share the key of their bound. The order itself is compare_versions.
long version_sort_key(uint32_t major, uint32_t minor, uint32_t release);

// Sorts the first `count` rows of a version list, with their keys, into ascending
// version order (compare_versions over the rows' texts); rows of equal versions keep
// their order. `count` is bounded at VER_BUF_ROWS.
void sort_version_rows(char rows[][VER_BUF_LEN], long* keys, int count);

// Sorts the version list of adapter row uIdx of g_ninfo (its fw_count,
// at most VER_BUF_ROWS of them).
void sort_fw(int uIdx, char ver_buf[][VER_BUF_LEN], long* fw_sorted);

// Builds the sorted version list of one adapter: rows[k] is "%u.%u.%u" of an
// image's triple, lowest version first, highest last; images with equal triples
// appear in catalog order. *count receives the number of rows (0 without images).
// An adapter with more than VER_BUF_ROWS (50) images lists its 50 highest versions,
// so the newest image is never lost. `rows` must have VER_BUF_ROWS rows. When
// `image_index` is not null it must have VER_BUF_ROWS entries and receives, per row,
// the index of the image (into pxmlFwImage etc.) that the row stands for.
void build_version_list(const nic_info& nic, char rows[][VER_BUF_LEN], int* count,
                        int* image_index = nullptr);
