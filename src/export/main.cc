// fwpak-export: writes a discovery report as JSON or as Prometheus metrics.
#include "export/export_cmdline.h"

int main(int argc, char** argv) {
    return fwpak_export_main(argc, argv);
}
