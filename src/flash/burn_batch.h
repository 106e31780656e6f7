// Unattended burns side by side: every adapter of the batch is burnt at the same
// time as the others, except that the rows of one flash wait for each other; each
// adapter's console and log lines come out as one group, in table order, when its
// burn ends, so that they read as in a run that burns one adapter after another.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "burn_observer.h"
#include "console.h"
#include "flash/flash_exec.h"

// What identifies a flash: the Base GUID and the PSID from the query. A row whose
// Base GUID is not known (an answer without one, a replayed report) may share its
// flash with any row of the same PSID: such rows are taken one after another.
std::string flash_identity(const char* base_guid, const char* psid);

class BurnBatch {
  public:
    // Adds table row `row`: its output so far (`held`), its prepared burn and the
    // identity of its flash. Rows are added in table order.
    void add(uint32_t row, HeldOutput held, PreparedBurn burn, std::string flash);
    // Runs the burns through the subprocess set, waits for every one, writes each
    // row's group in table order and returns the rows' outcomes in that order;
    // `observer` (may be null) hears what happens. A stop request that arrives
    // while burns run starts no further burn; once the running ones have their
    // verdicts, stop() holds the fault that ends the run with 128+N (stop_fault).
    std::vector<BurnOutcome> run(BurnObserver* observer);
    // The stop signal the batch heard while it ran, or 0.
    int stop_signal() const { return stop_signal_; }
    const RunFault& stop() const { return stop_; }

  private:
    // A burn whose tool exits 0 is verifying while the adapter's query runs.
    enum class State { waiting, running, verifying, done, dropped };
    struct Entry {
        uint32_t row = 0;
        HeldOutput held;
        PreparedBurn burn;
        std::string flash;
        State state = State::waiting;
        int child = 0;
        ToolRun result;
        BurnOutcome outcome;
    };
    std::vector<std::string> buses_to_burn() const;
    void start_ready();
    void start(size_t slot);
    void tool_ended(size_t slot, const ToolRun& run);
    void start_verification(size_t slot);
    void query_ended(size_t slot, const ChildEnd& end);
    void wait_for_event();
    void report_percentages();
    void drop_waiting();
    bool flash_busy(const std::string& flash) const;
    size_t write_finished(size_t next);
    void write_group(size_t slot);

    std::vector<Entry> entries_;
    BurnObserver* observer_ = nullptr;
    std::string last_burnt_;
    int stop_signal_ = 0;
    RunFault stop_;
};
