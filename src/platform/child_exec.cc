// Exit-status decoding and the set-up of a child between fork and exec.
#include "platform/child_exec.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

int exit_code_of(int status) {
    if (status == -1)
        return 255;
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return (status >> 8) & 0xff;
}

ToolRun tool_run_of(int status) {
    ToolRun run;
    run.started = true;
    run.exit_code = exit_code_of(status);
    run.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    return run;
}

namespace {

void input_from_dev_null() {
    int null_fd = open("/dev/null", O_RDONLY);
    if (null_fd >= 0 && null_fd != STDIN_FILENO) {
        dup2(null_fd, STDIN_FILENO);
        close(null_fd);
    }
}

}  // namespace

// A tool gets a process group of its own, so that a terminal's Ctrl-C or hangup
// reaches this process (which defers it) and never the tool, and input from
// /dev/null, so that a tool outside the terminal's foreground group is never
// stopped for reading it; both its output streams go into the file. A captured
// command stays in this process's group, as under popen, and writes its standard
// output into the pipe. Nothing else is closed: a descriptor inherited on purpose
// (one without O_CLOEXEC) must reach the program.
void exec_child(const ChildSpec& child_spec, int capture_fd) {
    if (capture_fd >= 0) {
        dup2(capture_fd, STDOUT_FILENO);
    } else {
        setpgid(0, 0);
        input_from_dev_null();
        if (child_spec.output_fd >= 0) {
            dup2(child_spec.output_fd, STDOUT_FILENO);
            dup2(child_spec.output_fd, STDERR_FILENO);
        }
    }
    std::vector<char*> argv;
    argv.reserve(child_spec.args.size() + 1);
    for (const std::string& a : child_spec.args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(child_spec.program, argv.data());
    _exit(1);
}
