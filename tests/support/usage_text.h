// The usage text exactly as the program prints it, for the tests that expect it.
#pragma once

inline const char* UsageText() {
    return "USAGE: fwpak [ -s ] [ -s [ -F ] ] [ -s [ -f ] ] [ -y ] [ -d ] [ -c ] [ -h ]\n"
           "\t With no option, interactively upgrade firmware. \n"
           "\t -s  Silently upgrade firmware.\n"
           "\t -y  Assume default repsonse for all prompts.\n"
           "\t -d  Generates NIC Discovery xml file for currently installed version.\n"
           "\t -c  Display currently installed firmware information.\n"
           "\t -h  Display this help menu.\n";
}
