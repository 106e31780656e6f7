// The report reader on documents held in memory: the two passes and their element
// rules, the bounds of the reading state, and the value conversions.
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "nic_info.h"
#include "report/report_reader.h"

namespace {

// Loads a report from memory and releases its table at the end of the test.
struct Loaded {
    explicit Loaded(const std::string& xml) {
        status = load_report_memory(xml.data(), xml.size(), &cursor);
    }
    ~Loaded() { release_report_rows(cursor.rows, cursor.rows != nullptr ? cursor.row_count : 0); }
    const nic_info& row(int i) const { return cursor.rows[i]; }

    report_cursor cursor;
    report_load_status status;
};

std::string Device(const std::string& body) {
    return "<device>" + body + "</device>";
}

std::string Report(const std::string& devices) {
    return "<qx_rom_discovery version=\"2.0.0.0\">"
           "<type value=\"MELLANOX_NIC\"/><devices>" +
           devices + "</devices></qx_rom_discovery>";
}

const char kFullDevice[] =
    "<device_id value=\"0000:05:00.0\"/><venid value=\"15B3\"/><devid value=\"1003\"/>"
    "<subvenid value=\"15b3\"/><subdevid value=\"0050\"/><macaddress value=\"00:02:c9:1a:2b:3c\"/>"
    "<product_id value=\"Vornex IB\"/><busnumber value=\"0000:05\"/>"
    "<devicenumber value=\"00\"/><funcnumber value=\"0\"/><slotnumber value=\"3\"/>"
    "<nictype value=\"MELLANOX\"/><fw_item><type value=\"ROM\"/>"
    "<firmware_id value=\"VNX1003000050\"/><version value=\"9.9.9\"/>"
    "<active_version value=\"2.9.1200\"/><action value=\"upgrade\"/>"
    "<duration value=\"210\"/><message value=\"\"/><shared value=\"no\"/></fw_item>";

TEST(ReportReader, FillsARowFromEveryPropertyElement) {
    Loaded r(Report(Device(kFullDevice)));
    ASSERT_EQ(r.status, REPORT_LOADED);
    ASSERT_EQ(r.cursor.row_count, 1);
    const nic_info& n = r.row(0);
    EXPECT_STREQ(n.pinterfacename, "0000:05:00.0");
    EXPECT_EQ(n.ven_id, 0x15B3);
    EXPECT_EQ(n.dev_id, 0x1003);
    EXPECT_EQ(n.sub_ven_id, 0x15B3);
    EXPECT_EQ(n.sub_dev_id, 0x0050);
    EXPECT_STREQ(n.pcurrent_mac, "00:02:c9:1a:2b:3c");
    EXPECT_STREQ(n.pxmlName[0], "Vornex IB");
    EXPECT_STREQ(n.pPort, "3");
    EXPECT_STREQ(n.pbus_info, "0000:05:00.0");
    EXPECT_STREQ(firmware_id[0], "VNX1003000050");
    EXPECT_EQ(n.uCurROMmaj, 2u);
    EXPECT_EQ(n.uCurROMmin, 9u);
    EXPECT_EQ(n.uCurROMrel, 1200u);
    EXPECT_EQ(n.flags, NIC_STATE_KNOWN | NIC_FLASH);
    EXPECT_EQ(n.fw_count, 0);  // the version element is not read
    EXPECT_EQ(r.cursor.Idx, 1);
    // ... but kept as text, with the ROM item's others, for the export.
    EXPECT_EQ(r.cursor.rom[0].available, "9.9.9");
    EXPECT_EQ(r.cursor.rom[0].installed, "2.9.1200");
    EXPECT_EQ(r.cursor.rom[0].running, "");
    EXPECT_EQ(r.cursor.rom[0].action, "upgrade");
}

// The running version of a waiting image is kept for the export; the replay's row
// still holds the flash's version, and the header's version names no item.
TEST(ReportReader, RunningVersionIsKeptAndLeavesTheRowAlone) {
    Loaded r(
        Report(Device("<fw_item><type value=\"ROM\"/><active_version value=\"20.35.1012\"/>"
                      "<running_version value=\"20.34.1002\"/></fw_item>")));
    ASSERT_EQ(r.status, REPORT_LOADED);
    EXPECT_EQ(r.row(0).uCurROMmin, 35u);
    EXPECT_EQ(r.row(0).uCurROMrel, 1012u);
    EXPECT_EQ(r.cursor.rom[0].running, "20.34.1002");
    EXPECT_EQ(r.cursor.rom[0].available, "");
    Loaded pxe(
        Report(Device("<fw_item><type value=\"PXE\"/><version value=\"1.0.0\"/>"
                      "<running_version value=\"1.0.1\"/></fw_item>")));
    EXPECT_EQ(pxe.cursor.rom[0].available, "");
    EXPECT_EQ(pxe.cursor.rom[0].running, "");
}

TEST(ReportReader, ActionWordsAnywhereMarkForFlashing) {
    const struct {
        const char* action;
        bool flash;
    } cases[] = {{"upgrade", true},  {"rewrite", true},  {"downgrade", true}, {"upgrade-now", true},
                 {"Nothing", false}, {"UPGRADE", false}, {"", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.action);
        Loaded r(Report(Device(std::string("<busnumber value=\"0000:05\"/><action value=\"") +
                               c.action + "\"/>")));
        ASSERT_EQ(r.status, REPORT_LOADED);
        EXPECT_EQ((r.row(0).flags & NIC_FLASH) != 0, c.flash);
        EXPECT_STREQ(r.row(0).pbus_info, "0000:05:.");  // rebuilt whatever the action
    }
}

// Values are matched by element name only, whatever the attribute is called; with
// two attributes the rule applies twice and the later value wins.
TEST(ReportReader, AttributeNameDoesNotMatterAndTheLaterWins) {
    Loaded r(
        Report(Device("<device_id datum=\"0000:0b:00.0\"/>"
                      "<venid value=\"8086\" other=\"15b3\"/>"
                      "<slotnumber a=\"1\" b=\"2\"/>")));
    ASSERT_EQ(r.status, REPORT_LOADED);
    EXPECT_STREQ(r.row(0).pinterfacename, "0000:0b:00.0");
    EXPECT_EQ(r.row(0).ven_id, 0x15B3);
    EXPECT_STREQ(r.row(0).pPort, "2");
}

// A self-closing device is counted but opens no row: the next device fills the row
// it would have had, and the last row stays empty.
TEST(ReportReader, SelfClosingDeviceLeavesTheLastRowEmpty) {
    Loaded r(Report("<device/>" + Device("<device_id value=\"second\"/>")));
    ASSERT_EQ(r.status, REPORT_LOADED);
    ASSERT_EQ(r.cursor.row_count, 2);
    EXPECT_STREQ(r.row(0).pinterfacename, "second");
    EXPECT_EQ(r.row(1).pinterfacename, nullptr);
}

// Property elements outside any device touch no row; type still sets the image type.
TEST(ReportReader, PropertiesOutsideADeviceAreIgnored) {
    Loaded ok(
        Report("<venid value=\"15b3\"/><fw_item><type value=\"ROM\"/>"
               "<active_version value=\"1.2.3\"/><firmware_id value=\"OUTSIDE\"/></fw_item>" +
               Device("<devid value=\"1003\"/><active_version value=\"2.0.0\"/>") +
               "<device_id value=\"after\"/><action value=\"upgrade\"/>"));
    ASSERT_EQ(ok.status, REPORT_LOADED);
    ASSERT_EQ(ok.cursor.row_count, 1);
    const nic_info& n = ok.row(0);
    EXPECT_EQ(n.ven_id, 0);
    EXPECT_EQ(n.dev_id, 0x1003);
    EXPECT_EQ(n.pinterfacename, nullptr);
    EXPECT_EQ(n.flags, NIC_STATE_KNOWN);  // the ROM type from outside still applies
    EXPECT_EQ(n.uCurROMmaj, 2u);
    EXPECT_STREQ(firmware_id[0], "");
}

TEST(ReportReader, ActiveVersionNeedsARomTypeAndSkipsNotAvailable) {
    Loaded wrong(
        Report(Device("<fw_item><type value=\"PXE\"/>"
                      "<active_version value=\"2.9.1200\"/></fw_item>")));
    EXPECT_EQ(wrong.row(0).flags, 0);
    EXPECT_EQ(wrong.row(0).uCurROMmaj, 0u);
    Loaded na(
        Report(Device("<fw_item><type value=\"ROM\"/>"
                      "<active_version value=\"n/a\"/><action value=\"rewrite\"/></fw_item>")));
    EXPECT_EQ(na.row(0).flags, NIC_FLASH);
}

TEST(ReportReader, FirmwareIdBound) {
    const std::string fits(FIRMWARE_ID_LEN - 1, 'P');
    Loaded ok(Report(Device("<firmware_id value=\"" + fits + "\"/>")));
    ASSERT_EQ(ok.status, REPORT_LOADED);
    EXPECT_EQ(std::string(firmware_id[0]), fits);
    EXPECT_FALSE(ok.cursor.refused[0]);

    Loaded over(Report(Device("<firmware_id value=\"" + fits + "Q\"/>") + Device("")));
    ASSERT_EQ(over.status, REPORT_LOADED);
    EXPECT_TRUE(over.cursor.refused[0]);
    EXPECT_STREQ(firmware_id[0], "");
    EXPECT_FALSE(over.cursor.refused[1]);
}

TEST(ReportReader, RebuiltAddressBound) {
    // 19 characters fit bus_info; 20 are not stored at all.
    Loaded ok(
        Report(Device("<busnumber value=\"00000000:05\"/><devicenumber value=\"000\"/>"
                      "<funcnumber value=\"12\"/><action value=\"upgrade\"/>")));
    EXPECT_STREQ(ok.row(0).pbus_info, "00000000:05:000.12");
    Loaded exact(
        Report(Device("<busnumber value=\"00000000:05\"/><devicenumber value=\"000\"/>"
                      "<funcnumber value=\"123\"/><action value=\"upgrade\"/>")));
    EXPECT_STREQ(exact.row(0).pbus_info, "00000000:05:000.123");
    Loaded over(
        Report(Device("<busnumber value=\"00000000:05\"/><devicenumber value=\"000\"/>"
                      "<funcnumber value=\"1234\"/><action value=\"upgrade\"/>")));
    EXPECT_EQ(over.row(0).pbus_info, nullptr);
    EXPECT_NE(over.row(0).flags & NIC_FLASH, 0);
}

TEST(ReportReader, DeviceCountBound) {
    std::string fifty, fifty_one;
    for (int i = 0; i < MAX_REPORT_DEVICES; ++i) fifty += Device("");
    fifty_one = fifty + Device("");
    Loaded ok(Report(fifty));
    EXPECT_EQ(ok.status, REPORT_LOADED);
    EXPECT_EQ(ok.cursor.row_count, 50);
    Loaded over(Report(fifty_one));
    EXPECT_EQ(over.status, REPORT_TOO_MANY_DEVICES);
    EXPECT_EQ(over.cursor.row_count, 51);
    EXPECT_EQ(over.cursor.rows, nullptr);
}

TEST(ReportReader, DocumentsThatAreNotReports) {
    const struct {
        const char* name;
        std::string xml;
        report_load_status status;
    } cases[] = {
        {"empty", "", REPORT_PARSE_FAILED},
        {"truncated", Report(Device(kFullDevice)).substr(0, 200), REPORT_PARSE_FAILED},
        {"other root, no devices", "<other><type value=\"ROM\"/></other>", REPORT_LOADED},
        {"content after the root", Report(Device("")) + "<venid value=\"1\"/>",
         REPORT_PARSE_FAILED},
        {"document type", "<!DOCTYPE r [<!ENTITY e \"0000:05\">]>" + Report(Device("")),
         REPORT_DOCTYPE_REFUSED},
        {"undeclared entity", Report(Device("<busnumber value=\"&e;\"/>")), REPORT_PARSE_FAILED},
        {"external entity",
         "<!DOCTYPE r [<!ENTITY x SYSTEM \"file:///etc/hostname\">]>" +
             Report(Device("<busnumber value=\"0000:05\"/>&x;")),
         REPORT_DOCTYPE_REFUSED},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Loaded r(c.xml);
        EXPECT_EQ(r.status, c.status);
    }
}

TEST(ReportReader, TextSpellingDeviceIsNoElement) {
    Loaded r(Report(Device("device<venid value=\"15b3\"/>device")));
    ASSERT_EQ(r.status, REPORT_LOADED);
    EXPECT_EQ(r.cursor.row_count, 1);
    EXPECT_EQ(r.row(0).ven_id, 0x15B3);
}

TEST(Axtoi, ReadsUpToFourCharacters) {
    const struct {
        const char* text;
        int32_t value;
    } cases[] = {
        {"15b3", 0x15B3},
        {"15B3", 0x15B3},
        {"0x15B3", 0},
        {"12345", 0x1234},
        {"0050", 0x50},
        {"ffff", 0xFFFF},
        {":", 10},
        {"?", 15},
        {"*", 10},
        {"1:?", 0x1AF},
        {"", 0},
        {"g12", 0},
        {"1g2", 1},
        {"1 2", 1},
        {"\x80"
         "1",
         0},
        {"1\xb3", 1},
        {"@", 0},
        {"/", 15},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(axtoi(c.text), c.value);
    }
    EXPECT_EQ(axtoi(nullptr), 0);
}

}  // namespace
