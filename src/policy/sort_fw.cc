// sort_fw: the version-list sort on a row of the adapter table. It lives apart
// from the version library, which knows no adapter table.
#include "nic_info.h"
#include "policy/sort_fw.h"
#include "versions/versions.h"

void sort_fw(int uIdx, char ver_buf_rows[][VER_BUF_LEN], long* fw_sorted) {
    if (g_ninfo == nullptr || uIdx < 0)
        return;
    sort_version_rows(ver_buf_rows, fw_sorted, g_ninfo[uIdx].fw_count);
}
