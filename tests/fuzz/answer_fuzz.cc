// The upgrade question's answers: whatever standard input holds, every question
// returns one of the four answer codes, a line never counts past its first 499
// characters, and end of input quits.
#include <cstring>

#include "console.h"
#include "fuzz_support.h"
#include "run_flags.h"

namespace {

constexpr int kMaxQuestions = 64;

bool IsAnswerCode(int code) {
    return code >= ANSWER_YES && code <= ANSWER_YES_ASK_NO_MORE;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const int def_ans = size > 0 ? data[0] % 2 : ANSWER_NO;
    const char* yorn = def_ans == ANSWER_YES ? "y" : "n";

    // One answer line alone, as the question would have read it.
    std::string text = FuzzText(data, size);
    FuzzBuffer line(text.c_str(), text.size() + 1);
    int code = classify_answer(line.data(), def_ans);
    FUZZ_CHECK(IsAnswerCode(code));
    if (text.size() >= MSG_LEN) {
        std::string cut = text.substr(0, MSG_LEN - 1);
        FUZZ_CHECK(classify_answer(cut.c_str(), def_ans) == code);
    }

    // The question itself over the whole input as standard input: the discovery
    // bit keeps it quiet on the console without answering for the user.
    FuzzBuffer input(data, size);
    FILE* stream = FuzzStream(&input);
    if (stream == nullptr)
        return 0;
    FILE* saved = stdin;
    stdin = stream;
    g_iFlag = FLAG_DISCOVERY;
    int asked = 0;
    for (; asked < kMaxQuestions; ++asked) {
        const bool at_end = feof(stream) != 0;
        int answer = nfwu_yesno("Would you like to flash the firmware?\n", def_ans, yorn);
        FUZZ_CHECK(IsAnswerCode(answer));
        FUZZ_CHECK(!at_end || answer == ANSWER_QUIT);
        if (answer == ANSWER_QUIT && feof(stream))
            break;
    }
    stdin = saved;
    fclose(stream);
    g_iFlag = 0;
    return 0;
}
