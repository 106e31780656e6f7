// Start-up on the simulated server: argument shapes and their statuses, the banner,
// the Secure Boot check on fake installed tools, the conflict rules and the usage
// text. Cases that must reach a mode use a refused option set, so they hold whatever
// the modes do.
#include <string>
#include <vector>

#include "bench.h"
#include "expected_texts.h"

namespace {

const char kDisabled[] = "\nSecureBoot is disabled.\n";
const char kEnabled[] = "\nSecureBoot is enabled.\n";
const char kToolsMissing[] =
    "\nSecureBoot is enabled. mst and flint tools are not available/installed for firmware "
    "flash.\n";
const char kUndetermined[] = "\nUnable to determine the boot mode\n";
const char kFlintHelp[] = "Usage: flint [OPTIONS] command [PARAMETERS]\n";

std::string Banner() {
    return BannerText();
}

std::string Usage() {
    return UsageText();
}

struct ShapeCase {
    const char* name;
    std::vector<std::string> args;
    int status;
    std::string out;
};

// Runs one case on a fresh bench and checks its status, its output, and that no
// mode opened the event log. Returns the fake tools' calls.
std::string ExpectShape(const ShapeCase& c) {
    SCOPED_TRACE(c.name);
    Bench bench;
    RunResult r = bench.Run(c.args);
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(ReadFileText(bench.pkg() + "/mstflint.log"), "");
    return bench.Calls();
}

// Shapes that end before the banner: nothing runs, nothing is logged.
TEST(Startup, ArgumentShapesEndBeforeTheBanner) {
    const std::string unknown = "Unknown command line option: ?\n";
    const ShapeCase cases[] = {
        {"help", {"-h"}, 1, Usage()},
        {"lone dash", {"-"}, 1, Usage()},
        {"word without dash", {"abc"}, 1, Usage()},
        {"five words", {"-s", "-F", "-y", "-c"}, 1, Usage()},
        {"replay without path", {"-u"}, 1, unknown + Usage()},
        {"slash replay without path", {"/u"}, 1, unknown + Usage()},
        {"unknown letter", {"-x"}, 1, unknown + Usage()},
        {"meaningless letter i", {"-i"}, 1, "Unknown command line option: i\n" + Usage()},
        {"silent replay as four words", {"-s", "-u", "path"}, 1, Usage()},
        {"silent then unknown letter", {"-s", "-x"}, 1, ""},
        {"boot setting rom", {"eth0", "-bootenable", "rom"}, 0, ""},
        {"boot setting iscsi", {"eth0", "-bootenable", "iscsi"}, 0, ""},
        {"boot setting disabled", {"eth0", "-bootenable", "disabled"}, 0, ""},
        {"boot setting pxe", {"eth0", "-bootenable", "pxe"}, 1, Usage()},
        {"report path too long", {"-d", std::string(4096, 'p')}, 1, Usage()},
    };
    for (const ShapeCase& c : cases) EXPECT_EQ(ExpectShape(c), "") << c.name;
}

TEST(Startup, ParserComplainsOnStandardErrorToo) {
    Bench bench;
    RunResult r = bench.Run({"-u"});
    EXPECT_TRUE(Contains(r.err, "option requires an argument -- 'u'")) << r.err;
    EXPECT_EQ(bench.Run({"eth0", "-bootenable", "rom"}).err, "");
}

TEST(Startup, NoArgumentsShowBannerAndSecureBootLineThenUpgrade) {
    Bench bench;
    RunResult r = bench.Run({});
    EXPECT_EQ(r.out.rfind(Banner() + kDisabled, 0), 0u) << r.out;
    EXPECT_FALSE(Contains(r.out, "USAGE"));
}

TEST(Startup, ConflictsAreRefusedAfterTheSecureBootLine) {
    const ShapeCase cases[] = {
        {"show current and yes", {"-c", "-y"}, 1, Banner() + kDisabled + Usage()},
        {"forced yes", {"-fy"}, 1, Banner() + kDisabled + Usage()},
        // The usage text goes through the console filter, which -s closes.
        {"show current silently", {"-c", "-s"}, 1, Banner() + kDisabled},
        {"silent with yes", {"-sy"}, 1, Banner() + kDisabled},
        {"report with p", {"-dp"}, 1, Banner() + kDisabled},
        {"report and replay", {"-du", "r.xml"}, 1, Banner() + kDisabled},
    };
    for (const ShapeCase& c : cases) ExpectShape(c);
}

struct BootCase {
    const char* name;
    SecureBootSetup setup;
    int status;
    std::string out;                 // standard output of "fwpak -c -y"
    std::vector<std::string> calls;  // the fake tools' calls, in order
};

SecureBootSetup Enabled(const char* line = "SecureBoot enabled") {
    SecureBootSetup s;
    s.mokutil_line = line;
    return s;
}

std::vector<BootCase> BootCases() {
    const std::string refused = Usage();  // the run went on to the conflict rules
    const std::vector<std::string> all = {"mokutil --sb-state", "mst status", "mst start",
                                          "flint --help"};
    std::vector<BootCase> cases;
    cases.push_back(
        {"disabled", SecureBootSetup(), 1, Banner() + kDisabled + refused, {"mokutil --sb-state"}});

    // Any line that begins with the state counts, not only the first.
    cases.push_back({"enabled only on the second line",
                     Enabled("SecureBoot disabled\n"
                             "SecureBoot enabled"),
                     1, Banner() + kFlintHelp + kEnabled + refused, all});

    BootCase no_mokutil{"no mokutil", SecureBootSetup(), 1, Banner() + kDisabled + refused, {}};
    no_mokutil.setup.mokutil_present = false;
    cases.push_back(no_mokutil);

    cases.push_back({"enabled", Enabled(), 1, Banner() + kFlintHelp + kEnabled + refused, all});
    cases.push_back({"enabled in capitals", Enabled("SECUREBOOT ENABLED"), 1,
                     Banner() + kFlintHelp + kEnabled + refused, all});

    BootCase not_running{"service not running", Enabled(), 1,
                         Banner() + kFlintHelp + kEnabled + refused, all};
    not_running.setup.mst_status_exit = 1;
    cases.push_back(not_running);

    BootCase start_fails{"service start fails but not as missing", Enabled(), 1,
                         Banner() + kFlintHelp + kEnabled + refused, all};
    start_fails.setup.mst_start_exit = 3;
    cases.push_back(start_fails);

    BootCase no_mst{
        "no mst",
        Enabled(),
        1,
        Banner() + "\nERROR: \"/usr/bin/mst status\" command not found.\n" + kToolsMissing,
        {"mokutil --sb-state"}};
    no_mst.setup.mst_present = false;
    cases.push_back(no_mst);

    BootCase cannot_start{"service cannot start",
                          Enabled(),
                          1,
                          Banner() + "\nERROR: Unable to start mst service\n" + kUndetermined,
                          {"mokutil --sb-state", "mst status", "mst start"}};
    cannot_start.setup.mst_start_exit = 127;
    cases.push_back(cannot_start);

    BootCase no_flint{"no flint",
                      Enabled(),
                      1,
                      Banner() + kToolsMissing,
                      {"mokutil --sb-state", "mst status", "mst start"}};
    no_flint.setup.flint_present = false;
    cases.push_back(no_flint);
    return cases;
}

TEST(SecureBoot, ResultDecidesTheLineAndWhetherTheRunGoesOn) {
    REQUIRE_NAMESPACES();
    for (const BootCase& c : BootCases()) {
        SCOPED_TRACE(c.name);
        Bench bench;
        bench.SetSecureBoot(c.setup);
        RunResult r = bench.Run({"-c", "-y"});
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(bench.CallLines(), c.calls);
        // A failed check ends the run before any mode opens the log.
        EXPECT_EQ(ReadFileText(bench.pkg() + "/mstflint.log"), "");
    }
}

// Every answer form of mokutil --sb-state: standard output, standard error, exit
// code. Only a line that begins with "SecureBoot enabled" means on; mokutil's own
// errors reach the administrator on standard error.
TEST(SecureBoot, EveryMokutilAnswerForm) {
    REQUIRE_NAMESPACES();
    const struct {
        const char* out;
        const char* err;
        int exit;
        bool on;
    } forms[] = {
        {"SecureBoot enabled", "", 0, true},
        {"SecureBoot disabled", "", 0, false},
        {"SecureBoot enabled\nSecureBoot validation is disabled in shim", "", 0, true},
        {"SecureBoot disabled\nPlatform is in Setup Mode", "", 0, false},
        {"Cannot determine secure boot state.", "", 1, false},
        {"", "EFI variables are not supported on this system\n", 1, false},
        {"", "This system doesn't support Secure Boot\n", 255, false},
        {"Strange data size 5 for \"SecureBoot\" variable\nSecureBoot enabled", "", 0, true},
        {"SecureBoot enabled", "Strange data size 5 for \"SecureBoot\" variable\n", 0, true},
        {"Strange data size 5 for \"SecureBoot\" variable\nSecureBoot disabled", "", 0, false},
    };
    for (const auto& f : forms) {
        SCOPED_TRACE(f.out + std::string("|") + f.err);
        Bench bench;
        SecureBootSetup setup = Enabled(f.out);
        setup.mokutil_err = f.err;
        setup.mokutil_exit = f.exit;
        bench.SetSecureBoot(setup);
        RunResult r = bench.Run({"-c", "-y"});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out,
                  Banner() + (f.on ? std::string(kFlintHelp) + kEnabled : kDisabled) + Usage());
        EXPECT_TRUE(Contains(r.err, f.err)) << r.err;
    }
}

TEST(SecureBoot, LinesShowInSilentAndReportRuns) {
    REQUIRE_NAMESPACES();
    for (const char* option : {"-s", "-d", "-u"}) {
        SCOPED_TRACE(option);
        Bench bench;
        SecureBootSetup setup = Enabled();
        setup.mst_present = false;
        bench.SetSecureBoot(setup);
        std::vector<std::string> args = {option};
        if (std::string(option) == "-u")
            args.push_back("nicdiscovery.xml");
        RunResult r = bench.Run(args);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, Banner() + "\nERROR: \"/usr/bin/mst status\" command not found.\n" +
                             kToolsMissing);
    }
}

}  // namespace
