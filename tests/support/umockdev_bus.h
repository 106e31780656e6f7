// The one umockdev harness of the tests: the simulated PCI bus of a case and the
// umockdev-run command line that starts a program on it. A bus starts with the
// host bridge of tests/data/pci (every real server has one) unless it is empty.
#pragma once

#include <cstdlib>
#include <string>
#include <vector>

// A text quoted for sh, whatever characters it holds.
inline std::string ShellQuote(const std::string& s) {
    std::string q = "'";
    for (char c : s) {
        if (c == '\'')
            q += "'\\''";
        else
            q += c;
    }
    return q + "'";
}

class UmockdevBus {
  public:
    // Whether umockdev-run is installed; cases without it skip and say so.
    static bool Available() { return std::system("command -v umockdev-run >/dev/null 2>&1") == 0; }

    // A bus with only the host bridge.
    UmockdevBus() { AddPci("host-bridge"); }

    // tests/data/pci/<name>.umockdev.
    void AddPci(const std::string& name) { AddData("pci/" + name + ".umockdev"); }
    // A description under tests/data.
    void AddData(const std::string& rel) {
        files_.push_back(std::string(FWPAK_TEST_DATA) + "/" + rel);
    }
    // A description file of the case's own.
    void AddFile(const std::string& path) { files_.push_back(path); }
    // No device at all, not even the bridge: /sys/bus/pci/devices does not exist.
    void Clear() { files_.clear(); }
    size_t size() const { return files_.size(); }

    // "umockdev-run -d <file>... -- ", to be followed by the program and its arguments.
    std::string Command() const {
        std::string s = "umockdev-run";
        for (const std::string& f : files_) s += " -d " + ShellQuote(f);
        return s + " -- ";
    }

  private:
    std::vector<std::string> files_;
};
