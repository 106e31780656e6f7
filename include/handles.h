// RAII owners for the C handles the program holds: streams, pipes, descriptors.
#pragma once

#include <cstdio>
#include <memory>
#include <unistd.h>

struct FileCloser {
    void operator()(FILE* f) const {
        if (f != nullptr)
            fclose(f);
    }
};
using UniqueFile = std::unique_ptr<FILE, FileCloser>;

class UniqueFd {
  public:
    explicit UniqueFd(int fd = -1) : fd_(fd) {}
    ~UniqueFd() { reset(); }
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) {
            reset();
            fd_ = other.release();
        }
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int get() const { return fd_; }
    int release() {
        int fd = fd_;
        fd_ = -1;
        return fd;
    }
    void reset(int fd = -1) {
        if (fd_ >= 0)
            close(fd_);
        fd_ = fd;
    }

  private:
    int fd_;
};
