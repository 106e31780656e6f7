// Catalog matching: the key rule, the scratch record that carries values over,
// attribute order, bounds, and hostile documents.
#include "inventory/catalog.h"

#include <chrono>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include <gtest/gtest.h>

#include "console.h"
#include "handles.h"
#include "run_flags.h"
#include "test_support.h"

namespace {

const char kKey[] = "15B3-1017-15B3-0020-MT_0000000080";

struct Match {
    std::string name, rom, file;
    bool operator==(const Match& o) const {
        return name == o.name && rom == o.rom && file == o.file;
    }
};
std::ostream& operator<<(std::ostream& os, const Match& m) {
    return os << "{" << m.name << ", " << m.rom << ", " << m.file << "}";
}
using Matches = std::vector<Match>;

std::string Text(const char* s) {
    return s != nullptr ? s : "<null>";
}

class Catalog : public ::testing::Test {
  protected:
    void SetUp() override {
        reset_run_state();
        g_ninfo = rows_;
        snprintf(sub_ven_id_new, sizeof sub_ven_id_new, "15B3");
        snprintf(sub_dev_id_new, sizeof sub_dev_id_new, "0020");
    }
    void TearDown() override {
        clear_fw_info(records_, MAX_FW_IMAGES);
        reset_run_state();
    }
    int Read(const std::string& xml, const char* key = kKey, int capacity = MAX_FW_IMAGES) {
        return read_NIC_FW_xml_memory(xml.data(), xml.size(), key, records_, capacity);
    }
    int ReadCase(const std::string& name, const char* key = kKey) {
        return Read(ReadTestData("catalog/" + name + ".xml"), key);
    }
    Matches Found() const {
        Matches m;
        for (int i = 0; i < rows_[0].fw_count; ++i)
            m.push_back({Text(records_[i].pxmlName), Text(records_[i].pxmlRom),
                         Text(records_[i].pxmlFwImage)});
        return m;
    }
    nic_info rows_[2] = {};
    XMLFW_INFO records_[MAX_FW_IMAGES] = {};
};

TEST_F(Catalog, TwoMatchesInDocumentOrderWithTheirOwnRomAndFile) {
    EXPECT_EQ(ReadCase("two-images-same-psid"), 1);
    EXPECT_EQ(rows_[0].fw_count, 2);
    EXPECT_EQ(Found(), (Matches{{"ConnectX-5 EN", "16.35.2000", "fw-cx5-16.35.2000.bin"},
                                {"ConnectX-5 EN", "16.32.1010", "fw-cx5-16.32.1010.bin"}}));
    EXPECT_STREQ(records_[0].pxmlVenId, "15B3");
    EXPECT_STREQ(records_[0].pxmlDevId, "1017");
    EXPECT_STREQ(records_[0].pxmlPSID, "MT_0000000080");
}

// Lower-case hex, a PSID differing in case, a three-digit ID ("%4s" pads it with a
// blank): none of them is the adapter's key.
TEST_F(Catalog, KeyIsComparedExactly) {
    EXPECT_EQ(ReadCase("case-differs"), 0);
    EXPECT_EQ(rows_[0].fw_count, 0);
    EXPECT_EQ(ReadCase("case-differs", "15B3- 101-15B3-0020-MT_0000000080"), 1);
    EXPECT_EQ(Found(), (Matches{{"short device ID", "16.35.2000", "c.bin"}}));
}

TEST_F(Catalog, AdaptersOwnSubsystemIdsStandInForTheCatalogs) {
    EXPECT_EQ(ReadCase("other-subsystem-ids"), 1);
    EXPECT_STREQ(records_[0].pxmlSubVenId, "15B3");
    EXPECT_STREQ(records_[0].pxmlSubDevId, "0020");
}

TEST_F(Catalog, MissingAttributesTakeTheLastEarlierValue) {
    EXPECT_EQ(ReadCase("inherited-values"), 1);
    EXPECT_EQ(Found(), (Matches{{"ConnectX-5 EN", "16.35.2000", "first.bin"},
                                {"ConnectX-5 EN", "16.35.3000", "second.bin"},
                                {"Other board", "16.36.1000", "third.bin"}}));
}

TEST_F(Catalog, NothingToInheritBeforeTheFirstSubvenid) {
    EXPECT_EQ(ReadCase("first-entry-without-subvenid"), 1);
    EXPECT_EQ(Found(), (Matches{{"ConnectX-5 EN", "2.0.0", "second.bin"},
                                {"ConnectX-5 EN", "3.0.0", "third.bin"}}));
}

TEST_F(Catalog, EntryWithoutSubdevidIsNeverCompared) {
    EXPECT_EQ(ReadCase("without-subdevid"), 0);
    EXPECT_EQ(rows_[0].fw_count, 0);
}

// rom and fwFile placed before subdevid would belong to the previous match: they
// are ignored, and the misplaced entry's match has an empty version and no file.
TEST_F(Catalog, RomBeforeSubdevidNeverOverwritesAnEarlierMatch) {
    EXPECT_EQ(ReadCase("rom-before-subdevid"), 1);
    EXPECT_EQ(Found(), (Matches{{"ConnectX-5 EN", "16.35.2000", "good.bin"},
                                {"ConnectX-5 EN", "", "<null>"}}));
}

TEST_F(Catalog, EntryWithoutRomHasTheEmptyVersion) {
    EXPECT_EQ(ReadCase("without-rom"), 1);
    EXPECT_EQ(Found(),
              (Matches{{"ConnectX-5 EN", "", "unversioned.bin"}, {"ConnectX-5 EN", "", "<null>"}}));
}

TEST_F(Catalog, ParseErrorKeepsTheMatchesBeforeIt) {
    EXPECT_EQ(ReadCase("broken-part-way"), 1);
    EXPECT_EQ(Found(), (Matches{{"ConnectX-5 EN", "16.35.2000", "before.bin"}}));
}

TEST_F(Catalog, CountsOnFromTheRowsImagesAndReportsThem) {
    rows_[0].fw_count = 1;
    EXPECT_EQ(ReadCase("without-subdevid"), 1);  // no match, but the row had one image
    EXPECT_EQ(rows_[0].fw_count, 1);
    EXPECT_EQ(ReadCase("other-subsystem-ids"), 1);
    EXPECT_EQ(rows_[0].fw_count, 2);
    EXPECT_STREQ(records_[1].pxmlFwImage, "fw-cx5.bin");
    EXPECT_EQ(records_[0].pxmlName, nullptr);
}

TEST_F(Catalog, FillsOnlyTheRowNamedByNicCount) {
    nic_count = 1;
    EXPECT_EQ(ReadCase("two-images-same-psid"), 1);
    EXPECT_EQ(rows_[0].fw_count, 0);
    EXPECT_EQ(rows_[1].fw_count, 2);
}

std::string ManyMatches(int n) {
    std::string xml = "<c>";
    for (int i = 0; i < n; ++i)
        xml +=
            "<FW name=\"n\" venid=\"15B3\" devid=\"1017\" subvenid=\"15B3\" "
            "PSID=\"MT_0000000080\" subdevid=\"0020\" rom=\"1.0." +
            std::to_string(i) + "\" fwFile=\"f" + std::to_string(i) + ".bin\"/>";
    return xml + "</c>";
}

TEST_F(Catalog, MatchesAreBoundedByTheCallersCapacity) {
    EXPECT_EQ(Read(ManyMatches(5), kKey, 1), 1);
    EXPECT_EQ(Found(), (Matches{{"n", "1.0.0", "f0.bin"}}));
}

// Mend: past the row's slots the newest versions are kept (catalogs list them
// last), in catalog order.
TEST_F(Catalog, MatchesAreBoundedByTheRowsSlots) {
    EXPECT_EQ(Read(ManyMatches(130)), 1);
    EXPECT_EQ(rows_[0].fw_count, MAX_FW_IMAGES);
    EXPECT_STREQ(records_[0].pxmlRom, "1.0.30");
    EXPECT_STREQ(records_[MAX_FW_IMAGES - 1].pxmlRom, "1.0.129");
    EXPECT_STREQ(records_[MAX_FW_IMAGES - 1].pxmlFwImage, "f129.bin");

    clear_fw_info(records_, MAX_FW_IMAGES);
    rows_[0].fw_count = MAX_FW_IMAGES;  // a full row takes nothing more
    EXPECT_EQ(Read(ManyMatches(3)), 1);
    EXPECT_EQ(rows_[0].fw_count, MAX_FW_IMAGES);
    EXPECT_EQ(records_[0].pxmlRom, nullptr);
}

std::string MatchEntry(const std::string& rom, const std::string& file) {
    return "<FW name=\"n\" venid=\"15B3\" devid=\"1017\" subvenid=\"15B3\" "
           "PSID=\"MT_0000000080\" subdevid=\"0020\" rom=\"" +
           rom + "\" fwFile=\"" + file + "\"/>";
}

// A match past the row's slots takes the place of the oldest version only when it
// is newer; of equal oldest versions the latest listed goes, so that of two equal
// versions the first listed stays.
TEST_F(Catalog, PastTheRowsSlotsOnlyANewerVersionIsKept) {
    std::string xml = "<c>";
    for (int i = 0; i < MAX_FW_IMAGES; ++i) xml += MatchEntry("1.0.5", "f" + std::to_string(i));
    xml += MatchEntry("1.0.5", "equal") + MatchEntry("0.9.0", "older") +
           MatchEntry("2.0.0", "newer") + "</c>";
    ASSERT_EQ(Read(xml), 1);
    ASSERT_EQ(rows_[0].fw_count, MAX_FW_IMAGES);
    EXPECT_STREQ(records_[0].pxmlFwImage, "f0");
    EXPECT_STREQ(records_[MAX_FW_IMAGES - 2].pxmlFwImage, "f98");
    EXPECT_STREQ(records_[MAX_FW_IMAGES - 1].pxmlFwImage, "newer");
    EXPECT_STREQ(records_[MAX_FW_IMAGES - 1].pxmlRom, "2.0.0");
}

// Mend: a catalog cut short keeps the matches before the fault and says so in the
// event log.
TEST_F(Catalog, TruncatedCatalogIsLogged) {
    const std::string xml = "<c>" + MatchEntry("1.0.0", "a") + MatchEntry("1.0.1", "b") +
                            MatchEntry("1.0.2", "c") + "</c>";
    UniqueFile log(tmpfile());
    pmstflint_fout = log.get();
    EXPECT_EQ(Read(xml.substr(0, xml.find("\"c\""))), 1);
    pmstflint_fout = nullptr;
    std::string text(4096, '\0');
    rewind(log.get());
    text.resize(fread(&text[0], 1, text.size(), log.get()));
    EXPECT_TRUE(text.find("[WARNING]   ") != std::string::npos) << text;
    EXPECT_TRUE(text.find("the catalog in memory is not well-formed XML") != std::string::npos);
}

// Mend: a 1 MiB name that 100 nameless entries inherit costs 100 kept texts of at
// most 4095 bytes, not 100 MiB; the cut falls before a UTF-8 character it would
// split, and one warning names the first entry cut.
TEST_F(Catalog, LongValuesAreCutWithAWarning) {
    const std::string name =
        std::string(MAX_OUTSIDE_TEXT - 2, 'n') + "\xc3\xa9" + std::string(1 << 20, 'n');
    std::string xml = "<c><FW name=\"" + name + "\"/>";
    for (int i = 0; i < MAX_FW_IMAGES; ++i)
        xml +=
            "<FW venid=\"15B3\" devid=\"1017\" subvenid=\"15B3\" PSID=\"MT_0000000080\" "
            "subdevid=\"0020\" rom=\"1.0.0\" fwFile=\"f\"/>";
    xml += "</c>";
    UniqueFile log(tmpfile());
    pmstflint_fout = log.get();
    EXPECT_EQ(Read(xml), 1);
    pmstflint_fout = nullptr;
    ASSERT_EQ(rows_[0].fw_count, MAX_FW_IMAGES);
    for (int i = 0; i < MAX_FW_IMAGES; ++i)
        ASSERT_EQ(std::string(records_[i].pxmlName), std::string(MAX_OUTSIDE_TEXT - 2, 'n'));
    std::string text(4096, '\0');
    rewind(log.get());
    text.resize(fread(&text[0], 1, text.size(), log.get()));
    EXPECT_EQ(text.find("[WARNING]  "), 0u) << text;
    EXPECT_NE(text.find("the name of the entry on line 1 of the catalog in memory is 1052672 "
                        "bytes long; only its first 4094 are kept\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(text.find("[WARNING]", 1), std::string::npos) << text;
}

// Without entity substitution the reader hands over no expanded text, and the
// parser's amplification guard stops a bomb: either way nothing blows up.
TEST_F(Catalog, EntityBombIsNotExpanded) {
    std::string xml = "<?xml version=\"1.0\"?><!DOCTYPE c [<!ENTITY e0 \"MT_0000000080\">";
    for (int level = 1; level <= 9; ++level) {
        xml += "<!ENTITY e" + std::to_string(level) + " \"";
        for (int i = 0; i < 10; ++i) xml += "&e" + std::to_string(level - 1) + ";";
        xml += "\">";
    }
    xml +=
        "]><c><FW venid=\"15B3\" devid=\"1017\" subvenid=\"15B3\" PSID=\"&e9;\" "
        "subdevid=\"0020\" rom=\"1.0.0\"/></c>";
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Read(xml), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST_F(Catalog, UnreadableBufferGivesNoMatch) {
    EXPECT_EQ(Read(""), 0);
    EXPECT_EQ(Read("not xml at all"), 0);
    EXPECT_EQ(read_NIC_FW_xml_memory(nullptr, 0, kKey, records_, 1), -1);
}

// The program's own entry reads nic_fw/NICFWData.xml under the working directory.
class CatalogFile : public Catalog {
  protected:
    void SetUp() override {
        Catalog::SetUp();
        dir_ = std::make_unique<ScopedTempDir>();
        dir_->Enter();
    }
    void TearDown() override {
        dir_.reset();
        Catalog::TearDown();
    }
    std::unique_ptr<ScopedTempDir> dir_;
};

TEST_F(CatalogFile, ReadsTheCatalogUnderTheWorkingDirectory) {
    dir_->Write("nic_fw/NICFWData.xml", ReadTestData("catalog/two-images-same-psid.xml"));
    EXPECT_EQ(read_NIC_FW_xml_file(kKey, records_, MAX_FW_IMAGES), 1);
    EXPECT_EQ(rows_[0].fw_count, 2);
}

// An external entity would bring in a local file's text; it is never loaded.
TEST_F(CatalogFile, ExternalEntityIsNeverLoaded) {
    dir_->Write("nic_fw/psid.txt", "MT_0000000080");
    dir_->Write("nic_fw/NICFWData.xml",
                "<?xml version=\"1.0\"?><!DOCTYPE c [<!ENTITY p SYSTEM \"psid.txt\">]>"
                "<c><FW venid=\"15B3\" devid=\"1017\" subvenid=\"15B3\" PSID=\"&p;\" "
                "subdevid=\"0020\" rom=\"1.0.0\"/><x>&p;</x></c>");
    EXPECT_EQ(read_NIC_FW_xml_file(kKey, records_, MAX_FW_IMAGES), 0);
}

// The reader says so; its callers end the run with status 1 (the inventory build's
// and the replay's tables, and the e2e cases).
TEST_F(CatalogFile, MissingCatalogIsLoggedAndEndsTheRead) {
    ASSERT_EQ(open_event_log(FWPAK_SOURCE, __LINE__).status, 0);
    EXPECT_EQ(read_NIC_FW_xml_file(kKey, records_, MAX_FW_IMAGES), CATALOG_UNREADABLE);
    fclose(pmstflint_fout);
    pmstflint_fout = nullptr;
    std::string log = dir_->Read("mstflint.log");
    EXPECT_NE(log.find("[ERROR]    "), std::string::npos) << log;
    EXPECT_NE(log.find("] Unable to open nic_fw/NICFWData.xml\n"), std::string::npos) << log;
}

}  // namespace
