// The argument vector check, option parsing into the run flags, and the conflict
// rules of start-up.
#include "driver/cmdline.h"

#include <string>

#include <gtest/gtest.h>

#include "run_flags.h"
#include "test_io.h"

namespace {

class Cmdline : public ::testing::Test {
  protected:
    void SetUp() override { reset_run_state(); }
};

struct ShapeCase {
    const char* name;
    std::initializer_list<std::string> args;
    int result;
    const char* report_path;  // null: not checked
    const char* word1;        // the first argument after the check; null: not checked
    const char* word2;
};

const ShapeCase kShapes[] = {
    {"no arguments", {}, ARGV_OK, "", nullptr, nullptr},
    {"one option word", {"-s"}, ARGV_OK, "nicdiscovery.xml", "-s", nullptr},
    {"slash d", {"/d"}, ARGV_OK, "nicdiscovery.xml", "-d", nullptr},
    {"slash u", {"/u"}, ARGV_OK, nullptr, "-u", nullptr},
    {"slash s", {"/s"}, ARGV_OK, nullptr, "-s", nullptr},
    {"slash F alone", {"/F"}, ARGV_OK, nullptr, "-F", nullptr},
    {"other slash word", {"/x"}, ARGV_USAGE_ERROR, nullptr, "/x", nullptr},
    {"lone dash", {"-"}, ARGV_USAGE_ERROR, nullptr, nullptr, nullptr},
    {"word without dash", {"abc"}, ARGV_USAGE_ERROR, nullptr, nullptr, nullptr},
    {"dash inside a word", {"a-b"}, ARGV_OK, nullptr, "a-b", nullptr},
    {"slash s and slash F", {"/s", "/F"}, ARGV_OK, "-F", "-s", "-F"},
    {"slash F first of three", {"/F", "x"}, ARGV_USAGE_ERROR, nullptr, "/F", nullptr},
    {"slash d with path", {"/d", "out.xml"}, ARGV_OK, "out.xml", "-d", "out.xml"},
    {"slash u with path", {"/u", "in.xml"}, ARGV_OK, "in.xml", "-u", nullptr},
    {"any second word is the path", {"-s", "-F"}, ARGV_OK, "-F", nullptr, nullptr},
    {"lone dash of three", {"-", "x"}, ARGV_USAGE_ERROR, nullptr, nullptr, nullptr},
    {"no dash of three", {"x", "-s"}, ARGV_USAGE_ERROR, nullptr, nullptr, nullptr},
    {"boot setting rom", {"eth0", "-bootenable", "rom"}, ARGV_BOOT_SETTING, "", nullptr, nullptr},
    {"boot setting iscsi",
     {"eth1", "-bootenable", "iscsi"},
     ARGV_BOOT_SETTING,
     "",
     nullptr,
     nullptr},
    {"boot setting disabled",
     {"eth2", "-bootenable", "disabled"},
     ARGV_BOOT_SETTING,
     "",
     nullptr,
     nullptr},
    {"eth anywhere in the name",
     {"myeth9x", "-bootenable", "rom"},
     ARGV_BOOT_SETTING,
     "",
     nullptr,
     nullptr},
    {"boot setting pxe",
     {"eth0", "-bootenable", "pxe"},
     ARGV_USAGE_ERROR,
     nullptr,
     nullptr,
     nullptr},
    {"boot setting name without eth",
     {"em1", "-bootenable", "rom"},
     ARGV_USAGE_ERROR,
     nullptr,
     nullptr,
     nullptr},
    {"boot setting word in other case",
     {"eth0", "-BootEnable", "rom"},
     ARGV_USAGE_ERROR,
     nullptr,
     nullptr,
     nullptr},
    {"silent replay as four words",
     {"-s", "-u", "path"},
     ARGV_USAGE_ERROR,
     nullptr,
     nullptr,
     nullptr},
    {"five words", {"-s", "-F", "-y", "-c"}, ARGV_USAGE_ERROR, nullptr, nullptr, nullptr},
    {"six words", {"a", "b", "c", "d", "e"}, ARGV_USAGE_ERROR, nullptr, nullptr, nullptr},
};

TEST_F(Cmdline, ArgumentVectorShapes) {
    for (const ShapeCase& c : kShapes) {
        SCOPED_TRACE(c.name);
        reset_run_state();
        Argv a(c.args);
        EXPECT_EQ(verify_cmd_line_options(a.argc(), a.argv()), c.result);
        if (c.report_path != nullptr) {
            EXPECT_STREQ(g_XMLDiscoveryReport, c.report_path);
        }
        if (c.word1 != nullptr) {
            EXPECT_EQ(a.at(1), c.word1);
        }
        if (c.word2 != nullptr) {
            EXPECT_EQ(a.at(2), c.word2);
        }
    }
}

TEST_F(Cmdline, ReportPathFillsTheBufferButNeverPastIt) {
    std::string longest(PATH_LEN - 1, 'p');
    Argv fits({"-d", longest});
    EXPECT_EQ(verify_cmd_line_options(fits.argc(), fits.argv()), ARGV_OK);
    EXPECT_EQ(std::string(g_XMLDiscoveryReport), longest);

    // One more character would have to be cut, and a cut path names another file.
    reset_run_state();
    Argv too_long({"-u", std::string(PATH_LEN, 'p')});
    EXPECT_EQ(verify_cmd_line_options(too_long.argc(), too_long.argv()), ARGV_USAGE_ERROR);
    EXPECT_STREQ(g_XMLDiscoveryReport, "");
}

// Runs the argument check and the parser as start-up does; returns the parser's
// result (-1: go on) and what it printed.
int Parse(Argv& a, std::string* out) {
    StdoutCapture capture;
    EXPECT_EQ(verify_cmd_line_options(a.argc(), a.argv()), ARGV_OK);
    int rc = parse_cmd_line_options(a.argc(), a.argv());
    *out = capture.Text();
    return rc;
}

TEST_F(Cmdline, EveryWayOfWritingForcedSilentGivesTheSameFlags) {
    const std::initializer_list<std::string> forms[] = {
        {"-s", "-F"}, {"-sF"}, {"/s", "/F"}, {"-s", "-f"}, {"-Fs"}};
    for (const auto& form : forms) {
        reset_run_state();
        Argv a(form);
        std::string out;
        EXPECT_EQ(Parse(a, &out), -1);
        EXPECT_EQ(g_iFlag, FLAG_SILENT | FLAG_FORCE) << a.at(1);
        EXPECT_EQ(silent, SILENT_ON);
        EXPECT_EQ(out, "");
    }
}

struct FlagCase {
    std::initializer_list<std::string> args;
    int32_t flags;
    const char* report_path;
};

TEST_F(Cmdline, OptionsSetTheirBits) {
    const FlagCase cases[] = {
        {{"-c"}, FLAG_SHOW_CURRENT, "nicdiscovery.xml"},
        {{"-p"}, FLAG_P, "nicdiscovery.xml"},
        {{"-y"}, FLAG_YES, "nicdiscovery.xml"},
        {{"-d"}, FLAG_DISCOVERY, "nicdiscovery.xml"},
        {{"-d", "out.xml"}, FLAG_DISCOVERY, "out.xml"},
        {{"-u", "in.xml"}, FLAG_REPLAY, "in.xml"},
        {{"-su", "in.xml"}, FLAG_SILENT | FLAG_REPLAY, "in.xml"},
        // The path comes from the argument check, not from the parser.
        {{"-uin.xml"}, FLAG_REPLAY, "nicdiscovery.xml"},
        {{"-f"}, FLAG_FORCE, "nicdiscovery.xml"},
    };
    for (const FlagCase& c : cases) {
        reset_run_state();
        Argv a(c.args);
        std::string out;
        EXPECT_EQ(Parse(a, &out), -1) << a.at(1);
        EXPECT_EQ(g_iFlag, c.flags) << a.at(1);
        EXPECT_STREQ(g_XMLDiscoveryReport, c.report_path) << a.at(1);
    }
}

TEST_F(Cmdline, HelpPrintsTheUsageTextAndEnds) {
    Argv a({"-h"});
    std::string out;
    EXPECT_EQ(Parse(a, &out), 1);
    EXPECT_EQ(out, UsageText());
}

TEST_F(Cmdline, RefusedOptionsShowTheCharacterTheParserReturned) {
    struct {
        std::initializer_list<std::string> args;
        const char* line;
    } cases[] = {
        {{"-u"}, "Unknown command line option: ?\n"},
        {{"/u"}, "Unknown command line option: ?\n"},
        {{"-x"}, "Unknown command line option: ?\n"},
        // 'i' is accepted by the parser but means nothing: refused the same way.
        {{"-i"}, "Unknown command line option: i\n"},
    };
    for (const auto& c : cases) {
        reset_run_state();
        Argv a(c.args);
        std::string out;
        EXPECT_EQ(Parse(a, &out), 1);
        EXPECT_EQ(out, std::string(c.line) + UsageText());
    }
}

TEST_F(Cmdline, RefusalAfterSilentOptionPrintsNothing) {
    const std::initializer_list<std::string> forms[] = {{"-s", "-x"}, {"-d", "-i"}, {"-su"}};
    for (const auto& form : forms) {
        reset_run_state();
        Argv a(form);
        std::string out;
        EXPECT_EQ(Parse(a, &out), 1);
        EXPECT_EQ(out, "") << a.at(1);
    }
}

TEST_F(Cmdline, OnlyTheDocumentedOptionSetsPass) {
    const int32_t passing[] = {0,
                               FLAG_SILENT,
                               FLAG_FORCE,
                               FLAG_SILENT | FLAG_FORCE,
                               FLAG_P,
                               FLAG_YES,
                               FLAG_SHOW_CURRENT,
                               FLAG_DISCOVERY,
                               FLAG_REPLAY,
                               FLAG_SILENT | FLAG_REPLAY};
    for (int32_t flags = 0; flags <= OPTION_BITS; ++flags) {
        bool listed = false;
        for (int32_t p : passing) listed = listed || p == flags;
        EXPECT_EQ(conflicting_rule(flags) == 0, listed) << "flags 0x" << std::hex << flags;
    }
}

TEST_F(Cmdline, FirstMatchingRuleRefuses) {
    const struct {
        int32_t flags;
        int rule;
    } cases[] = {
        {FLAG_SILENT | FLAG_SHOW_CURRENT, 1},
        {FLAG_SILENT | FLAG_YES, 1},
        {FLAG_SILENT | FLAG_DISCOVERY, 1},
        {FLAG_FORCE | FLAG_REPLAY, 2},
        {FLAG_FORCE | FLAG_YES, 2},
        {FLAG_YES | FLAG_REPLAY, 3},
        {FLAG_P | FLAG_REPLAY, 4},
        {FLAG_SHOW_CURRENT | FLAG_REPLAY, 5},
        {FLAG_DISCOVERY | FLAG_REPLAY, 6},
    };
    for (const auto& c : cases) EXPECT_EQ(conflicting_rule(c.flags), c.rule) << c.flags;
}

TEST_F(Cmdline, UsageIsSuppressedInSilentAndReportRuns) {
    for (int32_t flags : {FLAG_SILENT, FLAG_DISCOVERY, FLAG_REPLAY}) {
        g_iFlag = flags;
        StdoutCapture capture;
        usage();
        EXPECT_EQ(capture.Text(), "") << flags;
    }
}

TEST_F(Cmdline, BannerIsTwoRulesAroundTheTitle) {
    const std::string rule(98, '#');
    g_iFlag = FLAG_SILENT;  // the banner shows in every mode
    StdoutCapture capture;
    print_banner();
    EXPECT_EQ(capture.Text(), "\n" + rule +
                                  "\nVornex Mellanox InfiniBand Online Firmware Upgrade Utility "
                                  "for Linux\n" +
                                  rule + "\n\n");
}

}  // namespace
