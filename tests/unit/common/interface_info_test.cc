// Interface state and addresses against real interfaces: the test process moves
// into a private network namespace of its own and builds lo, a veth pair and a
// second, down pair there. Cases the kernel cannot stage (no raw-socket right,
// odd /proc/net/if_inet6 lines) run the probe program.
#include <sched.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "common/common_utilities.h"
#include "namespace_case.h"

namespace {

using common_test::Quote;
using common_test::ReadText;
using common_test::Shell;
using common_test::WriteText;

// The same one-line form as the probe prints.
std::string Describe(int32_t rc, const dynamic_interface_info_t& i) {
    auto t = [](const char* s) { return std::string(s != nullptr ? s : "-"); };
    return "rc=" + std::to_string(rc) + " ip=" + t(i.pip_addr) + " mask=" + t(i.pnetmask) +
           " brd=" + t(i.pbroadcast) + " mac=" + t(i.pcurrent_mac) + " v6=" + t(i.pipv6_addr) +
           " short=" + t(i.pipv6_shorthand_addr) + " plen=" + std::to_string(i.pipv6_refix_length) +
           " scope=" + ipv6_link_scope_text[i.ipv6_scope] +
           " status=" + link_status_text[i.if_status];
}

std::string Query(const char* name) {
    dynamic_interface_info_t info;
    int32_t rc = get_dynamic_interface_info(name, &info);
    std::string line = Describe(rc, info);
    free_dynamic_interface_info(&info);
    return line;
}

// Once per process: a private network namespace with the interfaces of the cases.
// Empty when it is ready, else why it cannot be made.
const std::string& PreparedNetns() {
    static const std::string obstacle = []() -> std::string {
        if (getuid() != 0)
            return "needs root for a private network namespace and a raw socket";
        if (unshare(CLONE_NEWNET) != 0)
            return std::string("unshare(CLONE_NEWNET) failed: ") + strerror(errno);
        const char* setup =
            "ip link set lo up && "
            "ip link add veth0 type veth peer name veth1 && "
            "ip link set veth0 address 02:ab:cd:ef:01:23 && "
            "ip link set veth1 address 0e:10:20:30:40:fa && "
            // The kernel lists addresses in a per-namespace hash order, so veth0 gets
            // no link-local address and its global one is its only record; veth1's
            // link-local address is made from its MAC address.
            "ip link set veth0 addrgenmode none && ip link set veth1 addrgenmode eui64 && "
            "ip addr add 192.0.2.10/24 broadcast 192.0.2.255 dev veth0 && "
            "ip -6 addr add 2001:db8::10/64 dev veth0 nodad && "
            "ip link set veth0 up && ip link set veth1 up && "
            "ip link add veth2 address 02:00:00:00:00:02 type veth peer name vethname0123456 && "
            "ip addr add 198.51.100.7/24 dev veth2 && "
            // veth1's link-local address appears only once its carrier is up, which
            // the kernel does asynchronously: wait for it (at most 5 s) so a loaded
            // machine does not query the interface too early.
            "for i in $(seq 50); do grep -q 0c1020fffe3040fa /proc/net/if_inet6 && break; "
            "sleep 0.1; done";
        if (Shell(std::string("sh -c ") + Quote(setup) + " >/dev/null 2>&1") != 0)
            return "the interfaces of the namespace could not be set up (ip link, veth)";
        return "";
    }();
    return obstacle;
}

class InterfaceQuery : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!PreparedNetns().empty())
            GTEST_SKIP() << "skipped: " << PreparedNetns();
    }
};

struct InterfaceCase {
    const char* name;
    const char* expected;
};

TEST_F(InterfaceQuery, EveryFieldOfRealInterfaces) {
    const InterfaceCase cases[] = {
        // Host scope (0x10) is reported as loopback; lo has no broadcast address.
        {"lo",
         "rc=0 ip=127.0.0.1 mask=255.0.0.0 brd=0.0.0.0 mac=00:00:00:00:00:00 "
         "v6=0000:0000:0000:0000:0000:0000:0000:0001 short=::1 plen=128 scope=loopback "
         "status=up"},
        {"veth0",
         "rc=0 ip=192.0.2.10 mask=255.255.255.0 brd=192.0.2.255 mac=02:AB:CD:EF:01:23 "
         "v6=2001:0db8:0000:0000:0000:0000:0000:0010 short=2001:db8::10 plen=64 scope=global "
         "status=up"},
        // No IPv4 address: the three IPv4 texts stay unset, without an error.
        {"veth1",
         "rc=0 ip=- mask=- brd=- mac=0E:10:20:30:40:FA "
         "v6=fe80:0000:0000:0000:0c10:20ff:fe30:40fa short=fe80::c10:20ff:fe30:40fa plen=64 "
         "scope=link status=up"},
        // Down, so no IPv6 address at all.
        {"veth2",
         "rc=0 ip=198.51.100.7 mask=255.255.255.0 brd=0.0.0.0 mac=02:00:00:00:00:02 v6=- "
         "short=- plen=0 scope=global status=down"},
        {"nosuch0", "rc=0 ip=- mask=- brd=- mac=- v6=- short=- plen=0 scope=global status=unknown"},
        // One byte past the longest interface name: the kernel would answer for
        // "vethname0123456", so the name counts as no interface.
        {"vethname0123456x",
         "rc=0 ip=- mask=- brd=- mac=- v6=- short=- plen=0 scope=global status=unknown"},
        {"", "rc=0 ip=- mask=- brd=- mac=- v6=- short=- plen=0 scope=global status=unknown"},
    };
    for (const InterfaceCase& k : cases) EXPECT_EQ(Query(k.name), k.expected) << k.name;
}

TEST_F(InterfaceQuery, LogicalStatus) {
    EXPECT_EQ(get_logical_interface_status("lo"), link_up);
    EXPECT_EQ(get_logical_interface_status("veth2"), link_down);
    EXPECT_EQ(get_logical_interface_status("vethname0123456"), link_down);
    EXPECT_EQ(get_logical_interface_status("vethname0123456x"), link_unknown);
    EXPECT_EQ(get_logical_interface_status("nosuch0"), link_unknown);
}

TEST_F(InterfaceQuery, MissingInterfaceIsSilent) {
    testing::internal::CaptureStderr();
    Query("nosuch0");
    get_logical_interface_status("nosuch0");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST_F(InterfaceQuery, FreeReleasesTextsAndKeepsNumbers) {
    dynamic_interface_info_t info;
    ASSERT_EQ(get_dynamic_interface_info("veth0", &info), 0);
    free_dynamic_interface_info(&info);
    EXPECT_EQ(Describe(0, info),
              "rc=0 ip=- mask=- brd=- mac=- v6=- short=- plen=64 scope=global status=up");
    free_dynamic_interface_info(&info);  // a second release finds nothing to free
}

TEST(EthtoolInfo, FreeMembersReleasesAllFourTexts) {
    ethtool_info et = {strdup("mlx5_core"), strdup("5.0"), strdup("16.35.2000"),
                       strdup("0000:0b:00.0"), link_up};
    free_ethtool_info_members(&et);
    EXPECT_EQ(et.pdriver_name, nullptr);
    EXPECT_EQ(et.pdriver_version, nullptr);
    EXPECT_EQ(et.pfirmware_version, nullptr);
    EXPECT_EQ(et.pbus_info, nullptr);
    EXPECT_EQ(et.link_status, link_up);
}

// The probe as a user without the right to open a raw socket.
TEST(InterfaceWithoutRawSocket, ClearedRecordAndUnknownStatus) {
    std::string probe = Quote(FWPAK_COMMON_PROBE) + " ifinfo lo ifstatus lo";
    std::string command =
        getuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups " + probe : probe;
    char tmpl[] = "/tmp/fwpak-common-XXXXXX";
    std::string dir = mkdtemp(tmpl);
    int status = Shell(command + " >" + Quote(dir + "/out") + " 2>&1");
    std::string out = ReadText(dir + "/out");
    Shell("rm -rf " + Quote(dir));
    ASSERT_EQ(status, 0) << out;
    EXPECT_EQ(out,
              "rc=-1 ip=- mask=- brd=- mac=- v6=- short=- plen=0 scope=global status=unknown\n"
              "status=unknown\n");
}

// Lines of /proc/net/if_inet6 that are not records are skipped; the probe serves
// this file in place of the kernel's and asks for interfaces that do not exist, so
// only the IPv6 fields come from the file.
TEST(Inet6Records, ScopesMalformedLinesAndFirstRecordOnly) {
    if (getuid() != 0)
        GTEST_SKIP() << "skipped: needs root to serve a file as /proc/net/if_inet6";
    const char* table =
        "this line is not a record\n"
        "2001\n"
        "fe80000000000000000000000000001 05 40 20 80 short0\n"
        "fe800000000000000000000000000000001 05 40 20 80 long0\n"
        "fe80000000000000000000000000000g 05 40 20 80 badhex\n"
        "fe800000000000000000000000000abc 05 40 20 80 short0\n"
        "20010db8000000000000000000000001 06 40 00 80 s00\n"
        "00000000000000000000000000000001 01 80 10 80 s10\n"
        "fe800000000000000000000000000001 06 40 20 80 s20\n"
        "fec00000000000000000000000000001 06 30 40 80 s40\n"
        "00000000000000000000000001020304 06 60 80 80 s80\n"
        "20010db8000000000000000000000005 06 40 05 80 s05\n"
        "20010db8000000000000000000000aaa 07 40 00 80 twice0\n"
        "20010db8000000000000000000000bbb 07 30 20 80 twice0\n";
    char tmpl[] = "/tmp/fwpak-common-XXXXXX";
    std::string dir = mkdtemp(tmpl);
    WriteText(dir + "/if_inet6", table);
    std::string command = Quote(FWPAK_COMMON_PROBE) + " --proc-net-if-inet6 " +
                          Quote(dir + "/if_inet6") +
                          " ifinfo s00 ifinfo s10 ifinfo s20 ifinfo s40 ifinfo s80 ifinfo s05"
                          " ifinfo twice0 ifinfo short0 ifinfo long0 ifinfo badhex";
    int status = Shell(command + " >" + Quote(dir + "/out") + " 2>" + Quote(dir + "/err"));
    std::string out = ReadText(dir + "/out");
    std::string err = ReadText(dir + "/err");
    Shell("rm -rf " + Quote(dir));
    ASSERT_EQ(status, 0) << err;
    const std::string none = "rc=0 ip=- mask=- brd=- mac=- ";
    EXPECT_EQ(out, none +
                       "v6=2001:0db8:0000:0000:0000:0000:0000:0001 short=2001:db8::1 plen=64 "
                       "scope=global status=unknown\n" +
                       none +
                       "v6=0000:0000:0000:0000:0000:0000:0000:0001 short=::1 plen=128 "
                       "scope=loopback status=unknown\n" +
                       none +
                       "v6=fe80:0000:0000:0000:0000:0000:0000:0001 short=fe80::1 plen=64 "
                       "scope=link status=unknown\n" +
                       none +
                       "v6=fec0:0000:0000:0000:0000:0000:0000:0001 short=fec0::1 plen=48 "
                       "scope=site status=unknown\n" +
                       none +
                       "v6=0000:0000:0000:0000:0000:0000:0102:0304 short=::1.2.3.4 plen=96 "
                       "scope=v4compat status=unknown\n" +
                       none +
                       "v6=2001:0db8:0000:0000:0000:0000:0000:0005 short=2001:db8::5 plen=64 "
                       "scope=unspecified status=unknown\n" +
                       none +
                       "v6=2001:0db8:0000:0000:0000:0000:0000:0aaa short=2001:db8::aaa plen=64 "
                       "scope=global status=unknown\n" +
                       none +
                       "v6=fe80:0000:0000:0000:0000:0000:0000:0abc short=fe80::abc plen=64 "
                       "scope=link status=unknown\n" +
                       none + "v6=- short=- plen=0 scope=global status=unknown\n" +
                       // An address that does not convert: result 1, both texts kept.
                       "rc=1 ip=- mask=- brd=- mac=- v6=fe80:0000:0000:0000:0000:0000:0000:000g "
                       "short= plen=0 scope=global status=unknown\n");
    EXPECT_NE(err.find("INFO: could not get ipv6 addr for badhex: errno="), std::string::npos)
        << err;
}

}  // namespace
