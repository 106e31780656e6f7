// fwpak-repo seal, and the manifest that add writes: nic_fw/SHA256SUMS for the
// catalog, its images, the burning tool and getmlnxinfo.
#pragma once

#include <string>
#include <vector>

#include "repo/repo_check.h"
#include "trust/manifest.h"

// Writes nic_fw/SHA256SUMS (through a temporary file and a rename) for what the
// entries name (manifest_coverage). A file named in `fresh`, or not in `reuse`
// (null: none), gets its digest now; any other keeps the digest `reuse` gives it,
// so that a file changed behind the repository's back is not sealed as it is
// now. The tool and getmlnxinfo are left out when missing. Returns "" or what
// stood in the way (nothing is written then).
std::string write_manifest(const std::vector<RepoEntry>& entries, const Manifest* reuse,
                           const std::vector<std::string>& fresh, size_t* count);

// The repository in the current directory, sealed as it is now. Returns
// REPO_CLEAN, or REPO_ERRORS with a line on standard error (nothing written).
int repo_seal();
