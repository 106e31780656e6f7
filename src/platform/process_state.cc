// The platform layer for the process itself: inherited descriptors and signal
// dispositions, and the deferral of stop signals while a burn runs.
#include "platform/process_state.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
constexpr int kStopSignalCount = sizeof kStopSignals / sizeof kStopSignals[0];

volatile sig_atomic_t g_deferred_signal = 0;
int g_deferral_depth = 0;
struct sigaction g_previous[kStopSignalCount];

void on_stop_signal(int signo) {
    if (g_deferred_signal == 0)
        g_deferred_signal = signo;
    // write() is safe here; its result does not matter (the console may be gone).
    static const char notice[] =
        "\nfwpak: stop requested; the burn in progress is finished first\n";
    const int saved_errno = errno;
    ssize_t ignored = write(STDERR_FILENO, notice, sizeof notice - 1);
    (void)ignored;
    errno = saved_errno;
}

void on_broken_pipe(int /*signo*/) {}

void catch_signal(int signo, void (*handler)(int), struct sigaction* previous) {
    struct sigaction action;
    memset(&action, 0, sizeof action);
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(signo, &action, previous);
}

// Opens /dev/null as the lowest free descriptor, which is `fd` when the ones
// below it are open.
void fill_descriptor(int fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF)
        return;
    int opened = open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
    if (opened >= 0 && opened != fd) {
        dup2(opened, fd);
        close(opened);
    }
}

}  // namespace

void prepare_process() {
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) fill_descriptor(fd);

    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    signal(SIGCHLD, SIG_DFL);
    catch_signal(SIGPIPE, on_broken_pipe, nullptr);
}

StopDeferral::StopDeferral() {
    if (g_deferral_depth++ > 0)
        return;
    for (int i = 0; i < kStopSignalCount; ++i) {
        struct sigaction current;
        sigaction(kStopSignals[i], nullptr, &current);
        g_previous[i] = current;
        if (current.sa_handler != SIG_IGN)
            catch_signal(kStopSignals[i], on_stop_signal, nullptr);
    }
}

StopDeferral::~StopDeferral() {
    if (--g_deferral_depth > 0)
        return;
    for (int i = 0; i < kStopSignalCount; ++i) sigaction(kStopSignals[i], &g_previous[i], nullptr);
}

int deferred_stop_signal() {
    return g_deferred_signal;
}

void forget_stop_request() {
    g_deferred_signal = 0;
}

const char* signal_name(int signo) {
    const char* name = sigabbrev_np(signo);
    return name != nullptr ? name : "?";
}

bool console_is_terminal() {
    return isatty(STDOUT_FILENO) == 1;
}

bool running_as_root() {
    return geteuid() == 0;
}
