// Start-up: the argument vector check, the options, the banner, the Secure Boot
// line, the conflict rules and the dispatch to one mode.
#pragma once

#include <cstdint>

// Results of verify_cmd_line_options.
constexpr int ARGV_OK = 0;
constexpr int ARGV_USAGE_ERROR = 2;
constexpr int ARGV_BOOT_SETTING = 256;  // "ethX -bootenable rom": nothing to do

int verify_cmd_line_options(int32_t argc, char** pargv);
void usage();
// Parses the options into g_iFlag; returns -1 to go on, or the exit status.
int parse_cmd_line_options(int32_t argc, char** pargv);
void print_banner();
// The number (1 to 7) of the first conflict rule that refuses this option set, or 0
// when the options go together.
int conflicting_rule(int32_t flags);
// The whole program; main returns its result as the exit status.
int fwpak_main(int32_t argc, char** pargv);
