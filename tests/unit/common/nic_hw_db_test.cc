// The adapter hardware table and its lookups.
#include <cctype>
#include <cstring>
#include <map>
#include <string>
#include <tuple>

#include <gtest/gtest.h>

#include "common/encode_string.h"
#include "common/nic_hw_db.h"

namespace {

using Key = std::tuple<int32_t, int32_t, int32_t, int32_t>;

Key KeyOf(const nic_hw_db_t& r) {
    return {r.pci_ven, r.pci_dev, r.pci_sub_ven, r.pci_sub_dev};
}

std::string Decoded(const nic_hw_db_t& r) {
    char buf[INF_NAME_SIZE];
    memcpy(buf, r.inf_name, sizeof buf);
    decode_inf_string(buf, r.inf_name_len);
    return r.inf_name_len > 0 ? std::string(buf) : std::string();
}

// First row index of every key, and how many rows it has.
std::map<Key, std::pair<int, int>> KeyRows() {
    std::map<Key, std::pair<int, int>> rows;
    for (int i = 0; i < NIC_HW_ROWS; i++) {
        auto [it, fresh] = rows.try_emplace(KeyOf(nic_hw[i]), i, 0);
        it->second.second++;
    }
    return rows;
}

TEST(NicHwTable, FourKeysTwiceAndOneKeyFiveTimes) {
    std::map<int, int> keys_by_rows;
    for (const auto& [key, first_and_count] : KeyRows()) keys_by_rows[first_and_count.second]++;
    EXPECT_EQ(keys_by_rows, (std::map<int, int>{{1, 98}, {2, 4}, {5, 1}}));
}

TEST(NicHwTable, StoredNamesDecodeToText) {
    int nameless = 0;
    for (const nic_hw_db_t& r : nic_hw) {
        std::string name = Decoded(r);
        ASSERT_EQ(name.size(), static_cast<size_t>(r.inf_name_len));
        if (name.empty()) {
            nameless++;
            continue;
        }
        EXPECT_EQ(name.rfind("Vornex NX-", 0), 0u) << name;
        for (char c : name) EXPECT_TRUE(isprint(static_cast<unsigned char>(c))) << name;
        // Stored encoded: the plain name does not show in the table.
        EXPECT_NE(memcmp(r.inf_name, name.data(), name.size()), 0) << name;
    }
    EXPECT_EQ(nameless, 1);
}

TEST(NicHwLookup, RepeatedKeysGiveTheirFirstRow) {
    for (const auto& [key, first_and_count] : KeyRows()) {
        auto [ven, dev, sven, sdev] = key;
        const nic_hw_db_t* row = nullptr;
        ASSERT_EQ(get_nic_hw_info(&ven, &dev, &sven, &sdev, &row), 0);
        EXPECT_EQ(row, &nic_hw[first_and_count.first]);

        nic_hw_db_t* copy = nullptr;
        ASSERT_EQ(get_db_struct_info(&ven, &dev, &sven, &sdev, &copy), 0);
        EXPECT_STREQ(copy->ppca_part_number, row->ppca_part_number);
        EXPECT_EQ(non_qx_nic(&ven, &dev, &sven, &sdev), 0);
        free_db_struct_info(&copy);
    }
}

TEST(NicHwLookup, CopyOwnsItsTextsAndDecodesOnlyItsName) {
    int32_t ven = 0x15b3, dev = 0x1017, sven = 0x15b3, sdev = 0x0020;
    const nic_hw_db_t* row = nullptr;
    ASSERT_EQ(get_nic_hw_info(&ven, &dev, &sven, &sdev, &row), 0);
    char stored[INF_NAME_SIZE];
    memcpy(stored, row->inf_name, sizeof stored);

    nic_hw_db_t* copy = nullptr;
    ASSERT_EQ(get_db_struct_info(&ven, &dev, &sven, &sdev, &copy), 0);
    EXPECT_EQ(KeyOf(*copy), KeyOf(*row));
    const char* row_texts[] = {row->poem,       row->ppca_part_number, row->pspares_part_number,
                               row->pboard_rev, row->pport_type,       row->pbus_type};
    const char* copy_texts[] = {copy->poem,       copy->ppca_part_number, copy->pspares_part_number,
                                copy->pboard_rev, copy->pport_type,       copy->pbus_type};
    for (int i = 0; i < 6; i++) {
        EXPECT_STREQ(copy_texts[i], row_texts[i]);
        EXPECT_NE(copy_texts[i], row_texts[i]) << "text " << i << " is not a copy";
    }
    EXPECT_EQ(copy->inf_name_len, row->inf_name_len);
    EXPECT_EQ(std::string(copy->inf_name), Decoded(*row));
    EXPECT_EQ(memcmp(row->inf_name, stored, sizeof stored), 0) << "the table row was decoded";
    free_db_struct_info(&copy);
    EXPECT_EQ(copy, nullptr);
}

TEST(NicHwLookup, NamelessRowIsCopiedAsStored) {
    int32_t ven = 0x1077, dev = 0x8070, sven = 0x1077, sdev = 0x0001;
    nic_hw_db_t* copy = nullptr;
    ASSERT_EQ(get_db_struct_info(&ven, &dev, &sven, &sdev, &copy), 0);
    ASSERT_EQ(copy->inf_name_len, 0);
    // Decoding would have turned the stored zero bytes into decode_table[0].
    ASSERT_NE(decode_table[0], 0);
    const nic_hw_db_t* row = nullptr;
    ASSERT_EQ(get_nic_hw_info(&ven, &dev, &sven, &sdev, &row), 0);
    EXPECT_EQ(memcmp(copy->inf_name, row->inf_name, INF_NAME_SIZE), 0);
    free_db_struct_info(&copy);
}

TEST(NicHwLookup, UnknownAdapters) {
    const Key unknown[] = {{0x15b3, 0x1017, 0x15b3, 0x0021},  // known model, other board
                           {0x15b3, 0x1017, 0x1014, 0x0020},
                           {0x15b3, 0x1018, 0x15b3, 0x0020},
                           {0x8086, 0x1017, 0x15b3, 0x0020},
                           {0, 0, 0, 0},
                           {-1, -1, -1, -1}};
    for (const Key& k : unknown) {
        auto [ven, dev, sven, sdev] = k;
        const nic_hw_db_t sentinel{};
        const nic_hw_db_t* row = &sentinel;
        EXPECT_EQ(get_nic_hw_info(&ven, &dev, &sven, &sdev, &row), 1);
        EXPECT_EQ(row, &sentinel) << "left alone without a match";
        nic_hw_db_t stale{};
        nic_hw_db_t* copy = &stale;
        EXPECT_EQ(get_db_struct_info(&ven, &dev, &sven, &sdev, &copy), 1);
        EXPECT_EQ(copy, nullptr);
        EXPECT_EQ(non_qx_nic(&ven, &dev, &sven, &sdev), 1);
    }
}

TEST(NicHwLookup, FreeIgnoresNothingToFree) {
    nic_hw_db_t* unset = nullptr;
    free_db_struct_info(&unset);
    free_db_struct_info(nullptr);
    EXPECT_EQ(unset, nullptr);
}

}  // namespace
