// The one yes/no question of the upgrade.
#include <cstring>

#include "console.h"
#include "run_flags.h"

int classify_answer(const char* line, int def_ans) {
    char answer[MSG_LEN];
    snprintf(answer, sizeof answer, "%s", line);
    size_t len = strlen(answer);
    if (len > 0 && answer[len - 1] == '\n')
        answer[len - 1] = '\0';
    // One character as read: the newline alone, or a single character at the end
    // of input, takes the default.
    if (len == 1)
        return def_ans;

    static const char* const yes[] = {"y", "yes", "Y", "Yes", "YES"};
    static const char* const quit[] = {"q", "Q", "Quit", "QUIT", "quit"};
    for (const char* w : yes) {
        if (strcmp(answer, w) == 0)
            return ANSWER_YES;
    }
    for (const char* w : quit) {
        if (strcmp(answer, w) == 0)
            return ANSWER_QUIT;
    }
    if (strcmp(answer, "c") == 0 || strcmp(answer, "C") == 0)
        return ANSWER_YES_ASK_NO_MORE;
    return ANSWER_NO;
}

int nfwu_yesno(const char* prompt, int def_ans, const char* yorn) {
    if ((g_iFlag & FLAG_SILENT) != 0)
        return ANSWER_YES;
    // -y assumes the default answer, as its usage line says: yes where a newer
    // image exists, no where none does. A rewrite or downgrade stays a deliberate
    // choice (-s -f, or an edited report).
    if ((g_iFlag & FLAG_YES) != 0)
        return def_ans;

    char question[MSG_LEN];
    snprintf(question, sizeof question, "%s y/n/q (%s):", prompt, yorn);
    print_message(question);
    fflush(stdout);

    // At most 499 characters: the rest of a longer line is left for the next question.
    char answer[MSG_LEN];
    if (fgets(answer, sizeof answer, stdin) == nullptr) {
        print_message("Unknown input problem!\nQuit...\n");
        return ANSWER_QUIT;
    }
    // The answer is shown escaped, but for the newline that ended it.
    std::string typed = answer;
    const bool ended = !typed.empty() && typed.back() == '\n';
    if (ended)
        typed.pop_back();
    log_eventf(LOG_INFO, "%s %s%s\n", question, log_value(typed).c_str(), ended ? "\n" : "");

    return classify_answer(answer, def_ans);
}
