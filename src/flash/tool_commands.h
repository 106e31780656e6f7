// Every command line the program hands to an outside tool, in one place: the
// burning tool's query and burn, the Secure Boot and service checks, the image
// lookup and the mismatch search.
#pragma once

// The repository's own burning tool, used while Secure Boot is off.
constexpr char REPO_DIR[] = "./nic_fw/";
constexpr char MSTFLINT_PROGRAM[] = "./nic_fw/mstflint";
constexpr char MSTFLINT_ARG0[] = "mstflint";
// The installed burning tool, required while Secure Boot is on.
constexpr char FLINT_PROGRAM[] = "/usr/bin/flint";
constexpr char FLINT_ARG0[] = "flint";

// Query: tool, " -d ", bus address, " q 2>&1" (both streams read line by line).
constexpr char QUERY_COMMAND_FORMAT[] = "%s -d %s q 2>&1";
// Burn arguments after argument 0; "-s" leads them in silent runs.
constexpr char BURN_SILENT_ARG[] = "-s";
constexpr char BURN_YES_ARG[] = "-y";
constexpr char BURN_DEVICE_ARG[] = "-d";
constexpr char BURN_IMAGE_ARG[] = "-i";
constexpr char BURN_COMMAND_ARG[] = "b";
// The query that verifies a burn: "-d", bus address, "q", run directly (no shell)
// with both output streams into the burn's data file.
constexpr char QUERY_COMMAND_ARG[] = "q";

constexpr char MOKUTIL_SB_STATE[] = "/usr/bin/mokutil --sb-state";
constexpr char MST_STATUS[] = "/usr/bin/mst status";
constexpr char MST_START[] = "/usr/bin/mst start";
constexpr char FLINT_PROBE[] = "/usr/bin/flint --help";

// Image lookup: program, bus address and data file; the answer is the file's first line.
constexpr char IMAGE_LOOKUP_PROGRAM[] = "./getmlnxinfo";
constexpr char IMAGE_LOOKUP_FORMAT[] = "%s imgfile %s > %s";
constexpr char IMAGE_LOOKUP_DATA_TEMPLATE[] = "dataXXXXXX";
// Mismatch search over the burn's data file: every wording with which the burning
// tools refuse an image made for another board ("-E- PSID mismatch. The PSID on
// flash (...) differs from the PSID in the given image (...).", and in the newest
// tools also a major, header or locked-minor mismatch). The data file's name is the
// only text filled in, and the program makes it.
constexpr char MISMATCH_SEARCH_FORMAT[] =
    "grep -i -e \"PSID Mismatch\" -e \"PSID major mismatch\" -e \"PSID header mismatch\" "
    "-e \"Minor PSID is locked\" %s > /dev/null";
// How the burning tool refuses to burn over an image that waits on the flash for a
// reboot or a reset ("... This may indicate that a FW image was already updated on
// flash, but not loaded by the device. Please load FW on the device (reset device
// or reboot machine) before burning a new FW.").
constexpr char PENDING_IMAGE_REFUSAL[] = "already updated on flash, but not loaded by the device";
constexpr char TMP_DATA_TEMPLATE[] = "/tmp/dataXXXXXX";

// The shell's exit code for a command it cannot find.
constexpr int SHELL_NOT_FOUND = 127;
