// The inventory build's results and the rows it leaves, in process: the bus scan,
// sysfs and the burning tool's query answer from the fake platform, the catalog
// and the event log are files in a scratch directory. The real scan under
// umockdev is proven end to end (tests/e2e).
#include "inventory/inventory_build.h"

#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "console.h"
#include "fake_platform.h"
#include "run_flags.h"
#include "test_support.h"

namespace {

std::string Describe(const char* text) {
    return text != nullptr ? text : "-";
}

std::string Summary(int result) {
    char line[512];
    snprintf(line, sizeof line, "result=%d nics=%d mellanox=%d nic_count=%d fw_number=%s\n", result,
             g_nNics, g_nMellanoxPorts, nic_count, fw_number != nullptr ? "yes" : "no");
    std::string s = line;
    for (int i = 0; i < g_nNics; ++i) {
        const nic_info& r = g_ninfo[i];
        snprintf(line, sizeof line,
                 "row %d flags=%d psid=%s ver=%s cur=%u.%u.%u if=%s bus=%s ids=%x:%x:%x:%x", i,
                 r.flags, Describe(r.psid).c_str(), Describe(r.pfirmware_ver).c_str(), r.uCurROMmaj,
                 r.uCurROMmin, r.uCurROMrel, Describe(r.pinterfacename).c_str(),
                 Describe(r.pbus_info).c_str(), r.ven_id, r.dev_id, r.sub_ven_id, r.sub_dev_id);
        s += line;
        for (int k = 0; k < r.fw_count; ++k)
            s += " [" + std::to_string(r.uFwROMmaj[k]) + "." + std::to_string(r.uFwROMmin[k]) +
                 "." + std::to_string(r.uFwROMrel[k]) + " " + Describe(r.pxmlFwImage[k]) + " " +
                 Describe(r.pxmlName[k]) + "]";
        s += "\n";
    }
    return s;
}

void FreeTable() {
    for (int i = 0; g_ninfo != nullptr && i < g_nNics; ++i) {
        nic_info& r = g_ninfo[i];
        for (char* text : {r.pinterfacename, r.pfirmware_ver, r.pbus_info, r.psid, r.pbase_guid})
            free(text);
        for (int k = 0; k < r.fw_count; ++k) {
            free(r.pxmlName[k]);
            free(r.pxmlFwImage[k]);
        }
    }
    free(g_ninfo);
    free(fw_number);
}

// A PCI function of the simulated bus, with the IDs sysfs gives for it.
struct Function {
    const char* address;
    unsigned vendor, device, sub_vendor, sub_device, device_class;
    const char* vendor_name;
};

// The devices of tests/data/pci that the cases put on the bus.
const Function kCx5Dual[] = {
    {"0000:0b:00.0", 0x15b3, 0x1017, 0x15b3, 0x0020, 0x0200, "Mellanox Technologies"},
    {"0000:0b:00.1", 0x15b3, 0x1017, 0x15b3, 0x0020, 0x0200, "Mellanox Technologies"}};
const Function kIntel[] = {
    {"0000:3b:00.0", 0x8086, 0x1572, 0x8086, 0x0000, 0x0200, "Intel Corporation"}};
const Function kIb[] = {
    {"0000:5e:00.0", 0x15b3, 0x1003, 0x15b3, 0x0050, 0x0280, "Mellanox Technologies"}};
const Function kNvme[] = {
    {"0000:01:00.0", 0x144d, 0xa808, 0x144d, 0xa801, 0x0108, "Samsung Electronics Co Ltd"}};

class InventoryBuild : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_.Enter();
        dir_.Write("nic_fw/NICFWData.xml", ReadTestData("catalog/show-current.xml"));
        ASSERT_EQ(open_event_log(FWPAK_SOURCE, __LINE__).status, 0);
        AddDevices({{"0000:00:00.0", 0x8086, 0x2020, 0x8086, 0, 0x0600, "Intel Corporation"}});
    }
    void TearDown() override {
        FreeTable();
        fclose(pmstflint_fout);
        reset_run_state();
    }
    template <size_t N>
    void AddDevices(const Function (&functions)[N]) {
        for (const Function& f : functions) AddFunction(f);
    }
    void AddDevices(std::initializer_list<Function> functions) {
        for (const Function& f : functions) AddFunction(f);
    }
    void AddFunction(const Function& f) {
        PciFunction p;
        sscanf(f.address, "%x:%x:%x.%d", &p.domain, &p.bus, &p.dev, &p.func);
        p.vendor_id = f.vendor;
        p.device_id = f.device;
        p.device_class = f.device_class;
        p.vendor_name = f.vendor_name;
        fake_.pci_functions.push_back(p);
        const std::string dir = std::string("/sys/bus/pci/devices/") + f.address + "/";
        fake_.sysfs_values[dir + "vendor"] = f.vendor;
        fake_.sysfs_values[dir + "device"] = f.device;
        fake_.sysfs_values[dir + "subsystem_vendor"] = f.sub_vendor;
        fake_.sysfs_values[dir + "subsystem_device"] = f.sub_device;
        // A port nobody answers for, as the burning tool says of a missing device.
        fake_.Script(
            Query(f.address), 1,
            std::string("-E- Cannot open Device: ") + f.address + ". No such file or directory\n");
    }
    static std::string Query(const std::string& bdf) {
        return "./nic_fw/mstflint -d " + bdf + " q 2>&1";
    }
    void Port(const std::string& bdf, const std::string& version, const std::string& psid) {
        std::string out = "Image type:            FS4\n";
        if (!version.empty())
            out += "FW Version:            " + version + "\n";
        if (!psid.empty())
            out += "PSID:                  " + psid + "\n";
        fake_.Script(Query(bdf), 0, out);
    }
    // Runs the build; returns the summary and keeps its standard output.
    std::string Build(int32_t flags = FLAG_SHOW_CURRENT) {
        g_iFlag = flags;
        testing::internal::CaptureStdout();
        RunFault fault;
        int result = build_NIC_list(&fault);
        stdout_ = testing::internal::GetCapturedStdout();
        EXPECT_EQ(fault.status, 0);
        RemoveDataFile();
        return Summary(result);
    }
    // Runs a -c build that must end the run; returns the fault it hands up.
    RunFault BuildFatal() {
        g_iFlag = FLAG_SHOW_CURRENT;
        testing::internal::CaptureStdout();
        RunFault fault;
        EXPECT_EQ(build_NIC_list(&fault), BUILD_FATAL);
        stdout_ = testing::internal::GetCapturedStdout();
        RemoveDataFile();
        return fault;
    }
    // The data file the build named in its output is the case's to remove.
    void RemoveDataFile() {
        size_t at = stdout_.find("please check /tmp/data");
        if (at != std::string::npos)
            remove(stdout_.substr(at + 13, 15).c_str());
    }
    ScopedTempDir dir_;
    FakePlatform fake_;
    std::string stdout_;
};

const char kCx5Row[] =
    "row 0 flags=1 psid=MT_0000000080 ver=16.35.2000 cur=16.35.2000 if=0000:0b:00.0 "
    "bus=0000:0b:00.0 ids=15b3:1017:15b3:20 [16.35.2000 fw-cx5-16.35.2000.bin ConnectX-5 EN "
    "100GbE] [16.32.1010 fw-cx5-16.32.1010.bin ConnectX-5 EN 100GbE] [16.7.300 "
    "fw-cx5-16.7.300.bin ConnectX-5 EN 100GbE]\n";

// Non-Mellanox rows and failed ports stay empty, except the PSID a failed port gave.
TEST_F(InventoryBuild, ResultZeroWhenOnePortGaveBothValues) {
    AddDevices(kCx5Dual);
    AddDevices(kIntel);
    AddDevices(kIb);
    Port("0000:0b:00.0", "16.35.2000", "MT_0000000080");
    Port("0000:5e:00.0", "", "MT_1090111019");
    EXPECT_EQ(Build(),
              std::string("result=0 nics=3 mellanox=2 nic_count=3 fw_number=yes\n") + kCx5Row +
                  "row 1 flags=0 psid=- ver=- cur=0.0.0 if=- bus=- ids=0:0:0:0\n"
                  "row 2 flags=0 psid=MT_1090111019 ver=- cur=0.0.0 if=- bus=- ids=0:0:0:0\n");
    // One query per adapter, in table order; the second function of the dual-port
    // adapter is not queried.
    EXPECT_EQ(fake_.commands,
              (std::vector<std::string>{Query("0000:0b:00.0"), Query("0000:5e:00.0")}));
}

TEST_F(InventoryBuild, ResultOneWithoutMellanoxPort) {
    AddDevices(kIntel);
    EXPECT_EQ(Build(),
              "result=1 nics=1 mellanox=0 nic_count=1 fw_number=yes\n"
              "row 0 flags=0 psid=- ver=- cur=0.0.0 if=- bus=- ids=0:0:0:0\n");
    EXPECT_TRUE(fake_.commands.empty());
}

TEST_F(InventoryBuild, ResultOneWithoutAnyNetworkDevice) {
    AddDevices(kNvme);
    EXPECT_EQ(Build(), "result=1 nics=0 mellanox=0 nic_count=0 fw_number=yes\n");
}

TEST_F(InventoryBuild, ResultTwoWhenNoMellanoxPortAnswers) {
    AddDevices(kCx5Dual);
    AddDevices(kIb);
    Port("0000:5e:00.0", "2.42.5000", "");
    EXPECT_EQ(Build().substr(0, 53), "result=2 nics=2 mellanox=2 nic_count=2 fw_number=yes\n");
}

TEST_F(InventoryBuild, PortWithoutCatalogMatchKeepsItsInstalledState) {
    AddDevices(kCx5Dual);
    Port("0000:0b:00.0", "16.35.2000", "MT_0000000999");
    EXPECT_EQ(Build(),
              "result=0 nics=1 mellanox=1 nic_count=1 fw_number=yes\n"
              "row 0 flags=1 psid=MT_0000000999 ver=16.35.2000 cur=16.35.2000 if=0000:0b:00.0 "
              "bus=0000:0b:00.0 ids=15b3:1017:15b3:20\n");
    EXPECT_NE(dir_.Read("mstflint.log").find("For 0000:0b:00.0 no matching firmware file in XML"),
              std::string::npos);
}

// The scan's order is libpci's; the table's is by address, each adapter listed once
// under its lowest function, with the vendor name of that function. A virtual
// function (its "physfn" link) and a device of another class are not listed.
TEST_F(InventoryBuild, ListsOneRowPerAdapterInAddressOrder) {
    AddDevices({{"0000:5e:00.1", 0x15b3, 0x1003, 0x15b3, 0x50, 0x0280, "15b3"},
                {"0000:5e:00.0", 0x15b3, 0x1003, 0x15b3, 0x50, 0x0C06, "Mellanox Technologies"},
                {"0000:0b:00.2", 0x15b3, 0x1018, 0x15b3, 0x20, 0x0200, "Mellanox Technologies"},
                {"0000:0b:00.1", 0x15b3, 0x1017, 0x15b3, 0x20, 0x0207, "Mellanox Technologies"}});
    fake_.existing_paths.push_back("/sys/bus/pci/devices/0000:0b:00.2/physfn");
    Build(FLAG_SHOW_CURRENT);
    EXPECT_NE(stdout_.find("List of Network Adapters detected on the Server.................\n"
                           "[0] 0000:0b:00.1 Mellanox Technologies\n"
                           "[1] 0000:5e:00.0 Mellanox Technologies\n\n"),
              std::string::npos)
        << stdout_;
    EXPECT_EQ(g_nNics, 2);
}

// A Mellanox port whose PCI ID files cannot be read ends the build at once.
TEST_F(InventoryBuild, MissingPciIdFileEndsTheBuild) {
    AddDevices(kCx5Dual);
    AddDevices(kIb);
    fake_.sysfs_values.erase("/sys/bus/pci/devices/0000:0b:00.0/subsystem_device");
    Port("0000:0b:00.0", "16.35.2000", "MT_0000000080");
    Port("0000:5e:00.0", "2.42.5000", "MT_1090111019");
    testing::internal::CaptureStderr();
    RunFault fault = BuildFatal();
    EXPECT_EQ(fault.status, 1);
    EXPECT_EQ(fault.line.rfind("\n\nFWUPG_ERROR: RC = 1\ninventory_build.cc,", 0), 0u)
        << fault.line;
    EXPECT_NE(testing::internal::GetCapturedStderr().find(
                  "ERROR: could not open /sys/bus/pci/devices/0000:0b:00.0/subsystem_device"),
              std::string::npos);
    EXPECT_EQ(stdout_.find("DEVICE INFO"), std::string::npos);
    EXPECT_EQ(stdout_.find("5e:00.0 = FW_VERSION"), std::string::npos);
}

// Without the catalog the build stops at the first queried port: the fault has no
// console line (the reason is in the log) and ends the run with 1.
TEST_F(InventoryBuild, MissingCatalogEndsTheBuild) {
    AddDevices(kCx5Dual);
    AddDevices(kIb);
    Port("0000:0b:00.0", "16.35.2000", "MT_0000000080");
    Port("0000:5e:00.0", "2.42.5000", "MT_1090111019");
    ASSERT_EQ(remove((dir_.path() + "/nic_fw/NICFWData.xml").c_str()), 0);
    RunFault fault = BuildFatal();
    EXPECT_EQ(fault.status, 1);
    EXPECT_EQ(fault.line, "");
    EXPECT_NE(dir_.Read("mstflint.log").find("] Unable to open nic_fw/NICFWData.xml\n"),
              std::string::npos);
    EXPECT_EQ(stdout_.find("5e:00.0 = FW_VERSION"), std::string::npos);
}

TEST(CurrentNicFw, ParsesEveryRowsInstalledVersionAndMarksItKnown) {
    nic_info rows[2] = {};
    char version[] = "16.35.2000";
    rows[0].pfirmware_ver = version;
    nic_info* saved = g_ninfo;
    int32_t saved_count = g_nNics;
    g_ninfo = rows;
    g_nNics = 2;
    EXPECT_EQ(current_nic_fw(), 0);
    g_ninfo = saved;
    g_nNics = saved_count;
    EXPECT_EQ(rows[0].uCurROMmaj * 1000000 + rows[0].uCurROMmin * 10000 + rows[0].uCurROMrel,
              16352000u);
    EXPECT_EQ(rows[0].flags, NIC_STATE_KNOWN);
    EXPECT_EQ(rows[1].flags, NIC_STATE_KNOWN);
    EXPECT_EQ(rows[1].uCurROMmaj + rows[1].uCurROMmin + rows[1].uCurROMrel, 0u);
    EXPECT_EQ(curnic, &rows[1]);
}

}  // namespace
