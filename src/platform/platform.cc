// The table of operations in use, and the system's own.
#include "platform/platform.h"

#include "platform/system_ops.h"

const PlatformOps system_platform = {
    system_run_shell,      system_open_read_pipe,     system_close_read_pipe,
    system_path_exists,    system_sysfs_read_hex,     system_sysfs_entry_exists,
    system_sysfs_list_dir, system_create_data_file,   system_start_child,
    system_wait_child,     system_list_pci_functions, system_add_line_once,
    system_file_status,    system_take_lock,          system_edit_lock_note,
    system_process_exists, system_inhibit_shutdown,
};

namespace {
const PlatformOps* current_ops = &system_platform;
}  // namespace

const PlatformOps& platform() {
    return *current_ops;
}

const PlatformOps* set_platform(const PlatformOps* ops) {
    const PlatformOps* previous = current_ops;
    current_ops = ops != nullptr ? ops : &system_platform;
    return previous;
}
