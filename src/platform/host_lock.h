// The platform layer for the host lock: one lock file that every run of the
// program takes before it starts a tool, so that no two runs write a flash at the
// same time. The lock is an open-file-description lock: it belongs to the open
// file, not to the process, so a tool that inherits the descriptor keeps it held
// after the run that took it has been killed.
#pragma once

#include <string>

#include "platform/platform.h"

// Opens `path` (never through a symbolic link; created mode 0600 if absent) without
// close-on-exec, so that the tools the run starts inherit it, and takes its lock,
// exclusive or shared, without waiting.
LockAttempt take_lock(const char* path, bool exclusive);

// Reads the holder lines of the lock file open at `fd` and writes back what `edit`
// makes of them (nothing when they stay the same). The lines have a lock of their
// own, held for the moment of the edit, so that two runs sharing the lock never
// interleave their rewrites. False when the file could not be read or written.
bool edit_lock_note(int fd, const LockNoteEdit& edit);

// Whether a process with this id exists (also one this process may not signal).
bool process_exists(int pid);
