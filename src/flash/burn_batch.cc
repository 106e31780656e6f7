// Unattended burns side by side, with each adapter's lines written as one group in
// table order, and progress lines on a terminal.
#include "flash/burn_batch.h"

#include <cctype>
#include <cstdio>
#include <ctime>
#include <unistd.h>

#include "flash/burn_guard.h"
#include "platform/command_runner.h"
#include "platform/process_state.h"

namespace {

// How often the batch looks at its running tools.
constexpr long kPollIntervalNs = 50L * 1000 * 1000;
// Bytes at the end of a tool's output searched for its last percentage.
constexpr off_t kProgressTail = 4096;

void pause_a_moment() {
    struct timespec pause = {0, kPollIntervalNs};
    nanosleep(&pause, nullptr);
}

// Everything the tool has written to its data file.
std::string read_output(int fd) {
    std::string text;
    char buf[4096];
    off_t at = 0;
    for (;;) {
        ssize_t n = pread(fd, buf, sizeof buf, at);
        if (n <= 0)
            return text;
        text.append(buf, static_cast<size_t>(n));
        at += n;
    }
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

bool BurnBatch::flash_busy(const std::string& flash) const {
    for (const Entry& e : entries_)
        if (e.state == State::running && e.flash == flash)
            return true;
    return false;
}

// Starts, in table order, every waiting burn whose flash is free; the rows of one
// flash thus run one after another, in table order.
void BurnBatch::start_ready() {
    for (Entry& e : entries_) {
        if (e.state != State::waiting || flash_busy(e.flash))
            continue;
        burn_starting(e.burn);
        StartedTool started =
            start_tool(e.burn.command.program, e.burn.command.args, e.burn.data.fd.get());
        if (started.pid == 0) {
            e.result.started = false;
            e.result.error = started.error;
            e.state = State::done;
            continue;
        }
        e.pid = started.pid;
        e.state = State::running;
    }
}

void BurnBatch::reap_running() {
    for (Entry& e : entries_)
        if (e.state == State::running && reap_tool(e.pid, &e.result))
            e.state = State::done;
}

// After a stop request no further burn starts: the rows still waiting are not burnt.
void BurnBatch::drop_waiting() {
    for (Entry& e : entries_)
        if (e.state == State::waiting)
            e.state = State::dropped;
}

// Writes one row's group: what it held, then (when its tool ran) the tool's output
// as the console shows it and the verdict. A dropped row writes nothing: the run
// ends before it, as it would have one adapter after another.
void BurnBatch::emit(Entry* e) {
    if (e->state == State::dropped)
        return;
    if (e->burn.runs) {
        hold_output(&e->held);
        if (show_tool_output())
            e->held.console(read_output(e->burn.data.fd.get()));
        e->outcome = conclude_burn(g_ninfo[e->row], e->burn, e->result);
        hold_output(nullptr);
        last_burnt_ = e->burn.bus;
    }
    erase_progress();
    e->held.release();
    if (e->burn.runs)
        burn_ended(e->burn);
}

// One line per adapter of the batch not yet written, redrawn in place; only on a
// terminal (a log file or a pipe gets nothing extra).
void BurnBatch::draw_progress() {
    if (!console_is_terminal())
        return;
    std::string lines;
    int count = 0;
    for (const Entry& e : entries_) {
        if (!e.burn.runs || e.state == State::dropped || e.held_released)
            continue;
        const char* state = e.state == State::waiting   ? "waiting for its flash"
                            : e.state == State::running ? "burning"
                            : e.result.exit_code == 0   ? "finished"
                                                        : "failed";
        char line[TEXT_LEN];
        snprintf(line, sizeof line, "  %s  %s  %4s  %s\n", e.burn.bus.c_str(),
                 e.burn.image_path.c_str(), last_percentage(e.burn.data.fd.get()).c_str(), state);
        lines += line;
        ++count;
    }
    // Redrawn only when a line has changed, so that the terminal does not flicker.
    if (count == progress_lines_ && lines == progress_text_)
        return;
    erase_progress();
    fputs(lines.c_str(), stdout);
    fflush(stdout);
    progress_lines_ = count;
    progress_text_ = lines;
}

void BurnBatch::erase_progress() {
    if (progress_lines_ == 0)
        return;
    for (; progress_lines_ > 0; --progress_lines_) fputs("\033[1A\033[2K", stdout);
    progress_text_.clear();
    fflush(stdout);
}

std::vector<BurnOutcome> BurnBatch::run() {
    size_t next = 0;
    {
        // From the first tool's start until the last verdict is logged, a stop
        // request waits; shutdowns wait from before the first start until the
        // last burn has ended.
        StopDeferral deferral;
        ShutdownInhibitor inhibitor(buses_to_burn());
        while (next < entries_.size()) {
            if (deferred_stop_signal() == 0)
                start_ready();
            else
                drop_waiting();
            reap_running();
            while (next < entries_.size() && (entries_[next].state == State::done ||
                                              entries_[next].state == State::dropped)) {
                emit(&entries_[next]);
                entries_[next].held_released = true;
                ++next;
            }
            if (next < entries_.size()) {
                draw_progress();
                pause_a_moment();
            }
        }
        erase_progress();
        end_run_if_stopped(last_burnt_.empty() ? "no adapter" : last_burnt_.c_str());
    }
    std::vector<BurnOutcome> outcomes;
    for (const Entry& e : entries_) outcomes.push_back(e.outcome);
    return outcomes;
}
