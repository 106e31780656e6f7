// sort_fw: the version-list sort on a row of the adapter table.
#pragma once

#include "nic_info.h"

// Sorts the version list of adapter row uIdx of g_ninfo (its fw_count,
// at most VER_BUF_ROWS of them). It lives in the policy library, not beside
// sort_version_rows, since the version library does not reach the adapter table.
void sort_fw(int uIdx, char ver_buf[][VER_BUF_LEN], long* fw_sorted);
