// What fwpak-repo check says of a repository's trust: strict modes, as fwpak
// applies them when it runs as root, and the checksum manifest nic_fw/SHA256SUMS.
#pragma once

#include <string>
#include <vector>

#include "repo/findings.h"
#include "repo/repo_check.h"

// The files a manifest covers, named relative to nic_fw/ in its order: the
// catalog, every image the entries name (once each; entries without an image,
// placeholders and names outside nic_fw/ left out), the burning tool and
// ../getmlnxinfo.
std::vector<std::string> manifest_coverage(const std::vector<RepoEntry>& entries);

// Adds the strict-mode findings (writable by others or by a group other than
// root's: an error; an owner other than root: a warning) of the package
// directory, nic_fw/, the burning tool, getmlnxinfo, the catalog, the manifest
// and every image; then the manifest's: none (a warning), a damaged line, a file
// missing or changed since it was made, a covered file it lacks (errors).
void check_trust(const std::string& shown_dir, const std::vector<RepoEntry>& entries,
                 Findings* findings);
