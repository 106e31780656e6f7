// The slot and bay map on fake PCI devices (tests/data/common/slots.umockdev) with
// fake rezuz, dodaruru and lspci at their installed paths.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "namespace_case.h"

namespace {

using common_test::NamespaceCase;
using common_test::ProbeRun;

const char* const kManagementPaths[] = {"/opt/tandrel/utils/rezuz", "/sbin/rezuz",
                                        "/opt/tandrel/utils/dodaruru", "/sbin/dodaruru"};

// Columns 1, 2 and 6 are bus, device and slot (hexadecimal). The first two lines
// are headers even when, like the first here, they look like a record.
const char kRezuzOutput[] =
    "05 00 0 15b3 1015 7\n"
    "BUS DEV FN VEN DEV SLOT\n"
    "05 00 0 15b3 1015 2\n"
    "not a record\n"
    "05 00 1 15b3 1015 2\n"
    "0b 00 0 8086 1572 10\n"
    "06 00 0 15b3 1017 80\n";

// slot, slot port (0-based), bay, bay port after three header lines.
const char kPortMapOutput[] =
    "SWM port map\n"
    "SLOT PORT BAY BAYPORT\n"
    "2 0 3 3\n"
    "2 0 1 5\n"
    "2 1 1 6\n"
    "2 1 9 9\n"
    "3 0 4 4\n"
    "-1 -1 7 7\n"
    "128 -1 8 8\n"
    "2 0\n";

void HideManagementTools(NamespaceCase* c) {
    for (const char* path : kManagementPaths) c->Hide(path);
    c->Hide("/sbin/lspci");
}

// Both programs at their first paths; a second copy of each at the other path must
// never be run.
void InstallTools(NamespaceCase* c) {
    HideManagementTools(c);
    c->AddDevices("common/slots.umockdev");
    c->AddProgram("/opt/tandrel/utils/rezuz", kRezuzOutput);
    c->AddProgram("/sbin/rezuz", "");
    c->AddProgram("/sbin/dodaruru", kPortMapOutput);
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1)
        lines.push_back(text.substr(start, nl - start));
    if (start < text.size())
        lines.push_back(text.substr(start));
    return lines;
}

TEST(SlotMap, ListsEthernetFunctionsNumbersSlotPortsAndAttachesFirstPortMapLines) {
    REQUIRE_NAMESPACE_CASE();
    NamespaceCase c;
    InstallTools(&c);
    ProbeRun run = c.Run({"bay", "5", "0", "0", "list"});
    ASSERT_EQ(run.status, 0) << run.err;
    // 08:00.0 is a network controller of another class; 0c:00.0 has no class file.
    EXPECT_EQ(Lines(run.out), (std::vector<std::string>{
                                  "bay 5 0 0 -> rc=0 slot=2 port=1 bay=1 bay_port=5",
                                  "node 05:00.0 slot=2 slot_port=0 map=2/0/1/5",
                                  "node 05:00.1 slot=2 slot_port=1 map=2/1/1/6",
                                  "node 06:00.0 slot=128 slot_port=-1",
                                  "node 07:00.0 slot=-1 slot_port=-1",
                                  "node 0b:00.0 slot=16 slot_port=0",
                                  "ring sound",
                              }));
    EXPECT_NE(run.err.find("ERROR: could not open file /sys/bus/pci/devices/0000:0c:00.0/class:  "
                           "port_map.cc,"),
              std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("ERROR: did not find match for pci bus/device 7,0, port_map.cc,"),
              std::string::npos)
        << run.err;
}

TEST(SlotMap, LookupsByNumbersAndByTextBuildTheMapOnce) {
    REQUIRE_NAMESPACE_CASE();
    NamespaceCase c;
    InstallTools(&c);
    ProbeRun run = c.Run({"bay",  "5",
                          "0",    "1",
                          "bay",  "11",
                          "0",    "0",
                          "bay",  "6",
                          "0",    "0",
                          "bay",  "7",
                          "0",    "0",
                          "bay",  "8",
                          "0",    "0",
                          "bay",  "5",
                          "0",    "2",
                          "slot", "05:00.1",
                          "slot", "0000:05:00.1",
                          "slot", "0000:07:00.0",
                          "slot", "0b:00.0",
                          "slot", "0000:08:00.0"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Lines(run.out), (std::vector<std::string>{
                                  "bay 5 0 1 -> rc=0 slot=2 port=2 bay=1 bay_port=6",
                                  "bay 11 0 0 -> rc=0 slot=16 port=1 bay=-1 bay_port=-1",
                                  // Slot 0x80 is past the 128 counters: no slot port, yet a slot.
                                  "bay 6 0 0 -> rc=0 slot=128 port=-1 bay=-1 bay_port=-1",
                                  "bay 7 0 0 -> rc=-2 slot=-1 port=-1 bay=-1 bay_port=-1",
                                  // Not listed: the outputs keep what the caller had.
                                  "bay 8 0 0 -> rc=-1 slot=99 port=99 bay=99 bay_port=99",
                                  "bay 5 0 2 -> rc=-1 slot=99 port=99 bay=99 bay_port=99",
                                  "slot 05:00.1 -> rc=0 slot=2 port=2 bay=1 bay_port=6",
                                  "slot 0000:05:00.1 -> rc=0 slot=2 port=2 bay=1 bay_port=6",
                                  "slot 0000:07:00.0 -> rc=1 slot=-1 port=-1 bay=-1 bay_port=-1",
                                  "slot 0b:00.0 -> rc=0 slot=16 port=1 bay=-1 bay_port=-1",
                                  "slot 0000:08:00.0 -> rc=1 slot=-1 port=-1 bay=-1 bay_port=-1",
                              }));
    // The map is built by the first lookup only: the slot program once per listed
    // function, the port map once, and nothing for the later lookups.
    std::string rezuz = "/opt/tandrel/utils/rezuz -i\n";
    EXPECT_EQ(run.calls,
              rezuz + rezuz + rezuz + rezuz + rezuz + "/sbin/dodaruru -s show portmap\n");
}

TEST(SlotMap, PrefersTheToolsDirectoryAndFallsBackToSbin) {
    REQUIRE_NAMESPACE_CASE();
    NamespaceCase c;
    HideManagementTools(&c);
    c.AddDevices("common/slots.umockdev");
    c.AddProgram("/sbin/rezuz", kRezuzOutput);
    c.AddProgram("/opt/tandrel/utils/dodaruru", kPortMapOutput);
    c.AddProgram("/sbin/dodaruru", "");
    ProbeRun run = c.Run({"slot", "05:00.0"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "slot 05:00.0 -> rc=0 slot=2 port=1 bay=1 bay_port=5\n");
    std::vector<std::string> calls = Lines(run.calls);
    ASSERT_EQ(calls.size(), 6u) << run.calls;
    EXPECT_EQ(calls.front(), "/sbin/rezuz -i");
    EXPECT_EQ(calls.back(), "/opt/tandrel/utils/dodaruru -s show portmap");
}

TEST(SlotMap, WithoutManagementToolsNoFunctionHasASlotOrBay) {
    REQUIRE_NAMESPACE_CASE();
    NamespaceCase c;
    HideManagementTools(&c);
    c.AddDevices("common/slots.umockdev");
    ProbeRun run = c.Run({"qxmon", "slot", "05:00.0", "bay", "11", "0", "0", "list"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Lines(run.out), (std::vector<std::string>{
                                  "qxmon=0",
                                  "slot 05:00.0 -> rc=1 slot=-1 port=-1 bay=-1 bay_port=-1",
                                  "bay 11 0 0 -> rc=-2 slot=-1 port=-1 bay=-1 bay_port=-1",
                                  "node 05:00.0 slot=-1 slot_port=-1",
                                  "node 05:00.1 slot=-1 slot_port=-1",
                                  "node 06:00.0 slot=-1 slot_port=-1",
                                  "node 07:00.0 slot=-1 slot_port=-1",
                                  "node 0b:00.0 slot=-1 slot_port=-1",
                                  "ring sound",
                              }));
    EXPECT_EQ(run.err.find("did not find match"), std::string::npos) << run.err;
}

// Slot numbers that a signed reading would wrap into negatives, or that do not fit
// 32 bits at all: no slot, never a negative slot with success.
TEST(SlotMap, SlotNumbersPastTheSignedRangeAreNoSlot) {
    REQUIRE_NAMESPACE_CASE();
    const struct {
        const char* slot;
        const char* expected;
    } cases[] = {
        {"fffffffe", "bay 5 0 0 -> rc=-2 slot=-1 port=-1 bay=-1 bay_port=-1\n"},
        {"80000000", "bay 5 0 0 -> rc=-2 slot=-1 port=-1 bay=-1 bay_port=-1\n"},
        {"100000002", "bay 5 0 0 -> rc=-2 slot=-1 port=-1 bay=-1 bay_port=-1\n"},
        {"7fffffff", "bay 5 0 0 -> rc=0 slot=2147483647 port=-1 bay=-1 bay_port=-1\n"},
        {"7f", "bay 5 0 0 -> rc=0 slot=127 port=1 bay=-1 bay_port=-1\n"},
    };
    for (const auto& t : cases) {
        NamespaceCase c;
        HideManagementTools(&c);
        c.AddDevices("common/slots.umockdev");
        c.AddProgram("/sbin/rezuz", std::string("h\nh\n05 00 0 15b3 1015 ") + t.slot + "\n");
        ProbeRun run = c.Run({"bay", "5", "0", "0"});
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.out, t.expected) << t.slot;
    }
}

TEST(SlotMap, MissingDeviceDirectoryStillReadsThePortMap) {
    REQUIRE_NAMESPACE_CASE();
    NamespaceCase c;
    InstallTools(&c);
    c.NoDevices();
    ProbeRun run = c.Run({"bay", "5", "0", "0", "list"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "bay 5 0 0 -> rc=-1 slot=99 port=99 bay=99 bay_port=99\nlist empty\n");
    EXPECT_NE(run.err.find("INFO: Directory '/sys' not found, Skipping scan dir "
                           "/sys/bus/pci/devices: port_map.cc,"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(run.calls, "/sbin/dodaruru -s show portmap\n");
}

// Texts that are not "[domain:]bus:device.function" in hexadecimal: every output
// stays -1 and no program runs, since the map is not even built.
TEST(SlotMap, BusAddressTextsThatDoNotParse) {
    REQUIRE_NAMESPACE_CASE();
    NamespaceCase c;
    InstallTools(&c);
    const std::vector<std::string> texts = {
        "050001", "05:0g.1", "zz:00.0",  "-5:00.0", "05:00.1x",       "05:00",
        ":00.1",  "05:.1",   "0x5:00.1", "05:00.",  "123456789:00.0", "05 :00.1",
    };
    std::vector<std::string> args;
    std::string expected;
    for (const std::string& t : texts) {
        args.push_back("slot");
        args.push_back(t);
        expected += "slot " + t + " -> rc=1 slot=-1 port=-1 bay=-1 bay_port=-1\n";
    }
    ProbeRun run = c.Run(args);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, expected);
    EXPECT_EQ(run.calls, "");
}

TEST(SlotMap, TextWithMoreThanTwoColonsWarnsOnStandardOutput) {
    REQUIRE_NAMESPACE_CASE();
    NamespaceCase c;
    InstallTools(&c);
    ProbeRun run = c.Run({"slot", "0:0:05:00.0", "slot", " 05:00.1\n"});
    ASSERT_EQ(run.status, 0) << run.err;
    // The warning has no newline of its own; blanks around a text are accepted.
    EXPECT_EQ(run.out.rfind("WARNING: unable to parse \"0:0:05:00.0\", port_map.cc,", 0), 0u)
        << run.out;
    EXPECT_NE(run.out.find("slot 0:0:05:00.0 -> rc=1 slot=-1 port=-1 bay=-1 bay_port=-1\n"
                           "slot  05:00.1\n -> rc=0 slot=2 port=2 bay=1 bay_port=6\n"),
              std::string::npos)
        << run.out;
}

TEST(QxmonInstalled, AnyOfTheFourPathsCounts) {
    REQUIRE_NAMESPACE_CASE();
    for (const char* path : kManagementPaths) {
        NamespaceCase c;
        HideManagementTools(&c);
        c.AddProgram(path, "");
        ProbeRun run = c.Run({"qxmon"});
        EXPECT_EQ(run.out, "qxmon=1\n") << path << ": " << run.err;
        EXPECT_EQ(run.calls, "") << "qxmon_installed only looks, it runs nothing";
    }
}

TEST(AdapterPartitioned, EightFunctionsBehindBusAndDevice) {
    REQUIRE_NAMESPACE_CASE();
    struct Case {
        int lines;
        const char* expected;
    };
    for (Case k : {Case{8, "part=1\n"}, Case{7, "part=0\n"}, Case{9, "part=0\n"}}) {
        NamespaceCase c;
        std::string output;
        for (int i = 0; i < k.lines; i++)
            output += "0b:1f." + std::to_string(i) + " Ethernet controller\n";
        c.AddProgram("/sbin/lspci", output);
        ProbeRun run = c.Run({"part", "0b", "1f"});
        EXPECT_EQ(run.out, k.expected) << k.lines << " lines: " << run.err;
        EXPECT_EQ(run.calls, "/sbin/lspci -s b:1f\n");
    }
}

TEST(AdapterPartitioned, MissingLspciIsNotPartitioned) {
    REQUIRE_NAMESPACE_CASE();
    NamespaceCase c;
    c.Hide("/sbin/lspci");
    ProbeRun run = c.Run({"part", "5", "0"});
    EXPECT_EQ(run.out, "part=0\n") << run.err;
}

}  // namespace
