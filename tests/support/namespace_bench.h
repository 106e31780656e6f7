// The one namespace bench of the tests: a scratch directory under /tmp that goes
// with the bench, a simulated PCI bus, and the running of the bench's script, in a
// private mount namespace where it overlays system directories, so the machine's
// own are never touched. Its two uses: the end-to-end Bench (fwpak on a simulated
// server) and the host library's NamespaceCase (its probe on overlaid /etc, /opt,
// /sbin). FWPAK_KEEP_BENCH set keeps the directory, to look at after a failure.
#pragma once

#include <cstdlib>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "file_text.h"
#include "umockdev_bus.h"

// Runs a command through sh; its exit status, or -1 when the shell was killed.
inline int ShellStatus(const std::string& command) {
    int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Why no private mount namespace can be made here, or empty when one can. Asked once.
inline const std::string& MountNamespaceObstacle() {
    static const std::string obstacle = [] {
        if (getuid() != 0)
            return std::string("needs root for a private mount namespace");
        if (ShellStatus("unshare -m true 2>/dev/null") != 0)
            return std::string("unshare -m does not work on this machine");
        return std::string();
    }();
    return obstacle;
}

// The command that runs a bench's script in a private mount namespace.
inline std::string InMountNamespace(const std::string& script) {
    return "unshare -m sh " + ShellQuote(script);
}

class NamespaceBench {
  public:
    NamespaceBench(const NamespaceBench&) = delete;
    NamespaceBench& operator=(const NamespaceBench&) = delete;

    static bool NamespacesAvailable() { return MountNamespaceObstacle().empty(); }
    const std::string& root() const { return root_; }

  protected:
    // The directory is /tmp/<name>.XXXXXX; empty (and the case failed) when it
    // cannot be made.
    explicit NamespaceBench(const std::string& name) {
        std::string pattern = "/tmp/" + name + ".XXXXXX";
        std::vector<char> tmpl(pattern.begin(), pattern.end());
        tmpl.push_back('\0');
        if (mkdtemp(tmpl.data()) == nullptr) {
            ADD_FAILURE() << "cannot create the bench directory";
            return;
        }
        root_ = tmpl.data();
    }
    ~NamespaceBench() {
        if (!root_.empty() && getenv("FWPAK_KEEP_BENCH") == nullptr)
            ShellStatus("rm -rf " + ShellQuote(root_));
    }

    // Writes the script to run.sh in the bench directory and runs it with sh, in a
    // private mount namespace when `private_ns`; `redirect` follows the command
    // (e.g. "2>file"). In a private namespace the script first refuses to go on
    // in the namespace of process 1, so that its mounts never land in the
    // machine's own. Returns the script's exit status.
    int RunScript(const std::string& script, bool private_ns,
                  const std::string& redirect = "") const {
        return ShellStatus(ScriptCommand(script, private_ns, "run") + redirect);
    }

    // Writes the script to <name>.sh in the bench directory and returns the command
    // that runs it, as RunScript does, for a script started without waiting for it.
    std::string ScriptCommand(const std::string& script, bool private_ns,
                              const std::string& name) const {
        const std::string path = root_ + "/" + name + ".sh";
        if (!private_ns) {
            WriteFileText(path, script);
            return "sh " + ShellQuote(path);
        }
        WriteFileText(
            path,
            "if [ \"$(readlink /proc/self/ns/mnt)\" = \"$(readlink /proc/1/ns/mnt)\" ]; then\n"
            "    echo 'bench: not in a private mount namespace, refusing to mount' >&2\n"
            "    exit 99\n"
            "fi\n" +
                script);
        return InMountNamespace(path);
    }

    std::string root_;
    UmockdevBus bus_;
};
