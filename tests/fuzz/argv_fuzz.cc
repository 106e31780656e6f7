// The start-up checks over an argument vector made from the input (one argument a
// line): the shape check and the option parser never write past the report path,
// set nothing but option bits, and refuse or accept every vector with a status.
#include <cstring>
#include <memory>
#include <unistd.h>

#include "driver/cmdline.h"
#include "fuzz_support.h"
#include "run_flags.h"

namespace {

constexpr size_t kMaxArgs = 8;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::unique_ptr<FuzzBuffer>> args;
    args.push_back(std::make_unique<FuzzBuffer>("fwpak", 6));
    std::string rest(reinterpret_cast<const char*>(data), size);
    while (!rest.empty() && args.size() < kMaxArgs) {
        std::string line;
        FuzzSplitLine(reinterpret_cast<const uint8_t*>(rest.data()), rest.size(), &line, &rest);
        line = line.substr(0, line.find('\0'));
        args.push_back(std::make_unique<FuzzBuffer>(line.c_str(), line.size() + 1));
    }
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a->data());
    argv.push_back(nullptr);
    const int32_t argc = static_cast<int32_t>(args.size());

    g_iFlag = 0;
    silent = 0;
    opterr = 0;  // getopt's own complaints would only flood the run
    memset(g_XMLDiscoveryReport, 'x', sizeof g_XMLDiscoveryReport);
    g_XMLDiscoveryReport[sizeof g_XMLDiscoveryReport - 1] = '\0';

    int rc = verify_cmd_line_options(argc, argv.data());
    FUZZ_CHECK(rc == ARGV_OK || rc == ARGV_USAGE_ERROR || rc == ARGV_BOOT_SETTING);
    FUZZ_CHECK(strnlen(g_XMLDiscoveryReport, PATH_LEN) < PATH_LEN);
    if (rc != ARGV_OK)
        return 0;
    int status = parse_cmd_line_options(argc, argv.data());
    FUZZ_CHECK(status == -1 || status == 1);
    int parsed = g_iFlag;
    FUZZ_CHECK((parsed & ~OPTION_BITS) == 0);
    int rule = conflicting_rule(parsed);
    FUZZ_CHECK(rule >= 0 && rule <= 7);
    g_iFlag = 0;
    return 0;
}
