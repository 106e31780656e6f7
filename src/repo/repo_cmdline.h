// fwpak-repo's command line: the two commands, their options and the usage text.
#pragma once

// The whole program: parses argv, runs check or add, returns the exit status
// (0 clean or added, 1 warnings only, 2 errors, a refusal or a usage error).
int fwpak_repo_main(int argc, char** argv);
