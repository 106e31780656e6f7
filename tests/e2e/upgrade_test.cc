// The upgrade run on the simulated server: questions and answers, unattended runs,
// burn verdicts, the final messages and the exit statuses.
#include <algorithm>
#include <chrono>
#include <regex>
#include <unistd.h>

#include "bench.h"
#include "expected_texts.h"

namespace {

const char kPort0[] = "0000:0b:00.0";
const char kPort1[] = "0000:af:00.0";
const char kPsid[] = "MT_0000000080";
const char kOld[] = "16.35.2000";
const char kNew[] = "16.35.3000";
const char kImage[] = "fw-cx5-16.35.3000.bin";
const char kCardName[] = "ConnectX-5 EN 25GbE dual-port SFP28";

const char kQuestionYes[] = "Would you like to flash the firmware?\n y/n/q (y):";
const char kReboot[] = "\n\nPlease Reboot node for new image to be loaded into silicon\n\n";
const char kCancelled[] = "\nFirmware upgrade cancelled by User \n";
const char kWithErrors[] = "\nNIC firmware update completed with errors. \n";
const char kNotComplete[] = "\nNIC firmware update did not complete.  Check log for errors. \n";
const char kNotice[] = "\nThe Firmware Upgrade will take several minutes.  Please be patient.\n";
const char kUpgradeFailed[] = "Upgrade failed\n \n";
const char kNotSupported[] = "Fimware upgrade on this device is not supported\n \n";

// All that a silent run may show: the banner and the Secure Boot line.
std::string QuietOutput() {
    return BannerText() + "\nSecureBoot is disabled.\n";
}

// Two ConnectX-5 cards (the dual-port one is listed once, under its first
// function); the catalog offers one image for both, 16.35.3000.
void TwoPorts(Bench& bench, const std::string& v0, const std::string& v1) {
    bench.AddDevices("cx5-dual");
    bench.AddDevices("cx5-second");
    bench.SetPort(kPort0, v0, kPsid);
    bench.SetPort(kPort1, v1, kPsid);
    bench.UseCatalog("upgrade-cx5");
    bench.AddImage(kImage, kNew);
}

std::string BurnLine(const std::string& tool, const std::string& port, bool silent,
                     const std::string& image = kImage) {
    return tool + (silent ? " -s" : "") + " -y -d " + port + " -i ./nic_fw/" + image + " b";
}

// The event-log line holding `text` carries the error tag.
bool LoggedAsError(const std::string& log, const std::string& text) {
    size_t at = log.find(text);
    if (at == std::string::npos)
        return false;
    size_t start = log.rfind('\n', at);
    start = start == std::string::npos ? 0 : start + 1;
    return log.compare(start, 12, "[ERROR]     ") == 0;
}

// The log entry that follows the entry ending in `text`, or empty.
std::string EntryAfter(const std::string& log, const std::string& text) {
    size_t at = log.find(text + "\n");
    if (at == std::string::npos)
        return "";
    at += text.size() + 1;
    return log.substr(at, log.find('\n', at) - at);
}

// The data file named by the echoed mismatch search, or empty.
std::string SearchedDataFile(const std::string& out) {
    static const std::regex echo(
        "grep -i -e \"PSID Mismatch\" -e \"PSID major mismatch\" -e \"PSID header mismatch\" "
        "-e \"Minor PSID is locked\" (/tmp/data[A-Za-z0-9]{6}) > /dev/null \n");
    std::smatch m;
    return std::regex_search(out, m, echo) ? m[1].str() : "";
}

struct InteractiveCase {
    const char* name;
    const char* input;
    int status;
    std::vector<std::string> burnt;
    int questions;
    const char* final_text;  // null: none of the final messages
};

TEST(Upgrade, InteractiveTwoAdapterRuns) {
    const InteractiveCase cases[] = {
        {"yes_then_no", "y\nn\n", 0, {kPort0}, 2, kReboot},
        {"no_then_no", "n\nn\n", 0, {}, 2, nullptr},
        {"quit_after_a_burn", "y\nq\n", 3, {kPort0}, 2, kCancelled},
        {"c_stops_asking", "c\n", 0, {kPort0}, 1, kReboot},
        {"end_of_input_at_first", "", 3, {}, 1, kCancelled},
        {"end_of_input_after_a_burn", "y\n", 3, {kPort0}, 2, kCancelled},
        {"default_answer_is_yes", "\n\n", 0, {kPort0, kPort1}, 2, kReboot},
    };
    for (const InteractiveCase& c : cases) {
        SCOPED_TRACE(c.name);
        Bench bench;
        TwoPorts(bench, kOld, kOld);
        RunResult r = bench.Run({}, c.input);
        EXPECT_EQ(r.status, c.status) << r.out << r.err;
        std::vector<std::string> expected;
        for (const std::string& port : c.burnt)
            expected.push_back(BurnLine("mstflint", port, false));
        EXPECT_EQ(bench.BurnCalls(), expected);
        EXPECT_EQ(CountOf(r.out, kQuestionYes), c.questions) << r.out;
        for (const char* text : {kReboot, kCancelled, kWithErrors, kNotComplete}) {
            bool wanted = c.final_text != nullptr && std::string(text) == c.final_text;
            EXPECT_EQ(Contains(r.out, text), wanted) << text << "\n" << r.out;
        }
        EXPECT_EQ(bench.PortVersion(kPort0), c.burnt.empty() ? kOld : kNew);
    }
}

TEST(Upgrade, InteractiveShowsVersionsQuestionAndLiveToolOutput) {
    Bench bench;
    TwoPorts(bench, kOld, kOld);
    RunResult r = bench.Run({}, "y\nn\n");
    EXPECT_TRUE(Contains(r.out,
                         "Repository has New firmware version for interface 0000:0b:00.0"
                         ".................Please flash the newer version\n"
                         "\nCurrent Firmware Version is 16.35.2000 on 0000:0b:00.0 \n"
                         "Repository has these firmware versions............"
                         "[1] Image Version  16.35.3000\n" +
                             std::string(kQuestionYes)))
        << r.out;
    // The tool's own progress reaches the console while it burns.
    EXPECT_TRUE(Contains(r.out, "Burning FS4 FW image without signatures - OK\n"));
    EXPECT_FALSE(Contains(r.out, "Image type:")) << r.out;  // not the query after it
    EXPECT_TRUE(Contains(r.out, "Firmware Flashed:\tSUCCESS  for interface 0000:0b:00.0\n\n"));
    EXPECT_TRUE(Contains(bench.EventLog(), "y/n/q (y): y\n"));
}

// Every failed burn names its adapter: the FAILED line beside the SUCCESS line,
// and after the design's log lines one that names the address, the image, how the
// tool ended and its data file. The adapter that was flashed still needs the
// reboot: the notice follows the error message.
TEST(Upgrade, FailureThenSuccessCompletesWithErrors) {
    Bench bench;
    TwoPorts(bench, kOld, kOld);
    bench.SetPortFile(kPort0, "burn_exit", "1");
    RunResult r = bench.Run({}, "y\ny\n");
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(Contains(r.out, std::string(kWithErrors) + kReboot)) << r.out;
    EXPECT_TRUE(Contains(r.out, "Firmware Flashed:\tFAILED   for interface 0000:0b:00.0\n\n"));
    EXPECT_TRUE(Contains(r.out, "Firmware Flashed:\tSUCCESS  for interface 0000:af:00.0\n\n"));
    EXPECT_EQ(bench.BurnCalls(), (std::vector<std::string>{BurnLine("mstflint", kPort0, false),
                                                           BurnLine("mstflint", kPort1, false)}));
    const std::string log = bench.EventLog();
    EXPECT_TRUE(LoggedAsError(log, kUpgradeFailed)) << log;
    const std::string next = EntryAfter(log, kUpgradeFailed);
    EXPECT_EQ(next.rfind("[ERROR]     [", 0), 0u) << log;
    EXPECT_TRUE(Contains(next, "] do_update_firmware: burning ./nic_fw/" + std::string(kImage) +
                                   " into 0000:0b:00.0 failed: the burning tool exited with "
                                   "code 1 (failed); its output is in " +
                                   SearchedDataFile(r.out)))
        << log;
    EXPECT_EQ(bench.PortVersion(kPort1), kNew);
}

// -y takes each question's default: the adapter with a newer image is burnt, the
// one already up to date is neither rewritten nor, with a newer version installed,
// downgraded.
TEST(Upgrade, AssumeYesTakesEachQuestionsDefault) {
    for (const char* installed1 : {kNew, "16.36.1000"}) {
        SCOPED_TRACE(installed1);
        Bench bench;
        TwoPorts(bench, kOld, installed1);
        RunResult r = bench.Run({"-y"});
        EXPECT_EQ(r.status, 0) << r.out;
        EXPECT_EQ(bench.BurnCalls(),
                  (std::vector<std::string>{BurnLine("mstflint", kPort0, false)}));
        EXPECT_EQ(bench.PortVersion(kPort1), installed1);
        EXPECT_FALSE(Contains(r.out, "y/n/q"));
        // The console shows the burn's output, not the query that verifies it.
        EXPECT_TRUE(Contains(r.out, "Burning FS4 FW image without signatures - OK\n"));
        EXPECT_FALSE(Contains(r.out, "Image type:")) << r.out;
        EXPECT_EQ(CountOf(r.out, "Repository doesn't have newer firmware version"), 1);
        EXPECT_TRUE(Contains(r.out, kReboot));
        // One notice for the run, one selection line per burn; the inventory leaves no MAC.
        std::string log = bench.EventLog();
        EXPECT_EQ(CountOf(log, kNotice), 1) << log;
        EXPECT_EQ(CountOf(log, "\nSelecting " + std::string(kCardName) + " MAC:              \n"),
                  1);
        EXPECT_EQ(CountOf(log, "MAC              Upgrade SUCCESS\n"), 1);
    }
}

TEST(Upgrade, ForcedSilentBurnsEverythingInEachSpelling) {
    const std::vector<std::vector<std::string>> spellings = {{"-s", "-f"}, {"-sf"}, {"/s", "/F"}};
    for (const auto& args : spellings) {
        SCOPED_TRACE(args[0] + (args.size() > 1 ? " " + args[1] : ""));
        Bench bench;
        TwoPorts(bench, kNew, kNew);
        RunResult r = bench.Run(args);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, QuietOutput());
        EXPECT_EQ(bench.BurnCallSet(),
                  (std::vector<std::string>{BurnLine("mstflint", kPort0, true),
                                            BurnLine("mstflint", kPort1, true)}));
    }
}

// The first adapter's flash already holds the newest image but the adapter still
// runs the old one: skipped as up to date, and its log says that it waits.
TEST(Upgrade, PlainSilentWithEverythingUpToDateDoesNothing) {
    Bench bench;
    TwoPorts(bench, kNew, kNew);
    bench.SetPortFile(kPort0, "running_version", std::string(kOld) + "\n");
    RunResult r = bench.Run({"-s"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, QuietOutput());
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(bench.BurnCalls().empty());
    const std::string log = bench.EventLog();
    EXPECT_EQ(CountOf(log, "*** WARNING *** - Installed firmware is the latest firmware"), 2);
    EXPECT_EQ(CountOf(log,
                      "is_FW_needed: 0000:0b:00.0 already holds 16.35.3000 on its flash but "
                      "runs 16.35.2000; it waits for a reboot (or a reset of the adapter) "
                      "to load it\n"),
              1)
        << log;
    EXPECT_EQ(CountOf(log, "waits for a reboot"), 1);
}

// A tool that exits 0 but leaves the flash as it was has not burnt: in every mode
// the query after it finds the old version, and the verdict line, the status bits
// (exit status), the summary message, the reboot notice and the restart mark all
// follow that. The second adapter's burn (-s -f rewrites it; the replay's report
// says rewrite) is verified and still needs the reboot.
TEST(Upgrade, BurnThatLeavesTheFlashAsItWasFails) {
    const struct {
        const char* name;
        std::vector<std::string> args;
        const char* input;
        bool console;    // the verdict lines and final messages are shown
        bool second_ok;  // the second adapter is burnt and verified
    } cases[] = {
        {"interactive", {}, "y\nn\n", true, false},
        {"assume_yes", {"-y"}, "", true, false},
        {"silent", {"-s"}, "", false, false},
        {"forced_silent", {"-s", "-f"}, "", false, true},
        {"replay", {"-u", "plan.xml"}, "", false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bench bench;
        TwoPorts(bench, kOld, kNew);
        bench.SetPortFile(kPort0, "burn_no_write", "");
        if (!c.args.empty() && c.args[0] == "-u") {
            ASSERT_EQ(bench.Run({"-d", "plan.xml"}).status, 0);
        }
        RunResult r = bench.Run(c.args, c.input);
        EXPECT_EQ(r.status, 2) << r.out << r.err;
        EXPECT_EQ(bench.PortVersion(kPort0), kOld);
        const std::string log = bench.EventLog();
        EXPECT_TRUE(LoggedAsError(log, "do_update_firmware: burning ./nic_fw/" +
                                           std::string(kImage) +
                                           " into 0000:0b:00.0 failed: the burning tool exited "
                                           "with code 0, but the flash holds 16.35.2000, not "
                                           "16.35.3000; the outputs are in /tmp/data"))
            << log;
        EXPECT_EQ(CountOf(log, "Upgrade SUCCESS"), c.second_ok ? 1 : 0) << log;
        EXPECT_EQ(Contains(r.out, "Firmware Flashed:\tFAILED   for interface 0000:0b:00.0"),
                  c.console);
        EXPECT_FALSE(Contains(r.out, "SUCCESS  for interface 0000:0b:00.0"));
        EXPECT_EQ(Contains(r.out, kWithErrors), c.console) << r.out;
        EXPECT_FALSE(Contains(r.out, kReboot)) << r.out;
        if (Bench::NamespacesAvailable()) {
            EXPECT_EQ(bench.RunFileExists("reboot-required"), c.second_ok);
        }
    }
}

// After a verified burn, in every mode, the host is marked as needing a restart
// (Debian's /run/reboot-required, "fwpak" once in its .pkgs); a failed burn marks
// nothing, and a /run that takes no file costs a warning, not the run.
TEST(Upgrade, VerifiedBurnMarksRebootRequired) {
    REQUIRE_NAMESPACES();
    const char kMark[] = "*** System restart required ***\n";
    const struct {
        const char* name;
        std::vector<std::string> args;
        const char* input;
        const char* seed_pkgs;  // null: no file before the run
        bool read_only;
        const char* burn_exit;
        int status;
        const char* pkgs;  // null: no file after the run
    } cases[] = {
        {"silent", {"-s"}, "", nullptr, false, "0", 0, "fwpak\n"},
        {"interactive", {}, "y\nn\n", nullptr, false, "0", 0, "fwpak\n"},
        {"assume_yes",
         {"-y"},
         "",
         "linux-image-amd64\n",
         false,
         "0",
         0,
         "linux-image-amd64\nfwpak\n"},
        {"forced_silent", {"-s", "-f"}, "", "fwpak\nsystemd", false, "0", 0, "fwpak\nsystemd"},
        {"failed_burn", {"-s"}, "", nullptr, false, "1", 2, nullptr},
        {"read_only_run", {"-s"}, "", nullptr, true, "0", 0, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bench bench;
        TwoPorts(bench, kOld, kNew);
        bench.SetPortFile(kPort0, "burn_exit", c.burn_exit);
        if (c.seed_pkgs != nullptr)
            bench.SetRunFile("reboot-required.pkgs", c.seed_pkgs);
        if (c.read_only)
            bench.MakeRunReadOnly();
        RunResult r = bench.Run(c.args, c.input);
        EXPECT_EQ(r.status, c.status) << r.out << r.err;
        EXPECT_EQ(bench.RunFileExists("reboot-required"), c.pkgs != nullptr);
        EXPECT_EQ(bench.RunFileExists("reboot-required.pkgs"), c.pkgs != nullptr);
        if (c.pkgs != nullptr) {
            EXPECT_EQ(bench.RunFile("reboot-required"), kMark);
            EXPECT_EQ(bench.RunFile("reboot-required.pkgs"), c.pkgs);
        }
        EXPECT_EQ(CountOf(bench.EventLog(), "note_reboot_required: cannot add"),
                  c.read_only ? 2 : 0)
            << bench.EventLog();
    }
}

// The tool refuses to burn over an image that the adapter has not loaded yet: a
// failed burn whose log says to reboot first.
TEST(Upgrade, BurnOverAWaitingImageIsRefusedRebootFirst) {
    Bench bench;
    TwoPorts(bench, kOld, kNew);
    bench.SetPortFile(kPort0, "running_version", "16.35.1000\n");
    bench.SetPortFile(kPort0, "burn_refusal", "pending");
    RunResult r = bench.Run({"-s"});
    EXPECT_EQ(r.status, 2);
    const std::string log = bench.EventLog();
    EXPECT_TRUE(LoggedAsError(log, kUpgradeFailed)) << log;
    EXPECT_TRUE(LoggedAsError(log,
                              "do_update_firmware: 0000:0b:00.0 already has a burnt image on "
                              "its flash that the adapter has not loaded; reboot first (or "
                              "reset the adapter), then burn again\n"))
        << log;
    EXPECT_EQ(bench.PortVersion(kPort0), kOld);
}

struct SilentCase {
    const char* name;
    const char* version1;
    const char* psid1;
    std::vector<std::string> burnt;
};

// The second port comes after a burn of the first: the run-status bits of that burn
// must not make a plain silent run re-flash (or downgrade) it.
TEST(Upgrade, PlainSilentBurnsOnlyNewerFirmware) {
    const SilentCase cases[] = {
        {"newer_then_up_to_date", kNew, kPsid, {kPort0}},
        {"newer_then_installed_is_newer", "16.36.1000", kPsid, {kPort0}},
        {"newer_then_no_catalog_images", kNew, "MT_0000000999", {kPort0}},
    };
    for (const SilentCase& c : cases) {
        SCOPED_TRACE(c.name);
        Bench bench;
        TwoPorts(bench, kOld, kOld);
        bench.SetPort(kPort1, c.version1, c.psid1);
        RunResult r = bench.Run({"-s"});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, QuietOutput());
        EXPECT_EQ(bench.BurnCalls(),
                  (std::vector<std::string>{BurnLine("mstflint", kPort0, true)}));
        EXPECT_EQ(bench.PortVersion(kPort1), c.version1);
    }
}

TEST(Upgrade, SilentUpToDateBesideAdapterWithoutImagesReturnsZero) {
    Bench bench;
    TwoPorts(bench, kNew, kNew);
    bench.SetPort(kPort1, kNew, "MT_0000000999");
    RunResult r = bench.Run({"-s"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, QuietOutput());
    EXPECT_TRUE(bench.BurnCalls().empty());
}

struct FailureCase {
    const char* name;
    std::vector<std::string> args;
    const char* input;
    const char* burn_output;
    const char* logged;
};

TEST(Upgrade, FailedBurnSearchesItsOutputForPsidMismatch) {
    const FailureCase cases[] = {
        {"mismatch_interactive",
         {},
         "y\nn\n",
         "-E- PSID mismatch. The PSID on flash differs\n",
         kNotSupported},
        {"mismatch_silent", {"-s"}, "", "-E- psid MISMATCH\n", kNotSupported},
        {"plain_interactive", {}, "y\nn\n", "-E- Burning failed: flash busy\n", kUpgradeFailed},
        {"plain_silent", {"-s"}, "", "-E- Burning failed: flash busy\n", kUpgradeFailed},
    };
    for (const FailureCase& c : cases) {
        SCOPED_TRACE(c.name);
        Bench bench;
        TwoPorts(bench, kOld, kNew);
        bench.SetPortFile(kPort0, "burn_exit", "1");
        bench.SetPortFile(kPort0, "burn_output", c.burn_output);
        RunResult r = bench.Run(c.args, c.input);
        EXPECT_EQ(r.status, 2);
        std::string log = bench.EventLog();
        EXPECT_TRUE(LoggedAsError(log, c.logged)) << log;
        EXPECT_FALSE(Contains(log, "Upgrade SUCCESS"));
        // The search is echoed in every run and reads a data file that got all the
        // tool's output, whether or not the console showed it too.
        std::string data_file = SearchedDataFile(r.out);
        ASSERT_NE(data_file, "") << r.out;
        EXPECT_EQ(ReadFileText(bench.HostPath(data_file)), c.burn_output);
        EXPECT_EQ(Contains(r.out, kWithErrors), c.args.empty());
        EXPECT_EQ(Contains(r.out, c.burn_output), c.args.empty());
    }
}

// Every wording with which the burning tools refuse an image for another board is
// the not-supported case; the refusal is on standard output and the tool exits 1.
TEST(Upgrade, EveryPsidRefusalWordingIsNotSupported) {
    for (const char* refusal : {"mismatch", "major", "header", "minor-locked"}) {
        SCOPED_TRACE(refusal);
        Bench bench;
        TwoPorts(bench, kOld, kNew);
        bench.AddImage(kImage, kNew, "MT_0000000008");
        bench.SetPortFile(kPort0, "burn_refusal", refusal);
        RunResult r = bench.Run({"-s"});
        EXPECT_EQ(r.status, 2);
        EXPECT_TRUE(LoggedAsError(bench.EventLog(), kNotSupported)) << bench.EventLog();
        std::string data = ReadFileText(bench.HostPath(SearchedDataFile(r.out)));
        EXPECT_TRUE(Contains(data, "(MT_0000000080)")) << data;
        EXPECT_TRUE(Contains(data, "(MT_0000000008)")) << data;
        EXPECT_EQ(bench.PortVersion(kPort0), kOld);
    }
}

// A script without its "#!" line runs under the shell (so the queries work) but
// cannot be executed directly, which is how the burn starts it.
TEST(Upgrade, BurningToolThatCannotBeExecutedFailsTheBurn) {
    Bench bench;
    TwoPorts(bench, kOld, kNew);
    std::string tool = bench.ReadPkgFile("nic_fw/mstflint");
    bench.WritePkgFile("nic_fw/mstflint", tool.substr(tool.find('\n') + 1));
    RunResult r = bench.Run({"-s"});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(Contains(bench.Calls(), "mstflint -d 0000:0b:00.0 q")) << bench.Calls();
    EXPECT_TRUE(bench.BurnCalls().empty());
    EXPECT_TRUE(LoggedAsError(bench.EventLog(), kUpgradeFailed)) << bench.EventLog();
    EXPECT_NE(SearchedDataFile(r.out), "");
    EXPECT_EQ(bench.PortVersion(kPort0), kOld);
}

TEST(Upgrade, BurnKilledBySignalFailsAndTheRunGoesOn) {
    Bench bench;
    TwoPorts(bench, kOld, kOld);
    bench.SetPortFile(kPort0, "burn_signal", "KILL");
    RunResult r = bench.Run({"-s"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(bench.BurnCalls().size(), 2u);
    std::string log = bench.EventLog();
    EXPECT_TRUE(LoggedAsError(log, kUpgradeFailed)) << log;
    EXPECT_TRUE(Contains(log,
                         " into 0000:0b:00.0 failed: the burning tool was killed by signal 9 "
                         "(SIGKILL); its output is in /tmp/data"))
        << log;
    EXPECT_EQ(CountOf(log, "Upgrade SUCCESS"), 1);
    EXPECT_EQ(bench.PortVersion(kPort0), kOld);
    EXPECT_EQ(bench.PortVersion(kPort1), kNew);
}

// The tool stops itself for a second mid-burn. It still holds the flash: the run
// waits for it to finish, and its exit code 0 is a success.
TEST(Upgrade, StoppedBurnIsWaitedForUntilItFinishes) {
    Bench bench;
    TwoPorts(bench, kOld, kOld);
    bench.SetPortFile(kPort0, "burn_stop", "");
    RunResult r = bench.Run({"-s"});
    EXPECT_EQ(r.status, 0);
    // Read right after the run: a burn still running would not have installed it yet.
    EXPECT_EQ(bench.PortVersion(kPort0), kNew);
    EXPECT_EQ(bench.PortVersion(kPort1), kNew);
    EXPECT_EQ(CountOf(bench.EventLog(), "Upgrade SUCCESS"), 2);
    EXPECT_FALSE(Contains(bench.EventLog(), "[ERROR]"));
}

TEST(Upgrade, SecureBootBurnsWithInstalledFlint) {
    REQUIRE_NAMESPACES();
    Bench bench;
    SecureBootSetup sb;
    sb.mokutil_line = "SecureBoot enabled";
    bench.SetSecureBoot(sb);
    TwoPorts(bench, kOld, kNew);
    RunResult r = bench.Run({"-s"});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(bench.BurnCalls(), (std::vector<std::string>{BurnLine("flint", kPort0, true)}));
    EXPECT_FALSE(Contains(bench.Calls(), "mstflint")) << bench.Calls();
}

TEST(Upgrade, HighestVersionByNumberIsBurnt) {
    Bench bench;
    TwoPorts(bench, kOld, kOld);
    bench.SetPort(kPort1, kOld, "MT_0000000999");
    bench.UseCatalog("upgrade-numeric-order");
    bench.AddImage("fw-cx5-2.42.5000.bin", "2.42.5000");
    RunResult r = bench.Run({}, "y\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(Contains(r.out,
                         "Repository has these firmware versions............"
                         "[1] Image Version  2.42.5000\n[2] Image Version  16.35.3000\n"))
        << r.out;
    EXPECT_EQ(bench.BurnCalls(), (std::vector<std::string>{BurnLine("mstflint", kPort0, false)}));
    EXPECT_EQ(bench.PortVersion(kPort0), kNew);
}

TEST(Upgrade, SameVersionTwiceBurnsTheFirstInCatalogOrder) {
    Bench bench;
    TwoPorts(bench, kOld, kNew);
    bench.UseCatalog("upgrade-same-version");
    bench.AddImage("fw-cx5-first.bin", kNew);
    bench.AddImage("fw-cx5-second.bin", kNew);
    RunResult r = bench.Run({"-s"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(bench.BurnCalls(),
              (std::vector<std::string>{BurnLine("mstflint", kPort0, true, "fw-cx5-first.bin")}));
    EXPECT_TRUE(Contains(bench.EventLog(), "\nSelecting ConnectX-5 first build MAC:"));
}

TEST(Upgrade, NoMellanoxPortDoesNotComplete) {
    Bench bench;
    bench.AddDevices("intel");
    bench.UseCatalog("upgrade-cx5");
    RunResult r = bench.Run({});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Contains(r.out, kNotComplete)) << r.out;
    EXPECT_TRUE(bench.BurnCalls().empty());
    EXPECT_TRUE(LoggedAsError(bench.EventLog(),
                              "fwupg: no Mellanox port found on the PCI bus (network "
                              "devices listed: 1); nothing to upgrade\n"))
        << bench.EventLog();

    RunResult quiet = bench.Run({"-s"});
    EXPECT_EQ(quiet.status, 1);
    EXPECT_FALSE(Contains(quiet.out, kNotComplete));
}

// A port whose query gives no version or PSID is left out of every mode with a
// warning naming it and the data file; when no port is left, the reason is logged
// before the run says "check log".
TEST(Upgrade, UnqueriedPortIsNamedInTheLog) {
    for (const char* mode : {"", "-c", "-d"}) {
        SCOPED_TRACE(mode);
        Bench bench;
        TwoPorts(bench, kOld, kOld);
        bench.SetPortFile(kPort0, "query_output", "-E- Cannot open Device: 0000:0b:00.0.\n");
        RunResult r = bench.Run(
            *mode != '\0' ? std::vector<std::string>{mode} : std::vector<std::string>{}, "y\n");
        EXPECT_EQ(r.status, 0) << r.out;
        const std::string log = bench.EventLog();
        EXPECT_TRUE(Contains(log, "[WARNING]  ")) << log;
        EXPECT_TRUE(Contains(log,
                             "build_NIC_list: the query of 0000:0b:00.0 gave no firmware "
                             "version and no PSID; the port is left out (see /tmp/data"))
            << log;
    }
    Bench bench;
    TwoPorts(bench, kOld, kOld);
    bench.SetPortFile(kPort0, "version", "");
    bench.SetPortFile(kPort1, "psid", "");
    RunResult r = bench.Run({});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(Contains(r.out, kNotComplete)) << r.out;
    const std::string log = bench.EventLog();
    EXPECT_TRUE(Contains(log, "the query of 0000:0b:00.0 gave no firmware version;")) << log;
    EXPECT_TRUE(Contains(log, "the query of 0000:af:00.0 gave no PSID;")) << log;
    EXPECT_TRUE(LoggedAsError(log,
                              "fwupg: none of the 2 Mellanox ports could be queried for its "
                              "firmware version and PSID (see the warnings above); nothing to "
                              "upgrade\n"))
        << log;
}

// --- Runs that are interrupted or started oddly ------------------------------------

std::string Signals(const Bench& bench, const std::string& port) {
    return ReadFileText(bench.root() + "/state/devices/" + port + "/signals");
}

// A stop request mid-burn (Ctrl-C, kill, a dropped session) waits for the burn: the
// tool, in a process group of its own, gets no signal and no SIGPIPE and finishes;
// the verdict is logged, then the run logs the signal and the adapter and ends
// with 128+N before the next adapter is burnt.
TEST(Upgrade, StopSignalMidBurnLetsTheBurnFinish) {
    const struct {
        const char* mode;
        const char* signal;
        int number;
    } cases[] = {{"-y", "INT", 2}, {"-s", "TERM", 15}, {"-y", "HUP", 1}, {"-y", "QUIT", 3}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.mode) + " SIG" + c.signal);
        Bench bench;
        TwoPorts(bench, kOld, kOld);
        // One flash seen twice: the second burn waits for the first, so the stop
        // request comes before it would start.
        bench.SetPortFile(kPort1, "base_guid", "b8cef60300000b00");
        bench.SetPortFile(kPort0, "burn_traps", "");
        bench.SetPortFile(kPort0, "burn_interrupt", c.signal);
        RunResult r = bench.Run({c.mode});
        EXPECT_EQ(r.status, 128 + c.number) << r.out << r.err;
        EXPECT_EQ(bench.BurnCalls(),
                  (std::vector<std::string>{BurnLine("mstflint", kPort0, c.mode[1] == 's')}));
        EXPECT_EQ(bench.PortVersion(kPort0), kNew);
        EXPECT_EQ(bench.PortVersion(kPort1), kOld);
        EXPECT_EQ(Signals(bench, kPort0), "own-group\n");
        const std::string log = bench.EventLog();
        EXPECT_EQ(CountOf(log, "Upgrade SUCCESS"), 1) << log;
        EXPECT_TRUE(LoggedAsError(log, "do_update_firmware: the run was stopped by signal " +
                                           std::to_string(c.number) + " (SIG" + c.signal +
                                           ") during the burn of 0000:0b:00.0; that burn was "
                                           "finished, no further adapter is burnt\n"))
            << log;
        EXPECT_TRUE(Contains(r.err, std::string("fwpak: stopped by SIG") + c.signal +
                                        " after the burn of 0000:0b:00.0; see mstflint.log\n"))
            << r.err;
    }
}

// A tool that leaves a daemon holding its output: the run waits for the tool, not
// for the end of its output, and the live view still shows the progress.
TEST(Upgrade, ChildLeftBehindByTheToolIsNotWaitedFor) {
    Bench bench;
    TwoPorts(bench, kOld, kNew);
    bench.SetPortFile(kPort0, "burn_child", "20");
    const auto start = std::chrono::steady_clock::now();
    RunResult r = bench.Run({"-y"});
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_LT(seconds, 10.0);
    EXPECT_TRUE(Contains(r.out, "Burning FS4 FW image without signatures - OK\n")) << r.out;
    EXPECT_EQ(bench.PortVersion(kPort0), kNew);
}

// Whatever fwpak inherits: SIGCHLD ignored, standard descriptors closed, a console
// that goes away (a pager quit early). The burn runs, its verdict is logged, and no
// console text lands in the log. (All three descriptors closed at once is left out:
// the bench's PCI simulation itself cannot start without them.)
TEST(Upgrade, InheritedProcessStateIsRepaired) {
    const struct {
        const char* name;
        const char* launcher;
        const char* mode;
    } cases[] = {
        {"SIGCHLD ignored", "trap '' CHLD; exec \"$@\"", "-s"},
        {"standard output closed", "exec \"$@\" >&-", "-s"},
        {"descriptors 1-2 closed", "exec \"$@\" >&- 2>&-", "-y"},
        {"descriptor 0 closed", "exec \"$@\" <&-", "-y"},
        {"console gone", "\"$@\" | true", "-y"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bench bench;
        TwoPorts(bench, kOld, kOld);
        bench.SetPortFile(kPort0, "burn_traps", "");
        bench.SetLauncher(c.launcher);
        bench.Run({c.mode});
        const std::string log = bench.EventLog();
        EXPECT_EQ(CountOf(log, "Upgrade SUCCESS"), 2) << log;
        EXPECT_FALSE(Contains(log, "[ERROR]")) << log;
        EXPECT_FALSE(Contains(log, "Vornex")) << log;
        EXPECT_EQ(Signals(bench, kPort0), "own-group\n");
        EXPECT_EQ(bench.PortVersion(kPort1), kNew);
    }
}

// --- Burns side by side ------------------------------------------------------------

// A run's console or log with what differs between two runs of one scenario made
// equal: the data files' random names and the log's time stamps.
std::string Comparable(const std::string& text) {
    static const std::regex data_file("/tmp/data[A-Za-z0-9]{6}");
    static const std::regex stamp(
        "\\[[A-Z][a-z]{2} [A-Z][a-z]{2} [ 0-9][0-9] [0-9:]{8} [0-9]{4}\\]");
    return std::regex_replace(std::regex_replace(text, data_file, "/tmp/dataXXXXXX"), stamp,
                              "[time]");
}

// The log without the lines that say a burn starts: they are written when each
// tool starts, so their place differs between side-by-side and serial burns.
std::string WithoutStartLines(const std::string& log) {
    static const std::regex start_line(".*do_update_firmware: burning .* starts; .*\n\n");
    return std::regex_replace(log, start_line, "");
}

bool Overlap(const Bench::Span& a, const Bench::Span& b) {
    return a.start < b.end && b.start < a.end;
}

// The unattended modes burn different adapters at the same time and still write
// what the one-after-another run writes: the same run with both ports made one
// flash (same Base GUID) burns them one after the other, and console, log and exit
// status are the same. The first port's burn is the slower and fails, so its lines
// must wait for it although the second port finishes first.
TEST(Upgrade, SideBySideBurnsWriteWhatOneAfterAnotherWrites) {
    for (const std::vector<std::string>& mode :
         {std::vector<std::string>{"-y"}, {"-s", "-f"}, {"-s"}}) {
        SCOPED_TRACE(mode[0]);
        RunResult runs[2];
        std::string logs[2];
        for (int one_flash = 0; one_flash < 2; ++one_flash) {
            Bench bench;
            TwoPorts(bench, kOld, kOld);
            bench.SetPortFile(kPort0, "burn_sleep", "1");
            bench.SetPortFile(kPort0, "burn_exit", "1");
            if (one_flash == 1)
                bench.SetPortFile(kPort1, "base_guid", "b8cef60300000b00");
            runs[one_flash] = bench.Run(mode);
            logs[one_flash] = Comparable(WithoutStartLines(bench.EventLog()));
            EXPECT_EQ(CountOf(bench.EventLog(), " starts; the burning tool's output goes to "), 2);
            // Two queries, two burns, and the query that verifies the burn that
            // succeeded.
            std::vector<Bench::Span> burns;
            for (const Bench::Span& span : bench.ToolSpans())
                if (span.args.size() > 2 && span.args.compare(span.args.size() - 2, 2, " b") == 0)
                    burns.push_back(span);
            EXPECT_EQ(bench.ToolSpans().size(), 5u);
            ASSERT_EQ(burns.size(), 2u);
            EXPECT_EQ(Overlap(burns[0], burns[1]), one_flash == 0);
        }
        EXPECT_EQ(runs[0].status, 2);
        EXPECT_EQ(runs[0].status, runs[1].status);
        EXPECT_EQ(Comparable(runs[0].out), Comparable(runs[1].out));
        EXPECT_EQ(runs[0].err, runs[1].err);
        EXPECT_EQ(logs[0], logs[1]);
        EXPECT_LT(logs[0].find("Upgrade SUCCESS"), std::string::npos);
        EXPECT_LT(logs[0].find("into 0000:0b:00.0 failed"), logs[0].find("Upgrade SUCCESS"))
            << logs[0];
    }
}

// A stop request while two burns run: both finish and are logged, then 128+N.
TEST(Upgrade, StopSignalWaitsForEveryRunningBurn) {
    Bench bench;
    TwoPorts(bench, kOld, kOld);
    bench.SetPortFile(kPort0, "burn_interrupt", "INT");
    bench.SetPortFile(kPort1, "burn_sleep", "2");
    RunResult r = bench.Run({"-s"});
    EXPECT_EQ(r.status, 128 + 2) << r.err;
    EXPECT_EQ(bench.PortVersion(kPort0), kNew);
    EXPECT_EQ(bench.PortVersion(kPort1), kNew);
    const std::string log = bench.EventLog();
    EXPECT_EQ(CountOf(log, "Upgrade SUCCESS"), 2) << log;
    EXPECT_TRUE(Contains(log,
                         "the run was stopped by signal 2 (SIGINT) during the burn of "
                         "0000:af:00.0;"))
        << log;
}

// On a terminal each burning adapter has a progress line, redrawn in place and
// erased before the adapter's lines are written; without one, nothing extra.
TEST(Upgrade, ProgressLinesOnlyOnATerminal) {
    for (bool terminal : {true, false}) {
        SCOPED_TRACE(terminal ? "terminal" : "no terminal");
        Bench bench;
        TwoPorts(bench, kOld, kOld);
        bench.SetPortFile(kPort0, "burn_sleep", "1");
        if (terminal)
            bench.SetLauncher("exec script -qefc \"$*\" /dev/null");
        RunResult r = bench.Run({"-y"});
        EXPECT_EQ(r.status, 0) << r.out << r.err;
        const std::string line = std::string("  ") + kPort0 + "  ./nic_fw/" + kImage;
        EXPECT_EQ(Contains(r.out, line), terminal) << r.out;
        EXPECT_EQ(Contains(r.out, "burning"), terminal);
        EXPECT_EQ(Contains(r.out, "\033[1A\033[2K"), terminal);
        EXPECT_TRUE(Contains(r.out, "Firmware Flashed:\tSUCCESS  for interface 0000:af:00.0"));
    }
}

// One query per adapter, at most eight at once.
TEST(Upgrade, AtMostEightQueriesAtOnce) {
    Bench bench;
    std::vector<std::string> ports = bench.AddSriovAdapters(0x81, 10, 0);
    for (const std::string& port : ports) {
        bench.SetPort(port, kNew, kPsid);
        bench.SetPortFile(port, "query_sleep", "1");
    }
    bench.UseCatalog("upgrade-cx5");
    EXPECT_EQ(bench.Run({"-c"}).status, 0);
    const std::vector<Bench::Span> spans = bench.ToolSpans();
    ASSERT_EQ(spans.size(), ports.size());
    size_t most = 0;
    for (const Bench::Span& s : spans) {
        size_t at_once = 0;
        for (const Bench::Span& t : spans) at_once += t.start <= s.start && s.start < t.end;
        most = std::max(most, at_once);
    }
    EXPECT_EQ(most, 8u);
}

// --- One run at a time on the host ---------------------------------------------------

// While a burn runs, every other run is refused before its first query, naming
// the burning run, and the burn completes; queries share the lock.
TEST(HostLock, BurnHoldsOffOtherRunsQueriesShare) {
    REQUIRE_NAMESPACES();
    Bench bench;
    TwoPorts(bench, kOld, kNew);
    bench.SetPortFile(kPort0, "burn_hold", "");
    const int burning = bench.Start({"-s"}, "burning");
    ASSERT_TRUE(bench.WaitForPortFile(kPort0, "held"));
    // The Secure Boot check comes before the lock: only mokutil may run.
    const auto tool_calls = [&bench] {
        const std::vector<std::string> lines = bench.CallLines();
        return std::count_if(lines.begin(), lines.end(),
                             [](const std::string& l) { return l.rfind("mokutil ", 0) != 0; });
    };
    const auto calls = tool_calls();
    for (const std::vector<std::string>& mode :
         {std::vector<std::string>{"-s"}, {"-c"}, {"-u", "nicdiscovery.xml"}}) {
        SCOPED_TRACE(mode[0]);
        RunResult r = bench.Run(mode);
        EXPECT_EQ(r.status, 2);
        EXPECT_TRUE(Contains(r.err, "fwpak: another fwpak run holds /run/fwpak.lock: pid "))
            << r.err;
        EXPECT_TRUE(Contains(r.err, " (-s, exclusive, started ")) << r.err;
    }
    EXPECT_EQ(tool_calls(), calls);  // no tool of theirs ran
    bench.SetPortFile(kPort0, "release", "");
    RunResult first = bench.Finish(burning, "burning");
    EXPECT_EQ(first.status, 0) << first.err;
    EXPECT_EQ(bench.PortVersion(kPort0), kNew);
    EXPECT_EQ(CountOf(bench.EventLog(), "take_run_lock: another fwpak run holds"), 3);
    // No bus in the case's /run: the burn went on without the inhibitor, and said so.
    EXPECT_TRUE(
        Contains(bench.EventLog(), "ShutdownInhibitor: no shutdown inhibitor: no system bus"));

    // A query run waits in its query of the first adapter while another one runs.
    for (const char* file : {"release", "held", "burn_hold"}) bench.RemovePortFile(kPort0, file);
    bench.SetPortFile(kPort0, "query_hold", "");
    const int querying = bench.Start({"-c"}, "querying");
    ASSERT_TRUE(bench.WaitForPortFile(kPort0, "held"));
    bench.RemovePortFile(kPort0, "query_hold");
    RunResult beside = bench.Run({"-c"});
    EXPECT_EQ(beside.status, 0) << beside.err;
    bench.SetPortFile(kPort0, "release", "");
    EXPECT_EQ(bench.Finish(querying, "querying").status, 0);
}

// A run killed mid-burn: its tool finishes the burn and holds the lock until then;
// the log named the burn before the tool started; the next run that gets the lock
// reports the interrupted burn, and its query clears the record.
TEST(HostLock, KilledRunLeavesItsBurnOnTheDisk) {
    REQUIRE_NAMESPACES();
    Bench bench;
    TwoPorts(bench, kOld, kNew);
    bench.SetPortFile(kPort0, "burn_interrupt", "KILL");
    bench.SetPortFile(kPort0, "burn_hold", "");
    EXPECT_NE(bench.Run({"-s"}).status, 0);
    const std::string started = std::string("do_update_firmware: burning ./nic_fw/") + kImage +
                                " into " + kPort0 + " starts; the burning tool's output goes to ";
    EXPECT_TRUE(Contains(bench.EventLog(), started)) << bench.EventLog();
    EXPECT_FALSE(Contains(bench.EventLog(), "Upgrade SUCCESS"));

    RunResult early = bench.Run({"-s"});
    EXPECT_EQ(early.status, 2);
    EXPECT_TRUE(Contains(early.err, "which has ended: a tool it started still holds the lock"))
        << early.err;

    bench.SetPortFile(kPort0, "release", "");
    for (int i = 0; i < 600 && bench.ToolSpans().size() < 3; ++i) usleep(50 * 1000);
    EXPECT_EQ(bench.PortVersion(kPort0), kNew);  // the tool finished its burn
    RunResult later = bench.Run({"-c"});
    EXPECT_EQ(later.status, 0) << later.err;
    EXPECT_TRUE(Contains(later.err, std::string("fwpak: an earlier run ended during the burn of ") +
                                        kPort0 + " with ./nic_fw/" + kImage +
                                        "; query that adapter (fwpak -c) before anything else "
                                        "is done\n"))
        << later.err;
    EXPECT_TRUE(Contains(bench.EventLog(), std::string("forget_queried_burns: ") + kPort0 +
                                               " answers its query with firmware " + kNew));
    EXPECT_FALSE(Contains(bench.Run({"-c"}).err, "earlier run"));
}

// /run that cannot take the lock file (a read-only container): a warning in the
// log, and the run burns as before.
TEST(HostLock, ReadOnlyRunGoesOnWithAWarning) {
    REQUIRE_NAMESPACES();
    Bench bench;
    TwoPorts(bench, kOld, kNew);
    bench.MakeRunReadOnly();
    RunResult r = bench.Run({"-s"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(bench.PortVersion(kPort0), kNew);
    EXPECT_TRUE(Contains(bench.EventLog(),
                         "take_run_lock: /run/fwpak.lock could not be created or locked "
                         "(Read-only file system); this run goes on without the host lock"))
        << bench.EventLog();
}

// logind's inhibitor on a private system bus: the burning tools see it (taken before
// the first start), one for the burns side by side, naming both adapters; an
// interactive run holds one per burn, released before the next; none is left.
TEST(ShutdownInhibitor, HeldWhileBurnsRun) {
    REQUIRE_NAMESPACES();
    if (ShellStatus("/usr/bin/python3 -c 'import dbusmock' 2>/dev/null && "
                    "command -v dbus-daemon busctl dbus-send >/dev/null") != 0)
        GTEST_SKIP() << "needs dbus-daemon, busctl, dbus-send and python3-dbusmock";
    Bench bench;
    TwoPorts(bench, kOld, kOld);
    bench.UseSystemBus();
    for (const char* port : {kPort0, kPort1}) bench.SetPortFile(port, "burn_ask_inhibitors", "");
    EXPECT_EQ(bench.Run({"-s"}).status, 0);
    const std::string both =
        "a(ssssuu) 1 \"shutdown:sleep\" \"fwpak\" \"Writing the firmware of 0000:0b:00.0, "
        "0000:af:00.0\" \"block\"";
    EXPECT_TRUE(Contains(bench.PortFile(kPort0, "inhibitors_seen"), both))
        << bench.PortFile(kPort0, "inhibitors_seen");
    EXPECT_TRUE(Contains(bench.PortFile(kPort1, "inhibitors_seen"), both));
    EXPECT_EQ(bench.Inhibitors(), "a(ssssuu) 0\n");
    EXPECT_EQ(CountOf(bench.LogindLog(), " Inhibit "), 1) << bench.LogindLog();

    for (const char* port : {kPort0, kPort1}) bench.SetPort(port, kOld, kPsid);
    EXPECT_EQ(bench.Run({}, "y\ny\n").status, 0);
    for (const char* port : {kPort0, kPort1})
        EXPECT_TRUE(Contains(bench.PortFile(port, "inhibitors_seen"),
                             std::string("a(ssssuu) 1 \"shutdown:sleep\" \"fwpak\" \"Writing the "
                                         "firmware of ") +
                                 port + "\" \"block\""))
            << bench.PortFile(port, "inhibitors_seen");
    EXPECT_EQ(bench.Inhibitors(), "a(ssssuu) 0\n");
    EXPECT_FALSE(Contains(bench.EventLog(), "no shutdown inhibitor"));
}

}  // namespace

namespace {

// Before each burn its image passes strict modes (as root) and, with a checksum
// manifest, its digest: a refused image is a failed burn of its adapter alone,
// logged with the file and the fix or the two digests; the other adapter is burnt.
TEST(Upgrade, ImageChecksRefuseOnlyTheirOwnBurn) {
    const std::string kOther = "fw-cx5-other-16.35.3000.bin";
    const struct {
        const char* name;
        bool seal;
        mode_t mode;          // of the first adapter's image
        const char* changed;  // appended to that image after sealing
        const char* logged;
    } cases[] = {
        {"writable by others", false, 0666, "", "do_update_firmware: 0000:0b:00.0 not burnt: "},
        {"changed since sealed", true, 0644, "junk\n",
         "do_update_firmware: 0000:0b:00.0 not burnt: nic_fw/fw-cx5-16.35.3000.bin does not "
         "match nic_fw/SHA256SUMS (expected 53b149cc957d0c53fb26e9d19eede60f31ef694862fa1a8029ee"
         "48eae6b8ef90, found bbe44ffe747e126edfec93fb5db011afc48cf442f20450df6cc47db38967ef9d)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bench bench;
        bench.AddDevices("cx5-dual");
        bench.AddDevices("cx5-second");
        bench.SetPort(kPort0, kOld, kPsid);
        bench.SetPort(kPort1, kOld, "MT_0000000081");
        std::string catalog =
            ReadFileText(std::string(FWPAK_TEST_DATA) + "/catalog/upgrade-cx5.xml");
        catalog.insert(catalog.find("</NICFWData>"),
                       "<NIC name=\"Other\" venid=\"15B3\" devid=\"1017\" subvenid=\"15B3\" "
                       "PSID=\"MT_0000000081\" subdevid=\"0020\" rom=\"16.35.3000\" fwFile=\"" +
                           kOther + "\"/>\n");
        bench.SetCatalog(catalog);
        bench.AddImage(kImage, kNew, kPsid);
        bench.AddImage(kOther, kNew, "MT_0000000081");
        if (c.seal) {
            bench.UseProgram(FWPAK_REPO_BINARY);
            ASSERT_EQ(bench.Run({"seal"}).status, 0);
            bench.UseProgram(FWPAK_BINARY);
        }
        const std::string image = bench.pkg() + "/nic_fw/" + kImage;
        bench.WritePkgFile(std::string("nic_fw/") + kImage,
                           bench.ReadPkgFile(std::string("nic_fw/") + kImage) + c.changed);
        chmod(image.c_str(), c.mode);
        RunResult r = bench.Run({"-s"});
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(bench.BurnCalls(),
                  (std::vector<std::string>{BurnLine("mstflint", kPort1, true, kOther)}));
        const std::string log = bench.EventLog();
        EXPECT_TRUE(LoggedAsError(log, c.logged)) << log;
        if (!c.seal) {
            EXPECT_TRUE(Contains(log, image +
                                          " can be written by others (mode 0666); fix: "
                                          "chmod go-w " +
                                          image + "\n"))
                << log;
        }
        EXPECT_TRUE(Contains(log, "Upgrade SUCCESS")) << log;
    }
}

}  // namespace
