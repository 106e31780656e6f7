// Host utility library: Linux distribution detection from the release files.
#include "common/distro.h"

#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "common/common_utilities.h"
#include "console.h"
#include "handles.h"

const char* const linux_distro_name[6] = {"unknown", "Red Hat", "SUSE",
                                          "Vmware",  "Zen",     "Fedora Core"};
const char* const linux_distro_type[5] = {"unknown", "AS", "ES", "WS", "ES"};

namespace {

const char* const release_files[] = {"/etc/redhat-release", "/etc/SuSE-release",
                                     "/etc/SUSE-release"};

// The decimal number right after `word` in line, read as atoi would but held to
// the 32-bit range instead of overflowing; 0 when the word does not occur.
int32_t number_after(const char* line, const char* word) {
    const char* at = strstr(line, word);
    if (at == nullptr)
        return 0;
    long value = strtol(at + strlen(word), nullptr, 10);
    if (value > INT32_MAX)
        return INT32_MAX;
    if (value < INT32_MIN)
        return INT32_MIN;
    return static_cast<int32_t>(value);
}

int32_t classify_release_line(const char* upper, linux_distro_name_t* pname,
                              linux_distro_type_t* ptype, int32_t* pversion) {
    if (strstr(upper, "RED HAT") != nullptr) {
        *pname = rh_distro;
        if (strstr(upper, "LINUX AS") != nullptr)
            *ptype = rh_as;
        else if (strstr(upper, "LINUX ES") != nullptr)
            *ptype = rh_es;
        else if (strstr(upper, "LINUX WS") != nullptr)
            *ptype = rh_ws;
        *pversion = number_after(upper, " RELEASE ");
        return 0;
    }
    if (strstr(upper, "SUSE") != nullptr) {
        *pname = suse_distro;
        *ptype = suse_es;
        *pversion = number_after(upper, " SERVER ");
        return 0;
    }
    if (strstr(upper, "FEDORA CORE") != nullptr) {
        *pname = fedora_core_distro;
        *pversion = number_after(upper, " RELEASE ");
        return 0;
    }
    return 1;
}

}  // namespace

int32_t detect_linux_distro(linux_distro_name_t* pname, linux_distro_type_t* ptype,
                            int32_t* pversion, char** ppofficial_distro_name) {
    *pname = unknown_distro;
    *ptype = unknown_distro_type;
    *pversion = 0;
    ScopedLineReader reader;
    ssize_t len = -1;
    // Only the first file that opens is read, even when it holds no line.
    for (const char* path : release_files) {
        len = reader.next(path);
        if (reader.file != nullptr)
            break;
    }
    if (len < 0)
        return 1;
    if (ppofficial_distro_name != nullptr) {
        *ppofficial_distro_name = common_strdup(reader.line, FWPAK_SOURCE, __LINE__);
        trim_chars(*ppofficial_distro_name, " \t\n");
    }
    for (char* c = reader.line; *c != '\0'; c++)
        *c = static_cast<char>(toupper(static_cast<unsigned char>(*c)));
    return classify_release_line(reader.line, pname, ptype, pversion);
}
