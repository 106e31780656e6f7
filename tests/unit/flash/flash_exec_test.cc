// Flash execution on hand-filled adapter rows, with the recording platform fake
// standing in for the burning tool, in a private working directory.
#include "fake_platform.h"
#include "file_text.h"
#include "scoped_temp_dir.h"
#include "text_match.h"
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "console.h"
#include "flash/flash_exec.h"
#include "nic_info.h"
#include "versions/versions.h"
#include "run_flags.h"

namespace {

constexpr char kTool[] = "./nic_fw/mstflint";

struct Image {
    const char* version;
    std::string file;
};

class FlashExec : public ::testing::Test {
  protected:
    void SetUp() override {
        reset_run_state();
        dir_.Enter();
        fake_.Script(kTool, 0);
        open_event_log(FWPAK_SOURCE, __LINE__);
        g_nNics = 1;
        g_ninfo = static_cast<nic_info*>(calloc(1, sizeof(nic_info)));
        fw_number = static_cast<int32_t*>(calloc(1, sizeof(int32_t)));
        // Silent keeps the console quiet; cases about the console turn it off.
        g_iFlag = FLAG_SILENT;
        silent = SILENT_ON;
    }
    void TearDown() override {
        fclose(pmstflint_fout);
        free(g_ninfo);
        free(fw_number);
        reset_run_state();
    }

    nic_info& FillRow(const std::vector<Image>& images,
                      int32_t flags = NIC_STATE_KNOWN | NIC_FLASH) {
        nic_info& row = g_ninfo[0];
        row = nic_info{};
        row.flags = flags;
        row.pbus_info = dup_text("0000:0b:00.0");
        for (const Image& img : images) {
            int i = row.fw_count++;
            parseversions(img.version, &row.uFwROMmaj[i], &row.uFwROMmin[i], &row.uFwROMrel[i]);
            row.pxmlName[i] = dup_text(("Card " + std::to_string(i)).c_str());
            row.pxmlFwImage[i] = dup_text(img.file.c_str());
        }
        return row;
    }

    // Runs the burn with the console captured.
    int Burn(std::string* out = nullptr) {
        testing::internal::CaptureStdout();
        int rc = do_update_firmware(0);
        std::string text = testing::internal::GetCapturedStdout();
        if (out != nullptr)
            *out = text;
        return rc;
    }

    // The arguments the tool received, one burn a line.
    std::string Calls() const {
        std::string text;
        for (const std::string& call : fake_.tool_calls) text += call + "\n";
        return text;
    }
    std::string Log() const { return dir_.Read("mstflint.log"); }

    ScopedTempDir dir_;
    FakePlatform fake_;
};

TEST(FormatMac, TakesTheDigitsBetweenSeparators) {
    const struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"00:02:c9:1a:2b:3c", "0002c91a2b3c"},
        {"00-02-C9-1A-2B-3C", "0002C91A2B3C"},
        {"00:02:c9:1a:2b:3c:trailing", "0002c91a2b3c"},
        // Shorter texts give the digits that are there and nothing read past the end.
        {"00:02:c9:1a:2b:3", "0002c91a2b3"},
        {"00:02:c", "0002c"},
        {"0", "0"},
        {"", ""},
    };
    for (const auto& c : cases) {
        // Copied into a buffer of its exact size so a read past the end shows
        // under AddressSanitizer.
        std::unique_ptr<char[]> exact(new char[strlen(c.in) + 1]);
        memcpy(exact.get(), c.in, strlen(c.in) + 1);
        EXPECT_STREQ(format_mac(exact.get()), c.out) << c.in;
    }
    EXPECT_STREQ(format_mac(nullptr), "");
}

TEST(BurnCommand, ToolAndArgumentsFollowBootModeAndSilence) {
    BurnCommand cmd;
    ASSERT_TRUE(burn_command(0, true, "0000:0b:00.0", "./nic_fw/a.bin", &cmd));
    EXPECT_STREQ(cmd.program, "./nic_fw/mstflint");
    EXPECT_EQ(cmd.args, (std::vector<std::string>{"mstflint", "-s", "-y", "-d", "0000:0b:00.0",
                                                  "-i", "./nic_fw/a.bin", "b"}));

    cmd = BurnCommand();
    ASSERT_TRUE(burn_command(1, false, "0000:5e:00.0", "./nic_fw/b.bin", &cmd));
    EXPECT_STREQ(cmd.program, "/usr/bin/flint");
    EXPECT_EQ(cmd.args, (std::vector<std::string>{"flint", "-y", "-d", "0000:5e:00.0", "-i",
                                                  "./nic_fw/b.bin", "b"}));

    EXPECT_FALSE(burn_command(2, false, "0000:0b:00.0", "./nic_fw/a.bin", &cmd));
    EXPECT_FALSE(burn_command(-1, false, "0000:0b:00.0", "./nic_fw/a.bin", &cmd));
}

TEST_F(FlashExec, UnselectedRowIsNotTouched) {
    FillRow({{"16.35.3000", "a.bin"}}, NIC_STATE_KNOWN);
    std::string out;
    g_iFlag = 0;
    silent = 0;
    EXPECT_EQ(Burn(&out), 0);
    EXPECT_EQ(out, "");
    EXPECT_EQ(g_iFlag, 0);
    EXPECT_EQ(Calls(), "");
    EXPECT_EQ(Log(), "");
}

TEST_F(FlashExec, SelectedRowWithoutImagesQuits) {
    FillRow({});
    g_iFlag = 0;
    silent = 0;
    std::string out;
    EXPECT_EQ(Burn(&out), 0);
    EXPECT_EQ(out, "Quitting......................as nothing found in repository\n");
    EXPECT_EQ(g_iFlag, 0);
    EXPECT_EQ(Calls(), "");
}

TEST_F(FlashExec, NoticeOnceSelectionLineAndMacRewrite) {
    nic_info& row = FillRow({{"16.35.3000", "a.bin"}});
    row.pcurrent_mac = dup_text("00:02:c9:1a:2b:3c");
    EXPECT_EQ(Burn(), 0);
    EXPECT_STREQ(row.pcurrent_mac, "0002c91a2b3c");
    // A second burn in the run (a row is burnt once, so give it the colon form again).
    row.flags = NIC_STATE_KNOWN | NIC_FLASH;
    row.pcurrent_mac = dup_text("00:02:c9:1a:2b:3c");
    EXPECT_EQ(Burn(), 0);

    std::string log = Log();
    EXPECT_EQ(CountOf(log, "The Firmware Upgrade will take several minutes.  Please be patient.\n"),
              1);
    EXPECT_NE(log.find("\nSelecting Card 0 MAC: 00:02:c9:1a:2b:3c \n"), std::string::npos);
    EXPECT_EQ(CountOf(log, "MAC 0002c91a2b3c Upgrade SUCCESS\n"), 2);
    EXPECT_EQ(g_iFlag, FLAG_SILENT | FLAG_NOTICE_LOGGED | FLAG_BURN_OK);
}

TEST_F(FlashExec, ReplayBurnsTheFirstImageWithoutSelectionLines) {
    nic_info& row = FillRow({{"2.42.5000", "from-report.bin"}, {"16.35.3000", "newer.bin"}});
    row.pcurrent_mac = dup_text("00:02:c9:1a:2b:3c");
    read_discovery = 1;
    EXPECT_EQ(Burn(), 0);
    EXPECT_EQ(Calls(), "-s -y -d 0000:0b:00.0 -i ./nic_fw/from-report.bin b\n");
    EXPECT_STREQ(row.pcurrent_mac, "00:02:c9:1a:2b:3c");
    EXPECT_EQ(Log().find("Selecting"), std::string::npos);
    EXPECT_EQ(Log().find("several minutes"), std::string::npos);
    EXPECT_EQ(g_iFlag & FLAG_NOTICE_LOGGED, 0);
}

// The output is searched only after a failure: exit code 0 is a success whatever
// the tool printed.
TEST_F(FlashExec, ExitCodeZeroIsSuccessDespiteMismatchText) {
    fake_.Script(kTool, 0, "-E- PSID Mismatch\n");
    FillRow({{"16.35.3000", "a.bin"}});
    std::string out;
    EXPECT_EQ(Burn(&out), 0);
    EXPECT_EQ(out, "");
    EXPECT_EQ(g_iFlag & (FLAG_BURN_OK | FLAG_BURN_FAILED), FLAG_BURN_OK);
    EXPECT_EQ(Log().find("not supported"), std::string::npos);
}

TEST_F(FlashExec, ImagePathIsBoundedAt999Characters) {
    const std::string dir = "./nic_fw/";
    std::string fits(999 - dir.size(), 'f');
    FillRow({{"16.35.3000", fits}});
    EXPECT_EQ(Burn(), 0);  // the fake tool does not look at the file
    EXPECT_EQ(Calls(), "-s -y -d 0000:0b:00.0 -i " + dir + fits + " b\n");

    fake_.tool_calls.clear();
    g_iFlag = FLAG_SILENT;
    FillRow({{"16.35.3000", fits + "x"}});
    EXPECT_EQ(Burn(), 1);
    EXPECT_EQ(Calls(), "");
    EXPECT_EQ(g_iFlag & (FLAG_BURN_OK | FLAG_BURN_FAILED), FLAG_BURN_FAILED);
    EXPECT_NE(Log().find("[ERROR]    "), std::string::npos);
    EXPECT_NE(Log().find("do_update_firmware: image path for 0000:0b:00.0 is longer than 999 "
                         "characters, not burnt\n"),
              std::string::npos);
}

TEST_F(FlashExec, UnusableToolIsAFailedBurn) {
    struct Case {
        const char* name;
        int boot_mode;
        bool executes;
        const char* log_text;
    } const cases[] = {
        {"unknown_boot_mode", 7, true, "do_update_firmware: no burning tool for boot mode 7"},
        {"tool_not_executable", 0, false, "Upgrade failed\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        g_iFlag = FLAG_SILENT;
        boot_mode_value = c.boot_mode;
        fake_.Script(kTool, 0, "", c.executes);
        FillRow({{"16.35.3000", "a.bin"}});
        EXPECT_NE(Burn(), 0);
        EXPECT_EQ(g_iFlag & (FLAG_BURN_OK | FLAG_BURN_FAILED), FLAG_BURN_FAILED);
        EXPECT_EQ(Calls(), "");
        EXPECT_NE(Log().find(c.log_text), std::string::npos) << Log();
    }
}

// A failed burn runs the mismatch search on the burn's data file, after the tool.
TEST_F(FlashExec, FailedBurnSearchesTheToolsOutputForAMismatch) {
    const struct {
        int search_code;
        const char* log_text;
    } cases[] = {{0, "Fimware upgrade on this device is not supported\n"}, {1, "Upgrade failed\n"}};
    // One search finds every wording of an image made for another board.
    const std::string search =
        "grep -i -e \"PSID Mismatch\" -e \"PSID major mismatch\" -e \"PSID header mismatch\" "
        "-e \"Minor PSID is locked\" /tmp/data";
    for (const auto& c : cases) {
        fake_.commands.clear();
        g_iFlag = FLAG_SILENT;
        fake_.Script(kTool, 3, "-E- PSID Mismatch\n");
        fake_.Script(search, c.search_code);
        FillRow({{"16.35.3000", "a.bin"}});
        EXPECT_EQ(Burn(), c.search_code);
        ASSERT_EQ(fake_.commands.size(), 2u);
        EXPECT_EQ(fake_.commands[0], "./nic_fw/mstflint -s -y -d 0000:0b:00.0 -i ./nic_fw/a.bin b");
        EXPECT_EQ(fake_.commands[1].rfind(search, 0), 0u) << fake_.commands[1];
        EXPECT_EQ(g_iFlag & (FLAG_BURN_OK | FLAG_BURN_FAILED), FLAG_BURN_FAILED);
        EXPECT_NE(Log().find(c.log_text), std::string::npos) << Log();
    }
}

}  // namespace
