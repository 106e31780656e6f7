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
#include "flash/tool_commands.h"
#include "handles.h"
#include "nic_info.h"
#include "policy/versions.h"
#include "run_flags.h"

namespace {

// Longest MAC text in the success line: room for an InfiniBand port's 20-byte
// address in colon form.
constexpr int kMaxLoggedMac = 64;

const char* text_or_empty(const char* text) {
    return text != nullptr ? text : "";
}

// The burn's data file: a new /tmp file per call that receives the tool's output
// for the mismatch search. It is left behind for the administrator.
struct DataFile {
    UniqueFd fd;
    char name[sizeof TMP_DATA_TEMPLATE] = {0};
};

void open_data_file(DataFile* file) {
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
    log_eventf(LOG_INFO, "\nSelecting %s MAC: %-12s \n", text_or_empty(row.pxmlName[image]),
               text_or_empty(row.pcurrent_mac));
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

// A refused or unstartable burn is a failed burn: the run must end in 0x200 or 0x400.
BurnOutcome refuse_burn(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
BurnOutcome refuse_burn(const char* fmt, ...) {
    g_iFlag |= FLAG_BURN_FAILED;
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
               text_or_empty(row.pcurrent_mac));
    return outcome(BURN_SUCCEEDED, 0);
}

BurnOutcome record_failure(const char* data_file) {
    g_iFlag |= FLAG_BURN_FAILED;
    char command[TEXT_LEN];
    snprintf(command, sizeof command, MISMATCH_SEARCH_FORMAT, data_file);
    int found = do_command(command);
    if (found == 0)
        log_eventf(LOG_ERROR, "Fimware upgrade on this device is not supported\n %s\n", "");
    else
        log_eventf(LOG_ERROR, "Upgrade failed\n %s\n", "");
    return outcome(BURN_FAILED, found);
}

// Console runs watch the tool's progress live (a burn takes minutes); silent runs
// and replays show nothing. The data file receives everything either way.
bool show_tool_output() {
    return silent != SILENT_ON && (g_iFlag & (FLAG_SILENT | FLAG_REPLAY | FLAG_DISCOVERY)) == 0;
}

BurnOutcome burn(const nic_info& row, const std::string& image_path, const DataFile& data) {
    const char* bus = text_or_empty(row.pbus_info);
    if (data.fd.get() < 0)
        return refuse_burn("do_update_firmware: no data file could be created, %s not burnt\n",
                           bus);
    BurnCommand command;
    if (!burn_command(boot_mode_value, silent == SILENT_ON, bus, image_path, &command))
        return refuse_burn("do_update_firmware: no burning tool for boot mode %d, %s not burnt\n",
                           boot_mode_value, bus);

    ToolRun run = run_tool(command.program, command.args, data.fd.get(), show_tool_output());
    if (!run.started)
        return refuse_burn("do_update_firmware: could not run the burning tool for %s: %s\n", bus,
                           strerror(run.error));
    if (run.exit_code == 0)
        return record_success(row);
    return record_failure(data.name);
}

}  // namespace

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

BurnOutcome burn_row(uint32_t uNicIdx) {
    DataFile data;
    open_data_file(&data);
    nic_info& row = g_ninfo[uNicIdx];
    if ((row.flags & NIC_FLASH) == 0)
        return BurnOutcome{};
    if (row.fw_count <= 0) {
        print_message("Quitting......................as nothing found in repository\n");
        return BurnOutcome{};
    }

    int image = 0;  // a replay burns the image that the report reader put first
    if (read_discovery == 0) {
        image = newest_image(row);
        if (image < 0) {
            print_message(
                "You have not entered the right Index for firmware version "
                "....................\n");
            return BurnOutcome{};
        }
        if (fw_number != nullptr)
            fw_number[uNicIdx] = image;
        log_selection(row, image);
    }

    const char* file = row.pxmlFwImage[image];
    if (file == nullptr)
        return refuse_burn("do_update_firmware: no image file named for %s\n",
                           text_or_empty(row.pbus_info));
    std::string image_path;
    if (!build_image_path(file, &image_path))
        return refuse_burn(
            "do_update_firmware: image path for %s is longer than %zu characters, not burnt\n",
            text_or_empty(row.pbus_info), IMAGE_PATH_MAX);
    return burn(row, image_path, data);
}

int do_update_firmware(uint32_t uNicIdx) {
    return burn_row(uNicIdx).code;
}
