// fwpak-export's command line, in the conventions of fwpak-repo: getopt, a usage
// text on standard error for a usage error (on standard output for -h),
// documented exit statuses.
#include "export/export_cmdline.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <getopt.h>
#include <string>
#include <vector>

#include "export/json_output.h"
#include "export/prom_output.h"
#include "report/report_items.h"

namespace {

constexpr char kDefaultReport[] = "nicdiscovery.xml";

constexpr char kUsage[] =
    "Usage: fwpak-export --json [REPORT]\n"
    "       fwpak-export --prometheus FILE|DIR [REPORT]\n"
    "       fwpak-export -h\n"
    "\n"
    "Writes fwpak's discovery report REPORT (default: nicdiscovery.xml in the current\n"
    "directory, as fwpak -d writes it) for inventories and monitoring.\n"
    "\n"
    "  -j, --json       one JSON document on standard output: the report's time and\n"
    "                   one object per adapter\n"
    "  -p, --prometheus FILE|DIR\n"
    "                   metrics for node_exporter's textfile collector, written to FILE\n"
    "                   (DIR/fwpak.prom for a directory) through a temporary file and a\n"
    "                   rename; a report that cannot be read still gives the file, with\n"
    "                   fwpak_discovery_success 0\n"
    "  -h, --help       this text\n"
    "\n"
    "Exit status: 0 written; 1 the report is missing or cannot be read (with\n"
    "--prometheus the file is still written); 2 a usage error, or the output cannot\n"
    "be written.\n";

int usage_error(const char* text) {
    fprintf(stderr, "fwpak-export: %s\n%s", text, kUsage);
    return EXPORT_ERROR;
}

// Reads the report; on failure says why on standard error and returns false.
bool read_report(const char* path, report_items* report) {
    const report_load_status status = read_report_items(path, report);
    if (status == REPORT_LOADED)
        return true;
    if (status == REPORT_OPEN_FAILED && report->error != 0)
        fprintf(stderr, "fwpak-export: %s %s: %s\n", path, report_load_reason(status),
                strerror(report->error));
    else if (!report->xml_error.empty())
        fprintf(stderr, "fwpak-export: %s %s: %s\n", path, report_load_reason(status),
                report->xml_error.c_str());
    else
        fprintf(stderr, "fwpak-export: %s %s\n", path, report_load_reason(status));
    return false;
}

int export_json(const char* report_path) {
    report_items report;
    if (!read_report(report_path, &report))
        return EXPORT_REPORT_UNREAD;
    const std::string text = json_document(report_path, report);
    if (fwrite(text.data(), 1, text.size(), stdout) != text.size() || fflush(stdout) != 0) {
        fprintf(stderr, "fwpak-export: cannot write to standard output: %s\n", strerror(errno));
        return EXPORT_ERROR;
    }
    return EXPORT_WRITTEN;
}

int export_prometheus(const std::string& target, const char* report_path) {
    report_items report;
    const bool read = read_report(report_path, &report);
    std::vector<std::string> skipped;
    const std::string text = prometheus_text(read ? &report : nullptr, &skipped);
    for (const std::string& address : skipped)
        fprintf(stderr,
                "fwpak-export: %s names adapter %s with the same PSID twice; only the first is "
                "exported\n",
                report_path, address.c_str());
    const std::string path = prometheus_path(target);
    std::string what;
    const int error = write_prometheus_file(path, text, &what);
    if (error != 0) {
        fprintf(stderr, "fwpak-export: %s: %s: %s\n", path.c_str(), what.c_str(), strerror(error));
        return EXPORT_ERROR;
    }
    if (!read)
        fprintf(stderr, "fwpak-export: %s written with fwpak_discovery_success 0\n", path.c_str());
    return read ? EXPORT_WRITTEN : EXPORT_REPORT_UNREAD;
}

}  // namespace

int fwpak_export_main(int argc, char** argv) {
    static const option kOptions[] = {{"json", no_argument, nullptr, 'j'},
                                      {"prometheus", required_argument, nullptr, 'p'},
                                      {"help", no_argument, nullptr, 'h'},
                                      {nullptr, 0, nullptr, 0}};
    bool json = false;
    const char* prometheus = nullptr;
    int c;
    while ((c = getopt_long(argc, argv, "jp:h", kOptions, nullptr)) != -1) {
        switch (c) {
            case 'j':
                json = true;
                break;
            case 'p':
                prometheus = optarg;
                break;
            case 'h':
                fputs(kUsage, stdout);
                return EXPORT_WRITTEN;
            default:
                return usage_error("unknown option");
        }
    }
    if (json == (prometheus != nullptr))
        return usage_error("one of --json and --prometheus is needed");
    if (prometheus != nullptr && prometheus[0] == '\0')
        return usage_error("--prometheus wants a file or a directory");
    if (argc - optind > 1)
        return usage_error("one report at most");
    const char* report = optind < argc ? argv[optind] : kDefaultReport;
    return json ? export_json(report) : export_prometheus(prometheus, report);
}
