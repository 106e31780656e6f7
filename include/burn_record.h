// The record of the burns in progress: one line per burn in the file
// "fwpak-burns-in-progress" beside the event log, written and flushed to the disk
// before the burning tool starts and cleared once the burn's verdict is in the log.
// A record that outlives its run (killed, out of memory, a power cut) tells every
// later run that an adapter may hold a half-written flash.
#pragma once

#include <string>
#include <utility>
#include <vector>

extern const char g_BurnRecordFile[];

// The local time as ISO 8601 with its offset (2026-12-07T22:05:49+0000): the burn
// record's and the host lock note's start stamp, so that both read alike.
std::string local_time_stamp();

// One burn in progress: the adapter, the image path, the tool's data file, and the
// run that started it (its process id and start time).
struct BurnRecord {
    std::string bus;
    std::string image;
    std::string data_file;
    int pid = 0;
    std::string started;
};

// The records in the file, in the order they were written; none when there is no
// file. A record's fields never hold a tab or a line end (they are escaped).
std::vector<BurnRecord> read_burn_records();

// Logs (warning) and says on standard error each burn that an earlier run left
// unfinished, asking that its adapter be queried first. Without the host lock, a
// record of a run that is still alive is left alone: that burn may well go on.
void report_interrupted_burns(bool host_locked);

// Before the tool starts: the start line in the event log and the record, both
// flushed to the disk. The line is written at once also when the adapter's other
// lines are held back.
void record_burn_start(const std::string& bus, const std::string& image,
                       const std::string& data_file);
// Once the burn's verdict is in the log: the record is cleared.
void record_burn_end(const std::string& bus);
// Clears the records of the adapters this run has queried (address and the
// firmware version it answered), logging each answer beside the record it clears.
void forget_queried_burns(const std::vector<std::pair<std::string, std::string>>& answered);
