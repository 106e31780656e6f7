// Start-up on the simulated server: banner, Secure Boot line, usage and statuses.
#include "bench.h"

namespace {

const char kBannerTitle[] = "Vornex Mellanox InfiniBand Online Firmware Upgrade Utility for Linux";
const char kUsageFirstLine[] =
    "USAGE: fwpak [ -s ] [ -s [ -F ] ] [ -s [ -f ] ] [ -y ] [ -d ] [ -c ] [ -h ]\n";

TEST(Startup, HelpPrintsOnlyTheUsageText) {
    Bench bench;
    RunResult r = bench.Run({"-h"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out.rfind(kUsageFirstLine, 0), 0u) << r.out;
    EXPECT_FALSE(Contains(r.out, kBannerTitle));
}

TEST(Startup, ConflictAfterBannerShowsUsageUnlessSilent) {
    Bench bench;
    RunResult shown = bench.Run({"-c", "-y"});
    EXPECT_EQ(shown.status, 1);
    EXPECT_TRUE(Contains(shown.out, kBannerTitle));
    EXPECT_TRUE(Contains(shown.out, "\nSecureBoot is disabled.\n"));
    EXPECT_TRUE(Contains(shown.out, kUsageFirstLine));

    RunResult hidden = bench.Run({"-c", "-s"});
    EXPECT_EQ(hidden.status, 1);
    EXPECT_TRUE(Contains(hidden.out, kBannerTitle));
    EXPECT_FALSE(Contains(hidden.out, "USAGE"));
}

TEST(Startup, BootSettingFormDoesNothing) {
    Bench bench;
    RunResult r = bench.Run({"eth0", "-bootenable", "rom"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(bench.Calls(), "");
}

}  // namespace
