// The Secure Boot check. With Secure Boot on, only the installed, signed tools may
// touch the flash, so the service must run and /usr/bin/flint must exist.
#include "flash/boot_mode.h"

#include <cstdio>
#include <cstring>
#include <strings.h>

#include "platform/command_runner.h"
#include "flash/tool_commands.h"
#include "run_flags.h"

namespace {

// mokutil's state line. It may follow a warning ("Strange data size 5 for
// "SecureBoot" variable") and be followed by notes ("SecureBoot validation is
// disabled in shim" after "SecureBoot enabled"); its errors ("EFI variables are not
// supported on this system") go to standard error and leave standard output empty.
constexpr char kSecureBootOn[] = "SecureBoot enabled";

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

// True when any line of mokutil's standard output begins with the state line
// "SecureBoot enabled" (letter case ignored); anything else, nothing included, is off.
bool secure_boot_reported(FILE* output) {
    bool on = false;
    char line[500];
    // Every line is read (so the tool never meets a closed pipe); a line longer
    // than the buffer arrives in pieces, and only a piece that starts a line counts.
    // The buffer is cleared before each read, so an end-of-line is found even
    // behind a zero byte.
    bool at_line_start = true;
    for (;;) {
        memset(line, 0, sizeof line);
        if (fgets(line, sizeof line, output) == nullptr)
            break;
        if (at_line_start && strncasecmp(line, kSecureBootOn, sizeof kSecureBootOn - 1) == 0)
            on = true;
        at_line_start = memchr(line, '\n', sizeof line) != nullptr;
    }
    return on;
}

int boot_mode_result() {
    bool on = false;
    {
        ReadPipe pipe = open_read_pipe(MOKUTIL_SB_STATE);
        if (!pipe) {
            printf("\nERROR: In popen for mokutil, call failed \n\n");
            return BOOT_CHECK_FAILED;
        }
        on = secure_boot_reported(pipe.get());
    }  // mokutil is waited for before the service checks start
    return on ? check_secure_boot_tools() : BOOT_SECURE_OFF;
}

}  // namespace

int get_boot_mode() {
    boot_value = boot_mode_result();
    return boot_value;
}
