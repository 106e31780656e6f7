// The platform layer for outside programs: shell commands, read pipes, and the
// two ways of running children through the subprocess set (one tool waited for,
// shell commands side by side).
#include "platform/command_runner.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <sys/stat.h>

#include "platform/child_exec.h"
#include "platform/output_view.h"
#include "platform/subprocess_set.h"
#include "platform/system_ops.h"

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
    ToolRun result;
    std::unique_ptr<OutputView> view;
    if (show_output)
        view = std::make_unique<OutputView>(output_fd);
    ChildSpec child_spec;
    child_spec.program = program;
    child_spec.args = args;
    child_spec.output_fd = output_fd;
    const StartedChild started = start_child(child_spec);
    if (started.id <= 0) {
        result.error = started.error;
        return result;
    }
    for (;;) {
        ChildEnd end;
        const bool ended = wait_child(view ? OUTPUT_VIEW_INTERVAL_MS : -1, &end);
        if (view)
            view->show_new();
        if (ended && end.id == started.id)
            return end.run;
        // A stop request is the caller's to act on once the tool has ended.
        if (!ended && !view)
            return result;  // nothing runs: the set lost the child
    }
}

std::vector<CapturedRun> run_captured(const std::vector<std::string>& commands,
                                      size_t max_at_once) {
    std::vector<CapturedRun> results(commands.size());
    std::vector<std::pair<int, size_t>> running;  // child id, command index
    size_t next = 0;
    while (next < commands.size() || !running.empty()) {
        while (next < commands.size() && running.size() < std::max<size_t>(max_at_once, 1)) {
            ChildSpec child_spec;
            child_spec.program = "/bin/sh";
            child_spec.args = {"sh", "-c", commands[next]};
            child_spec.capture = true;
            const StartedChild started = start_child(child_spec);
            results[next].started = started.id > 0;
            if (started.id > 0)
                running.emplace_back(started.id, next);
            ++next;
        }
        ChildEnd end;
        if (running.empty())
            continue;
        if (!wait_child(-1, &end))
            break;  // nothing runs: the set lost the children
        auto it = std::find_if(running.begin(), running.end(),
                               [&](const std::pair<int, size_t>& r) { return r.first == end.id; });
        if (it == running.end())
            continue;
        results[it->second].output = std::move(end.output);
        running.erase(it);
    }
    return results;
}
