// Unattended burns side by side: every adapter of the batch is burnt at the same
// time as the others, except that the rows of one flash wait for each other; each
// adapter's console and log lines come out as one group, in table order, when its
// burn ends, so that they read as in a run that burns one adapter after another.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

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
    // Runs the burns, waits for every one, writes each row's group in table order
    // and returns the rows' outcomes in that order. A stop signal that arrives while
    // burns run starts no further burn; once the running ones have their verdicts,
    // the run ends with 128+N (end_run_if_stopped).
    std::vector<BurnOutcome> run();

  private:
    enum class State { waiting, running, done, dropped };
    struct Entry {
        uint32_t row = 0;
        HeldOutput held;
        PreparedBurn burn;
        std::string flash;
        State state = State::waiting;
        int pid = 0;
        ToolRun result;
        BurnOutcome outcome;
        bool held_released = false;  // its group has been written
    };
    std::vector<std::string> buses_to_burn() const;
    void start_ready();
    void reap_running();
    void drop_waiting();
    bool flash_busy(const std::string& flash) const;
    void emit(Entry* entry);
    void draw_progress();
    void erase_progress();

    std::vector<Entry> entries_;
    std::string last_burnt_;
    int progress_lines_ = 0;
    std::string progress_text_;
};
