// Console messages, the one yes/no question, the event log and fatal lines.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <new>
#include <string>
#include <vector>

constexpr int MSG_LEN = 500;    // console messages and prompts
constexpr int TEXT_LEN = 4096;  // log texts, paths and commands

// The three 11-character log tags.
extern const char LOG_INFO[];
extern const char LOG_WARNING[];
extern const char LOG_ERROR[];

// Answer codes of nfwu_yesno.
constexpr int ANSWER_YES = 0;
constexpr int ANSWER_NO = 1;
constexpr int ANSWER_QUIT = 2;
constexpr int ANSWER_YES_ASK_NO_MORE = 3;

extern char print_msg[MSG_LEN];
extern FILE* pmstflint_fout;
extern uint32_t log_mellanox_event_text;
extern const char g_EventLogFile[];

// Writes msg unchanged to standard output unless the run is silent, a discovery
// or a replay run.
void print_message(const char* msg);
// Formats into print_msg (cut at its 500 bytes, never past them) and prints it.
void print_messagef(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
// The question's text, copied into the caller's buffer of `size` bytes.
void fw_version_message(char* vers_string, size_t size);

int nfwu_yesno(const char* prompt, int def_ans, const char* yorn);
// The answer code of one answer line as the question reads it (newline included;
// at most 499 characters count): def_ans for a line of one character, else the
// whole-word, case-sensitive comparison.
int classify_answer(const char* line, int def_ans);

// Echoes "%s \n" with the command to standard output (in every mode), runs it
// through the shell and returns the shell's exit code: 127 for a command the shell
// cannot find, 255 when no shell could be started, 128+N for a shell killed by
// signal N.
int do_command(const char* command);

void log_mellanox_event(FILE* pevent_file, const char* pevent_tag, const char* pextra_text);
// Formats a log text (cut at 4096 bytes) and appends it to the event log.
void log_eventf(const char* tag, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
void vlog_eventf(const char* tag, const char* fmt, va_list ap)
    __attribute__((format(printf, 2, 0)));
// Appends a log line at once, also while output is held, and flushes it to the disk
// before it returns: for what must be in the log even if the machine goes down
// the next moment (a burn that is about to start).
void log_event_on_disk(const char* tag, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
// A value from outside (a report, the catalog, a tool's output, the command line)
// made fit for one log line: CR, LF, tab and every other control character are
// shown escaped (\n, \r, \t, \x1b), so that no value can end the line or
// forge an entry of its own. Null gives the empty text.
std::string log_value(const char* text);
inline std::string log_value(const std::string& text) {
    return log_value(text.c_str());
}
void event_logging_on();
void event_logging_off();

// A fault after which the run cannot go on. The code that finds it stops where it
// is and hands it up as its result; only the driver ends the process: it writes
// `line` on standard error and exits with `status`.
struct RunFault {
    int status = 0;    // 0: no fault
    std::string line;  // the fatal line, or "" when the fault went to the event log only
    explicit operator bool() const { return status != 0; }
};

// The two shapes of the fatal lines: "FWUPG_ERROR: <what>, <file>,<line>\n", and
// the block "\n\nFWUPG_ERROR: <what>\n<file>,<line>\n\n" of the inventory build.
enum class FatalShape { line, block };
// Composes a fatal line: `file` and `line` name the source place where the failure
// was found.
std::string fwupg_error(FatalShape shape, const std::string& what, const char* file, int line);
// The fault with status 1 and a fatal line composed by fwupg_error.
RunFault fatal_fault(FatalShape shape, const std::string& what, const char* file, int line);

// Opens "mstflint.log" for appending. A failure is a fault (status 1, "FWUPG_ERROR:
// could not open mstflint.log (errno), file,line"): `file` and `line` name the place
// that asked.
RunFault open_event_log(const char* file, int line);
// Closes the log that open_event_log opened (the start-up checks before a mode,
// which opens it again).
void close_event_log();

// The program's title: the banner's first line and the report's alt_name.
constexpr char BANNER_TITLE[] =
    "Vornex Mellanox InfiniBand Online Firmware Upgrade Utility for Linux";

// A failed allocation unwinds to the driver, as any allocation of the C++ library
// may: no status could be threaded through every copy of a text. It keeps where it
// happened and composes its fault ("FWUPG_ERROR: out of memory (errno),
// file,line", status 1) only once caught, when the unwinding has freed memory.
class OutOfMemory : public std::bad_alloc {
  public:
    OutOfMemory(const char* file, int line, int error) noexcept
        : file_(file), line_(line), error_(error) {}
    const char* what() const noexcept override { return "out of memory"; }
    RunFault fault() const;

  private:
    const char* file_;
    int line_;
    int error_;
};
[[noreturn]] void fatal_out_of_memory(const char* file, int line);

// Source file name without its directories, for the "%s,%d" ends of messages.
#define FWPAK_SOURCE __FILE_NAME__

// The console text and event-log entries of one adapter, held back while several
// adapters are worked on side by side and then written as one group, so that the
// console and the log read as in a run that takes the adapters one after another.
class HeldOutput {
  public:
    void console(const std::string& text) { pieces_.push_back({nullptr, text}); }
    void log(const char* tag, const std::string& text) { pieces_.push_back({tag, text}); }
    // Writes the pieces in their order (log entries stamped now) and forgets them.
    void release();

  private:
    struct Piece {
        const char* tag;  // null: console text
        std::string text;
    };
    std::vector<Piece> pieces_;
};

// While an OutputHold lives, print_message, do_command's echo and the event log
// write into its HeldOutput instead of the console and the log; when it ends, the
// hold that was in place before it (or none) is back. The one held-output pointer
// is the console's state (reset_run_state clears it): the texts are composed deep
// inside selection and flash execution, whose signatures the design names.
class OutputHold {
  public:
    explicit OutputHold(HeldOutput* held);
    ~OutputHold();
    OutputHold(const OutputHold&) = delete;
    OutputHold& operator=(const OutputHold&) = delete;

  private:
    HeldOutput* previous_;
};
// The HeldOutput of the hold in place, or null.
HeldOutput* held_output();
