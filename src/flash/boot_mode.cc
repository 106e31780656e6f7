// The Secure Boot check. With Secure Boot on, only the installed, signed tools may
// touch the flash, so the service must run and /usr/bin/flint must exist.
#include "flash/boot_mode.h"

#include <cstdio>
#include <cstring>

#include "platform/command_runner.h"
#include "flash/tool_commands.h"
#include "run_flags.h"

namespace {

bool contains_nocase(const char* haystack, const char* needle) {
    return strcasestr(haystack, needle) != nullptr;
}

int check_secure_boot_tools() {
    int rc = run_shell(MST_STATUS);
    if (rc == -1) {
        printf("\nERROR: Failed to execute \"%s\"\n", MST_STATUS);
        return BOOT_CHECK_FAILED;
    }
    if (rc == SHELL_NOT_FOUND) {
        printf("\nERROR: \"%s\" command not found.\n", MST_STATUS);
        return BOOT_SECURE_TOOLS_MISSING;
    }
    rc = run_shell(MST_START);
    if (rc == -1 || rc == SHELL_NOT_FOUND) {
        printf("\nERROR: Unable to start mst service\n");
        return BOOT_CHECK_FAILED;
    }
    rc = run_shell(FLINT_PROBE);
    if (rc == -1 || rc == SHELL_NOT_FOUND)
        return BOOT_SECURE_TOOLS_MISSING;
    return BOOT_SECURE_TOOLS_READY;
}

int boot_mode_result() {
    char line[500] = {0};
    {
        ReadPipe pipe = open_read_pipe(MOKUTIL_SB_STATE);
        if (!pipe) {
            printf("\nERROR: In popen for mokutil, call failed \n\n");
            return BOOT_CHECK_FAILED;
        }
        // Only the first line counts. Closing the pipe early is harmless: a tool
        // that writes more only meets a closed pipe, and its status is not read.
        if (fgets(line, sizeof line, pipe.get()) == nullptr)
            line[0] = '\0';
    }
    if (!contains_nocase(line, "enabled"))
        return BOOT_SECURE_OFF;
    return check_secure_boot_tools();
}

}  // namespace

int get_boot_mode() {
    boot_value = boot_mode_result();
    return boot_value;
}
