// Host utility library: the allocation helpers of its records. The text-file
// helpers, distribution detection and interface information have files of their
// own (text_files.cc, distro.cc, interface_info.cc).
#include "common/common_utilities.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

void* common_malloc(size_t size, const char* file, int line) {
    void* p = malloc(size);
    if (p == nullptr) {
        fprintf(stderr, "ERROR: malloc failed (errno=%d), %s,%d\n", errno, file, line);
        abort();
    }
    return p;
}

char* common_strdup(const char* text, const char* file, int line) {
    size_t n = strlen(text) + 1;
    char* copy = static_cast<char*>(common_malloc(n, file, line));
    memcpy(copy, text, n);
    return copy;
}
