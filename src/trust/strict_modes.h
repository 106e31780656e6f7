// Strict modes, as sshd's StrictModes and sudo's checks on its sudoers file: a
// file or directory that a program running as root executes or reads must not be
// writable by other users. The rule looks at the target of a symbolic link (stat):
// the link itself has no mode of its own, and only who can write its directory
// can replace it.
#pragma once

#include <string>

enum class StrictVerdict {
    ok,           // missing, or writable only by its owner and root's group
    other_owner,  // allowed, but its owner is not root (a warning)
    writable,     // writable by others, or by a group other than root's: refused
};

struct StrictFinding {
    StrictVerdict verdict = StrictVerdict::ok;
    std::string what;  // what was found: "can be written by others (mode 0777)"
    std::string text;  // the same, after the name `shown`; empty when ok
    std::string fix;   // the command that puts it right, for writable
};

// Looks at `path` through the platform layer (file_status) and names it `shown`
// in the texts: "nic_fw/mstflint can be written by group staff (gid 50) and by
// others (mode 0777)" with the fix "chmod go-w nic_fw/mstflint"; "nic_fw/mstflint
// belongs to user alice (uid 1000), not to root". A path that cannot be found is
// ok: whoever uses it reports it missing.
StrictFinding check_strict_mode(const std::string& path, const std::string& shown);
