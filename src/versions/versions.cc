// Firmware version texts: parsing into triples and ordering an adapter's images.
#include "versions/versions.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Key layout: 20 bits of major, 21 of minor, 21 of release (62 bits, so the key
// stays positive in a signed 64-bit long).
constexpr int kReleaseBits = 21;
constexpr int kMinorBits = 21;
constexpr uint64_t kMajorMax = (1u << 20) - 1;
constexpr uint64_t kMinorMax = (1u << kMinorBits) - 1;
constexpr uint64_t kReleaseMax = (1u << kReleaseBits) - 1;

uint64_t clamp_field(uint32_t value, uint64_t max) {
    return std::min<uint64_t>(value, max);
}

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// One field, [begin, end), as a whole unsigned 32-bit decimal number.
bool read_field(const char* begin, const char* end, uint32_t* value) {
    if (begin == end)
        return false;
    uint64_t v = 0;
    for (const char* p = begin; p < end; ++p) {
        if (*p < '0' || *p > '9')
            return false;
        v = v * 10 + static_cast<uint64_t>(*p - '0');
        if (v > UINT32_MAX)
            return false;
    }
    *value = static_cast<uint32_t>(v);
    return true;
}

bool parse_fields(const char* text, uint32_t out[3]) {
    const char* end = text + strlen(text);
    while (text < end && is_blank(*text)) ++text;
    while (end > text && is_blank(end[-1])) --end;
    for (int field = 0; field < 3 && text < end; ++field) {
        const char* dot = static_cast<const char*>(memchr(text, '.', end - text));
        const char* stop = dot != nullptr ? dot : end;
        if (!read_field(text, stop, &out[field]))
            return false;
        if (dot == nullptr)
            return true;
        text = dot + 1;
        if (field < 2 && text == end)
            return false;  // "2.42." ends in an empty field
    }
    return true;
}

fw_version row_version(const char* row) {
    fw_version v{0, 0, 0};
    parseversions(row, &v.major, &v.minor, &v.release);
    return v;
}

}  // namespace

int parseversions(const char* version, uint32_t* major, uint32_t* minor, uint32_t* release) {
    uint32_t fields[3] = {0, 0, 0};
    bool usable = parse_fields(version != nullptr ? version : "", fields);
    if (!usable)
        fields[0] = fields[1] = fields[2] = 0;
    *major = fields[0];
    *minor = fields[1];
    *release = fields[2];
    return usable ? 0 : VERSION_UNUSABLE;
}

int compare_versions(const fw_version& a, const fw_version& b) {
    if (a.major != b.major)
        return a.major < b.major ? -1 : 1;
    if (a.minor != b.minor)
        return a.minor < b.minor ? -1 : 1;
    if (a.release != b.release)
        return a.release < b.release ? -1 : 1;
    return 0;
}

long version_sort_key(uint32_t major, uint32_t minor, uint32_t release) {
    uint64_t key = clamp_field(major, kMajorMax) << (kMinorBits + kReleaseBits) |
                   clamp_field(minor, kMinorMax) << kReleaseBits |
                   clamp_field(release, kReleaseMax);
    return static_cast<long>(key);
}

std::string version_as_read(const char* text) {
    uint32_t major = 0, minor = 0, release = 0;
    parseversions(text, &major, &minor, &release);
    return std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(release);
}

fw_version image_version(const nic_info& row, int i) {
    return {row.uFwROMmaj[i], row.uFwROMmin[i], row.uFwROMrel[i]};
}

fw_version installed_version(const nic_info& row) {
    return {row.uCurROMmaj, row.uCurROMmin, row.uCurROMrel};
}

fw_version record_version(const XMLFW_INFO& record) {
    fw_version v{0, 0, 0};
    parseversions(record.pxmlRom, &v.major, &v.minor, &v.release);
    return v;
}

int newest_image(const nic_info& row) {
    int images = std::clamp(row.fw_count, 0, MAX_FW_IMAGES);
    int best = images > 0 ? 0 : -1;
    for (int i = 1; i < images; ++i) {
        if (compare_versions(image_version(row, i), image_version(row, best)) > 0)
            best = i;
    }
    return best;
}

int newest_record(const XMLFW_INFO* records, int count) {
    int best = -1;
    fw_version best_version{0, 0, 0};
    for (int i = 0; i < count; ++i) {
        fw_version v{0, 0, 0};
        if (parseversions(records[i].pxmlRom, &v.major, &v.minor, &v.release) != 0)
            continue;
        if (best < 0 || compare_versions(v, best_version) > 0) {
            best = i;
            best_version = v;
        }
    }
    return best;
}

// Insertion sort: stable, and at most 50 rows are ever sorted.
void sort_version_rows(char rows[][VER_BUF_LEN], long* keys, int count) {
    count = std::min(count, VER_BUF_ROWS);
    for (int i = 1; i < count; ++i) {
        long key = keys[i];
        char row[VER_BUF_LEN];
        std::copy(rows[i], rows[i] + VER_BUF_LEN, row);
        const fw_version version = row_version(row);
        int j = i - 1;
        for (; j >= 0 && compare_versions(row_version(rows[j]), version) > 0; --j) {
            keys[j + 1] = keys[j];
            std::copy(rows[j], rows[j] + VER_BUF_LEN, rows[j + 1]);
        }
        keys[j + 1] = key;
        std::copy(row, row + VER_BUF_LEN, rows[j + 1]);
    }
}

void build_version_list(const nic_info& nic, char rows[][VER_BUF_LEN], int* count,
                        int* image_index) {
    int images = std::clamp(nic.fw_count, 0, MAX_FW_IMAGES);
    int order[MAX_FW_IMAGES];
    for (int i = 0; i < images; ++i) order[i] = i;
    auto newer = [&](int a, int b) {
        return compare_versions(image_version(nic, a), image_version(nic, b)) > 0;
    };
    auto older = [&](int a, int b) {
        return compare_versions(image_version(nic, a), image_version(nic, b)) < 0;
    };
    // Highest first, catalog order among equals: the first VER_BUF_ROWS are the
    // ones kept. Sorting the kept indices back gives a stable ascending order.
    std::stable_sort(order, order + images, newer);
    int kept = std::min(images, VER_BUF_ROWS);
    std::sort(order, order + kept);
    std::stable_sort(order, order + kept, older);

    for (int k = 0; k < kept; ++k) {
        int i = order[k];
        snprintf(rows[k], VER_BUF_LEN, "%u.%u.%u", nic.uFwROMmaj[i], nic.uFwROMmin[i],
                 nic.uFwROMrel[i]);
        if (image_index != nullptr)
            image_index[k] = i;
    }
    *count = kept;
}
