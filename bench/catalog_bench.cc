// The catalog is read afresh for every adapter, so its cost is adapters x catalog
// size. This measures read_NIC_FW_xml_file on a generated 20,000-entry catalog
// against a bare libxml2 text-reader pass that visits every attribute of the same
// file, and prints the ratio (target: at most 1.3).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include <libxml/xmlreader.h>

#include "inventory/catalog.h"
#include "nic_info.h"

namespace {

constexpr int kEntries = 20000;
constexpr int kMatching = 8;  // entries for the measured adapter, spread over the file
const char kKey[] = "15B3-1017-15B3-0020-MT_0000000080";
const char kBareName[] = "BM_BareReaderPass";
const char kCatalogName[] = "BM_ReadCatalog";

std::string g_dir;

// One entry per board and version, with attributes in the catalog's usual order.
void WriteCatalog() {
    char tmpl[] = "/tmp/fwpak-bench.XXXXXX";
    if (mkdtemp(tmpl) == nullptr) {
        perror("mkdtemp");
        exit(1);
    }
    g_dir = tmpl;
    std::string nic_fw = g_dir + "/nic_fw";
    mkdir(nic_fw.c_str(), 0755);
    std::ofstream out(nic_fw + "/NICFWData.xml");
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<NICFWData>\n";
    for (int i = 0; i < kEntries; ++i) {
        bool match = i % (kEntries / kMatching) == kEntries / kMatching / 2;
        char psid[32];
        snprintf(psid, sizeof psid, "MT_%010d", match ? 80 : 1000 + i % 4000);
        out << "  <FW name=\"ConnectX-5 EN 100GbE dual-port QSFP28\" venid=\"15B3\" devid=\""
            << (match || i % 3 == 0 ? "1017" : "101D") << "\" subvenid=\"15B3\" PSID=\"" << psid
            << "\" subdevid=\"0020\" rom=\"16." << 20 + i % 20 << "." << 1000 + i % 9000
            << "\" fwFile=\"fw-ConnectX5-rel-16_35_2000-MCX556A-ECA_Ax-" << i << ".bin\"/>\n";
    }
    out << "</NICFWData>\n";
}

void BM_BareReaderPass(benchmark::State& state) {
    for (auto _ : state) {
        xmlTextReaderPtr reader = xmlReaderForFile(
            g_XMLFwFile, nullptr, XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
        size_t bytes = 0;
        while (xmlTextReaderRead(reader) == 1) {
            int count = xmlTextReaderAttributeCount(reader);
            for (int i = 0; i < count; ++i) {
                if (xmlTextReaderMoveToNextAttribute(reader) != 1)
                    continue;
                const xmlChar* name = xmlTextReaderConstName(reader);
                const xmlChar* value = xmlTextReaderConstValue(reader);
                bytes += name[0] + (value != nullptr ? value[0] : 0);
            }
        }
        xmlFreeTextReader(reader);
        benchmark::DoNotOptimize(bytes);
    }
}

void BM_ReadCatalog(benchmark::State& state) {
    nic_info row{};
    g_ninfo = &row;
    nic_count = 0;
    snprintf(sub_ven_id_new, sizeof sub_ven_id_new, "15B3");
    snprintf(sub_dev_id_new, sizeof sub_dev_id_new, "0020");
    XMLFW_INFO records[MAX_FW_IMAGES] = {};
    for (auto _ : state) {
        row.fw_count = 0;
        int found = read_NIC_FW_xml_file(kKey, records, MAX_FW_IMAGES);
        benchmark::DoNotOptimize(found);
        clear_fw_info(records, MAX_FW_IMAGES);
    }
    if (row.fw_count != kMatching)
        state.SkipWithError("unexpected number of matches");
    g_ninfo = nullptr;
}

// Medians of several repetitions: the machine is shared, single runs wander.
BENCHMARK(BM_BareReaderPass)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(1.0)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_ReadCatalog)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(1.0)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

// Keeps each benchmark's median CPU time per iteration for the closing ratio (CPU
// time, since wall time carries other processes' load).
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median" &&
                !run.error_occurred)
                times_[run.run_name.function_name] = run.GetAdjustedCPUTime();
        ConsoleReporter::ReportRuns(runs);
    }
    const std::map<std::string, double>& times() const { return times_; }

  private:
    std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    WriteCatalog();
    if (chdir(g_dir.c_str()) != 0) {
        perror("chdir");
        return 1;
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::system(("rm -rf '" + g_dir + "'").c_str());

    auto bare = reporter.times().find(kBareName);
    auto catalog = reporter.times().find(kCatalogName);
    if (bare == reporter.times().end() || catalog == reporter.times().end() || bare->second <= 0)
        return 0;
    double ratio = catalog->second / bare->second;
    printf(
        "\nread_NIC_FW_xml_file / bare text-reader pass over %d entries, median CPU time: %.2fx "
        "(target: at most 1.30x)\n",
        kEntries, ratio);
    return 0;
}
