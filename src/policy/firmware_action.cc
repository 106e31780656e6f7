// The one classification of an adapter's firmware against the repository.
#include "policy/firmware_action.h"

#include "versions/versions.h"

FirmwareAction classify_firmware(const nic_info& row) {
    // The newest image decides: any newer image makes it newer, and with none
    // newer, an image equal to the installed version makes it equal.
    const int newest = newest_image(row);
    if (newest < 0)
        return FirmwareAction::nothing;
    const int order = compare_versions(image_version(row, newest), installed_version(row));
    if (order > 0)
        return FirmwareAction::upgrade;
    return order == 0 ? FirmwareAction::rewrite : FirmwareAction::downgrade;
}

const char* firmware_action_text(FirmwareAction action) {
    switch (action) {
        case FirmwareAction::upgrade:
            return "upgrade";
        case FirmwareAction::rewrite:
            return "rewrite";
        case FirmwareAction::downgrade:
            return "downgrade";
        case FirmwareAction::nothing:
            break;
    }
    return "Nothing";
}

bool report_flashes(FirmwareAction action) {
    return action == FirmwareAction::upgrade || action == FirmwareAction::rewrite;
}

void mark_recommended_flashes(nic_info* rows, int count) {
    for (int i = 0; i < count; ++i) {
        nic_info& row = rows[i];
        if ((row.flags & NIC_STATE_KNOWN) != 0 && report_flashes(classify_firmware(row)))
            row.flags |= NIC_FLASH;
    }
}
