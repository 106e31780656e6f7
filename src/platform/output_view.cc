// The live console view of a tool's output, read back from its data file.
#include "platform/output_view.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

#include "platform/files.h"

OutputView::OutputView(int output_fd) {
    // A descriptor of its own, readable even when the caller's is write-only.
    char self[64];
    snprintf(self, sizeof self, "/proc/self/fd/%d", output_fd);
    reader_.reset(open(self, O_RDONLY | O_CLOEXEC));
    if (reader_.get() < 0)
        reader_.reset(fcntl(output_fd, F_DUPFD_CLOEXEC, 0));
    off_t at = lseek(output_fd, 0, SEEK_CUR);
    shown_ = at > 0 ? at : 0;
}

void OutputView::show_new() {
    char buf[4096];
    for (;;) {
        ssize_t n = pread(reader_.get(), buf, sizeof buf, shown_);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        shown_ += n;
        write_all(STDOUT_FILENO, buf, static_cast<size_t>(n));
    }
}
