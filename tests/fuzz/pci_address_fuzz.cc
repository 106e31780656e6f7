// PCI address texts: the enumeration's parser keeps every field within its range
// or refuses the text with a message, the address order is a consistent order,
// the reduction to devices keeps only parseable addresses within its limit, and
// the replay's address check lets through nothing a shell would read as more than
// a word.
#include <algorithm>
#include <cstring>
#include <memory>

#include "fuzz_support.h"
#include "inventory/pci_enum.h"
#include "report/report_reader.h"

namespace {

int Sign(int v) {
    return (v > 0) - (v < 0);
}

void CheckParse(const char* text) {
    pci_filter f{};
    f.domain = f.bus = f.slot = f.func = -1;
    const char* error = pci_filter_parse_pciid(&f, text);
    if (error != nullptr)
        return;
    FUZZ_CHECK(f.domain >= -1 && f.domain <= 0xff);
    FUZZ_CHECK(f.bus >= -1 && f.bus <= 0xff);
    FUZZ_CHECK(f.slot >= -1 && f.slot <= 0x1f);
    FUZZ_CHECK(f.func >= -1 && f.func <= 7);
}

void CheckOrder(const char* a, const char* b) {
    int ab = Sign(cmp_pci_id_nums(&a, &b));
    int ba = Sign(cmp_pci_id_nums(&b, &a));
    FUZZ_CHECK(ab == -ba);
    FUZZ_CHECK(cmp_pci_id_nums(&a, &a) == 0);
}

void CheckReplayAddress(const char* text) {
    if (!is_pci_address(text))
        return;
    size_t len = strlen(text);
    FUZZ_CHECK(strspn(text, "0123456789abcdefABCDEF:.") == len);
    FUZZ_CHECK(len >= 12 && len <= 16);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> lines;
    std::string rest(reinterpret_cast<const char*>(data), size);
    while (!rest.empty() && lines.size() < 16) {
        std::string line;
        FuzzSplitLine(reinterpret_cast<const uint8_t*>(rest.data()), rest.size(), &line, &rest);
        lines.push_back(line.substr(0, line.find('\0')));
    }
    if (lines.empty())
        lines.emplace_back();

    std::vector<std::unique_ptr<FuzzBuffer>> texts;
    for (const std::string& l : lines)
        texts.push_back(std::make_unique<FuzzBuffer>(l.c_str(), l.size() + 1));
    for (size_t i = 0; i < texts.size(); ++i) {
        CheckParse(texts[i]->data());
        CheckReplayAddress(texts[i]->data());
        CheckOrder(texts[i]->data(), texts[(i + 1) % texts.size()]->data());
    }

    std::sort(lines.begin(), lines.end(), [](const std::string& a, const std::string& b) {
        const char* pa = a.c_str();
        const char* pb = b.c_str();
        return cmp_pci_id_nums(&pa, &pb) < 0;
    });
    const size_t limit = size % 5;
    std::vector<std::string> dropped;
    std::vector<std::string> devices = reduce_to_devices(lines, limit, &dropped);
    FUZZ_CHECK(devices.size() <= limit);
    for (const std::string& d : devices) {
        pci_filter f{};
        FUZZ_CHECK(pci_filter_parse_pciid(&f, d.c_str()) == nullptr);
    }
    return 0;
}
