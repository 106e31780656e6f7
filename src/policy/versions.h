// Firmware version texts: parsing into triples and ordering an adapter's images.
#pragma once

#include <cstdint>

int parseversions(const char* version, uint32_t* major, uint32_t* minor, uint32_t* release);
