// The image lookup's answer as the replay reads it (the first line of the tool's
// data file, cut at its first word, then split at "#"): an answer either names an
// image, a non-empty field without "#" or end-of-line inside the answer, or names
// none; it never points outside the answer.
#include <cstring>

#include "fuzz_support.h"
#include "inventory/fw_query.h"

namespace {

bool Within(const char* p, const FuzzBuffer& b) {
    return p >= b.data() && p < b.data() + b.size();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // fgets into the answer buffer: the first line, newline included, at most
    // LOOKUP_ANSWER_LEN-1 characters.
    std::string line(reinterpret_cast<const char*>(data), size);
    line = line.substr(0, line.find('\n') == std::string::npos ? line.size() : line.find('\n') + 1);
    line = line.substr(0, LOOKUP_ANSWER_LEN - 1);
    FuzzBuffer answer(LOOKUP_ANSWER_LEN);
    memcpy(answer.data(), line.data(), line.size());

    keep_first_word(answer.data(), " ");
    const size_t len = strlen(answer.data());
    FUZZ_CHECK(len <= line.size());
    LookupAnswer parsed = parse_lookup_answer(answer.data());
    FUZZ_CHECK(parsed.status == 0 || parsed.status == 1);
    if (parsed.status != 0)
        return 0;
    FUZZ_CHECK(parsed.image != nullptr && parsed.first != nullptr);
    FUZZ_CHECK(Within(parsed.image, answer) && Within(parsed.first, answer));
    FUZZ_CHECK(parsed.image[0] != '\0');
    FUZZ_CHECK(strpbrk(parsed.image, "#\n") == nullptr);
    FUZZ_CHECK(answer.data()[0] != '0');
    return 0;
}
