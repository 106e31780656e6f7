// Host utility library: text-file helpers.
#pragma once

#include <cstdint>
#include <cstdio>
#include <sys/types.h>

// Removes, in place, every leading and trailing character of pstring that occurs in
// ptrim; the rest moves to the start of pstring.
void trim_chars(char* pstring, const char* ptrim);

// A line reader is three values owned by the caller: the file (opened by the first
// read, not by the set-up), the growing line buffer and its capacity.
void alloc_read_a_line_vars(FILE** ppfile, char** ppa_line, size_t* pline_len);
// Opens pfile_name if no file is open yet (-1 when that fails), then returns the
// next line's length, newline included, or -1 at the end of the file. Once a file
// is open, pfile_name is not looked at again.
ssize_t read_a_line(const char* pfile_name, FILE** ppfile, char** ppa_line, size_t* pline_len);
// Closes the file and frees the buffer if a file is open; otherwise does nothing.
void free_read_a_line_vars(FILE** ppfile, char** ppa_line, size_t* pline_len);

// Collects copies of the lines that begin (after blanks, not tabs) with the token
// and are not commented out before it. Returns the count, also in *ptoken_count;
// *ppptokens_found is null when nothing matched.
int32_t read_tokens(const char* pfile_name, const char* ptoken_to_match, int32_t remove_nl,
                    char*** ppptokens_found, int32_t* ptoken_count);
// The same over an open stream (read to its end, not closed).
int32_t read_tokens_stream(FILE* file, const char* ptoken_to_match, int32_t remove_nl,
                           char*** ppptokens_found, int32_t* ptoken_count);
// Frees `count` copies, last first, then the array, and sets the list to null.
void free_read_tokens(char*** ppplines, int32_t count);

// A line reader released however the caller leaves.
struct ScopedLineReader {
    FILE* file = nullptr;
    char* line = nullptr;
    size_t capacity = 0;
    ~ScopedLineReader() { free_read_a_line_vars(&file, &line, &capacity); }
    ssize_t next(const char* path) { return read_a_line(path, &file, &line, &capacity); }
};
