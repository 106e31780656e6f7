// fwpak-repo check: every fault that fwpak would meet in a firmware repository
// (the catalog nic_fw/NICFWData.xml, its images, nic_fw/mstflint and getmlnxinfo),
// found by reading the catalog exactly as fwpak reads it.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "inventory/catalog.h"
#include "nic_info.h"
#include "repo/findings.h"
#include "repo/image_query.h"

// One catalog entry as fwpak sees it: the values at its subdevid (carried over
// from earlier entries where it lacks them), and what follows the subdevid.
struct RepoEntry {
    int line = 0;
    CatalogScratch values;
    std::vector<std::string> own;  // names of the attributes the node itself gave
    CatalogValue rom;              // after the subdevid only
    CatalogValue fw_file;
    bool has_rom = false;
    bool has_fw_file = false;
};

// What a catalog read gave.
struct CatalogRead {
    CatalogWalkEnd end;
    std::vector<RepoEntry> entries;
};

// Reads catalog text as fwpak reads the catalog file and adds the findings of the
// catalog alone under the name `shown`.
CatalogRead read_repo_catalog(const std::string& text, const std::string& shown,
                              Findings* findings);

// What a check covers beyond the catalog and its files.
struct CheckOptions {
    // A catalog about to replace nic_fw/NICFWData.xml; null: the file itself.
    const std::string* catalog_text = nullptr;
    // Run the image queries (when the burning tool can run) of the images that
    // `known` does not answer.
    bool query = true;
    // Image facts read already, by fwFile name.
    const std::map<std::string, ImageFacts>* known = nullptr;
    // Strict modes and the checksum manifest.
    bool trust = true;
};

// The whole check of the repository in the current directory, its files shown in
// findings with the prefix `shown_dir` ("" or "DIR/"). Writes nothing.
CatalogRead check_repository(const std::string& shown_dir, Findings* findings,
                             const CheckOptions& options);

// Adapter key of an entry as fwpak compares it (venid, devid and PSID; the
// subsystem IDs are never compared).
std::string entry_identity(const CatalogScratch& values);

// Whether text is exactly four upper-case hexadecimal digits, as "%04X" writes.
bool is_pci_id_text(const std::string& text);

// Longest PSID whose adapter key ("%04X-%04X-%04X-%04X-" and the PSID, 20
// characters before it) still fits fwpak's key text: fwpak matches no longer one.
constexpr size_t MAX_MATCHING_PSID = ID_TEXT_LEN - 1 - 20;
