// Flash execution: picks the image, runs the burning tool in a child process with
// its output kept in a data file, and turns the tool's exit code into the verdict.
#include "flash/flash_exec.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "console.h"
#include "platform/command_runner.h"
#include "platform/files.h"
#include "platform/process_state.h"
#include "flash/tool_commands.h"
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

void open_data_file(BurnDataFile* file) {
    snprintf(file->name, sizeof file->name, "%s", TMP_DATA_TEMPLATE);
    file->fd.reset(create_data_file(file->name));
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
    return outcome(BURN_SUCCEEDED, 0);
}

// How the tool ended, for the line that ties a failed burn to its adapter.
std::string tool_ending(const ToolRun& run) {
    char text[64];
    if (run.signal != 0)
        snprintf(text, sizeof text, "was killed by signal %d (SIG%s)", run.signal,
                 signal_name(run.signal));
    else
        snprintf(text, sizeof text, "exited with code %d", run.exit_code);
    return text;
}

// The design's lines first, unchanged; then one line that names the adapter, the
// image, how the tool ended and where its output is kept.
BurnOutcome record_failure(const char* bus, const std::string& image_path, const ToolRun& run,
                           const char* data_file) {
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
    return outcome(BURN_FAILED, found);
}

PreparedBurn refused(PreparedBurn burn, BurnOutcome outcome) {
    burn.outcome = outcome;
    return burn;
}

// The tool's command for a chosen image, or the refusal when there is none. Each
// refusal is logged before the burn is handed on: `bus` points into the burn, and
// the order in which a call's arguments are built is the compiler's to choose.
PreparedBurn ready_command(PreparedBurn burn) {
    const char* bus = burn.bus.c_str();
    if (burn.data.fd.get() < 0) {
        BurnOutcome outcome = refuse_burn(
            bus, "do_update_firmware: no data file could be created, %s not burnt\n", bus);
        return refused(std::move(burn), outcome);
    }
    if (!burn_command(boot_mode_value, silent == SILENT_ON, bus, burn.image_path, &burn.command)) {
        BurnOutcome outcome =
            refuse_burn(bus, "do_update_firmware: no burning tool for boot mode %d, %s not burnt\n",
                        boot_mode_value, bus);
        return refused(std::move(burn), outcome);
    }
    burn.runs = true;
    return burn;
}

}  // namespace

void end_run_if_stopped(const char* bus) {
    const int signo = deferred_stop_signal();
    if (signo == 0)
        return;
    log_eventf(LOG_ERROR,
               "do_update_firmware: the run was stopped by signal %d (SIG%s) during the burn of "
               "%s; that burn was finished, no further adapter is burnt\n",
               signo, signal_name(signo), bus);
    fprintf(stderr, "\nfwpak: stopped by SIG%s after the burn of %s; see %s\n", signal_name(signo),
            bus, g_EventLogFile);
    fflush(nullptr);
    exit(128 + signo);
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

PreparedBurn prepare_burn(uint32_t uNicIdx) {
    PreparedBurn burn;
    open_data_file(&burn.data);
    nic_info& row = g_ninfo[uNicIdx];
    burn.bus = text_or_empty(row.pbus_info);
    if ((row.flags & NIC_FLASH) == 0)
        return burn;
    if (row.fw_count <= 0) {
        print_message("Quitting......................as nothing found in repository\n");
        return burn;
    }

    int image = 0;  // a replay burns the image that the report reader put first
    if (read_discovery == 0) {
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
    return ready_command(std::move(burn));
}

BurnOutcome conclude_burn(const nic_info& row, const PreparedBurn& burn, const ToolRun& run) {
    const char* bus = burn.bus.c_str();
    if (!run.started)
        return refuse_burn(bus, "do_update_firmware: could not run the burning tool for %s: %s\n",
                           bus, strerror(run.error));
    if (run.exit_code == 0)
        return record_success(row);
    return record_failure(bus, burn.image_path, run, burn.data.name);
}

BurnOutcome burn_row(uint32_t uNicIdx) {
    PreparedBurn burn = prepare_burn(uNicIdx);
    if (!burn.runs)
        return burn.outcome;
    // From the tool's start until its verdict is logged, a stop request waits.
    StopDeferral deferral;
    ToolRun run =
        run_tool(burn.command.program, burn.command.args, burn.data.fd.get(), show_tool_output());
    BurnOutcome result = conclude_burn(g_ninfo[uNicIdx], burn, run);
    end_run_if_stopped(burn.bus.c_str());
    return result;
}

int do_update_firmware(uint32_t uNicIdx) {
    return burn_row(uNicIdx).code;
}
