// Address parsing, address order, the reduction to one entry per physical device,
// and the sysfs read's refusals.
#include "inventory/pci_enum.h"

#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

struct ParseCase {
    const char* text;
    const char* error;  // null: parsed
    int domain, bus, slot, func;
};

TEST(ParsePciId, ChecksFieldsInOrder) {
    const ParseCase cases[] = {
        {"0000:0b:00.0", nullptr, 0, 0x0b, 0, 0},
        {"00ff:FF:1f.7", nullptr, 0xff, 0xff, 0x1f, 7},
        {"0100:0b:00.0", "Invalid domain number", -1, -1, -1, -1},
        {"10000:00:00.0", "Invalid domain number", -1, -1, -1, -1},
        {"00g0:0b:00.0", "Invalid domain number", -1, -1, -1, -1},
        {"0000.0b", "Invalid input. Either colon or dot missing!", 0, -1, -1, -1},
        {"0000:zz:00.0", "Invalid bus number", 0, -1, -1, -1},
        {"0000:0b:00", "Invalid input. Either colon or dot missing!", 0, 0x0b, -1, -1},
        {"0000:0b:20.0", "Invalid slot number", 0, 0x0b, -1, -1},
        {"0000:0b:00.8", "Invalid function number", 0, 0x0b, 0, -1},
        {"*:0b:*.1", nullptr, -1, 0x0b, -1, 1},  // "*" leaves the field as it was
    };
    for (const ParseCase& c : cases) {
        pci_filter f{};
        f.domain = f.bus = f.slot = f.func = -1;
        const char* error = pci_filter_parse_pciid(&f, c.text);
        if (c.error == nullptr)
            EXPECT_EQ(error, nullptr) << c.text << ": " << error;
        else
            EXPECT_STREQ(error, c.error) << c.text;
        EXPECT_EQ(f.domain, c.domain) << c.text;
        EXPECT_EQ(f.bus, c.bus) << c.text;
        EXPECT_EQ(f.slot, c.slot) << c.text;
        EXPECT_EQ(f.func, c.func) << c.text;
    }
}

TEST(ComparePciIds, SortsByDomainBusDeviceFunctionIgnoringCase) {
    std::vector<const char*> ids = {"0000:5e:00.0", "0000:0B:00.1", "0001:00:00.0", "0000:0b:00.0",
                                    "0000:3b:00.0"};
    qsort(ids.data(), ids.size(), sizeof(const char*), cmp_pci_id_nums);
    std::vector<std::string> sorted(ids.begin(), ids.end());
    EXPECT_EQ(sorted, (std::vector<std::string>{"0000:0b:00.0", "0000:0B:00.1", "0000:3b:00.0",
                                                "0000:5e:00.0", "0001:00:00.0"}));
}

using List = std::vector<std::string>;

TEST(ReduceToDevices, OneEntryPerPhysicalDeviceUnderItsLowestFunction) {
    List dropped = {"stale"};
    List devices = reduce_to_devices(
        {"0000:0b:00.0", "0000:0B:00.1", "0000:0b:01.0", "0000:3b:00.1", "0000:3b:00.3"}, 100,
        &dropped);
    EXPECT_EQ(devices, (List{"0000:0b:00.0", "0000:0b:01.0", "0000:3b:00.1"}));
    EXPECT_TRUE(dropped.empty());
}

// A device whose address does not parse is skipped, and its other functions with it.
TEST(ReduceToDevices, UnparsableDeviceIsSkippedSilently) {
    List dropped;
    List devices = reduce_to_devices(
        {"0000:0b:00.0", "0100:00:00.0", "0100:00:00.1", "0101:00:00.0"}, 100, &dropped);
    EXPECT_EQ(devices, (List{"0000:0b:00.0"}));
}

// More devices than the table holds: the first ones by address are kept.
TEST(ReduceToDevices, BoundedAtTheLimit) {
    List sorted;
    for (int bus = 0; bus < 130; ++bus)
        for (int func = 0; func < 2; ++func) {
            char text[16];
            snprintf(text, sizeof text, "0000:%02x:00.%d", bus, func);
            sorted.push_back(text);
        }
    List dropped;
    List devices = reduce_to_devices(sorted, 100, &dropped);
    ASSERT_EQ(devices.size(), 100u);
    EXPECT_EQ(devices.front(), "0000:00:00.0");
    EXPECT_EQ(devices.back(), "0000:63:00.0");
    ASSERT_EQ(dropped.size(), 30u);  // each device left out, under its first function
    EXPECT_EQ(dropped.front(), "0000:64:00.0");
    EXPECT_EQ(dropped.back(), "0000:81:00.0");
}

TEST(PciInfo, RefusesEmptyAddressWithoutAMessage) {
    int32_t ids[4] = {7, 7, 7, 7};
    testing::internal::CaptureStderr();
    EXPECT_EQ(get_pci_info(nullptr, &ids[0], &ids[1], &ids[2], &ids[3]), 1);
    EXPECT_EQ(get_pci_info("", &ids[0], &ids[1], &ids[2], &ids[3]), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(ids[0] + ids[1] + ids[2] + ids[3], 28);
}

TEST(PciInfo, MissingDeviceIsReportedAndNothingStored) {
    int32_t ids[4] = {7, 7, 7, 7};
    testing::internal::CaptureStderr();
    EXPECT_EQ(get_pci_info("ffff:ff:1f.7", &ids[0], &ids[1], &ids[2], &ids[3]), 1);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err.rfind("ERROR: could not open /sys/bus/pci/devices/ffff:ff:1f.7/vendor (errno=2), "
                        "pci_enum.cc,",
                        0),
              0u)
        << err;
    EXPECT_EQ(ids[0] + ids[1] + ids[2] + ids[3], 28);
}

// A path that does not fit its buffer would name another file once cut.
TEST(PciInfo, AddressTooLongForThePathIsRefused) {
    int32_t ids[4] = {0, 0, 0, 0};
    std::string address(120, '0');
    testing::internal::CaptureStderr();
    EXPECT_EQ(get_pci_info(address.c_str(), &ids[0], &ids[1], &ids[2], &ids[3]), 1);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("(errno=36)"), std::string::npos);
}

TEST(PciAddress, OnlyThePlainFormPasses) {
    const struct {
        const char* text;
        bool ok;
    } cases[] = {
        {"0000:05:00.0", true},
        {"0000:5e:1F.7", true},
        {"10000:05:00.1", true},
        {"0000:05:00.8", false},
        {"0000:05:00.", false},
        {"0000:05:00.00", false},
        {"000:05:00.0", false},
        {"0000:5:00.0", false},
        {"0000:05:000.0", false},
        {"0000:05;touch /tmp/x:00.0", false},
        {"0000:05:00.0 ", false},
        {" 0000:05:00.0", false},
        {"0000:05:00.0;ls", false},
        {"$(id):05:00.0", false},
        {":.", false},
        {"", false},
        {"000000000:05:00.0", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(is_pci_address(c.text), c.ok);
    }
    EXPECT_FALSE(is_pci_address(nullptr));
}

}  // namespace
