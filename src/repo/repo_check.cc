// fwpak-repo check: the catalog read through fwpak's own walk, then the files and
// tools it names, then what the images themselves say.
#include "repo/repo_check.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <map>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include "flash/tool_commands.h"
#include "handles.h"
#include "platform/files.h"
#include "versions/versions.h"
#include "repo/image_query.h"
#include "repo/repo_trust.h"

namespace {

constexpr char kImageDir[] = "nic_fw";
// The names fwpak reads, for telling apart a name written in the wrong letter case.
const char* const kKnownNames[] = {g_XMLNicName, g_XMLVenId,    g_XMLDevId, g_XMLSubVenId,
                                   g_XMLPSID,    g_XMLSubDevId, g_XMLrom,   g_XMLFwImage};

// Collects the entries of one walk, and the faults that the walk alone shows.
class EntryCollector : public CatalogVisitor {
  public:
    EntryCollector(const std::string& shown, Findings* findings, std::vector<bool> tag_lines)
        : shown_(shown), findings_(findings), tag_lines_(std::move(tag_lines)) {}

    // The parser gives the line where a start tag ends; findings name the line where
    // it begins (the nearest line at or above that starts with "<").
    void begin_node(int line) override {
        while (line > 1 && static_cast<size_t>(line) <= tag_lines_.size() &&
               !tag_lines_[static_cast<size_t>(line) - 1])
            --line;
        current_ = RepoEntry{};
        current_.line = line;
        keyed_ = false;
        entry_like_ = false;
    }
    void attribute(const char* name) override {
        for (const char* known : kKnownNames) {
            if (strcmp(name, known) == 0) {
                entry_like_ = true;
                if (!keyed_)
                    current_.own.emplace_back(name);
                return;
            }
        }
        for (const char* known : kKnownNames) {
            if (strcasecmp(name, known) == 0)
                findings_->warning(shown_, current_.line,
                                   std::string("attribute ") + name +
                                       " is not read: names are case-sensitive (" + known + ")");
        }
    }
    bool entry(const CatalogScratch& scratch) override {
        current_.values = scratch;
        keyed_ = true;
        return true;
    }
    void tail(CatalogTail which, const char* value) override {
        const char* name = which == CatalogTail::rom ? "rom" : "fwFile";
        if (!keyed_) {
            misplaced_.push_back(std::string(name) + " stands before subdevid: fwpak ignores it");
            return;
        }
        CatalogValue& v = which == CatalogTail::rom ? current_.rom : current_.fw_file;
        v.assign(value);
        (which == CatalogTail::rom ? current_.has_rom : current_.has_fw_file) = true;
    }
    void end_node() override {
        if (keyed_) {
            for (const std::string& text : misplaced_)
                findings_->error(shown_, current_.line, text);
            entries.push_back(current_);
        } else if (entry_like_) {
            findings_->error(shown_, current_.line,
                             "no subdevid: fwpak never compares this entry with an adapter");
        }
        misplaced_.clear();
    }

    std::vector<RepoEntry> entries;

  private:
    std::string shown_;
    Findings* findings_;
    std::vector<bool> tag_lines_;  // per line of the file: its first non-blank is "<"
    RepoEntry current_;
    std::vector<std::string> misplaced_;  // findings that count only for an entry
    bool keyed_ = false;
    bool entry_like_ = false;
};

bool gave(const RepoEntry& e, const char* name) {
    for (const std::string& own : e.own) {
        if (own == name)
            return true;
    }
    return false;
}

// venid, devid and PSID: compared, so a missing one either never matches or
// matches with another entry's value.
void check_compared(const RepoEntry& e, const char* name, const CatalogValue& v,
                    const std::string& shown, Findings* f) {
    if (!v.set) {
        f->error(shown, e.line, std::string("no ") + name + ": fwpak never matches this entry");
        return;
    }
    if (!gave(e, name))
        f->warning(
            shown, e.line,
            std::string("no ") + name + ": fwpak takes \"" + v.text + "\" from an earlier entry");
    if (strcmp(name, "PSID") != 0 && !is_pci_id_text(v.text))
        f->error(shown, e.line,
                 std::string(name) + " \"" + v.text +
                     "\" is not four upper-case hex digits: fwpak never matches this entry");
}

void check_psid(const RepoEntry& e, const std::string& shown, Findings* f) {
    const CatalogValue& psid = e.values.psid;
    if (!psid.set)
        return;
    if (psid.text.empty() || psid.text.find(' ') != std::string::npos)
        f->error(shown, e.line,
                 "PSID \"" + psid.text +
                     "\" is empty or holds a blank: an adapter's PSID never does, so fwpak "
                     "never matches this entry");
    else if (psid.text.size() > MAX_MATCHING_PSID)
        f->error(shown, e.line,
                 "PSID \"" + psid.text + "\" is longer than " + std::to_string(MAX_MATCHING_PSID) +
                     " characters: fwpak never matches this entry");
}

// subvenid and subdevid are not compared, but fwpak needs them to be there.
void check_subsystem(const RepoEntry& e, const char* name, const CatalogValue& v,
                     const std::string& shown, Findings* f) {
    if (strcmp(name, "subvenid") == 0 && !v.set) {
        f->error(shown, e.line, "no subvenid before subdevid: fwpak never matches this entry");
        return;
    }
    if (gave(e, name) && !is_pci_id_text(v.text))
        f->warning(shown, e.line,
                   std::string(name) + " \"" + v.text +
                       "\" is not four upper-case hex digits (fwpak does not compare it)");
}

// The version text as fwpak reads it, compared with what it says; leading zeros of
// a field are harmless.
std::string strip_leading_zeros(const std::string& text) {
    std::string out;
    bool start = true;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        bool last_of_field = i + 1 == text.size() || text[i + 1] == '.';
        if (start && c == '0' && !last_of_field)
            continue;
        start = c == '.';
        out.push_back(c);
    }
    return out;
}

void check_rom(const RepoEntry& e, const std::string& shown, Findings* f) {
    if (!e.has_rom) {
        f->error(shown, e.line, "no rom after subdevid: fwpak reads the version as 0.0.0");
        return;
    }
    std::string text = e.rom.set ? e.rom.text : "";
    std::string read = version_as_read(text.c_str());
    if (strip_leading_zeros(text) != read)
        f->error(shown, e.line,
                 "rom \"" + text + "\" is not a version fwpak can read: it reads " + read);
}

std::vector<bool> tag_lines(const std::string& text) {
    std::vector<bool> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        size_t first = line.find_first_not_of(" \t\r");
        lines.push_back(first != std::string::npos && line[first] == '<');
    }
    return lines;
}

}  // namespace

bool is_pci_id_text(const std::string& text) {
    if (text.size() != 4)
        return false;
    for (char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F')))
            return false;
    }
    return true;
}

std::string entry_identity(const CatalogScratch& v) {
    return v.venid.text + "-" + v.devid.text + "-" + v.psid.text;
}

CatalogRead read_repo_catalog(const std::string& text, const std::string& shown,
                              Findings* findings) {
    CatalogRead read;
    EntryCollector collector(shown, findings, tag_lines(text));
    read.end = walk_catalog_memory(text.data(), text.size(), &collector);
    read.entries = std::move(collector.entries);
    if (!read.end.opened || !read.end.well_formed) {
        std::string why = read.end.opened ? read.end.error_text : "no XML document";
        findings->error(shown, read.end.error_line,
                        "not well-formed XML (" + why + "): fwpak reads no entry after this point");
    }
    for (const RepoEntry& e : read.entries) {
        check_compared(e, "venid", e.values.venid, shown, findings);
        check_compared(e, "devid", e.values.devid, shown, findings);
        check_compared(e, "PSID", e.values.psid, shown, findings);
        check_psid(e, shown, findings);
        check_subsystem(e, "subvenid", e.values.subvenid, shown, findings);
        check_subsystem(e, "subdevid", e.values.subdevid, shown, findings);
        check_rom(e, shown, findings);
    }
    if (read.end.well_formed && read.entries.empty())
        findings->warning(shown, 0, "no entry: fwpak finds no image for any adapter");
    return read;
}

namespace {

// An executable file fwpak runs from the repository; returns whether it can run.
bool check_tool(const std::string& path, const std::string& shown, Severity missing,
                const std::string& what, Findings* f) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
        f->add(shown, 0, missing, std::string("missing (") + strerror(errno) + "): " + what);
        return false;
    }
    if (!S_ISREG(st.st_mode) || access(path.c_str(), X_OK) != 0) {
        f->add(shown, 0, missing, "not an executable file: " + what);
        return false;
    }
    return true;
}

// Whether `real` (a resolved path) lies inside directory `dir` (resolved).
bool inside(const std::string& real, const std::string& dir) {
    return real.size() > dir.size() + 1 && real.compare(0, dir.size(), dir) == 0 &&
           real[dir.size()] == '/';
}

std::string resolved(const std::string& path) {
    char buf[PATH_MAX];
    return realpath(path.c_str(), buf) != nullptr ? std::string(buf) : std::string();
}

// Returns true when the image file can be handed to the burning tool.
bool check_image_file(const RepoEntry& e, const std::string& shown, const std::string& image_dir,
                      Findings* f) {
    const std::string& name = e.fw_file.text;
    const std::string path = std::string(kImageDir) + "/" + name;
    if (name.empty() || name[0] == '/' || name == ".." || name.rfind("../", 0) == 0 ||
        name.find("/../") != std::string::npos) {
        f->error(shown, e.line, "fwFile \"" + name + "\" lies outside nic_fw/");
        return false;
    }
    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
        f->error(shown, e.line,
                 "fwFile \"" + name + "\" cannot be found (nic_fw/" + name + ": " +
                     strerror(errno) + "): every burn of this entry fails");
        return false;
    }
    if (!image_dir.empty() && !inside(resolved(path), image_dir)) {
        f->error(shown, e.line, "fwFile \"" + name + "\" lies outside nic_fw/ (a link leads out)");
        return false;
    }
    UniqueFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!S_ISREG(st.st_mode) || fd.get() < 0) {
        f->error(shown, e.line,
                 "fwFile \"" + name + "\": nic_fw/" + name + " is not a readable file" +
                     (fd.get() < 0 ? std::string(" (") + strerror(errno) + ")" : ""));
        return false;
    }
    if (st.st_size == 0) {
        f->error(shown, e.line, "fwFile \"" + name + "\": nic_fw/" + name + " is empty");
        return false;
    }
    return true;
}

// fwpak never burns the second of two entries with the same key and version.
void check_duplicates(const std::vector<RepoEntry>& entries, const std::string& shown,
                      Findings* f) {
    std::map<std::string, const RepoEntry*> first;
    for (const RepoEntry& e : entries) {
        std::string key = entry_identity(e.values) + " " + version_as_read(e.rom.c_str());
        auto [it, fresh] = first.emplace(key, &e);
        if (fresh || it->second->fw_file.text == e.fw_file.text)
            continue;
        f->error(shown, e.line,
                 "same adapter and version as line " + std::to_string(it->second->line) +
                     " but another fwFile (\"" + e.fw_file.text + "\"): fwpak burns \"" +
                     it->second->fw_file.text + "\"");
    }
}

void check_image_contents(const RepoEntry& e, const ImageFacts& facts, const std::string& shown,
                          Findings* f) {
    const std::string& name = e.fw_file.text;
    if (!facts.ok) {
        f->error(shown, e.line,
                 "the burning tool cannot read nic_fw/" + name + ": " + facts.problem);
        return;
    }
    if (e.values.psid.set && facts.psid != e.values.psid.text)
        f->error(shown, e.line,
                 "nic_fw/" + name + " is for PSID " + facts.psid + ", the entry says " +
                     e.values.psid.text + ": every burn fails with a PSID mismatch");
    std::string entry_version = version_as_read(e.rom.c_str());
    if (version_as_read(facts.version.c_str()) != entry_version)
        f->error(shown, e.line,
                 "nic_fw/" + name + " holds version " + facts.version + ", the entry says " +
                     entry_version);
}

// The image files of the entries, then what the images themselves say: the
// queries of the images not in `known` run side by side (when `query`), once per
// file.
void check_entry_files(const std::vector<RepoEntry>& entries, const std::string& shown,
                       const CheckOptions& options, bool tool_ok, Findings* f) {
    const std::string image_dir = resolved(kImageDir);
    std::vector<const RepoEntry*> readable;
    for (const RepoEntry& e : entries) {
        if (!e.has_fw_file || !e.fw_file.set) {
            f->error(shown, e.line, "no fwFile after subdevid: fwpak has no image to burn");
            continue;
        }
        const std::string& name = e.fw_file.text;
        if (!names_image_file(name.c_str())) {
            f->warning(shown, e.line, "fwFile \"" + name + "\" marks an entry without an image");
            continue;
        }
        // A placeholder that a report replay resolves through getmlnxinfo.
        if (is_placeholder_image(name.c_str()))
            continue;
        if (check_image_file(e, shown, image_dir, f))
            readable.push_back(&e);
    }
    std::map<std::string, ImageFacts> facts;
    if (options.known != nullptr)
        facts = *options.known;
    std::vector<std::string> names;
    for (const RepoEntry* e : readable) {
        const std::string& name = e->fw_file.text;
        if (options.query && tool_ok && facts.count(name) == 0 &&
            std::find(names.begin(), names.end(), name) == names.end())
            names.push_back(name);
    }
    std::vector<std::string> paths;
    paths.reserve(names.size());
    for (const std::string& name : names)
        paths.push_back(std::string("./") + kImageDir + "/" + name);
    std::vector<ImageFacts> answers = query_images(paths);
    for (size_t i = 0; i < names.size(); ++i) facts[names[i]] = answers[i];
    for (const RepoEntry* e : readable) {
        auto it = facts.find(e->fw_file.text);
        if (it != facts.end())
            check_image_contents(*e, it->second, shown, f);
    }
}

}  // namespace

CatalogRead check_repository(const std::string& shown_dir, Findings* findings,
                             const CheckOptions& options) {
    const bool tool_ok = check_tool(MSTFLINT_PROGRAM, shown_dir + kImageDir + "/" + MSTFLINT_ARG0,
                                    Severity::error, "fwpak burns with it", findings);
    const std::string lookup = IMAGE_LOOKUP_PROGRAM;
    // Shown under the package directory, without the "./" the program runs it with.
    check_tool(lookup, shown_dir + lookup.substr(2), Severity::warning,
               "report replays resolve placeholder image names with it", findings);
    const std::string shown = shown_dir + g_XMLFwFile;
    std::string text;
    if (options.catalog_text != nullptr) {
        text = *options.catalog_text;
    } else if (!read_whole_file(g_XMLFwFile, &text)) {
        findings->error(shown, 0,
                        std::string("cannot open the catalog (") + strerror(errno) +
                            "): every fwpak run stops");
        if (options.trust)
            check_trust(shown_dir, {}, findings);
        return CatalogRead{};
    }
    CatalogRead read = read_repo_catalog(text, shown, findings);
    check_duplicates(read.entries, shown, findings);
    check_entry_files(read.entries, shown, options, tool_ok, findings);
    if (options.trust)
        check_trust(shown_dir, read.entries, findings);
    return read;
}
