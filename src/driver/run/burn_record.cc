// The record of the burns in progress, beside the event log.
#include "burn_record.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <sstream>
#include <unistd.h>

#include "console.h"
#include "handles.h"
#include "platform/files.h"
#include "platform/host_lock.h"

const char g_BurnRecordFile[] = "fwpak-burns-in-progress";

std::string local_time_stamp() {
    time_t now = time(nullptr);
    struct tm local = {};
    char text[64] = "";  // 24 characters used; strftime leaves it empty if it would not fit
    if (localtime_r(&now, &local) != nullptr)
        strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S%z", &local);
    return text;
}

namespace {

// A record file larger than this was not written by this program (a record is a
// line of a few hundred bytes, one per adapter); only its start is read.
constexpr size_t kRecordFileMax = 1 << 20;

std::vector<std::string> split(const std::string& line, char sep) {
    std::vector<std::string> fields;
    std::string field;
    std::istringstream in(line);
    while (std::getline(in, field, sep)) fields.push_back(field);
    return fields;
}

std::string file_text() {
    UniqueFile file(fopen(g_BurnRecordFile, "re"));
    if (file == nullptr)
        return "";
    std::string text(kRecordFileMax, '\0');
    text.resize(fread(&text[0], 1, kRecordFileMax, file.get()));
    return text;
}

// Writes the records in one step (a reader never sees half a file), flushed to the
// disk; no record left removes the file.
void store(const std::vector<BurnRecord>& records) {
    if (records.empty()) {
        if (remove(g_BurnRecordFile) != 0 && errno != ENOENT)
            log_eventf(LOG_WARNING, "burn record: %s could not be removed: %s\n", g_BurnRecordFile,
                       strerror(errno));
        return;
    }
    std::string text;
    for (const BurnRecord& r : records)
        text += log_value(r.bus) + "\t" + log_value(r.image) + "\t" + log_value(r.data_file) +
                "\t" + std::to_string(r.pid) + "\t" + log_value(r.started) + "\n";
    SaveFailure failure;
    int rc = save_file_atomically(
        g_BurnRecordFile, [&text](int fd) { return write_all(fd, text) ? 0 : -1; }, &failure);
    if (rc != 0)
        log_eventf(LOG_WARNING, "burn record: %s could not be written: %s\n", g_BurnRecordFile,
                   strerror(failure.error));
}

// Drops the records of `bus`; true when there was one.
bool drop(std::vector<BurnRecord>* records, const std::string& bus) {
    const size_t before = records->size();
    for (auto it = records->begin(); it != records->end();)
        it = it->bus == bus ? records->erase(it) : it + 1;
    return records->size() != before;
}

}  // namespace

std::vector<BurnRecord> read_burn_records() {
    std::vector<BurnRecord> records;
    for (const std::string& line : split(file_text(), '\n')) {
        std::vector<std::string> f = split(line, '\t');
        if (f.empty() || f[0].empty())
            continue;
        f.resize(5);
        BurnRecord r;
        r.bus = f[0];
        r.image = f[1];
        r.data_file = f[2];
        r.pid = atoi(f[3].c_str());
        r.started = f[4];
        records.push_back(r);
    }
    return records;
}

void report_interrupted_burns(bool host_locked) {
    for (const BurnRecord& r : read_burn_records()) {
        if (!host_locked && process_exists(r.pid))
            continue;
        log_eventf(LOG_WARNING,
                   "report_interrupted_burns: an earlier run (pid %d, started %s) ended during the "
                   "burn of %s with %s; query that adapter before anything else is done (the "
                   "burning tool's output is in %s)\n",
                   r.pid, r.started.c_str(), r.bus.c_str(), r.image.c_str(), r.data_file.c_str());
        fprintf(stderr,
                "fwpak: an earlier run ended during the burn of %s with %s; query that adapter "
                "(fwpak -c) before anything else is done\n",
                r.bus.c_str(), r.image.c_str());
    }
    fflush(stderr);
}

void record_burn_start(const std::string& bus, const std::string& image,
                       const std::string& data_file) {
    log_event_on_disk(LOG_INFO,
                      "do_update_firmware: burning %s into %s starts; the burning tool's output "
                      "goes to %s\n",
                      log_value(image).c_str(), log_value(bus).c_str(),
                      log_value(data_file).c_str());
    std::vector<BurnRecord> records = read_burn_records();
    drop(&records, log_value(bus));
    records.push_back({log_value(bus), log_value(image), log_value(data_file),
                       static_cast<int>(getpid()), local_time_stamp()});
    store(records);
}

void record_burn_end(const std::string& bus) {
    std::vector<BurnRecord> records = read_burn_records();
    if (drop(&records, log_value(bus)))
        store(records);
}

void forget_queried_burns(const std::vector<std::pair<std::string, std::string>>& answered) {
    std::vector<BurnRecord> records = read_burn_records();
    bool changed = false;
    for (const auto& [bus, version] : answered) {
        for (const BurnRecord& r : records) {
            if (r.bus != log_value(bus))
                continue;
            log_eventf(LOG_INFO,
                       "forget_queried_burns: %s answers its query with firmware %s; the record "
                       "of its interrupted burn with %s is cleared\n",
                       r.bus.c_str(), log_value(version).c_str(), r.image.c_str());
        }
        changed = drop(&records, log_value(bus)) || changed;
    }
    if (changed)
        store(records);
}
