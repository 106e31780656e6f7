// The platform layer for sysfs reads.
#include "platform/sysfs_reader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>

#include "handles.h"
#include "platform/platform.h"
#include "platform/system_ops.h"

int system_sysfs_read_hex(const char* path, unsigned int* value) {
    *value = 0;
    UniqueFile f(fopen(path, "r"));
    if (!f)
        return -1;
    if (fscanf(f.get(), "%x", value) != 1)
        *value = 0;
    return 0;
}

bool system_sysfs_entry_exists(const char* path) {
    struct stat st;
    return lstat(path, &st) == 0;
}

bool system_sysfs_list_dir(const char* dir, std::vector<std::string>* entries) {
    struct DirCloser {
        void operator()(DIR* d) const { closedir(d); }
    };
    std::unique_ptr<DIR, DirCloser> d(opendir(dir));
    if (!d)
        return false;
    entries->clear();
    while (struct dirent* e = readdir(d.get())) {
        if (strcmp(e->d_name, ".") == 0 || strcmp(e->d_name, "..") == 0)
            continue;
        entries->emplace_back(e->d_name);
    }
    std::sort(entries->begin(), entries->end());
    return true;
}

int sysfs_read_hex(const char* path, unsigned int* value) {
    return platform().sysfs_read_hex(path, value);
}

bool sysfs_entry_exists(const char* path) {
    return platform().sysfs_entry_exists(path);
}

bool sysfs_list_dir(const char* dir, std::vector<std::string>* entries) {
    return platform().sysfs_list_dir(dir, entries);
}
