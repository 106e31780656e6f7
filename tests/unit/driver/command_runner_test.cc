// do_command: the shell command with its echo, in every mode, and its exit code.
#include <csignal>
#include <string>

#include <gtest/gtest.h>

#include "console.h"
#include "run_flags.h"
#include "test_io.h"

namespace {

TEST(DoCommand, EchoesTheCommandInEveryModeAndReturnsTheExitCode) {
    const struct {
        const char* command;
        int code;
    } cases[] = {
        {"true", 0},
        {"exit 3", 3},
        {"exit 255", 255},
        {"fwpak-no-such-command 2>/dev/null", 127},
        // A killed shell must not read as success: 128 plus the signal number.
        {"kill -KILL $$", 128 + SIGKILL},
        {"kill -TERM $$", 128 + SIGTERM},
    };
    g_iFlag = FLAG_SILENT | FLAG_DISCOVERY;  // the echo bypasses the console filter
    for (const auto& c : cases) {
        StdoutCapture capture;
        EXPECT_EQ(do_command(c.command), c.code) << c.command;
        EXPECT_EQ(capture.Text(), std::string(c.command) + " \n");
    }
    g_iFlag = 0;
}

TEST(DoCommand, CommandOutputFollowsTheEcho) {
    StdoutCapture capture;
    EXPECT_EQ(do_command("echo hi"), 0);
    EXPECT_EQ(capture.Text(), "echo hi \nhi\n");
}

}  // namespace
