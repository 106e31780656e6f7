// Firmware selection: decides, adapter by adapter, whether the upgrade burns it.
#pragma once

#include <cstdint>

// 1 while the adapter just examined was skipped as up to date in a plain silent run;
// the upgrade run reads it and sets it back to 0.
extern int32_t fw_invalid;
// Adapters skipped that way in this run.
extern int32_t fw_invalid_count;

// Records the decision for row uNicIdx in its flags (and cancel / stop-asking in
// g_iFlag). Returns 0 always.
int select_firmware(uint32_t uNicIdx);
// The version policy for row uNicIdx: shows the installed and available versions and
// asks, or decides without asking. Returns an answer code of nfwu_yesno. Leaves the
// row's sorted version list in ver_buf.
int is_FW_needed(uint32_t uNicIdx);
