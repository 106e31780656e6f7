// fwpak-repo add: plan every new entry first, write only when all can be added,
// check the new catalog, then put it in place with a rename.
#include "repo/repo_add.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <map>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "flash/tool_commands.h"
#include "handles.h"
#include "inventory/pci_enum.h"
#include "platform/files.h"
#include "versions/versions.h"
#include "repo/host_adapters.h"
#include "repo/image_query.h"
#include "repo/repo_check.h"
#include "repo/repo_seal.h"
#include "trust/manifest.h"

namespace {

constexpr char kImageDir[] = "nic_fw";
// The catalog of a repository that has none yet.
constexpr char kNewCatalog[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<NICFWData>\n</NICFWData>\n";

struct NewEntry {
    std::string name;
    unsigned ids[4] = {0, 0, 0, 0};
    std::string psid;
    std::string version;
    std::string file;    // name under nic_fw/
    std::string source;  // the image as given
    bool copy = false;   // false: the image is in nic_fw/ already
};

int refuse(const std::string& text) {
    fprintf(stderr, "fwpak-repo: %s; nothing was written\n", text.c_str());
    return REPO_ERRORS;
}

std::string hex4(unsigned id) {
    char text[16];
    snprintf(text, sizeof text, "%04X", id);
    return text;
}

std::string xml_escape(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out.push_back(c);
        }
    }
    return out;
}

// The attributes in the order fwpak needs: everything compared before subdevid,
// rom and fwFile after it.
std::string entry_text(const NewEntry& e) {
    return "<NIC name=\"" + xml_escape(e.name) + "\" venid=\"" + hex4(e.ids[0]) + "\" devid=\"" +
           hex4(e.ids[1]) + "\" subvenid=\"" + hex4(e.ids[2]) + "\" PSID=\"" + xml_escape(e.psid) +
           "\" subdevid=\"" + hex4(e.ids[3]) + "\" rom=\"" + xml_escape(e.version) +
           "\" fwFile=\"" + xml_escape(e.file) + "\"/>";
}

std::string base_name(const std::string& path) {
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string resolved(const std::string& path) {
    char buf[PATH_MAX];
    return realpath(path.c_str(), buf) != nullptr ? std::string(buf) : std::string();
}

// Decides where the image goes: kept where it is when it lies in nic_fw/ already
// (or an identical copy does), copied otherwise. Returns a problem or "".
std::string place_image(NewEntry* e) {
    e->file = base_name(e->source);
    const std::string dest = std::string(kImageDir) + "/" + e->file;
    std::string here = resolved(e->source);
    std::string there = resolved(dest);
    if (!there.empty() && here == there)
        return "";
    struct stat st;
    if (lstat(dest.c_str(), &st) != 0) {
        e->copy = true;
        return "";
    }
    std::string mine, theirs;
    if (read_whole_file(e->source, &mine) && read_whole_file(dest, &theirs) && mine == theirs)
        return "";
    return dest + " exists already with other content";
}

// The PCI IDs of the entries for one image: --pci, or every distinct ID set of
// this host's adapters with the image's PSID.
std::vector<std::vector<unsigned>> ids_for(const AddRequest& r, const std::string& psid,
                                           const std::vector<HostAdapter>& host) {
    std::vector<std::vector<unsigned>> sets;
    if (r.has_pci) {
        sets.push_back({r.pci[0], r.pci[1], r.pci[2], r.pci[3]});
        return sets;
    }
    for (const HostAdapter& a : host) {
        std::vector<unsigned> ids(a.ids, a.ids + 4);
        if (a.psid == psid && std::find(sets.begin(), sets.end(), ids) == sets.end())
            sets.push_back(ids);
    }
    return sets;
}

std::string identity(unsigned ven, unsigned dev, const std::string& psid) {
    return hex4(ven) + "-" + hex4(dev) + "-" + psid;
}

std::string default_name(const NewEntry& e, const std::vector<RepoEntry>& existing) {
    const std::string id = identity(e.ids[0], e.ids[1], e.psid);
    for (const RepoEntry& old : existing) {
        if (entry_identity(old.values) == id && old.values.name.set)
            return old.values.name.text;
    }
    std::string name = pci_device_name(e.ids[0], e.ids[1]);
    return name.empty() ? "Adapter " + hex4(e.ids[0]) + ":" + hex4(e.ids[1]) : name;
}

// Returns a problem or "" when the entry can be added next to `existing` and the
// entries planned before it.
std::string clash(const NewEntry& e, const std::vector<RepoEntry>& existing,
                  const std::vector<NewEntry>& planned) {
    const std::string id = identity(e.ids[0], e.ids[1], e.psid);
    const std::string v = version_as_read(e.version.c_str());
    for (const RepoEntry& old : existing) {
        if (entry_identity(old.values) == id && version_as_read(old.rom.text.c_str()) == v)
            return "an entry for " + id + " version " + e.version + " exists already (line " +
                   std::to_string(old.line) + ")";
    }
    for (const NewEntry& p : planned) {
        if (identity(p.ids[0], p.ids[1], p.psid) == id && version_as_read(p.version.c_str()) == v)
            return e.source + " and " + p.source + " make the same entry (" + id + " version " +
                   e.version + ")";
    }
    return "";
}

// Plans the entries of one image. Returns a problem or "".
std::string plan_image(const AddRequest& r, const std::string& image,
                       const std::vector<HostAdapter>& host, const std::vector<RepoEntry>& existing,
                       std::vector<NewEntry>* planned, std::map<std::string, ImageFacts>* known) {
    ImageFacts facts = query_image(image);
    (*known)[base_name(image)] = facts;
    if (!facts.ok)
        return "the burning tool cannot read " + image + ": " + facts.problem;
    if (version_as_read(facts.version.c_str()) != facts.version)
        return image + " holds version \"" + facts.version + "\", which fwpak reads as " +
               version_as_read(facts.version.c_str());
    std::vector<std::vector<unsigned>> sets = ids_for(r, facts.psid, host);
    if (sets.empty())
        return image + " is for PSID " + facts.psid + ", which no adapter of this host has";
    for (const std::vector<unsigned>& ids : sets) {
        NewEntry e;
        e.source = image;
        e.psid = facts.psid;
        e.version = facts.version;
        for (int k = 0; k < 4; ++k) e.ids[k] = ids[static_cast<size_t>(k)];
        std::string problem = place_image(&e);
        if (problem.empty())
            problem = clash(e, existing, *planned);
        if (!problem.empty())
            return problem;
        e.name = !r.name.empty() ? r.name : default_name(e, existing);
        planned->push_back(e);
    }
    return "";
}

// Leading blanks of the line that starts at `start`.
std::string indent_at(const std::string& text, size_t start) {
    size_t first = text.find_first_not_of(" \t", start);
    return text.substr(start, (first == std::string::npos ? text.size() : first) - start);
}

// The indentation of the last element line before `line_start` (a line whose first
// non-blank is "<"); one step deeper than the end tag when that is the root's start.
std::string entry_indent(const std::string& text, size_t line_start,
                         const std::string& end_indent) {
    // `end` is the start of a line (or the end tag); the line before it ends at end-1.
    size_t end = line_start;
    while (end > 0) {
        size_t start = end >= 2 ? text.rfind('\n', end - 2) : std::string::npos;
        start = start == std::string::npos ? 0 : start + 1;
        std::string indent = indent_at(text, start);
        if (start + indent.size() < end && text[start + indent.size()] == '<')
            return indent.size() > end_indent.size() ? indent : end_indent + "  ";
        end = start;
    }
    return end_indent + "  ";
}

// The catalog text with the new entry lines before the root element's end tag,
// indented like the entry before them. Returns "" when there is no end tag.
std::string with_entries(const std::string& old, const std::vector<NewEntry>& entries) {
    size_t end_tag = old.rfind("</");
    if (end_tag == std::string::npos)
        return "";
    size_t line_start = old.rfind('\n', end_tag);
    line_start = line_start == std::string::npos ? 0 : line_start + 1;
    bool own_line = old.find_first_not_of(" \t", line_start) == end_tag;
    std::string indent = entry_indent(old, own_line ? line_start : end_tag,
                                      own_line ? indent_at(old, line_start) : "");
    std::string lines = own_line ? "" : "\n";
    for (const NewEntry& e : entries) lines += indent + entry_text(e) + "\n";
    std::string text = old;
    text.insert(own_line ? line_start : end_tag, lines);
    return text;
}

// Copies one image to `dest` through a temporary file beside it and a hard link,
// which never replaces a file of that name. Returns false with errno set.
bool copy_image(const std::string& source, const std::string& dest) {
    std::string content;
    if (!read_whole_file(source, &content))
        return false;
    size_t slash = dest.find_last_of('/');
    DataFile temp =
        make_data_file(dest.substr(0, slash + 1) + "." + dest.substr(slash + 1) + ".XXXXXX");
    if (!temp.is_open()) {
        errno = temp.error;
        return false;
    }
    const int fd = temp.fd.get();
    bool ok = fchmod(fd, 0644) == 0 && write_all(fd, content) && fsync(fd) == 0 &&
              link(temp.name.c_str(), dest.c_str()) == 0;
    int saved = errno;
    unlink(temp.name.c_str());
    errno = saved;
    return ok;
}

// Copies the images that are not in nic_fw/ yet. Returns the files made (for
// undoing), or sets *problem.
std::vector<std::string> copy_images(const std::vector<NewEntry>& entries, std::string* problem) {
    std::vector<std::string> made;
    for (const NewEntry& e : entries) {
        const std::string dest = std::string(kImageDir) + "/" + e.file;
        if (!e.copy || std::find(made.begin(), made.end(), dest) != made.end())
            continue;
        if (!copy_image(e.source, dest)) {
            *problem = "cannot copy " + e.source + " to " + dest + ": " + strerror(errno);
            return made;
        }
        made.push_back(dest);
    }
    return made;
}

void remove_files(const std::vector<std::string>& files) {
    for (const std::string& f : files) unlink(f.c_str());
}

// Writes the new catalog into the temporary file and checks what the file holds
// before the rename: refused when it has fewer entries than expected or more
// errors than the old catalog. Returns 0 to go on with the rename.
int write_checked(int fd, const std::string& text, size_t entries, int old_errors,
                  const std::map<std::string, ImageFacts>& known, bool* refused) {
    std::string written;
    if (!write_all(fd, text) || fsync(fd) != 0 || !read_whole_fd(fd, &written))
        return -1;
    Findings after;
    // The images already there were checked before; only the new ones' facts count,
    // as the query read them while planning.
    CheckOptions options;
    options.catalog_text = &written;
    options.query = false;
    options.known = &known;
    options.trust = false;
    CatalogRead read = check_repository("", &after, options);
    if (read.entries.size() == entries && after.errors() <= old_errors)
        return 0;
    fprintf(stderr, "fwpak-repo: the new catalog would read as follows:\n");
    after.print(stderr);
    *refused = true;
    errno = 0;
    return -1;
}

void sync_dir(const char* dir) {
    UniqueFd fd(open(dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() >= 0)
        fsync(fd.get());
}

// Copies the images, then writes, checks and renames the new catalog; undoes the
// copies on refusal.
int commit(const std::string& old_text, const std::vector<NewEntry>& entries, size_t old_entries,
           int old_errors, const std::map<std::string, ImageFacts>& known) {
    std::string text = with_entries(old_text, entries);
    if (text.empty())
        return refuse(std::string(g_XMLFwFile) + " has no end tag to add entries before");
    std::string problem;
    std::vector<std::string> made = copy_images(entries, &problem);
    if (!problem.empty()) {
        remove_files(made);
        return refuse(problem);
    }
    bool refused = false;
    SaveFailure failure;
    int rc = save_file_atomically(
        g_XMLFwFile,
        [&](int fd) {
            return write_checked(fd, text, old_entries + entries.size(), old_errors, known,
                                 &refused);
        },
        &failure);
    if (rc != 0) {
        remove_files(made);
        if (refused)
            return refuse("the new catalog has more errors than the old one");
        return refuse(std::string("cannot write ") + g_XMLFwFile + ": " + strerror(failure.error));
    }
    sync_dir(kImageDir);
    return REPO_CLEAN;
}

// The manifest after the catalog has changed: the catalog and the added images
// get their digests now, every other file keeps the one it was sealed with.
int reseal(const std::vector<NewEntry>& planned, const Manifest* sealed) {
    std::string text;
    Findings ignored;
    std::vector<RepoEntry> entries;
    if (read_whole_file(g_XMLFwFile, &text))
        entries = read_repo_catalog(text, g_XMLFwFile, &ignored).entries;
    std::vector<std::string> fresh = {std::string(g_XMLFwFile).substr(strlen("nic_fw/"))};
    for (const NewEntry& e : planned) fresh.push_back(e.file);
    size_t count = 0;
    std::string problem = write_manifest(entries, sealed, fresh, &count);
    if (problem.empty())
        return REPO_CLEAN;
    fprintf(stderr,
            "fwpak-repo: the images were added, but %s; fwpak-repo seal writes the manifest "
            "anew\n",
            problem.c_str());
    return REPO_ERRORS;
}

}  // namespace

bool parse_pci_ids(const char* text, unsigned ids[4]) {
    const char* p = text;
    for (int k = 0; k < 4; ++k) {
        size_t digits = strspn(p, "0123456789abcdefABCDEF");
        if (digits < 1 || digits > 4 || p[digits] != (k < 3 ? ':' : '\0'))
            return false;
        ids[k] = static_cast<unsigned>(strtoul(p, nullptr, 16));
        p += digits + 1;
    }
    return true;
}

int repo_add(const AddRequest& request) {
    struct stat st;
    if (stat(kImageDir, &st) != 0 || !S_ISDIR(st.st_mode))
        return refuse("no nic_fw/ directory here: run fwpak-repo add in the repository directory");
    if (access(MSTFLINT_PROGRAM, X_OK) != 0)
        return refuse(std::string(MSTFLINT_PROGRAM) + " cannot run (" + strerror(errno) +
                      "): add reads each image's PSID and version with it");
    std::string old_text = kNewCatalog;
    const bool had_catalog = stat(g_XMLFwFile, &st) == 0;
    if (had_catalog && !read_whole_file(g_XMLFwFile, &old_text))
        return refuse(std::string("cannot read ") + g_XMLFwFile + ": " + strerror(errno));
    Manifest sealed = read_manifest(MANIFEST_PATH);
    if (!sealed.faults.empty())
        return refuse(std::string(MANIFEST_PATH) +
                      " is damaged (see fwpak-repo check; fwpak-repo seal makes it anew)");
    Findings before;
    CheckOptions options;
    options.catalog_text = had_catalog ? &old_text : nullptr;
    options.query = false;
    options.trust = false;
    CatalogRead old = check_repository("", &before, options);
    if (had_catalog && (!old.end.opened || !old.end.well_formed))
        return refuse(std::string(g_XMLFwFile) + " is not well-formed XML (see fwpak-repo check)");
    std::vector<HostAdapter> host;
    if (request.from_host)
        host = host_mellanox_adapters();
    std::vector<NewEntry> planned;
    std::map<std::string, ImageFacts> known;
    for (const std::string& image : request.images) {
        std::string problem = plan_image(request, image, host, old.entries, &planned, &known);
        if (!problem.empty())
            return refuse(problem);
    }
    int rc = commit(old_text, planned, old.entries.size(), before.errors(), known);
    if (rc != REPO_CLEAN)
        return rc;
    for (const NewEntry& e : planned)
        printf("added %s: %s\n", e.source.c_str(), entry_text(e).c_str());
    return reseal(planned, sealed.present ? &sealed : nullptr);
}
