// What a batch of burns reports while it runs, for a view to draw (after ninja's
// StatusPrinter and nvme-cli's print_ops): the batch decides, the view presents.
#pragma once

#include <cstddef>
#include <string>

// `slot` is the burn's place in the batch (table order). A burn is queued, then
// started, then finished (its tool exited 0) or failed (any other end, or no
// start), and its lines are written as one group; a burn dropped by a stop request
// is never started and writes nothing.
class BurnObserver {
  public:
    virtual ~BurnObserver() = default;
    // Whether burn_percentage is wanted: it costs a look into every running tool's
    // output several times a second.
    virtual bool wants_percentages() const = 0;
    virtual void burn_queued(size_t slot, const std::string& bus, const std::string& image) = 0;
    virtual void burn_started(size_t slot) = 0;
    // The last percentage the running tool printed ("40%"), or empty; repeated
    // while it runs.
    virtual void burn_percentage(size_t slot, const std::string& percentage) = 0;
    virtual void burn_finished(size_t slot) = 0;
    virtual void burn_failed(size_t slot) = 0;
    virtual void burn_dropped(size_t slot) = 0;
    // The burn's console and log lines are about to be written, or have been.
    virtual void group_writing(size_t slot) = 0;
    virtual void group_written(size_t slot) = 0;
    virtual void batch_ended() = 0;
};
