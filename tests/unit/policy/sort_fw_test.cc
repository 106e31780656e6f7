// sort_fw: the version list of one adapter table row, sorted with its keys.
#include "policy/sort_fw.h"

#include <vector>

#include <gtest/gtest.h>

namespace {

TEST(SortFw, SortsTheRowsOfTheTableRowStably) {
    nic_info table[2] = {};
    nic_info* saved = g_ninfo;
    g_ninfo = table;
    table[1].fw_count = 5;
    char rows[VER_BUF_ROWS][VER_BUF_LEN] = {"16.35.2000", "2.42.5000", "2.9.1000", "2.10.1000",
                                            "2.9.4294967295"};
    long keys[VER_BUF_ROWS] = {1, 2, 3, 4, 5};  // carried along with their rows
    sort_fw(1, rows, keys);
    g_ninfo = saved;
    EXPECT_STREQ(rows[0], "2.9.1000");
    EXPECT_STREQ(rows[1], "2.9.4294967295");
    EXPECT_STREQ(rows[2], "2.10.1000");
    EXPECT_STREQ(rows[3], "2.42.5000");
    EXPECT_STREQ(rows[4], "16.35.2000");
    EXPECT_EQ(std::vector<long>(keys, keys + 5), (std::vector<long>{3, 5, 4, 2, 1}));
}

}  // namespace
