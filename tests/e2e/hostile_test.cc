// Hostile input and faults on the simulated server: catalogs, PCI buses, query
// output and reports made to break the program, and packages where the event log,
// the data files or the report cannot be written. Every case ends in a stated exit
// status and a message or log line, runs nothing that the input composed, and
// loses nothing.
#include <algorithm>
#include <chrono>
#include <sys/stat.h>

#include "bench.h"

namespace {

const char kPort[] = "0000:0b:00.0";
const char kPsid[] = "MT_0000000080";
const char kOld[] = "16.35.2000";
const char kNew[] = "16.35.3000";
const char kImage[] = "fw-cx5-16.35.3000.bin";
const char kNoMatch[] = "For 0000:0b:00.0 no matching firmware file in XML";
const size_t kOneMiB = 1 << 20;

// A catalog entry for the test port. `attribute`, when given, takes `value`; an
// attribute of another name is added before subdevid.
std::string Entry(const std::string& rom, const std::string& file,
                  const std::string& attribute = "", const std::string& value = "") {
    std::vector<std::pair<std::string, std::string>> attributes = {
        {"name", "ConnectX-5 EN"}, {"venid", "15B3"},    {"devid", "1017"}, {"subvenid", "15B3"},
        {"PSID", kPsid},           {"subdevid", "0020"}, {"rom", rom},      {"fwFile", file}};
    bool replaced = false;
    for (auto& a : attributes) {
        if (a.first == attribute) {
            a.second = value;
            replaced = true;
        }
    }
    if (!attribute.empty() && !replaced)
        attributes.insert(attributes.begin() + 5, {attribute, value});
    std::string text = "  <NIC";
    for (const auto& a : attributes) text += " " + a.first + "=\"" + a.second + "\"";
    return text + "/>\n";
}

std::string Catalog(const std::string& doctype, const std::string& body) {
    return "<?xml version=\"1.0\"?>\n" + doctype + "<NICFWData>\n" + body + "</NICFWData>\n";
}

// One ConnectX-5 port at 16.35.2000; the catalog is the case's.
void Cx5Server(Bench& bench, const std::string& catalog) {
    bench.AddDevices("cx5-dual");
    bench.SetPort(kPort, kOld, kPsid);
    bench.SetCatalog(catalog);
    bench.AddImage(kImage, kNew);
}

std::string SilentBurn(const std::string& port, const std::string& image) {
    return "mstflint -s -y -d " + port + " -i ./nic_fw/" + image + " b";
}

// The "Available" column of the first version row of -c for the port.
std::string FirstAvailable(const std::string& out) {
    const std::string head = "      ROM       16.35.2000    ROM\t\t";
    size_t at = out.find(head);
    if (at == std::string::npos)
        return "(no row)";
    at += head.size();
    std::string value = out.substr(at, out.find('\t', at) - at);
    return value.substr(value.find_first_not_of(' '));
}

// Runs and says how long the run took, in seconds.
RunResult TimedRun(Bench& bench, const std::vector<std::string>& args, double* seconds) {
    auto start = std::chrono::steady_clock::now();
    RunResult r = bench.Run(args);
    *seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return r;
}

// --- Catalog ----------------------------------------------------------------------

std::string EntityBomb() {
    std::string doctype = "<!DOCTYPE NICFWData [\n  <!ENTITY lol0 \"lol\">\n";
    for (int i = 1; i <= 9; ++i) {
        std::string refs;
        for (int k = 0; k < 10; ++k) refs += "&lol" + std::to_string(i - 1) + ";";
        doctype += "  <!ENTITY lol" + std::to_string(i) + " \"" + refs + "\">\n";
    }
    return doctype + "]>\n";
}

std::string QuadraticBlowup(std::string* references) {
    *references = "";
    for (int i = 0; i < 2000; ++i) *references += "&big;";
    return "<!DOCTYPE NICFWData [ <!ENTITY big \"" + std::string(200000, 'A') + "\"> ]>\n";
}

struct CatalogCase {
    const char* name;
    std::string catalog;
    const char* available;  // first "Available" version of -c
    const char* logged;     // in the event log
};

// A broken or hostile catalog ends its read: no entity is expanded, nothing outside
// the catalog is read, and the port shows what the catalog gave before the fault.
TEST(HostileCatalog, BrokenAndHostileDocuments) {
    const std::string secret = Entry("99.0.0", "stolen.bin", "name", "SECRET-MARKER");
    const std::string good = Entry(kNew, kImage);
    const std::string full = Catalog("", good + Entry("16.35.3100", "later.bin"));
    std::string references;
    const std::string quadratic = QuadraticBlowup(&references);
    const std::string bombed_entry = Entry(kNew, kImage, "name", "&lol9;");
    const CatalogCase cases[] = {
        {"truncated inside the first entry", full.substr(0, full.find("subdevid")), "Nothing",
         "nic_fw/NICFWData.xml is not well-formed"},
        {"truncated after the first entry", full.substr(0, full.find("later.bin")), kNew,
         "nic_fw/NICFWData.xml is not well-formed"},
        {"entity expansion bomb in an attribute", Catalog(EntityBomb(), bombed_entry + good),
         "Nothing", "is not well-formed"},
        {"entity expansion bomb in content", Catalog(EntityBomb(), good + "  <X>&lol9;</X>\n"),
         "Nothing", "is not well-formed"},
        {"quadratic blowup", Catalog(quadratic, good + "  <X>" + references + "</X>\n"), kNew, ""},
        {"external entity in content",
         Catalog("<!DOCTYPE NICFWData [ <!ENTITY ext SYSTEM \"SECRET\"> ]>\n", good + "&ext;\n"),
         kNew, ""},
        {"external parameter entity",
         Catalog("<!DOCTYPE NICFWData [ <!ENTITY % ext SYSTEM \"SECRET.dtd\"> %ext; ]>\n",
                 good + "&inner;\n"),
         "Nothing", "is not well-formed"},
        {"external document type", Catalog("<!DOCTYPE NICFWData SYSTEM \"SECRET.dtd\">\n", good),
         kNew, ""},
    };
    for (const CatalogCase& c : cases) {
        SCOPED_TRACE(c.name);
        Bench bench;
        Cx5Server(bench, c.catalog);
        bench.WritePkgFile("nic_fw/SECRET", secret);
        bench.WritePkgFile("nic_fw/SECRET.dtd", "<!ENTITY inner SYSTEM \"SECRET\">\n");
        double seconds = 0;
        RunResult r = TimedRun(bench, {"-c"}, &seconds);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_LT(seconds, 30);
        EXPECT_EQ(FirstAvailable(r.out), c.available) << r.out;
        EXPECT_FALSE(Contains(r.out, "99.0.0") || Contains(r.out, "SECRET-MARKER"));
        EXPECT_FALSE(Contains(r.out, "lollol") || Contains(r.out, "AAAA"));
        EXPECT_LT(r.out.size(), 8192u);
        EXPECT_TRUE(Contains(bench.EventLog(), c.logged)) << bench.EventLog();
    }
}

// A silent upgrade over a catalog cut short burns nothing and says why in the log;
// with no image for any port there is nothing to do (status 0).
TEST(HostileCatalog, TruncatedCatalogBurnsNothing) {
    Bench bench;
    const std::string full = Catalog("", Entry(kNew, kImage));
    Cx5Server(bench, full.substr(0, full.size() / 2));
    RunResult r = bench.Run({"-s"});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(bench.BurnCalls().empty());
    const std::string log = bench.EventLog();
    EXPECT_TRUE(Contains(log, "[WARNING]   ") && Contains(log, "is not well-formed")) << log;
    EXPECT_TRUE(Contains(log, kNoMatch)) << log;
}

// 10,000 entries for one adapter: the row keeps the 100 newest in its image slots,
// the console shows the 50 newest, the overflow is logged, and the run stays quick.
TEST(HostileCatalog, TenThousandEntriesForOneAdapter) {
    std::string body;
    for (int i = 1; i <= 10000; ++i)
        body += Entry("1." + std::to_string(i / 100) + "." + std::to_string(i % 100),
                      "fw-" + std::to_string(i) + ".bin");
    Bench bench;
    Cx5Server(bench, Catalog("", body));
    bench.SetPort(kPort, "1.0.0", kPsid);
    bench.AddImage("fw-10000.bin", "1.100.0");
    double seconds = 0;
    RunResult r = TimedRun(bench, {"-c"}, &seconds);
    EXPECT_EQ(r.status, 0);
    EXPECT_LT(seconds, 60);
    EXPECT_EQ(CountOf(r.out, "\t\t0000:0b:00.0\n"), 50);
    EXPECT_TRUE(Contains(r.out, "    ROM\t\t   1.99.51\t\t0000:0b:00.0\n")) << r.out;
    EXPECT_TRUE(Contains(r.out, "\t\t   1.100.0\t\t0000:0b:00.0\n\n"));
    EXPECT_TRUE(Contains(bench.EventLog(), "more than 100 catalog entries match")) << r.out;

    // Mend: the newest image is burnt, not the newest of the first 100 listed.
    r = bench.Run({"-s"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(bench.BurnCalls(), std::vector<std::string>{SilentBurn(kPort, "fw-10000.bin")});
    EXPECT_EQ(bench.PortVersion(kPort), "1.100.0");
}

struct HugeAttributeCase {
    const char* attribute;
    int status;    // of a silent upgrade
    size_t burns;  // burns made
    const char* logged;
};

// One attribute of the matching entry holds 1 MiB.
TEST(HostileCatalog, AttributeOfOneMebibyte) {
    const std::string huge(kOneMiB, '7');
    const HugeAttributeCase cases[] = {
        {"name", 0, 1, "Upgrade SUCCESS"},
        {"PSID", 0, 0, kNoMatch},
        {"rom", 0, 0, "has version \"7777777777"},  // not a version: skipped
        {"fwFile", 2, 0, "image path for 0000:0b:00.0 is longer than 999 characters"},
        {"unknown", 0, 1, "Upgrade SUCCESS"},
    };
    for (const HugeAttributeCase& c : cases) {
        SCOPED_TRACE(c.attribute);
        const std::string attribute = c.attribute;
        const std::string entry = attribute == "rom"      ? Entry(huge, kImage)
                                  : attribute == "fwFile" ? Entry(kNew, huge)
                                                          : Entry(kNew, kImage, attribute, huge);
        Bench bench;
        Cx5Server(bench, Catalog("", entry));
        RunResult r = bench.Run({"-s"});
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_EQ(bench.BurnCalls().size(), c.burns);
        EXPECT_TRUE(Contains(bench.EventLog(), c.logged)) << bench.EventLog().substr(0, 2000);
        EXPECT_LT(bench.EventLog().size(), 64u * 1024);
        // The table keeps 4095 bytes of a value at most (a PSID that long matches
        // nothing, so nothing of it is kept).
        EXPECT_EQ(Contains(bench.EventLog(), "is 1048576 bytes long; only its first 4095 are kept"),
                  attribute != "unknown" && attribute != "PSID")
            << bench.EventLog().substr(0, 2000);
    }
}

// Version fields of any length, as the tools print them (minors of 100 and above
// have four digits): read whole, shown as read, ranked as numbers; an entry whose
// version is not one is skipped, named in the log.
TEST(HostileVersions, WholeFieldsDecideTheBurnAndTheTable) {
    const struct {
        const char* installed;
        std::vector<std::string> catalog;  // image versions, in catalog order
        const char* burnt;                 // version burnt, or "" for none
        const char* logged;                // in the event log, or ""
    } cases[] = {
        {"13.2010.3146", {"13.2012.1004"}, "13.2012.1004", ""},
        {"13.2012.1004", {"13.2010.3146"}, "", ""},
        {"13.2010.3146", {"13.2010.3146", "13.201.9999"}, "", ""},
        {"1.4294967295.0", {"2.0.0", "1.4294967294.9"}, "2.0.0", ""},
        {"16.35.2000",
         {"16.35.3000", "16.35.4294967296"},
         "16.35.3000",
         "catalog entry ConnectX-5 EN (fw-16.35.4294967296.bin) for 0000:0b:00.0 has version "
         "\"16.35.4294967296\", not a version; skipped"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.installed);
        std::string body;
        for (const std::string& v : c.catalog) body += Entry(v, "fw-" + v + ".bin");
        Bench bench;
        bench.AddDevices("cx5-dual");
        bench.SetPort(kPort, c.installed, kPsid);
        bench.SetCatalog(Catalog("", body));
        for (const std::string& v : c.catalog) bench.AddImage("fw-" + v + ".bin", v);
        RunResult shown = bench.Run({"-c"});
        EXPECT_TRUE(Contains(shown.out, std::string("      ROM       ") + c.installed + "    ROM"))
            << shown.out;
        RunResult r = bench.Run({"-s"});
        std::vector<std::string> burns;
        if (c.burnt[0] != '\0')
            burns.push_back(SilentBurn(kPort, std::string("fw-") + c.burnt + ".bin"));
        EXPECT_EQ(bench.BurnCalls(), burns);
        EXPECT_TRUE(Contains(bench.EventLog(), c.logged)) << bench.EventLog();
    }
}

// --- PCI bus -----------------------------------------------------------------------

std::string PciFunction(int bus, int function, bool mellanox) {
    char address[16];
    snprintf(address, sizeof address, "0000:%02x:00.%d", bus, function);
    const std::string id = mellanox ? "15B3:1017" : "8086:1572";
    const std::string vendor = mellanox ? "0x15b3" : "0x8086";
    const std::string device = mellanox ? "0x1017" : "0x1572";
    const std::string config = mellanox ? "b3151710" : "86807215";
    return std::string("P: /devices/pci0000:00/") + address +
           "\nE: SUBSYSTEM=pci\nE: PCI_ID=" + id + "\nE: PCI_SUBSYS_ID=" + id.substr(0, 5) +
           "0020\nE: PCI_CLASS=20000\nA: vendor=" + vendor + "\nA: device=" + device +
           "\nA: subsystem_vendor=" + vendor + "\nA: subsystem_device=0x0020\nA: class=0x020000" +
           "\nA: irq=0\nA: resource=0x0000000000000000 0x0000000000000000 0x0000000000000000\n" +
           "H: config=" + config + "00000000000000020000800000000000000000000000000000000000" +
           "000000000000000000000000000000000000" + config.substr(0, 4) +
           "200000000000000000000000000000000000\n\n";
}

// 110 dual-function adapters: 220 network functions, more than the table's 100
// rows. The first function of the first 100 adapters is listed; the 10 past them
// are announced, each logged with its address, and never queried or burnt. Modes
// that act on every adapter cannot succeed; -c shows its table and the count.
TEST(HostilePci, MoreAdaptersThanTheTableHolds) {
    std::string devices;
    for (int bus = 0x10; bus < 0x10 + 110; ++bus) {
        const bool mellanox = bus == 0x10 || bus == 0x10 + 109;
        devices += PciFunction(bus, 0, mellanox) + PciFunction(bus, 1, mellanox);
    }
    const struct {
        const char* mode;
        int status;
    } modes[] = {{"-s", 2}, {"-d", 2}, {"-c", 0}};
    for (const auto& m : modes) {
        SCOPED_TRACE(m.mode);
        Bench bench;
        bench.AddDeviceText(devices);
        bench.SetPort("0000:10:00.0", kOld, kPsid);
        bench.SetPort("0000:7d:00.0", kOld, kPsid);
        bench.UseCatalog("upgrade-cx5");
        bench.AddImage(kImage, kNew);
        RunResult r = bench.Run({m.mode});
        EXPECT_EQ(r.status, m.status) << r.err;
        std::vector<std::string> burns;
        if (std::string(m.mode) == "-s")
            burns.push_back(SilentBurn("0000:10:00.0", kImage));
        EXPECT_EQ(bench.BurnCalls(), burns);
        EXPECT_FALSE(Contains(bench.Calls(), "0000:7d")) << bench.Calls();
        EXPECT_FALSE(Contains(bench.Calls(), ":00.1"));
        EXPECT_TRUE(Contains(r.err, "FWUPG_WARNING: 10 more network devices found than the 100"));
        std::string log = bench.EventLog();
        EXPECT_TRUE(Contains(log, "10 network devices beyond the first 100"));
        for (int bus = 0x10 + 100; bus < 0x10 + 110; ++bus) {
            char line[80];
            snprintf(line, sizeof line, "adapter 0000:%02x:00.0 left out: the table holds 100",
                     bus);
            EXPECT_TRUE(Contains(log, line)) << line;
        }
        EXPECT_EQ(Contains(r.out,
                           "10 network adapters left out of this table (it holds 100); "
                           "their addresses are in the event log.\n"),
                  std::string(m.mode) == "-c");
        if (std::string(m.mode) == "-c") {
            EXPECT_TRUE(Contains(r.out, "      ROM       16.35.2000    ROM"));
        }
    }
}

// SR-IOV servers: a virtual function has no flash of its own. Whatever the number
// of virtual functions per port (127 is the most), only the physical adapters are
// listed, each queried, burnt once and queried again.
TEST(SriovServer, VirtualFunctionsAreNeitherListedNorQueried) {
    const struct {
        int adapters;
        int vfs;
    } layouts[] = {{2, 8}, {1, 127}, {3, 0}};
    for (const auto& l : layouts) {
        SCOPED_TRACE(std::to_string(l.adapters) + " adapters, " + std::to_string(l.vfs) + " VFs");
        Bench bench;
        std::vector<std::string> ports = bench.AddSriovAdapters(0x81, l.adapters, l.vfs);
        std::vector<std::string> burns;
        for (const std::string& port : ports) {
            bench.SetPort(port, kOld, kPsid);
            burns.push_back(SilentBurn(port, kImage));
        }
        bench.UseCatalog("upgrade-cx5");
        bench.AddImage(kImage, kNew);
        RunResult r = bench.Run({"-s"});
        EXPECT_EQ(r.status, 0) << r.err;
        // The adapters' burns run side by side: compared as a set.
        std::vector<std::string> burnt = bench.BurnCalls();
        std::sort(burnt.begin(), burnt.end());
        EXPECT_EQ(burnt, burns);
        // One query before, and one that verifies it after, each adapter's burn.
        EXPECT_EQ(CountOf(bench.Calls(), " q\n"), 2 * l.adapters) << bench.Calls();
        EXPECT_FALSE(Contains(bench.EventLog(), "[ERROR]")) << bench.EventLog();
    }
}

// --- Query output --------------------------------------------------------------------

struct QueryCase {
    const char* name;
    std::string output;
    int status;         // of a silent upgrade
    size_t burns;       // burns made
    const char* shown;  // in the -c card line, or "" when the port is not shown
};

TEST(HostileQuery, OutputWithoutNewlineBinaryBytesAndLongLines) {
    const std::string normal =
        "FW Version:            16.35.2000\nPSID:                  " + std::string(kPsid) + "\n";
    const QueryCase cases[] = {
        {"no newline at all", "FW Version: 16.35.2000", 2, 0, ""},
        {"last line without newline", "FW Version: 16.35.2000\nPSID: MT_0000000080", 0, 1,
         "FW_VERSION 16.35.2000, BUS_INFO 0000:0b:00.0, PSID MT_0000000080\n"},
        {"binary bytes after the value",
         std::string("FW Version: 16.35.2000\0\xff\x01junk\nPSID: MT_0000000080\n", 50), 0, 1,
         "FW_VERSION 16.35.2000, BUS_INFO"},
        {"escape sequence in the PSID", "FW Version: 16.35.2000\nPSID: MT_0000000080\x1b[2J\n", 0,
         0, "PSID MT_0000000080\x1b[2J\n"},
        {"100 KiB line before the values", std::string(100 * 1024, 'x') + "\n" + normal, 0, 1,
         "FW_VERSION 16.35.2000, BUS_INFO"},
        // Cut to 49 digits, past any 32-bit field: not a version, the port not queried.
        {"100 KiB version value", "FW Version: " + std::string(100 * 1024, '9') + "\n" + normal, 2,
         0, ""},
    };
    for (const QueryCase& c : cases) {
        SCOPED_TRACE(c.name);
        Bench bench;
        Cx5Server(bench, Catalog("", Entry(kNew, kImage)));
        bench.SetPortFile(kPort, "query_output", c.output);
        RunResult shown = bench.Run({"-c"});
        EXPECT_EQ(shown.status, 0);
        if (c.shown[0] != '\0') {
            EXPECT_TRUE(Contains(shown.out, c.shown)) << shown.out.substr(0, 3000);
        } else {
            EXPECT_FALSE(Contains(shown.out, "Mellanox card info"));
        }
        EXPECT_LT(shown.out.size(), 8192u);

        RunResult r = bench.Run({"-s"});
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(bench.BurnCalls().size(), c.burns);
    }
}

// A PSID that carries control bytes cannot go into the report as XML: the
// discovery run fails (status 2) instead of saving a report nobody can read back.
TEST(HostileQuery, ControlBytesInThePsidFailTheReport) {
    Bench bench;
    Cx5Server(bench, Catalog("", Entry(kNew, kImage)));
    bench.SetPortFile(kPort, "query_output", "FW Version: 16.35.2000\nPSID: MT_\x01\x1b\n");
    RunResult r = bench.Run({"-d"});
    EXPECT_EQ(r.status, 2);
    EXPECT_FALSE(FileExists(bench.pkg() + "/nicdiscovery.xml"));
    EXPECT_TRUE(Contains(bench.EventLog(), "xml_discovery_report: Failed to build the report"))
        << bench.EventLog();
}

// --- Reports ---------------------------------------------------------------------------

struct DeviceFields {
    std::string busnumber = "0000:05";
    std::string devicenumber = "00";
    std::string funcnumber = "0";
    std::string firmware_id = "VNX1003000050";
    std::string product_id = "Vornex IB 560QSFP Adapter";
    std::string macaddress;
    std::string action = "upgrade";
    std::string devid = "1003";
};

std::string XmlEscaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '&')
            out += "&amp;";
        else if (c == '<')
            out += "&lt;";
        else if (c == '"')
            out += "&quot;";
        else
            out += c;
    }
    return out;
}

std::string Value(const std::string& indent, const std::string& name, const std::string& value) {
    return indent + "<" + name + " value=\"" + XmlEscaped(value) + "\"/>\n";
}

std::string Device(const DeviceFields& f) {
    const std::string in = "            ", in2 = "                ";
    return "        <device>\n" + Value(in, "device_id", "0000:05:00.0") +
           Value(in, "venid", "15B3") + Value(in, "devid", f.devid) +
           Value(in, "subvenid", "15B3") +
           Value(in, "subdevid", f.devid == "1003" ? "0050" : "0020") +
           Value(in, "macaddress", f.macaddress) + Value(in, "product_id", f.product_id) +
           Value(in, "busnumber", f.busnumber) + Value(in, "devicenumber", f.devicenumber) +
           Value(in, "funcnumber", f.funcnumber) + Value(in, "slotnumber", "") +
           Value(in, "nictype", "MELLANOX") + in + "<fw_item>\n" + Value(in2, "type", "ROM") +
           Value(in2, "firmware_id", f.firmware_id) + Value(in2, "version", "2.9.1530") +
           Value(in2, "active_version", "2.9.1200") + Value(in2, "action", f.action) + in +
           "</fw_item>\n        </device>\n";
}

std::string Report(const std::string& devices) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<qx_rom_discovery version=\"2.0.0.0\">\n"
           "    <type value=\"MELLANOX_NIC\"/>\n    <devices>\n" +
           devices + "    </devices>\n</qx_rom_discovery>\n";
}

void ReplayServer(Bench& bench, const std::string& report) {
    bench.UseCatalog("report-replay");
    bench.AddImage("fw-1003-2.9.1530.bin", "2.9.1530");
    bench.AddDevices("ib-bus05");
    bench.SetPort("0000:05:00.0", "2.9.1200", "VNX1003000050");
    bench.WritePkgFile("report.xml", report);
}

struct ReportCase {
    const char* name;
    std::string report;
    int status;
    size_t burns;
    const char* logged;
};

TEST(HostileReport, SizesAndDocumentFaults) {
    const std::string huge(kOneMiB, '0');
    DeviceFields normal;
    std::string sixty;
    for (int i = 0; i < 60; ++i) sixty += Device(normal);
    DeviceFields huge_bus, huge_psid, huge_product, huge_mac;
    huge_bus.busnumber = huge;
    huge_psid.firmware_id = huge;
    huge_product.product_id = huge;
    huge_mac.macaddress = huge;
    const std::string whole = Report(Device(normal));
    const std::string padded = whole + "<!--" + std::string(16 * kOneMiB, ' ') + "-->\n";
    const ReportCase cases[] = {
        {"larger than 16 MiB", padded, 2, 0, "report.xml is larger than 16 MiB"},
        {"60 devices", Report(sixty), 2, 0, "report.xml names 60 devices, more than the 50"},
        {"1 MiB bus number", Report(Device(huge_bus)), 2, 0,
         "the bus address of device 0 is longer than 19 characters"},
        {"1 MiB firmware_id", Report(Device(huge_psid)), 2, 0,
         "the firmware_id of device 0 is longer than 499 characters"},
        {"1 MiB product name", Report(Device(huge_product)), 0, 1, "Upgrade SUCCESS"},
        // Mend: the verdict of the success line no longer falls off a 4096-byte log text.
        {"1 MiB MAC address", Report(Device(huge_mac)), 0, 1, "Upgrade SUCCESS"},
        {"1 MiB MAC address is cut", Report(Device(huge_mac)), 0, 1,
         "process_node: the macaddress of device 0 is 1048576 bytes long; only its first 4095 "
         "are kept"},
        {"truncated document", whole.substr(0, whole.find("<fw_item>")), 2, 0,
         "read_discovery_report: Failed to parse report.xml"},
        {"document type with an external entity",
         "<?xml version=\"1.0\"?>\n<!DOCTYPE qx_rom_discovery [ <!ENTITY x SYSTEM "
         "\"/etc/hostname\"> ]>\n" +
             whole.substr(whole.find('\n') + 1),
         2, 0, "has a document type declaration"},
    };
    for (const ReportCase& c : cases) {
        SCOPED_TRACE(c.name);
        Bench bench;
        ReplayServer(bench, c.report);
        RunResult r = bench.Run({"-u", "report.xml"});
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_EQ(bench.BurnCalls().size(), c.burns);
        const std::string log = bench.EventLog();
        EXPECT_TRUE(Contains(log, c.logged)) << log.substr(0, 2000);
        EXPECT_LT(log.size(), 64u * 1024);
    }
}

// Bus-address values that a shell would read as commands: nothing is run for the
// device (no lookup, no burn), and no file appears.
TEST(HostileReport, BusAddressesThatWouldRunCommands) {
    const struct {
        const char* field;
        const char* value;
    } cases[] = {
        {"busnumber", "0000:05;touch HACKED"}, {"busnumber", "$(touch HACKED)"},
        {"busnumber", "`touch HACKED`"},       {"devicenumber", "00|touch HACKED"},
        {"funcnumber", "0 && touch HACKED"},   {"funcnumber", "0\ntouch HACKED"},
        {"devicenumber", "00 -i /etc/passwd"}, {"busnumber", "../../0000:05"},
    };
    for (const auto& c : cases) {
        for (const char* devid : {"1003", "1017"}) {  // plain image, and the lookup's placeholder
            SCOPED_TRACE(std::string(c.field) + " = " + c.value + ", device " + devid);
            DeviceFields f;
            f.devid = devid;
            f.firmware_id = std::string(devid) == "1003" ? "VNX1003000050" : "VNX1017000020";
            std::string field = c.field;
            (field == "busnumber"      ? f.busnumber
             : field == "devicenumber" ? f.devicenumber
                                       : f.funcnumber) = c.value;
            Bench bench;
            ReplayServer(bench, Report(Device(f)));
            RunResult r = bench.Run({"-u", "report.xml"});
            EXPECT_EQ(r.status, 2);
            EXPECT_TRUE(bench.BurnCalls().empty());
            EXPECT_FALSE(Contains(bench.Calls(), "getmlnxinfo"));
            EXPECT_FALSE(FileExists(bench.pkg() + "/HACKED") ||
                         FileExists(bench.root() + "/HACKED"));
            EXPECT_TRUE(Contains(bench.EventLog(), "no valid PCI bus address") ||
                        Contains(bench.EventLog(), "bus address of device 0 is longer"))
                << bench.EventLog();
        }
    }
}

// Mend: a value from a report, the catalog or the command line that holds a newline
// and a forged entry header stays on its own log line, shown escaped.
TEST(HostileReport, ValuesCannotForgeLogEntries) {
    const std::string forged = "[ERROR]     [Thu Jan  1 00:00:00 1970] forged";
    const std::string in_xml = "x&#10;" + forged;
    DeviceFields mac, psid;
    mac.macaddress = "MAC";
    psid.firmware_id = "PSID";
    auto with_newline = [&](const std::string& report, const std::string& marker) {
        std::string text = report;
        text.replace(text.find("\"" + marker + "\""), marker.size() + 2, "\"" + in_xml + "\"");
        return text;
    };
    const struct {
        const char* name;
        std::string report;
        std::string catalog;  // empty: the replay's
        std::vector<std::string> args;
    } cases[] = {
        {"report MAC", with_newline(Report(Device(mac)), "MAC"), "", {"-u", "report.xml"}},
        {"report firmware_id",
         with_newline(Report(Device(psid)), "PSID"),
         "",
         {"-u", "report.xml"}},
        {"catalog name", "", Catalog("", Entry(kNew, kImage, "name", in_xml)), {"-s"}},
        {"report path", Report(Device(DeviceFields())), "", {"-u", "x\n" + forged}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bench bench;
        if (c.catalog.empty())
            ReplayServer(bench, c.report);
        else
            Cx5Server(bench, c.catalog);
        bench.Run(c.args);
        const std::string log = bench.EventLog();
        EXPECT_FALSE(Contains(log, "\n" + forged)) << log;
        EXPECT_TRUE(Contains(log, "x\\n" + forged)) << log;
    }
}

// A report path that does not fit the 4096-byte path buffer is refused before the
// banner (usage, status 1); one that fits but names nothing readable or writable
// fails its mode (status 2) with a log line.
TEST(HostileReport, OverlongReportPaths) {
    Bench bench;
    ReplayServer(bench, Report(Device(DeviceFields())));
    const std::string too_long(5000, 'r');
    for (const char* mode : {"-u", "-d"}) {
        SCOPED_TRACE(mode);
        RunResult r = bench.Run({mode, too_long});
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(Contains(r.out, "USAGE: fwpak"));
        EXPECT_FALSE(Contains(r.out, "SecureBoot"));
    }
    std::string fits;
    while (fits.size() < 4000) fits += std::string(200, 'd') + "/";
    fits += "report.xml";
    RunResult r = bench.Run({"-u", fits});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(Contains(bench.EventLog(), "read_discovery_report: Failed to open ddd"));
    r = bench.Run({"-d", fits});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(Contains(bench.EventLog(), "Failed to create a temporary file beside ddd"));
    EXPECT_TRUE(bench.BurnCalls().empty());
}

// Mend: the report path is opened as it stands. libxml2, given a file name, falls
// back to the name with its "%XX" sequences decoded, which replayed report.xml for
// "-u rep%6frt.xml".
TEST(HostileReport, PercentSequencesInTheReportPathAreNotDecoded) {
    Bench bench;
    ReplayServer(bench, Report(Device(DeviceFields())));
    RunResult r = bench.Run({"-u", "rep%6frt.xml"});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(bench.BurnCalls().empty());
    EXPECT_TRUE(Contains(bench.EventLog(), "read_discovery_report: Failed to open rep%6frt.xml"));

    bench.WritePkgFile("rep%6frt.xml", bench.ReadPkgFile("report.xml"));
    EXPECT_EQ(bench.Run({"-u", "rep%6frt.xml"}).status, 0);
    EXPECT_EQ(bench.BurnCalls().size(), 1u);
}

// --- Faults of the package directory and the machine -----------------------------------

// Every mode opens the event log first; when it cannot be created the run ends
// with status 1 and the fatal line, before any tool runs.
TEST(HostileFault, EventLogCannotBeCreated) {
    const std::vector<std::vector<std::string>> modes = {
        {}, {"-s"}, {"-y"}, {"-s", "-f"}, {"-c"}, {"-d"}, {"-u", "report.xml"}};
    for (bool read_only : {false, true}) {
        if (read_only && !Bench::NamespacesAvailable())
            continue;  // the directory case below still runs
        for (const auto& args : modes) {
            SCOPED_TRACE((read_only ? "read-only package, " : "log is a directory, ") +
                         (args.empty() ? std::string("no option") : args[0]));
            Bench bench;
            Cx5Server(bench, Catalog("", Entry(kNew, kImage)));
            bench.WritePkgFile("report.xml", Report(Device(DeviceFields())));
            if (read_only)
                bench.MakeReadOnly("");
            else
                ASSERT_EQ(mkdir((bench.pkg() + "/mstflint.log").c_str(), 0755), 0);
            RunResult r = bench.Run(args);
            EXPECT_EQ(r.status, 1);
            EXPECT_TRUE(Contains(r.err, read_only
                                            ? "FWUPG_ERROR: could not open mstflint.log (30), "
                                            : "FWUPG_ERROR: could not open mstflint.log (21), "))
                << r.err;
            EXPECT_TRUE(bench.BurnCalls().empty());
            EXPECT_FALSE(Contains(bench.Calls(), " q\n"));
        }
    }
}

// /tmp cannot take the data files: the inventory says so and goes on; a burn,
// whose output could not be kept for the mismatch search, is refused and fails the
// run (status 2), and the adapter keeps its firmware.
TEST(HostileFault, TmpUnwritableForTheDataFiles) {
    REQUIRE_NAMESPACES();
    Bench bench;
    Cx5Server(bench, Catalog("", Entry(kNew, kImage)));
    bench.MakeTmpReadOnly();
    RunResult r = bench.Run({"-c"});
    EXPECT_EQ(r.status, 0) << r.err;
    // Mend: the message names the pattern, not the name of a file that was never made.
    EXPECT_TRUE(Contains(r.out, "Not able to open this /tmp/dataXXXXXX file\n")) << r.out;
    EXPECT_EQ(FirstAvailable(r.out), kNew);

    r = bench.Run({"-s"});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(bench.BurnCalls().empty());
    EXPECT_TRUE(
        Contains(bench.EventLog(), "no data file could be created, 0000:0b:00.0 not burnt"));
    EXPECT_EQ(bench.PortVersion(kPort), kOld);

    EXPECT_EQ(bench.Run({"-d"}).status, 0);
    EXPECT_TRUE(Contains(bench.ReadPkgFile("nicdiscovery.xml"), "MT_0000000080"));
}

// The burning tool dies by a signal part-way through its progress: the burn is a
// failure in every mode that burns, and the adapter keeps its firmware.
TEST(HostileFault, BurningToolKilledMidBurn) {
    for (const char* signal : {"KILL", "TERM", "SEGV", "ABRT"}) {
        for (const char* mode : {"-s", "-y"}) {
            SCOPED_TRACE(std::string(signal) + " " + mode);
            Bench bench;
            Cx5Server(bench, Catalog("", Entry(kNew, kImage)));
            bench.SetPortFile(kPort, "burn_signal", signal);
            RunResult r = bench.Run({mode});
            EXPECT_EQ(r.status, 2);
            EXPECT_EQ(bench.BurnCalls().size(), 1u);
            const std::string log = bench.EventLog();
            EXPECT_TRUE(Contains(log, "Upgrade failed")) << log;
            EXPECT_FALSE(Contains(log, "SUCCESS"));
            EXPECT_EQ(bench.PortVersion(kPort), kOld);
            if (std::string(mode) == "-y") {
                EXPECT_TRUE(Contains(r.out, "- 40%"));  // the live progress up to the kill
            }
        }
    }
    Bench bench;
    ReplayServer(bench, Report(Device(DeviceFields())));
    bench.SetPortFile("0000:05:00.0", "burn_signal", "KILL");
    EXPECT_EQ(bench.Run({"-u", "report.xml"}).status, 2);
    EXPECT_EQ(bench.PortVersion("0000:05:00.0"), "2.9.1200");
}

// A report that cannot be saved fails the run, and whatever stood at the path
// before is left exactly as it was.
TEST(HostileFault, ReportCannotBeSaved) {
    const struct {
        const char* name;
        const char* path;
        bool needs_namespace;
    } cases[] = {
        {"read-only directory", "ro/report.xml", true},
        {"missing directory", "missing/report.xml", false},
        {"path is a directory", "ro", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.needs_namespace && !Bench::NamespacesAvailable())
            continue;
        Bench bench;
        Cx5Server(bench, Catalog("", Entry(kNew, kImage)));
        ASSERT_EQ(mkdir((bench.pkg() + "/ro").c_str(), 0755), 0);
        bench.WritePkgFile("ro/report.xml", "previous report\n");
        if (c.needs_namespace)
            bench.MakeReadOnly("ro");
        RunResult r = bench.Run({"-d", c.path});
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(bench.ReadPkgFile("ro/report.xml"), "previous report\n");
        EXPECT_TRUE(Contains(bench.EventLog(), std::string("xml_discovery_report: Failed to ")))
            << bench.EventLog();
    }
}

}  // namespace
