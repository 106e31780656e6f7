// The platform layer for files the program creates.
#include "platform/files.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
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

}  // namespace

int system_create_data_file(char* name_template) {
    return mkstemp(name_template);
}

int create_data_file(char* name_template) {
    return platform().create_data_file(name_template);
}

int save_file_atomically(const char* path, const std::function<int(int fd)>& write,
                         SaveFailure* failure) {
    std::string dir, base;
    split_path(path, &dir, &base);
    std::string pattern = dir + "/." + base + ".XXXXXX";
    std::vector<char> temp(pattern.begin(), pattern.end());
    temp.push_back('\0');

    UniqueFd fd(mkstemp(temp.data()));
    if (fd.get() < 0)
        return fail(failure, SaveStep::create, errno);
    if (fchmod(fd.get(), plain_create_mode()) != 0 || write(fd.get()) != 0) {
        int error = errno;
        unlink(temp.data());
        return fail(failure, SaveStep::write, error != 0 ? error : EIO);
    }
    if (close(fd.release()) != 0 || rename(temp.data(), path) != 0) {
        int error = errno;
        unlink(temp.data());
        return fail(failure, SaveStep::replace, error);
    }
    return 0;
}
