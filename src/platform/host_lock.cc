// The host lock's file: open, lock and holder lines.
#include "platform/host_lock.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/files.h"
#include "platform/system_ops.h"

namespace {

// The run lock is byte 0 of the file; byte 1 guards the holder lines. Locks of
// different bytes never conflict, so a run reading the lines does not need the
// run lock, and a run that holds the run lock shared can still edit them.
constexpr off_t kRunLockByte = 0;
constexpr off_t kNoteLockByte = 1;
// Holder lines are a few dozen bytes each; a file larger than this was not written
// by this program, and only its start is read.
constexpr size_t kNoteMax = size_t{64} * 1024;

int lock_byte(int fd, short type, off_t byte, bool wait) {
    struct flock lock = {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = byte;
    lock.l_len = 1;
    for (;;) {
        if (fcntl(fd, wait ? F_OFD_SETLKW : F_OFD_SETLK, &lock) == 0)
            return 0;
        if (errno != EINTR)
            return errno;
    }
}

std::string read_note(int fd) {
    std::string note;
    char buf[4096];
    while (note.size() < kNoteMax) {
        ssize_t n = pread(fd, buf, sizeof buf, static_cast<off_t>(note.size()));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        note.append(buf, static_cast<size_t>(n));
    }
    return note;
}

bool write_note(int fd, const std::string& note) {
    return ftruncate(fd, 0) == 0 && lseek(fd, 0, SEEK_SET) == 0 && write_all(fd, note);
}

}  // namespace

LockAttempt system_take_lock(const char* path, bool exclusive) {
    LockAttempt attempt;
    // No O_CLOEXEC: the burning tools inherit the lock with the descriptor.
    int fd = open(path, O_RDWR | O_CREAT | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK, 0600);
    if (fd < 0) {
        attempt.error = errno;
        attempt.not_regular = errno == ELOOP || errno == EISDIR;
        return attempt;
    }
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        attempt.error = errno;
        attempt.not_regular = true;
        close(fd);
        return attempt;
    }
    int error = lock_byte(fd, exclusive ? F_WRLCK : F_RDLCK, kRunLockByte, false);
    if (error != 0 && error != EAGAIN && error != EACCES) {
        attempt.error = error;  // no lock on this file system or kernel
        close(fd);
        return attempt;
    }
    attempt.fd = fd;
    attempt.busy = error != 0;
    return attempt;
}

bool system_edit_lock_note(int fd, const LockNoteEdit& edit) {
    if (lock_byte(fd, F_WRLCK, kNoteLockByte, true) != 0)
        return false;
    const std::string note = read_note(fd);
    const std::string edited = edit(note);
    const bool ok = edited == note || write_note(fd, edited);
    lock_byte(fd, F_UNLCK, kNoteLockByte, false);
    return ok;
}

bool system_process_exists(int pid) {
    return pid > 0 && (kill(pid, 0) == 0 || errno == EPERM);
}

LockAttempt take_lock(const char* path, bool exclusive) {
    return platform().take_lock(path, exclusive);
}

bool edit_lock_note(int fd, const LockNoteEdit& edit) {
    return platform().edit_lock_note(fd, edit);
}

bool process_exists(int pid) {
    return platform().process_exists(pid);
}
