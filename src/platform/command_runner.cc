// The platform layer for outside programs: shell commands, read pipes and direct
// execution of the burning tool.
#include "platform/command_runner.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "handles.h"
#include "platform/files.h"
#include "platform/system_ops.h"

namespace {

int exit_code_of(int status) {
    if (status == -1)
        return 255;
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return (status >> 8) & 0xff;
}

// Waits until the child has exited or was killed. Stops and continues end a plain
// waitpid with WUNTRACED/WCONTINUED; they are not an outcome, so the wait goes on.
bool wait_terminated(pid_t pid, int* status, int* error) {
    for (;;) {
        pid_t r = waitpid(pid, status, WUNTRACED | WCONTINUED);
        if (r == -1) {
            if (errno == EINTR)
                continue;
            *error = errno;
            return false;
        }
        if (WIFEXITED(*status) || WIFSIGNALED(*status))
            return true;
    }
}

// The live console view of a burn, read back from the tool's data file: the tool
// writes only to that file, so it never depends on the console or on this process
// being alive (a pipe read by this process alone would kill the tool with SIGPIPE
// once this process was gone).
class OutputView {
  public:
    explicit OutputView(int output_fd) {
        // A descriptor of its own, readable even when the caller's is write-only.
        char self[64];
        snprintf(self, sizeof self, "/proc/self/fd/%d", output_fd);
        reader_.reset(open(self, O_RDONLY | O_CLOEXEC));
        if (reader_.get() < 0)
            reader_.reset(fcntl(output_fd, F_DUPFD_CLOEXEC, 0));
        off_t at = lseek(output_fd, 0, SEEK_CUR);
        shown_ = at > 0 ? at : 0;
    }
    // Copies to standard output what the tool has written since the last call.
    void show_new() {
        char buf[4096];
        for (;;) {
            ssize_t n = pread(reader_.get(), buf, sizeof buf, shown_);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return;
            shown_ += n;
            write_all(STDOUT_FILENO, buf, static_cast<size_t>(n));
        }
    }

  private:
    UniqueFd reader_;
    off_t shown_ = 0;
};

// How often the live view looks for new output while the tool runs.
constexpr long kViewIntervalNs = 100L * 1000 * 1000;

// Waits for the child by its process id, never for the end of its output (a
// daemon the tool starts may hold that open for ever), showing its output live
// when asked. Stops and continues are no outcome: the wait goes on.
bool watch_child(pid_t pid, OutputView* view, int* status, int* error) {
    if (view == nullptr)
        return wait_terminated(pid, status, error);
    for (;;) {
        pid_t r = waitpid(pid, status, WNOHANG | WUNTRACED | WCONTINUED);
        if (r == -1 && errno != EINTR) {
            *error = errno;
            return false;
        }
        view->show_new();
        if (r == pid && (WIFEXITED(*status) || WIFSIGNALED(*status)))
            return true;
        struct timespec pause = {0, kViewIntervalNs};
        nanosleep(&pause, nullptr);
    }
}

// The child: a process group of its own, so that a terminal's Ctrl-C or hangup
// reaches this process (which defers it) and never the tool; input from
// /dev/null, so that a tool outside the terminal's foreground group is never
// stopped for reading it; both output streams into the data file.
[[noreturn]] void exec_child(const char* program, const std::vector<std::string>& args,
                             int out_fd) {
    setpgid(0, 0);
    int null_fd = open("/dev/null", O_RDONLY);
    if (null_fd >= 0 && null_fd != STDIN_FILENO) {
        dup2(null_fd, STDIN_FILENO);
        close(null_fd);
    }
    if (out_fd >= 0) {
        dup2(out_fd, STDOUT_FILENO);
        dup2(out_fd, STDERR_FILENO);
    }
    std::vector<char*> argv;
    argv.reserve(args.size() + 1);
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(program, argv.data());
    _exit(1);
}

// One command of run_captured while it runs.
struct CaptureSlot {
    size_t index = 0;
    FILE* pipe = nullptr;
};

// Reads what is there; false at end of output (or a read error).
bool read_some(FILE* pipe, std::string* output) {
    char buf[4096];
    ssize_t n = read(fileno(pipe), buf, sizeof buf);
    if (n < 0 && errno == EINTR)
        return true;
    if (n <= 0)
        return false;
    size_t room = CAPTURED_OUTPUT_MAX - std::min(output->size(), CAPTURED_OUTPUT_MAX);
    output->append(buf, std::min(room, static_cast<size_t>(n)));
    return true;
}

// Waits until one of the running commands has output or has ended, and reads it;
// the commands that have ended are closed and leave `running`.
void read_running(std::vector<CaptureSlot>* running, std::vector<CapturedRun>* results) {
    std::vector<struct pollfd> fds;
    for (const CaptureSlot& slot : *running) fds.push_back({fileno(slot.pipe), POLLIN, 0});
    if (poll(fds.data(), fds.size(), -1) < 0)
        return;
    for (size_t i = running->size(); i-- > 0;) {
        if (fds[i].revents == 0)
            continue;
        CaptureSlot& slot = (*running)[i];
        if (read_some(slot.pipe, &(*results)[slot.index].output))
            continue;
        pclose(slot.pipe);
        running->erase(running->begin() + static_cast<std::ptrdiff_t>(i));
    }
}

bool is_terminated(int status) {
    return WIFEXITED(status) || WIFSIGNALED(status);
}

}  // namespace

int system_run_shell(const char* command) {
    fflush(nullptr);
    int status = system(command);
    if (status == -1)
        return -1;
    return exit_code_of(status);
}

FILE* system_open_read_pipe(const char* command) {
    fflush(nullptr);
    return popen(command, "r");
}

int system_close_read_pipe(FILE* pipe) {
    return pclose(pipe);
}

bool system_path_exists(const char* path) {
    struct stat st;
    return stat(path, &st) == 0;
}

StartedTool system_start_tool(const char* program, const std::vector<std::string>& args,
                              int output_fd) {
    StartedTool started;
    fflush(nullptr);
    pid_t pid = fork();
    if (pid < 0) {
        started.error = errno;
        return started;
    }
    if (pid == 0)
        exec_child(program, args, output_fd);
    // Also here, so the group exists before any signal could be meant for it.
    setpgid(pid, pid);
    started.pid = pid;
    return started;
}

ToolRun system_run_tool(const char* program, const std::vector<std::string>& args, int output_fd,
                        bool show_output) {
    ToolRun result;
    std::unique_ptr<OutputView> view;
    if (show_output)
        view = std::make_unique<OutputView>(output_fd);
    const StartedTool started = system_start_tool(program, args, output_fd);
    if (started.pid <= 0) {
        result.error = started.error;
        return result;
    }
    int status = 0;
    if (!watch_child(started.pid, view.get(), &status, &result.error))
        return result;
    result.started = true;
    result.exit_code = exit_code_of(status);
    result.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    return result;
}

std::vector<CapturedRun> system_run_captured(const std::vector<std::string>& commands,
                                             size_t max_at_once) {
    std::vector<CapturedRun> results(commands.size());
    std::vector<CaptureSlot> running;
    size_t next = 0;
    fflush(nullptr);
    while (next < commands.size() || !running.empty()) {
        while (next < commands.size() && running.size() < std::max<size_t>(max_at_once, 1)) {
            FILE* pipe = popen(commands[next].c_str(), "r");
            results[next].started = pipe != nullptr;
            if (pipe != nullptr)
                running.push_back({next, pipe});
            ++next;
        }
        if (!running.empty())
            read_running(&running, &results);
    }
    return results;
}

bool system_reap_tool(int pid, ToolRun* run) {
    int status = 0;
    pid_t r = waitpid(pid, &status, WNOHANG | WUNTRACED | WCONTINUED);
    if (r == -1 && errno == EINTR)
        return false;
    if (r == -1) {
        run->started = false;
        run->error = errno;
        return true;
    }
    if (r != pid || !is_terminated(status))
        return false;
    run->started = true;
    run->exit_code = exit_code_of(status);
    run->signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    return true;
}

int run_shell(const char* command) {
    return platform().run_shell(command);
}

ReadPipe open_read_pipe(const char* command) {
    const PlatformOps& ops = platform();
    return ReadPipe(ops.open_read_pipe(command), PipeCloser{ops.close_read_pipe});
}

bool path_exists(const char* path) {
    return platform().path_exists(path);
}

ToolRun run_tool(const char* program, const std::vector<std::string>& args, int output_fd,
                 bool show_output) {
    return platform().run_tool(program, args, output_fd, show_output);
}

std::vector<CapturedRun> run_captured(const std::vector<std::string>& commands,
                                      size_t max_at_once) {
    return platform().run_captured(commands, max_at_once);
}

StartedTool start_tool(const char* program, const std::vector<std::string>& args, int output_fd) {
    return platform().start_tool(program, args, output_fd);
}

bool reap_tool(int pid, ToolRun* run) {
    return platform().reap_tool(pid, run);
}
