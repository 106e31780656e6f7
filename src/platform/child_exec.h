// Inside the platform layer: how a child process is set up before it runs its
// program, and how its wait status becomes an outcome.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

// The exit code of a wait status: 128+N for a child killed by signal N, so that a
// killed program never reads as success; 255 for the -1 of a failed system().
int exit_code_of(int status);

// The outcome of a child that has terminated with wait status `status`.
ToolRun tool_run_of(int status);

// The child's side of ChildSpec, after fork: sets up the process group, input and
// output the child_spec asks for and executes the program; exits with 1 when it cannot.
// Descriptors inherited without O_CLOEXEC stay open in the program.
[[noreturn]] void exec_child(const ChildSpec& child_spec, int capture_fd);
