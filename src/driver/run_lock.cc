// The host lock of a run (see run_lock.h). The lock file holds one line per run
// that holds the lock: a run with the exclusive lock is its only holder and
// replaces the lines with its own; a run with the shared lock keeps the lines of
// the holders that still run and adds its own, so that a refused run can name
// every query run beside which it cannot burn.
#include "driver/run_lock.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <unistd.h>
#include <vector>

#include "burn_record.h"
#include "console.h"
#include "handles.h"
#include "platform/host_lock.h"
#include "run_flags.h"

namespace {

// The locked descriptor: open until the process ends, never closed by this run
// (the reset between test cases closes it).
int g_lock_fd = -1;
void reset_lock() {
    if (g_lock_fd >= 0)
        close(g_lock_fd);
    g_lock_fd = -1;
}
[[maybe_unused]] const bool kLockReset = register_run_state_reset(reset_lock);

bool is_shared_mode(int32_t flags) {
    return (flags & (FLAG_SHOW_CURRENT | FLAG_DISCOVERY)) != 0;
}

std::string option_words(int32_t flags) {
    static const struct {
        int32_t bit;
        const char* word;
    } kWords[] = {
        {FLAG_SHOW_CURRENT, "-c"}, {FLAG_DISCOVERY, "-d"}, {FLAG_SILENT, "-s"}, {FLAG_REPLAY, "-u"},
        {FLAG_FORCE, "-f"},        {FLAG_YES, "-y"},       {FLAG_P, "-p"}};
    std::string words;
    for (const auto& w : kWords)
        if ((flags & w.bit) != 0)
            words += words.empty() ? w.word : std::string(" ") + w.word;
    return words.empty() ? "no option" : words;
}

// The value of "key=" in a holder line: up to the next blank, or for the last key,
// mode, up to the end of the line (its options are separated by blanks).
std::string field(const std::string& line, const char* key) {
    const std::string tag = std::string(key) + "=";
    size_t at = line.compare(0, tag.size(), tag) == 0 ? 0 : line.find(" " + tag);
    if (at == std::string::npos)
        return "";
    at += (at == 0 ? 0 : 1) + tag.size();
    if (strcmp(key, "mode") == 0)
        return line.substr(at);
    const size_t end = line.find(' ', at);
    return line.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

std::vector<std::string> lines_of(const std::string& note) {
    std::vector<std::string> lines;
    std::istringstream in(note);
    for (std::string line; std::getline(in, line);)
        if (!line.empty())
            lines.push_back(line);
    return lines;
}

std::string describe_one(const std::string& line, bool ended) {
    std::string text = "pid " + field(line, "pid") + " (" + log_value(field(line, "mode")) + ", " +
                       log_value(field(line, "lock")) + ", started " +
                       log_value(field(line, "started")) + ")";
    if (ended)
        text += ", which has ended: a tool it started still holds the lock";
    return text;
}

int refuse(const char* why, const char* advice) {
    log_eventf(LOG_ERROR, "take_run_lock: %s; this run queries and burns no adapter\n", why);
    fprintf(stderr, "fwpak: %s. No adapter was queried or burnt; %s.\n", why, advice);
    fflush(stderr);
    return RUN_LOCK_REFUSED;
}

void write_holder_line(bool exclusive, int32_t flags) {
    const std::string own =
        lock_holder_line(static_cast<int>(getpid()), exclusive, local_time_stamp(), flags);
    edit_lock_note(g_lock_fd, [&](const std::string& note) {
        std::string kept;
        for (const std::string& line : exclusive ? std::vector<std::string>() : lines_of(note))
            if (process_exists(atoi(field(line, "pid").c_str())))
                kept += line + "\n";
        return kept + own;
    });
}

}  // namespace

std::string lock_holder_line(int pid, bool exclusive, const std::string& started, int32_t flags) {
    return "pid=" + std::to_string(pid) + " lock=" + (exclusive ? "exclusive" : "shared") +
           " started=" + started + " mode=" + option_words(flags) + "\n";
}

std::string describe_lock_holders(const std::string& note) {
    std::vector<std::string> live, ended;
    for (const std::string& line : lines_of(note))
        (process_exists(atoi(field(line, "pid").c_str())) ? live : ended).push_back(line);
    const bool any_live = !live.empty();
    std::string text;
    for (const std::string& line : any_live ? live : ended)
        text += (text.empty() ? "" : "; ") + describe_one(line, !any_live);
    return text.empty() ? "a run that has not named itself in the file" : text;
}

int take_run_lock(int32_t flags) {
    const bool exclusive = !is_shared_mode(flags);
    LockAttempt attempt = take_lock(HOST_LOCK_PATH, exclusive);
    char why[TEXT_LEN];
    if (attempt.not_regular) {
        snprintf(why, sizeof why, "%s is not a plain file (a link, a directory or a device)",
                 HOST_LOCK_PATH);
        return refuse(why, "remove it, then run fwpak again");
    }
    if (attempt.fd < 0) {
        log_eventf(LOG_WARNING,
                   "take_run_lock: %s could not be created or locked (%s); this run goes on "
                   "without the host lock, so another run could write the same adapters at the "
                   "same time\n",
                   HOST_LOCK_PATH, strerror(attempt.error));
        return 0;
    }
    if (attempt.busy) {
        UniqueFd busy(attempt.fd);
        std::string note;
        edit_lock_note(busy.get(), [&note](const std::string& text) {
            note = text;
            return text;
        });
        snprintf(why, sizeof why, "another fwpak run holds %s: %s", HOST_LOCK_PATH,
                 describe_lock_holders(note).c_str());
        return refuse(why, "run fwpak again when that run has ended");
    }
    g_lock_fd = attempt.fd;
    write_holder_line(exclusive, flags);
    return 0;
}

bool run_lock_held() {
    return g_lock_fd >= 0;
}
