// Console text that silent, discovery and replay runs must not show, the upgrade
// question's text and the fatal line of a failed allocation.
#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>

#include "console.h"
#include "run_flags.h"

char print_msg[MSG_LEN] = {0};

void print_message(const char* msg) {
    if ((g_iFlag & (FLAG_SILENT | FLAG_REPLAY | FLAG_DISCOVERY)) != 0)
        return;
    fputs(msg, stdout);
}

void print_messagef(const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(print_msg, sizeof print_msg, fmt, ap);
    va_end(ap);
    print_message(print_msg);
}

void fatal_out_of_memory(const char* file, int line) {
    fprintf(stderr, "FWUPG_ERROR: out of memory (%d), %s,%d\n", errno, file, line);
    exit(1);
}

void fw_version_message(char* vers_string, size_t size) {
    snprintf(vers_string, size, "%s", "Would you like to flash the firmware?\n");
}
