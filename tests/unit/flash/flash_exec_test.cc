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
#include "flash/trust_checks.h"
#include "nic_info.h"
#include "versions/versions.h"
#include "run_flags.h"

namespace {

constexpr char kTool[] = "./nic_fw/mstflint";
constexpr char kQuery[] = "./nic_fw/mstflint -d ";

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
        // After the burn the flash holds the image burnt, as the real tool answers.
        if (row.fw_count > 0)
            FlashHolds(ImageText(row, newest_image(row)));
        return row;
    }
    static std::string ImageText(const nic_info& row, int i) {
        return std::to_string(row.uFwROMmaj[i]) + "." + std::to_string(row.uFwROMmin[i]) + "." +
               std::to_string(row.uFwROMrel[i]);
    }
    // What the query after a burn answers: the flash's version (none: no such line).
    void FlashHolds(const std::string& version) {
        fake_.Script(kQuery, 0,
                     "Image type:            FS4\n" +
                         (version.empty() ? "" : "FW Version:            " + version + "\n") +
                         "PSID:                  MT_0000000080\n");
    }

    // A run of its own for the next burn (the restart mark is made once per run),
    // with the same row and log.
    void NewRun() {
        nic_info* rows = g_ninfo;
        int32_t* numbers = fw_number;
        fclose(pmstflint_fout);
        reset_run_state();
        open_event_log(FWPAK_SOURCE, __LINE__);
        g_nNics = 1;
        g_ninfo = rows;
        fw_number = numbers;
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

    // The arguments the tool received, one burn a line (the queries after them left out).
    std::string Calls() const {
        std::string text;
        for (const std::string& call : fake_.tool_calls)
            if (call.size() > 2 && call.compare(call.size() - 2, 2, " b") == 0)
                text += call + "\n";
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
    // The host is marked as needing a restart once per run.
    EXPECT_EQ(fake_.lines_added,
              (std::vector<std::string>{"/run/reboot-required: *** System restart required ***",
                                        "/run/reboot-required.pkgs: fwpak"}));
}

// A burn holds logind's inhibitor, naming its adapter, only while it runs; its
// start line is on the disk before the verdict. Without a bus the burns go on, and
// the log says so once.
TEST_F(FlashExec, InhibitorAndStartLineFrameTheBurn) {
    nic_info& row = FillRow({{"16.35.3000", "a.bin"}});
    EXPECT_EQ(Burn(), 0);
    EXPECT_EQ(fake_.inhibit_reasons,
              std::vector<std::string>{"Writing the firmware of 0000:0b:00.0"});
    EXPECT_FALSE(fake_.InhibitorHeld());
    const std::string log = Log();
    const size_t start = log.find(
        "do_update_firmware: burning ./nic_fw/a.bin into 0000:0b:00.0 "
        "starts; the burning tool's output goes to /tmp/data");
    EXPECT_LT(start, log.find("Upgrade SUCCESS")) << log;
    EXPECT_FALSE(FileExists(dir_.path() + "/fwpak-burns-in-progress"));

    fake_.inhibit_failure =
        "no system bus at /run/dbus/system_bus_socket (No such file or directory)";
    for (int burn = 0; burn < 2; ++burn) {
        row.flags = NIC_STATE_KNOWN | NIC_FLASH;
        EXPECT_EQ(Burn(), 0);
    }
    EXPECT_EQ(CountOf(Log(),
                      "ShutdownInhibitor: no shutdown inhibitor: no system bus at "
                      "/run/dbus/system_bus_socket (No such file or directory); a shutdown "
                      "or reboot that someone else starts is not held back"),
              1)
        << Log();
    EXPECT_EQ(CountOf(Log(), "Upgrade SUCCESS"), 3);
}

TEST_F(FlashExec, ReplayBurnsTheFirstImageWithoutSelectionLines) {
    nic_info& row = FillRow({{"2.42.5000", "from-report.bin"}, {"16.35.3000", "newer.bin"}});
    row.pcurrent_mac = dup_text("00:02:c9:1a:2b:3c");
    read_discovery = 1;
    FlashHolds("2.42.5000");
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

// The failure line names the tool's exit code by the tool's own name for it; codes
// without one stay a number.
TEST_F(FlashExec, FailureLineNamesTheToolsExitCode) {
    const struct {
        int code;
        const char* ending;
    } cases[] = {
        {1, "exited with code 1 (failed); "},
        {2, "exited with code 2 (query error); "},
        {7, "exited with code 7 (burn aborted); "},
        {8, "exited with code 8 (burn timeout); "},
        {9, "exited with code 9 (burn error); "},
        {3, "exited with code 3; "},
        {255, "exited with code 255; "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        g_iFlag = FLAG_SILENT;
        fake_.Script(kTool, c.code);
        FillRow({{"16.35.3000", "a.bin"}});
        Burn();
        EXPECT_EQ(CountOf(Log(), std::string("failed: the burning tool ") + c.ending), 1) << Log();
    }
}

// The tool's refusal to burn over an image the adapter has not loaded is a failed
// burn whose log says to reboot first; other failures do not say so.
TEST_F(FlashExec, RefusalOverAWaitingImageSaysRebootFirst) {
    const char kRefusal[] =
        "-E- Burning FS4 image failed: This may indicate that a FW image was already updated "
        "on flash, but not loaded by the device. Please load FW on the device (reset device "
        "or reboot machine) before burning a new FW.\n";
    for (const char* output : {kRefusal, "-E- Burning failed: flash busy\n"}) {
        g_iFlag = FLAG_SILENT;
        fake_.Script(kTool, 1, output);
        FillRow({{"16.35.3000", "a.bin"}});
        const std::string before = Log();
        EXPECT_NE(Burn(), 0);
        EXPECT_EQ(g_iFlag & (FLAG_BURN_OK | FLAG_BURN_FAILED), FLAG_BURN_FAILED);
        EXPECT_EQ(Contains(Log().substr(before.size()), "reboot first (or reset the adapter)"),
                  output == kRefusal)
            << Log();
    }
}

// A tool that exits 0 has burnt the image only when the query after it finds the
// catalog entry's version on the flash; otherwise the burn fails, its line names the
// adapter, the version expected and the one found, and nothing marks a restart.
TEST_F(FlashExec, BurnSucceedsOnlyWhenTheFlashHoldsTheBurntVersion) {
    const struct {
        const char* name;
        const char* flash;  // empty: the query gives no version
        bool query_executes;
        bool replay;
        bool succeeds;
        const char* logged;
    } cases[] = {
        {"verified", "16.35.3000", true, false, true, "Upgrade SUCCESS"},
        {"verified_replay", "2.42.5000", true, true, true, "Upgrade SUCCESS"},
        {"flash_as_it_was", "16.35.2000", true, false, false,
         "] do_update_firmware: burning ./nic_fw/a.bin into 0000:0b:00.0 failed: the burning "
         "tool exited with code 0, but the flash holds 16.35.2000, not 16.35.3000; the outputs "
         "are in /tmp/data"},
        {"replay_newer_image_not_burnt", "16.35.3000", true, true, false,
         "but the flash holds 16.35.3000, not 2.42.5000"},
        {"no_version", "", true, false, false,
         "failed: the burning tool exited with code 0, but the query after the burn gave no "
         "firmware version (expected 16.35.3000); the outputs are in /tmp/data"},
        {"query_not_run", "16.35.3000", false, false, false,
         "the query after the burn gave no firmware version (expected 16.35.3000)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        NewRun();
        g_iFlag = 0;
        silent = 0;
        read_discovery = c.replay ? 1 : 0;
        fake_.lines_added.clear();
        fake_.commands.clear();
        FillRow({{"2.42.5000", "a.bin"}, {"16.35.3000", "a.bin"}});
        fake_.Script(kQuery, 0,
                     std::string("Image type:            FS4\n") +
                         (c.flash[0] != '\0' ? "FW Version:            " + std::string(c.flash) +
                                                   "\nFW Version(Running):   16.35.2000\n"
                                             : "") +
                         "PSID:                  MT_0000000080\n",
                     c.query_executes);
        const std::string before = Log();
        std::string out;
        EXPECT_EQ(Burn(&out), c.succeeds ? 0 : 1);
        const std::string log = Log().substr(before.size());
        ASSERT_EQ(fake_.commands.size(), 2u);
        EXPECT_EQ(fake_.commands[1], "./nic_fw/mstflint -d 0000:0b:00.0 q");
        EXPECT_EQ(g_iFlag & (FLAG_BURN_OK | FLAG_BURN_FAILED),
                  c.succeeds ? FLAG_BURN_OK : FLAG_BURN_FAILED);
        EXPECT_TRUE(Contains(out, c.succeeds ? "Firmware Flashed:\tSUCCESS  for interface"
                                             : "Firmware Flashed:\tFAILED   for interface"))
            << out;
        EXPECT_TRUE(Contains(log, c.logged)) << log;
        EXPECT_EQ(fake_.lines_added.size(), c.succeeds ? 2u : 0u);
    }
    read_discovery = 0;
}

}  // namespace

// Before its burn an image passes strict modes (as root) and, with a manifest,
// its digest; a refusal is a failed burn of that row alone, naming file and fix.
TEST_F(FlashExec, ImageChecksRefuseTheirOwnBurn) {
    const std::string kSum = "53b149cc957d0c53fb26e9d19eede60f31ef694862fa1a8029ee48eae6b8ef90";
    const std::string kImage = "version=16.35.3000\npsid=MT_0000000080\n";
    const struct {
        const char* name;
        mode_t mode;
        const char* manifest;  // null: none
        std::string content;
        const char* logged;  // part of the error line; null: burnt
    } cases[] = {
        {"clean", 0644, nullptr, kImage, nullptr},
        {"writable by others", 0646, nullptr, kImage,
         "/nic_fw/a.bin can be written by others (mode 0646); fix: chmod go-w /"},
        {"in the manifest", 0644, "  a.bin\n", kImage, nullptr},
        {"changed", 0644, "  a.bin\n", kImage + "x",
         "does not match nic_fw/SHA256SUMS (expected 53b149cc957d0c53fb26e9d19eede60f31ef694862fa1a"
         "8029ee48eae6b8ef90, found "},
        {"not in the manifest", 0644, "  b.bin\n", kImage,
         "0000:0b:00.0 not burnt: nic_fw/a.bin has no line in nic_fw/SHA256SUMS"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fclose(pmstflint_fout);
        unlink((dir_.path() + "/mstflint.log").c_str());
        open_event_log(FWPAK_SOURCE, __LINE__);
        g_iFlag = FLAG_SILENT;
        dir_.Write("nic_fw/a.bin", c.content, c.mode);
        if (c.manifest != nullptr)
            dir_.Write("nic_fw/SHA256SUMS", kSum + c.manifest);
        else
            unlink((dir_.path() + "/nic_fw/SHA256SUMS").c_str());
        set_image_checks(true, c.manifest != nullptr);
        fake_.tool_calls.clear();
        FillRow({{"16.35.3000", "a.bin"}});
        Burn();
        const std::string log = Log();
        if (c.logged == nullptr) {
            EXPECT_EQ(g_iFlag & FLAG_BURN_FAILED, 0) << log;
            EXPECT_EQ(Calls(), "-s -y -d 0000:0b:00.0 -i ./nic_fw/a.bin b\n");
        } else {
            EXPECT_NE(g_iFlag & FLAG_BURN_FAILED, 0);
            EXPECT_EQ(Calls(), "");
            EXPECT_TRUE(Contains(log, c.logged)) << log;
        }
    }
}
