// fwpak-export on the simulated server: the JSON and the metrics of the report that
// fwpak -d wrote there, and the command line's usage errors and exit statuses.
#include "bench.h"

namespace {

// The discovery report of the worked example's server, then fwpak-export in its
// package directory.
void ReportedServer(Bench& bench) {
    bench.AddDevices("ib-bus05");
    bench.SetPort("0000:05:00.0", "2.9.1200", "VNX1003000050");
    bench.UseCatalog("report-example");
    RunResult d = bench.Run({"-d"});
    ASSERT_EQ(d.status, 0) << d.err;
    bench.UseProgram(FWPAK_EXPORT_BINARY);
}

TEST(Export, JsonAndMetricsOfTheServersReport) {
    Bench bench;
    ReportedServer(bench);
    RunResult j = bench.Run({"--json"});
    EXPECT_EQ(j.status, 0) << j.err;
    EXPECT_TRUE(Contains(j.out, "  \"report\": \"nicdiscovery.xml\",\n")) << j.out;
    EXPECT_TRUE(Contains(j.out,
                         "      \"address\": \"0000:05:00.0\",\n"
                         "      \"psid\": \"VNX1003000050\",\n"
                         "      \"vendor_id\": \"15B3\",\n"
                         "      \"device_id\": \"1003\",\n"))
        << j.out;
    EXPECT_TRUE(Contains(j.out,
                         "      \"installed_version\": \"2.9.1200\",\n"
                         "      \"activation_pending\": false,\n"
                         "      \"available_version\": \"2.9.1530\",\n"
                         "      \"action\": \"upgrade\"\n"))
        << j.out;

    RunResult p = bench.Run({"--prometheus", "."});
    EXPECT_EQ(p.status, 0) << p.err;
    EXPECT_TRUE(Contains(bench.ReadPkgFile("fwpak.prom"),
                         "fwpak_update_available{address=\"0000:05:00.0\",psid=\"VNX1003000050\"} "
                         "1\n"));
}

TEST(Export, UsageErrorsAndStatuses) {
    Bench bench;
    ReportedServer(bench);
    bench.WritePkgFile("cut.xml", "<qx_rom_discovery><devices>");
    const struct {
        std::vector<std::string> args;
        int status;
        const char* err;  // a part of standard error
    } cases[] = {
        {{}, 2, "fwpak-export: one of --json and --prometheus is needed\nUsage: fwpak-export"},
        {{"--json", "-p", "x.prom"}, 2, "fwpak-export: one of --json and --prometheus"},
        {{"--json", "a.xml", "b.xml"}, 2, "fwpak-export: one report at most\n"},
        {{"--prometheus", ""}, 2, "fwpak-export: --prometheus wants a file or a directory\n"},
        {{"-x"}, 2, "invalid option -- 'x'\nfwpak-export: unknown option\n"},
        {{"--json", "missing.xml"},
         1,
         "fwpak-export: missing.xml cannot be opened or read: No such file or directory\n"},
        {{"--json", "cut.xml"},
         1,
         "fwpak-export: cut.xml is not well-formed XML: Extra content at the end of the "
         "document\n"},
        {{"-p", "none/fwpak.prom"},
         2,
         "fwpak-export: none/fwpak.prom: cannot create a temporary file beside it: No such file"},
        {{"-p", "cut.prom", "cut.xml"},
         1,
         "fwpak-export: cut.xml is not well-formed XML: Extra content at the end of the document\n"
         "fwpak-export: cut.prom written with fwpak_discovery_success 0\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.empty() ? "(none)" : c.args[0] + " " + c.args.back());
        RunResult r = bench.Run(c.args);
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_TRUE(Contains(r.err, c.err)) << r.err;
        EXPECT_FALSE(Contains(r.err, "parser error")) << r.err;  // libxml2's own lines
        if (c.status != 0) {
            EXPECT_EQ(r.out, "");
        }
    }
    EXPECT_EQ(bench.ReadPkgFile("cut.prom"),
              "# HELP fwpak_discovery_success 1 when the discovery report could be read, else 0.\n"
              "# TYPE fwpak_discovery_success gauge\n"
              "fwpak_discovery_success 0\n");
    RunResult h = bench.Run({"-h"});
    EXPECT_EQ(h.status, 0);
    EXPECT_EQ(h.out.rfind("Usage: fwpak-export --json [REPORT]\n", 0), 0u);
}

}  // namespace
