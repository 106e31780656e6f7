// The -c table block of one adapter, exactly as printed.
#include "policy/installed_report.h"

#include <string>

#include <gtest/gtest.h>

#include "versions/versions.h"
#include "run_flags.h"

namespace {

const char kHead[] =
    " PCI-ID              \t\tNIC\n"
    "15B3-1017-15B3-0020 \t%s \n\n"
    "     (Installed)           (Available)\n"
    "     Image      Version      Image        Version     \t\tInterface\n"
    "------------------------------------------------------------------------\n";

std::string Head(const std::string& name) {
    std::string head = kHead;
    return head.replace(head.find("%s"), 2, name);
}

class InstalledBlock : public ::testing::Test {
  protected:
    void SetUp() override {
        nic_ = nic_info{};
        nic_.ven_id = 0x15b3;
        nic_.dev_id = 0x1017;
        nic_.sub_ven_id = 0x15b3;
        nic_.sub_dev_id = 0x20;
        nic_.pinterfacename = iface_;
        parseversions("2.42.5000", &nic_.uCurROMmaj, &nic_.uCurROMmin, &nic_.uCurROMrel);
        g_iFlag = FLAG_SHOW_CURRENT;
    }
    void AddImage(const char* version) {
        int i = nic_.fw_count++;
        nic_.pxmlName[i] = name_;
        parseversions(version, &nic_.uFwROMmaj[i], &nic_.uFwROMmin[i], &nic_.uFwROMrel[i]);
    }
    std::string Print() {
        testing::internal::CaptureStdout();
        print_installed_block(nic_);
        fflush(stdout);
        return testing::internal::GetCapturedStdout();
    }
    char iface_[13] = "0000:0b:00.0";
    char name_[14] = "ConnectX-5 EN";
    nic_info nic_;
};

TEST_F(InstalledBlock, ImagesLowestFirstInNumericOrder) {
    AddImage("2.42.5100");
    AddImage("16.35.2000");
    EXPECT_EQ(Print(), Head("ConnectX-5 EN") +
                           "      ROM       2.42.5000    ROM\t\t 2.42.5100\t\t0000:0b:00.0\n"
                           "                               \t\t16.35.2000\t\t0000:0b:00.0\n"
                           "\n");
}

TEST_F(InstalledBlock, NoImageShowsNothingAndAnEmptyName) {
    EXPECT_EQ(Print(), Head("") +
                           "      ROM       2.42.5000    ROM\t\tNothing\t\t\t0000:0b:00.0\n"
                           "\n");
}

TEST_F(InstalledBlock, SilentDiscoveryAndReplayRunsPrintNothing) {
    AddImage("2.42.5100");
    for (int32_t flag : {FLAG_SILENT, FLAG_DISCOVERY, FLAG_REPLAY}) {
        g_iFlag = flag;
        EXPECT_EQ(Print(), "") << flag;
    }
}

}  // namespace
