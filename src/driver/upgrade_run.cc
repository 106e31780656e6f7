// The upgrade run: decide and burn every adapter in table order, then turn the
// run-status bits into the final message and the exit status.
#include "driver/upgrade_run.h"

#include <cstdlib>

#include "console.h"
#include "flash/burn_batch.h"
#include "flash/flash_exec.h"
#include "inventory/inventory_build.h"
#include "nic_info.h"
#include "platform/process_state.h"
#include "policy/selection.h"
#include "progress_view.h"
#include "run_flags.h"

namespace {

constexpr int STATUS_OK = 0;
constexpr int STATUS_NOTHING_TO_DO = 1;
constexpr int STATUS_ERRORS = 2;
constexpr int STATUS_CANCELLED = 3;

int release_and_return(int result) {
    free(fw_number);
    fw_number = nullptr;
    free(g_ninfo);
    g_ninfo = nullptr;
    if (pmstflint_fout != nullptr)
        fflush(pmstflint_fout);
    return result;
}

enum class RowEnd { next, cancelled, stopped };

// Decides and burns one row: cancelled when the user quit, stopped (with *stop
// set) when a stop signal came during the burn; nothing more is burnt then.
RowEnd upgrade_row(uint32_t u, RunFault* stop) {
    bool skipped = false;
    if ((g_iFlag & FLAG_STOP_ASKING) == 0)
        select_firmware(u, &skipped);
    if ((g_iFlag & FLAG_CANCELLED) != 0)
        return RowEnd::cancelled;
    if (skipped)
        return RowEnd::next;
    // The burn has ended (the tool has terminated) before the next row is examined.
    BurnOutcome outcome = burn_row(u, burn_form_of_run());
    if (outcome.stop) {
        *stop = outcome.stop;
        return RowEnd::stopped;
    }
    return RowEnd::next;
}

// Unattended runs (-s, -s -f, -y) ask no question: every row is decided first,
// with its lines held back, and the burns run side by side.
bool burns_side_by_side() {
    return (g_iFlag & (FLAG_SILENT | FLAG_YES)) != 0;
}

// The fault of a stop signal that came while the burns ran, or none.
RunFault upgrade_side_by_side() {
    BurnBatch batch;
    for (int32_t u = 0; u < g_nNics; ++u) {
        const nic_info& row = g_ninfo[u];
        if (row.fw_count <= 0)
            continue;
        HeldOutput held;
        PreparedBurn burn;
        {
            OutputHold hold(&held);
            bool skipped = false;
            select_firmware(static_cast<uint32_t>(u), &skipped);
            if (!skipped)
                burn = prepare_burn(static_cast<uint32_t>(u), burn_form_of_run());
        }
        batch.add(static_cast<uint32_t>(u), std::move(held), std::move(burn),
                  flash_identity(row.pbase_guid, row.psid));
    }
    ProgressView view(console_is_terminal());
    batch.run(&view);
    return batch.stop();
}

// Adapters left out of the table were never examined: the run cannot end in
// success or in "nothing to do" (a left-out adapter may need an upgrade).
int account_left_out(int result) {
    if (g_nLeftOut <= 0 || (result != STATUS_OK && result != STATUS_NOTHING_TO_DO))
        return result;
    print_messagef(
        "\n%d network adapters were left out of the upgrade; their addresses are in "
        "the event log. \n",
        g_nLeftOut);
    return STATUS_ERRORS;
}

int finish(int result) {
    return release_and_return(account_left_out(result));
}

}  // namespace

int fwupg(RunFault* fault) {
    *fault = open_event_log(FWPAK_SOURCE, __LINE__);
    if (*fault)
        return fault->status;
    int built = build_NIC_list(fault);
    if (built == BUILD_FATAL)
        return fault->status;
    if (built != 0) {
        // The message sends the reader to the log: the reason must be there.
        if (built == BUILD_NO_MELLANOX)
            log_eventf(LOG_ERROR,
                       "fwupg: no Mellanox port found on the PCI bus (network devices listed: "
                       "%d); nothing to upgrade\n",
                       g_nNics);
        else
            log_eventf(LOG_ERROR,
                       "fwupg: none of the %d Mellanox ports could be queried for its firmware "
                       "version and PSID (see the warnings above); nothing to upgrade\n",
                       g_nMellanoxPorts);
        print_message("\nNIC firmware update did not complete.  Check log for errors. \n");
        return finish(built);
    }

    if (burns_side_by_side()) {
        *fault = upgrade_side_by_side();
        if (*fault)
            return fault->status;
    }
    for (int32_t u = 0; u < g_nNics && !burns_side_by_side(); ++u) {
        if (g_ninfo[u].fw_count <= 0)
            continue;
        switch (upgrade_row(static_cast<uint32_t>(u), fault)) {
            case RowEnd::next:
                break;
            case RowEnd::cancelled:
                print_message("\nFirmware upgrade cancelled by User \n");
                return STATUS_CANCELLED;
            case RowEnd::stopped:
                return fault->status;
        }
    }

    if (fw_invalid_count == g_nMellanoxPorts)
        return finish(STATUS_NOTHING_TO_DO);
    // Adapters that were flashed need the reboot whatever else failed: after a
    // partial failure the notice follows the error message.
    const bool failed = (g_iFlag & FLAG_BURN_FAILED) != 0;
    if (failed)
        print_message("\nNIC firmware update completed with errors. \n");
    if ((g_iFlag & FLAG_BURN_OK) != 0) {
        snprintf(print_msg, sizeof print_msg, "%s",
                 "\n\nPlease Reboot node for new image to be loaded into silicon\n\n");
        print_message(print_msg);
    }
    if (failed)
        return STATUS_ERRORS;
    if ((g_iFlag & FLAG_BURN_OK) != 0)
        return account_left_out(STATUS_OK);
    return finish(STATUS_OK);
}
