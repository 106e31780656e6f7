// Whole-file reads and writes for tests: the contents of a file as one string, and a
// file made from one.
#pragma once

#include <cstdio>
#include <string>
#include <sys/stat.h>

// The file's bytes, or an empty text when it cannot be read.
inline std::string ReadFileText(const std::string& path) {
    std::string text;
    FILE* f = fopen(path.c_str(), "rb");
    if (f == nullptr)
        return text;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
    fclose(f);
    return text;
}

// Replaces the file's contents with `content`; false when it cannot be written.
inline bool WriteFileText(const std::string& path, const std::string& content) {
    FILE* f = fopen(path.c_str(), "wb");
    if (f == nullptr)
        return false;
    bool ok = fwrite(content.data(), 1, content.size(), f) == content.size();
    return fclose(f) == 0 && ok;
}

inline bool FileExists(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0;
}
