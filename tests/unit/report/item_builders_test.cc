// The fw_item builders on adapter rows filled by hand: the newest catalog version,
// the installed version and the recommended action with its flash bit.
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "nic_info.h"
#include "versions/versions.h"
#include "report/item_builders.h"

namespace {

struct Triple {
    uint32_t major, minor, release;
};

// A one-row table whose row has the installed version and images given.
class OneRow {
  public:
    OneRow(Triple installed, const std::vector<Triple>& images, int32_t flags = NIC_STATE_KNOWN) {
        memset(&row_, 0, sizeof row_);
        row_.uCurROMmaj = installed.major;
        row_.uCurROMmin = installed.minor;
        row_.uCurROMrel = installed.release;
        for (size_t i = 0; i < images.size(); ++i) {
            row_.uFwROMmaj[i] = images[i].major;
            row_.uFwROMmin[i] = images[i].minor;
            row_.uFwROMrel[i] = images[i].release;
        }
        row_.fw_count = static_cast<int32_t>(images.size());
        row_.flags = flags;
        saved_ = g_ninfo;
        g_ninfo = &row_;
    }
    ~OneRow() { g_ninfo = saved_; }
    nic_info& row() { return row_; }

  private:
    nic_info row_;
    nic_info* saved_;
};

std::string Version(const char* type = "ROM") {
    char text[4096] = "untouched";
    build_XML_FW_item_version(type, text, sizeof text, 0);
    return text;
}

std::string Action(const char* type = "ROM") {
    char text[4096] = "";
    recommend_XML_FW_action(type, text, sizeof text, 0);
    return text;
}

struct ItemCase {
    const char* name;
    Triple installed;
    std::vector<Triple> images;
    const char* version;
    const char* action;
    bool flash;
};

// Names the case when gtest prints a parameter; its own byte dump would read the
// record's padding.
void PrintTo(const ItemCase& c, std::ostream* os) {
    *os << c.name;
}

class ItemValues : public ::testing::TestWithParam<ItemCase> {};

TEST_P(ItemValues, VersionActionAndFlashBit) {
    const ItemCase& c = GetParam();
    OneRow table(c.installed, c.images);
    EXPECT_EQ(Version(), c.version);
    EXPECT_EQ(Action(), c.action);
    EXPECT_EQ((table.row().flags & NIC_FLASH) != 0, c.flash);
    EXPECT_NE(table.row().flags & NIC_STATE_KNOWN, 0);
}

// The version is the highest by numeric triple (not by the 10-digit text key,
// which would rank 2.9.1530 above 12.0.0 and 2.10.0); the action compares triples.
INSTANTIATE_TEST_SUITE_P(
    Report, ItemValues,
    ::testing::Values(
        ItemCase{
            "Upgrade", {2, 9, 1200}, {{2, 9, 1000}, {2, 9, 1530}}, "2.9.1530", "upgrade", true},
        ItemCase{
            "Rewrite", {2, 9, 1530}, {{2, 9, 1530}, {2, 9, 1000}}, "2.9.1530", "rewrite", true},
        ItemCase{"Downgrade",
                 {2, 9, 1530},
                 {{2, 9, 1200}, {2, 9, 1000}},
                 "2.9.1200",
                 "downgrade",
                 false},
        ItemCase{"NewerMajorBeatsKeyOrder",
                 {2, 9, 1530},
                 {{12, 0, 0}, {2, 9, 1000}},
                 "12.0.0",
                 "upgrade",
                 true},
        ItemCase{
            "TwoDigitMinor", {2, 10, 0}, {{2, 9, 1530}, {2, 10, 0}}, "2.10.0", "rewrite", true},
        ItemCase{"UpgradeWinsOverEarlierEqual",
                 {2, 9, 1530},
                 {{2, 9, 1530}, {2, 9, 1600}},
                 "2.9.1600",
                 "upgrade",
                 true},
        ItemCase{"OneImage", {1, 0, 0}, {{1, 0, 1}}, "1.0.1", "upgrade", true},
        ItemCase{"NoImage", {2, 9, 1200}, {}, "", "Nothing", false}),
    [](const ::testing::TestParamInfo<ItemCase>& p) { return std::string(p.param.name); });

TEST(ItemBuilders, ActiveVersionHasNoLeadingZeros) {
    OneRow table({2, 9, 1200}, {});
    char text[4096] = "";
    build_XML_FW_item_active_version("ROM", text, sizeof text, 0);
    EXPECT_STREQ(text, "2.9.1200");
    table.row().uCurROMrel = 5;
    build_XML_FW_item_active_version("ROM", text, sizeof text, 0);
    EXPECT_STREQ(text, "2.9.5");
}

TEST(ItemBuilders, ActionNeedsRomTypeAndKnownState) {
    OneRow unknown({2, 9, 1200}, {{2, 9, 1530}}, 0);
    EXPECT_EQ(Action(), "");
    EXPECT_EQ(unknown.row().flags, 0);

    OneRow known({2, 9, 1200}, {{2, 9, 1530}});
    EXPECT_EQ(Action("PXE"), "");
    EXPECT_EQ(known.row().flags, NIC_STATE_KNOWN);
    EXPECT_EQ(Action("ROM"), "upgrade");
}

TEST(ItemBuilders, DowngradeKeepsAnEarlierFlashBit) {
    OneRow table({3, 0, 0}, {{2, 0, 0}}, NIC_STATE_KNOWN | NIC_FLASH);
    EXPECT_EQ(Action(), "downgrade");
    EXPECT_EQ(table.row().flags, NIC_STATE_KNOWN | NIC_FLASH);
}

TEST(ItemBuilders, OutputIsBoundedByTheCallersSize) {
    OneRow table({2, 9, 1200}, {{2, 9, 1530}});
    char small[5];
    memset(small, 'x', sizeof small);
    build_XML_FW_item_version("ROM", small, sizeof small, 0);
    EXPECT_STREQ(small, "2.9.");
    recommend_XML_FW_action("ROM", small, sizeof small, 0);
    EXPECT_STREQ(small, "upgr");
    build_XML_FW_item_active_version("ROM", small, sizeof small, 0);
    EXPECT_STREQ(small, "2.9.");
}

// With more images than a version list holds, the newest is still the version.
TEST(ItemBuilders, VersionOfMoreThanFiftyImages) {
    std::vector<Triple> images;
    images.push_back({9, 9, 9});
    for (uint32_t i = 0; i < 70; ++i) images.push_back({1, 0, i});
    OneRow table({1, 0, 0}, images);
    EXPECT_EQ(Version(), "9.9.9");
}

}  // namespace
