// The host library's token reader over any file (the first input line is the
// token): every line it returns really begins with the token after blanks, is not
// commented out before it, and the list it hands back frees cleanly.
#include <cstring>

#include "common/common_utilities.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string token, file;
    FuzzSplitLine(data, size, &token, &file);
    token = token.substr(0, token.find('\0')).substr(0, 64);
    const int32_t remove_nl = size % 2;

    FuzzBuffer token_text(token.c_str(), token.size() + 1);
    FuzzBuffer contents(file.data(), file.size());
    FILE* stream = FuzzStream(&contents);
    if (stream == nullptr)
        return 0;
    char** lines = nullptr;
    int32_t count = -1;
    int32_t found = read_tokens_stream(stream, token_text.data(), remove_nl, &lines, &count);
    fclose(stream);

    FUZZ_CHECK(found == count && count >= 0);
    FUZZ_CHECK((count == 0) == (lines == nullptr));
    for (int32_t i = 0; i < count; ++i) {
        const char* line = lines[i];
        const char* text = line + strspn(line, " ");
        FUZZ_CHECK(strncmp(text, token.c_str(), token.size()) == 0);
        const char* first = strstr(line, token.c_str());
        FUZZ_CHECK(first != nullptr &&
                   memchr(line, '#', static_cast<size_t>(first - line)) == nullptr);
        size_t len = strlen(line);
        if (remove_nl != 0)
            FUZZ_CHECK(len == 0 || line[len - 1] != '\n');
    }
    free_read_tokens(&lines, count);
    FUZZ_CHECK(lines == nullptr);
    return 0;
}
