// Firmware version texts: parsing into triples and ordering an adapter's images.
//
// Versions are ordered by their numeric triple (major, then minor, then release);
// equal triples keep catalog order. compare_versions is that order, and the one
// place it is decided: the versions shown before the flash question, the -c table,
// the image burnt, the report's newest version and action, the catalog's overflow
// rule and the replay's image all go through it, so they cannot disagree.
#pragma once

#include <cstdint>

#include "nic_info.h"

// Field widths of the parsing buffers: a longer field is cut to its first
// characters (1234.5.6 reads as major 123); no character of one field ever
// reaches another.
constexpr int VERSION_MAJOR_WIDTH = 3;
constexpr int VERSION_MINOR_WIDTH = 3;
constexpr int VERSION_RELEASE_WIDTH = 4;

// Splits "major.minor.release" at its dots and converts each field as atoi does
// (leading blanks and a sign accepted, an empty or non-numeric field gives 0).
// Characters after a third dot are dropped. A null text reads as empty. Returns 0.
int parseversions(const char* version, uint32_t* major, uint32_t* minor, uint32_t* release);

// A version triple.
struct fw_version {
    uint32_t major;
    uint32_t minor;
    uint32_t release;
};

// Image i of a row, the row's installed version, and a catalog record's version
// text parsed.
fw_version image_version(const nic_info& row, int i);
fw_version installed_version(const nic_info& row);
fw_version record_version(const XMLFW_INFO& record);

// The one order of versions: negative, zero or positive as a is older than, the
// same as or newer than b. It is the order of version_sort_key.
int compare_versions(const fw_version& a, const fw_version& b);

// The image to burn for a row: the first in catalog order of its newest images;
// -1 when the row has none.
int newest_image(const nic_info& row);

// The first of the newest among `count` catalog records; -1 when count is 0.
int newest_record(const XMLFW_INFO* records, int count);

// Sort key of a triple: ascending keys are ascending versions, compared field by
// field. Fields past what the parsing widths can produce (only negative texts, kept
// as large unsigned values) all rank together above every real version.
long version_sort_key(uint32_t major, uint32_t minor, uint32_t release);

// Sorts the first `count` rows of a version list and their keys together into
// ascending key order; rows with equal keys keep their order. `count` is bounded
// at VER_BUF_ROWS.
void sort_version_rows(char rows[][VER_BUF_LEN], long* keys, int count);

// Sorts the version list of adapter row uIdx of g_ninfo (its fw_count,
// at most VER_BUF_ROWS of them). Defined with the policy library (sort_fw.cc),
// since the version library does not reach the adapter table.
void sort_fw(int uIdx, char ver_buf[][VER_BUF_LEN], long* fw_sorted);

// Builds the sorted version list of one adapter: rows[k] is "%d.%d.%d" of an
// image's triple, lowest version first, highest last; images with equal triples
// appear in catalog order. *count receives the number of rows (0 without images).
// An adapter with more than VER_BUF_ROWS (50) images lists its 50 highest versions,
// so the newest image is never lost. `rows` must have VER_BUF_ROWS rows. When
// `image_index` is not null it must have VER_BUF_ROWS entries and receives, per row,
// the index of the image (into pxmlFwImage etc.) that the row stands for.
void build_version_list(const nic_info& nic, char rows[][VER_BUF_LEN], int* count,
                        int* image_index = nullptr);
