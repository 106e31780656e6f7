// Firmware version texts: parsing into triples and ordering an adapter's images.
#include "policy/versions.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr int kFieldWidths[3] = {VERSION_MAJOR_WIDTH, VERSION_MINOR_WIDTH, VERSION_RELEASE_WIDTH};

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

}  // namespace

int parseversions(const char* version, uint32_t* major, uint32_t* minor, uint32_t* release) {
    char fields[3][VERSION_RELEASE_WIDTH + 1] = {};
    int lengths[3] = {0, 0, 0};
    int field = 0;
    for (const char* p = version != nullptr ? version : ""; *p != '\0'; ++p) {
        if (*p == '.') {
            if (++field > 2)
                break;
            continue;
        }
        if (lengths[field] < kFieldWidths[field])
            fields[field][lengths[field]++] = *p;
    }
    *major = static_cast<uint32_t>(atoi(fields[0]));
    *minor = static_cast<uint32_t>(atoi(fields[1]));
    *release = static_cast<uint32_t>(atoi(fields[2]));
    return 0;
}

long version_sort_key(uint32_t major, uint32_t minor, uint32_t release) {
    uint64_t key = clamp_field(major, kMajorMax) << (kMinorBits + kReleaseBits) |
                   clamp_field(minor, kMinorMax) << kReleaseBits |
                   clamp_field(release, kReleaseMax);
    return static_cast<long>(key);
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

int compare_versions(const fw_version& a, const fw_version& b) {
    long ka = version_sort_key(a.major, a.minor, a.release);
    long kb = version_sort_key(b.major, b.minor, b.release);
    return (ka > kb) - (ka < kb);
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
    int best = count > 0 ? 0 : -1;
    for (int i = 1; i < count; ++i) {
        if (compare_versions(record_version(records[i]), record_version(records[best])) > 0)
            best = i;
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
        int j = i - 1;
        for (; j >= 0 && keys[j] > key; --j) {
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
    auto cmp = [&nic](int a, int b) {
        return compare_versions(image_version(nic, a), image_version(nic, b));
    };
    // Highest first, catalog order among equals: the first VER_BUF_ROWS are the
    // ones kept. Sorting the kept indices back gives a stable ascending order.
    std::stable_sort(order, order + images, [&](int a, int b) { return cmp(a, b) > 0; });
    int kept = std::min(images, VER_BUF_ROWS);
    std::sort(order, order + kept);
    std::stable_sort(order, order + kept, [&](int a, int b) { return cmp(a, b) < 0; });

    for (int k = 0; k < kept; ++k) {
        int i = order[k];
        snprintf(rows[k], VER_BUF_LEN, "%d.%d.%d", static_cast<int>(nic.uFwROMmaj[i]),
                 static_cast<int>(nic.uFwROMmin[i]), static_cast<int>(nic.uFwROMrel[i]));
        if (image_index != nullptr)
            image_index[k] = i;
    }
    *count = kept;
}
