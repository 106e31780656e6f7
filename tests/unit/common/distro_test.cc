// Distribution detection from the release files under /etc, each case with its own
// files in a private overlay on /etc.
#include <map>
#include <ostream>
#include <string>

#include <gtest/gtest.h>

#include "namespace_case.h"

namespace {

using common_test::NamespaceCase;
using common_test::ProbeRun;

const char kRedHat[] = "/etc/redhat-release";
const char kSuSE[] = "/etc/SuSE-release";
const char kSUSE[] = "/etc/SUSE-release";

struct DistroCase {
    const char* id;
    const char* what;
    std::map<std::string, std::string> files;
    const char* expected;  // the probe's line: result, name, type, version, official name
};

const DistroCase kCases[] = {
    {"NoReleaseFile", "no release file", {}, "rc=1 name=0 type=0 version=0 official=-"},
    {"RedHatAS",
     "Red Hat AS",
     {{kRedHat, "Red Hat Enterprise Linux AS release 4 (Nahant Update 5)\n"}},
     "rc=0 name=1 type=1 version=4 official=Red Hat Enterprise Linux AS release 4 (Nahant Update "
     "5)"},
    {"RedHatES",
     "Red Hat ES",
     {{kRedHat, "Red Hat Enterprise Linux ES release 3 (Taroon)\n"}},
     "rc=0 name=1 type=2 version=3 official=Red Hat Enterprise Linux ES release 3 (Taroon)"},
    {"RedHatWSTrimmed",
     "Red Hat WS, official name trimmed of tabs, blanks and the newline",
     {{kRedHat, "\t Red Hat Enterprise Linux WS release 4 (Nahant)  \t\n"}},
     "rc=0 name=1 type=3 version=4 official=Red Hat Enterprise Linux WS release 4 (Nahant)"},
    {"RedHatWithoutType",
     "Red Hat without a type word: integer part of the release",
     {{kRedHat, "Red Hat Enterprise Linux Server release 5.4 (Tikanga)\n"}},
     "rc=0 name=1 type=0 version=5 official=Red Hat Enterprise Linux Server release 5.4 (Tikanga)"},
    {"IgnoresCase",
     "matching ignores case, the official name keeps it",
     {{kRedHat, "red hat linux as release 2.1 (pensacola)\n"}},
     "rc=0 name=1 type=1 version=2 official=red hat linux as release 2.1 (pensacola)"},
    {"HugeRelease",
     "a release number past 32 bits is held at the largest",
     {{kRedHat, "Red Hat Enterprise Linux release 99999999999\n"}},
     "rc=0 name=1 type=0 version=2147483647 official=Red Hat Enterprise Linux release "
     "99999999999"},
    {"SuseServer",
     "SUSE server",
     {{kSuSE, "SUSE Linux Enterprise Server 10 (x86_64)\nVERSION = 10\n"}},
     "rc=0 name=2 type=4 version=10 official=SUSE Linux Enterprise Server 10 (x86_64)"},
    {"SuseWithoutServer",
     "SUSE without the word server, from the third file",
     {{kSUSE, "SUSE Linux Enterprise Desktop 11 (x86_64)\n"}},
     "rc=0 name=2 type=4 version=0 official=SUSE Linux Enterprise Desktop 11 (x86_64)"},
    {"FedoraCore",
     "Fedora Core",
     {{kRedHat, "Fedora Core release 6 (Zod)\n"}},
     "rc=0 name=5 type=0 version=6 official=Fedora Core release 6 (Zod)"},
    {"UnknownDistribution",
     "unknown distribution still hands out the official name",
     {{kRedHat, "CentOS Linux release 7.9.2009 (Core)\n"}},
     "rc=1 name=0 type=0 version=0 official=CentOS Linux release 7.9.2009 (Core)"},
    {"FirstFileWins",
     "the first file wins over the later ones",
     {{kRedHat, "Fedora Core release 5 (Bordeaux)\n"}, {kSuSE, "SUSE Linux Enterprise Server 9\n"}},
     "rc=0 name=5 type=0 version=5 official=Fedora Core release 5 (Bordeaux)"},
    {"EmptyFirstFileEndsSearch",
     "an empty first file ends the search",
     {{kRedHat, ""}, {kSuSE, "SUSE Linux Enterprise Server 9\n"}},
     "rc=1 name=0 type=0 version=0 official=-"},
    {"OnlyFirstLineCounts",
     "only the first line counts",
     {{kRedHat, "Custom build\nRed Hat Enterprise Linux AS release 4\n"}},
     "rc=1 name=0 type=0 version=0 official=Custom build"},
};

void PrintTo(const DistroCase& k, std::ostream* os) {
    *os << k.id;
}

class DetectLinuxDistro : public ::testing::TestWithParam<DistroCase> {};

TEST_P(DetectLinuxDistro, FromTheFirstReleaseFileThatOpens) {
    REQUIRE_NAMESPACE_CASE();
    const DistroCase& k = GetParam();
    NamespaceCase c;
    for (const char* path : {kRedHat, kSuSE, kSUSE}) c.Hide(path);
    for (const auto& [path, content] : k.files) c.AddFile(path, content);
    ProbeRun run = c.Run({"distro"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, std::string(k.expected) + "\n") << k.what;
}

INSTANTIATE_TEST_SUITE_P(ReleaseFiles, DetectLinuxDistro, ::testing::ValuesIn(kCases),
                         [](const auto& param_info) { return std::string(param_info.param.id); });

TEST(DetectLinuxDistroNoName, OfficialNameIsOptional) {
    REQUIRE_NAMESPACE_CASE();
    NamespaceCase c;
    for (const char* path : {kRedHat, kSuSE, kSUSE}) c.Hide(path);
    c.AddFile(kSuSE, "SUSE LINUX Enterprise Server 9 (i586)\n");
    ProbeRun run = c.Run({"distro-noname"});
    EXPECT_EQ(run.out, "rc=0 name=2 type=4 version=9 official=-\n") << run.err;
}

}  // namespace
