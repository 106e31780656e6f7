// Start-up on the simulated server: argument shapes and their statuses, the banner,
// the Secure Boot check on fake installed tools, the conflict rules and the usage
// text. Cases that must reach a mode use a refused option set, so they hold whatever
// the modes do.
#include <string>
#include <sys/stat.h>
#include <unistd.h>
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

namespace {

// Neither a user nor a group of this number exists on a test machine.
constexpr int kStranger = 4242;

struct TrustCase {
    const char* name;
    const char* path;  // relative to the package directory
    mode_t mode;       // 0: as the bench made it
    int uid;           // -1: as the bench made it
    int gid;
    std::vector<std::string> args;
    bool secure_boot;
    int status;
    const char* found;  // what is said of `path` (refused) or logged (a warning)
};

// The fake tools' calls that reached an adapter (queries and burns).
int AdapterCalls(const Bench& bench) {
    int count = 0;
    for (const std::string& line : bench.CallLines()) count += Contains(line, " -d ") ? 1 : 0;
    return count;
}

// Strict modes as root: what fwpak runs or reads from its package directory must not
// be writable by others or a group other than root's, or nothing of the package
// runs (status 1, in every mode). Another owner is a warning. Under Secure Boot the
// repository's burning tool is not used, and not looked at; getmlnxinfo still is.
TEST(StrictModes, CheckedBeforeAnyToolOfThePackageRuns) {
    const TrustCase cases[] = {
        {"tool writable by others",
         "nic_fw/mstflint",
         0777,
         -1,
         -1,
         {"-c"},
         false,
         1,
         "can be written by others (mode 0777)"},
        {"repository writable by a group",
         "nic_fw",
         0775,
         -1,
         kStranger,
         {"-s"},
         false,
         1,
         "can be written by gid 4242 (mode 0775)"},
        {"package directory",
         ".",
         0757,
         -1,
         -1,
         {"-d"},
         false,
         1,
         "can be written by others (mode 0757)"},
        {"catalog",
         "nic_fw/NICFWData.xml",
         0646,
         -1,
         -1,
         {"-u", "r.xml"},
         false,
         1,
         "can be written by others (mode 0646)"},
        {"root's group may write", "nic_fw", 0775, -1, 0, {"-c"}, false, 0, nullptr},
        {"another owner",
         "getmlnxinfo",
         0,
         kStranger,
         -1,
         {"-c"},
         false,
         0,
         "belongs to uid 4242, not to root: that user can change what fwpak runs as root"},
        {"secure boot: the repository's tool is not used",
         "nic_fw/mstflint",
         0777,
         -1,
         -1,
         {"-c"},
         true,
         0,
         nullptr},
        {"secure boot: getmlnxinfo still runs",
         "getmlnxinfo",
         0757,
         -1,
         -1,
         {"-c"},
         true,
         1,
         "can be written by others (mode 0757)"},
    };
    for (const TrustCase& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.secure_boot && !Bench::NamespacesAvailable())
            continue;
        Bench bench;
        bench.AddDevices("cx5-dual");
        bench.SetPort("0000:0b:00.0", "16.35.2000", "MT_0000000080");
        bench.UseCatalog("upgrade-cx5");
        if (c.secure_boot) {
            SecureBootSetup on;
            on.mokutil_line = "SecureBoot enabled";
            bench.SetSecureBoot(on);
        }
        const std::string path = c.path[0] == '.' ? bench.pkg() : bench.pkg() + "/" + c.path;
        if (c.mode != 0) {
            ASSERT_EQ(chmod(path.c_str(), c.mode), 0);
        }
        if (c.uid >= 0 || c.gid >= 0) {
            ASSERT_EQ(chown(path.c_str(), static_cast<uid_t>(c.uid), static_cast<gid_t>(c.gid)), 0);
        }
        RunResult r = bench.Run(c.args);
        chmod(path.c_str(), 0755);  // so that the bench can clean up
        EXPECT_EQ(r.status, c.status) << r.err;
        const std::string log = bench.EventLog();
        if (c.status == 1) {
            const std::string said = path + " " + c.found;
            EXPECT_TRUE(Contains(r.err, "fwpak: " + said)) << r.err;
            EXPECT_TRUE(Contains(r.err, "; fix: chmod go-w " + path + "\n")) << r.err;
            EXPECT_TRUE(Contains(log, "[ERROR]     ")) << log;
            EXPECT_TRUE(Contains(log, "] check_repository_trust: " + said)) << log;
            EXPECT_EQ(AdapterCalls(bench), 0) << bench.Calls();
        } else {
            EXPECT_EQ(r.err, "");
            EXPECT_EQ(AdapterCalls(bench), 1) << bench.Calls();
            EXPECT_EQ(c.found != nullptr, Contains(log, "[WARNING]  ")) << log;
            if (c.found != nullptr) {
                EXPECT_TRUE(Contains(log, path + " " + c.found)) << log;
            }
        }
    }
}

// With a checksum manifest the burning tool must match it before its first run
// (status 1 in every mode that runs it); without one the log says so once.
TEST(ChecksumManifest, BurningToolIsVerifiedBeforeItsFirstRun) {
    const struct {
        const char* name;
        bool seal;
        const char* tool_tail;  // appended to the tool after sealing
        const char* manifest_tail;
        int status;
        const char* said;  // on standard error; null: nothing
    } cases[] = {
        {"no manifest", false, "", "", 0, nullptr},
        {"sealed", true, "", "", 0, nullptr},
        {"tool changed", true, "# changed\n", "", 1,
         "fwpak: nic_fw/mstflint does not match nic_fw/SHA256SUMS (expected "},
        {"damaged line", true, "", "0123  x.bin\n", 1,
         "fwpak: nic_fw/SHA256SUMS line 5: not \"DIGEST  NAME\" as sha256sum writes it: a "
         "damaged manifest verifies nothing, so fwpak starts nothing"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bench bench;
        bench.AddDevices("cx5-dual");
        bench.SetPort("0000:0b:00.0", "16.35.2000", "MT_0000000080");
        bench.UseCatalog("upgrade-cx5");
        bench.AddImage("fw-cx5-16.35.3000.bin", "16.35.3000", "MT_0000000080");
        if (c.seal) {
            bench.UseProgram(FWPAK_REPO_BINARY);
            ASSERT_EQ(bench.Run({"seal"}).status, 0);
            bench.UseProgram(FWPAK_BINARY);
        }
        bench.WritePkgFile("nic_fw/mstflint", bench.ReadPkgFile("nic_fw/mstflint") + c.tool_tail);
        if (c.seal)
            bench.WritePkgFile("nic_fw/SHA256SUMS",
                               bench.ReadPkgFile("nic_fw/SHA256SUMS") + c.manifest_tail);
        RunResult r = bench.Run({"-c"});
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(AdapterCalls(bench), c.status == 0 ? 1 : 0) << bench.Calls();
        if (c.said != nullptr) {
            EXPECT_TRUE(Contains(r.err, c.said)) << r.err;
        } else {
            EXPECT_EQ(r.err, "");
        }
        EXPECT_EQ(CountOf(bench.EventLog(), "the repository has no checksum manifest"),
                  c.seal ? 0 : 1);
    }
}

}  // namespace
