// Firmware selection: decides, adapter by adapter, whether the upgrade burns it.
#pragma once

#include <cstdint>

// 1 after the design's select_firmware or is_FW_needed skipped an adapter as up to
// date in a plain silent run (the upgrade run takes the verdict as an argument).
extern int32_t fw_invalid;
// Adapters skipped that way in this run.
extern int32_t fw_invalid_count;

// Records the decision for row uNicIdx in its flags (and cancel / stop-asking in
// g_iFlag). *skipped tells whether the row was skipped as up to date in a plain
// silent run (counted in fw_invalid_count). Returns 0 always.
int select_firmware(uint32_t uNicIdx, bool* skipped);
// The version policy for row uNicIdx: shows the installed and available versions and
// asks, or decides without asking (classify_firmware: the default is yes for an
// upgrade, no otherwise; a plain silent run skips all but an upgrade). Returns an
// answer code of nfwu_yesno, and *skipped as select_firmware. Leaves the row's
// sorted version list in ver_buf.
int is_FW_needed(uint32_t uNicIdx, bool* skipped);
// The design's forms: the skip verdict goes to fw_invalid.
int select_firmware(uint32_t uNicIdx);
int is_FW_needed(uint32_t uNicIdx);
