// A burn's start on the disk, its record, and the shutdown inhibitor.
#include "flash/burn_guard.h"

#include "burn_record.h"
#include "console.h"
#include "platform/shutdown_inhibitor.h"
#include "run_flags.h"

namespace {

bool g_inhibitor_missing_logged = false;
void reset_inhibitor_note() {
    g_inhibitor_missing_logged = false;
}
[[maybe_unused]] const bool kInhibitorNoteReset = register_run_state_reset(reset_inhibitor_note);

}  // namespace

void burn_starting(const PreparedBurn& burn) {
    record_burn_start(burn.bus, burn.image_path, burn.data.name);
}

void burn_ended(const PreparedBurn& burn) {
    record_burn_end(burn.bus);
}

std::string inhibitor_reason(const std::vector<std::string>& buses) {
    std::string why = "Writing the firmware of";
    for (size_t i = 0; i < buses.size(); ++i) why += (i == 0 ? " " : ", ") + log_value(buses[i]);
    return why;
}

ShutdownInhibitor::ShutdownInhibitor(const std::vector<std::string>& buses) {
    if (buses.empty())
        return;
    std::string failure;
    fd_.reset(inhibit_shutdown(inhibitor_reason(buses).c_str(), &failure));
    if (fd_.get() >= 0 || g_inhibitor_missing_logged)
        return;
    g_inhibitor_missing_logged = true;
    log_eventf(LOG_INFO,
               "ShutdownInhibitor: no shutdown inhibitor: %s; a shutdown or reboot that someone "
               "else starts is not held back while adapters are burnt\n",
               log_value(failure).c_str());
}
