// Flash execution: picks the image, runs the burning tool in a child process with
// its output kept in a data file, and turns the tool's exit code into the verdict.
#include "flash/flash_exec.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "console.h"
#include "inventory/fw_query.h"
#include "flash/burn_guard.h"
#include "platform/command_runner.h"
#include "platform/files.h"
#include "platform/process_state.h"
#include "flash/reboot_required.h"
#include "flash/tool_commands.h"
#include "flash/trust_checks.h"
#include "handles.h"
#include "nic_info.h"
#include "versions/versions.h"
#include "run_flags.h"

namespace {

// Longest MAC text in the success line: room for an InfiniBand port's 20-byte
// address in colon form.
constexpr int kMaxLoggedMac = 64;

const char* text_or_empty(const char* text) {
    return text != nullptr ? text : "";
}

// The notice goes into the log before the first burn of a run only.
void log_selection(nic_info& row, int image) {
    if ((g_iFlag & FLAG_NOTICE_LOGGED) == 0) {
        g_iFlag |= FLAG_NOTICE_LOGGED;
        log_eventf(LOG_INFO,
                   "\nThe Firmware Upgrade will take several minutes.  Please be patient.\n");
    }
    log_eventf(LOG_INFO, "\nSelecting %s MAC: %-12s \n", log_value(row.pxmlName[image]).c_str(),
               log_value(row.pcurrent_mac).c_str());
    char* mac = dup_text(format_mac(text_or_empty(row.pcurrent_mac)));
    free(row.pcurrent_mac);
    row.pcurrent_mac = mac;
}

BurnOutcome outcome(burn_verdict verdict, int code) {
    BurnOutcome o;
    o.verdict = verdict;
    o.code = code;
    return o;
}

// A failed burn is told beside the success line, in the runs that show that one.
void show_failure(const char* bus) {
    print_messagef("Firmware Flashed:\tFAILED   for interface %s\n\n", bus);
}

// A refused or unstartable burn is a failed burn: the run must end in 0x200 or 0x400.
BurnOutcome refuse_burn(const char* bus, const char* fmt, ...)
    __attribute__((format(printf, 2, 3)));
BurnOutcome refuse_burn(const char* bus, const char* fmt, ...) {
    g_iFlag |= FLAG_BURN_FAILED;
    show_failure(bus);
    va_list ap;
    va_start(ap, fmt);
    vlog_eventf(LOG_ERROR, fmt, ap);
    va_end(ap);
    return outcome(BURN_FAILED, 1);
}

// The image path is handed to the tool whole: a name that does not fit is refused
// rather than cut, since a cut path could name another file.
bool build_image_path(const char* file, std::string* path) {
    std::string full = std::string(REPO_DIR) + file;
    if (full.size() > IMAGE_PATH_MAX)
        return false;
    *path = full;
    return true;
}

BurnOutcome record_success(const nic_info& row) {
    g_iFlag |= FLAG_BURN_OK;
    print_messagef("Firmware Flashed:\tSUCCESS  for interface %s\n\n",
                   text_or_empty(row.pbus_info));
    // A replayed report's MAC is whatever text it held: bounded, so that the
    // verdict never falls off the end of the log line.
    log_eventf(LOG_INFO, "MAC %-12.*s Upgrade SUCCESS\n", kMaxLoggedMac,
               log_value(row.pcurrent_mac).c_str());
    note_reboot_required();
    return outcome(BURN_SUCCEEDED, 0);
}

// The burning tool's own names for its exit codes; other codes have none.
const char* burn_exit_name(int code) {
    switch (code) {
        case 1:
            return "failed";
        case 2:
            return "query error";
        case 7:
            return "burn aborted";
        case 8:
            return "burn timeout";
        case 9:
            return "burn error";
        default:
            return nullptr;
    }
}

// How the tool ended, for the line that ties a failed burn to its adapter.
std::string tool_ending(const ToolRun& run) {
    char text[64];
    const char* name = burn_exit_name(run.exit_code);
    if (run.signal != 0)
        snprintf(text, sizeof text, "was killed by signal %d (SIG%s)", run.signal,
                 signal_name(run.signal));
    else if (name != nullptr)
        snprintf(text, sizeof text, "exited with code %d (%s)", run.exit_code, name);
    else
        snprintf(text, sizeof text, "exited with code %d", run.exit_code);
    return text;
}

// What the data file holds from `from` on.
std::string read_data_file(int fd, off_t from) {
    std::string output;
    read_whole_fd(fd, &output);
    if (from <= 0)
        return output;
    return static_cast<size_t>(from) < output.size() ? output.substr(static_cast<size_t>(from))
                                                     : std::string();
}

// Whether the tool's output (its data file, read from the start) holds `text`,
// letters compared without regard to case.
bool output_holds(int fd, const char* text) {
    return strcasestr(read_data_file(fd, 0).c_str(), text) != nullptr;
}

std::string version_text(const fw_version& v) {
    char text[VER_BUF_LEN];
    snprintf(text, sizeof text, "%u.%u.%u", v.major, v.minor, v.release);
    return text;
}

// A tool that exited 0 but whose flash does not hold the burnt image's version
// (or that the query could not read) has not burnt it: a failed burn.
BurnOutcome record_unverified(const char* bus, const PreparedBurn& burn, const char* found) {
    g_iFlag |= FLAG_BURN_FAILED;
    show_failure(bus);
    log_eventf(LOG_ERROR, "Upgrade failed\n %s\n", "");
    const std::string expected = version_text(burn.expected);
    if (found != nullptr && found[0] != '\0')
        log_eventf(LOG_ERROR,
                   "do_update_firmware: burning %s into %s failed: the burning tool exited with "
                   "code 0, but the flash holds %s, not %s; the outputs are in %s\n",
                   log_value(burn.image_path).c_str(), log_value(bus).c_str(),
                   log_value(found).c_str(), expected.c_str(), burn.data.name.c_str());
    else
        log_eventf(LOG_ERROR,
                   "do_update_firmware: burning %s into %s failed: the burning tool exited with "
                   "code 0, but the query after the burn gave no firmware version (expected "
                   "%s); the outputs are in %s\n",
                   log_value(burn.image_path).c_str(), log_value(bus).c_str(), expected.c_str(),
                   burn.data.name.c_str());
    return outcome(BURN_FAILED, 1);
}

// The design's lines first, unchanged; then one line that names the adapter, the
// image, how the tool ended and where its output is kept.
BurnOutcome record_failure(const char* bus, const std::string& image_path, const ToolRun& run,
                           const BurnDataFile& data) {
    const char* data_file = data.name.c_str();
    g_iFlag |= FLAG_BURN_FAILED;
    show_failure(bus);
    char command[TEXT_LEN];
    snprintf(command, sizeof command, MISMATCH_SEARCH_FORMAT, data_file);
    int found = do_command(command);
    if (found == 0)
        log_eventf(LOG_ERROR, "Fimware upgrade on this device is not supported\n %s\n", "");
    else
        log_eventf(LOG_ERROR, "Upgrade failed\n %s\n", "");
    log_eventf(LOG_ERROR,
               "do_update_firmware: burning %s into %s failed: the burning tool %s; its output "
               "is in %s\n",
               log_value(image_path).c_str(), log_value(bus).c_str(), tool_ending(run).c_str(),
               data_file);
    // The tool writes no second image over one the adapter has not loaded yet.
    if (output_holds(data.fd.get(), PENDING_IMAGE_REFUSAL))
        log_eventf(LOG_ERROR,
                   "do_update_firmware: %s already has a burnt image on its flash that the "
                   "adapter has not loaded; reboot first (or reset the adapter), then burn "
                   "again\n",
                   log_value(bus).c_str());
    return outcome(BURN_FAILED, found);
}

PreparedBurn refused(PreparedBurn burn, BurnOutcome outcome) {
    burn.outcome = std::move(outcome);
    return burn;
}

// The tool's command for a chosen image, or the refusal when there is none. Each
// refusal is logged before the burn is handed on: `bus` points into the burn, and
// the order in which a call's arguments are built is the compiler's to choose.
PreparedBurn ready_command(PreparedBurn burn, bool silent_tool) {
    const char* bus = burn.bus.c_str();
    if (burn.data.fd.get() < 0) {
        BurnOutcome outcome = refuse_burn(
            bus, "do_update_firmware: no data file could be created, %s not burnt\n", bus);
        return refused(std::move(burn), outcome);
    }
    if (!burn_command(boot_mode_value, silent_tool, bus, burn.image_path, &burn.command) ||
        !query_command(boot_mode_value, bus, &burn.query)) {
        BurnOutcome outcome =
            refuse_burn(bus, "do_update_firmware: no burning tool for boot mode %d, %s not burnt\n",
                        boot_mode_value, bus);
        return refused(std::move(burn), outcome);
    }
    burn.runs = true;
    return burn;
}

BurnOutcome verify_burn(const nic_info& row, const PreparedBurn& burn) {
    char* found = nullptr;
    if (burn.query_ran)
        cut_firmware_info(read_data_file(burn.data.fd.get(), burn.query_from), &found,
                          QUERY_VERSION_KEYWORD);
    fw_version held{};
    const bool holds = found != nullptr &&
                       parseversions(found, &held.major, &held.minor, &held.release) == 0 &&
                       compare_versions(held, burn.expected) == 0;
    BurnOutcome result =
        holds ? record_success(row) : record_unverified(burn.bus.c_str(), burn, found);
    free(found);
    return result;
}

}  // namespace

RunFault stop_fault(const char* bus) {
    const int signo = deferred_stop_signal();
    if (signo == 0)
        return RunFault{};
    log_eventf(LOG_ERROR,
               "do_update_firmware: the run was stopped by signal %d (SIG%s) during the burn of "
               "%s; that burn was finished, no further adapter is burnt\n",
               signo, signal_name(signo), bus);
    RunFault fault;
    fault.status = 128 + signo;
    fault.line = std::string("\nfwpak: stopped by SIG") + signal_name(signo) +
                 " after the burn of " + bus + "; see " + g_EventLogFile + "\n";
    return fault;
}

// The colon form has a separator after every pair: the digits stand at positions
// 0,1, 3,4, ... 15,16. A shorter text yields the digits it has, never more.
char* format_mac(const char* pStrTok) {
    static char mac[13];
    static const int positions[12] = {0, 1, 3, 4, 6, 7, 9, 10, 12, 13, 15, 16};
    size_t len = pStrTok != nullptr ? strnlen(pStrTok, 17) : 0;
    int out = 0;
    for (int pos : positions) {
        if (static_cast<size_t>(pos) >= len)
            break;
        mac[out++] = pStrTok[pos];
    }
    mac[out] = '\0';
    return mac;
}

bool query_command(int boot_mode, const char* bus, BurnCommand* command) {
    if (boot_mode != 0 && boot_mode != 1)
        return false;
    command->program = boot_mode == 0 ? MSTFLINT_PROGRAM : FLINT_PROGRAM;
    command->args = {boot_mode == 0 ? MSTFLINT_ARG0 : FLINT_ARG0, BURN_DEVICE_ARG, bus,
                     QUERY_COMMAND_ARG};
    return true;
}

bool burn_command(int boot_mode, bool silent_run, const char* bus, const std::string& image_path,
                  BurnCommand* command) {
    if (boot_mode == 0) {
        command->program = MSTFLINT_PROGRAM;
        command->args = {MSTFLINT_ARG0};
    } else if (boot_mode == 1) {
        command->program = FLINT_PROGRAM;
        command->args = {FLINT_ARG0};
    } else {
        return false;
    }
    if (silent_run)
        command->args.emplace_back(BURN_SILENT_ARG);
    command->args.insert(command->args.end(), {BURN_YES_ARG, BURN_DEVICE_ARG, bus, BURN_IMAGE_ARG,
                                               image_path, BURN_COMMAND_ARG});
    return true;
}

// Console runs watch the tool's progress live (a burn takes minutes); silent runs
// and replays show nothing. The data file receives everything either way.
bool show_tool_output() {
    return silent != SILENT_ON && (g_iFlag & (FLAG_SILENT | FLAG_REPLAY | FLAG_DISCOVERY)) == 0;
}

BurnForm burn_form_of_run() {
    BurnForm form;
    form.replay = read_discovery != 0;
    form.silent_tool = silent == SILENT_ON;
    return form;
}

PreparedBurn prepare_burn(uint32_t uNicIdx, const BurnForm& form) {
    PreparedBurn burn;
    burn.data = make_data_file(TMP_DATA_TEMPLATE);
    nic_info& row = g_ninfo[uNicIdx];
    burn.bus = text_or_empty(row.pbus_info);
    if ((row.flags & NIC_FLASH) == 0)
        return burn;
    if (row.fw_count <= 0) {
        print_message("Quitting......................as nothing found in repository\n");
        return burn;
    }

    int image = 0;  // a replay burns the image that the report reader put first
    if (!form.replay) {
        image = newest_image(row);
        if (image < 0) {
            print_message(
                "You have not entered the right Index for firmware version "
                "....................\n");
            return burn;
        }
        if (fw_number != nullptr)
            fw_number[uNicIdx] = image;
        log_selection(row, image);
    }

    burn.expected = image_version(row, image);
    const char* file = row.pxmlFwImage[image];
    if (file == nullptr)
        return refused(std::move(burn),
                       refuse_burn(text_or_empty(row.pbus_info),
                                   "do_update_firmware: no image file named for %s\n",
                                   log_value(row.pbus_info).c_str()));
    if (!build_image_path(file, &burn.image_path))
        return refused(std::move(burn),
                       refuse_burn(text_or_empty(row.pbus_info),
                                   "do_update_firmware: image path for %s is longer than %zu "
                                   "characters, not burnt\n",
                                   log_value(row.pbus_info).c_str(), IMAGE_PATH_MAX));
    if (const std::string why = image_refusal(file, burn.bus); !why.empty())
        return refused(std::move(burn),
                       refuse_burn(text_or_empty(row.pbus_info), "%s", why.c_str()));
    return ready_command(std::move(burn), form.silent_tool);
}

BurnOutcome conclude_burn(const nic_info& row, const PreparedBurn& burn, const ToolRun& run) {
    const char* bus = burn.bus.c_str();
    if (!run.started)
        return refuse_burn(bus, "do_update_firmware: could not run the burning tool for %s: %s\n",
                           bus, strerror(run.error));
    if (run.exit_code == 0)
        return verify_burn(row, burn);
    return record_failure(bus, burn.image_path, run, burn.data);
}

void mark_query_start(PreparedBurn* burn) {
    struct stat st;
    burn->query_from = fstat(burn->data.fd.get(), &st) == 0 ? st.st_size : 0;
}

BurnOutcome burn_row(uint32_t uNicIdx, const BurnForm& form) {
    PreparedBurn burn = prepare_burn(uNicIdx, form);
    if (!burn.runs)
        return burn.outcome;
    // From the tool's start until its verdict is logged, a stop request waits.
    StopDeferral deferral;
    BurnOutcome result;
    {
        ShutdownInhibitor inhibitor({burn.bus});
        burn_starting(burn);
        ToolRun run = run_tool(burn.command.program, burn.command.args, burn.data.fd.get(),
                               show_tool_output());
        if (run.started && run.exit_code == 0) {
            mark_query_start(&burn);
            burn.query_ran =
                run_tool(burn.query.program, burn.query.args, burn.data.fd.get(), false).started;
        }
        result = conclude_burn(g_ninfo[uNicIdx], burn, run);
        burn_ended(burn);
    }
    result.stop = stop_fault(burn.bus.c_str());
    return result;
}

int do_update_firmware(uint32_t uNicIdx) {
    return burn_row(uNicIdx, burn_form_of_run()).code;
}
