// The terminal's progress lines of a batch of burns, drawn beside the console's
// own lines from what the batch reports.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "burn_observer.h"

// One line per burn not yet written ("  bus  image  40%  burning"), redrawn in place
// when a line changes and erased before a burn's lines are written. Draws only on
// a terminal (`terminal`): a log file or a pipe gets nothing extra.
class ProgressView : public BurnObserver {
  public:
    explicit ProgressView(bool terminal, FILE* out = stdout) : terminal_(terminal), out_(out) {}
    bool wants_percentages() const override { return terminal_; }
    void burn_queued(size_t slot, const std::string& bus, const std::string& image) override;
    void burn_started(size_t slot) override;
    void burn_percentage(size_t slot, const std::string& percentage) override;
    void burn_finished(size_t slot) override;
    void burn_failed(size_t slot) override;
    void burn_dropped(size_t slot) override;
    void group_writing(size_t slot) override;
    void group_written(size_t slot) override;
    void batch_ended() override;

  private:
    struct Line {
        std::string bus;
        std::string image;
        std::string percentage;
        const char* state = nullptr;  // null: not shown
    };
    Line* line(size_t slot);
    void set_state(size_t slot, const char* state);
    void draw();
    void erase();

    bool terminal_;
    FILE* out_;
    std::vector<Line> lines_;
    int drawn_lines_ = 0;
    std::string drawn_text_;
};
