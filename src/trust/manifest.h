// The repository's checksum manifest nic_fw/SHA256SUMS, in sha256sum's format
// ("DIGEST  NAME" a line, names relative to nic_fw/), so that
// "cd nic_fw && sha256sum -c SHA256SUMS" checks it by hand.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

constexpr char MANIFEST_PATH[] = "nic_fw/SHA256SUMS";
// getmlnxinfo lies beside nic_fw/, so the manifest names it from there.
constexpr char MANIFEST_LOOKUP_NAME[] = "../getmlnxinfo";
// Bounds of what is read: a line longer than MANIFEST_LINE_MAX bytes is a damaged
// line; a manifest larger than MANIFEST_SIZE_MAX is not read at all (200 images
// take some 20 KiB).
constexpr size_t MANIFEST_LINE_MAX = 4096;
constexpr size_t MANIFEST_SIZE_MAX = size_t{1024} * 1024;

struct ManifestEntry {
    int line = 0;
    std::string digest;  // 64 lower-case hexadecimal digits
    std::string name;
};

// A line that is not an entry: why, and where.
struct ManifestFault {
    int line = 0;  // 0: the whole file
    std::string text;
};

struct Manifest {
    bool present = false;  // false: no file (error ENOENT) or it could not be read
    int error = 0;
    std::vector<ManifestEntry> entries;
    std::vector<ManifestFault> faults;
    // The entry for `name`, or null.
    const ManifestEntry* find(const std::string& name) const;
};

// Reads sha256sum's lines. Blank lines are passed over; every other line that is
// not "64 hex digits, a blank, a blank or '*', a name" is a fault, and so is a
// name that is empty, absolute, holds a ".." part (only MANIFEST_LOOKUP_NAME may
// leave nic_fw/), a control character or a backslash (sha256sum's escaped form,
// which nothing here writes), and a second line for a name. Upper-case digits
// are read as lower-case, as sha256sum does.
Manifest parse_manifest(const std::string& text);

// The manifest at `path`: not present when there is none; a fault of the whole
// file when it is larger than MANIFEST_SIZE_MAX or not a regular file.
Manifest read_manifest(const char* path);

// Why `name` cannot stand in a manifest line, or "".
std::string manifest_name_problem(const std::string& name);

// The manifest's text, one line per entry in the given order.
std::string manifest_text(const std::vector<ManifestEntry>& entries);
