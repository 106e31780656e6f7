// The simulated server: runs the built fwpak in a fresh package directory, on
// umockdev PCI devices, with fake burning and lookup tools driven by per-device
// state files, and (inside a private mount namespace) fake installed tools in
// /usr/bin. Every case builds its own bench and the bench cleans up after itself.
#pragma once

#include "text_match.h"
#include "namespace_bench.h"
#include "umockdev_bus.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "file_text.h"

struct RunResult {
    int status = -1;  // exit status of fwpak
    std::string out;  // standard output
    std::string err;  // standard error
};

// Secure Boot as the fake installed tools report it.
struct SecureBootSetup {
    std::string mokutil_line = "SecureBoot disabled";  // standard output, "\n" added
    std::string mokutil_err;                           // standard error, as it is
    int mokutil_exit = 0;
    bool mokutil_present = true;
    bool mst_present = true;
    int mst_status_exit = 0;
    int mst_start_exit = 0;
    bool flint_present = true;
};

// The namespace bench's use for fwpak and fwpak-repo.
class Bench : public NamespaceBench {
  public:
    Bench();

    // PCI devices: tests/data/pci/<name>.umockdev. A host bridge is always present,
    // so that libpci never falls back to the real machine's bus.
    void AddDevices(const std::string& name);
    // PCI devices from a description made by the case itself (same format as the
    // files under tests/data/pci/), for device sets too large to keep as data.
    void AddDeviceText(const std::string& umockdev_text);
    // A server with `adapters` dual-port ConnectX-5 adapters (15b3:1017, subsystem
    // 15b3:0020) on buses first_bus, first_bus+1, ..., each port with `vfs` SR-IOV
    // virtual functions (15b3:1018, at most 127): the two physical functions at
    // bb:00.0 and bb:00.1, then the virtual functions of port 0 and of port 1 at the
    // following functions (bb:00.2 on, eight per device number). sysfs links as the
    // kernel makes them: "physfn" in each virtual function, "virtfnN" and
    // "sriov_numvfs" in each physical function. Returns each adapter's first
    // function, the address under which it is listed.
    std::vector<std::string> AddSriovAdapters(int first_bus, int adapters, int vfs);
    // A Mellanox port answering the query with this version and PSID; an empty text
    // leaves that line out of the query output.
    void SetPort(const std::string& bdf, const std::string& version, const std::string& psid);
    // Any state file of a port: query_output, query_form, query_warning, query_error,
    // issu_version, running_version, burn_exit, burn_output, burn_refusal,
    // burn_no_write, burn_signal, burn_stop, burn_sleep, burn_interrupt, burn_ask_inhibitors,
    // query_hold, burn_hold, release, lookup_answer, lookup_exit (see
    // tests/e2e/tools/burning-tool and getmlnxinfo).
    void SetPortFile(const std::string& bdf, const std::string& file, const std::string& content);
    std::string PortVersion(const std::string& bdf) const;
    std::string PortFile(const std::string& bdf, const std::string& file) const;
    void RemovePortFile(const std::string& bdf, const std::string& file);
    // Waits (at most half a minute) until a port's state file exists.
    bool WaitForPortFile(const std::string& bdf, const std::string& file) const;

    void SetCatalog(const std::string& xml);
    void UseCatalog(const std::string& name);  // tests/data/catalog/<name>.xml
    // An image file the fake burning tool installs; `psid` is the PSID it names in
    // its refusals.
    void AddImage(const std::string& file, const std::string& version,
                  const std::string& psid = "");

    // Installed tools in /usr/bin (needs a mount namespace; see RequireNamespaces).
    void SetSecureBoot(const SecureBootSetup& setup);
    // Makes the PCI ID database empty for the run, so vendor names are numbers.
    void HidePciIds();
    // Makes a directory of the package read-only for the runs (a read-only bind
    // mount, so that it holds for root too; needs a mount namespace).
    void MakeReadOnly(const std::string& rel);
    // Gives the runs a private, empty, read-only /tmp in which only the bench's own
    // directory stays reachable and writable, so that nothing else can be created
    // under /tmp (needs a mount namespace).
    void MakeTmpReadOnly();

    // Every run of a case in a mount namespace has the case's own /run (a directory
    // of the bench bound there), so that cases running side by side never share
    // the host lock; the runs of one case share it. RunDir is where it lies;
    // SetRunFile puts a file there before a run, RunFile reads one as the runs left
    // it (empty when none).
    std::string RunDir() const { return root_ + "/run"; }
    void SetRunFile(const std::string& name, const std::string& content);
    std::string RunFile(const std::string& name) const;
    bool RunFileExists(const std::string& name) const;
    // Makes that /run read-only for the runs (needs a mount namespace).
    void MakeRunReadOnly() { run_read_only_ = true; }
    // Gives each run a private system bus at /run/dbus/system_bus_socket with
    // python3-dbusmock's logind on it (needs a mount namespace). After the run,
    // Inhibitors() holds logind's ListInhibitors answer and LogindLog() the calls
    // the mock received.
    void UseSystemBus() { system_bus_ = true; }
    std::string Inhibitors() const;
    std::string LogindLog() const;

    // A shell script that starts fwpak in place of the plain start, "$@" standing
    // for the program and its arguments: to start it with descriptors closed, signals
    // ignored or a console that goes away, as a launcher or a cron job might.
    void SetLauncher(const std::string& script) { launcher_ = script; }

    // Runs this program instead of fwpak (fwpak-repo), in the same setting.
    void UseProgram(const std::string& binary) { program_ = binary; }

    // Runs fwpak with these arguments; `input` is standard input (end of input
    // when empty).
    RunResult Run(const std::vector<std::string>& args, const std::string& input = "");
    // Starts fwpak as Run does without waiting for it; `name` keeps this run's
    // files apart from the others'. Finish waits for it and gives its result.
    int Start(const std::vector<std::string>& args, const std::string& name);
    RunResult Finish(int pid, const std::string& name);

    std::string Calls() const;  // every recorded call of a fake tool, one a line
    std::vector<std::string> CallLines() const;
    std::vector<std::string> BurnCalls() const;  // the recorded burns, in order
    // The recorded burns sorted: burns of different adapters run side by side.
    std::vector<std::string> BurnCallSet() const;
    // Each finished call of the fake burning tool: its arguments, when it started
    // and when it ended (seconds).
    struct Span {
        std::string args;
        double start = 0;
        double end = 0;
    };
    std::vector<Span> ToolSpans() const;
    std::string EventLog() const;
    std::string ReadPkgFile(const std::string& rel) const;
    void WritePkgFile(const std::string& rel, const std::string& content);
    const std::string& pkg() const { return pkg_; }
    // Where a file fwpak wrote under /tmp during a run lies on the machine (runs in a
    // mount namespace have a private /tmp inside the bench directory).
    std::string HostPath(const std::string& path) const;

  private:
    void InstallFakeTool(const std::string& tool, const std::string& dest);
    void WhiteOut(const std::string& name);
    std::string PrivateTmpScript() const;
    std::string PrivateTmp() const { return root_ + "/private-tmp"; }
    std::string RunScriptText(const std::vector<std::string>& args, const std::string& name,
                              const std::string& input, bool* private_ns);
    std::string SystemBusScript() const;
    std::string StateDir() const { return root_ + "/state"; }

    std::string pkg_;
    std::string program_ = FWPAK_BINARY;
    bool overlay_ = false;
    bool hide_pci_ids_ = false;
    std::vector<std::string> read_only_dirs_;
    bool tmp_read_only_ = false;
    bool run_read_only_ = false;
    std::string launcher_;
    bool system_bus_ = false;
};

// Skips the calling test, saying why, where no private mount namespace can be made.
#define REQUIRE_NAMESPACES()                                                        \
    do {                                                                            \
        if (!Bench::NamespacesAvailable())                                          \
            GTEST_SKIP() << "needs a private mount namespace (unshare -m as root) " \
                            "for the fake tools in /usr/bin";                       \
    } while (0)
