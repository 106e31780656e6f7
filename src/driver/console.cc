// Console text that silent, discovery and replay runs must not show, and the two
// small text helpers of the upgrade question and the selection line.
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

// The colon form has a separator after every pair: the digits stand at positions
// 0,1, 3,4, ... 15,16. A shorter text yields the digits it has, never more.
char* format_mac(const char* pStrTok) {
    static char mac[13];
    static const int positions[12] = {0, 1, 3, 4, 6, 7, 9, 10, 12, 13, 15, 16};
    size_t len = pStrTok != nullptr ? strnlen(pStrTok, 17) : 0;
    int out = 0;
    for (int pos : positions) {
        if (static_cast<size_t>(pos) >= len)
            break;
        mac[out++] = pStrTok[pos];
    }
    mac[out] = '\0';
    return mac;
}
