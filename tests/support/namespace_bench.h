// What the namespace benches share (the end-to-end bench and the host library's
// namespace cases): the shell, and whether a private mount namespace can be made
// here to overlay system directories without touching the machine's own.
#pragma once

#include <cstdlib>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

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
