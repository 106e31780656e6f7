// The strict-mode and manifest checks of fwpak's start-up and of every burn.
#include "flash/trust_checks.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>
#include <utility>
#include <vector>

#include "console.h"
#include "handles.h"
#include "nic_info.h"
#include "platform/process_state.h"
#include "run_flags.h"
#include "trust/file_digest.h"
#include "trust/manifest.h"
#include "trust/strict_modes.h"

namespace {

constexpr char kStartCheck[] = "check_repository_trust: ";
// The repository's burning tool, in the manifest (relative to nic_fw/) and here.
constexpr char kManifestTool[] = "mstflint";
constexpr char kRepoTool[] = "nic_fw/mstflint";

struct ImageChecks {
    bool strict = false;
    Manifest manifest;  // not present: nothing is verified
};

ImageChecks& image_checks() {
    static ImageChecks checks;
    return checks;
}

void reset_image_checks() {
    image_checks() = ImageChecks{};
}
[[maybe_unused]] const bool kImageChecksReset = register_run_state_reset(reset_image_checks);

// The package directory's own path, so that a log line read later names the file.
std::string package_path(const std::string& rel) {
    char cwd[TEXT_LEN];
    if (getcwd(cwd, sizeof cwd) == nullptr)
        return rel;
    return rel == "." ? std::string(cwd) : std::string(cwd) + "/" + rel;
}

// The start-up's findings, written together once the checks are done.
class StartReport {
  public:
    void refuse(const std::string& text) {
        lines_.emplace_back(LOG_ERROR, text);
        refused_ = true;
    }
    void warn(const std::string& text) { lines_.emplace_back(LOG_WARNING, text); }
    void inform(const std::string& text) { lines_.emplace_back(LOG_INFO, text); }
    bool refused() const { return refused_; }

    // Refusals on standard error; everything in the event log. Each mode opens the
    // log for itself, so it is opened here only for these lines; when it cannot be
    // opened, the mode's own open reports that.
    void write() const {
        for (const auto& [tag, text] : lines_) {
            if (tag == LOG_ERROR)
                fprintf(stderr, "fwpak: %s\n", text.c_str());
        }
        if (lines_.empty())
            return;
        UniqueFile own;
        FILE* log = pmstflint_fout;
        if (log == nullptr) {
            own.reset(fopen(g_EventLogFile, "a"));
            log = own.get();
        }
        for (const auto& [tag, text] : lines_)
            log_mellanox_event(log, tag, (kStartCheck + log_value(text) + "\n").c_str());
    }

  private:
    std::vector<std::pair<const char*, std::string>> lines_;
    bool refused_ = false;
};

void check_strict_paths(bool secure_boot, StartReport* report) {
    std::vector<std::string> paths = {".",           "nic_fw",    kRepoTool,
                                      "getmlnxinfo", g_XMLFwFile, MANIFEST_PATH};
    // Under Secure Boot the installed flint burns: the repository's tool and its
    // directory are not run. getmlnxinfo still is, by a replay.
    if (secure_boot)
        paths = {".", "getmlnxinfo", g_XMLFwFile, MANIFEST_PATH};
    for (const std::string& rel : paths) {
        StrictFinding f = check_strict_mode(rel, package_path(rel));
        if (f.verdict == StrictVerdict::writable)
            report->refuse(f.text +
                           ": fwpak runs as root and starts nothing from a package "
                           "directory that other users can change; fix: " +
                           f.fix);
        else if (f.verdict == StrictVerdict::other_owner)
            report->warn(f.text + ": that user can change what fwpak runs as root");
    }
}

// A digest that differs, or cannot be taken, as text; "" when `rel` matches.
std::string digest_mismatch(const std::string& rel, const ManifestEntry& entry) {
    std::string found;
    int error = 0;
    if (!sha256_file(rel, &found, &error))
        return rel + " cannot be read to verify it against " + MANIFEST_PATH + " (" +
               strerror(error) + ")";
    if (found == entry.digest)
        return "";
    return rel + " does not match " + MANIFEST_PATH + " (expected " + entry.digest + ", found " +
           found + ")";
}

void check_manifest(bool secure_boot, StartReport* report) {
    Manifest& manifest = image_checks().manifest;
    manifest = read_manifest(MANIFEST_PATH);
    if (!manifest.present) {
        report->inform(std::string("the repository has no checksum manifest (") + MANIFEST_PATH +
                       "): images and the burning tool are not verified; fwpak-repo seal "
                       "makes one");
        return;
    }
    for (const ManifestFault& fault : manifest.faults) {
        std::string where = std::string(MANIFEST_PATH) +
                            (fault.line > 0 ? " line " + std::to_string(fault.line) : "");
        report->refuse(where + ": " + fault.text +
                       ": a damaged manifest verifies nothing, so fwpak starts nothing; "
                       "fwpak-repo check shows it, fwpak-repo seal makes it anew");
    }
    if (!manifest.faults.empty() || secure_boot)
        return;
    const ManifestEntry* tool = manifest.find(kManifestTool);
    if (tool == nullptr) {
        report->refuse(std::string(kRepoTool) + " has no line in " + MANIFEST_PATH +
                       ": fwpak starts no burning tool it cannot verify; fwpak-repo seal "
                       "adds it");
        return;
    }
    std::string mismatch = digest_mismatch(kRepoTool, *tool);
    if (!mismatch.empty())
        report->refuse(mismatch + ": fwpak starts no changed burning tool");
}

}  // namespace

void set_image_checks(bool strict, bool verify) {
    image_checks().strict = strict;
    image_checks().manifest = verify ? read_manifest(MANIFEST_PATH) : Manifest{};
}

bool check_repository_trust() {
    StartReport report;
    const bool secure_boot = boot_mode_value == 1;
    image_checks().strict = running_as_root();
    if (image_checks().strict)
        check_strict_paths(secure_boot, &report);
    check_manifest(secure_boot, &report);
    report.write();
    return !report.refused();
}

std::string image_refusal(const char* file, const std::string& bus) {
    const ImageChecks& checks = image_checks();
    const std::string rel = std::string("nic_fw/") + file;
    const std::string into = "do_update_firmware: " + log_value(bus) + " not burnt: ";
    if (checks.strict) {
        StrictFinding f = check_strict_mode(rel, package_path(rel));
        if (f.verdict == StrictVerdict::writable)
            return into + log_value(f.text) + "; fix: " + log_value(f.fix) + "\n";
        if (f.verdict == StrictVerdict::other_owner)
            log_eventf(LOG_WARNING, "do_update_firmware: %s\n", log_value(f.text).c_str());
    }
    if (!checks.manifest.present)
        return "";
    const ManifestEntry* entry = checks.manifest.find(file);
    if (entry == nullptr)
        return into + log_value(rel) + " has no line in " + MANIFEST_PATH +
               "; fwpak-repo seal adds it\n";
    std::string mismatch = digest_mismatch(rel, *entry);
    return mismatch.empty() ? "" : into + log_value(mismatch) + "\n";
}
