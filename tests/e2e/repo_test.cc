// fwpak-repo on small repositories: one case per finding of check and per outcome
// of add. Each case is a text file tests/data/repo/<case>.txt:
//   args: check                       the command line (split at blanks)
//   status: 2                         the expected exit status
//   pci: cx5-dual                     PCI devices (tests/data/pci/<name>.umockdev)
//   port: 0000:0b:00.0 16.35.2000 MT_0000000080
//   remove: nic_fw/mstflint           a file of the bench's repository taken away
//   chmod: getmlnxinfo 644            a file's mode
//   mkdir: nic_fw/dir.bin             a directory
//   symlink: nic_fw/a.bin ../a.bin    a symbolic link and its target
//   chown: nic_fw 0:50                a file's owner and group
//   before: seal                      fwpak-repo run first with this command (status 0)
//   append: nic_fw/a.bin text         a line added to a file (after `before:`, in order)
//   === path                          a file of the repository (relative to it)
//   === stdout                        the exact expected standard output
//   === stderr                        the exact expected standard error
//   === after nic_fw/NICFWData.xml    the exact expected file after the run
// Every run that is not a successful add must leave the repository as it was.
#include <algorithm>
#include <filesystem>
#include <map>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

#include "bench.h"

namespace {

namespace fs = std::filesystem;

struct RepoCase {
    std::vector<std::string> args;
    int status = -1;
    std::vector<std::string> setup;  // meta lines other than args and status
    std::map<std::string, std::string> files;
    std::string expect_stdout;
    std::string expect_stderr;
    std::map<std::string, std::string> after;
};

RepoCase ParseCase(const std::string& text) {
    RepoCase c;
    std::istringstream in(text);
    std::string* section = nullptr;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("=== ", 0) == 0) {
            std::string name = line.substr(4);
            if (name == "stdout")
                section = &c.expect_stdout;
            else if (name == "stderr")
                section = &c.expect_stderr;
            else if (name.rfind("after ", 0) == 0)
                section = &c.after[name.substr(6)];
            else
                section = &c.files[name];
        } else if (section != nullptr) {
            *section += line + "\n";
        } else if (line.rfind("args: ", 0) == 0) {
            std::istringstream words(line.substr(6));
            for (std::string w; words >> w;) c.args.push_back(w);
        } else if (line.rfind("status: ", 0) == 0) {
            c.status = std::stoi(line.substr(8));
        } else if (!line.empty() && line[0] != '#') {
            c.setup.push_back(line);
        }
    }
    return c;
}

void PrepareBench(Bench* b, const std::string& line) {
    std::istringstream words(line);
    std::string verb, a, x, y;
    words >> verb >> a >> x >> y;
    const std::string path = b->pkg() + "/" + a;
    const std::string rest = line.substr(std::min(line.size(), line.find(a) + a.size() + 1));
    if (verb == "pci:")
        b->AddDevices(a);
    else if (verb == "port:")
        b->SetPort(a, x, y);
    else if (verb == "remove:")
        fs::remove(path);
    else if (verb == "chmod:")
        chmod(path.c_str(), static_cast<mode_t>(std::stoi(x, nullptr, 8)));
    else if (verb == "mkdir:")
        fs::create_directories(path);
    else if (verb == "symlink:")
        fs::create_symlink(x, path);
    else if (verb == "chown:")
        EXPECT_EQ(chown(path.c_str(), static_cast<uid_t>(std::stoi(x)),
                        static_cast<gid_t>(std::stoi(x.substr(x.find(':') + 1)))),
                  0);
    else if (verb == "before:")
        EXPECT_EQ(b->Run({a}).status, 0) << "fwpak-repo " << a;
    else if (verb == "append:")
        b->WritePkgFile(a, b->ReadPkgFile(a) + rest + "\n");
    else
        ADD_FAILURE() << "unknown case line: " << line;
}

// Every file of the repository with its content, to tell whether a run wrote.
std::map<std::string, std::string> Snapshot(const std::string& dir) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        const std::string rel = fs::relative(entry.path(), dir).string();
        files[rel] = entry.is_regular_file() ? ReadFileText(entry.path().string()) : "(dir)";
    }
    return files;
}

class RepoCaseTest : public ::testing::TestWithParam<const char*> {};

TEST_P(RepoCaseTest, Run) {
    const std::string name = GetParam();
    RepoCase c = ParseCase(ReadFileText(std::string(FWPAK_TEST_DATA) + "/repo/" + name + ".txt"));
    ASSERT_FALSE(c.args.empty()) << name << ": no args line";
    Bench b;
    b.UseProgram(FWPAK_REPO_BINARY);
    for (const auto& [path, content] : c.files) {
        fs::create_directories(fs::path(b.pkg() + "/" + path).parent_path());
        b.WritePkgFile(path, content);
    }
    for (const std::string& line : c.setup) PrepareBench(&b, line);
    const auto before = Snapshot(b.pkg());

    RunResult r = b.Run(c.args);
    EXPECT_EQ(r.status, c.status) << r.out << r.err;
    if (!c.expect_stdout.empty()) {
        EXPECT_EQ(r.out, c.expect_stdout) << r.err;
    }
    if (!c.expect_stderr.empty()) {
        EXPECT_EQ(r.err, c.expect_stderr);
    }
    for (const auto& [path, content] : c.after) {
        EXPECT_EQ(b.ReadPkgFile(path), content) << path;
    }
    if (c.args[0] != "add" || r.status != 0) {
        EXPECT_EQ(Snapshot(b.pkg()), before) << "the run wrote into the repository";
    }
}

// seal makes the manifest that sha256sum -c checks by hand and check finds clean;
// add keeps it so, with one query of the image it adds.
TEST(RepoManifest, SealThenAddKeepTheManifestTrue) {
    Bench b;
    b.UseProgram(FWPAK_REPO_BINARY);
    b.UseCatalog("upgrade-cx5");
    b.AddImage("fw-cx5-16.35.3000.bin", "16.35.3000", "MT_0000000080");
    ASSERT_EQ(b.Run({"seal"}).out, "sealed 4 files in nic_fw/SHA256SUMS\n");
    const std::string by_hand =
        "cd " + ShellQuote(b.pkg() + "/nic_fw") + " && sha256sum -c --quiet SHA256SUMS";
    EXPECT_EQ(ShellStatus(by_hand), 0);
    EXPECT_EQ(b.Run({"check"}).status, 0);

    b.WritePkgFile("../fw-new.bin", "version=16.35.4000\npsid=MT_0000000080\n");
    const size_t calls_before = b.CallLines().size();
    ASSERT_EQ(b.Run({"add", "--pci", "15b3:1017:15b3:20", "../fw-new.bin"}).status, 0);
    EXPECT_EQ(b.CallLines().size() - calls_before, 1u) << b.Calls();
    EXPECT_EQ(ShellStatus(by_hand), 0);
    EXPECT_TRUE(Contains(b.ReadPkgFile("nic_fw/SHA256SUMS"), "  fw-new.bin\n"));
    RunResult check = b.Run({"check"});
    EXPECT_EQ(check.status, 0) << check.out;

    // A file changed behind the repository's back is not sealed by the next add.
    b.WritePkgFile("nic_fw/fw-cx5-16.35.3000.bin", "version=16.35.3000\npsid=MT_0000000080\nx\n");
    b.WritePkgFile("../fw-newer.bin", "version=16.35.5000\npsid=MT_0000000080\n");
    ASSERT_EQ(b.Run({"add", "--pci", "15b3:1017:15b3:20", "../fw-newer.bin"}).status, 0);
    check = b.Run({"check"});
    EXPECT_EQ(check.status, 2);
    EXPECT_TRUE(
        Contains(check.out, "fw-cx5-16.35.3000.bin has changed since the manifest was made"))
        << check.out;
}

// One case per finding of check, then the outcomes of add.
const char* const kCases[] = {
    "check-clean",
    "check-catalog-missing",
    "check-xml-fault",
    "check-no-subdevid",
    "check-venid-lower-case",
    "check-venid-inherited",
    "check-psid-never-given",
    "check-psid-blank",
    "check-psid-too-long",
    "check-subvenid-never-given",
    "check-subdevid-malformed",
    "check-attribute-case",
    "check-rom-before-subdevid",
    "check-rom-missing",
    "check-rom-unreadable",
    "check-fwfile-missing",
    "check-fwfile-na",
    "check-image-missing",
    "check-image-empty",
    "check-image-not-a-file",
    "check-image-outside",
    "check-duplicate-version",
    "check-tool-missing",
    "check-tool-not-executable",
    "check-getmlnxinfo-missing",
    "check-image-psid-differs",
    "check-image-version-differs",
    "check-image-unreadable-by-tool",
    "check-no-entries",
    "check-other-directory",
    "check-strict-modes",
    "check-manifest-faults",
    "check-manifest-lacks",
    "seal-image-missing",
    "add-pci",
    "add-new-catalog",
    "add-keeps-bytes",
    "add-from-host",
    "add-from-host-no-adapter",
    "add-exists",
    "add-image-unreadable",
    "add-name-taken",
    "add-refused-by-check",
    "add-manifest-damaged",
    "usage-add-without-ids",
};

INSTANTIATE_TEST_SUITE_P(Repo, RepoCaseTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<const char*>& param) {
                             std::string n = param.param;
                             for (char& ch : n) {
                                 if (ch == '-')
                                     ch = '_';
                             }
                             return n;
                         });

}  // namespace
