// The platform layer for outside programs: every shell command, read pipe and
// child process of the program starts here, so nothing else spawns anything.
// do_command (console.h) adds its echo on top of run_shell.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"

// Closes a read pipe with the operation of the table that opened it.
struct PipeCloser {
    int (*close)(FILE* pipe) = nullptr;
    void operator()(FILE* f) const {
        if (f != nullptr && close != nullptr)
            close(f);
    }
};
using ReadPipe = std::unique_ptr<FILE, PipeCloser>;

// Runs a command through the shell without echo. Returns -1 when no shell could be
// started, otherwise the shell's exit code: 127 for a command the shell cannot
// find, 128+N for a shell killed by signal N (so that a killed command never reads
// as success).
int run_shell(const char* command);

// Opens a read pipe on a shell command; null when the pipe cannot be opened.
ReadPipe open_read_pipe(const char* command);

// Whether anything exists at `path` (symbolic links followed): how an installed
// program is found before it is run.
bool path_exists(const char* path);

// Runs `program` with argument vector `args` (args[0] is argument 0) as a tool of
// the subprocess set (its own process group, input from /dev/null, its standard
// output and standard error going straight to `output_fd`) and waits for it there;
// with `show_output` the console shows what it writes, read back from the file
// every OUTPUT_VIEW_INTERVAL_MS while it runs. A program that cannot be executed
// exits with 1.
ToolRun run_tool(const char* program, const std::vector<std::string>& args, int output_fd,
                 bool show_output);

// Runs the shell commands through the subprocess set, at most `max_at_once` at a
// time and started in their order, reading each one's standard output whole (up to
// CAPTURED_OUTPUT_MAX bytes); returns the outputs in the commands' order.
std::vector<CapturedRun> run_captured(const std::vector<std::string>& commands, size_t max_at_once);
