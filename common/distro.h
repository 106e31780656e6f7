// Host utility library: Linux distribution detection.
#pragma once

#include <cstdint>

enum linux_distro_name_t {
    unknown_distro = 0,
    rh_distro = 1,
    suse_distro = 2,
    vmware_distro = 3,
    zen_distro = 4,
    fedora_core_distro = 5,
};
extern const char* const linux_distro_name[6];

enum linux_distro_type_t {
    unknown_distro_type = 0,
    rh_as = 1,
    rh_es = 2,
    rh_ws = 3,
    suse_es = 4,
};
extern const char* const linux_distro_type[5];

// Names the distribution from the first line of the first release file that opens.
// Returns 0 when recognised, else 1. ppofficial_distro_name may be null; otherwise
// it receives the trimmed line (allocated, the caller frees it) whenever a line
// was read.
int32_t detect_linux_distro(linux_distro_name_t* pname, linux_distro_type_t* ptype,
                            int32_t* pversion, char** ppofficial_distro_name);
