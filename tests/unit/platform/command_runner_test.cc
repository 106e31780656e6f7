// The platform layer for outside programs: shell commands with their exit codes,
// and the burning tool's direct execution in a child process.
#include "platform/command_runner.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "handles.h"
#include "platform/process_state.h"
#include "test_io.h"

namespace {

TEST(RunShell, ReturnsTheExitCodeWithoutEcho) {
    StdoutCapture capture;
    EXPECT_EQ(run_shell("exit 7"), 7);
    EXPECT_EQ(run_shell("fwpak-no-such-command 2>/dev/null"), 127);
    EXPECT_EQ(capture.Text(), "");
}

TEST(ReadPipe, ReadsTheCommandsOutput) {
    ReadPipe pipe = open_read_pipe("printf 'first\\nsecond\\n'");
    ASSERT_TRUE(pipe);
    char line[64];
    ASSERT_NE(fgets(line, sizeof line, pipe.get()), nullptr);
    EXPECT_STREQ(line, "first\n");
}

class RunTool : public ::testing::Test {
  protected:
    void SetUp() override {
        out_.reset(open((dir_.path() + "/out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600));
        ASSERT_GE(out_.get(), 0);
    }
    ToolRun Sh(const std::string& script, bool show_output = false) {
        return run_tool("/bin/sh", {"sh", "-c", script}, out_.get(), show_output);
    }
    std::string Output() { return ReadFileText(dir_.path() + "/out"); }

    ScopedTempDir dir_;
    UniqueFd out_;
};

TEST_F(RunTool, ReturnsTheExitCode) {
    for (int code : {0, 1, 2, 42}) {
        ToolRun r = Sh("exit " + std::to_string(code));
        EXPECT_TRUE(r.started);
        EXPECT_EQ(r.exit_code, code);
    }
}

TEST_F(RunTool, ArgumentsArePassedWithoutAShell) {
    ToolRun r = run_tool("/bin/echo", {"echo", "-n", "a b", "$HOME", "*"}, out_.get(), false);
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(Output(), "a b $HOME *");
}

TEST_F(RunTool, KilledBySignalIsAFailure) {
    ToolRun r = Sh("kill -TERM $$");
    EXPECT_TRUE(r.started);
    EXPECT_EQ(r.exit_code, 128 + SIGTERM);
}

TEST_F(RunTool, StoppedChildIsWaitedForUntilItExits) {
    auto start = std::chrono::steady_clock::now();
    ToolRun r = Sh("(sleep 0.4; kill -CONT $$) & kill -STOP $$; echo resumed; exit 4");
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_TRUE(r.started);
    EXPECT_EQ(r.exit_code, 4);
    EXPECT_EQ(Output(), "resumed\n");
    EXPECT_GE(seconds, 0.35);
}

TEST_F(RunTool, ProgramThatCannotBeExecutedExitsWithOne) {
    ToolRun r = run_tool("/nonexistent/fwpak-tool", {"tool"}, out_.get(), false);
    EXPECT_TRUE(r.started);
    EXPECT_EQ(r.exit_code, 1);
    r = run_tool(dir_.path().c_str(), {"dir"}, out_.get(), false);  // a directory
    EXPECT_EQ(r.exit_code, 1);
}

TEST_F(RunTool, BothStreamsLandInTheFile) {
    StdoutCapture console;
    ToolRun r = Sh("echo out; echo err >&2");
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(Output(), "out\nerr\n");
    EXPECT_EQ(console.Text(), "");
}

TEST_F(RunTool, ShowOutputCopiesToTheConsoleToo) {
    StdoutCapture console;
    ToolRun r = Sh("echo out; echo err >&2; exit 5", true);
    EXPECT_EQ(r.exit_code, 5);
    EXPECT_EQ(Output(), "out\nerr\n");
    EXPECT_EQ(console.Text(), "out\nerr\n");
}

// Overlapping deferrals (burns side by side) share one state: a stop signal
// during either is remembered, not acted on, and the process's earlier action for
// it comes back only when the last deferral ends. Run in a child process, since
// the remembered signal stays set for the rest of the process.
TEST(StopDeferral, NestedDeferralsKeepTheFirstSignal) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        int fails = 0;
        {
            StopDeferral outer;
            {
                StopDeferral inner;
                raise(SIGTERM);
            }
            raise(SIGINT);  // still deferred: the outer one lives
            fails += deferred_stop_signal() != SIGTERM;
        }
        struct sigaction now;
        sigaction(SIGTERM, nullptr, &now);
        fails += now.sa_handler != SIG_DFL;
        _exit(fails);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status)) << "killed by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

// A descriptor inherited on purpose (without O_CLOEXEC) reaches the tool; one
// marked close-on-exec does not.
TEST_F(RunTool, InheritedDescriptorsWithoutCloexecStayOpen) {
    UniqueFd kept(open("/dev/null", O_RDONLY));
    UniqueFd closed(open("/dev/null", O_RDONLY | O_CLOEXEC));
    ASSERT_GE(kept.get(), 0);
    ASSERT_GE(closed.get(), 0);
    ToolRun r = Sh("for fd in " + std::to_string(kept.get()) + " " + std::to_string(closed.get()) +
                   "; do if [ -e /proc/$$/fd/$fd ]; then echo open; else echo shut; fi; done");
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(Output(), "open\nshut\n");
}

// Shell commands side by side: outputs in the commands' order whatever order they
// end in, a command that the shell cannot find among them.
TEST(RunCaptured, OutputsComeBackInTheCommandsOrder) {
    std::vector<CapturedRun> runs =
        run_captured({"sleep 0.2; echo first", "echo second", "fwpak-no-such-command 2>/dev/null",
                      "printf third"},
                     2);
    ASSERT_EQ(runs.size(), 4u);
    EXPECT_EQ(runs[0].output, "first\n");
    EXPECT_EQ(runs[1].output, "second\n");
    EXPECT_EQ(runs[2].output, "");
    EXPECT_EQ(runs[3].output, "third");
    for (const CapturedRun& run : runs) EXPECT_TRUE(run.started);
}

// The tool runs in a process group of its own with input from /dev/null.
TEST_F(RunTool, ToolHasItsOwnProcessGroupAndNoInput) {
    ToolRun r =
        Sh("test \"$(cut -d' ' -f5 /proc/$$/stat)\" = \"$$\" && echo own-group; cat; "
           "echo end");
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(Output(), "own-group\nend\n");
}

}  // namespace
