// Reading and writing the checksum manifest.
#include "trust/manifest.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "handles.h"
#include "platform/files.h"
#include "trust/file_digest.h"

namespace {

bool is_hex_digest(const std::string& text) {
    if (text.size() != SHA256_HEX_LEN)
        return false;
    for (char c : text) {
        if (isxdigit(static_cast<unsigned char>(c)) == 0)
            return false;
    }
    return true;
}

std::string lower(std::string text) {
    for (char& c : text) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return text;
}

// Whether one "/"-separated part of the name is "..".
bool has_parent_part(const std::string& name) {
    size_t start = 0;
    for (;;) {
        size_t end = name.find('/', start);
        if (name.substr(start, end == std::string::npos ? end : end - start) == "..")
            return true;
        if (end == std::string::npos)
            return false;
        start = end + 1;
    }
}

// Parses one line; returns "" with *entry filled, or the fault.
std::string parse_line(const std::string& line, ManifestEntry* entry) {
    if (line.size() > MANIFEST_LINE_MAX)
        return "line longer than " + std::to_string(MANIFEST_LINE_MAX) + " bytes";
    if (line.size() < SHA256_HEX_LEN + 3 || line[SHA256_HEX_LEN] != ' ' ||
        (line[SHA256_HEX_LEN + 1] != ' ' && line[SHA256_HEX_LEN + 1] != '*'))
        return "not \"DIGEST  NAME\" as sha256sum writes it";
    std::string digest = line.substr(0, SHA256_HEX_LEN);
    if (!is_hex_digest(digest))
        return "the digest is not 64 hexadecimal digits";
    std::string name = line.substr(SHA256_HEX_LEN + 2);
    std::string problem = manifest_name_problem(name);
    if (!problem.empty())
        return problem;
    entry->digest = lower(digest);
    entry->name = name;
    return "";
}

}  // namespace

std::string manifest_name_problem(const std::string& name) {
    if (name.empty())
        return "no file name";
    for (char c : name) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f || c == '\\')
            return "the file name holds a control character or a backslash";
    }
    if (name[0] == '/')
        return "the file name \"" + name + "\" is absolute: the manifest names files in nic_fw/";
    if (name != MANIFEST_LOOKUP_NAME && has_parent_part(name))
        return "the file name \"" + name + "\" leads out of nic_fw/ with \"..\"";
    return "";
}

const ManifestEntry* Manifest::find(const std::string& name) const {
    for (const ManifestEntry& e : entries) {
        if (e.name == name)
            return &e;
    }
    return nullptr;
}

Manifest parse_manifest(const std::string& text) {
    Manifest m;
    m.present = true;
    int number = 0;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        ++number;
        if (line.empty())
            continue;
        ManifestEntry entry;
        entry.line = number;
        std::string fault = parse_line(line, &entry);
        if (fault.empty() && m.find(entry.name) != nullptr)
            fault = "a second line for " + entry.name;
        if (fault.empty())
            m.entries.push_back(entry);
        else
            m.faults.push_back(ManifestFault{number, fault});
    }
    return m;
}

Manifest read_manifest(const char* path) {
    Manifest m;
    UniqueFd fd(open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (fd.get() < 0) {
        m.error = errno;
        m.present = errno != ENOENT;
        if (m.present)
            m.faults.push_back(ManifestFault{0, std::string("cannot be read: ") + strerror(errno)});
        return m;
    }
    m.present = true;
    struct stat st;
    if (fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        m.faults.push_back(ManifestFault{0, "not a regular file"});
        return m;
    }
    std::string text;
    if (!read_whole_fd(fd.get(), &text, MANIFEST_SIZE_MAX)) {
        if (errno == EFBIG)
            m.faults.push_back(ManifestFault{
                0, "larger than " + std::to_string(MANIFEST_SIZE_MAX) + " bytes: not read"});
        else
            m.faults.push_back(ManifestFault{0, std::string("cannot be read: ") + strerror(errno)});
        return m;
    }
    return parse_manifest(text);
}

std::string manifest_text(const std::vector<ManifestEntry>& entries) {
    std::string text;
    for (const ManifestEntry& e : entries) text += e.digest + "  " + e.name + "\n";
    return text;
}
