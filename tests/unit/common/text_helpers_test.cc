// Text helpers: trimming, the lazily opened line reader and token lines.
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/common_utilities.h"
#include "namespace_case.h"

namespace {

using common_test::WriteText;

struct TrimCase {
    const char* text;
    const char* set;
    const char* expected;
};

TEST(TrimChars, BothEndsOnly) {
    const TrimCase cases[] = {
        {"\t name \n", " \t\n", "name"}, {"\n\tfoo bar\t \n", " \t\n", "foo bar"},
        {"a b\tc", " \t", "a b\tc"},     {"   ", " ", ""},
        {" \t\n", " \t\n", ""},          {"", " ", ""},
        {"  abc  ", "", "  abc  "},      {"xxabcxx", "x", "abc"},
        {"xyzabczyx", "zyx", "abc"},     {"abc", " ", "abc"},
    };
    for (const TrimCase& k : cases) {
        std::string buf = k.text;
        trim_chars(buf.data(), k.set);
        EXPECT_STREQ(buf.c_str(), k.expected) << '"' << k.text << "\" by \"" << k.set << '"';
    }
}

class TempDir : public ::testing::Test {
  protected:
    void SetUp() override {
        char tmpl[] = "/tmp/fwpak-common-XXXXXX";
        dir_ = mkdtemp(tmpl);
    }
    void TearDown() override { common_test::Shell("rm -rf " + common_test::Quote(dir_)); }
    std::string File(const std::string& name, const std::string& content) {
        WriteText(dir_ + "/" + name, content);
        return dir_ + "/" + name;
    }
    std::string dir_;
};

using LineReader = TempDir;

TEST_F(LineReader, OpensOnFirstReadAndIgnoresTheNameAfterwards) {
    std::string path = File("lines", "one\n" + std::string(10000, 'x') + "\nlast");
    FILE* f;
    char* line;
    size_t len;
    alloc_read_a_line_vars(&f, &line, &len);
    EXPECT_EQ(f, nullptr);
    EXPECT_EQ(read_a_line(path.c_str(), &f, &line, &len), 4);
    EXPECT_STREQ(line, "one\n");
    EXPECT_EQ(read_a_line("/nonexistent", &f, &line, &len), 10001);
    EXPECT_EQ(std::string(line), std::string(10000, 'x') + "\n");
    EXPECT_EQ(read_a_line(nullptr, &f, &line, &len), 4);
    EXPECT_STREQ(line, "last");
    EXPECT_EQ(read_a_line(path.c_str(), &f, &line, &len), -1);
    free_read_a_line_vars(&f, &line, &len);
    EXPECT_EQ(f, nullptr);
    EXPECT_EQ(line, nullptr);
    EXPECT_EQ(len, 0u);
}

TEST_F(LineReader, MissingFileGivesNoLineAndNothingToFree) {
    FILE* f;
    char* line;
    size_t len;
    alloc_read_a_line_vars(&f, &line, &len);
    EXPECT_EQ(read_a_line((dir_ + "/missing").c_str(), &f, &line, &len), -1);
    EXPECT_EQ(f, nullptr);
    free_read_a_line_vars(&f, &line, &len);
    EXPECT_EQ(line, nullptr);
}

using ReadTokens = TempDir;

const char kModprobeConf[] =
    "options mlx4_core debug=1\n"
    "  options mlx4_en pfc=3\n"
    "\toptions tabbed=1\n"
    "# options commented=1\n"
    "  # options commented=2\n"
    "options bond0 mode=1 # note\n"
    "reoptions x options y\n"
    "alias eth0 options\n"
    "optionsX glued\n"
    "options last=1";

TEST_F(ReadTokens, LinesThatBeginWithTheToken) {
    std::string path = File("modprobe.conf", kModprobeConf);
    char** lines = nullptr;
    int32_t count = -1;
    // Tabs are not skipped, comments before the token hide it, the first
    // occurrence must be where the text starts (a longer word starting with the
    // token still counts), and a last line without newline stays as it is.
    ASSERT_EQ(read_tokens(path.c_str(), "options", 1, &lines, &count), 5);
    EXPECT_EQ(count, 5);
    std::vector<std::string> got(lines, lines + count);
    EXPECT_EQ(got, (std::vector<std::string>{"options mlx4_core debug=1", "  options mlx4_en pfc=3",
                                             "options bond0 mode=1 # note", "optionsX glued",
                                             "options last=1"}));
    free_read_tokens(&lines, count);
    EXPECT_EQ(lines, nullptr);
}

TEST_F(ReadTokens, KeepsNewlinesUnlessAsked) {
    std::string path = File("modprobe.conf", kModprobeConf);
    char** lines = nullptr;
    int32_t count = 0;
    ASSERT_EQ(read_tokens(path.c_str(), "options", 0, &lines, &count), 5);
    EXPECT_STREQ(lines[0], "options mlx4_core debug=1\n");
    EXPECT_STREQ(lines[4], "options last=1");
    free_read_tokens(&lines, count);
}

TEST_F(ReadTokens, NothingMatchedGivesAnEmptyList) {
    char* stale[1] = {nullptr};
    char** lines = stale;  // must be replaced by null
    int32_t count = -1;
    EXPECT_EQ(read_tokens((dir_ + "/missing").c_str(), "options", 1, &lines, &count), 0);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(lines, nullptr);
    std::string path = File("modprobe.conf", kModprobeConf);
    EXPECT_EQ(read_tokens(path.c_str(), "install", 1, &lines, &count), 0);
    EXPECT_EQ(lines, nullptr);
    free_read_tokens(&lines, 0);
}

}  // namespace
