// fwpak-repo check's strict-mode and manifest findings.
#include "repo/repo_trust.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "nic_info.h"
#include "platform/files.h"
#include "trust/file_digest.h"
#include "trust/manifest.h"
#include "trust/strict_modes.h"

namespace {

constexpr char kImagePrefix[] = "nic_fw/";

bool inside_image_dir(const std::string& name) {
    return manifest_name_problem(name).empty() && name.rfind("../", 0) != 0;
}

std::string shown_as(const std::string& shown_dir, const std::string& rel) {
    if (rel != ".")
        return shown_dir + rel;
    return shown_dir.empty() ? "." : shown_dir.substr(0, shown_dir.size() - 1);
}

// What fwpak does, run as root, with a file that fails strict modes.
std::string strict_consequence(const std::string& rel) {
    if (rel.rfind(kImagePrefix, 0) == 0 && rel != g_XMLFwFile && rel != MANIFEST_PATH &&
        rel != "nic_fw/mstflint")
        return "fwpak refuses to burn it";
    return "fwpak refuses to start";
}

// What fwpak does with a file of the manifest that is missing from it or differs.
std::string manifest_consequence(const std::string& name) {
    if (name == "mstflint")
        return "fwpak refuses to start";
    if (name == MANIFEST_LOOKUP_NAME || kImagePrefix + name == g_XMLFwFile)
        return "the repository is not as it was sealed";
    return "fwpak refuses to burn it";
}

void check_strict(const std::string& shown_dir, const std::vector<std::string>& images,
                  Findings* f) {
    std::vector<std::string> rels = {".",           "nic_fw",    "nic_fw/mstflint",
                                     "getmlnxinfo", g_XMLFwFile, MANIFEST_PATH};
    for (const std::string& name : images) rels.push_back(kImagePrefix + name);
    for (const std::string& rel : rels) {
        const std::string shown = shown_as(shown_dir, rel);
        StrictFinding s = check_strict_mode(rel, shown);
        if (s.verdict == StrictVerdict::writable)
            f->error(shown, 0,
                     s.what + ": run as root, " + strict_consequence(rel) + "; fix: " + s.fix);
        else if (s.verdict == StrictVerdict::other_owner)
            f->warning(shown, 0, s.what + ": that user can change what fwpak runs as root");
    }
}

// Each line of the manifest against the file it names.
void check_lines(const Manifest& m, const std::string& shown, Findings* f) {
    for (const ManifestFault& fault : m.faults)
        f->error(shown, fault.line,
                 fault.text + ": fwpak refuses to start with a damaged manifest");
    for (const ManifestEntry& e : m.entries) {
        const std::string rel = kImagePrefix + e.name;
        std::string found;
        int error = 0;
        if (!sha256_file(rel, &found, &error))
            f->error(shown, e.line,
                     e.name + (error == ENOENT ? " is missing" : " cannot be read") + " (" +
                         strerror(error) + ")");
        else if (found != e.digest)
            f->error(shown, e.line,
                     e.name + " has changed since the manifest was made (expected " + e.digest +
                         ", found " + found + "): " + manifest_consequence(e.name));
    }
}

}  // namespace

std::vector<std::string> manifest_coverage(const std::vector<RepoEntry>& entries) {
    std::vector<std::string> names = {std::string(g_XMLFwFile).substr(strlen(kImagePrefix))};
    for (const RepoEntry& e : entries) {
        if (!e.has_fw_file || !e.fw_file.set)
            continue;
        const std::string& name = e.fw_file.text;
        if (!names_image_file(name.c_str()) || name.find("Pelmora") != std::string::npos ||
            !inside_image_dir(name) || std::find(names.begin(), names.end(), name) != names.end())
            continue;
        names.push_back(name);
    }
    names.emplace_back("mstflint");
    names.emplace_back(MANIFEST_LOOKUP_NAME);
    return names;
}

void check_trust(const std::string& shown_dir, const std::vector<RepoEntry>& entries, Findings* f) {
    const std::vector<std::string> covered = manifest_coverage(entries);
    // The images: everything covered but the catalog, the tool and getmlnxinfo.
    check_strict(shown_dir, std::vector<std::string>(covered.begin() + 1, covered.end() - 2), f);
    const std::string shown = shown_dir + MANIFEST_PATH;
    Manifest m = read_manifest(MANIFEST_PATH);
    if (!m.present) {
        f->warning(shown, 0,
                   "no checksum manifest: fwpak verifies neither the images nor the burning "
                   "tool; fwpak-repo seal makes one");
        return;
    }
    check_lines(m, shown, f);
    for (const std::string& name : covered) {
        const std::string rel = kImagePrefix + name;
        if (m.find(name) != nullptr || !file_status(rel.c_str()).found)
            continue;
        f->error(shown, 0, name + " is not in the manifest: " + manifest_consequence(name));
    }
}
