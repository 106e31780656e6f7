// The subprocess set: children started by fork and exec, their exits seen through
// a SIGCHLD self-pipe and their captured output read, all in one poll. The
// self-pipe, not pidfds, so that the wait works on kernels before 5.3 (RHEL 8).
#include "platform/subprocess_set.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/child_exec.h"
#include "platform/process_state.h"
#include "platform/system_ops.h"

namespace {

struct Child {
    pid_t pid = 0;
    int pipe_fd = -1;  // read end of a captured child's output, -1 when none or ended
    bool exited = false;
    ToolRun run;
    std::string output;
};

std::vector<Child> g_children;
int g_wake[2] = {-1, -1};  // written by the SIGCHLD handler
struct sigaction g_previous_sigchld;
bool g_handler_installed = false;
bool g_stop_reported = false;

void on_sigchld(int /*signo*/) {
    const int saved_errno = errno;
    const char byte = 0;
    ssize_t ignored = write(g_wake[1], &byte, 1);
    (void)ignored;
    errno = saved_errno;
}

// The handler is in place only while children run, so that the rest of the program
// (system(), popen) sees SIGCHLD as it was. Installed before the fork: an exit is
// never missed.
bool watch_exits(int* error) {
    if (g_wake[0] < 0 && pipe2(g_wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        *error = errno;
        return false;
    }
    if (g_handler_installed)
        return true;
    struct sigaction action;
    memset(&action, 0, sizeof action);
    action.sa_handler = on_sigchld;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART | SA_NOCLDSTOP;
    sigaction(SIGCHLD, &action, &g_previous_sigchld);
    g_handler_installed = true;
    return true;
}

void unwatch_exits_when_idle() {
    if (!g_children.empty() || !g_handler_installed)
        return;
    sigaction(SIGCHLD, &g_previous_sigchld, nullptr);
    g_handler_installed = false;
}

void drain_wake_pipe() {
    char buf[64];
    while (read(g_wake[0], buf, sizeof buf) > 0) {
    }
}

// Reaps by process id, never any child: system() and pclose wait for their own.
void reap(Child* child) {
    if (child->exited)
        return;
    int status = 0;
    pid_t r = waitpid(child->pid, &status, WNOHANG);
    if (r == 0 || (r == -1 && errno == EINTR))
        return;
    child->exited = true;
    if (r == -1) {
        child->run.started = false;
        child->run.error = errno;
        return;
    }
    child->run = tool_run_of(status);
}

// Reads what the pipe holds; closes it at the end of the output (or a read error).
void read_output(Child* child) {
    char buf[4096];
    for (;;) {
        ssize_t n = read(child->pipe_fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN)
            return;
        if (n <= 0) {
            close(child->pipe_fd);
            child->pipe_fd = -1;
            return;
        }
        size_t room = CAPTURED_OUTPUT_MAX - std::min(child->output.size(), CAPTURED_OUTPUT_MAX);
        child->output.append(buf, std::min(room, static_cast<size_t>(n)));
    }
}

// Takes the first child that has exited and whose output has ended out of the set.
bool take_finished(ChildEnd* end) {
    for (auto it = g_children.begin(); it != g_children.end(); ++it) {
        reap(&*it);
        if (!it->exited || it->pipe_fd >= 0)
            continue;
        end->id = it->pid;
        end->run = it->run;
        end->output = std::move(it->output);
        g_children.erase(it);
        unwatch_exits_when_idle();
        return true;
    }
    return false;
}

bool take_stop(ChildEnd* end) {
    if (deferred_stop_signal() == 0)
        g_stop_reported = false;  // none yet, or forgotten (reset_run_state)
    if (g_stop_reported || deferred_stop_signal() == 0)
        return false;
    g_stop_reported = true;
    end->stop_signal = deferred_stop_signal();
    return true;
}

long long now_ms() {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// Milliseconds left until `deadline` (-1: none), never below 0.
int time_left(long long deadline) {
    if (deadline < 0)
        return -1;
    return static_cast<int>(std::max(0LL, deadline - now_ms()));
}

// One poll over the wake pipe and every open output pipe; false when the time ran
// out. A signal (a deferred stop request) ends the poll early too.
bool poll_once(int timeout_ms) {
    std::vector<struct pollfd> fds;
    fds.push_back({g_wake[0], POLLIN, 0});
    for (const Child& c : g_children)
        if (c.pipe_fd >= 0)
            fds.push_back({c.pipe_fd, POLLIN, 0});
    int ready = poll(fds.data(), fds.size(), timeout_ms);
    if (ready == 0 || (ready < 0 && errno != EINTR))
        return false;
    drain_wake_pipe();
    for (Child& c : g_children)
        if (c.pipe_fd >= 0)
            read_output(&c);
    return true;
}

}  // namespace

StartedChild system_start_child(const ChildSpec& child_spec) {
    StartedChild started;
    if (!watch_exits(&started.error))
        return started;
    int pipe_fds[2] = {-1, -1};
    if (child_spec.capture && pipe2(pipe_fds, O_CLOEXEC) != 0) {
        started.error = errno;
        unwatch_exits_when_idle();
        return started;
    }
    fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0)
        exec_child(child_spec, pipe_fds[1]);
    if (pipe_fds[1] >= 0)
        close(pipe_fds[1]);
    if (pid < 0) {
        started.error = errno;
        if (pipe_fds[0] >= 0)
            close(pipe_fds[0]);
        unwatch_exits_when_idle();
        return started;
    }
    // Also here, so the group exists before any signal could be meant for it.
    if (!child_spec.capture)
        setpgid(pid, pid);
    if (pipe_fds[0] >= 0)
        fcntl(pipe_fds[0], F_SETFL, O_NONBLOCK);
    Child child;
    child.pid = pid;
    child.pipe_fd = pipe_fds[0];
    g_children.push_back(std::move(child));
    started.id = pid;
    return started;
}

bool system_wait_child(int timeout_ms, ChildEnd* end) {
    *end = ChildEnd();
    const long long deadline = timeout_ms < 0 ? -1 : now_ms() + timeout_ms;
    for (;;) {
        if (take_stop(end) || take_finished(end))
            return true;
        if (g_children.empty() || !poll_once(time_left(deadline)))
            return false;
    }
}

StartedChild start_child(const ChildSpec& child_spec) {
    return platform().start_child(child_spec);
}

bool wait_child(int timeout_ms, ChildEnd* end) {
    return platform().wait_child(timeout_ms, end);
}
