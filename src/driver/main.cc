// fwpak: upgrades the flash firmware of Mellanox adapters from the repository
// shipped beside it.
#include "driver/cmdline.h"

int main(int argc, char** argv) {
    return fwpak_main(argc, argv);
}
