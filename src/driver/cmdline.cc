// Start-up of every run: checks the argument vector, turns the options into run
// flags, prints the banner and the Secure Boot line, refuses option sets that do
// not go together, and runs exactly one mode.
#include "driver/cmdline.h"

#include <cerrno>
#include <cstdio>
#include <new>
#include <string>
#include <cstring>
#include <unistd.h>

#include "burn_record.h"
#include "console.h"
#include "driver/run_lock.h"
#include "driver/upgrade_run.h"
#include "flash/boot_mode.h"
#include "flash/trust_checks.h"
#include "platform/process_state.h"
#include "policy/installed_report.h"
#include "report/report_replay.h"
#include "report/report_writer.h"
#include "run_flags.h"

namespace {

constexpr int BANNER_RULE_WIDTH = 98;

void rewrite_slash_form(char* arg, const char* const* forms) {
    for (; *forms != nullptr; ++forms) {
        if (strcmp(arg, *forms) == 0) {
            arg[0] = '-';
            return;
        }
    }
}

bool is_option_word(const char* arg) {
    return strchr(arg, '-') != nullptr && strcmp(arg, "-") != 0;
}

int check_boot_setting_form(char** pargv) {
    if (strstr(pargv[1], "eth") == nullptr || strcmp(pargv[2], "-bootenable") != 0)
        return ARGV_USAGE_ERROR;
    static const char* const settings[] = {"rom", "iscsi", "disabled"};
    for (const char* s : settings) {
        if (strcmp(pargv[3], s) == 0)
            return ARGV_BOOT_SETTING;
    }
    return ARGV_USAGE_ERROR;
}

// An option, and the options it is refused with. The rules are checked in this
// order after the Secure Boot line; the first that matches refuses the run. The
// last three are the modes': -c and -d go with nothing else, -u only with -s.
struct ConflictRule {
    int32_t option;
    int32_t refused_with;
};
constexpr ConflictRule kConflictRules[] = {
    {FLAG_SILENT, 0x39},       {FLAG_FORCE, 0x79},     {FLAG_YES, 0x6d},   {FLAG_P, 0x67},
    {FLAG_SHOW_CURRENT, 0x7e}, {FLAG_DISCOVERY, 0x5f}, {FLAG_REPLAY, 0x3d}};

int refuse_with_usage() {
    usage();
    return 1;
}

int run_mode(RunFault* fault) {
    if ((g_iFlag & FLAG_SHOW_CURRENT) != 0)
        return show_current(fault);
    if ((g_iFlag & FLAG_DISCOVERY) != 0)
        return discover_HW(fault);
    if ((g_iFlag & FLAG_REPLAY) != 0)
        return read_discovery_report(fault);
    return fwupg(fault);
}

// The one place a run ends early: a fault found anywhere below comes back here and
// is turned into its fatal line on standard error and its status.
int end_with(const RunFault& fault) {
    fflush(stdout);
    fputs(fault.line.c_str(), stderr);
    return fault.status;
}

int dispatch() {
    try {
        RunFault fault;
        int result = run_mode(&fault);
        return fault ? end_with(fault) : result;
    } catch (const OutOfMemory& oom) {
        return end_with(oom.fault());
    } catch (const std::bad_alloc&) {
        return end_with(OutOfMemory(FWPAK_SOURCE, __LINE__, ENOMEM).fault());
    }
}

// Writes the Secure Boot line; returns false when the run must end (status 1).
bool report_boot_mode(int mode) {
    switch (mode) {
        case BOOT_SECURE_OFF:
            printf("\nSecureBoot is disabled.\n");
            return true;
        case BOOT_SECURE_TOOLS_READY:
            // get_boot_mode has stored the result: boot_mode_value reads it.
            printf("\nSecureBoot is enabled.\n");
            return true;
        case BOOT_SECURE_TOOLS_MISSING:
            printf(
                "\nSecureBoot is enabled. mst and flint tools are not available/installed for "
                "firmware flash.\n");
            return false;
        default:
            printf("\nUnable to determine the boot mode\n");
            return false;
    }
}

// The host lock, before the first query; then what earlier runs left unfinished.
// The mode opens the event log again for itself.
int lock_host() {
    const RunFault fault = open_event_log(FWPAK_SOURCE, __LINE__);
    if (fault)
        return end_with(fault);
    const int locked = take_run_lock(g_iFlag);
    if (locked == 0)
        report_interrupted_burns(run_lock_held());
    close_event_log();
    return locked;
}

}  // namespace

int verify_cmd_line_options(int32_t argc, char** pargv) {
    static const char* const first_forms[] = {"/d", "/u", "/s", "/F", nullptr};
    static const char* const first_forms_of_three[] = {"/d", "/u", "/s", nullptr};
    static const char* const second_forms[] = {"/F", nullptr};

    switch (argc) {
        case 1:
            return ARGV_OK;
        case 2:
            rewrite_slash_form(pargv[1], first_forms);
            if (!is_option_word(pargv[1]))
                return ARGV_USAGE_ERROR;
            snprintf(g_XMLDiscoveryReport, sizeof g_XMLDiscoveryReport, "%s",
                     g_XMLDiscoveryReportDefault);
            return ARGV_OK;
        case 3:
            rewrite_slash_form(pargv[1], first_forms_of_three);
            rewrite_slash_form(pargv[2], second_forms);
            if (!is_option_word(pargv[1]))
                return ARGV_USAGE_ERROR;
            // A path that does not fit the 4096-byte buffer is refused, never cut:
            // a cut path would name some other file.
            if (strlen(pargv[2]) >= sizeof g_XMLDiscoveryReport)
                return ARGV_USAGE_ERROR;
            snprintf(g_XMLDiscoveryReport, sizeof g_XMLDiscoveryReport, "%s", pargv[2]);
            return ARGV_OK;
        case 4:
            return check_boot_setting_form(pargv);
        default:
            return ARGV_USAGE_ERROR;
    }
}

void usage() {
    print_message("USAGE: fwpak [ -s ] [ -s [ -F ] ] [ -s [ -f ] ] [ -y ] [ -d ] [ -c ] [ -h ]\n");
    print_message("\t With no option, interactively upgrade firmware. \n");
    print_message("\t -s  Silently upgrade firmware.\n");
    print_message("\t -y  Assume default repsonse for all prompts.\n");
    print_message("\t -d  Generates NIC Discovery xml file for currently installed version.\n");
    print_message("\t -c  Display currently installed firmware information.\n");
    print_message("\t -h  Display this help menu.\n");
}

int parse_cmd_line_options(int32_t argc, char** pargv) {
    optind = 0;  // full re-initialisation, so a second parse starts afresh
    int opt;
    while ((opt = getopt(argc, pargv, "hcsFfipydu:")) != -1) {
        switch (opt) {
            case 'c':
                g_iFlag |= FLAG_SHOW_CURRENT;
                break;
            case 's':
                g_iFlag |= FLAG_SILENT;
                silent = SILENT_ON;
                break;
            case 'F':
            case 'f':
                g_iFlag |= FLAG_FORCE;
                break;
            case 'p':
                g_iFlag |= FLAG_P;
                break;
            case 'y':
                g_iFlag |= FLAG_YES;
                break;
            case 'd':
                g_iFlag |= FLAG_DISCOVERY;
                break;
            case 'u':
                g_iFlag |= FLAG_REPLAY;
                break;
            case 'h':
                usage();
                return 1;
            // 'i' is in the option string but has no meaning: an option that does
            // nothing is refused rather than silently accepted.
            case 'i':
            default:
                print_messagef("Unknown command line option: %c\n", opt);
                usage();
                return 1;
        }
    }
    return -1;
}

void print_banner() {
    char rule[BANNER_RULE_WIDTH + 1];
    memset(rule, '#', BANNER_RULE_WIDTH);
    rule[BANNER_RULE_WIDTH] = '\0';
    printf("\n%s\n%s\n%s\n\n", rule, BANNER_TITLE, rule);
}

int conflicting_rule(int32_t flags) {
    int number = 1;
    for (const ConflictRule& rule : kConflictRules) {
        if ((flags & rule.option) != 0 && (flags & rule.refused_with) != 0)
            return number;
        ++number;
    }
    return 0;
}

int fwpak_main(int32_t argc, char** pargv) {
    prepare_process();
    int rc = verify_cmd_line_options(argc, pargv);
    if (rc == ARGV_USAGE_ERROR)
        return refuse_with_usage();
    if (rc == ARGV_BOOT_SETTING)
        return 0;

    int status = parse_cmd_line_options(argc, pargv);
    if (status >= 0)
        return status;

    print_banner();
    fflush(stdout);
    if (!report_boot_mode(get_boot_mode()))
        return 1;
    fflush(stdout);
    if (conflicting_rule(g_iFlag) != 0)
        return refuse_with_usage();
    // Before any program of the package directory runs, and after the option rules,
    // so that a refused command line writes no log; the host lock comes after it.
    if (!check_repository_trust())
        return 1;
    const int locked = lock_host();
    if (locked != 0)
        return locked;
    return dispatch();
}
