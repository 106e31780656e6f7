// The strict-mode rule as one table: a path's mode and owner, as the platform's
// stat reports them, and what fwpak makes of it.
#include "fake_platform.h"
#include "scoped_temp_dir.h"

#include <string>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "trust/strict_modes.h"

namespace {

// Neither a user nor a group of this number exists on a test machine, so the
// texts name the number alone.
constexpr unsigned kStranger = 4242;

struct StrictCase {
    const char* path;
    unsigned mode;  // st_mode; 0: stat finds nothing
    unsigned uid;
    unsigned gid;
    StrictVerdict verdict;
    const char* what;
};

const StrictCase kCases[] = {
    {"nic_fw/mstflint", S_IFREG | 0755, 0, 0, StrictVerdict::ok, ""},
    {"nic_fw", S_IFDIR | 0775, 0, 0, StrictVerdict::ok, ""},  // root's group may write
    {"nic_fw/NICFWData.xml", S_IFREG | 0620, 0, 0, StrictVerdict::ok, ""},
    {"nic_fw/x.bin", S_IFREG | 0640, 0, kStranger, StrictVerdict::ok, ""},  // reads only
    {"nic_fw", S_IFDIR | 0775, 0, kStranger, StrictVerdict::writable,
     "can be written by gid 4242 (mode 0775)"},
    {"nic_fw/mstflint", S_IFREG | 0757, 0, 0, StrictVerdict::writable,
     "can be written by others (mode 0757)"},
    {"getmlnxinfo", S_IFREG | 0777, 0, kStranger, StrictVerdict::writable,
     "can be written by gid 4242 and by others (mode 0777)"},
    // A sticky directory keeps others from replacing files, not from adding them.
    {".", S_IFDIR | 01777, 0, 0, StrictVerdict::writable, "can be written by others (mode 1777)"},
    {"nic_fw/x.bin", S_IFREG | 04757, 0, 0, StrictVerdict::writable,
     "can be written by others (mode 4757)"},
    {"nic_fw/mstflint", S_IFREG | 0755, kStranger, 0, StrictVerdict::other_owner,
     "belongs to uid 4242, not to root"},
    {"nic_fw/x.bin", S_IFREG | 0600, kStranger, kStranger, StrictVerdict::other_owner,
     "belongs to uid 4242, not to root"},
    // Writable beats a foreign owner: the refusal is what counts.
    {"nic_fw", S_IFDIR | 0775, kStranger, kStranger, StrictVerdict::writable,
     "can be written by gid 4242 (mode 0775)"},
    {"getmlnxinfo", 0, 0, 0, StrictVerdict::ok, ""},  // missing: reported by whoever runs it
};

TEST(StrictModes, ModeAndOwnerDecide) {
    for (const StrictCase& c : kCases) {
        SCOPED_TRACE(std::string(c.path) + " mode " + std::to_string(c.mode));
        FakePlatform fake;
        FileStatus st;
        st.found = c.mode != 0;
        st.error = c.mode != 0 ? 0 : ENOENT;
        st.mode = c.mode;
        st.uid = c.uid;
        st.gid = c.gid;
        fake.file_statuses[c.path] = st;
        StrictFinding f = check_strict_mode(c.path, std::string("/pkg/") + c.path);
        EXPECT_EQ(f.verdict, c.verdict);
        EXPECT_EQ(f.what, c.what);
        EXPECT_EQ(f.text, c.what[0] == '\0' ? "" : "/pkg/" + std::string(c.path) + " " + c.what);
        EXPECT_EQ(f.fix, c.verdict == StrictVerdict::writable
                             ? "chmod go-w /pkg/" + std::string(c.path)
                             : "");
    }
}

// The real stat follows a link to its target: a link to a file others can write
// is refused, whatever the link's own (meaningless) mode.
TEST(StrictModes, LinksAreFollowedToTheirTarget) {
    ScopedTempDir dir;
    dir.Write("target", "x", 0666);
    const std::string link = dir.path() + "/link";
    ASSERT_EQ(symlink("target", link.c_str()), 0);
    EXPECT_EQ(check_strict_mode(link, "link").verdict, StrictVerdict::writable);
    chmod((dir.path() + "/target").c_str(), 0644);
    EXPECT_NE(check_strict_mode(link, "link").verdict, StrictVerdict::writable);
}

}  // namespace
