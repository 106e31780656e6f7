// The platform layer for files the program creates: data files that receive a
// tool's output, and the atomic save of a whole file.
#pragma once

#include <functional>

// Creates a new file, readable and writable by the owner only, from a template
// whose last six characters are "XXXXXX"; they are replaced in place. Returns the
// open descriptor, or -1 with errno set.
int create_data_file(char* name_template);

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

// Flushes the file's data to the disk (fdatasync), so that it survives a crash or a
// power cut from here on. Returns 0, or -1 with errno set.
int sync_file_data(int fd);
