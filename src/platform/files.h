// The platform layer for files the program creates and reads whole: data files
// that receive a tool's output, whole-file reads and writes, and the atomic save
// of a whole file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "handles.h"

// Creates a new file, readable and writable by the owner only, from a template
// whose last six characters are "XXXXXX"; they are replaced in place. Returns the
// open descriptor, or -1 with errno set.
int create_data_file(char* name_template);

// A data file made by create_data_file: its open descriptor and its name. When it
// cannot be created, `fd` is -1, `error` holds the errno and `name` stays the
// template, so that no message names a file that was never made.
struct DataFile {
    UniqueFd fd;
    std::string name;
    int error = 0;
    bool is_open() const { return fd.get() >= 0; }
};
DataFile make_data_file(const std::string& name_template);

// Reads everything a descriptor holds from its start (a file read from offset 0,
// its own offset untouched, so that a tool writing through it is not disturbed; a
// pipe or terminal from where it stands). Returns false with errno set on a read
// error, or with errno EFBIG once more than `max` bytes arrive.
bool read_whole_fd(int fd, std::string* text, size_t max = SIZE_MAX);
// The whole content of a file, byte for byte, as read_whole_fd reads it; false
// with errno set when it cannot be opened or read.
bool read_whole_file(const std::string& path, std::string* text, size_t max = SIZE_MAX);

// Writes all `len` bytes (a write cut short by a signal goes on). False with errno
// set when a write fails.
bool write_all(int fd, const char* data, size_t len);
inline bool write_all(int fd, const std::string& text) {
    return write_all(fd, text.data(), text.size());
}

// The step of a save that failed, and its errno text's number.
enum class SaveStep { create, open, write, replace };
struct SaveFailure {
    SaveStep step = SaveStep::create;
    int error = 0;
};

// Saves a file in one step: `write` fills a temporary file beside `path` (it
// returns 0 on success), the file gets the mode of a plain create (0666 less the
// umask), is flushed to disk and renamed over `path`, so that a reader never sees
// a partial file. A symbolic link stays a link: the file at the end of its chain is
// replaced that way. A target that exists and is not a regular file (a device, a
// pipe) is written in place: replacing it would turn a device node into a file.
// Returns 0, or -1 with *failure filled and the temporary file removed.
int save_file_atomically(const char* path, const std::function<int(int fd)>& write,
                         SaveFailure* failure);

// Makes `line` one of the lines of the file at `path`: creates the file (mode 0644
// less the umask) when there is none, and appends the line (after a newline, if
// the file's last line has none) unless a line of the file already equals it. A
// symbolic link at `path` is refused, and the file is locked while it is read and
// written, so that two runs add the line once. Returns 0, or the errno of the step
// that failed.
int add_line_once(const char* path, const char* line);

// What stat(2) says of a path, symbolic links followed to their target.
struct FileStatus {
    bool found = false;  // false: stat failed, with `error` its errno
    int error = 0;
    unsigned mode = 0;  // st_mode: type and permission bits
    unsigned uid = 0;
    unsigned gid = 0;
};

// The owner, group and mode of `path`, links followed (stat, not lstat): what
// decides who can change the file that a program run as root reads or executes.
FileStatus file_status(const char* path);

// Flushes the file's data to the disk (fdatasync), so that it survives a crash or a
// power cut from here on. Returns 0, or -1 with errno set.
int sync_file_data(int fd);
