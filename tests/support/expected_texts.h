// The system texts exactly as the program prints them (usage, banner), for the
// tests that expect them; written out here, not taken from the program.
#pragma once

#include <regex>
#include <string>

inline const char* BannerTitle() {
    return "Vornex Mellanox InfiniBand Online Firmware Upgrade Utility for Linux";
}

// The banner: the title between two rules of 98 "#", a blank line after.
inline std::string BannerText() {
    const std::string rule(98, '#');
    return "\n" + rule + "\n" + BannerTitle() + "\n" + rule + "\n\n";
}

inline const char* UsageText() {
    return "USAGE: fwpak [ -s ] [ -s [ -F ] ] [ -s [ -f ] ] [ -y ] [ -d ] [ -c ] [ -h ]\n"
           "\t With no option, interactively upgrade firmware. \n"
           "\t -s  Silently upgrade firmware.\n"
           "\t -y  Assume default repsonse for all prompts.\n"
           "\t -d  Generates NIC Discovery xml file for currently installed version.\n"
           "\t -c  Display currently installed firmware information.\n"
           "\t -h  Display this help menu.\n";
}

// The log without the entry that every run in a repository without a checksum
// manifest writes at start, for the cases about the other entries.
inline std::string WithoutManifestNotice(const std::string& log) {
    static const std::regex notice(
        "\\[INFO\\]      \\[[^\\]\n]*\\] check_repository_trust: the repository has no checksum "
        "manifest \\(nic_fw/SHA256SUMS\\): images and the burning tool are not verified; "
        "fwpak-repo seal makes one\n\n");
    return std::regex_replace(log, notice, "");
}
