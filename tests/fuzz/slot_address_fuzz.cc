// The slot map's bus-address parse: a text either parses into fields that print
// back to an address parsing to the same fields, or is refused; one with more than
// two colons is told apart for its warning.
#include <algorithm>
#include <cstring>

#include "common/port_map.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text = FuzzText(data, size);
    FuzzBuffer buffer(text.c_str(), text.size() + 1);
    uint32_t bus = 0, device = 0, function = 0;
    int32_t rc = parse_slot_bus_address(buffer.data(), &bus, &device, &function);
    FUZZ_CHECK(rc == BUS_ADDRESS_OK || rc == BUS_ADDRESS_INVALID ||
               rc == BUS_ADDRESS_TOO_MANY_COLONS);
    const size_t colons = static_cast<size_t>(std::count(text.begin(), text.end(), ':'));
    FUZZ_CHECK((rc == BUS_ADDRESS_TOO_MANY_COLONS) == (colons > 2));
    if (rc != BUS_ADDRESS_OK)
        return 0;
    FUZZ_CHECK(colons == 1 || colons == 2);

    char again[64];
    snprintf(again, sizeof again, "%x:%x.%x", bus, device, function);
    uint32_t b2 = 0, d2 = 0, f2 = 0;
    FUZZ_CHECK(parse_slot_bus_address(again, &b2, &d2, &f2) == BUS_ADDRESS_OK);
    FUZZ_CHECK(b2 == bus && d2 == device && f2 == function);
    return 0;
}
