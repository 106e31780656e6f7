// The one scratch directory of the tests: a fresh directory under /tmp, removed
// with everything in it when the object goes, even after a failed assertion.
// Enter() makes it the working directory until then, and the old one comes back.
#pragma once

#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "file_text.h"

class ScopedTempDir {
  public:
    ScopedTempDir() {
        char tmpl[] = "/tmp/fwpak-unit.XXXXXX";
        if (mkdtemp(tmpl) == nullptr) {
            ADD_FAILURE() << "cannot create a scratch directory";
            return;
        }
        path_ = tmpl;
    }
    ~ScopedTempDir() {
        if (!old_cwd_.empty() && chdir(old_cwd_.c_str()) != 0)
            ADD_FAILURE() << "cannot return to " << old_cwd_;
        if (!path_.empty())
            std::system(("rm -rf '" + path_ + "'").c_str());
    }
    ScopedTempDir(const ScopedTempDir&) = delete;
    ScopedTempDir& operator=(const ScopedTempDir&) = delete;

    void Enter() {
        char cwd[4096];
        if (getcwd(cwd, sizeof cwd) != nullptr)
            old_cwd_ = cwd;
        if (chdir(path_.c_str()) != 0)
            ADD_FAILURE() << "cannot enter " << path_;
    }
    // Writes a file (creating its directory) with the given mode.
    void Write(const std::string& rel, const std::string& content, mode_t mode = 0644) {
        std::string full = path_ + "/" + rel;
        std::string dir = full.substr(0, full.rfind('/'));
        std::system(("mkdir -p '" + dir + "'").c_str());
        std::ofstream(full, std::ios::binary | std::ios::trunc) << content;
        chmod(full.c_str(), mode);
    }
    std::string Read(const std::string& rel) const { return ReadFileText(path_ + "/" + rel); }
    bool Exists(const std::string& rel) const {
        return access((path_ + "/" + rel).c_str(), F_OK) == 0;
    }
    const std::string& path() const { return path_; }

  private:
    std::string path_;
    std::string old_cwd_;
};
