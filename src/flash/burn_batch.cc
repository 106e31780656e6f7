// Unattended burns side by side through the subprocess set, with each adapter's
// lines written as one group in table order; what happens is reported to an
// observer, which draws it.
#include "flash/burn_batch.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <unistd.h>

#include "flash/burn_guard.h"
#include "platform/files.h"
#include "platform/process_state.h"
#include "platform/subprocess_set.h"

namespace {

// How often the running tools' percentages are looked at, when they are wanted.
constexpr int kProgressIntervalMs = 100;
// Bytes at the end of a tool's output searched for its last percentage.
constexpr off_t kProgressTail = 4096;

// Everything the tool has written to its data file, up to `end` (-1: to the
// file's end); the query that verified the burn follows it there.
std::string read_output(int fd, off_t end) {
    std::string text;
    read_whole_fd(fd, &text);
    if (end >= 0 && static_cast<size_t>(end) < text.size())
        text.resize(static_cast<size_t>(end));
    return text;
}

// The last percentage the tool printed ("- 40%"), or empty.
std::string last_percentage(int fd) {
    char buf[kProgressTail + 1];
    off_t size = lseek(fd, 0, SEEK_END);
    off_t from = size > kProgressTail ? size - kProgressTail : 0;
    ssize_t n = size > 0 ? pread(fd, buf, static_cast<size_t>(size - from), from) : 0;
    for (ssize_t i = n - 1; i > 0; --i) {
        if (buf[i] != '%' || isdigit(static_cast<unsigned char>(buf[i - 1])) == 0)
            continue;
        ssize_t start = i - 1;
        while (start > 0 && i - start < 3 && isdigit(static_cast<unsigned char>(buf[start - 1])))
            --start;
        return std::string(buf + start, static_cast<size_t>(i - start + 1));
    }
    return "";
}

// Whether two rows may be one flash: the same identity, or the same PSID where one
// of them has no Base GUID (flash_identity gives it the PSID alone). Taking such
// rows one after another is the safe answer: two burns into one flash at once
// could leave it with neither image.
bool may_share_flash(const std::string& a, const std::string& b) {
    if (a == b)
        return true;
    const std::string& shorter = a.size() < b.size() ? a : b;
    const std::string& longer = a.size() < b.size() ? b : a;
    const std::string suffix = " " + shorter;
    return shorter.rfind("psid ", 0) == 0 && longer.size() > suffix.size() &&
           longer.compare(longer.size() - suffix.size(), suffix.size(), suffix) == 0;
}

}  // namespace

std::string flash_identity(const char* base_guid, const char* psid) {
    const std::string id = psid != nullptr ? psid : "";
    if (base_guid == nullptr || base_guid[0] == '\0')
        return "psid " + id;
    return std::string("guid ") + base_guid + " psid " + id;
}

std::vector<std::string> BurnBatch::buses_to_burn() const {
    std::vector<std::string> buses;
    for (const Entry& e : entries_)
        if (e.burn.runs)
            buses.push_back(e.burn.bus);
    return buses;
}

void BurnBatch::add(uint32_t row, HeldOutput held, PreparedBurn burn, std::string flash) {
    Entry entry;
    entry.row = row;
    entry.held = std::move(held);
    entry.flash = std::move(flash);
    if (!burn.runs) {
        entry.state = State::done;
        entry.outcome = burn.outcome;
    }
    entry.burn = std::move(burn);
    entries_.push_back(std::move(entry));
}

// A flash is busy from its burn's start until its verification query has ended.
bool BurnBatch::flash_busy(const std::string& flash) const {
    for (const Entry& e : entries_)
        if ((e.state == State::running || e.state == State::verifying) &&
            may_share_flash(e.flash, flash))
            return true;
    return false;
}

// Starts, in table order, every waiting burn whose flash is free; the rows of one
// flash thus run one after another, in table order.
void BurnBatch::start_ready() {
    for (size_t slot = 0; slot < entries_.size(); ++slot)
        if (entries_[slot].state == State::waiting && !flash_busy(entries_[slot].flash))
            start(slot);
}

// The one place a burning tool is started.
void BurnBatch::start(size_t slot) {
    Entry& e = entries_[slot];
    ChildSpec child_spec;
    child_spec.program = e.burn.command.program;
    child_spec.args = e.burn.command.args;
    child_spec.output_fd = e.burn.data.fd.get();
    burn_starting(e.burn);
    const StartedChild started = start_child(child_spec);
    if (started.id == 0) {
        ToolRun not_started;
        not_started.error = started.error;
        tool_ended(slot, not_started);
        return;
    }
    e.child = started.id;
    e.state = State::running;
    if (observer_ != nullptr)
        observer_->burn_started(slot);
}

// The one place a burn's tool is known to have ended (or not to have started).
// A tool that exited 0 is not yet a success: the adapter's query runs first,
// beside the other burns, before the verdict is written with its group.
void BurnBatch::tool_ended(size_t slot, const ToolRun& run) {
    Entry& e = entries_[slot];
    e.result = run;
    if (run.started && run.exit_code == 0) {
        start_verification(slot);
        return;
    }
    e.state = State::done;
    if (observer_ != nullptr)
        observer_->burn_failed(slot);
}

// The query's output follows the burn's in the data file; a query that cannot be
// started leaves the burn unverified (a failed burn).
void BurnBatch::start_verification(size_t slot) {
    Entry& e = entries_[slot];
    mark_query_start(&e.burn);
    ChildSpec child_spec;
    child_spec.program = e.burn.query.program;
    child_spec.args = e.burn.query.args;
    child_spec.output_fd = e.burn.data.fd.get();
    const StartedChild started = start_child(child_spec);
    if (started.id == 0) {
        query_ended(slot, ChildEnd{});
        return;
    }
    e.child = started.id;
    e.state = State::verifying;
}

void BurnBatch::query_ended(size_t slot, const ChildEnd& end) {
    Entry& e = entries_[slot];
    e.burn.query_ran = end.id != 0 && end.run.started;
    e.state = State::done;
    if (observer_ != nullptr)
        observer_->burn_finished(slot);
}

// After a stop request no further burn starts: the rows still waiting are not burnt.
void BurnBatch::drop_waiting() {
    for (size_t slot = 0; slot < entries_.size(); ++slot) {
        if (entries_[slot].state != State::waiting)
            continue;
        entries_[slot].state = State::dropped;
        if (observer_ != nullptr)
            observer_->burn_dropped(slot);
    }
}

void BurnBatch::report_percentages() {
    for (size_t slot = 0; slot < entries_.size(); ++slot)
        if (entries_[slot].state == State::running)
            observer_->burn_percentage(slot, last_percentage(entries_[slot].burn.data.fd.get()));
}

// Waits for the next tool to end, a stop request or, when percentages are wanted,
// the next look at them.
void BurnBatch::wait_for_event() {
    const bool percentages = observer_ != nullptr && observer_->wants_percentages();
    ChildEnd end;
    if (!wait_child(percentages ? kProgressIntervalMs : -1, &end)) {
        if (percentages) {
            report_percentages();
            return;
        }
        // Nothing runs any more although burns were running: the set lost them.
        for (size_t slot = 0; slot < entries_.size(); ++slot) {
            if (entries_[slot].state == State::running)
                tool_ended(slot, ToolRun{false, -1, 0, ECHILD});
            else if (entries_[slot].state == State::verifying)
                query_ended(slot, ChildEnd{});
        }
        return;
    }
    if (end.stop_signal != 0) {
        stop_signal_ = end.stop_signal;
        return;
    }
    for (size_t slot = 0; slot < entries_.size(); ++slot) {
        if (entries_[slot].child != end.id)
            continue;
        if (entries_[slot].state == State::running)
            tool_ended(slot, end.run);
        else if (entries_[slot].state == State::verifying)
            query_ended(slot, end);
        return;
    }
}

// Writes one row's group: what it held, then (when its tool ran) the tool's output
// as the console shows it and the verdict. A dropped row writes nothing: the run
// ends before it, as it would have one adapter after another.
void BurnBatch::write_group(size_t slot) {
    Entry& e = entries_[slot];
    if (e.state == State::dropped)
        return;
    if (e.burn.runs) {
        OutputHold hold(&e.held);
        if (show_tool_output())
            e.held.console(read_output(e.burn.data.fd.get(), e.burn.query_from));
        e.outcome = conclude_burn(g_ninfo[e.row], e.burn, e.result);
        last_burnt_ = e.burn.bus;
    }
    if (observer_ != nullptr)
        observer_->group_writing(slot);
    e.held.release();
    if (observer_ != nullptr)
        observer_->group_written(slot);
    if (e.burn.runs)
        burn_ended(e.burn);
}

// Writes, in table order from `next`, the groups of the rows that are over; returns
// the first row that is not.
size_t BurnBatch::write_finished(size_t next) {
    while (next < entries_.size() &&
           (entries_[next].state == State::done || entries_[next].state == State::dropped))
        write_group(next++);
    return next;
}

std::vector<BurnOutcome> BurnBatch::run(BurnObserver* observer) {
    observer_ = observer;
    for (size_t slot = 0; slot < entries_.size() && observer_ != nullptr; ++slot)
        if (entries_[slot].burn.runs)
            observer_->burn_queued(slot, entries_[slot].burn.bus, entries_[slot].burn.image_path);
    {
        // Shutdowns wait from before the first start until the last burn has
        // ended; from the first tool's start until the last verdict is logged, a
        // stop request waits.
        ShutdownInhibitor inhibitor(buses_to_burn());
        StopDeferral deferral;
        size_t next = 0;
        for (;;) {
            if (stop_signal_ == 0)
                start_ready();
            else
                drop_waiting();
            next = write_finished(next);
            if (next >= entries_.size())
                break;
            wait_for_event();
        }
        if (observer_ != nullptr)
            observer_->batch_ended();
        stop_ = stop_fault(last_burnt_.empty() ? "no adapter" : last_burnt_.c_str());
    }
    observer_ = nullptr;
    std::vector<BurnOutcome> outcomes;
    for (const Entry& e : entries_) outcomes.push_back(e.outcome);
    return outcomes;
}
