// The yes/no question: answers, defaults, end of input, over-long lines and the
// unattended runs that never ask.
#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "console.h"
#include "handles.h"
#include "run_flags.h"
#include "test_io.h"

namespace {

const char kPrompt[] = "Would you like to flash the firmware?\n";

class Prompt : public ::testing::Test {
  protected:
    void SetUp() override {
        reset_run_state();
        log_.reset(tmpfile());
        pmstflint_fout = log_.get();
        event_logging_on();
    }
    void TearDown() override { reset_run_state(); }

    // Asks once with the given input; returns the code, fills output and log.
    int Ask(const std::string& input, int def_ans, const char* yorn) {
        StdinFeed feed(input);
        StdoutCapture capture;
        int code = nfwu_yesno(kPrompt, def_ans, yorn);
        out_ = capture.Text();
        return code;
    }
    std::string Log() { return ReadStream(log_.get()); }

    UniqueFile log_;
    std::string out_;
};

TEST_F(Prompt, AnswersAreWholeCaseSensitiveWords) {
    const struct {
        const char* line;
        int code;
    } cases[] = {
        {"y\n", ANSWER_YES},
        {"yes\n", ANSWER_YES},
        {"Y\n", ANSWER_YES},
        {"Yes\n", ANSWER_YES},
        {"YES\n", ANSWER_YES},
        {"yEs\n", ANSWER_NO},
        {"Yes \n", ANSWER_NO},
        {" y\n", ANSWER_NO},
        {"q\n", ANSWER_QUIT},
        {"Q\n", ANSWER_QUIT},
        {"Quit\n", ANSWER_QUIT},
        {"QUIT\n", ANSWER_QUIT},
        {"quit\n", ANSWER_QUIT},
        {"qUIT\n", ANSWER_NO},
        {"c\n", ANSWER_YES_ASK_NO_MORE},
        {"C\n", ANSWER_YES_ASK_NO_MORE},
        {"n\n", ANSWER_NO},
        {"no\n", ANSWER_NO},
        {"N\n", ANSWER_NO},
        {"maybe\n", ANSWER_NO},
        {"yes", ANSWER_YES},  // last line without a newline
    };
    for (const auto& c : cases) EXPECT_EQ(Ask(c.line, ANSWER_YES, "y"), c.code) << c.line;
}

TEST_F(Prompt, QuestionIsPrintedBeforeTheAnswerIsRead) {
    EXPECT_EQ(Ask("n\n", ANSWER_YES, "y"), ANSWER_NO);
    EXPECT_EQ(out_, "Would you like to flash the firmware?\n y/n/q (y):");
}

TEST_F(Prompt, EmptyAnswerTakesTheDefault) {
    EXPECT_EQ(Ask("\n", ANSWER_NO, "n"), ANSWER_NO);
    EXPECT_EQ(Ask("\n", ANSWER_YES, "y"), ANSWER_YES);
    // A single character at the end of input, without a newline, also has length 1.
    EXPECT_EQ(Ask("q", ANSWER_YES, "y"), ANSWER_YES);
}

TEST_F(Prompt, EndOfInputQuitsWithoutLogging) {
    EXPECT_EQ(Ask("", ANSWER_YES, "y"), ANSWER_QUIT);
    EXPECT_EQ(out_, std::string("Would you like to flash the firmware?\n y/n/q (y):") +
                        "Unknown input problem!\nQuit...\n");
    EXPECT_EQ(Log(), "");
}

TEST_F(Prompt, AnswerIsLoggedAsRead) {
    EXPECT_EQ(Ask("yes\n", ANSWER_NO, "n"), ANSWER_YES);
    std::string log = Log();
    EXPECT_EQ(log.rfind("[INFO]      [", 0), 0u) << log;
    const std::string tail = "] Would you like to flash the firmware?\n y/n/q (n): yes\n\n\n";
    ASSERT_GE(log.size(), tail.size());
    EXPECT_EQ(log.substr(log.size() - tail.size()), tail);
}

TEST_F(Prompt, OverLongLineIsReadAs499CharactersAtATime) {
    std::string first(499, 'y');
    std::string line = first + std::string(98, 'x') + "yes\n";  // 600 characters
    ASSERT_EQ(line.size(), 601u);
    StdinFeed feed(line + "c\n");
    StdoutCapture capture;
    EXPECT_EQ(nfwu_yesno(kPrompt, ANSWER_YES, "y"), ANSWER_NO);
    EXPECT_EQ(nfwu_yesno(kPrompt, ANSWER_YES, "y"), ANSWER_NO);  // "xx...xyes"
    EXPECT_EQ(nfwu_yesno(kPrompt, ANSWER_YES, "y"), ANSWER_YES_ASK_NO_MORE);
    capture.Text();
    EXPECT_TRUE(Log().find(" y/n/q (y): " + first + "\n") != std::string::npos);
}

TEST_F(Prompt, LongPromptIsCutAtTheMessageBuffer) {
    std::string prompt(600, 'a');
    StdinFeed feed("y\n");
    StdoutCapture capture;
    EXPECT_EQ(nfwu_yesno(prompt.c_str(), ANSWER_NO, "n"), ANSWER_YES);
    EXPECT_EQ(capture.Text(), std::string(MSG_LEN - 1, 'a'));
}

struct UnattendedCase {
    int32_t flags;
    int def_ans;
    int expected;
};

// Silent runs answer yes; -y takes the question's default. Neither shows, reads
// or logs anything.
TEST_F(Prompt, UnattendedRunsAnswerWithoutAsking) {
    const UnattendedCase cases[] = {
        {FLAG_SILENT, ANSWER_NO, ANSWER_YES},
        {FLAG_SILENT | FLAG_FORCE, ANSWER_NO, ANSWER_YES},
        {FLAG_YES, ANSWER_NO, ANSWER_NO},
        {FLAG_YES, ANSWER_YES, ANSWER_YES},
    };
    for (const UnattendedCase& c : cases) {
        g_iFlag = c.flags;
        EXPECT_EQ(Ask("q\n", c.def_ans, "n"), c.expected) << c.flags;
        EXPECT_EQ(out_, "") << c.flags;
    }
    EXPECT_EQ(Log(), "");
}

}  // namespace
