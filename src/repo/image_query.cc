// The burning tool's image query, read with the same cutter as fwpak's device query.
#include "repo/image_query.h"

#include <cstdlib>
#include <cstring>
#include <vector>

#include "flash/tool_commands.h"
#include "platform/command_runner.h"
#include "handles.h"
#include "inventory/fw_query.h"

namespace {

std::string query_value(FILE* output, const char* keyword) {
    rewind(output);
    char* value = nullptr;
    int rc = scan_query_output(output, &value, keyword);
    std::string text = rc == 0 && value != nullptr ? value : "";
    free(value);
    return text;
}

// The tool's first error line ("-E- ..."), or its first line, without end-of-line.
std::string first_error_line(FILE* output) {
    rewind(output);
    char line[QUERY_LINE_LEN];
    std::string first;
    while (fgets(line, sizeof line, output) != nullptr) {
        line[strcspn(line, "\r\n")] = '\0';
        if (strncmp(line, "-E-", 3) == 0)
            return line;
        if (first.empty())
            first = line;
    }
    return first;
}

}  // namespace

ImageFacts query_image(const std::string& image) {
    ImageFacts facts;
    // An anonymous file outside the repository holds the answer: nothing is left
    // behind, and a long answer cannot block the tool as a pipe would.
    UniqueFile output(tmpfile());
    if (!output) {
        facts.problem = std::string("cannot make a file for the answer: ") + strerror(errno);
        return facts;
    }
    const std::vector<std::string> args = {MSTFLINT_ARG0, "-i", image, "q"};
    ToolRun run = run_tool(MSTFLINT_PROGRAM, args, fileno(output.get()), false);
    if (!run.started) {
        facts.problem = std::string("cannot run ") + MSTFLINT_PROGRAM + ": " + strerror(run.error);
        return facts;
    }
    facts.psid = query_value(output.get(), "PSID");
    facts.version = query_value(output.get(), "FW Version");
    facts.ok = run.exit_code == 0 && !facts.psid.empty() && !facts.version.empty();
    if (facts.ok)
        return facts;
    std::string said = first_error_line(output.get());
    facts.problem = said.empty() ? "no answer" : "\"" + said + "\"";
    if (run.exit_code != 0)
        facts.problem += " (exit status " + std::to_string(run.exit_code) + ")";
    return facts;
}
