// The side-by-side burns as one table: the recording platform fake holds every
// started tool until the case finishes it, so which burns run together, which
// wait, and in which order the groups are written are asserted without clocks.
#include "flash/burn_batch.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "console.h"
#include "fake_platform.h"
#include "nic_info.h"
#include "run_flags.h"
#include "scoped_temp_dir.h"
#include "text_match.h"

namespace {

constexpr char kTool[] = "./nic_fw/mstflint -y -d ";
constexpr char kQuery[] = "./nic_fw/mstflint -d ";
constexpr char kVerified[] = "FW Version:            0.0.0\n";
constexpr int kStop = -1;  // a step that requests a stop instead of finishing a burn

struct Row {
    const char* guid;  // null: the query gave no Base GUID
    const char* psid;
};

// At one wait of the batch: the rows whose tools run, then what the case does.
struct Step {
    std::vector<int> running;
    int finish;  // row index, or kStop
    int exit_code;
};

std::string Bus(size_t row) {
    return "0000:0" + std::to_string(row + 1) + ":00.0";
}

// What the batch reports, one word per event: q queued, s started, ok finished,
// x failed, d dropped, g group written, end.
class Recorder : public BurnObserver {
  public:
    explicit Recorder(bool percentages = false) : percentages_(percentages) {}
    bool wants_percentages() const override { return percentages_; }
    void burn_queued(size_t slot, const std::string&, const std::string&) override {
        Add("q", slot);
    }
    void burn_started(size_t slot) override { Add("s", slot); }
    void burn_percentage(size_t slot, const std::string& percentage) override {
        Add("p" + percentage + "@", slot);
    }
    void burn_finished(size_t slot) override { Add("ok", slot); }
    void burn_failed(size_t slot) override { Add("x", slot); }
    void burn_dropped(size_t slot) override { Add("d", slot); }
    void group_writing(size_t slot) override { Add("g", slot); }
    void group_written(size_t) override {}
    void batch_ended() override { events += "end"; }
    std::string events;

  private:
    void Add(const std::string& word, size_t slot) { events += word + std::to_string(slot) + " "; }
    bool percentages_;
};

class BurnBatchTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_.Enter();
        Fresh();
    }
    void TearDown() override { Cleanup(); }
    void Fresh() {
        reset_run_state();
        open_event_log(FWPAK_SOURCE, __LINE__);
        // -y in replay form: the console shows each verdict, no selection lines.
        g_iFlag = FLAG_YES;
        read_discovery = 1;
    }
    void Cleanup() {
        fclose(pmstflint_fout);
        for (int32_t i = 0; i < g_nNics; ++i) {
            free(g_ninfo[i].pbus_info);
            free(g_ninfo[i].pxmlFwImage[0]);
        }
        free(g_ninfo);
        reset_run_state();
    }

    // One batch of `rows`, each with its held line "held <bus>".
    BurnBatch Prepare(const std::vector<Row>& rows) {
        g_nNics = static_cast<int32_t>(rows.size());
        g_ninfo = static_cast<nic_info*>(calloc(rows.size(), sizeof(nic_info)));
        BurnBatch batch;
        for (size_t i = 0; i < rows.size(); ++i) {
            nic_info& row = g_ninfo[i];
            row.flags = NIC_STATE_KNOWN | NIC_FLASH;
            row.fw_count = 1;
            row.pbus_info = dup_text(Bus(i).c_str());
            row.pxmlFwImage[0] = dup_text("a.bin");
            HeldOutput held;
            PreparedBurn burn;
            {
                OutputHold hold(&held);
                print_messagef("held %s\n", Bus(i).c_str());
                burn = prepare_burn(static_cast<uint32_t>(i), burn_form_of_run());
            }
            batch.add(static_cast<uint32_t>(i), std::move(held), std::move(burn),
                      flash_identity(rows[i].guid, rows[i].psid));
        }
        return batch;
    }

    // Finishes one running verification query; false when none runs.
    bool FinishQuery() {
        for (const std::string& line : fake_.Running()) {
            if (line.compare(0, strlen(kQuery), kQuery) == 0) {
                fake_.Finish(line, 0);
                return true;
            }
        }
        return false;
    }

    std::vector<int> RunningRows() const {
        std::vector<int> rows;
        for (const std::string& line : fake_.Running())
            rows.push_back(line[strlen(kTool) + 6] - '1');
        return rows;
    }

    ScopedTempDir dir_;
    FakePlatform fake_;
};

// The console's lines in order, a word per line: "held N" or "ok N" / "failed N".
std::string Groups(const std::string& console) {
    std::string words;
    size_t at = 0;
    while (at < console.size()) {
        size_t end = console.find('\n', at);
        if (end == std::string::npos)
            end = console.size();
        const std::string line = console.substr(at, end - at);
        at = end + 1;
        const std::string row = line.empty() ? "" : std::string(1, line[line.size() - 6]);
        if (line.rfind("held ", 0) == 0)
            words += "held" + row + " ";
        else if (Contains(line, "SUCCESS  for interface"))
            words += "ok" + row + " ";
        else if (Contains(line, "FAILED   for interface"))
            words += "failed" + row + " ";
    }
    return words;
}

TEST_F(BurnBatchTest, OneTableOfSchedules) {
    const struct Case {
        const char* name;
        std::vector<Row> rows;
        std::vector<Step> steps;
        size_t max_running;
        const char* events;
        const char* groups;  // console: held line and verdict per written row (bus digit)
        int stop_signal;
    } cases[] = {
        {"same_base_guid_and_psid_one_after_another",
         {{"b8ce01", "MT_1"}, {"b8ce01", "MT_1"}},
         {{{0}, 0, 0}, {{1}, 1, 0}},
         1,
         "q0 q1 s0 ok0 s1 g0 ok1 g1 end",
         "held1 ok1 held2 ok2 ",
         0},
        {"no_base_guid_same_psid_one_after_another",
         {{nullptr, "MT_1"}, {nullptr, "MT_1"}},
         {{{0}, 0, 0}, {{1}, 1, 0}},
         1,
         "q0 q1 s0 ok0 s1 g0 ok1 g1 end",
         "held1 ok1 held2 ok2 ",
         0},
        // Without its Base GUID a row may be the other's flash: never both at once.
        {"base_guid_beside_none_same_psid_one_after_another",
         {{"b8ce01", "MT_1"}, {nullptr, "MT_1"}, {"b8ce02", "MT_1"}},
         {{{0, 2}, 2, 0}, {{0}, 0, 0}, {{1}, 1, 0}},
         2,
         "q0 q1 q2 s0 s2 ok2 ok0 s1 g0 ok1 g1 g2 end",
         "held1 ok1 held2 ok2 held3 ok3 ",
         0},
        {"different_flashes_together_groups_in_table_order",
         {{"b8ce01", "MT_1"}, {"b8ce02", "MT_1"}, {nullptr, "MT_2"}},
         {{{0, 1, 2}, 2, 0}, {{0, 1}, 1, 0}, {{0}, 0, 0}},
         3,
         "q0 q1 q2 s0 s1 s2 ok2 ok1 ok0 g0 g1 g2 end",
         "held1 ok1 held2 ok2 held3 ok3 ",
         0},
        {"slow_failing_first_row_holds_back_the_groups_after_it",
         {{"b8ce01", "MT_1"}, {"b8ce02", "MT_1"}},
         {{{0, 1}, 1, 0}, {{0}, 0, 3}},
         2,
         "q0 q1 s0 s1 ok1 x0 g0 g1 end",
         "held1 failed1 held2 ok2 ",
         0},
        // Waiting rows are dropped and write nothing, running ones are waited for
        // and written.
        {"stop_request_drops_waiting_rows_and_waits_for_running_ones",
         {{"b8ce01", "MT_1"}, {"b8ce01", "MT_1"}, {"b8ce02", "MT_2"}},
         {{{0, 2}, kStop, 0}, {{0, 2}, 0, 0}, {{2}, 2, 1}},
         2,
         "q0 q1 q2 s0 s2 d1 ok0 g0 x2 g2 end",
         "held1 ok1 held3 failed3 ",
         SIGINT},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Cleanup();
        Fresh();
        fake_.Script(kTool, 0);
        fake_.max_running = 0;
        BurnBatch batch = Prepare(c.rows);
        size_t step = 0;
        fake_.Script(kQuery, 0, kVerified);
        fake_.on_wait = [&] {
            // A burn's verification query is answered at once: the steps are burns.
            if (FinishQuery())
                return;
            ASSERT_LT(step, c.steps.size());
            const Step& s = c.steps[step++];
            EXPECT_EQ(RunningRows(), s.running) << "at step " << step;
            if (s.finish == kStop)
                fake_.RequestStop(SIGINT);
            else
                fake_.Finish(kTool + Bus(static_cast<size_t>(s.finish)), s.exit_code);
        };
        Recorder recorder;
        testing::internal::CaptureStdout();
        std::vector<BurnOutcome> outcomes = batch.run(&recorder);
        const std::string console = testing::internal::GetCapturedStdout();
        fake_.on_wait = nullptr;
        EXPECT_EQ(step, c.steps.size());
        EXPECT_EQ(fake_.max_running, c.max_running);
        EXPECT_EQ(recorder.events, c.events);
        EXPECT_EQ(Groups(console), c.groups) << console;
        EXPECT_EQ(batch.stop_signal(), c.stop_signal);
        ASSERT_EQ(outcomes.size(), c.rows.size());
    }
}

// A tool that cannot be started is a failed burn of its row alone.
TEST_F(BurnBatchTest, ToolThatCannotBeStartedFailsItsRowOnly) {
    fake_.Script(kTool, 0);
    fake_.Script(kQuery, 0, kVerified);
    fake_.FailStart(kTool + Bus(0), EAGAIN);
    BurnBatch batch = Prepare({{"b8ce01", "MT_1"}, {"b8ce02", "MT_1"}});
    Recorder recorder;
    testing::internal::CaptureStdout();
    std::vector<BurnOutcome> outcomes = batch.run(&recorder);
    const std::string console = testing::internal::GetCapturedStdout();
    EXPECT_EQ(recorder.events, "q0 q1 x0 s1 g0 ok1 g1 end");
    EXPECT_EQ(Groups(console), "held1 failed1 held2 ok2 ");
    ASSERT_EQ(outcomes.size(), 2u);
    EXPECT_EQ(outcomes[0].verdict, BURN_FAILED);
    EXPECT_EQ(outcomes[1].verdict, BURN_SUCCEEDED);
    EXPECT_EQ(g_iFlag & (FLAG_BURN_OK | FLAG_BURN_FAILED), FLAG_BURN_OK | FLAG_BURN_FAILED);
    EXPECT_TRUE(Contains(dir_.Read("mstflint.log"),
                         "do_update_firmware: could not run the burning tool for 0000:01:00.0: "
                         "Resource temporarily unavailable\n"));
}

// A view that wants percentages hears the running tool's last one at each look.
TEST_F(BurnBatchTest, PercentagesOfRunningToolsAreReported) {
    fake_.Script(kTool, 0, "Burning FW image - 10%\rBurning FW image - 40%");
    fake_.Script(kQuery, 0, kVerified);
    BurnBatch batch = Prepare({{"b8ce01", "MT_1"}});
    int looks = 0;
    fake_.on_wait = [&] {
        if (FinishQuery())
            return;
        if (++looks == 2)
            fake_.Finish(kTool + Bus(0), 0);
    };
    Recorder recorder(true);
    testing::internal::CaptureStdout();
    batch.run(&recorder);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(recorder.events, "q0 s0 p40%@0 ok0 g0 end");
}

}  // namespace
