// The report's ID conversion: only the first four characters count, and the value
// always fits the four hexadecimal digits of a PCI ID.
#include "fuzz_support.h"
#include "report/report_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text = FuzzText(data, size);
    FuzzBuffer whole(text.c_str(), text.size() + 1);
    int32_t value = axtoi(whole.data());
    FUZZ_CHECK(value >= 0 && value <= 0xffff);

    std::string head = text.substr(0, 4);
    FuzzBuffer first_four(head.c_str(), head.size() + 1);
    FUZZ_CHECK(axtoi(first_four.data()) == value);
    FUZZ_CHECK(axtoi(nullptr) == 0);
    return 0;
}
