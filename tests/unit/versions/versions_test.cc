// Version texts: parsing into triples, the numeric order and the version list.
#include "versions/versions.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

struct ParseCase {
    const char* text;
    int result;  // 0, or VERSION_UNUSABLE with the triple 0.0.0
    uint32_t major, minor, release;
};

// Each field is read whole as an unsigned 32-bit number; anything else is not a
// version, never a cut or wrapped one.
TEST(ParseVersions, WholeFieldsOrUnusable) {
    const int bad = VERSION_UNUSABLE;
    const ParseCase cases[] = {
        {"2.42.5000", 0, 2, 42, 5000},
        {"16.35.2000", 0, 16, 35, 2000},
        {"13.2010.3146", 0, 13, 2010, 3146},  // minors of 100 and above: four digits
        {"1234.56789.123456", 0, 1234, 56789, 123456},
        {"4294967295.4294967295.4294967295", 0, 4294967295u, 4294967295u, 4294967295u},
        {"2.42", 0, 2, 42, 0},
        {"", 0, 0, 0, 0},
        {"7", 0, 7, 0, 0},
        {"1.2.3.4", 0, 1, 2, 3},  // a fourth field is dropped
        {" 16.35.2000\r\n", 0, 16, 35, 2000},
        {"4294967296.0.0", bad, 0, 0, 0},
        {"1.99999999999999999999.0", bad, 0, 0, 0},
        {"-1.0.0", bad, 0, 0, 0},
        {"+1.0.0", bad, 0, 0, 0},
        {"16.x.12ab", bad, 0, 0, 0},
        {"16.35.2000 beta", bad, 0, 0, 0},
        {"16..2000", bad, 0, 0, 0},
        {"2.42.", bad, 0, 0, 0},
        {"..", bad, 0, 0, 0},
        {".", bad, 0, 0, 0},
    };
    for (const ParseCase& c : cases) {
        uint32_t maj = 9, min = 9, rel = 9;
        EXPECT_EQ(parseversions(c.text, &maj, &min, &rel), c.result) << c.text;
        EXPECT_EQ(maj, c.major) << c.text;
        EXPECT_EQ(min, c.minor) << c.text;
        EXPECT_EQ(rel, c.release) << c.text;
    }
}

TEST(ParseVersions, NullReadsAsEmpty) {
    uint32_t maj = 1, min = 1, rel = 1;
    parseversions(nullptr, &maj, &min, &rel);
    EXPECT_EQ(maj + min + rel, 0u);
}

// The keys order versions field by field, where the old 10-digit text key did not.
TEST(VersionSortKey, OrdersByNumericTriple) {
    const uint32_t ascending[][3] = {{0, 0, 0},      {2, 9, 1000},   {2, 10, 1000},
                                     {2, 42, 5000},  {2, 42, 5100},  {14, 7, 300},
                                     {14, 32, 1010}, {16, 35, 2000}, {999, 999, 9999}};
    for (size_t i = 1; i < sizeof ascending / sizeof ascending[0]; ++i) {
        const uint32_t* a = ascending[i - 1];
        const uint32_t* b = ascending[i];
        EXPECT_LT(version_sort_key(a[0], a[1], a[2]), version_sort_key(b[0], b[1], b[2]))
            << a[0] << "." << a[1] << "." << a[2] << " vs " << b[0] << "." << b[1] << "." << b[2];
    }
    EXPECT_GT(version_sort_key(4294967295u, 0, 0), version_sort_key(999, 999, 9999));
    EXPECT_GT(version_sort_key(0, 0, 0), -1);
}

class VersionList : public ::testing::Test {
  protected:
    void SetUp() override { nic_ = nic_info{}; }
    void AddImage(const char* version) {
        int i = nic_.fw_count++;
        parseversions(version, &nic_.uFwROMmaj[i], &nic_.uFwROMmin[i], &nic_.uFwROMrel[i]);
    }
    std::vector<std::string> Build(std::vector<int>* images = nullptr) {
        char rows[VER_BUF_ROWS][VER_BUF_LEN];
        int index[VER_BUF_ROWS];
        int count = -1;
        build_version_list(nic_, rows, &count, index);
        std::vector<std::string> out(rows, rows + count);
        if (images != nullptr)
            images->assign(index, index + count);
        return out;
    }
    nic_info nic_;
};

using Rows = std::vector<std::string>;

TEST_F(VersionList, NumericOrderLowestFirst) {
    for (const char* v : {"2.42.5000", "16.35.2000", "2.42.5100"}) AddImage(v);
    EXPECT_EQ(Build(), (Rows{"2.42.5000", "2.42.5100", "16.35.2000"}));
}

TEST_F(VersionList, MinorAndReleaseCompareAsNumbers) {
    for (const char* v : {"14.32.1010", "2.10.1000", "14.7.300", "2.9.1000"}) AddImage(v);
    EXPECT_EQ(Build(), (Rows{"2.9.1000", "2.10.1000", "14.7.300", "14.32.1010"}));
}

// Fields of any size compare whole and show as read, past any key's bounds.
TEST_F(VersionList, WholeFieldsOfAnySizeOrderAndShowAsRead) {
    for (const char* v : {"13.2012.1004", "13.201.3146", "2.0.0", "1.4294967295.0",
                          "1.4294967294.4294967295", "13.2010.3146", "4294967295.0.0"})
        AddImage(v);
    EXPECT_EQ(Build(), (Rows{"1.4294967294.4294967295", "1.4294967295.0", "2.0.0", "13.201.3146",
                             "13.2010.3146", "13.2012.1004", "4294967295.0.0"}));
}

TEST_F(VersionList, EqualVersionsKeepCatalogOrder) {
    for (const char* v : {"2.42.5000", "1.0.0", "2.42.5000", "2.42.5000"}) AddImage(v);
    std::vector<int> images;
    EXPECT_EQ(Build(&images), (Rows{"1.0.0", "2.42.5000", "2.42.5000", "2.42.5000"}));
    EXPECT_EQ(images, (std::vector<int>{1, 0, 2, 3}));
}

// The image burnt and the replay's record: the first of the newest, in catalog
// order, on the order of the version list.
TEST_F(VersionList, NewestImageAndRecordAreTheFirstOfTheNewest) {
    const struct {
        std::vector<const char*> versions;
        int newest;
    } cases[] = {
        {{}, -1},
        {{"2.42.5000"}, 0},
        {{"2.42.5000", "16.35.2000", "2.42.5100"}, 1},
        {{"2.9.1000", "2.10.1000", "2.10.1000"}, 1},
        {{"16.35.2000", "1.0.0", "16.35.2000"}, 0},
        {{"13.2010.3146", "13.2012.1004", "13.201.9999"}, 1},
        {{"16.35.4294967296", "2.0.0"}, 1},  // not a version: passed over
    };
    for (const auto& c : cases) {
        nic_ = nic_info{};
        std::vector<XMLFW_INFO> records(c.versions.size() + 1, XMLFW_INFO{});
        for (size_t i = 0; i < c.versions.size(); ++i) {
            AddImage(c.versions[i]);
            records[i].pxmlRom = const_cast<char*>(c.versions[i]);
        }
        EXPECT_EQ(newest_image(nic_), c.newest);
        EXPECT_EQ(newest_record(records.data(), nic_.fw_count), c.newest);
        std::vector<int> images;
        if (c.newest >= 0) {
            Build(&images);
            EXPECT_EQ(
                compare_versions(image_version(nic_, images.back()), image_version(nic_, c.newest)),
                0);
        }
    }
}

TEST_F(VersionList, NoImageNoRowOneImageOneRow) {
    EXPECT_TRUE(Build().empty());
    AddImage("16.35.2000");
    EXPECT_EQ(Build(), (Rows{"16.35.2000"}));
}

// 60 images in scrambled order: the list keeps the 50 highest, so the newest
// version is the last row.
TEST_F(VersionList, MoreThanFiftyImagesKeepTheFiftyHighest) {
    for (int i = 0; i < 60; ++i) {
        std::string v = "1.0." + std::to_string((i * 37) % 60);
        AddImage(v.c_str());
    }
    std::vector<int> images;
    Rows rows = Build(&images);
    ASSERT_EQ(rows.size(), 50u);
    for (int k = 0; k < 50; ++k) EXPECT_EQ(rows[k], "1.0." + std::to_string(k + 10));
    for (size_t k = 0; k < images.size(); ++k)
        EXPECT_EQ((images[k] * 37) % 60, static_cast<int>(k) + 10);
}

TEST_F(VersionList, CutAtFiftyKeepsEarlierOfEqualVersions) {
    for (int i = 0; i < 49; ++i) AddImage("9.0.0");
    AddImage("1.0.0");  // index 49
    AddImage("1.0.0");  // index 50
    AddImage("1.0.0");  // index 51
    std::vector<int> images;
    Rows rows = Build(&images);
    ASSERT_EQ(rows.size(), 50u);
    EXPECT_EQ(rows[0], "1.0.0");
    EXPECT_EQ(images[0], 49);
}

TEST_F(VersionList, ImageCountBeyondTheRowIsBounded) {
    for (int i = 0; i < MAX_FW_IMAGES; ++i) AddImage("3.2.1");
    nic_.fw_count = 1000;
    Rows rows = Build();
    EXPECT_EQ(rows.size(), 50u);
    nic_.fw_count = -5;
    EXPECT_TRUE(Build().empty());
}

}  // namespace
