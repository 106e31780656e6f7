// The host's "restart required" mark after a verified burn.
#include "flash/reboot_required.h"

#include <cstring>

#include "console.h"
#include "platform/files.h"
#include "run_flags.h"

namespace {

bool g_marked = false;

void reset_mark() {
    g_marked = false;
}
[[maybe_unused]] const bool kMarkReset = register_run_state_reset(reset_mark);

void add_or_warn(const char* path, const char* line) {
    const int error = add_line_once(path, line);
    if (error != 0)
        log_eventf(LOG_WARNING,
                   "note_reboot_required: cannot add \"%s\" to %s (%s); the new firmware still "
                   "needs a reboot\n",
                   line, path, strerror(error));
}

}  // namespace

void note_reboot_required() {
    if (g_marked)
        return;
    g_marked = true;
    add_or_warn(REBOOT_REQUIRED_FILE, REBOOT_REQUIRED_LINE);
    add_or_warn(REBOOT_REQUIRED_PKGS_FILE, REBOOT_REQUIRED_PKG);
}
