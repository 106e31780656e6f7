// The system's implementations behind system_platform; only the platform layer
// and the tests of it call them by name.
#pragma once

#include "platform/platform.h"

int system_run_shell(const char* command);
FILE* system_open_read_pipe(const char* command);
int system_close_read_pipe(FILE* pipe);
bool system_path_exists(const char* path);
ToolRun system_run_tool(const char* program, const std::vector<std::string>& args, int output_fd,
                        bool show_output);
int system_sysfs_read_hex(const char* path, unsigned int* value);
bool system_sysfs_entry_exists(const char* path);
bool system_sysfs_list_dir(const char* dir, std::vector<std::string>* entries);
int system_create_data_file(char* name_template);
std::vector<CapturedRun> system_run_captured(const std::vector<std::string>& commands,
                                             size_t max_at_once);
StartedTool system_start_tool(const char* program, const std::vector<std::string>& args,
                              int output_fd);
bool system_reap_tool(int pid, ToolRun* run);
LockAttempt system_take_lock(const char* path, bool exclusive);
bool system_edit_lock_note(int fd, const LockNoteEdit& edit);
bool system_process_exists(int pid);
int system_inhibit_shutdown(const char* why, std::string* failure);
