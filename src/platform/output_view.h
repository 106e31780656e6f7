// The live console view of a tool's output, read back from its data file.
#pragma once

#include <sys/types.h>

#include "handles.h"

// The tool writes only to its file, so it never depends on the console or on this
// process being alive (a pipe read by this process alone would kill the tool with
// SIGPIPE once this process was gone); the view copies what is new to standard
// output.
class OutputView {
  public:
    explicit OutputView(int output_fd);
    // Copies to standard output what the tool has written since the last call.
    void show_new();

  private:
    UniqueFd reader_;
    off_t shown_ = 0;
};

// How often the live view looks for new output while the tool runs.
constexpr int OUTPUT_VIEW_INTERVAL_MS = 100;
