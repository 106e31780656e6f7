// Host utility library, its umbrella header: text-file helpers (text_files.h),
// Linux distribution detection (distro.h), the state and addresses of a network
// interface (interface_info.h) and the allocation helpers of its records. No mode
// of fwpak calls it; it is built and tested on its own.
#pragma once

#include <cstddef>

// Allocation for the library's records: on failure "ERROR: malloc failed" with the
// caller's file and line goes to standard error and the process aborts.
void* common_malloc(size_t size, const char* file, int line);
char* common_strdup(const char* text, const char* file, int line);

#include "common/distro.h"          // IWYU pragma: export
#include "common/interface_info.h"  // IWYU pragma: export
#include "common/text_files.h"      // IWYU pragma: export
