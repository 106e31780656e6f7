// fwpak-repo's command line, in the conventions of fwpak: getopt, a usage text on
// standard error for a usage error (on standard output for -h), documented
// exit statuses.
#include "repo/repo_cmdline.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <getopt.h>
#include <string>
#include <unistd.h>

#include "repo/findings.h"
#include "repo/repo_add.h"
#include "repo/repo_check.h"
#include "repo/repo_seal.h"

namespace {

constexpr char kUsage[] =
    "Usage: fwpak-repo check [DIR]\n"
    "       fwpak-repo add [-n NAME] [--pci VEN:DEV:SUBVEN:SUBDEV | --from-host] IMAGE...\n"
    "       fwpak-repo seal\n"
    "       fwpak-repo -h\n"
    "\n"
    "Builds and checks a firmware repository for fwpak: the catalog nic_fw/NICFWData.xml,\n"
    "the images under nic_fw/, the burning tool nic_fw/mstflint and getmlnxinfo.\n"
    "\n"
    "  check [DIR]      report what fwpak would meet in repository DIR (default: the\n"
    "                   current directory), one line per finding; writes nothing\n"
    "  add IMAGE...     copy each image into nic_fw/ of the current directory and add\n"
    "                   its catalog entry, with the PSID and version the burning tool\n"
    "                   reads from the image; then write nic_fw/SHA256SUMS anew\n"
    "  seal             write nic_fw/SHA256SUMS, the SHA-256 of the catalog, its images,\n"
    "                   nic_fw/mstflint and getmlnxinfo, for a repository made by hand\n"
    "  -n, --name NAME  product name of the new entries\n"
    "  --pci VEN:DEV:SUBVEN:SUBDEV\n"
    "                   PCI IDs of the adapter the images are for (hexadecimal)\n"
    "  --from-host      the PCI IDs of this host's adapters whose PSID is the image's\n"
    "  -h, --help       this text\n"
    "\n"
    "Exit status: 0 clean (check), added (add) or sealed (seal); 1 warnings only\n"
    "(check); 2 errors (check), a refusal (add, seal: nothing written) or a usage error.\n";

int usage_error(const char* text) {
    fprintf(stderr, "fwpak-repo: %s\n%s", text, kUsage);
    return REPO_ERRORS;
}

int run_check(int argc, char** argv) {
    if (argc - optind > 1)
        return usage_error("check takes one directory at most");
    std::string dir = optind < argc ? argv[optind] : ".";
    std::string shown = dir == "." ? "" : dir + (dir.back() == '/' ? "" : "/");
    // Every path fwpak uses is relative to its package directory: so are the checks.
    if (chdir(dir.c_str()) != 0) {
        fprintf(stderr, "fwpak-repo: cannot enter %s: %s\n", dir.c_str(), strerror(errno));
        return REPO_ERRORS;
    }
    Findings findings;
    check_repository(shown, &findings, CheckOptions{});
    findings.print(stdout);
    return findings.status();
}

int run_add(int argc, char** argv) {
    enum { kPci = 1000, kFromHost };
    static const option kOptions[] = {{"name", required_argument, nullptr, 'n'},
                                      {"pci", required_argument, nullptr, kPci},
                                      {"from-host", no_argument, nullptr, kFromHost},
                                      {"help", no_argument, nullptr, 'h'},
                                      {nullptr, 0, nullptr, 0}};
    AddRequest request;
    int c;
    while ((c = getopt_long(argc, argv, "+n:h", kOptions, nullptr)) != -1) {
        switch (c) {
            case 'n':
                request.name = optarg;
                break;
            case kPci:
                if (!parse_pci_ids(optarg, request.pci))
                    return usage_error("--pci wants VEN:DEV:SUBVEN:SUBDEV in hexadecimal");
                request.has_pci = true;
                break;
            case kFromHost:
                request.from_host = true;
                break;
            case 'h':
                fputs(kUsage, stdout);
                return REPO_CLEAN;
            default:
                return usage_error("unknown option of add");
        }
    }
    if (request.has_pci == request.from_host)
        return usage_error("add wants one of --pci and --from-host");
    for (int i = optind; i < argc; ++i) request.images.emplace_back(argv[i]);
    if (request.images.empty())
        return usage_error("add wants at least one image");
    return repo_add(request);
}

}  // namespace

int fwpak_repo_main(int argc, char** argv) {
    static const option kOptions[] = {{"help", no_argument, nullptr, 'h'},
                                      {nullptr, 0, nullptr, 0}};
    int c;
    // "+": options after the command belong to the command.
    while ((c = getopt_long(argc, argv, "+h", kOptions, nullptr)) != -1) {
        if (c != 'h')
            return usage_error("unknown option");
        fputs(kUsage, stdout);
        return REPO_CLEAN;
    }
    if (optind >= argc)
        return usage_error("no command");
    std::string command = argv[optind++];
    // The command's own options start after it, at argv[optind].
    if (command == "check") {
        int c2;
        while ((c2 = getopt_long(argc, argv, "+h", kOptions, nullptr)) != -1) {
            if (c2 != 'h')
                return usage_error("unknown option of check");
            fputs(kUsage, stdout);
            return REPO_CLEAN;
        }
        return run_check(argc, argv);
    }
    if (command == "add")
        return run_add(argc, argv);
    if (command == "seal") {
        if (optind < argc)
            return usage_error("seal takes no argument");
        return repo_seal();
    }
    return usage_error(("unknown command " + command).c_str());
}
