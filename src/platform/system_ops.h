// The system's implementations behind system_platform; only the platform layer
// and the tests of it call them by name.
#pragma once

#include "platform/platform.h"

int system_run_shell(const char* command);
FILE* system_open_read_pipe(const char* command);
int system_close_read_pipe(FILE* pipe);
bool system_path_exists(const char* path);
int system_sysfs_read_hex(const char* path, unsigned int* value);
bool system_sysfs_entry_exists(const char* path);
bool system_sysfs_list_dir(const char* dir, std::vector<std::string>* entries);
int system_create_data_file(char* name_template);
StartedChild system_start_child(const ChildSpec& child_spec);
bool system_wait_child(int timeout_ms, ChildEnd* end);
std::vector<PciFunction> system_list_pci_functions();
int system_add_line_once(const char* path, const char* line);
FileStatus system_file_status(const char* path);
LockAttempt system_take_lock(const char* path, bool exclusive);
bool system_edit_lock_note(int fd, const LockNoteEdit& edit);
bool system_process_exists(int pid);
int system_inhibit_shutdown(const char* why, std::string* failure);
