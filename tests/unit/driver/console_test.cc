// Console messages and the small text helpers; the event log's line format.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "console.h"
#include "handles.h"
#include "platform/process_state.h"
#include "run_flags.h"
#include "test_io.h"

namespace {

class Console : public ::testing::Test {
  protected:
    void SetUp() override { reset_run_state(); }
};

// Holds nest: the inner one ends and the outer one is back. The reset between
// cases forgets a hold left in place and a stop request a burn deferred.
TEST_F(Console, HoldsNestAndTheResetForgetsThemAndAStopRequest) {
    HeldOutput outer;
    HeldOutput inner;
    OutputHold left(&outer);
    {
        OutputHold hold(&inner);
        EXPECT_EQ(held_output(), &inner);
    }
    EXPECT_EQ(held_output(), &outer);
    {
        StopDeferral deferral;
        raise(SIGTERM);
    }
    EXPECT_EQ(deferred_stop_signal(), SIGTERM);
    reset_run_state();
    EXPECT_EQ(held_output(), nullptr);
    EXPECT_EQ(deferred_stop_signal(), 0);
}

TEST_F(Console, MessagesAreHiddenOnlyInSilentAndReportRuns) {
    const struct {
        int32_t flags;
        bool shown;
    } cases[] = {
        {0, true},
        {FLAG_SHOW_CURRENT, true},
        {FLAG_FORCE, true},
        {FLAG_P, true},
        {FLAG_YES, true},
        {FLAG_SILENT, false},
        {FLAG_DISCOVERY, false},
        {FLAG_REPLAY, false},
        {FLAG_SILENT | FLAG_REPLAY, false},
        {FLAG_BURN_OK | FLAG_BURN_FAILED, true},
    };
    for (const auto& c : cases) {
        g_iFlag = c.flags;
        StdoutCapture capture;
        print_message("\nhello\n");
        EXPECT_EQ(capture.Text(), c.shown ? "\nhello\n" : "") << c.flags;
    }
}

TEST_F(Console, PercentSignIsPrintedAsIs) {
    StdoutCapture capture;
    print_message("100% done %s %d\n");
    EXPECT_EQ(capture.Text(), "100% done %s %d\n");
}

TEST_F(Console, FormattedMessageIsCutAtItsBuffer) {
    std::string fits(MSG_LEN - 1, 'm');
    std::string longer(600, 'm');
    StdoutCapture capture;
    print_messagef("%s", fits.c_str());
    print_messagef("%s|", longer.c_str());
    EXPECT_EQ(capture.Text(), fits + fits);
    EXPECT_EQ(strlen(print_msg), static_cast<size_t>(MSG_LEN - 1));
}

TEST_F(Console, VersionQuestionIsTheSameForEveryAdapter) {
    char buf[MSG_LEN];
    fw_version_message(buf, sizeof buf);
    EXPECT_STREQ(buf, "Would you like to flash the firmware?\n");
    char small[8];
    fw_version_message(small, sizeof small);
    EXPECT_STREQ(small, "Would y");
}

class EventLog : public ::testing::Test {
  protected:
    void SetUp() override {
        log_.reset(tmpfile());
        event_logging_on();
    }
    void TearDown() override { event_logging_on(); }
    std::string Text() { return ReadStream(log_.get()); }
    UniqueFile log_;
};

TEST_F(EventLog, TagsAreElevenCharacters) {
    EXPECT_STREQ(LOG_INFO, "[INFO]     ");
    EXPECT_STREQ(LOG_WARNING, "[WARNING]  ");
    EXPECT_STREQ(LOG_ERROR, "[ERROR]    ");
    for (const char* tag : {LOG_INFO, LOG_WARNING, LOG_ERROR}) EXPECT_EQ(strlen(tag), 11u);
}

TEST_F(EventLog, LineIsTagTimeAndTextUnchanged) {
    time_t before = time(nullptr);
    log_mellanox_event(log_.get(), LOG_ERROR, "abc\n");
    std::string line = Text();
    const std::string head = "[ERROR]     [";
    ASSERT_EQ(line.size(), head.size() + 24 + 2 + 5) << line;
    EXPECT_EQ(line.substr(0, head.size()), head);
    EXPECT_EQ(line.substr(head.size() + 24), "] abc\n\n");

    // The time is the classic calendar form, in local time.
    struct tm when = {};
    std::string stamp = line.substr(head.size(), 24);
    ASSERT_NE(strptime(stamp.c_str(), "%a %b %d %H:%M:%S %Y", &when), nullptr) << stamp;
    when.tm_isdst = -1;
    time_t logged = mktime(&when);
    EXPECT_LE(before - 1, logged);
    EXPECT_LE(logged, time(nullptr) + 1);
}

TEST_F(EventLog, FormatCharactersInTheTextAreKept) {
    log_mellanox_event(log_.get(), LOG_INFO, "50% %s done");
    std::string line = Text();
    EXPECT_EQ(line.substr(line.size() - 14), "] 50% %s done\n");
}

// A value from outside can neither end its line nor forge an entry; printable text,
// UTF-8 included, is kept as it is.
TEST_F(EventLog, OutsideValuesAreShownEscaped) {
    const struct {
        const char* value;
        const char* shown;
    } cases[] = {
        {"MT_0000000080", "MT_0000000080"},
        {"a\n[ERROR]     [Thu Jan  1 00:00:00 1970] forged",
         "a\\n[ERROR]     [Thu Jan  1 "
         "00:00:00 1970] forged"},
        {"cr\rtab\tesc\x1b del\x7f", "cr\\rtab\\tesc\\x1b del\\x7f"},
        {"caf\xc3\xa9 %s \\n", "caf\xc3\xa9 %s \\n"},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(log_value(c.value), c.shown) << c.value;
    EXPECT_EQ(log_value(nullptr), "");
}

TEST_F(EventLog, SwitchedOffDropsEveryLine) {
    event_logging_off();
    log_mellanox_event(log_.get(), LOG_WARNING, "dropped");
    event_logging_on();
    log_mellanox_event(log_.get(), LOG_WARNING, "kept");
    std::string text = Text();
    EXPECT_EQ(text.find("dropped"), std::string::npos);
    EXPECT_EQ(text.rfind("[WARNING]   [", 0), 0u);
}

TEST_F(EventLog, FormattedTextIsCutAtItsBuffer) {
    pmstflint_fout = log_.get();
    std::string big(5000, 'x');
    log_eventf(LOG_INFO, "%s", big.c_str());
    pmstflint_fout = nullptr;
    std::string text = Text();
    EXPECT_EQ(text.size(), 11u + 1 + 26 + 1 + (TEXT_LEN - 1) + 1);
}

// Opening the log appends in the working directory; a failure ends the process.
class OpenLog : public ::testing::Test {
  protected:
    void SetUp() override { dir_.Enter(); }
    ScopedTempDir dir_;
};

TEST_F(OpenLog, AppendsToTheLogInTheWorkingDirectory) {
    FILE* f = fopen("mstflint.log", "w");
    fputs("earlier run\n", f);
    fclose(f);
    open_event_log(FWPAK_SOURCE, __LINE__);
    log_mellanox_event(pmstflint_fout, LOG_INFO, "this run");
    fclose(pmstflint_fout);
    pmstflint_fout = nullptr;
    std::string text = ReadFileText(dir_.path() + "/mstflint.log");
    EXPECT_EQ(text.rfind("earlier run\n[INFO]      [", 0), 0u) << text;
}

// The fault goes up to the driver, which writes its line and ends with its status.
TEST_F(OpenLog, FailureIsFatal) {
    ASSERT_EQ(mkdir("mstflint.log", 0755), 0);  // a directory cannot be opened for appending
    RunFault fault = open_event_log("caller.cc", 42);
    EXPECT_EQ(fault.status, 1);
    EXPECT_EQ(fault.line, "FWUPG_ERROR: could not open mstflint.log (21), caller.cc,42\n");
    EXPECT_EQ(pmstflint_fout, nullptr);
}

TEST(FatalLines, OneCompositionInTwoShapes) {
    EXPECT_EQ(fwupg_error(FatalShape::line, "out of memory (12)", "a.cc", 7),
              "FWUPG_ERROR: out of memory (12), a.cc,7\n");
    EXPECT_EQ(fwupg_error(FatalShape::block, "RC = 1", "inventory_build.cc", 140),
              "\n\nFWUPG_ERROR: RC = 1\ninventory_build.cc,140\n\n");
    try {
        errno = ENOMEM;
        fatal_out_of_memory("b.cc", 9);
    } catch (const OutOfMemory& oom) {
        EXPECT_EQ(oom.fault().status, 1);
        EXPECT_EQ(oom.fault().line, "FWUPG_ERROR: out of memory (12), b.cc,9\n");
    }
}

}  // namespace
