// The platform layer for outside programs: shell commands, read pipes and direct
// execution of the burning tool.
#include "platform/command_runner.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "handles.h"
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

void write_all(int fd, const char* data, ssize_t len) {
    while (len > 0) {
        ssize_t n = write(fd, data, static_cast<size_t>(len));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        data += n;
        len -= n;
    }
}

// Copies everything the child writes into the pipe to the data file and the console.
void tee_output(int from, int to_file) {
    char buf[4096];
    for (;;) {
        ssize_t n = read(from, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        write_all(to_file, buf, n);
        write_all(STDOUT_FILENO, buf, n);
    }
}

[[noreturn]] void exec_child(const char* program, const std::vector<std::string>& args,
                             int out_fd) {
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

ToolRun system_run_tool(const char* program, const std::vector<std::string>& args, int output_fd,
                        bool show_output) {
    ToolRun result;
    UniqueFd pipe_read;
    UniqueFd pipe_write;
    if (show_output) {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0) {
            result.error = errno;
            return result;
        }
        pipe_read.reset(fds[0]);
        pipe_write.reset(fds[1]);
    }
    fflush(nullptr);
    pid_t pid = fork();
    if (pid < 0) {
        result.error = errno;
        return result;
    }
    if (pid == 0)
        exec_child(program, args, show_output ? pipe_write.get() : output_fd);

    pipe_write.reset();
    if (show_output)
        tee_output(pipe_read.get(), output_fd);
    int status = 0;
    if (!wait_terminated(pid, &status, &result.error))
        return result;
    result.started = true;
    result.exit_code = exit_code_of(status);
    return result;
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
