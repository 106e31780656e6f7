// A case of the host library that needs files at constant absolute paths (/etc,
// /opt, /sbin) or fake PCI devices: the namespace bench's use in which the probe
// program runs once, in a private mount namespace with an overlay on each of those
// directories and under umockdev, so the real machine is never written. Fake
// programs record every call in a log.
#pragma once

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "namespace_bench.h"
#include "umockdev_bus.h"

namespace common_test {

inline std::string ReadText(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void WriteText(const std::string& path, const std::string& content) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path) << content;
}

inline std::string Quote(const std::string& s) {
    return ShellQuote(s);
}

inline int Shell(const std::string& command) {
    return ShellStatus(command);
}

// Why namespace cases cannot run here, or empty when they can. Asked once.
inline const std::string& NamespaceObstacle() {
    static const std::string obstacle = [] {
        if (!MountNamespaceObstacle().empty())
            return MountNamespaceObstacle();
        if (!UmockdevBus::Available())
            return std::string("umockdev-run is not installed");
        return std::string();
    }();
    return obstacle;
}

#define REQUIRE_NAMESPACE_CASE()                                             \
    do {                                                                     \
        if (!common_test::NamespaceObstacle().empty())                       \
            GTEST_SKIP() << "skipped: " << common_test::NamespaceObstacle(); \
    } while (0)

struct ProbeRun {
    int status = -1;
    std::string out;
    std::string err;
    std::string calls;  // one line per fake-program call: "<path> <arguments>"
};

class NamespaceCase : public NamespaceBench {
  public:
    NamespaceCase() : NamespaceBench("fwpak-common") {
        if (!root_.empty())
            WriteText(root_ + "/calls", "");
    }

    // A file at an absolute path below /etc, /opt or /sbin.
    void AddFile(const std::string& path, const std::string& content, bool executable = false) {
        std::string staged = Staged(path);
        WriteText(staged, content);
        if (executable)
            chmod(staged.c_str(), 0755);
        hidden_.erase(path);
    }
    // A program that logs its call and prints `output`.
    void AddProgram(const std::string& path, const std::string& output) {
        std::string out_file = root_ + "/outputs/" + std::to_string(outputs_++);
        WriteText(out_file, output);
        AddFile(path,
                "#!/bin/sh\nprintf '%s\\n' \"" + path + " $*\" >> " + Quote(root_ + "/calls") +
                    "\ncat " + Quote(out_file) + "\n",
                true);
    }
    // The path is absent in the case even where the machine has it.
    void Hide(const std::string& path) {
        if (!std::filesystem::exists(Staged(path)))
            hidden_.insert(path);
    }
    // Runs the probe under umockdev with this description under tests/data, and a
    // host bridge. Cases that never look at /sys skip umockdev (it costs a tenth of
    // a second).
    void AddDevices(const std::string& rel) {
        umockdev_ = true;
        bus_.AddData(rel);
    }
    // Under umockdev without any PCI device: /sys/bus/pci/devices does not exist.
    void NoDevices() {
        umockdev_ = true;
        bus_.Clear();
    }

    ProbeRun Run(const std::vector<std::string>& args) {
        ProbeRun run;
        run.status = RunScript(Script(args), true, " 2>" + Quote(root_ + "/setup-err"));
        run.out = ReadText(root_ + "/out");
        run.err = ReadText(root_ + "/err") + ReadText(root_ + "/setup-err");
        run.calls = ReadText(root_ + "/calls");
        return run;
    }

  private:
    static std::pair<std::string, std::string> Split(const std::string& path) {
        size_t slash = path.find('/', 1);
        return {path.substr(1, slash - 1), path.substr(slash + 1)};
    }
    std::string Staged(const std::string& path) const {
        auto [top, rel] = Split(path);
        return root_ + "/files/" + top + "/" + rel;
    }

    std::string Script(const std::vector<std::string>& args) const {
        std::set<std::string> tops;
        for (const auto& path : hidden_) tops.insert(Split(path).first);
        if (std::filesystem::exists(root_ + "/files"))
            for (const auto& e : std::filesystem::directory_iterator(root_ + "/files"))
                tops.insert(e.path().filename());
        std::string ns = root_ + "/ns";
        std::string s =
            "set -e\nmkdir -p " + Quote(ns) + "\nmount -t tmpfs tmpfs " + Quote(ns) + "\n";
        for (const std::string& top : tops) {
            std::string up = ns + "/" + top + "/up", work = ns + "/" + top + "/work";
            s += "mkdir -p " + Quote(up) + " " + Quote(work) + "\n";
            if (std::filesystem::exists(root_ + "/files/" + top))
                s += "cp -a " + Quote(root_ + "/files/" + top + "/.") + " " + Quote(up) + "/\n";
            for (const auto& path : hidden_) {
                auto [t, rel] = Split(path);
                if (t != top)
                    continue;
                std::string w = up + "/" + rel;
                s += "mkdir -p \"$(dirname " + Quote(w) + ")\"\nmknod " + Quote(w) + " c 0 0\n";
            }
            s += "mount -t overlay overlay -o " +
                 Quote("lowerdir=/" + top + ",upperdir=" + up + ",workdir=" + work) + " " +
                 Quote("/" + top) + "\n";
        }
        s += "export ASAN_OPTIONS=\"${ASAN_OPTIONS:-verify_asan_link_order=0:detect_leaks=0}\"\n";
        s += "exec ";
        if (umockdev_)
            s += bus_.Command();
        s += Quote(FWPAK_COMMON_PROBE);
        for (const auto& a : args) s += " " + Quote(a);
        s += " >" + Quote(root_ + "/out") + " 2>" + Quote(root_ + "/err") + "\n";
        return s;
    }

    std::set<std::string> hidden_;
    bool umockdev_ = false;
    int outputs_ = 0;
};

}  // namespace common_test
