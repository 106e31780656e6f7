// fwpak-repo at the size of a real repository: 200 images, each image query of
// the burning tool taking 0.1 s (a real one reads a 2-30 MB image). Times check
// (its queries run side by side) against the same queries one after another, and
// counts the tool runs of an add of one image. Targets: check within 4 s; add of
// one image within 2 tool runs.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>

#include "bench.h"

namespace {

constexpr int kImages = 200;
const char kQuerySeconds[] = "0.1";
constexpr double kCheckTarget = 4;
constexpr size_t kAddTarget = 2;

double Seconds(const std::function<void()>& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::string ImageName(int i) {
    return "fw-cx5-16.35." + std::to_string(1000 + i) + ".bin";
}

// A catalog of kImages entries for one adapter, one version each, and their images.
void FillRepository(Bench& bench) {
    std::string catalog = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<NICFWData>\n";
    for (int i = 0; i < kImages; ++i) {
        const std::string version = "16.35." + std::to_string(1000 + i);
        catalog +=
            "  <NIC name=\"ConnectX-5 EN\" venid=\"15B3\" devid=\"1017\" subvenid=\"15B3\" "
            "PSID=\"MT_0000000080\" subdevid=\"0020\" rom=\"" +
            version + "\" fwFile=\"" + ImageName(i) + "\"/>\n";
        bench.AddImage(ImageName(i), version, "MT_0000000080");
    }
    bench.SetCatalog(catalog + "</NICFWData>\n");
}

// The same image queries as check runs, one after another.
double OneAfterAnother(Bench& bench) {
    std::string script = "cd '" + bench.pkg() + "'\n";
    for (int i = 0; i < kImages; ++i)
        script += "./nic_fw/mstflint -i ./nic_fw/" + ImageName(i) + " q\n";
    script = "(" + script + ") > /dev/null 2>&1";
    return Seconds([&] {
        if (system(script.c_str()) != 0)
            fprintf(stderr, "the script of image queries failed\n");
    });
}

void Report(const char* what, const std::string& figure, const std::string& target, bool met) {
    printf("%-22s %-34s target %-12s %s\n", what, figure.c_str(), target.c_str(),
           met ? "met" : "MISSED");
}

std::string Fixed(double value, const char* unit) {
    char text[64];
    snprintf(text, sizeof text, "%.2f %s", value, unit);
    return text;
}

}  // namespace

int main() {
    Bench bench;
    bench.UseProgram(FWPAK_REPO_BINARY);
    FillRepository(bench);
    printf("%d images, image query %s s, %u cores\n", kImages, kQuerySeconds,
           std::thread::hardware_concurrency());

    int status = bench.Run({"seal"}).status;
    // The fake tool answering at once: what the bench itself costs (the shell and the
    // fake tool's own commands), which no number of queries side by side hides on a
    // machine of few cores.
    WriteFileText(bench.root() + "/state/image_query_sleep", "0");
    const double instant = Seconds([&] { bench.Run({"check"}); });
    printf("the bench's own cost: check with a tool that answers at once %.2f s\n", instant);
    WriteFileText(bench.root() + "/state/image_query_sleep", kQuerySeconds);
    RunResult check;
    const double check_time = Seconds([&] { check = bench.Run({"check"}); });
    status |= check.status;
    const double serial = OneAfterAnother(bench);
    Report("check", Fixed(check_time, "s") + " (one after another " + Fixed(serial, "s") + ")",
           "<= 4 s", check_time <= kCheckTarget);

    bench.WritePkgFile("../fw-new.bin", "version=16.35.9000\npsid=MT_0000000080\n");
    const size_t before = bench.CallLines().size();
    RunResult add;
    const double add_time = Seconds([&] {
        add = bench.Run({"add", "--pci", "15b3:1017:15b3:20", "../fw-new.bin"});
    });
    status |= add.status;
    const size_t runs = bench.CallLines().size() - before;
    Report("add of one image", std::to_string(runs) + " tool runs, " + Fixed(add_time, "s"),
           "<= 2 runs", runs <= kAddTarget);
    status |= bench.Run({"check"}).status;
    if (status != 0)
        fprintf(stderr, "a run did not end with status 0:\n%s%s%s", check.out.c_str(),
                add.err.c_str(), add.out.c_str());
    return status;
}
