// The platform layer for files the program creates.
#include "platform/files.h"

#include <cerrno>
#include <cstdio>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "handles.h"
#include "platform/platform.h"
#include "platform/system_ops.h"

namespace {

// The directory part of path ("." for a bare file name) and the file name part.
void split_path(const std::string& path, std::string* dir, std::string* base) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        *dir = ".";
        *base = path;
        return;
    }
    *dir = slash == 0 ? "/" : path.substr(0, slash);
    *base = path.substr(slash + 1);
}

// The mode a file gets from a plain create: 0666 less the process's umask
// (mkstemp itself creates 0600).
mode_t plain_create_mode() {
    mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

int fail(SaveFailure* failure, SaveStep step, int error) {
    failure->step = step;
    failure->error = error;
    return -1;
}

// The file at the end of path's chain of symbolic links (path itself when it is
// no link). The caller has checked with stat that the chain has no loop.
std::string link_target(const std::string& path) {
    std::string current = path;
    std::vector<char> buf(PATH_MAX);
    for (;;) {
        struct stat st;
        if (lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return current;
        ssize_t n = readlink(current.c_str(), buf.data(), buf.size() - 1);
        if (n <= 0)
            return current;
        const std::string next(buf.data(), static_cast<size_t>(n));
        if (next[0] == '/') {
            current = next;
            continue;
        }
        std::string dir, base;
        split_path(current, &dir, &base);
        current = dir;
        current += '/';
        current += next;
    }
}

// The temporary name beside path: a dot, the file name and six random characters,
// the file name cut so that the whole stays within the 255 bytes of a name.
std::vector<char> temporary_name(const std::string& path) {
    constexpr size_t kAdded = 8;  // "." and ".XXXXXX"
    std::string dir, base;
    split_path(path, &dir, &base);
    if (base.size() > NAME_MAX - kAdded)
        base.resize(NAME_MAX - kAdded);
    std::string pattern = dir + "/." + base + ".XXXXXX";
    std::vector<char> temp(pattern.begin(), pattern.end());
    temp.push_back('\0');
    return temp;
}

int write_in_place(const char* path, const std::function<int(int fd)>& write,
                   SaveFailure* failure) {
    UniqueFd fd(open(path, O_WRONLY | O_TRUNC | O_NOCTTY | O_CLOEXEC));
    if (fd.get() < 0)
        return fail(failure, SaveStep::open, errno);
    errno = 0;
    if (write(fd.get()) != 0)
        return fail(failure, SaveStep::write, errno != 0 ? errno : EIO);
    if (close(fd.release()) != 0)
        return fail(failure, SaveStep::write, errno);
    return 0;
}

bool holds_line(const std::string& text, const std::string& line) {
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        if (text.compare(at, end - at, line) == 0)
            return true;
        at = end + 1;
    }
    return false;
}

}  // namespace

int system_add_line_once(const char* path, const char* line) {
    UniqueFd fd(open(path, O_RDWR | O_CREAT | O_APPEND | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0644));
    if (fd.get() < 0 || flock(fd.get(), LOCK_EX) != 0)
        return errno;
    std::string text;
    char buf[4096];
    for (off_t at = 0;;) {
        ssize_t n = pread(fd.get(), buf, sizeof buf, at);
        if (n < 0)
            return errno;
        if (n == 0)
            break;
        text.append(buf, static_cast<size_t>(n));
        at += n;
    }
    if (holds_line(text, line))
        return 0;
    std::string added = (text.empty() || text.back() == '\n') ? "" : "\n";
    added += line;
    added += '\n';
    errno = 0;
    if (!write_all(fd.get(), added))
        return errno != 0 ? errno : EIO;
    return close(fd.release()) == 0 ? 0 : errno;
}

int add_line_once(const char* path, const char* line) {
    return platform().add_line_once(path, line);
}

int system_create_data_file(char* name_template) {
    return mkstemp(name_template);
}

int create_data_file(char* name_template) {
    return platform().create_data_file(name_template);
}

DataFile make_data_file(const std::string& name_template) {
    DataFile file;
    std::vector<char> name(name_template.begin(), name_template.end());
    name.push_back('\0');
    file.fd.reset(create_data_file(name.data()));
    file.error = file.is_open() ? 0 : errno;
    file.name = file.is_open() ? std::string(name.data()) : name_template;
    return file;
}

bool read_whole_fd(int fd, std::string* text, size_t max) {
    text->clear();
    char buf[1 << 16];
    bool seekable = true;
    for (off_t at = 0;;) {
        ssize_t n = seekable ? pread(fd, buf, sizeof buf, at) : read(fd, buf, sizeof buf);
        if (n < 0 && errno == ESPIPE && seekable && at == 0) {
            seekable = false;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        if (static_cast<size_t>(n) > max - text->size()) {
            errno = EFBIG;
            return false;
        }
        text->append(buf, static_cast<size_t>(n));
        at += n;
    }
}

bool read_whole_file(const std::string& path, std::string* text, size_t max) {
    UniqueFd fd(open(path.c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC));
    return fd.get() >= 0 && read_whole_fd(fd.get(), text, max);
}

bool write_all(int fd, const char* data, size_t len) {
    while (len > 0) {
        ssize_t n = write(fd, data, len);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        len -= static_cast<size_t>(n);
    }
    return true;
}

int save_file_atomically(const char* path, const std::function<int(int fd)>& write,
                         SaveFailure* failure) {
    struct stat st;
    const bool exists = stat(path, &st) == 0;
    if (!exists && errno != ENOENT)
        return fail(failure, SaveStep::create, errno);
    if (exists && !S_ISREG(st.st_mode))
        return write_in_place(path, write, failure);
    const std::string target = link_target(path);
    std::vector<char> temp = temporary_name(target);

    UniqueFd fd(mkstemp(temp.data()));
    if (fd.get() < 0)
        return fail(failure, SaveStep::create, errno);
    errno = 0;
    if (fchmod(fd.get(), plain_create_mode()) != 0 || write(fd.get()) != 0 ||
        fsync(fd.get()) != 0) {
        int error = errno;
        unlink(temp.data());
        return fail(failure, SaveStep::write, error != 0 ? error : EIO);
    }
    if (close(fd.release()) != 0 || rename(temp.data(), target.c_str()) != 0) {
        int error = errno;
        unlink(temp.data());
        return fail(failure, SaveStep::replace, error);
    }
    return 0;
}

FileStatus system_file_status(const char* path) {
    FileStatus status;
    struct stat st;
    if (stat(path, &st) != 0) {
        status.error = errno;
        return status;
    }
    status.found = true;
    status.mode = st.st_mode;
    status.uid = st.st_uid;
    status.gid = st.st_gid;
    return status;
}

FileStatus file_status(const char* path) {
    return platform().file_status(path);
}

int sync_file_data(int fd) {
    while (fdatasync(fd) != 0) {
        if (errno != EINTR)
            return -1;
    }
    return 0;
}
