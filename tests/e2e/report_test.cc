// The discovery report (-d) and its replay (-u) on the simulated server: the
// report's exact bytes, the burns a replay makes, and the statuses and log texts
// of both modes.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <thread>
#include <unistd.h>

#include "bench.h"

namespace {

const char kExampleBus[] = "0000:05:00.0";
const char kExamplePsid[] = "VNX1003000050";

std::string TestData(const std::string& rel) {
    return ReadFileText(std::string(FWPAK_TEST_DATA) + "/" + rel);
}

std::string Burn(const std::string& bus, const std::string& image) {
    return "mstflint -s -y -d " + bus + " -i ./nic_fw/" + image + " b";
}

// The query that verifies a burn whose tool exited 0.
std::string Query(const std::string& bus) {
    return "mstflint -d " + bus + " q";
}

// The calls of the burning tool and the image lookup, without the Secure Boot check
// that every run makes first.
std::vector<std::string> ToolCalls(const Bench& bench) {
    std::vector<std::string> calls;
    for (const std::string& line : bench.CallLines()) {
        if (line.rfind("mokutil ", 0) != 0)
            calls.push_back(line);
    }
    return calls;
}

// The worked example's server: one port at 0000:05:00.0, installed 2.9.1200,
// catalog images 2.9.1530 and 2.9.1000.
void ExampleServer(Bench& bench) {
    bench.AddDevices("ib-bus05");
    bench.SetPort(kExampleBus, "2.9.1200", kExamplePsid);
    bench.UseCatalog("report-example");
}

// --- Discovery report -----------------------------------------------------------

TEST(DiscoveryReport, WorkedExampleByteForByte) {
    Bench bench;
    ExampleServer(bench);
    RunResult r = bench.Run({"-d"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(bench.ReadPkgFile("nicdiscovery.xml"), TestData("report/worked-example.xml"));
    EXPECT_FALSE(Contains(r.out, "List of Network Adapters"));  // console text is suppressed
    EXPECT_EQ(ToolCalls(bench), (std::vector<std::string>{"mstflint -d 0000:05:00.0 q"}));
}

TEST(DiscoveryReport, SlashFormAndExplicitPath) {
    Bench bench;
    ExampleServer(bench);
    EXPECT_EQ(bench.Run({"/d"}).status, 0);
    EXPECT_EQ(bench.ReadPkgFile("nicdiscovery.xml"), TestData("report/worked-example.xml"));
    EXPECT_EQ(bench.Run({"-d", "reports.xml"}).status, 0);
    EXPECT_EQ(bench.ReadPkgFile("reports.xml"), TestData("report/worked-example.xml"));
}

// Only ports whose version and PSID were read are reported, in table order; a port
// without a catalog entry has an empty product and version and the action Nothing.
TEST(DiscoveryReport, MixedServer) {
    Bench bench;
    bench.AddDevices("ib-bus05");
    bench.AddDevices("cx5-dual");
    bench.AddDevices("intel");
    bench.AddDevices("ib");
    bench.SetPort(kExampleBus, "2.9.1200", kExamplePsid);
    bench.SetPort("0000:0b:00.0", "", "VNX1017000020");          // no version: left out
    bench.SetPort("0000:5e:00.0", "2.9.1530", "VNX1003999999");  // not in the catalog
    bench.UseCatalog("report-example");
    RunResult r = bench.Run({"-d", "mixed.xml"});
    EXPECT_EQ(r.status, 0) << r.err;

    const std::string report = bench.ReadPkgFile("mixed.xml");
    EXPECT_EQ(CountOf(report, "        <device>\n"), 2) << report;
    EXPECT_FALSE(Contains(report, "0000:0b"));
    EXPECT_FALSE(Contains(report, "0000:3b"));
    const size_t second = report.find("<device_id value=\"0000:5e:00.0\"/>");
    ASSERT_NE(second, std::string::npos);
    EXPECT_LT(report.find("<device_id value=\"0000:05:00.0\"/>"), second);
    const std::string tail = report.substr(second);
    EXPECT_TRUE(Contains(tail, "            <product_id value=\"\"/>\n"));
    EXPECT_TRUE(Contains(tail, "            <busnumber value=\"0000:5e\"/>\n"));
    EXPECT_TRUE(Contains(tail, "                <firmware_id value=\"VNX1003999999\"/>\n"));
    EXPECT_TRUE(Contains(tail, "                <version value=\"\"/>\n"));
    EXPECT_TRUE(Contains(tail, "                <active_version value=\"2.9.1530\"/>\n"));
    EXPECT_TRUE(Contains(tail, "                <action value=\"Nothing\"/>\n"));
    EXPECT_TRUE(Contains(tail, "            <macaddress value=\"\"/>\n"));
    EXPECT_TRUE(Contains(tail, "            <slotnumber value=\"\"/>\n"));
}

TEST(DiscoveryReport, NoMellanoxPortTouchesNoFile) {
    Bench bench;
    bench.AddDevices("intel");
    bench.UseCatalog("report-example");
    bench.WritePkgFile("nicdiscovery.xml", "previous report\n");
    EXPECT_EQ(bench.Run({"-d"}).status, 2);
    EXPECT_EQ(bench.ReadPkgFile("nicdiscovery.xml"), "previous report\n");
    EXPECT_EQ(bench.Run({"-d", "fresh.xml"}).status, 2);
    EXPECT_FALSE(FileExists(bench.pkg() + "/fresh.xml"));
    // A roll-out reads this line to count the server as one with nothing to do.
    EXPECT_TRUE(Contains(bench.EventLog(),
                         "] discover_HW: no Mellanox adapter found, no report written\n"));
    EXPECT_FALSE(Contains(bench.EventLog(), "[ERROR]"));
}

TEST(DiscoveryReport, NoPortQueriedIsStatusTwo) {
    Bench bench;
    bench.AddDevices("ib-bus05");
    bench.SetPort(kExampleBus, "", kExamplePsid);
    bench.UseCatalog("report-example");
    EXPECT_EQ(bench.Run({"-d"}).status, 2);
    EXPECT_FALSE(FileExists(bench.pkg() + "/nicdiscovery.xml"));
    EXPECT_TRUE(Contains(bench.EventLog(), "[ERROR]     [") &&
                Contains(bench.EventLog(),
                         "] discover_HW: no Mellanox adapter could be queried, "
                         "no report written\n"));
}

TEST(DiscoveryReport, SecondRunReplacesTheReport) {
    Bench bench;
    ExampleServer(bench);
    ASSERT_EQ(bench.Run({"-d"}).status, 0);
    bench.SetPort(kExampleBus, "2.9.1530", kExamplePsid);
    ASSERT_EQ(bench.Run({"-d"}).status, 0);
    const std::string report = bench.ReadPkgFile("nicdiscovery.xml");
    EXPECT_TRUE(Contains(report, "<active_version value=\"2.9.1530\"/>"));
    EXPECT_TRUE(Contains(report, "<action value=\"rewrite\"/>"));
    EXPECT_EQ(CountOf(report, "<device>"), 1);
}

// Mend: a report that cannot be saved is a failure, and the old one stays whole.
TEST(DiscoveryReport, UnwritableDirectoryKeepsTheOldReport) {
    REQUIRE_NAMESPACES();
    Bench bench;
    ExampleServer(bench);
    ASSERT_EQ(mkdir((bench.pkg() + "/ro").c_str(), 0755), 0);
    bench.WritePkgFile("ro/report.xml", "previous report\n");
    bench.MakeReadOnly("ro");
    EXPECT_EQ(bench.Run({"-d", "ro/report.xml"}).status, 2);
    EXPECT_EQ(bench.ReadPkgFile("ro/report.xml"), "previous report\n");
    EXPECT_TRUE(Contains(bench.EventLog(),
                         "xml_discovery_report: Failed to create a temporary file beside "
                         "ro/report.xml (Read-only file system)"))
        << bench.EventLog();
}

// Mend: a target that is not a regular file is written in place (a device node
// stays a device node), a symbolic link stays a link and its target is replaced,
// and a file name of 255 bytes still leaves room for the temporary name.
TEST(DiscoveryReport, TargetsThatAreNotPlainFiles) {
    if (getuid() != 0)
        GTEST_SKIP() << "needs root to make device nodes in the package";
    const std::string long_name = std::string(251, 'n') + ".xml";
    const struct {
        const char* name;
        std::string path;       // given to -d
        std::string report_at;  // where the report must be; empty: nowhere
        int status;
        const char* logged;
    } cases[] = {
        {"null device", "null", "", 0, nullptr},
        {"full device", "full", "", 2, "xml_discovery_report: Failed to save full (No space"},
        {"link to a report", "link.xml", "sub/real.xml", 0, nullptr},
        {"link to nothing yet", "dangling.xml", "sub/made.xml", 0, nullptr},
        {"255-byte name", long_name, long_name, 0, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bench bench;
        ExampleServer(bench);
        const std::string pkg = bench.pkg() + "/";
        ASSERT_EQ(mknod((pkg + "null").c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
        ASSERT_EQ(mknod((pkg + "full").c_str(), S_IFCHR | 0666, makedev(1, 7)), 0);
        ASSERT_EQ(mkdir((pkg + "sub").c_str(), 0755), 0);
        bench.WritePkgFile("sub/real.xml", "previous report\n");
        ASSERT_EQ(symlink("sub/real.xml", (pkg + "link.xml").c_str()), 0);
        ASSERT_EQ(symlink("sub/made.xml", (pkg + "dangling.xml").c_str()), 0);

        RunResult r = bench.Run({"-d", c.path});
        EXPECT_EQ(r.status, c.status) << bench.EventLog();
        struct stat st;
        for (const char* device : {"null", "full"}) {
            ASSERT_EQ(lstat((pkg + device).c_str(), &st), 0);
            EXPECT_TRUE(S_ISCHR(st.st_mode)) << device;
        }
        for (const char* link : {"link.xml", "dangling.xml"}) {
            ASSERT_EQ(lstat((pkg + link).c_str(), &st), 0);
            EXPECT_TRUE(S_ISLNK(st.st_mode)) << link;
        }
        if (!c.report_at.empty()) {
            EXPECT_TRUE(Contains(bench.ReadPkgFile(c.report_at), "<qx_rom_discovery"));
        }
        if (c.logged != nullptr) {
            EXPECT_TRUE(Contains(bench.EventLog(), c.logged)) << bench.EventLog();
        }
    }
}

// --- Replay ---------------------------------------------------------------------

// A package with the replay catalog, its images and the report under test.
void ReplayPackage(Bench& bench, const std::string& report) {
    bench.UseCatalog("report-replay");
    bench.AddImage("fw-1003-2.9.1000.bin", "2.9.1000");
    bench.AddImage("fw-1003-2.9.1530.bin", "2.9.1530");
    bench.AddImage("fw-1017-16.35.2000.bin", "16.35.2000");
    bench.WritePkgFile("report.xml", TestData("report/" + report + ".xml"));
    for (const char* bus : {"0000:05:00.0", "0000:06:00.0", "0000:07:00.0", "0000:08:00.0",
                            "0000:09:00.0", "0000:0b:00.0"})
        bench.SetPort(bus, "2.9.1200", kExamplePsid);
}

// The three flash words anywhere in the action burn; Nothing does not. The image is
// the newest catalog entry for the key (2.9.1530, listed after 2.9.1000), whatever
// version the report names.
TEST(Replay, ActionsBurnTheNewestCatalogImageSilently) {
    for (const char* option : {"-u", "-su"}) {
        SCOPED_TRACE(option);
        Bench bench;
        ReplayPackage(bench, "replay-actions");
        RunResult r = bench.Run({option, "report.xml"});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(ToolCalls(bench),
                  (std::vector<std::string>{
                      Burn("0000:05:00.0", "fw-1003-2.9.1530.bin"), Query("0000:05:00.0"),
                      Burn("0000:06:00.0", "fw-1003-2.9.1530.bin"), Query("0000:06:00.0"),
                      Burn("0000:07:00.0", "fw-1003-2.9.1530.bin"), Query("0000:07:00.0"),
                      Burn("0000:09:00.0", "fw-1003-2.9.1530.bin"), Query("0000:09:00.0")}));
        EXPECT_EQ(bench.PortVersion("0000:05:00.0"), "2.9.1530");
        EXPECT_EQ(bench.PortVersion("0000:08:00.0"), "2.9.1200");
        EXPECT_FALSE(Contains(bench.EventLog(), "[ERROR]"));
    }
}

// A report from a named pipe gives its text once: the replay reads it once and
// runs both passes over that.
TEST(Replay, ReportFromANamedPipe) {
    Bench bench;
    ReplayPackage(bench, "replay-two");
    const std::string fifo = bench.pkg() + "/report.fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string report = bench.ReadPkgFile("report.xml");
    std::thread writer([&] {
        int fd = open(fifo.c_str(), O_WRONLY);
        if (fd >= 0) {
            EXPECT_EQ(write(fd, report.data(), report.size()), static_cast<ssize_t>(report.size()));
            close(fd);
        }
    });
    RunResult r = bench.Run({"-u", "report.fifo"});
    // Releases the writer if the run never opened the pipe.
    int release = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    writer.join();
    if (release >= 0)
        close(release);
    EXPECT_EQ(r.status, 0) << bench.EventLog();
    EXPECT_FALSE(bench.BurnCalls().empty());
}

TEST(Replay, MissingAndMalformedReports) {
    Bench bench;
    ReplayPackage(bench, "replay-malformed");
    RunResult missing = bench.Run({"-u", "absent.xml"});
    EXPECT_EQ(missing.status, 2);
    EXPECT_TRUE(Contains(bench.EventLog(), "] read_discovery_report: Failed to open absent.xml\n"));
    RunResult malformed = bench.Run({"-u", "report.xml"});
    EXPECT_EQ(malformed.status, 2);
    EXPECT_TRUE(
        Contains(bench.EventLog(), "] read_discovery_report: Failed to parse report.xml\n"));
    bench.WritePkgFile("empty.xml", "");
    EXPECT_EQ(bench.Run({"-u", "empty.xml"}).status, 2);
    EXPECT_TRUE(Contains(bench.EventLog(), "] read_discovery_report: Failed to parse empty.xml\n"));
    EXPECT_EQ(bench.Run({"-u", "nic_fw"}).status, 2);
    EXPECT_TRUE(Contains(bench.EventLog(), "] read_discovery_report: Failed to open nic_fw\n"));
    EXPECT_TRUE(ToolCalls(bench).empty());
}

TEST(Replay, ReportWithoutDevices) {
    Bench bench;
    ReplayPackage(bench, "replay-no-devices");
    EXPECT_EQ(bench.Run({"-u", "report.xml"}).status, 2);
    EXPECT_TRUE(
        Contains(bench.EventLog(), "] read_discovery_report: Error at read_NIC_FW_xml_file\n"));
    EXPECT_TRUE(ToolCalls(bench).empty());
}

// Without the catalog the run ends with 1 before anything is burnt, and the log says
// why (the reader's line is written although the device's lines were held back).
TEST(Replay, MissingCatalogEndsTheRunWithStatusOne) {
    Bench bench;
    ReplayPackage(bench, "replay-two");
    ASSERT_EQ(unlink((bench.pkg() + "/nic_fw/NICFWData.xml").c_str()), 0);
    RunResult r = bench.Run({"-u", "report.xml"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(Contains(bench.EventLog(), "[ERROR]    "));
    EXPECT_TRUE(Contains(bench.EventLog(), "] Unable to open nic_fw/NICFWData.xml\n"));
    EXPECT_TRUE(ToolCalls(bench).empty());
}

// The self-closing device opens no row: the full device fills row 0 and burns,
// the empty last row matches nothing and counts as the one error.
TEST(Replay, SelfClosingDevice) {
    Bench bench;
    ReplayPackage(bench, "replay-self-closing");
    EXPECT_EQ(bench.Run({"-u", "report.xml"}).status, 0);
    EXPECT_EQ(ToolCalls(bench),
              (std::vector<std::string>{Burn("0000:05:00.0", "fw-1003-2.9.1530.bin"),
                                        Query("0000:05:00.0")}));
}

// Another root, data in other attributes, and an element with two attributes whose
// later value wins (devid 8086 then 1003).
TEST(Replay, ValuesByElementNameOnly) {
    Bench bench;
    ReplayPackage(bench, "replay-attributes");
    EXPECT_EQ(bench.Run({"-u", "report.xml"}).status, 0);
    EXPECT_EQ(ToolCalls(bench),
              (std::vector<std::string>{Burn("0000:05:00.0", "fw-1003-2.9.1530.bin"),
                                        Query("0000:05:00.0")}));
}

TEST(Replay, NoCatalogEntryIsAnErrorOnlyWhenAllFail) {
    Bench bench;
    ReplayPackage(bench, "replay-unknown-psid");
    EXPECT_EQ(bench.Run({"-u", "report.xml"}).status, 0);  // the Nothing device went through
    EXPECT_TRUE(ToolCalls(bench).empty());
    EXPECT_TRUE(
        Contains(bench.EventLog(),
                 "read_discovery_report: No firmware for 15B3-1003-15B3-0050-VNX1003999999"));
}

TEST(Replay, CatalogEntryWithoutImageName) {
    Bench bench;
    ReplayPackage(bench, "replay-no-image-name");
    EXPECT_EQ(bench.Run({"-u", "report.xml"}).status, 0);
    EXPECT_EQ(ToolCalls(bench),
              (std::vector<std::string>{Burn("0000:05:00.0", "fw-1003-2.9.1530.bin"),
                                        Query("0000:05:00.0")}));
    EXPECT_TRUE(Contains(bench.EventLog(), "names no image file"));
}

TEST(Replay, PlaceholderResolvedThroughTheLookup) {
    Bench bench;
    ReplayPackage(bench, "replay-pelmora");
    bench.SetPortFile("0000:0b:00.0", "lookup_answer", "srv01#fw-1017-16.35.2000.bin\n");
    RunResult r = bench.Run({"-u", "report.xml"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ToolCalls(bench).front(), "getmlnxinfo imgfile 0000:0b:00.0");
    EXPECT_EQ(bench.BurnCallSet(),
              (std::vector<std::string>{Burn("0000:05:00.0", "fw-1003-2.9.1530.bin"),
                                        Burn("0000:0b:00.0", "fw-1017-16.35.2000.bin")}));
    EXPECT_EQ(bench.PortVersion("0000:0b:00.0"), "16.35.2000");
}

// A lookup that finds no image, fails, or answers without an image name ends the
// mode at once: later devices are left untouched.
TEST(Replay, PlaceholderNotFoundOrFailing) {
    const struct {
        const char* file;
        const char* content;
    } cases[] = {{"lookup_answer", "0\n"}, {"lookup_exit", "3"}, {"lookup_answer", "srv01#\n"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        Bench bench;
        ReplayPackage(bench, "replay-pelmora");
        bench.SetPortFile("0000:0b:00.0", c.file, c.content);
        EXPECT_EQ(bench.Run({"-u", "report.xml"}).status, 2);
        EXPECT_EQ(ToolCalls(bench), (std::vector<std::string>{"getmlnxinfo imgfile 0000:0b:00.0"}));
        EXPECT_TRUE(Contains(bench.EventLog(),
                             "] read_discovery_report: Error in finding the image for "
                             "Pelmora/Quillet2\n"));
    }
}

// Mend: only a device's own failed burn counts as its error, and any failed burn
// makes the replay fail, first or last.
TEST(Replay, FailedBurnFirstOrLast) {
    for (const char* failing : {"0000:05:00.0", "0000:06:00.0"}) {
        SCOPED_TRACE(failing);
        Bench bench;
        ReplayPackage(bench, "replay-two");
        bench.SetPortFile(failing, "burn_exit", "1");
        EXPECT_EQ(bench.Run({"-u", "report.xml"}).status, 2);
        // Only the burn whose tool exited 0 is verified.
        std::vector<std::string> calls = {Burn("0000:05:00.0", "fw-1003-2.9.1530.bin"),
                                          Burn("0000:06:00.0", "fw-1003-2.9.1530.bin")};
        const std::string other =
            failing == std::string("0000:05:00.0") ? "0000:06:00.0" : "0000:05:00.0";
        calls.insert(calls.begin() + (other == "0000:05:00.0" ? 1 : 2), Query(other));
        EXPECT_EQ(ToolCalls(bench), calls);
        const std::string log = bench.EventLog();
        EXPECT_TRUE(Contains(log, "read_discovery_report: 1 of 2 devices failed")) << log;
        EXPECT_FALSE(Contains(log, "Error at read_NIC_FW_xml_file"));
    }
}

// A stop request during a replayed burn lets that burn finish, then ends the replay
// with 128+N before the next device.
TEST(Replay, StopSignalEndsTheReplayAfterTheBurn) {
    Bench bench;
    ReplayPackage(bench, "replay-two");
    bench.SetPortFile("0000:05:00.0", "burn_interrupt", "TERM");
    EXPECT_EQ(bench.Run({"-u", "report.xml"}).status, 128 + 15);
    EXPECT_EQ(ToolCalls(bench),
              (std::vector<std::string>{Burn("0000:05:00.0", "fw-1003-2.9.1530.bin"),
                                        Query("0000:05:00.0")}));
    EXPECT_EQ(bench.PortVersion("0000:05:00.0"), "2.9.1530");
    EXPECT_TRUE(Contains(bench.EventLog(),
                         "stopped by signal 15 (SIGTERM) during the burn of "
                         "0000:05:00.0; that burn was finished"))
        << bench.EventLog();
}

// Mend: a bus address rebuilt from report text runs nothing unless it is a plain
// PCI address; neither the lookup's shell command nor the burning tool sees it.
TEST(Replay, HostileBusAddressRunsNothing) {
    Bench bench;
    ReplayPackage(bench, "replay-hostile");
    RunResult r = bench.Run({"-u", "report.xml"});
    EXPECT_EQ(r.status, 0);  // the last device went through
    EXPECT_EQ(ToolCalls(bench),
              (std::vector<std::string>{Burn("0000:06:00.0", "fw-1003-2.9.1530.bin"),
                                        Query("0000:06:00.0")}));
    EXPECT_FALSE(FileExists(bench.pkg() + "/pwned"));
    const std::string log = bench.EventLog();
    EXPECT_EQ(CountOf(log, "has no valid PCI bus address"), 3) << log;
    EXPECT_TRUE(Contains(log, "the bus address of device 0 is longer than 19 characters"));
    EXPECT_TRUE(Contains(log, "device 1 has no valid PCI bus address (0;touch pwned:00.0)"));
    EXPECT_FALSE(Contains(r.out, "getmlnxinfo"));
}

TEST(Replay, MoreDevicesThanTheReplayTakes) {
    Bench bench;
    ReplayPackage(bench, "replay-two");
    const std::string two = bench.ReadPkgFile("report.xml");
    const size_t first = two.find("        <device>");
    const size_t end = two.find("        </device>\n") + std::string("        </device>\n").size();
    std::string devices;
    for (int i = 0; i < 51; ++i) devices += two.substr(first, end - first);
    bench.WritePkgFile("report.xml",
                       two.substr(0, first) + devices + two.substr(two.find("    </devices>")));
    EXPECT_EQ(bench.Run({"-u", "report.xml"}).status, 2);
    EXPECT_TRUE(ToolCalls(bench).empty());
    EXPECT_TRUE(Contains(bench.EventLog(), "report.xml names 51 devices, more than the 50"));
}

// The report a discovery run writes replays as it stands. After the burn the
// adapter runs its old firmware until a reboot: the next report carries the running
// version beside the flash's (and recommends by the flash's: the burn is done), and
// that report replays as well.
TEST(Replay, DiscoveryThenReplay) {
    Bench bench;
    ExampleServer(bench);
    bench.AddImage("fw-1003-2.9.1530.bin", "2.9.1530");
    ASSERT_EQ(bench.Run({"-d"}).status, 0);
    RunResult r = bench.Run({"-u", "nicdiscovery.xml"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ToolCalls(bench).back(), "mstflint -d 0000:05:00.0 q");  // the verification
    EXPECT_EQ(ToolCalls(bench).end()[-2], Burn(kExampleBus, "fw-1003-2.9.1530.bin"));
    EXPECT_EQ(bench.PortVersion(kExampleBus), "2.9.1530");
    if (Bench::NamespacesAvailable()) {
        EXPECT_EQ(bench.RunFile("reboot-required.pkgs"), "fwpak\n");
    }

    ASSERT_EQ(bench.Run({"-d", "waiting.xml"}).status, 0);
    std::string waiting = TestData("report/worked-example.xml");
    waiting.replace(waiting.find("<active_version value=\"2.9.1200\"/>"),
                    std::string("<active_version value=\"2.9.1200\"/>").size(),
                    "<active_version value=\"2.9.1530\"/>\n"
                    "                <running_version value=\"2.9.1200\"/>");
    waiting.replace(waiting.find("\"upgrade\""), 9, "\"rewrite\"");
    EXPECT_EQ(bench.ReadPkgFile("waiting.xml"), waiting);
    EXPECT_EQ(bench.Run({"-u", "waiting.xml"}).status, 0);
    EXPECT_EQ(ToolCalls(bench).end()[-2], Burn(kExampleBus, "fw-1003-2.9.1530.bin"));
}

}  // namespace
