// Making the checksum manifest of a repository.
#include "repo/repo_seal.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "nic_info.h"
#include "platform/files.h"
#include "repo/findings.h"
#include "repo/repo_trust.h"
#include "trust/file_digest.h"

namespace {

constexpr char kImagePrefix[] = "nic_fw/";

// The tool and getmlnxinfo may be missing from a repository; an image or the
// catalog may not.
bool optional_file(const std::string& name) {
    return name == "mstflint" || name == MANIFEST_LOOKUP_NAME;
}

}  // namespace

std::string write_manifest(const std::vector<RepoEntry>& entries, const Manifest* reuse,
                           const std::vector<std::string>& fresh, size_t* count) {
    std::vector<ManifestEntry> lines;
    for (const std::string& name : manifest_coverage(entries)) {
        const std::string path = kImagePrefix + name;
        std::string problem = manifest_name_problem(name);
        if (!problem.empty())
            return path + ": " + std::move(problem);
        const ManifestEntry* old = reuse != nullptr ? reuse->find(name) : nullptr;
        ManifestEntry line;
        line.name = name;
        if (old != nullptr && std::find(fresh.begin(), fresh.end(), name) == fresh.end()) {
            line.digest = old->digest;
        } else {
            int error = 0;
            if (!sha256_file(path, &line.digest, &error)) {
                if (error == ENOENT && optional_file(name))
                    continue;
                return "cannot read " + path + ": " + strerror(error);
            }
        }
        lines.push_back(line);
    }
    const std::string text = manifest_text(lines);
    SaveFailure failure;
    if (save_file_atomically(
            MANIFEST_PATH, [&text](int fd) { return write_all(fd, text) ? 0 : -1; }, &failure) != 0)
        return std::string("cannot write ") + MANIFEST_PATH + ": " + strerror(failure.error);
    *count = lines.size();
    return "";
}

int repo_seal() {
    std::string text;
    if (!read_whole_file(g_XMLFwFile, &text)) {
        fprintf(stderr,
                "fwpak-repo: cannot read %s (%s): run fwpak-repo seal in the repository "
                "directory; nothing was written\n",
                g_XMLFwFile, strerror(errno));
        return REPO_ERRORS;
    }
    Findings ignored;
    CatalogRead read = read_repo_catalog(text, g_XMLFwFile, &ignored);
    if (!read.end.opened || !read.end.well_formed) {
        fprintf(stderr,
                "fwpak-repo: %s is not well-formed XML (see fwpak-repo check); nothing "
                "was written\n",
                g_XMLFwFile);
        return REPO_ERRORS;
    }
    size_t count = 0;
    std::string problem = write_manifest(read.entries, nullptr, {}, &count);
    if (!problem.empty()) {
        fprintf(stderr, "fwpak-repo: %s; nothing was written\n", problem.c_str());
        return REPO_ERRORS;
    }
    printf("sealed %zu files in %s\n", count, MANIFEST_PATH);
    return REPO_CLEAN;
}
