// The host lock of a run and the record of burns in progress, on the recording
// platform fake, in a private working directory.
#include "fake_platform.h"
#include "test_io.h"
#include "text_match.h"

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "burn_record.h"
#include "console.h"
#include "driver/run_lock.h"
#include "run_flags.h"

namespace {

constexpr char kStarted[] = "2024-05-01T10:00:00+0200";

class RunLock : public ::testing::Test {
  protected:
    void SetUp() override {
        reset_run_state();
        dir_.Enter();
        open_event_log(FWPAK_SOURCE, __LINE__);
    }
    void TearDown() override {
        close_event_log();
        reset_run_state();
    }
    // Takes the lock with standard error captured.
    int Take(int32_t flags) {
        testing::internal::CaptureStderr();
        int rc = take_run_lock(flags);
        err_ = testing::internal::GetCapturedStderr();
        return rc;
    }
    std::string Log() const { return dir_.Read("mstflint.log"); }

    ScopedTempDir dir_;
    FakePlatform fake_;
    std::string err_;
};

// Who takes which lock, and what the lock file then names: an exclusive holder
// alone; a shared holder beside the query runs that still run.
TEST_F(RunLock, ModeDecidesTheLockAndTheHolderLines) {
    const std::string live = lock_holder_line(7001, false, kStarted, FLAG_DISCOVERY);
    const std::string gone = lock_holder_line(7002, false, kStarted, FLAG_SHOW_CURRENT);
    const std::string own = "pid=" + std::to_string(getpid());
    const struct {
        int32_t flags;
        const char* lock;
        bool keeps_live;
        const char* mode;
    } cases[] = {
        {FLAG_SHOW_CURRENT, "shared", true, "mode=-c\n"},
        {FLAG_DISCOVERY, "shared", true, "mode=-d\n"},
        {0, "exclusive", false, "mode=no option\n"},
        {FLAG_SILENT | FLAG_FORCE, "exclusive", false, "mode=-s -f\n"},
        {FLAG_YES, "exclusive", false, "mode=-y\n"},
        {FLAG_SILENT | FLAG_REPLAY, "exclusive", false, "mode=-s -u\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        fake_.commands.clear();
        fake_.lock_note = live + gone;
        fake_.live_pids = {7001};
        EXPECT_EQ(Take(c.flags), 0);
        EXPECT_TRUE(run_lock_held());
        EXPECT_EQ(fake_.commands,
                  std::vector<std::string>{std::string("lock ") + c.lock + " /run/fwpak.lock"});
        EXPECT_EQ(Contains(fake_.lock_note, live), c.keeps_live) << fake_.lock_note;
        EXPECT_FALSE(Contains(fake_.lock_note, gone));
        const std::string last = fake_.lock_note.substr(c.keeps_live ? live.size() : 0);
        EXPECT_EQ(last.rfind(own + " lock=" + c.lock + " started=", 0), 0u) << last;
        const std::string mode = c.mode;
        EXPECT_EQ(last.substr(last.size() - std::min(last.size(), mode.size())), mode) << last;
        EXPECT_EQ(err_, "");
    }
}

// A run that cannot have the lock starts nothing, and says which run holds it: the
// holders that still run, or the ended one whose tool keeps the lock.
TEST_F(RunLock, RefusalNamesTheHolders) {
    const std::string burner = lock_holder_line(4242, true, kStarted, FLAG_SILENT);
    const std::string q1 = lock_holder_line(5001, false, kStarted, FLAG_SHOW_CURRENT);
    const std::string q2 = lock_holder_line(5002, false, kStarted, FLAG_DISCOVERY);
    const struct {
        std::string note;
        std::vector<int> live;
        std::string named;
    } cases[] = {
        {burner, {4242}, "pid 4242 (-s, exclusive, started 2024-05-01T10:00:00+0200)"},
        {burner,
         {},
         "pid 4242 (-s, exclusive, started 2024-05-01T10:00:00+0200), which has ended: a tool it "
         "started still holds the lock"},
        {q1 + q2,
         {5001, 5002},
         "pid 5001 (-c, shared, started 2024-05-01T10:00:00+0200); pid 5002 (-d, shared, started "
         "2024-05-01T10:00:00+0200)"},
        {q1 + q2, {5002}, "pid 5002 (-d, shared, started 2024-05-01T10:00:00+0200)"},
        {"", {}, "a run that has not named itself in the file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.named);
        fake_.lock_answer = LockAttempt();
        fake_.lock_answer.busy = true;
        fake_.lock_note = c.note;
        fake_.live_pids = c.live;
        EXPECT_EQ(Take(FLAG_SHOW_CURRENT), RUN_LOCK_REFUSED);
        EXPECT_FALSE(run_lock_held());
        EXPECT_EQ(fake_.lock_note, c.note);  // the holders' lines are left alone
        const std::string why = "another fwpak run holds /run/fwpak.lock: " + c.named;
        EXPECT_EQ(
            err_,
            "fwpak: " + why +
                ". No adapter was queried or burnt; run fwpak again when that run has ended.\n");
        EXPECT_TRUE(
            Contains(Log(), "take_run_lock: " + why + "; this run queries and burns no adapter\n"))
            << Log();
    }
}

// /run that cannot take the file: a warning, and the run goes on without the lock.
// A path that is no plain file (a planted link) is refused.
TEST_F(RunLock, UnwritableRunGoesOnAndAPlantedLinkIsRefused) {
    fake_.lock_answer.error = EROFS;
    EXPECT_EQ(Take(FLAG_SILENT), 0);
    EXPECT_FALSE(run_lock_held());
    EXPECT_EQ(err_, "");
    EXPECT_TRUE(Contains(Log(), "[WARNING]  "));
    EXPECT_TRUE(Contains(Log(),
                         "take_run_lock: /run/fwpak.lock could not be created or locked (Read-only "
                         "file system); this run goes on without the host lock"))
        << Log();

    fake_.lock_answer.error = ELOOP;
    fake_.lock_answer.not_regular = true;
    EXPECT_EQ(Take(FLAG_SILENT), RUN_LOCK_REFUSED);
    EXPECT_TRUE(Contains(err_, "/run/fwpak.lock is not a plain file")) << err_;
    EXPECT_TRUE(Contains(err_, "remove it, then run fwpak again")) << err_;
}

class BurnRecords : public RunLock {};

// A burn is on the disk before its tool starts: the start line in the log and its
// record; the record goes with the verdict, or with a later run's query.
TEST_F(BurnRecords, RecordLivesFromStartToVerdictOrQuery) {
    record_burn_start("0000:0b:00.0", "./nic_fw/a.bin", "/tmp/data123456");
    record_burn_start("0000:af:00.0", "./nic_fw/b\tc.bin", "/tmp/data654321");
    EXPECT_TRUE(Contains(Log(),
                         "do_update_firmware: burning ./nic_fw/a.bin into 0000:0b:00.0 starts; "
                         "the burning tool's output goes to /tmp/data123456\n"))
        << Log();
    std::vector<BurnRecord> records = read_burn_records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].bus, "0000:0b:00.0");
    EXPECT_EQ(records[0].data_file, "/tmp/data123456");
    EXPECT_EQ(records[0].pid, getpid());
    EXPECT_EQ(records[1].image, "./nic_fw/b\\tc.bin");  // a tab cannot split the record

    // A later run reports both, asking for a query first.
    testing::internal::CaptureStderr();
    report_interrupted_burns(true);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(Contains(err,
                         "fwpak: an earlier run ended during the burn of 0000:0b:00.0 with "
                         "./nic_fw/a.bin; query that adapter (fwpak -c) before anything else is "
                         "done\n"))
        << err;
    EXPECT_EQ(CountOf(Log(), "report_interrupted_burns: an earlier run"), 2);
    // Without the lock, a record of a run that is still alive is not reported.
    fake_.live_pids = {getpid()};
    testing::internal::CaptureStderr();
    report_interrupted_burns(false);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");

    record_burn_end("0000:0b:00.0");
    ASSERT_EQ(read_burn_records().size(), 1u);
    forget_queried_burns({{"0000:0b:00.0", "16.35.3000"}, {"0000:af:00.0", "16.35.2000"}});
    EXPECT_TRUE(read_burn_records().empty());
    EXPECT_TRUE(Contains(Log(),
                         "forget_queried_burns: 0000:af:00.0 answers its query with "
                         "firmware 16.35.2000; the record of its interrupted burn"));
    EXPECT_FALSE(FileExists(dir_.path() + "/" + g_BurnRecordFile));
}

}  // namespace
