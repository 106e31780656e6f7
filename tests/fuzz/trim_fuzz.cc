// trim_chars on any text with any set (the first input line is the set): the
// result is the original text's middle part, with no character of the set left at
// either end, and nothing is written past the text.
#include <cstring>

#include "common/common_utilities.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string set, text;
    FuzzSplitLine(data, size, &set, &text);
    set = set.substr(0, set.find('\0'));
    text = text.substr(0, text.find('\0'));

    FuzzBuffer trim(set.c_str(), set.size() + 1);
    FuzzBuffer buffer(text.c_str(), text.size() + 1);
    trim_chars(buffer.data(), trim.data());

    const std::string result = buffer.data();
    FUZZ_CHECK(text.find(result) != std::string::npos);
    if (!result.empty()) {
        FUZZ_CHECK(set.find(result.front()) == std::string::npos);
        FUZZ_CHECK(set.find(result.back()) == std::string::npos);
    }
    const size_t first = text.find_first_not_of(set);
    FUZZ_CHECK(first != std::string::npos || result.empty());
    if (first != std::string::npos)
        FUZZ_CHECK(text.compare(first, result.size(), result) == 0);
    return 0;
}
