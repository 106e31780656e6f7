// A report read as a list of adapter texts: a report as fwpak -d writes it, one
// with an image waiting for activation, and the reasons a report is not read.
#include <cerrno>
#include <string>

#include <gtest/gtest.h>

#include "report/report_items.h"
#include "scoped_temp_dir.h"

namespace {

std::string Data(const std::string& rel) {
    return std::string(FWPAK_TEST_DATA) + "/" + rel;
}

TEST(ReportItems, ReadsEveryAdapterWithItsTexts) {
    report_items r;
    ASSERT_EQ(read_report_items(Data("export/activation-pending.xml").c_str(), &r), REPORT_LOADED);
    EXPECT_GT(r.mtime, 0);
    ASSERT_EQ(r.adapters.size(), 2u);
    const report_item& a = r.adapters[0];
    EXPECT_EQ(a.address, "0000:05:00.0");
    EXPECT_EQ(a.psid, "VNX1003000050");
    EXPECT_EQ(a.product, "Vornex IB 560QSFP Adapter");
    EXPECT_EQ(a.vendor_id, 0x15B3);
    EXPECT_EQ(a.device_id, 0x1003);
    EXPECT_EQ(a.subsystem_device_id, 0x0050);
    EXPECT_EQ(a.installed, "2.35.5100");
    EXPECT_EQ(a.running, "2.35.5100");  // no running version: it runs what is installed
    EXPECT_EQ(a.available, "2.42.5000");
    EXPECT_EQ(a.action, "upgrade");
    EXPECT_FALSE(a.activation_pending());
    const report_item& b = r.adapters[1];
    EXPECT_EQ(b.address, "0000:af:00.0");
    EXPECT_EQ(b.product, "Vornex \"HDR\" 200G\\2");
    EXPECT_EQ(b.installed, "20.35.1012");
    EXPECT_EQ(b.running, "20.34.1002");
    EXPECT_TRUE(b.activation_pending());
}

TEST(ReportItems, AddressFallsBackToTheDeviceIdWithoutAnAction) {
    ScopedTempDir dir;
    dir.Write("r.xml",
              "<r><devices><device><device_id value=\"0000:0b:00.0\"/></device></devices></r>");
    report_items r;
    ASSERT_EQ(read_report_items((dir.path() + "/r.xml").c_str(), &r), REPORT_LOADED);
    ASSERT_EQ(r.adapters.size(), 1u);
    EXPECT_EQ(r.adapters[0].address, "0000:0b:00.0");
    EXPECT_EQ(r.adapters[0].installed, "");
    EXPECT_FALSE(r.adapters[0].activation_pending());
}

TEST(ReportItems, ReportsThatAreNotRead) {
    ScopedTempDir dir;
    dir.Write("cut.xml", "<qx_rom_discovery><devices><device>");
    const struct {
        std::string path;
        report_load_status status;
        int error;
    } cases[] = {
        {dir.path() + "/missing.xml", REPORT_OPEN_FAILED, ENOENT},
        {dir.path(), REPORT_OPEN_FAILED, EISDIR},
        {dir.path() + "/cut.xml", REPORT_PARSE_FAILED, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        report_items r;
        EXPECT_EQ(read_report_items(c.path.c_str(), &r), c.status);
        EXPECT_EQ(r.error, c.error);
        EXPECT_TRUE(r.adapters.empty());
    }
}

}  // namespace
