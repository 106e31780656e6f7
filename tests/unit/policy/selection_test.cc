// Firmware selection on hand-filled adapter rows: the decision table per kind of
// run, the newer test, the shown version list and what each answer records.
#include "file_text.h"
#include "scoped_temp_dir.h"
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "console.h"
#include "inventory/inventory_build.h"
#include "nic_info.h"
#include "policy/selection.h"
#include "versions/versions.h"
#include "run_flags.h"

namespace {

struct Image {
    const char* version;
    const char* file;
};

class Selection : public ::testing::Test {
  protected:
    void SetUp() override {
        reset_run_state();
        dir_.Enter();
        open_event_log(FWPAK_SOURCE, __LINE__);
        g_nNics = 1;
        g_ninfo = static_cast<nic_info*>(calloc(1, sizeof(nic_info)));
    }
    void TearDown() override {
        fclose(pmstflint_fout);
        free(g_ninfo);
        reset_run_state();
    }

    // Row 0: a Mellanox port with a known installed version and these images.
    void FillRow(const char* installed, const std::vector<Image>& images) {
        nic_info& row = g_ninfo[0];
        row.flags = NIC_STATE_KNOWN;
        row.pbus_info = dup_text("0000:0b:00.0");
        parseversions(installed, &row.uCurROMmaj, &row.uCurROMmin, &row.uCurROMrel);
        for (const Image& img : images) {
            int i = row.fw_count++;
            parseversions(img.version, &row.uFwROMmaj[i], &row.uFwROMmin[i], &row.uFwROMrel[i]);
            row.pxmlName[i] = dup_text("ConnectX-5");
            row.pxmlFwImage[i] = img.file != nullptr ? dup_text(img.file) : nullptr;
        }
    }

    // Standard input for the question, read from a file of this text.
    void Answer(const std::string& text) {
        std::string path = dir_.path() + "/answers";
        FILE* f = fopen(path.c_str(), "w");
        ASSERT_NE(f, nullptr);
        fputs(text.c_str(), f);
        fclose(f);
        ASSERT_NE(freopen(path.c_str(), "r", stdin), nullptr);
    }

    std::string Log() const { return dir_.Read("mstflint.log"); }

    ScopedTempDir dir_;
};

struct DecisionCase {
    const char* name;
    int32_t flags;
    const char* installed;
    const char* image;
    const char* answer;  // standard input; null: the question must not read it
    int expected;
    int invalid;  // fw_invalid and fw_invalid_count afterwards
};

// Newer means a greater triple field by field: 16.35.3000 beats 16.35.2000, and
// 2.10.1000 beats 2.9.1000 although its text sorts lower.
const DecisionCase kDecisions[] = {
    {"interactive_newer_default_yes", 0, "16.35.2000", "16.35.3000", "\n", ANSWER_YES, 0},
    {"interactive_latest_default_no", 0, "2.42.5000", "2.42.5000", "\n", ANSWER_NO, 0},
    {"interactive_minor_ten_is_newer", 0, "2.9.1000", "2.10.1000", "\n", ANSWER_YES, 0},
    {"force_alone_asks", FLAG_FORCE, "2.42.5000", "2.40.7000", "\n", ANSWER_NO, 0},
    {"yes_newer_burns", FLAG_YES, "16.35.2000", "16.35.3000", nullptr, ANSWER_YES, 0},
    {"yes_latest_not_rewritten", FLAG_YES, "2.42.5000", "2.42.5000", nullptr, ANSWER_NO, 0},
    {"yes_no_downgrade", FLAG_YES, "2.50.1000", "2.42.5100", nullptr, ANSWER_NO, 0},
    {"silent_newer", FLAG_SILENT, "16.35.2000", "16.35.3000", nullptr, ANSWER_YES, 0},
    {"silent_latest_skipped", FLAG_SILENT, "2.42.5000", "2.42.5000", nullptr, ANSWER_NO, 1},
    {"silent_older_image_skipped", FLAG_SILENT, "16.35.2000", "2.42.5000", nullptr, ANSWER_NO, 1},
    // Status bits of an earlier burn do not change the plain silent policy.
    {"silent_after_good_burn_skipped", FLAG_SILENT | FLAG_BURN_OK | FLAG_NOTICE_LOGGED, "2.42.5000",
     "2.40.7000", nullptr, ANSWER_NO, 1},
    {"silent_after_failed_burn_skipped", FLAG_SILENT | FLAG_BURN_FAILED | FLAG_NOTICE_LOGGED,
     "2.42.5000", "2.42.5000", nullptr, ANSWER_NO, 1},
    {"silent_forced_burns_latest", FLAG_SILENT | FLAG_FORCE, "2.42.5000", "2.42.5000", nullptr,
     ANSWER_YES, 0},
};

TEST_F(Selection, DecisionTable) {
    for (const DecisionCase& c : kDecisions) {
        SCOPED_TRACE(c.name);
        free(g_ninfo);
        g_ninfo = static_cast<nic_info*>(calloc(1, sizeof(nic_info)));
        FillRow(c.installed, {{c.image, "fw.bin"}});
        g_iFlag = c.flags;
        fw_invalid = fw_invalid_count = 0;
        Answer(c.answer != nullptr ? c.answer : "n\n");

        testing::internal::CaptureStdout();
        EXPECT_EQ(is_FW_needed(0), c.expected);
        testing::internal::GetCapturedStdout();
        EXPECT_EQ(fw_invalid, c.invalid);
        EXPECT_EQ(fw_invalid_count, c.invalid);
        if (c.answer == nullptr) {
            EXPECT_EQ(fgetc(stdin), 'n') << "an unattended run must not read an answer";
        }
    }
}

TEST_F(Selection, LatestInstalledWarnsAndAsksWithDefaultNo) {
    FillRow("2.42.5000", {{"2.42.5000", "a.bin"}, {"2.40.7000", "b.bin"}});
    Answer("\n");
    testing::internal::CaptureStdout();
    EXPECT_EQ(is_FW_needed(0), ANSWER_NO);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("[1] Image Version  2.40.7000\n[2] Image Version  2.42.5000\n"),
              std::string::npos);
    EXPECT_NE(out.find("Repository doesn't have newer firmware version, Installed firmware "
                       "version is the latest one..........Please Quit the updation.\n"),
              std::string::npos);
    EXPECT_NE(out.find(" y/n/q (n):"), std::string::npos);
    EXPECT_NE(Log().find("*** WARNING *** - Installed firmware is the latest firmware\n"),
              std::string::npos);
}

struct AnswerCase {
    const char* answer;
    int32_t row_flags;
    int32_t run_flags;
};

TEST_F(Selection, EachAnswerIsRecorded) {
    const AnswerCase cases[] = {
        {"y\n", NIC_STATE_KNOWN | NIC_FLASH, 0},
        {"n\n", 0, 0},
        {"whatever\n", 0, 0},
        {"q\n", 0, FLAG_CANCELLED},
        {"", 0, FLAG_CANCELLED},  // end of input quits
        {"c\n", NIC_STATE_KNOWN | NIC_FLASH, FLAG_STOP_ASKING},
    };
    for (const AnswerCase& c : cases) {
        SCOPED_TRACE(c.answer);
        free(g_ninfo);
        g_ninfo = static_cast<nic_info*>(calloc(1, sizeof(nic_info)));
        FillRow("16.35.2000", {{"16.35.3000", "a.bin"}});
        g_iFlag = 0;
        Answer(c.answer);
        testing::internal::CaptureStdout();
        EXPECT_EQ(select_firmware(0), 0);
        testing::internal::GetCapturedStdout();
        EXPECT_EQ(g_ninfo[0].flags, c.row_flags);
        EXPECT_EQ(g_iFlag, c.run_flags);
    }
}

TEST_F(Selection, RowWithoutKnownStateIsLeftAlone) {
    FillRow("16.35.2000", {{"16.35.3000", "a.bin"}});
    g_ninfo[0].flags = 0;
    testing::internal::CaptureStdout();
    EXPECT_EQ(select_firmware(0), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(g_ninfo[0].flags, 0);
    EXPECT_EQ(g_ninfo[0].pFwPath, nullptr);
}

TEST_F(Selection, ImageWithoutFileNameIsOnlyWarnedAbout) {
    FillRow("2.42.5000",
            {{"2.42.5100", "first.bin"}, {"2.42.5200", "n/a"}, {"2.42.5300", nullptr}});
    g_iFlag = FLAG_SILENT;
    EXPECT_EQ(select_firmware(0), 0);
    ASSERT_NE(g_ninfo[0].pFwPath, nullptr);
    EXPECT_STREQ(g_ninfo[0].pFwPath, "first.bin");
    // The nameless images still count as versions: the row is newer and selected.
    EXPECT_EQ(g_ninfo[0].flags, NIC_STATE_KNOWN | NIC_FLASH);
    std::string log = Log();
    size_t first = log.find("Failed to get firmware image filename from nic_fw/NICFWData.xml\n");
    ASSERT_NE(first, std::string::npos);
    EXPECT_NE(log.find("Failed to get firmware image filename", first + 1), std::string::npos);
}

// The one reset reaches the globals of the core and of each library that registered
// its own (the adapter table, the current row, the invalid-image counts).
TEST(RunState, OneResetClearsTheGlobalsOfEveryLibrary) {
    nic_info row{};
    g_iFlag = FLAG_SILENT | FLAG_BURN_OK;
    silent = SILENT_ON;
    boot_value = 1;
    read_discovery = 1;
    g_ninfo = &row;
    g_nNics = 3;
    g_nLeftOut = 4;
    nic_count = 2;
    curnic = &row;
    fw_invalid = 1;
    fw_invalid_count = 2;
    reset_run_state();
    EXPECT_EQ(g_iFlag | silent | boot_value | boot_mode_value | read_discovery, 0);
    EXPECT_EQ(g_ninfo, nullptr);
    EXPECT_EQ(g_nNics | g_nLeftOut | nic_count | fw_invalid | fw_invalid_count, 0);
    EXPECT_EQ(curnic, nullptr);
}

}  // namespace
