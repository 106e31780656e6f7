// What the repository offers an adapter, decided once: the flash question's
// default, the silent run's skip and the discovery report's action all read it.
#pragma once

#include "nic_info.h"

// How the newest catalog image of a row stands to its installed version
// (compare_versions): newer, the same, or older; none without catalog images.
enum class FirmwareAction { upgrade, rewrite, downgrade, nothing };

FirmwareAction classify_firmware(const nic_info& row);

// The report's word for an action: "upgrade", "rewrite", "downgrade", "Nothing".
const char* firmware_action_text(FirmwareAction action);

// Whether the discovery report marks a row of this action for flashing: an
// upgrade or a rewrite; a downgrade only when asked for by hand.
bool report_flashes(FirmwareAction action);

// Marks every row of known installed state whose action report_flashes, as the
// discovery report recommends (flags bit NIC_FLASH; other rows keep theirs).
void mark_recommended_flashes(nic_info* rows, int count);
