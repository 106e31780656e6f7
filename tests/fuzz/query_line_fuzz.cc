// The burning tool's query output as the firmware query reads it: any output
// (no end-of-line, binary bytes, lines longer than the read buffer) yields at most
// a 49-character value without blanks, and a status that agrees with it.
#include <cstring>

#include "fuzz_support.h"
#include "inventory/fw_query.h"

namespace {

const char* const kPatterns[] = {"FW Version", "PSID"};

void CheckValue(const char* value, int rc) {
    FUZZ_CHECK(strlen(value) < QUERY_VALUE_LEN);
    FUZZ_CHECK(strchr(value, ' ') == nullptr);
    FUZZ_CHECK((rc == 0) == (value[0] != '\0'));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* pattern = kPatterns[size % 2];

    FuzzBuffer output(data, size);
    FILE* stream = FuzzStream(&output);
    if (stream != nullptr) {
        char* value = nullptr;
        int rc = scan_query_output(stream, &value, pattern);
        fclose(stream);
        if (value == nullptr)
            FUZZ_CHECK(rc == 1);
        else
            CheckValue(value, rc);
        free(value);
    }

    // The cut alone, on the whole input as one line and into buffers of every size
    // up to the query's own.
    std::string line = FuzzText(data, size);
    FuzzBuffer text(line.c_str(), line.size() + 1);
    for (size_t room : {size_t{0}, size_t{1}, size_t{7}, size_t{QUERY_VALUE_LEN}}) {
        FuzzBuffer value(room);
        size_t n = cut_query_value(text.data(), pattern, value.data(), room);
        if (room == 0) {
            FUZZ_CHECK(n == 0);
            continue;
        }
        FUZZ_CHECK(n < room && strlen(value.data()) == n);
    }
    return 0;
}
