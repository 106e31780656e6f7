// Firmware version texts: parsing into triples and ordering an adapter's images.
//
// Versions are ordered by their numeric triple (major, then minor, then release);
// equal triples keep catalog order. Every user of the order (the versions shown
// before the flash question, the -c table, the image burnt, the report's newest
// version) builds its list through build_version_list, so they cannot disagree.
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

// Sort key of a triple: ascending keys are ascending versions, compared field by
// field. Fields past what the parsing widths can produce (only negative texts, kept
// as large unsigned values) all rank together above every real version.
long version_sort_key(uint32_t major, uint32_t minor, uint32_t release);

// Sorts the first `count` rows of a version list and their keys together into
// ascending key order; rows with equal keys keep their order. `count` is bounded
// at VER_BUF_ROWS.
void sort_version_rows(char rows[][VER_BUF_LEN], long* keys, int count);

// Sorts the version list of adapter row uIdx of g_ninfo (its fw_count,
// at most VER_BUF_ROWS of them).
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
