// The seam to the operating system: one table of operations through which the
// program runs outside programs, scans the PCI bus, reads sysfs and creates data
// files (in the manner of pciutils' access methods). The program runs on
// system_platform; a unit test installs a table of its own that records every
// command in order and answers from its script, without starting any process.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/pci_scan.h"

// Outcome of a program run directly (no shell) in a child process.
struct ToolRun {
    bool started = false;  // false: the child could not be created or the wait failed
    int exit_code = -1;    // exit code, or 128+N when killed by signal N
    int signal = 0;        // N when killed by signal N, else 0
    int error = 0;         // errno of a failed fork or wait
};

// Output of one shell command of several run side by side.
struct CapturedRun {
    bool started = false;  // false: the command could not be started
    std::string output;    // its standard output, at most CAPTURED_OUTPUT_MAX bytes
};
// Bytes of a command's output that are kept; the rest is read and dropped.
constexpr size_t CAPTURED_OUTPUT_MAX = 1 << 20;

// A child of the subprocess set. A tool (`capture` false) runs in a process group
// of its own, input from /dev/null, both output streams straight into `output_fd`
// (so it never depends on this process reading them). A captured child stays in
// this process's group with its input, as a popen'd command does, and its standard
// output is read back through a pipe (at most CAPTURED_OUTPUT_MAX bytes kept).
struct ChildSpec {
    const char* program = nullptr;  // run directly, no shell
    std::vector<std::string> args;  // argument 0 first
    int output_fd = -1;
    bool capture = false;
};

// A child just started: its id in the set (> 0), or 0 with the errno of the failed
// start.
struct StartedChild {
    int id = 0;
    int error = 0;
};

// What one wait of the subprocess set came to: a child that has terminated (`id`,
// its outcome and, when captured, its output), or a stop signal deferred since the
// last wait (`stop_signal`, reported once), or neither when the time ran out.
struct ChildEnd {
    int id = 0;
    ToolRun run;
    std::string output;
    int stop_signal = 0;
};

// An attempt at the host lock: the lock file stays open (`fd`) when the lock is
// taken and when another run holds it (its holder lines are then read from it).
struct LockAttempt {
    int fd = -1;
    int error = 0;             // errno of the open or the lock that failed
    bool busy = false;         // another run holds a lock that excludes this one
    bool not_regular = false;  // the path is a link, a directory or no plain file
};
// Rewrites the holder lines of a lock file: gets them, returns what they become.
using LockNoteEdit = std::function<std::string(const std::string& note)>;

// Each operation's contract is that of the function of the same name in
// command_runner.h, subprocess_set.h, sysfs_reader.h, files.h, pci_scan.h, host_lock.h
// or shutdown_inhibitor.h, which call through this table.
struct PlatformOps {
    int (*run_shell)(const char* command);
    FILE* (*open_read_pipe)(const char* command);
    int (*close_read_pipe)(FILE* pipe);
    bool (*path_exists)(const char* path);
    int (*sysfs_read_hex)(const char* path, unsigned int* value);
    bool (*sysfs_entry_exists)(const char* path);
    bool (*sysfs_list_dir)(const char* dir, std::vector<std::string>* entries);
    int (*create_data_file)(char* name_template);
    StartedChild (*start_child)(const ChildSpec& child_spec);
    bool (*wait_child)(int timeout_ms, ChildEnd* end);
    std::vector<PciFunction> (*list_pci_functions)();
    int (*add_line_once)(const char* path, const char* line);
    FileStatus (*file_status)(const char* path);
    LockAttempt (*take_lock)(const char* path, bool exclusive);
    bool (*edit_lock_note)(int fd, const LockNoteEdit& edit);
    bool (*process_exists)(int pid);
    int (*inhibit_shutdown)(const char* why, std::string* failure);
};

// The real operating system.
extern const PlatformOps system_platform;

// The table in use.
const PlatformOps& platform();
// Installs `ops` (null: the system's) and returns the table it replaces.
const PlatformOps* set_platform(const PlatformOps* ops);
