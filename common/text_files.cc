// Host utility library: text-file helpers (trimming, a growing line reader,
// token lines).
#include "common/text_files.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "common/common_utilities.h"
#include "console.h"
#include "handles.h"

void trim_chars(char* pstring, const char* ptrim) {
    const char* start = pstring;
    while (*start != '\0' && strchr(ptrim, *start) != nullptr) start++;
    size_t len = strlen(start);
    while (len > 0 && strchr(ptrim, start[len - 1]) != nullptr) len--;
    memmove(pstring, start, len);
    pstring[len] = '\0';
}

void alloc_read_a_line_vars(FILE** ppfile, char** ppa_line, size_t* pline_len) {
    *ppfile = nullptr;
    *ppa_line = nullptr;
    *pline_len = 0;
}

ssize_t read_a_line(const char* pfile_name, FILE** ppfile, char** ppa_line, size_t* pline_len) {
    if (*ppfile == nullptr) {
        *ppfile = fopen(pfile_name, "r");
        if (*ppfile == nullptr)
            return -1;
    }
    return getline(ppa_line, pline_len, *ppfile);
}

void free_read_a_line_vars(FILE** ppfile, char** ppa_line, size_t* pline_len) {
    if (*ppfile == nullptr)
        return;
    fclose(*ppfile);
    free(*ppa_line);
    alloc_read_a_line_vars(ppfile, ppa_line, pline_len);
}

namespace {

struct LineFree {
    char* text = nullptr;
    ~LineFree() { free(text); }
};

// A line matches when its first occurrence of the token is not commented out and
// is where the text starts after the leading blanks; tabs are not skipped.
bool line_begins_with_token(const char* line, const char* token) {
    const char* found = strstr(line, token);
    if (found == nullptr)
        return false;
    if (memchr(line, '#', static_cast<size_t>(found - line)) != nullptr)
        return false;
    const char* text = line;
    while (*text == ' ') text++;
    return strncmp(text, token, strlen(token)) == 0;
}

}  // namespace

int32_t read_tokens_stream(FILE* file, const char* ptoken_to_match, int32_t remove_nl,
                           char*** ppptokens_found, int32_t* ptoken_count) {
    *ptoken_count = 0;
    *ppptokens_found = nullptr;
    LineFree line;
    size_t capacity = 0;
    while (getline(&line.text, &capacity, file) >= 0) {
        if (!line_begins_with_token(line.text, ptoken_to_match))
            continue;
        size_t bytes = sizeof(char*) * static_cast<size_t>(*ptoken_count + 1);
        char** grown = static_cast<char**>(realloc(*ppptokens_found, bytes));
        if (grown == nullptr) {
            fprintf(stderr, "ERROR: malloc failed (errno=%d), %s,%d\n", errno, FWPAK_SOURCE,
                    __LINE__);
            abort();
        }
        *ppptokens_found = grown;
        char* copy = common_strdup(line.text, FWPAK_SOURCE, __LINE__);
        size_t len = strlen(copy);
        if (remove_nl != 0 && len > 0 && copy[len - 1] == '\n')
            copy[len - 1] = '\0';
        grown[(*ptoken_count)++] = copy;
    }
    return *ptoken_count;
}

int32_t read_tokens(const char* pfile_name, const char* ptoken_to_match, int32_t remove_nl,
                    char*** ppptokens_found, int32_t* ptoken_count) {
    UniqueFile file(fopen(pfile_name, "r"));
    if (!file) {
        *ptoken_count = 0;
        *ppptokens_found = nullptr;
        return 0;
    }
    return read_tokens_stream(file.get(), ptoken_to_match, remove_nl, ppptokens_found,
                              ptoken_count);
}

void free_read_tokens(char*** ppplines, int32_t count) {
    if (*ppplines == nullptr)
        return;
    for (int32_t i = count - 1; i >= 0; i--) free((*ppplines)[i]);
    free(*ppplines);
    *ppplines = nullptr;
}
