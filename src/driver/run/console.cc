// Console text that silent, discovery and replay runs must not show, the upgrade
// question's text, and the composition of the fatal lines.
#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>

#include "console.h"
#include "platform/process_state.h"
#include "run_flags.h"

char print_msg[MSG_LEN] = {0};

namespace {

HeldOutput* g_held = nullptr;

// The held-output pointer, and the stop request that a burn deferred: a stop ends
// the run, so only a test between cases goes on after one.
void reset_console_state() {
    g_held = nullptr;
    forget_stop_request();
}
[[maybe_unused]] const bool kConsoleStateReset = register_run_state_reset(reset_console_state);

}  // namespace

OutputHold::OutputHold(HeldOutput* held) : previous_(g_held) {
    g_held = held;
}

OutputHold::~OutputHold() {
    g_held = previous_;
}

HeldOutput* held_output() {
    return g_held;
}

void HeldOutput::release() {
    HeldOutput* previous = g_held;
    g_held = nullptr;
    for (const Piece& piece : pieces_) {
        if (piece.tag == nullptr)
            fputs(piece.text.c_str(), stdout);
        else
            log_mellanox_event(pmstflint_fout, piece.tag, piece.text.c_str());
    }
    fflush(stdout);
    pieces_.clear();
    g_held = previous;
}

void print_message(const char* msg) {
    if ((g_iFlag & (FLAG_SILENT | FLAG_REPLAY | FLAG_DISCOVERY)) != 0)
        return;
    if (g_held != nullptr)
        g_held->console(msg);
    else
        fputs(msg, stdout);
}

void print_messagef(const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(print_msg, sizeof print_msg, fmt, ap);
    va_end(ap);
    print_message(print_msg);
}

std::string fwupg_error(FatalShape shape, const std::string& what, const char* file, int line) {
    const std::string place = std::string(file) + "," + std::to_string(line);
    if (shape == FatalShape::block)
        return "\n\nFWUPG_ERROR: " + what + "\n" + place + "\n\n";
    return "FWUPG_ERROR: " + what + ", " + place + "\n";
}

RunFault fatal_fault(FatalShape shape, const std::string& what, const char* file, int line) {
    RunFault fault;
    fault.status = 1;
    fault.line = fwupg_error(shape, what, file, line);
    return fault;
}

RunFault OutOfMemory::fault() const {
    return fatal_fault(FatalShape::line, "out of memory (" + std::to_string(error_) + ")", file_,
                       line_);
}

void fatal_out_of_memory(const char* file, int line) {
    throw OutOfMemory(file, line, errno);
}

void fw_version_message(char* vers_string, size_t size) {
    snprintf(vers_string, size, "%s", "Would you like to flash the firmware?\n");
}
