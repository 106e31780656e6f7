// The strict-mode rule on one path.
#include "trust/strict_modes.h"

#include <cstdio>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <vector>

#include "platform/files.h"

namespace {

// Room for one passwd or group record; a larger one is named by number only.
constexpr size_t kNameRecordSize = size_t{16} * 1024;

std::string user_text(unsigned uid) {
    std::vector<char> buf(kNameRecordSize);
    struct passwd pw;
    struct passwd* found = nullptr;
    std::string number = "uid " + std::to_string(uid);
    if (getpwuid_r(uid, &pw, buf.data(), buf.size(), &found) == 0 && found != nullptr)
        return std::string("user ") + found->pw_name + " (" + number + ")";
    return number;
}

std::string group_text(unsigned gid) {
    std::vector<char> buf(kNameRecordSize);
    struct group gr;
    struct group* found = nullptr;
    std::string number = "gid " + std::to_string(gid);
    if (getgrgid_r(gid, &gr, buf.data(), buf.size(), &found) == 0 && found != nullptr)
        return std::string("group ") + found->gr_name + " (" + number + ")";
    return number;
}

std::string mode_text(unsigned mode) {
    char text[16];
    snprintf(text, sizeof text, "%04o", mode & 07777U);
    return text;
}

}  // namespace

StrictFinding check_strict_mode(const std::string& path, const std::string& shown) {
    StrictFinding finding;
    const FileStatus st = file_status(path.c_str());
    if (!st.found)
        return finding;
    // Root's own group may write: on many systems the package is root:root 0775.
    const bool group_writes = (st.mode & S_IWGRP) != 0 && st.gid != 0;
    const bool others_write = (st.mode & S_IWOTH) != 0;
    if (group_writes || others_write) {
        std::string who = group_writes ? group_text(st.gid) : "";
        if (others_write)
            who += group_writes ? " and by others" : "others";
        finding.verdict = StrictVerdict::writable;
        finding.what = "can be written by " + who + " (mode " + mode_text(st.mode) + ")";
        finding.text = shown + " " + finding.what;
        finding.fix = "chmod go-w " + shown;
        return finding;
    }
    if (st.uid != 0) {
        finding.verdict = StrictVerdict::other_owner;
        finding.what = "belongs to " + user_text(st.uid) + ", not to root";
        finding.text = shown + " " + finding.what;
    }
    return finding;
}
