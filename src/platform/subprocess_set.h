// The subprocess set (after ninja's SubprocessSet): every child the program runs
// directly, the side-by-side queries, the side-by-side burns and the one tool of
// an interactive burn, is started into it and waited for in one loop over all
// running children's output and exit.
#pragma once

#include "platform/platform.h"

// Starts `child_spec` without waiting for it.
StartedChild start_child(const ChildSpec& child_spec);

// Waits until a child of the set has terminated (a captured child also until its
// output has ended), at most `timeout_ms` milliseconds (-1: as long as it takes).
// A stopped or continued child is no outcome: it still holds whatever it was
// working on. A child's end is its own exit, never the end of a file or pipe that
// a grandchild may keep open. True with the child in `end`, or with
// end->stop_signal set when a stop signal was deferred (StopDeferral) since the
// last report; false when the time ran out or no child runs.
bool wait_child(int timeout_ms, ChildEnd* end);
