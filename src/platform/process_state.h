// The platform layer for the process itself: what it inherits at start
// (descriptors, signal dispositions) and the signals that must not end it while a
// burn runs. A burn that is cut off half-way can leave an adapter without usable
// firmware, so a stop request waits until the burn and its verdict are done.
#pragma once

// Start-up, before anything opens a file: descriptors 0 to 2 that are closed are
// opened on /dev/null (else the event log would become descriptor 1 and console
// text would land in it); the signal mask is cleared; SIGCHLD gets its default
// action back (inherited as ignored, it makes every wait for a child fail); and
// SIGPIPE is caught, so that a console that has gone away (a closed pager, a
// dropped session) makes writes fail instead of ending the run. Caught, not
// ignored: the programs the run starts get the default action back at exec.
void prepare_process();

// While at least one StopDeferral lives, SIGINT, SIGTERM, SIGHUP and SIGQUIT do not
// end the process: the first one that arrives is remembered and a short notice
// goes to standard error. A signal that was ignored when the deferral began stays
// ignored (nohup, a background job). Deferrals nest and may overlap, so that
// several burns running side by side share one state; the previous actions come
// back when the last one ends.
class StopDeferral {
  public:
    StopDeferral();
    ~StopDeferral();
    StopDeferral(const StopDeferral&) = delete;
    StopDeferral& operator=(const StopDeferral&) = delete;
};

// The signal that arrived during a deferral of this run, or 0. It stays set: the
// run is to end once the burns in progress have their verdicts.
int deferred_stop_signal();
// Forgets the signal, for a test between cases (reset_run_state).
void forget_stop_request();

// The signal's short name ("INT" for SIGINT), or "?".
const char* signal_name(int signo);

// Whether standard output is a terminal (progress lines are drawn only there).
bool console_is_terminal();

// Whether the process runs with root's effective user ID: then what it runs and
// reads from the package directory must be safe from other users.
bool running_as_root();
