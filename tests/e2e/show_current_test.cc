// The installed firmware report (-c) on the simulated server: the device list, the
// per-port query, the data file of failed queries, the catalog and the table.
#include <algorithm>
#include <cstdio>
#include <regex>

#include "bench.h"
#include "expected_texts.h"

namespace {

const char kCx5[] = "0000:0b:00.0";
const char kCx3[] = "0000:5e:00.0";
const char kCx5Psid[] = "MT_0000000080";
const char kCx3Psid[] = "MT_1090111019";

// The -c output from the device list on (the banner and Secure Boot line before it
// belong to start-up), with the data file's unique name replaced by XXXXXX.
std::string Report(const std::string& out) {
    size_t from = out.find("List of Network Adapters");
    std::string report = from == std::string::npos ? "" : out.substr(from);
    return std::regex_replace(report, std::regex("/tmp/data[A-Za-z0-9]{6}"), "/tmp/dataXXXXXX");
}

// The data file named in the output; it is removed when the case ends.
class DataFile {
  public:
    DataFile(const Bench& bench, const std::string& out) {
        std::smatch m;
        if (std::regex_search(out, m, std::regex("please check (/tmp/data[A-Za-z0-9]{6})")))
            path_ = bench.HostPath(m[1]);
    }
    ~DataFile() {
        if (!path_.empty())
            remove(path_.c_str());
    }
    DataFile(const DataFile&) = delete;
    DataFile& operator=(const DataFile&) = delete;
    bool found() const { return !path_.empty(); }
    std::string text() const { return ReadFileText(path_); }

  private:
    std::string path_;
};

std::string CardInfo(const std::string& bdf, const std::string& version, const std::string& psid,
                     const std::string& ids, const std::string& key) {
    return "\nMellanox card info for " + bdf + " = FW_VERSION " + version + ", BUS_INFO " + bdf +
           ", PSID " + psid + "\n" + bdf + "\nDEVICE INFO---------->" + ids +
           "\npciIdString-------------->" + key + "\n\n";
}

// The burning tool's calls (the Secure Boot check's calls left out).
std::vector<std::string> ToolCalls(const Bench& bench) {
    std::vector<std::string> calls;
    for (const std::string& call : bench.CallLines())
        if (call.rfind("mstflint ", 0) == 0 || call.rfind("flint ", 0) == 0)
            calls.push_back(call);
    return calls;
}

const char kTableHead[] =
    "     (Installed)           (Available)\n"
    "     Image      Version      Image        Version     \t\tInterface\n"
    "------------------------------------------------------------------------\n";

class ShowCurrent : public ::testing::Test {
  protected:
    void ServerWithTwoMellanoxAndIntel() {
        bench_.AddDevices("cx5-dual");
        bench_.AddDevices("intel");
        bench_.AddDevices("ib");
        bench_.SetPort(kCx5, "16.35.2000", kCx5Psid);
        bench_.SetPort(kCx3, "2.42.5000", kCx3Psid);
        bench_.UseCatalog("show-current");
    }
    Bench bench_;
};

// The whole report: one entry for the dual-function adapter, the Intel adapter
// named and skipped, and both tables in numeric version order.
TEST_F(ShowCurrent, ListsDevicesQueriesMellanoxPortsAndPrintsTheirTables) {
    ServerWithTwoMellanoxAndIntel();
    RunResult r = bench_.Run({"-c"});
    DataFile data(bench_, r.out);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    std::string expected =
        std::string("List of Network Adapters detected on the Server.................\n") +
        "[0] 0000:0b:00.0 Mellanox Technologies\n"
        "[1] 0000:3b:00.0 Intel Corporation\n"
        "[2] 0000:5e:00.0 Mellanox Technologies\n"
        "\nIf PSID or FW_Version is not found for some interfaces, please check "
        "/tmp/dataXXXXXX\n\n" +
        CardInfo(kCx5, "16.35.2000", kCx5Psid, "15b3 1017 15b3 20",
                 "15B3-1017-15B3-0020-MT_0000000080") +
        "Interface 0000:3b:00.0 is not Mellanox one.\n" +
        CardInfo(kCx3, "2.42.5000", kCx3Psid, "15b3 1003 15b3 50",
                 "15B3-1003-15B3-0050-MT_1090111019") +
        " PCI-ID              \t\tNIC\n"
        "15B3-1017-15B3-0020 \tConnectX-5 EN 100GbE \n\n" +
        kTableHead +
        "      ROM       16.35.2000    ROM\t\t  16.7.300\t\t0000:0b:00.0\n"
        "                               \t\t16.32.1010\t\t0000:0b:00.0\n"
        "                               \t\t16.35.2000\t\t0000:0b:00.0\n"
        "\n"
        " PCI-ID              \t\tNIC\n"
        "15B3-1003-15B3-0050 \tConnectX-3 Pro VPI \n\n" +
        kTableHead +
        "      ROM       2.42.5000    ROM\t\t  2.9.1000\t\t0000:5e:00.0\n"
        "                               \t\t 2.10.1000\t\t0000:5e:00.0\n"
        "                               \t\t 2.42.5000\t\t0000:5e:00.0\n"
        "\n";
    EXPECT_EQ(Report(r.out), expected);
    // One query per port; the ports' queries run side by side, in either order.
    std::vector<std::string> calls = ToolCalls(bench_);
    std::sort(calls.begin(), calls.end());
    EXPECT_EQ(calls, (std::vector<std::string>{"mstflint -d 0000:0b:00.0 q",
                                               "mstflint -d 0000:5e:00.0 q"}));
    ASSERT_TRUE(data.found());
    EXPECT_EQ(data.text(), "");
    EXPECT_EQ(WithoutManifestNotice(bench_.EventLog()), "");
}

// Devices listed once each, in address order, whatever order libpci reports them
// in and whichever function it meets first; all four network classes are kept.
TEST_F(ShowCurrent, DeviceListIsSortedAndReducedAcrossAllFourClasses) {
    bench_.AddDevices("cx6dx-reversed");
    bench_.AddDevices("cx4-ib");
    bench_.AddDevices("nvme");
    bench_.AddDevices("infinihost");
    bench_.AddDevices("intel");
    bench_.UseCatalog("show-current");
    RunResult r = bench_.Run({"-c"});
    DataFile data(bench_, r.out);
    EXPECT_EQ(r.status, 0);
    std::string list = Report(r.out).substr(0, Report(r.out).find("\nIf PSID"));
    EXPECT_EQ(list,
              "List of Network Adapters detected on the Server.................\n"
              "[0] 0000:02:00.0 Mellanox Technologies\n"
              "[1] 0000:3b:00.0 Intel Corporation\n"
              "[2] 0000:af:00.0 Mellanox Technologies\n"
              "[3] 0000:d8:00.0 Mellanox Technologies\n");
    EXPECT_FALSE(Contains(r.out, "0000:01:00.0"));  // the NVMe controller
    EXPECT_FALSE(Contains(r.out, "0000:af:00.1"));
}

// The failed query of one port goes to the data file; the other port still
// reports, and the failed port has no table.
TEST_F(ShowCurrent, FailedQueryIsRecordedInTheDataFile) {
    ServerWithTwoMellanoxAndIntel();
    bench_.SetPortFile(kCx3, "query_output", "-E- Cannot open Device: 0000:5e:00.0\n");
    RunResult r = bench_.Run({"-c"});
    DataFile data(bench_, r.out);
    EXPECT_EQ(r.status, 0);
    ASSERT_TRUE(data.found());
    std::regex lines(
        "\n\nFWUPG_ERROR: get_firmware_info filed RC = 1\ninventory_build\\.cc,[0-9]+\n\n"
        "\n\nFWUPG_ERROR: get_firmware_info filed RC = 1\ninventory_build\\.cc,[0-9]+\n\n"
        "\n\nFWUPG_ERROR: PSID or FW_Version is not found for 0000:5e:00.0 interface\n");
    EXPECT_TRUE(std::regex_match(data.text(), lines)) << data.text();
    EXPECT_EQ(CountOf(r.out, " PCI-ID "), 1);
    EXPECT_FALSE(Contains(r.out, "Mellanox card info for 0000:5e:00.0"));
}

// A port giving a PSID but no version is as failed as one giving nothing.
TEST_F(ShowCurrent, PortWithoutVersionIsNotReported) {
    bench_.AddDevices("cx5-dual");
    bench_.SetPort(kCx5, "", kCx5Psid);
    bench_.UseCatalog("show-current");
    RunResult r = bench_.Run({"-c"});
    DataFile data(bench_, r.out);
    EXPECT_EQ(r.status, 0);
    EXPECT_FALSE(Contains(r.out, "PCI-ID"));
    EXPECT_EQ(CountOf(data.text(), "FWUPG_ERROR: get_firmware_info filed RC = 1"), 1);
    EXPECT_TRUE(Contains(data.text(), "PSID or FW_Version is not found for 0000:0b:00.0"));
}

// The query's last line may come without an end-of-line: its last character stays.
TEST_F(ShowCurrent, LastQueryLineWithoutEndOfLineKeepsItsLastCharacter) {
    bench_.AddDevices("cx5-dual");
    bench_.SetPortFile(kCx5, "query_output",
                       "PSID:                  MT_0000000080\nFW Version:            16.35.2000");
    bench_.UseCatalog("show-current");
    RunResult r = bench_.Run({"-c"});
    DataFile data(bench_, r.out);
    EXPECT_TRUE(Contains(r.out, "FW_VERSION 16.35.2000, BUS_INFO"));
    EXPECT_TRUE(
        Contains(r.out, "      ROM       16.35.2000    ROM\t\t  16.7.300\t\t0000:0b:00.0\n"));
}

// The burning tool's complete answers for each image type, with the lines that
// must not be taken for the version or the PSID: the flash's "FW Version:" counts
// (not the ISSU version before it, not the running version after it), and an
// unopenable device is a port that could not be queried.
TEST(ShowCurrentQueryForms, EachRealAnswerIsReadRight) {
    const struct {
        const char* name;
        std::vector<std::pair<std::string, std::string>> files;
        const char* version;  // null: the port is not queryable
        const char* psid;
        const char* running;  // null: the adapter runs its flash's firmware
    } cases[] = {
        {"ConnectX-3 FS2", {{"query_form", "fs2"}}, "2.42.5000", "MT_1090111019", nullptr},
        {"ConnectX-3 FS2 waiting for a reboot",
         {{"query_form", "fs2"}, {"running_version", "2.35.5100"}},
         "2.42.5000",
         "MT_1090111019",
         "2.35.5100"},
        {"ConnectX-5 FS3 waiting for a reboot",
         {{"query_form", "fs3"}, {"running_version", "2.40.7000"}},
         "2.42.5000",
         "MT_1090111019",
         "2.40.7000"},
        {"FS4 running what its flash holds",
         {{"running_version", "2.42.5000"}},
         "2.42.5000",
         "MT_1090111019",
         nullptr},
        {"switch FS4 with an ISSU version",
         {{"issu_version", "2.41.1000"}},
         "2.42.5000",
         "MT_1090111019",
         nullptr},
        {"ConnectX-7 FS4 with warnings",
         {{"query_warning",
           "Firmware flash cache access is enabled. Running in this mode may cause the firmware "
           "to hang.\nFW Version: 9.9.9 PSID: MT_0 are the running image's\n"}},
         "2.42.5000",
         "MT_1090111019",
         nullptr},
        {"unopenable device",
         {{"query_error", "MFE_NO_FLASH_DETECTED"}},
         nullptr,
         nullptr,
         nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bench bench;
        bench.AddDevices("ib");
        bench.SetPort(kCx3, "2.42.5000", kCx3Psid);
        for (const auto& f : c.files) bench.SetPortFile(kCx3, f.first, f.second + "\n");
        bench.UseCatalog("show-current");
        RunResult r = bench.Run({"-c"});
        DataFile data(bench, r.out);
        if (c.version == nullptr) {
            EXPECT_FALSE(Contains(r.out, "Mellanox card info")) << r.out;
            EXPECT_TRUE(
                Contains(data.text(), "PSID or FW_Version is not found for " + std::string(kCx3)));
            continue;
        }
        const std::string card = std::string("= FW_VERSION ") + c.version + ", BUS_INFO " + kCx3 +
                                 ", PSID " + c.psid + "\n" + kCx3 + "\n";
        // A waiting image is told right after the card info; otherwise the output
        // goes on as it always did.
        const std::string next =
            c.running == nullptr
                ? "DEVICE INFO"
                : std::string("Firmware ") + c.version + " is on the flash of " + kCx3 +
                      ", but the adapter runs " + c.running +
                      ": a reboot (or a reset of the adapter) loads it\nDEVICE INFO";
        EXPECT_TRUE(Contains(r.out, card + next)) << r.out;
    }
}

TEST_F(ShowCurrent, PortWithoutCatalogMatchShowsNothingAndIsLogged) {
    bench_.AddDevices("cx5-dual");
    bench_.SetPort(kCx5, "16.35.2000", "MT_0000000999");
    bench_.UseCatalog("show-current");
    RunResult r = bench_.Run({"-c"});
    DataFile data(bench_, r.out);
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(Contains(r.out, std::string(" PCI-ID              \t\tNIC\n"
                                            "15B3-1017-15B3-0020 \t \n\n") +
                                    kTableHead +
                                    "      ROM       16.35.2000    ROM\t\tNothing\t\t\t"
                                    "0000:0b:00.0\n\n"))
        << r.out;
    std::regex line(
        "\\[ERROR\\]     \\[[A-Z][a-z]{2} [A-Z][a-z]{2} [ 0-9]\\d \\d\\d:\\d\\d:\\d\\d "
        "\\d{4}\\] For 0000:0b:00.0 no matching firmware file in XML\n\n");
    EXPECT_TRUE(std::regex_match(WithoutManifestNotice(bench_.EventLog()), line))
        << bench_.EventLog();
}

// A PSID too long for the 50-byte adapter key is never cut into a key that could
// match another board's images: the port gets none.
TEST_F(ShowCurrent, PsidTooLongForTheKeyMatchesNothing) {
    std::string psid = std::string(kCx5Psid) + "_AND_A_VERY_LONG_TAIL";
    bench_.AddDevices("cx5-dual");
    bench_.SetPort(kCx5, "16.35.2000", psid);
    bench_.SetCatalog(
        "<c><FW name=\"cut\" venid=\"15B3\" devid=\"1017\" subvenid=\"15B3\" PSID=\"" +
        psid.substr(0, 29) + "\" subdevid=\"0020\" rom=\"99.0.0\" fwFile=\"wrong.bin\"/></c>");
    RunResult r = bench_.Run({"-c"});
    DataFile data(bench_, r.out);
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(Contains(r.out, "\tNothing\t\t\t0000:0b:00.0\n"));
    EXPECT_TRUE(Contains(bench_.EventLog(), "does not fit the 50-byte catalog key"));
    EXPECT_TRUE(Contains(bench_.EventLog(), "For 0000:0b:00.0 no matching firmware file in XML"));
}

TEST_F(ShowCurrent, VendorNameIsCutAt49Characters) {
    bench_.AddDevices("long-vendor");
    RunResult r = bench_.Run({"-c"});
    DataFile data(bench_, r.out);
    EXPECT_TRUE(
        Contains(r.out, "[0] 0000:65:00.0 Science and Research Centre of Computer Technolog\n"));
    EXPECT_TRUE(Contains(r.out, "Interface 0000:65:00.0 is not Mellanox one.\n"));
}

// With an empty PCI ID database libpci names vendors by number ("Vendor 15b3"), and
// the number alone tells a Mellanox device.
TEST_F(ShowCurrent, MellanoxUnknownToThePciIdDatabaseIsStillQueried) {
    REQUIRE_NAMESPACES();
    ServerWithTwoMellanoxAndIntel();
    bench_.HidePciIds();
    RunResult r = bench_.Run({"-c"});
    DataFile data(bench_, r.out);
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(Contains(r.out, "[0] 0000:0b:00.0 Vendor 15b3\n"));
    EXPECT_TRUE(Contains(r.out, "[1] 0000:3b:00.0 Vendor 8086\n"));
    EXPECT_TRUE(Contains(r.out, "Interface 0000:3b:00.0 is not Mellanox one.\n"));
    EXPECT_EQ(CountOf(r.out, " PCI-ID "), 2);
}

TEST_F(ShowCurrent, SecureBootQueriesThroughTheInstalledFlint) {
    REQUIRE_NAMESPACES();
    bench_.AddDevices("cx5-dual");
    bench_.SetPort(kCx5, "16.35.2000", kCx5Psid);
    bench_.UseCatalog("show-current");
    SecureBootSetup sb;
    sb.mokutil_line = "SecureBoot enabled";
    bench_.SetSecureBoot(sb);
    RunResult r = bench_.Run({"-c"});
    DataFile data(bench_, r.out);
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(Contains(r.out, "\nSecureBoot is enabled.\n"));
    EXPECT_EQ(ToolCalls(bench_),
              (std::vector<std::string>{"flint --help", "flint -d 0000:0b:00.0 q"}));
    EXPECT_TRUE(Contains(r.out, "      ROM       16.35.2000    ROM"));
}

// No Mellanox device at all: the list, the hint, the "not Mellanox" line, no table.
TEST_F(ShowCurrent, NoMellanoxDevicePrintsTheListOnly) {
    bench_.AddDevices("intel");
    RunResult r = bench_.Run({"-c"});
    DataFile data(bench_, r.out);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(Report(r.out),
              "List of Network Adapters detected on the Server.................\n"
              "[0] 0000:3b:00.0 Intel Corporation\n"
              "\nIf PSID or FW_Version is not found for some interfaces, please check "
              "/tmp/dataXXXXXX\n\n"
              "Interface 0000:3b:00.0 is not Mellanox one.\n");
    EXPECT_TRUE(ToolCalls(bench_).empty());
}

TEST_F(ShowCurrent, NoNetworkDeviceSaysSo) {
    bench_.AddDevices("nvme");
    RunResult r = bench_.Run({"-c"});
    DataFile data(bench_, r.out);
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(Contains(r.out, "NO Interface Found\n"));
    EXPECT_TRUE(Contains(r.err,
                         "\n\nFWUPG_ERROR: get_interface_list filed RC = 1\n"
                         "inventory_build.cc,"));
    EXPECT_TRUE(Contains(r.out,
                         "List of Network Adapters detected on the Server.................\n"
                         "\nIf PSID"));
}

TEST_F(ShowCurrent, MissingCatalogEndsTheRunWithStatusOne) {
    bench_.AddDevices("cx5-dual");
    bench_.SetPort(kCx5, "16.35.2000", kCx5Psid);
    RunResult r = bench_.Run({"-c"});
    DataFile data(bench_, r.out);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Contains(r.out, "pciIdString-------------->15B3-1017-15B3-0020-MT_0000000080\n"));
    EXPECT_FALSE(Contains(r.out, "PCI-ID"));
    EXPECT_TRUE(Contains(bench_.EventLog(), "] Unable to open nic_fw/NICFWData.xml\n"));
    EXPECT_TRUE(Contains(bench_.EventLog(), "[ERROR]    "));
}

// A Mellanox port whose PCI ID files cannot be read ends the process.
TEST_F(ShowCurrent, MissingPciIdFileIsFatal) {
    bench_.AddDevices("cx5-no-subsystem-device");
    bench_.SetPort("0000:86:00.0", "16.35.2000", kCx5Psid);
    bench_.UseCatalog("show-current");
    RunResult r = bench_.Run({"-c"});
    DataFile data(bench_, r.out);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Contains(r.err,
                         "ERROR: could not open "
                         "/sys/bus/pci/devices/0000:86:00.0/subsystem_device (errno=2), "
                         "pci_enum.cc,"))
        << r.err;
    EXPECT_TRUE(Contains(r.err, "\n\nFWUPG_ERROR: RC = 1\ninventory_build.cc,"));
    EXPECT_FALSE(Contains(r.out, "DEVICE INFO"));
}

std::string IntelDevice(int bus) {
    char text[600];
    snprintf(text, sizeof text,
             "P: /devices/pci0000:00/0000:%02x:00.0\nE: SUBSYSTEM=pci\nE: PCI_ID=8086:1572\n"
             "E: PCI_SUBSYS_ID=8086:0000\nE: PCI_CLASS=20000\nA: vendor=0x8086\n"
             "A: device=0x1572\nA: subsystem_vendor=0x8086\nA: subsystem_device=0x0000\n"
             "A: class=0x020000\nA: irq=0\nA: resource=0x0000000000000000 "
             "0x0000000000000000 0x0000000000000000\nH: config=8680721500000000000000020000"
             "0000000000000000000000000000000000000000000000000000000000008680000000000000"
             "000000000000000000000000\n\n",
             bus);
    return text;
}

// 105 network devices: the table holds 100, the first 100 by address are listed
// and the rest is announced on standard error and in the event log.
TEST_F(ShowCurrent, MoreDevicesThanTheTableHoldsListsTheFirstHundred) {
    std::string devices;
    for (int bus = 0x10; bus < 0x10 + 105; ++bus) devices += IntelDevice(bus);
    bench_.AddDeviceText(devices);
    RunResult r = bench_.Run({"-c"});
    DataFile data(bench_, r.out);
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(Contains(r.out, "[0] 0000:10:00.0 Intel Corporation\n"));
    EXPECT_TRUE(Contains(r.out, "[99] 0000:73:00.0 Intel Corporation\n"));
    EXPECT_FALSE(Contains(r.out, "0000:74:00.0"));
    EXPECT_EQ(CountOf(r.out, "is not Mellanox one."), 100);
    EXPECT_TRUE(Contains(r.err, "5 more network devices found than the 100"));
    EXPECT_TRUE(
        Contains(bench_.EventLog(), "5 network devices beyond the first 100 are not listed"));
}

// The inventory's console lines (device list, card info, "not Mellanox") are held
// back in silent and discovery runs; its event-log line is written all the same.
TEST(InventoryConsole, SilentAndDiscoveryRunsShowNoInventoryLines) {
    for (const char* option : {"-s", "-d"}) {
        Bench bench;
        bench.AddDevices("cx5-dual");
        bench.AddDevices("intel");
        bench.SetPort(kCx5, "16.35.2000", "MT_0000000999");
        bench.UseCatalog("show-current");
        RunResult r = bench.Run({option});
        for (const char* line :
             {"List of Network Adapters", "If PSID or FW_Version", "Mellanox card info",
              "DEVICE INFO", "pciIdString", "is not Mellanox one", "0000:0b:00.0\n"})
            EXPECT_FALSE(Contains(r.out, line)) << option << ": " << line << "\n" << r.out;
        EXPECT_TRUE(Contains(bench.EventLog(), "For 0000:0b:00.0 no matching firmware file in XML"))
            << option;
        EXPECT_EQ(CountOf(bench.Calls(), "mstflint -d 0000:0b:00.0 q"), 1) << option;
    }
}

}  // namespace
