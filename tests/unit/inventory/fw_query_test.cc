// The query value cut, the query and the image lookup's answer handling, with the
// recording platform fake standing in for the burning tool and the lookup program.
#include "inventory/fw_query.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "console.h"
#include "fake_platform.h"
#include "run_flags.h"
#include "test_support.h"

namespace {

struct CutCase {
    const char* line;
    const char* pattern;
    const char* value;
};

TEST(CutQueryValue, TakesTheValueAfterKeywordAndSeparator) {
    const CutCase cases[] = {
        {"FW Version:            16.35.2000\n", "FW Version", "16.35.2000"},
        {"PSID:                  MT_0000000080\n", "PSID", "MT_0000000080"},
        // A last line without end-of-line keeps its last character.
        {"FW Version:            16.35.2000", "FW Version", "16.35.2000"},
        {"PSID:  MT_0000000080", "PSID", "MT_0000000080"},
        {"FW Version: 16.35.2000\r\n", "FW Version", "16.35.2000"},
        {"FW Version:\t16.35 2000\n", "FW Version", "\t16.352000"},  // tabs stay, blanks go
        // Cut after the keyword's length from the line's start, wherever it stands.
        {"  FW Version: 1.2.3\n", "FW Version", "n:1.2.3"},
        {"fw version: 1.2.3\n", "FW Version", "1.2.3"},
        {"FW Version:      \n", "FW Version", ""},
        {"FW Version:\n", "FW Version", ""},
        {"PSID\n", "PSID", ""},
        {"FW Version(Running):   20.34.1002\n", QUERY_RUNNING_KEYWORD, "20.34.1002"},
    };
    for (const CutCase& c : cases) {
        char value[QUERY_VALUE_LEN];
        size_t len = cut_query_value(c.line, c.pattern, value, sizeof value);
        EXPECT_STREQ(value, c.value) << c.line;
        EXPECT_EQ(len, strlen(c.value));
    }
}

// Only the value's own line counts; the tool's other lines may hold the words.
TEST(QueryValueLine, OnlyTheKeywordAndColonAtTheLineStart) {
    const struct {
        const char* line;
        const char* pattern;
        bool is_value;
    } cases[] = {
        {"FW Version:            16.35.2000\n", "FW Version", true},
        {"fw version: 16.35.2000\n", "FW Version", true},
        {"PSID:                  MT_0000000080\n", "PSID", true},
        {"FW ISSU Version:       16.35.1000\n", "FW Version", false},
        {"FW Version(Running):   16.32.1010\n", "FW Version", false},
        {"FW Version(Running):   16.32.1010\n", QUERY_RUNNING_KEYWORD, true},
        {"FW Version:            16.35.2000\n", QUERY_RUNNING_KEYWORD, false},
        {"Rom Info:              type=PXE version=3.6.804 cpu=AMD64\n", "FW Version", false},
        {"-W- FW Version: 9.9.9 of the running image\n", "FW Version", false},
        {"-E- Cannot open Device: 0000:84:00.0. MFE_CR_ERROR\n", "PSID", false},
        {"  FW Version: 1.2.3\n", "FW Version", false},
        {"Orig PSID:             MT_0000000080\n", "PSID", false},
        {"PSID MT_0000000080\n", "PSID", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(is_query_value_line(c.line, c.pattern), c.is_value) << c.line;
}

// The flash's identity: the first word of "Base GUID:" (its count dropped), else
// of the ConnectX-3 "GUIDs:" line; nothing from other lines that mention GUIDs.
TEST(QueryBaseGuid, FirstWordOfTheGuidLine) {
    const struct {
        const char* output;
        const char* guid;
    } cases[] = {
        {"FW Version:            16.35.2000\nBase GUID:             98039b03009fc6d4        4\n"
         "PSID:                  MT_0000000080\n",
         "98039b03009fc6d4"},
        {"GUIDs:                 e41d2d03007e7c10 e41d2d03007e7c11\n", "e41d2d03007e7c10"},
        {"Description:           UID                GuidsNumber\nBase GUID:  b8cef60300e1d2a4",
         "b8cef60300e1d2a4"},
        {"-W- Base GUID: 0000000000000000 not read\nFW Version: 1.2.3\n", ""},
        {"Base GUID:\n", ""},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(query_base_guid(c.output), c.guid) << c.output;
}

// The tool's answers after a burn, verbatim: the flash's version and the running
// one each come from their own line.
TEST(CutFirmwareInfo, FlashAndRunningVersionOfAWaitingImage) {
    const struct {
        const char* output;
        const char* flash;
        const char* running;
    } cases[] = {
        {"Image type:            FS4\nFW Version:            20.35.1012\n"
         "FW Version(Running):   20.34.1002\nFW Release Date:       28.10.2022\n",
         "20.35.1012", "20.34.1002"},
        {"Image type:            FS2\nFW Version:            2.42.5000\n"
         "FW Version(Running):   2.35.5100\nFW Release Date:       5.9.2017\n",
         "2.42.5000", "2.35.5100"},
        {"Image type:            FS4\nFW Version:            20.35.1012\n", "20.35.1012", nullptr},
    };
    for (const auto& c : cases) {
        char* flash = nullptr;
        char* running = nullptr;
        EXPECT_EQ(cut_firmware_info(c.output, &flash, QUERY_VERSION_KEYWORD), 0);
        EXPECT_EQ(cut_firmware_info(c.output, &running, QUERY_RUNNING_KEYWORD),
                  c.running != nullptr ? 0 : 1);
        EXPECT_STREQ(flash, c.flash);
        if (c.running != nullptr)
            EXPECT_STREQ(running, c.running);
        else
            EXPECT_EQ(running, nullptr);
        free(flash);
        free(running);
    }
}

TEST(CutQueryValue, LongValueIsCutAtItsBuffer) {
    std::string line = "PSID: " + std::string(80, 'A') + "\n";
    char value[QUERY_VALUE_LEN];
    memset(value, 'x', sizeof value);
    EXPECT_EQ(cut_query_value(line.c_str(), "PSID", value, sizeof value),
              static_cast<size_t>(QUERY_VALUE_LEN - 1));
    EXPECT_EQ(std::string(value), std::string(QUERY_VALUE_LEN - 1, 'A'));
}

// A package directory; Tool() scripts what ./nic_fw/mstflint prints.
class Query : public ::testing::Test {
  protected:
    void SetUp() override {
        reset_run_state();
        dir_.Enter();
    }
    void Tool(const std::string& output) { fake_.Script("./nic_fw/mstflint -d ", 0, output); }
    ScopedTempDir dir_;
    FakePlatform fake_;
};

// The same directory with a real tool script, for what the shell line itself does.
class QueryRealTool : public ::testing::Test {
  protected:
    void SetUp() override {
        reset_run_state();
        dir_.Enter();
    }
    ScopedTempDir dir_;
};

TEST_F(Query, FirstMatchingLineOnly) {
    Tool("Image type: FS4\nFW Version:   16.35.2000\nPSID:  MT_0000000080\nFW Version: 9.9.9\n");
    char* value = nullptr;
    EXPECT_EQ(get_firmware_info("0000:0b:00.0", &value, "FW Version"), 0);
    ASSERT_NE(value, nullptr);
    EXPECT_STREQ(value, "16.35.2000");
    free(value);
    EXPECT_EQ(fake_.commands, std::vector<std::string>{"./nic_fw/mstflint -d 0000:0b:00.0 q 2>&1"});
}

// The query round: at most eight queries run at once, started in table order, and
// each answer comes back in its port's place whatever order the tools end in; a
// query that cannot be started is left out without holding up the others.
TEST_F(Query, RoundRunsAtMostEightAtOnceAndAnswersInTableOrder) {
    std::vector<std::string> ports;
    for (int i = 0; i < 11; ++i) {
        char bus[16];
        snprintf(bus, sizeof bus, "0000:%02x:00.0", 0x10 + i);
        ports.push_back(bus);
        fake_.Script(std::string("./nic_fw/mstflint -d ") + bus, 0, std::string("PSID: ") + bus);
    }
    fake_.FailStart("./nic_fw/mstflint -d 0000:12:00.0", EAGAIN);
    std::vector<size_t> running_at_wait;
    fake_.on_wait = [&] {
        // The newest running query ends first: the answers arrive out of order.
        running_at_wait.push_back(fake_.Running().size());
        fake_.Finish(fake_.Running().back(), 0);
    };
    std::vector<PortQueryOutput> answers = query_ports(ports);
    EXPECT_EQ(fake_.max_running, MAX_QUERIES_AT_ONCE);
    EXPECT_EQ(running_at_wait.front(), MAX_QUERIES_AT_ONCE);
    ASSERT_EQ(answers.size(), ports.size());
    for (size_t i = 0; i < ports.size(); ++i) {
        SCOPED_TRACE(ports[i]);
        EXPECT_EQ(answers[i].started, i != 2);
        EXPECT_EQ(answers[i].output, i != 2 ? "PSID: " + ports[i] : "");
    }
    ASSERT_EQ(fake_.commands.size(), ports.size() - 1);
    EXPECT_EQ(fake_.commands[0], "./nic_fw/mstflint -d 0000:10:00.0 q 2>&1");
    EXPECT_EQ(fake_.commands.back(), "./nic_fw/mstflint -d 0000:1a:00.0 q 2>&1");
}

TEST_F(Query, LastLineWithoutEndOfLineKeepsItsLastCharacter) {
    Tool("Image type: FS4\nFW Version:   16.35.2000");
    char* value = nullptr;
    EXPECT_EQ(get_firmware_info("0000:0b:00.0", &value, "FW Version"), 0);
    EXPECT_STREQ(value, "16.35.2000");
    free(value);
}

TEST_F(Query, NoMatchLeavesTheOutputUntouched) {
    Tool("-E- Cannot open Device: 0000:0b:00.0. No such file or directory\n");
    char sentinel[] = "untouched";
    char* value = sentinel;
    EXPECT_EQ(get_firmware_info("0000:0b:00.0", &value, "PSID"), 1);
    EXPECT_EQ(value, sentinel);
}

TEST_F(Query, EmptyValueIsNotAValue) {
    Tool("PSID:        \n");
    char* value = nullptr;
    EXPECT_EQ(get_firmware_info("0000:0b:00.0", &value, "PSID"), 1);
    ASSERT_NE(value, nullptr);
    EXPECT_STREQ(value, "");
    free(value);
}

TEST_F(QueryRealTool, StandardErrorIsReadToo) {
    dir_.Write("nic_fw/mstflint", "#!/bin/sh\necho 'PSID: MT_1' >&2\n", 0755);
    char* value = nullptr;
    EXPECT_EQ(get_firmware_info("0000:0b:00.0", &value, "PSID"), 0);
    EXPECT_STREQ(value, "MT_1");
    free(value);
}

TEST_F(Query, MissingToolGivesNoValue) {
    char* value = nullptr;
    EXPECT_EQ(get_firmware_info("0000:0b:00.0", &value, "FW Version"), 1);
    EXPECT_EQ(value, nullptr);
}

struct AnswerCase {
    const char* answer;
    int status;
    const char* first;
    const char* image;
};

TEST(LookupAnswer, ImageIsTheSecondFieldWithoutEndOfLine) {
    const AnswerCase cases[] = {
        {"srv1#fw-real.bin\n", 0, "srv1", "fw-real.bin"},
        {"srv1#fw-real.bin", 0, "srv1", "fw-real.bin"},
        {"srv1#fw-real.bin\r\n", 0, "srv1", "fw-real.bin"},
        {"srv1#fw-real.bin#extra\n", 0, "srv1", "fw-real.bin"},
        {"#fw-real.bin\n", 0, "", "fw-real.bin"},
        {"0#fw-real.bin\n", 1, nullptr, nullptr},  // "0" at the start: no image
        {"0", 1, nullptr, nullptr},
        {"srv1\n", 1, nullptr, nullptr},  // no second field: nothing to burn
        {"srv1#\n", 1, nullptr, nullptr},
        {"srv1##x\n", 1, nullptr, nullptr},
        {"\n", 1, nullptr, nullptr},
        {"", 1, nullptr, nullptr},
    };
    for (const AnswerCase& c : cases) {
        char buf[LOOKUP_ANSWER_LEN];
        snprintf(buf, sizeof buf, "%s", c.answer);
        LookupAnswer a = parse_lookup_answer(buf);
        EXPECT_EQ(a.status, c.status) << c.answer;
        if (c.status == 0) {
            EXPECT_STREQ(a.first, c.first) << c.answer;
            EXPECT_STREQ(a.image, c.image) << c.answer;
        }
    }
}

// A package directory with the event log open.
class LookupDir : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_.Enter();
        open_event_log(FWPAK_SOURCE, __LINE__);
        row_ = nic_info{};
        row_.pbus_info = strdup("0000:0b:00.0");
        row_.pxmlFwImage[0] = strdup("Pelmora-placeholder.bin");
    }
    void TearDown() override {
        fclose(pmstflint_fout);
        reset_run_state();
        free(row_.pbus_info);
        free(row_.pxmlFwImage[0]);
    }
    ScopedTempDir dir_;
    nic_info row_;
};

// ./getmlnxinfo scripted on the platform fake.
class ImageLookup : public LookupDir {
  protected:
    void Lookup(const std::string& answer, int exit_code = 0) {
        fake_.Script("./getmlnxinfo imgfile ", exit_code, answer);
    }
    int Run(char* server = nullptr, size_t size = 0) {
        testing::internal::CaptureStdout();
        int rc = modify_imagename(&row_, server, size);
        echo_ = testing::internal::GetCapturedStdout();
        return rc;
    }
    // No "dataXXXXXX" file may stay behind, whatever the outcome.
    bool DataFileLeft() const {
        bool left = false;
        DIR* d = opendir(".");
        while (struct dirent* e = readdir(d))
            left = left || (strncmp(e->d_name, "data", 4) == 0 && strlen(e->d_name) == 10);
        closedir(d);
        return left;
    }
    std::string echo_;
    FakePlatform fake_;
};

TEST_F(ImageLookup, ReplacesTheImageNameWithTheAnswersSecondField) {
    Lookup("srv1#fw-cx5-16.35.2000.bin\n");
    char server[64] = "";
    EXPECT_EQ(Run(server, sizeof server), 0);
    EXPECT_STREQ(row_.pxmlFwImage[0], "fw-cx5-16.35.2000.bin");
    EXPECT_STREQ(server, "srv1");
    ASSERT_EQ(fake_.commands.size(), 1u);
    EXPECT_EQ(fake_.commands[0].rfind("./getmlnxinfo imgfile 0000:0b:00.0 > data", 0), 0u);
    EXPECT_EQ(echo_.rfind("./getmlnxinfo imgfile 0000:0b:00.0 > data", 0), 0u) << echo_;
    EXPECT_FALSE(DataFileLeft());
}

TEST_F(ImageLookup, AnswerIsCutAtTheFirstBlank) {
    Lookup("srv1#fw.bin and some words\n");
    EXPECT_EQ(Run(), 0);
    EXPECT_STREQ(row_.pxmlFwImage[0], "fw.bin");
}

TEST_F(ImageLookup, ServerNameIsBoundedByItsBuffer) {
    Lookup("a-long-server-name#fw.bin\n");
    char server[5];
    EXPECT_EQ(Run(server, sizeof server), 0);
    EXPECT_STREQ(server, "a-lo");
}

TEST_F(ImageLookup, NoImageAnswersLeaveTheRowAsItWas) {
    for (const char* answer : {"0 no image for this board\n", "srv1\n", "srv1#\n", ""}) {
        Lookup(answer);
        char server[8] = "keep";
        EXPECT_EQ(Run(server, sizeof server), 1) << answer;
        EXPECT_STREQ(row_.pxmlFwImage[0], "Pelmora-placeholder.bin") << answer;
        EXPECT_STREQ(server, "keep");
        EXPECT_FALSE(DataFileLeft());
    }
}

TEST_F(ImageLookup, FailingToolGivesItsExitCodeAndIsLogged) {
    Lookup("srv1#fw.bin\n", 4);
    EXPECT_EQ(Run(), 4);
    EXPECT_STREQ(row_.pxmlFwImage[0], "Pelmora-placeholder.bin");
    EXPECT_FALSE(DataFileLeft());
    std::string log = dir_.Read("mstflint.log");
    EXPECT_NE(log.find("] command failed: ./getmlnxinfo imgfile 0000:0b:00.0 > data"),
              std::string::npos)
        << log;
}

// The bus address goes into a shell command line: anything that is not a PCI
// address is refused before a command runs.
TEST_F(ImageLookup, RefusesABusAddressThatIsNotOne) {
    Lookup("srv1#fw.bin\n");
    for (const char* bad : {"0000:0b:00.0; touch pwned", "$(touch pwned)", "", "../x"}) {
        free(row_.pbus_info);
        row_.pbus_info = strdup(bad);
        EXPECT_EQ(Run(), 2) << bad;
    }
    EXPECT_FALSE(dir_.Exists("pwned"));
    EXPECT_TRUE(fake_.commands.empty());
    EXPECT_EQ(echo_, "");
    EXPECT_STREQ(row_.pxmlFwImage[0], "Pelmora-placeholder.bin");
}

class MlnxInfo : public LookupDir {};

TEST_F(MlnxInfo, KeepsLeadingBlanksAndTheFirstWord) {
    char data[64];
    testing::internal::CaptureStdout();
    EXPECT_EQ(get_mlnx_info("printf '  first second\\n' > d.txt", data, sizeof data, "d.txt", " "),
              0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "printf '  first second\\n' > d.txt \n");
    EXPECT_STREQ(data, "  first");
}

TEST_F(MlnxInfo, LineWithoutBlankKeepsItsEndOfLineAndIsBounded) {
    char data[8];
    testing::internal::CaptureStdout();
    EXPECT_EQ(get_mlnx_info("printf 'word\\n' > d.txt", data, sizeof data, "d.txt", " "), 0);
    EXPECT_STREQ(data, "word\n");
    EXPECT_EQ(
        get_mlnx_info("printf 'a-very-long-word\\n' > d.txt", data, sizeof data, "d.txt", " "), 0);
    testing::internal::GetCapturedStdout();
    EXPECT_STREQ(data, "a-very-");
}

TEST_F(MlnxInfo, UnreadableDataFileIsLoggedWithStatusTwo) {
    char data[8];
    testing::internal::CaptureStdout();
    EXPECT_EQ(get_mlnx_info("true", data, sizeof data, "missing.txt", " "), 2);
    testing::internal::GetCapturedStdout();
    EXPECT_NE(dir_.Read("mstflint.log").find("] unable to open file missing.txt\n"),
              std::string::npos);
}

}  // namespace
