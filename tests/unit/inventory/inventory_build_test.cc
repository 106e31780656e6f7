// The inventory build's results and the rows it leaves, on a simulated PCI bus: the
// case runs this test binary again under umockdev-run, where the build runs before
// any test and writes what it left to a summary file.
#include "inventory/inventory_build.h"

#include <climits>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include <gtest/gtest.h>

#include "console.h"
#include "run_flags.h"
#include "umockdev_bus.h"
#include "test_support.h"

namespace {

const char kChildEnv[] = "FWPAK_BUILD_CHILD";

std::string Describe(const char* text) {
    return text != nullptr ? text : "-";
}

void WriteSummary(int result) {
    FILE* f = fopen("summary.txt", "w");
    if (f == nullptr)
        return;
    fprintf(f, "result=%d nics=%d mellanox=%d nic_count=%d fw_number=%s\n", result, g_nNics,
            g_nMellanoxPorts, nic_count, fw_number != nullptr ? "yes" : "no");
    for (int i = 0; i < g_nNics; ++i) {
        const nic_info& r = g_ninfo[i];
        fprintf(f, "row %d flags=%d psid=%s ver=%s cur=%u.%u.%u if=%s bus=%s ids=%x:%x:%x:%x", i,
                r.flags, Describe(r.psid).c_str(), Describe(r.pfirmware_ver).c_str(), r.uCurROMmaj,
                r.uCurROMmin, r.uCurROMrel, Describe(r.pinterfacename).c_str(),
                Describe(r.pbus_info).c_str(), r.ven_id, r.dev_id, r.sub_ven_id, r.sub_dev_id);
        for (int k = 0; k < r.fw_count; ++k)
            fprintf(f, " [%u.%u.%u %s %s]", r.uFwROMmaj[k], r.uFwROMmin[k], r.uFwROMrel[k],
                    Describe(r.pxmlFwImage[k]).c_str(), Describe(r.pxmlName[k]).c_str());
        fprintf(f, "\n");
    }
    fclose(f);
}

// In the child: run the build with the run flags the parent asked for, then end.
int RunChildIfAsked() {
    const char* flags = getenv(kChildEnv);
    if (flags == nullptr)
        return 0;
    g_iFlag = atoi(flags);
    open_event_log(FWPAK_SOURCE, __LINE__);
    int result = build_NIC_list();
    WriteSummary(result);
    fflush(nullptr);
    _exit(0);
}
const int kChildRan = RunChildIfAsked();

// Answers "-d <bdf> q" with the file ports/<bdf>, or as a missing device would.
const char kFakeTool[] =
    "#!/bin/sh\n"
    "while [ $# -gt 1 ]; do [ \"$1\" = -d ] && dev=$2; shift; done\n"
    "if [ -f \"ports/$dev\" ]; then cat \"ports/$dev\"; exit 0; fi\n"
    "echo \"-E- Cannot open Device: $dev. No such file or directory\"; exit 1\n";

class InventoryBuild : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!UmockdevBus::Available())
            GTEST_SKIP() << "needs umockdev-run for the simulated PCI bus";
        dir_.Write("nic_fw/mstflint", kFakeTool, 0755);
        dir_.Write("nic_fw/NICFWData.xml", ReadTestData("catalog/show-current.xml"));
    }
    void AddDevices(const std::string& name) { bus_.AddPci(name); }
    void Port(const std::string& bdf, const std::string& version, const std::string& psid) {
        std::string out = "Image type:            FS4\n";
        if (!version.empty())
            out += "FW Version:            " + version + "\n";
        if (!psid.empty())
            out += "PSID:                  " + psid + "\n";
        dir_.Write("ports/" + bdf, out);
    }
    // Runs the build in a child; returns the summary and keeps its standard output.
    std::string Build(int32_t flags = FLAG_SHOW_CURRENT) {
        char self[PATH_MAX] = {0};
        if (readlink("/proc/self/exe", self, sizeof self - 1) < 0)
            ADD_FAILURE() << "cannot find this test binary";
        std::string cmd = "cd '" + dir_.path() + "' && " + kChildEnv + "=" + std::to_string(flags) +
                          " " + bus_.Command() + ShellQuote(self) + " > stdout.txt 2> stderr.txt";
        EXPECT_EQ(system(cmd.c_str()), 0) << dir_.Read("stderr.txt");
        stdout_ = dir_.Read("stdout.txt");
        RemoveDataFile();
        return dir_.Read("summary.txt");
    }
    // The data file the build named in its output is the case's to remove.
    void RemoveDataFile() {
        size_t at = stdout_.find("please check /tmp/data");
        if (at != std::string::npos)
            remove(stdout_.substr(at + 13, 15).c_str());
    }
    ScopedTempDir dir_;
    UmockdevBus bus_;
    std::string stdout_;
};

const char kCx5Row[] =
    "row 0 flags=1 psid=MT_0000000080 ver=16.35.2000 cur=16.35.2000 if=0000:0b:00.0 "
    "bus=0000:0b:00.0 ids=15b3:1017:15b3:20 [16.35.2000 fw-cx5-16.35.2000.bin ConnectX-5 EN "
    "100GbE] [16.32.1010 fw-cx5-16.32.1010.bin ConnectX-5 EN 100GbE] [16.7.300 "
    "fw-cx5-16.7.300.bin ConnectX-5 EN 100GbE]\n";

// Non-Mellanox rows and failed ports stay empty, except the PSID a failed port gave.
TEST_F(InventoryBuild, ResultZeroWhenOnePortGaveBothValues) {
    AddDevices("cx5-dual");
    AddDevices("intel");
    AddDevices("ib");
    Port("0000:0b:00.0", "16.35.2000", "MT_0000000080");
    Port("0000:5e:00.0", "", "MT_1090111019");
    EXPECT_EQ(Build(),
              std::string("result=0 nics=3 mellanox=2 nic_count=3 fw_number=yes\n") + kCx5Row +
                  "row 1 flags=0 psid=- ver=- cur=0.0.0 if=- bus=- ids=0:0:0:0\n"
                  "row 2 flags=0 psid=MT_1090111019 ver=- cur=0.0.0 if=- bus=- ids=0:0:0:0\n");
}

TEST_F(InventoryBuild, ResultOneWithoutMellanoxPort) {
    AddDevices("intel");
    EXPECT_EQ(Build(),
              "result=1 nics=1 mellanox=0 nic_count=1 fw_number=yes\n"
              "row 0 flags=0 psid=- ver=- cur=0.0.0 if=- bus=- ids=0:0:0:0\n");
}

TEST_F(InventoryBuild, ResultOneWithoutAnyNetworkDevice) {
    AddDevices("nvme");
    EXPECT_EQ(Build(), "result=1 nics=0 mellanox=0 nic_count=0 fw_number=yes\n");
}

TEST_F(InventoryBuild, ResultTwoWhenNoMellanoxPortAnswers) {
    AddDevices("cx5-dual");
    AddDevices("ib");
    Port("0000:5e:00.0", "2.42.5000", "");
    EXPECT_EQ(Build().substr(0, 53), "result=2 nics=2 mellanox=2 nic_count=2 fw_number=yes\n");
}

TEST_F(InventoryBuild, PortWithoutCatalogMatchKeepsItsInstalledState) {
    AddDevices("cx5-dual");
    Port("0000:0b:00.0", "16.35.2000", "MT_0000000999");
    EXPECT_EQ(Build(),
              "result=0 nics=1 mellanox=1 nic_count=1 fw_number=yes\n"
              "row 0 flags=1 psid=MT_0000000999 ver=16.35.2000 cur=16.35.2000 if=0000:0b:00.0 "
              "bus=0000:0b:00.0 ids=15b3:1017:15b3:20\n");
    EXPECT_NE(dir_.Read("mstflint.log").find("For 0000:0b:00.0 no matching firmware file in XML"),
              std::string::npos);
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
