// fwpak-repo: builds and checks the firmware repository that fwpak reads.
#include "repo/repo_cmdline.h"

int main(int argc, char** argv) {
    return fwpak_repo_main(argc, argv);
}
