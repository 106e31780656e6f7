// Firmware selection: compares an adapter's installed firmware with its catalog
// images, shows both, and asks (or, in unattended runs, decides) whether to burn.
#include "policy/selection.h"

#include <cstdlib>
#include <cstring>

#include "console.h"
#include "inventory/catalog.h"
#include "nic_info.h"
#include "policy/firmware_action.h"
#include "versions/versions.h"
#include "run_flags.h"

int32_t fw_invalid = 0;
int32_t fw_invalid_count = 0;

namespace {

void reset_invalid_counts() {
    fw_invalid = 0;
    fw_invalid_count = 0;
}
[[maybe_unused]] const bool kInvalidCountsReset = register_run_state_reset(reset_invalid_counts);

const char* text_or_empty(const char* text) {
    return text != nullptr ? text : "";
}

void show_versions(const nic_info& row, int rows) {
    print_messagef("\nCurrent Firmware Version is %u.%u.%u on %s \n", row.uCurROMmaj,
                   row.uCurROMmin, row.uCurROMrel, text_or_empty(row.pbus_info));
    if (row.fw_count <= 0)
        return;
    print_message("Repository has these firmware versions............");
    for (int k = 0; k < rows; ++k) print_messagef("[%d] Image Version  %s\n", k + 1, ver_buf[k]);
}

// Only the option bits count: the run-status bits that the first burn sets must not
// turn a plain silent run into one that re-flashes (or downgrades) up-to-date adapters.
bool plain_silent_run() {
    return (g_iFlag & OPTION_BITS) == FLAG_SILENT;
}

void note_image_files(nic_info& row) {
    for (int i = 0; i < row.fw_count && i < MAX_FW_IMAGES; ++i) {
        if (!names_image_file(row.pxmlFwImage[i])) {
            log_eventf(LOG_WARNING, "Failed to get firmware image filename from %s\n", g_XMLFwFile);
            continue;
        }
        free(row.pFwPath);
        row.pFwPath = dup_text(row.pxmlFwImage[i]);
    }
}

}  // namespace

int is_FW_needed(uint32_t uNicIdx, bool* skipped) {
    *skipped = false;
    nic_info& row = g_ninfo[uNicIdx];
    char question[MSG_LEN];
    fw_version_message(question, sizeof question);
    int rows = 0;
    build_version_list(row, ver_buf, &rows);

    bool newer = classify_firmware(row) == FirmwareAction::upgrade;
    if (newer) {
        print_messagef(
            "Repository has New firmware version for interface %s.................Please flash "
            "the newer version\n",
            text_or_empty(row.pbus_info));
    }
    show_versions(row, rows);
    if (newer)
        return nfwu_yesno(question, ANSWER_YES, "y");

    log_eventf(LOG_WARNING, "*** WARNING *** - Installed firmware is the latest firmware\n");
    if (waits_for_activation(row))
        log_eventf(LOG_WARNING,
                   "is_FW_needed: %s already holds %s on its flash but runs %s; it waits for a "
                   "reboot (or a reset of the adapter) to load it\n",
                   log_value(row.pbus_info).c_str(), log_value(row.pfirmware_ver).c_str(),
                   log_value(row.prunning_ver).c_str());
    print_message(
        "Repository doesn't have newer firmware version, Installed firmware version is the "
        "latest one..........Please Quit the updation.\n");
    if (plain_silent_run()) {
        *skipped = true;
        ++fw_invalid_count;
        return ANSWER_NO;
    }
    return nfwu_yesno(question, ANSWER_NO, "n");
}

int is_FW_needed(uint32_t uNicIdx) {
    bool skipped = false;
    int answer = is_FW_needed(uNicIdx, &skipped);
    if (skipped)
        fw_invalid = 1;
    return answer;
}

int select_firmware(uint32_t uNicIdx, bool* skipped) {
    *skipped = false;
    nic_info& row = g_ninfo[uNicIdx];
    if ((row.flags & NIC_STATE_KNOWN) == 0)
        return 0;
    note_image_files(row);

    switch (is_FW_needed(uNicIdx, skipped)) {
        case ANSWER_YES:
            row.flags |= NIC_FLASH;
            break;
        case ANSWER_QUIT:
            row.flags = 0;
            g_iFlag |= FLAG_CANCELLED;
            break;
        case ANSWER_YES_ASK_NO_MORE:
            row.flags |= NIC_FLASH;
            g_iFlag |= FLAG_STOP_ASKING;
            break;
        default:
            row.flags = 0;
            break;
    }
    return 0;
}

int select_firmware(uint32_t uNicIdx) {
    bool skipped = false;
    select_firmware(uNicIdx, &skipped);
    if (skipped)
        fw_invalid = 1;
    return 0;
}
