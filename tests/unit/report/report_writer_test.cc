// The report writer on hand-filled adapter tables: the layout byte for byte, the
// bus-position cut, and a save that either replaces the report whole or leaves it.
#include "file_text.h"
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "console.h"
#include "nic_info.h"
#include "report/report_writer.h"
#include "run_flags.h"

namespace {

std::vector<std::string> DirEntries(const std::string& dir) {
    std::vector<std::string> names;
    std::string cmd = "ls -A '" + dir + "'";
    FILE* p = popen(cmd.c_str(), "r");
    char line[512];
    while (p != nullptr && fgets(line, sizeof line, p) != nullptr) {
        line[strcspn(line, "\n")] = '\0';
        names.push_back(line);
    }
    if (p != nullptr)
        pclose(p);
    return names;
}

// The worked example's port: 0000:05:00.0, 15B3:1003 subsystem 15B3:0050, installed
// 2.9.1200, catalog images 2.9.1530 and 2.9.1000.
void FillExamplePort(nic_info* row) {
    row->pinterfacename = strdup("0000:05:00.0");
    row->pbus_info = strdup("0000:05:00.0");
    row->pfirmware_ver = strdup("2.9.1200");
    row->psid = strdup("VNX1003000050");
    row->ven_id = 0x15b3;
    row->dev_id = 0x1003;
    row->sub_ven_id = 0x15b3;
    row->sub_dev_id = 0x0050;
    row->uCurROMmaj = 2, row->uCurROMmin = 9, row->uCurROMrel = 1200;
    const uint32_t releases[2] = {1530, 1000};
    for (int i = 0; i < 2; ++i) {
        row->uFwROMmaj[i] = 2, row->uFwROMmin[i] = 9, row->uFwROMrel[i] = releases[i];
        row->pxmlName[i] = strdup("Vornex IB 560QSFP Adapter");
        row->pxmlFwImage[i] = strdup(i == 0 ? "fw-1003-2.9.1530.bin" : "fw-1003-2.9.1000.bin");
    }
    row->fw_count = 2;
    row->flags = NIC_STATE_KNOWN;
}

class Writer : public ::testing::Test {
  protected:
    void SetUp() override {
        char tmpl[] = "/tmp/fwpak-writer.XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        log_path_ = dir_ + "/mstflint.log";
        pmstflint_fout = fopen(log_path_.c_str(), "a");
        rows_.assign(3, nic_info{});
        g_ninfo = rows_.data();
        g_nNics = static_cast<int32_t>(rows_.size());
        SetTarget("nicdiscovery.xml");
    }
    void TearDown() override {
        fclose(pmstflint_fout);
        reset_run_state();
        std::string cmd = "rm -rf '" + dir_ + "'";
        ASSERT_EQ(system(cmd.c_str()), 0);
    }
    void SetTarget(const std::string& name) {
        target_ = dir_ + "/" + name;
        snprintf(g_XMLDiscoveryReport, sizeof g_XMLDiscoveryReport, "%s", target_.c_str());
    }
    std::string Log() { return ReadFileText(log_path_); }

    std::string dir_, log_path_, target_;
    std::vector<nic_info> rows_;
};

TEST_F(Writer, WorkedExampleByteForByte) {
    // Row 0 is not a Mellanox port, row 2 one whose query failed: both left out.
    FillExamplePort(&rows_[1]);
    rows_[2].psid = strdup("VNX1003000050");
    ASSERT_EQ(xml_discovery_report(), 0);
    EXPECT_EQ(ReadFileText(target_),
              ReadFileText(std::string(FWPAK_TEST_DATA) + "/report/worked-example.xml"));
    EXPECT_EQ(rows_[1].flags, NIC_STATE_KNOWN | NIC_FLASH);
    EXPECT_EQ(Log(), "");
}

TEST_F(Writer, ReportFileGetsThePlainCreateMode) {
    FillExamplePort(&rows_[0]);
    mode_t old = umask(022);
    ASSERT_EQ(xml_discovery_report(), 0);
    umask(old);
    struct stat st {};
    ASSERT_EQ(stat(target_.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);
    EXPECT_EQ(DirEntries(dir_), (std::vector<std::string>{"mstflint.log", "nicdiscovery.xml"}));
}

// libxml2 would read "%41" in a file name as a URI escape and write "A" instead.
TEST_F(Writer, PercentInThePathIsKept) {
    FillExamplePort(&rows_[0]);
    SetTarget("report%41.xml");
    ASSERT_EQ(xml_discovery_report(), 0);
    EXPECT_EQ(access(target_.c_str(), F_OK), 0);
    EXPECT_NE(access((dir_ + "/reportA.xml").c_str(), F_OK), 0);
}

// A value that is not text XML can carry makes the document fail to build: the
// run fails and the old report stays, instead of a report cut at that value.
TEST_F(Writer, UnusableValueFailsAndKeepsTheOldReport) {
    FillExamplePort(&rows_[0]);
    free(rows_[0].psid);
    rows_[0].psid = strdup("VNX\xff\x01");
    WriteFileText(target_, "old report\n");
    EXPECT_EQ(xml_discovery_report(), 2);
    EXPECT_EQ(ReadFileText(target_), "old report\n");
    EXPECT_NE(Log().find("xml_discovery_report: Failed to build the report for " + target_),
              std::string::npos);
    EXPECT_EQ(DirEntries(dir_), (std::vector<std::string>{"mstflint.log", "nicdiscovery.xml"}));
}

TEST_F(Writer, MissingDirectoryFails) {
    FillExamplePort(&rows_[0]);
    SetTarget("no-such-dir/report.xml");
    EXPECT_EQ(xml_discovery_report(), 2);
    EXPECT_NE(Log().find("xml_discovery_report: Failed to create a temporary file beside " +
                         target_ + " (No such file or directory)"),
              std::string::npos);
}

TEST_F(Writer, TargetThatCannotBeReplacedFailsWithoutLeftovers) {
    FillExamplePort(&rows_[0]);
    SetTarget("taken");
    ASSERT_EQ(mkdir(target_.c_str(), 0755), 0);
    WriteFileText(target_ + "/inside", "x");
    EXPECT_EQ(xml_discovery_report(), 2);
    // A directory is no regular file: it would be written in place, and cannot be.
    EXPECT_NE(Log().find("xml_discovery_report: Failed to open " + target_ + " (Is a directory)"),
              std::string::npos);
    EXPECT_EQ(DirEntries(dir_), (std::vector<std::string>{"mstflint.log", "taken"}));
    EXPECT_EQ(ReadFileText(target_ + "/inside"), "x");
}

struct BusCase {
    const char* pbus_info;
    const char* busnumber;
    const char* devicenumber;
    const char* funcnumber;
};

TEST(BusPosition, CutFromTheAddress) {
    const BusCase cases[] = {
        {"0000:05:00.0", "0000:05", "00", "0"},
        {"0001:af:1f.7", "0001:af", "1f", "7"},
        {"10000:05:00.1", "10000:05", "00", "1"},
        {"0000:05:00", "0000:05", "00", ""},  // no function
        {"0000:05.0", "", "", "0"},           // fewer than two ":": no bus, no device
        {"nonsense", "", "", ""},
        {"", "", "", ""},
        {nullptr, "", "", ""},
        {"a:b:c:d.e", "a:b", "c", "e"},  // extra fields are not carried over
    };
    for (const BusCase& c : cases) {
        SCOPED_TRACE(c.pbus_info != nullptr ? c.pbus_info : "(null)");
        bus_position pos = split_bus_position(c.pbus_info);
        EXPECT_EQ(pos.busnumber, c.busnumber);
        EXPECT_EQ(pos.devicenumber, c.devicenumber);
        EXPECT_EQ(pos.funcnumber, c.funcnumber);
    }
}

}  // namespace
