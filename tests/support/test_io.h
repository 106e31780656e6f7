// Helpers for the unit tests: capture what the code writes to standard
// output, feed its standard input, give it a mutable argument vector, and reset the
// run state between cases.
#pragma once

#include "file_text.h"
#include "scoped_temp_dir.h"
#include "expected_texts.h"
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <unistd.h>

#include <gtest/gtest.h>

#include "run_flags.h"

// Everything written to a stream so far, read from its start.
inline std::string ReadStream(FILE* f) {
    fflush(f);
    rewind(f);
    std::string text;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
    return text;
}

// Redirects file descriptor 1 (and the stdout stream) into a file until Text() or
// the end of scope. Works for the program's own writes and for child processes.
class StdoutCapture {
  public:
    StdoutCapture() : file_(dir_.path() + "/stdout") {
        fflush(stdout);
        saved_ = dup(STDOUT_FILENO);
        FILE* f = fopen(file_.c_str(), "w");
        dup2(fileno(f), STDOUT_FILENO);
        fclose(f);
    }
    ~StdoutCapture() { Restore(); }
    StdoutCapture(const StdoutCapture&) = delete;
    StdoutCapture& operator=(const StdoutCapture&) = delete;

    std::string Text() {
        Restore();
        return ReadFileText(file_);
    }

  private:
    void Restore() {
        if (saved_ < 0)
            return;
        fflush(stdout);
        dup2(saved_, STDOUT_FILENO);
        close(saved_);
        saved_ = -1;
    }
    ScopedTempDir dir_;
    std::string file_;
    int saved_ = -1;
};

// Makes standard input read `content` (end of input after it); back to /dev/null at
// the end of scope, so no case sees another's leftovers.
class StdinFeed {
  public:
    explicit StdinFeed(const std::string& content) {
        std::string path = dir_.path() + "/stdin";
        FILE* f = fopen(path.c_str(), "wb");
        fwrite(content.data(), 1, content.size(), f);
        fclose(f);
        EXPECT_NE(freopen(path.c_str(), "r", stdin), nullptr);
    }
    ~StdinFeed() { (void)freopen("/dev/null", "r", stdin); }
    StdinFeed(const StdinFeed&) = delete;
    StdinFeed& operator=(const StdinFeed&) = delete;

  private:
    ScopedTempDir dir_;
};

// An argument vector that the code may rewrite in place, as main's would be.
class Argv {
  public:
    Argv(std::initializer_list<std::string> args) : words_{"fwpak"} {
        words_.insert(words_.end(), args.begin(), args.end());
        for (std::string& w : words_) ptrs_.push_back(w.data());
        ptrs_.push_back(nullptr);
    }
    Argv(const Argv&) = delete;
    Argv& operator=(const Argv&) = delete;
    int argc() const { return static_cast<int>(words_.size()); }
    char** argv() { return ptrs_.data(); }
    // The word now at position i (after any rewriting).
    std::string at(int i) const { return ptrs_[i]; }

  private:
    std::vector<std::string> words_;
    std::vector<char*> ptrs_;
};
