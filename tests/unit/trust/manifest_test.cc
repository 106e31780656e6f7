// The checksum manifest: sha256sum's lines and the odd ones, its bounds, and the
// digests of files read piece by piece.
#include "scoped_temp_dir.h"

#include <cerrno>
#include <string>
#include <sys/stat.h>
#include <vector>

#include <gtest/gtest.h>

#include "trust/file_digest.h"
#include "trust/manifest.h"

namespace {

const std::string kDigest(64, 'a');

struct LineCase {
    std::string line;
    const char* name;   // the entry's name; null: a fault
    const char* fault;  // part of the fault's text
};

TEST(Manifest, LinesAndTheirFaults) {
    const std::string at_bound = kDigest + "  " + std::string(MANIFEST_LINE_MAX - 66, 'n');
    const LineCase cases[] = {
        {kDigest + "  fw.bin", "fw.bin", nullptr},
        {kDigest + " *fw.bin", "fw.bin", nullptr},  // sha256sum's binary mode
        {kDigest + "  sub/fw.bin", "sub/fw.bin", nullptr},
        {kDigest + "  ..fw.bin", "..fw.bin", nullptr},
        {kDigest + "  ../getmlnxinfo", "../getmlnxinfo", nullptr},
        {at_bound, at_bound.c_str() + 66, nullptr},
        {at_bound + "n", nullptr, "longer than 4096 bytes"},
        {kDigest + " fw.bin", nullptr, "not \"DIGEST  NAME\""},
        {kDigest.substr(1) + "  fw.bin", nullptr, "not \"DIGEST  NAME\""},
        {"SHA256 (fw.bin) = " + kDigest, nullptr, "not \"DIGEST  NAME\""},
        {std::string(63, 'a') + "g  fw.bin", nullptr, "not 64 hexadecimal digits"},
        {kDigest + "  ", nullptr, "not \"DIGEST  NAME\""},
        {kDigest + "  /etc/shadow", nullptr, "is absolute"},
        {kDigest + "  ../fw.bin", nullptr, "leads out of nic_fw/"},
        {kDigest + "  sub/../../getmlnxinfo", nullptr, "leads out of nic_fw/"},
        {kDigest + "  sub/..", nullptr, "leads out of nic_fw/"},
        {kDigest + "  fw.bin\r", nullptr, "control character"},  // a CRLF line
        {"\\" + kDigest + "  fw\\nbin", nullptr, "not \"DIGEST  NAME\""},
        {kDigest + "  fw\\bin", nullptr, "backslash"},
    };
    for (const LineCase& c : cases) {
        SCOPED_TRACE(c.line.substr(0, 100));
        Manifest m = parse_manifest(c.line + "\n");
        if (c.name != nullptr) {
            ASSERT_EQ(m.entries.size(), 1u);
            EXPECT_TRUE(m.faults.empty());
            EXPECT_EQ(m.entries[0].name, c.name);
            EXPECT_EQ(m.entries[0].digest, kDigest);
        } else {
            EXPECT_TRUE(m.entries.empty());
            ASSERT_EQ(m.faults.size(), 1u);
            EXPECT_EQ(m.faults[0].line, 1);
            EXPECT_NE(m.faults[0].text.find(c.fault), std::string::npos) << m.faults[0].text;
        }
    }
}

TEST(Manifest, WholeFiles) {
    const std::string upper(64, 'A');
    Manifest m = parse_manifest("\n" + upper + "  a\n" + kDigest + "  a\n" + kDigest + "  b");
    ASSERT_EQ(m.entries.size(), 2u);          // the last line needs no end of line
    EXPECT_EQ(m.entries[0].digest, kDigest);  // read as sha256sum reads it
    EXPECT_EQ(m.entries[0].line, 2);
    ASSERT_EQ(m.faults.size(), 1u);
    EXPECT_EQ(m.faults[0].line, 3);
    EXPECT_EQ(m.faults[0].text, "a second line for a");
    ASSERT_NE(m.find("b"), nullptr);
    EXPECT_EQ(m.find("c"), nullptr);
    EXPECT_EQ(manifest_text(m.entries), kDigest + "  a\n" + kDigest + "  b\n");

    ScopedTempDir dir;
    EXPECT_FALSE(read_manifest((dir.path() + "/none").c_str()).present);
    Manifest not_file = read_manifest(dir.path().c_str());
    EXPECT_TRUE(not_file.present);
    ASSERT_EQ(not_file.faults.size(), 1u);
    std::string lines;
    while (lines.size() <= MANIFEST_SIZE_MAX)
        lines += kDigest + "  f" + std::to_string(lines.size()) + "\n";
    dir.Write("big", lines);
    Manifest big = read_manifest((dir.path() + "/big").c_str());
    EXPECT_TRUE(big.entries.empty());
    ASSERT_EQ(big.faults.size(), 1u);
    EXPECT_EQ(big.faults[0].text, "larger than 1048576 bytes: not read");
}

TEST(FileDigest, Sha256OfFilesInPieces) {
    ScopedTempDir dir;
    dir.Write("abc", "abc");
    dir.Write("empty", "");
    // A million bytes: many pieces, and a last one that is short.
    dir.Write("million", std::string(1000000, 'a'));
    ASSERT_EQ(mkfifo((dir.path() + "/fifo").c_str(), 0600), 0);
    const struct {
        const char* file;
        const char* hex;
        int error;
    } cases[] = {
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad", 0},
        {"empty", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855", 0},
        {"million", "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0", 0},
        {"fifo", "", EINVAL},  // never waits for a writer
        {"none", "", ENOENT},
    };
    for (const auto& c : cases) {
        std::string hex;
        int error = 0;
        EXPECT_EQ(sha256_file(dir.path() + "/" + c.file, &hex, &error), c.error == 0) << c.file;
        EXPECT_EQ(hex, c.hex) << c.file;
        EXPECT_EQ(error, c.error) << c.file;
    }
}

}  // namespace
