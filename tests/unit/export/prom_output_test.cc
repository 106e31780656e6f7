// fwpak-export's metrics: label escaping, the text of a report and of a report that
// could not be read, repeated series, and the file's atomic replacement.
#include <dirent.h>
#include <string>
#include <sys/stat.h>
#include <vector>

#include <gtest/gtest.h>

#include "export/prom_output.h"
#include "scoped_temp_dir.h"

namespace {

std::vector<std::string> Entries(const std::string& dir) {
    std::vector<std::string> names;
    DIR* d = opendir(dir.c_str());
    for (dirent* e; d != nullptr && (e = readdir(d)) != nullptr;) {
        if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
            names.emplace_back(e->d_name);
    }
    if (d != nullptr)
        closedir(d);
    return names;
}

TEST(LabelValue, EscapesBackslashQuoteAndNewline) {
    EXPECT_EQ(label_value("plain 2.9.1200"), "plain 2.9.1200");
    EXPECT_EQ(label_value("a\\b\"c\nd\te"), "a\\\\b\\\"c\\nd\te");
}

report_item Adapter(const std::string& address, const std::string& action,
                    const std::string& running) {
    report_item a;
    a.address = address;
    a.psid = "VNX1003000050";
    a.product = "Vornex \"IB\"";
    a.installed = "2.9.1200";
    a.running = running;
    a.available = "2.9.1530";
    a.action = action;
    return a;
}

TEST(PrometheusText, OneSeriesPerAdapterAndFamily) {
    report_items r;
    r.mtime = 1767225600;
    r.adapters = {Adapter("0000:05:00.0", "upgrade", "2.9.1200"),
                  Adapter("0000:06:00.0", "Nothing", "2.9.1000"),
                  Adapter("0000:05:00.0", "Nothing", "2.9.1200")};
    std::vector<std::string> skipped;
    const std::string text = prometheus_text(&r, &skipped);
    EXPECT_EQ(skipped, std::vector<std::string>{"0000:05:00.0"});
    for (const char* line :
         {"# TYPE fwpak_adapter_info gauge\n"
          "fwpak_adapter_info{address=\"0000:05:00.0\",psid=\"VNX1003000050\","
          "device=\"Vornex \\\"IB\\\"\",installed=\"2.9.1200\",running=\"2.9.1200\","
          "available=\"2.9.1530\",action=\"upgrade\"} 1\n",
          "fwpak_update_available{address=\"0000:05:00.0\",psid=\"VNX1003000050\"} 1\n"
          "fwpak_update_available{address=\"0000:06:00.0\",psid=\"VNX1003000050\"} 0\n"
          "# HELP fwpak_activation_pending",
          "fwpak_activation_pending{address=\"0000:05:00.0\",psid=\"VNX1003000050\"} 0\n"
          "fwpak_activation_pending{address=\"0000:06:00.0\",psid=\"VNX1003000050\"} 1\n"
          "# HELP fwpak_report_timestamp_seconds",
          "# TYPE fwpak_report_timestamp_seconds gauge\n"
          "fwpak_report_timestamp_seconds 1767225600\n"
          "# HELP fwpak_discovery_success",
          "# TYPE fwpak_discovery_success gauge\nfwpak_discovery_success 1\n"}) {
        EXPECT_NE(text.find(line), std::string::npos) << line << "\nin\n" << text;
    }
    EXPECT_EQ(text.find("action=\"Nothing\"} 1\nfwpak_adapter_info{address=\"0000:05"),
              std::string::npos);
}

TEST(PrometheusText, AnUnreadReportStillGivesAValidFile) {
    std::vector<std::string> skipped;
    EXPECT_EQ(prometheus_text(nullptr, &skipped),
              "# HELP fwpak_discovery_success 1 when the discovery report could be read, else 0.\n"
              "# TYPE fwpak_discovery_success gauge\n"
              "fwpak_discovery_success 0\n");
}

TEST(PrometheusFile, ReplacedWholeInItsDirectory) {
    ScopedTempDir dir;
    EXPECT_EQ(prometheus_path(dir.path()), dir.path() + "/fwpak.prom");
    EXPECT_EQ(prometheus_path(dir.path() + "/"), dir.path() + "/fwpak.prom");
    EXPECT_EQ(prometheus_path(dir.path() + "/x.prom"), dir.path() + "/x.prom");

    const std::string path = dir.path() + "/fwpak.prom";
    dir.Write("fwpak.prom", "old\n");
    std::string what;
    const mode_t old_mask = umask(077);
    const int rc = write_prometheus_file(path, "new\n", &what);
    umask(old_mask);
    ASSERT_EQ(rc, 0);
    EXPECT_EQ(dir.Read("fwpak.prom"), "new\n");
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0644u);  // the collector runs as another user
    EXPECT_EQ(Entries(dir.path()), std::vector<std::string>{"fwpak.prom"});  // no temporary left

    EXPECT_NE(write_prometheus_file(dir.path() + "/none/fwpak.prom", "x\n", &what), 0);
    EXPECT_EQ(what, "cannot create a temporary file beside it");
}

}  // namespace
