// Version texts and their order: parsing never reads past a field and gives a
// version or nothing, the sort key orders triples as numbers within its bounds, and
// an adapter's version list (whatever its image count) is ascending by whole
// fields, stable among equal versions, at most 50 rows long, and always ends with
// the newest image.
#include <algorithm>
#include <cstring>
#include <sstream>
#include <tuple>

#include "fuzz_support.h"
#include "nic_info.h"
#include "versions/versions.h"

namespace {

struct Triple {
    uint32_t major = 0, minor = 0, release = 0;
};

Triple Parse(const std::string& text) {
    Triple t;
    FuzzBuffer copy(text.c_str(), text.size() + 1);
    int rc = parseversions(copy.data(), &t.major, &t.minor, &t.release);
    FUZZ_CHECK(rc == 0 ||
               (rc == VERSION_UNUSABLE && t.major == 0 && t.minor == 0 && t.release == 0));
    return t;
}

long Key(const Triple& t) {
    return version_sort_key(t.major, t.minor, t.release);
}

std::tuple<uint32_t, uint32_t, uint32_t> Whole(const Triple& t) {
    return {t.major, t.minor, t.release};
}

// Fields as far as the key can tell them apart.
std::tuple<uint32_t, uint32_t, uint32_t> Clamped(const Triple& t) {
    return {std::min<uint32_t>(t.major, (1u << 20) - 1),
            std::min<uint32_t>(t.minor, (1u << 21) - 1),
            std::min<uint32_t>(t.release, (1u << 21) - 1)};
}

void CheckVersionList(const std::vector<Triple>& images, int32_t fw_count) {
    static nic_info* nic = static_cast<nic_info*>(calloc(1, sizeof(nic_info)));
    for (size_t i = 0; i < images.size() && i < MAX_FW_IMAGES; ++i) {
        nic->uFwROMmaj[i] = images[i].major;
        nic->uFwROMmin[i] = images[i].minor;
        nic->uFwROMrel[i] = images[i].release;
    }
    nic->fw_count = fw_count;
    const int usable = std::clamp(fw_count, 0, std::min<int>(images.size(), MAX_FW_IMAGES));

    char rows[VER_BUF_ROWS][VER_BUF_LEN];
    int index[VER_BUF_ROWS];
    int count = -1;
    build_version_list(*nic, rows, &count, index);
    FUZZ_CHECK(count >= 0 && count <= VER_BUF_ROWS);
    FUZZ_CHECK(count == std::min(std::clamp(fw_count, 0, MAX_FW_IMAGES), VER_BUF_ROWS));
    if (count == 0 || usable < std::clamp(fw_count, 0, MAX_FW_IMAGES))
        return;  // slots past the images given here hold an earlier input's triples

    std::tuple<uint32_t, uint32_t, uint32_t> newest{0, 0, 0};
    for (int i = 0; i < usable; ++i) newest = std::max(newest, Whole(images[i]));
    for (int k = 0; k < count; ++k) {
        FUZZ_CHECK(index[k] >= 0 && index[k] < usable);
        FUZZ_CHECK(strnlen(rows[k], VER_BUF_LEN) < VER_BUF_LEN);
        if (k == 0)
            continue;
        auto before = Whole(images[index[k - 1]]), here = Whole(images[index[k]]);
        FUZZ_CHECK(before < here || (before == here && index[k - 1] < index[k]));
    }
    FUZZ_CHECK(Whole(images[index[count - 1]]) == newest);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string all(reinterpret_cast<const char*>(data), size);
    std::vector<Triple> images;
    std::istringstream in(all);
    for (std::string line; std::getline(in, line) && images.size() < 2 * MAX_FW_IMAGES;)
        images.push_back(Parse(line.substr(0, line.find('\0'))));
    if (images.size() >= 2) {
        const Triple &a = images[0], &b = images[1];
        FUZZ_CHECK((Key(a) < Key(b)) == (Clamped(a) < Clamped(b)));
        FUZZ_CHECK((Key(a) == Key(b)) == (Clamped(a) == Clamped(b)));
    }
    // The image count as a row may claim it: from the input's first byte, so that
    // negative and over-large counts are tried too.
    int32_t fw_count = static_cast<int32_t>(images.size());
    if (size > 0 && data[0] >= 0xF0)
        fw_count = static_cast<int8_t>(data[0]) * 40;
    CheckVersionList(images, fw_count);
    return 0;
}
