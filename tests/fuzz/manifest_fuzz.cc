// The checksum manifest's parser on any text: every line is an entry or a fault,
// an entry's digest is 64 lower-case hexadecimal digits and its name stays inside
// nic_fw/ (only ../getmlnxinfo leaves it), no name twice; the entries written out
// read back the same.
#include <string>

#include "fuzz_support.h"
#include "trust/manifest.h"

namespace {

size_t NonBlankLines(const std::string& text) {
    size_t count = 0;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        count += end > start ? 1 : 0;
        start = end + 1;
    }
    return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const Manifest m = parse_manifest(text);
    FUZZ_CHECK(m.entries.size() + m.faults.size() == NonBlankLines(text));
    for (const ManifestEntry& e : m.entries) {
        FUZZ_CHECK(e.digest.size() == 64);
        FUZZ_CHECK(e.digest.find_first_not_of("0123456789abcdef") == std::string::npos);
        FUZZ_CHECK(manifest_name_problem(e.name).empty());
        FUZZ_CHECK(e.name[0] != '/');
        FUZZ_CHECK(e.name == MANIFEST_LOOKUP_NAME ||
                   (e.name != ".." && e.name.rfind("../", 0) != 0 &&
                    e.name.find("/../") == std::string::npos));
        FUZZ_CHECK(m.find(e.name) == &e);
    }
    const Manifest again = parse_manifest(manifest_text(m.entries));
    FUZZ_CHECK(again.faults.empty() && again.entries.size() == m.entries.size());
    for (size_t i = 0; i < m.entries.size(); ++i) {
        FUZZ_CHECK(again.entries[i].name == m.entries[i].name);
        FUZZ_CHECK(again.entries[i].digest == m.entries[i].digest);
    }
    return 0;
}
