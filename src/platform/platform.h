// The seam to the operating system: one table of operations through which the
// program runs outside programs, reads sysfs and creates data files (in the
// manner of pciutils' access methods). The program runs on system_platform; a
// unit test installs a table of its own that records every command in order and
// answers from its script, without starting any process.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

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

// A program started without waiting for it: its process id, or 0 with the errno of
// the failed start.
struct StartedTool {
    int pid = 0;
    int error = 0;
};

// What stat(2) says of a path, symbolic links followed to their target.
struct FileStatus {
    bool found = false;  // false: stat failed, with `error` its errno
    int error = 0;
    unsigned mode = 0;  // st_mode: type and permission bits
    unsigned uid = 0;
    unsigned gid = 0;
};

// Each operation's contract is that of the function of the same name in
// command_runner.h, sysfs_reader.h or files.h, which call through this table.
struct PlatformOps {
    int (*run_shell)(const char* command);
    FILE* (*open_read_pipe)(const char* command);
    int (*close_read_pipe)(FILE* pipe);
    bool (*path_exists)(const char* path);
    ToolRun (*run_tool)(const char* program, const std::vector<std::string>& args, int output_fd,
                        bool show_output);
    int (*sysfs_read_hex)(const char* path, unsigned int* value);
    bool (*sysfs_entry_exists)(const char* path);
    bool (*sysfs_list_dir)(const char* dir, std::vector<std::string>* entries);
    int (*create_data_file)(char* name_template);
    std::vector<CapturedRun> (*run_captured)(const std::vector<std::string>& commands,
                                             size_t max_at_once);
    StartedTool (*start_tool)(const char* program, const std::vector<std::string>& args,
                              int output_fd);
    bool (*reap_tool)(int pid, ToolRun* run);
    FileStatus (*file_status)(const char* path);
};

// The real operating system.
extern const PlatformOps system_platform;

// The table in use.
const PlatformOps& platform();
// Installs `ops` (null: the system's) and returns the table it replaces.
const PlatformOps* set_platform(const PlatformOps* ops);
