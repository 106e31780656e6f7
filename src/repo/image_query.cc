// The burning tool's image query, read with the same cutter as fwpak's device query.
#include "repo/image_query.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "flash/tool_commands.h"
#include "handles.h"
#include "inventory/fw_query.h"
#include "platform/subprocess_set.h"

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

// What the tool wrote into `output` and how it ended.
ImageFacts read_facts(FILE* output, const ToolRun& run) {
    ImageFacts facts;
    if (!run.started) {
        facts.problem = std::string("cannot run ") + MSTFLINT_PROGRAM + ": " + strerror(run.error);
        return facts;
    }
    facts.psid = query_value(output, "PSID");
    facts.version = query_value(output, "FW Version");
    facts.ok = run.exit_code == 0 && !facts.psid.empty() && !facts.version.empty();
    if (facts.ok)
        return facts;
    std::string said = first_error_line(output);
    facts.problem = said.empty() ? "no answer" : "\"" + said + "\"";
    if (run.exit_code != 0)
        facts.problem += " (exit status " + std::to_string(run.exit_code) + ")";
    return facts;
}

// One query while it runs: its answer goes to an anonymous file outside the
// repository, so nothing is left behind and a long answer cannot block the tool
// as a pipe would.
struct RunningQuery {
    size_t index = 0;
    int id = 0;  // in the subprocess set
    UniqueFile output;
};

// Starts the query of images[index]; false (with the facts filled) when it cannot.
bool start_query(const std::string& image, RunningQuery* query, ImageFacts* facts) {
    query->output.reset(tmpfile());
    if (!query->output) {
        facts->problem = std::string("cannot make a file for the answer: ") + strerror(errno);
        return false;
    }
    ChildSpec child_spec;
    child_spec.program = MSTFLINT_PROGRAM;
    child_spec.args = {MSTFLINT_ARG0, "-i", image, "q"};
    child_spec.output_fd = fileno(query->output.get());
    const StartedChild started = start_child(child_spec);
    if (started.id <= 0) {
        ToolRun failed;
        failed.error = started.error;
        *facts = read_facts(query->output.get(), failed);
        return false;
    }
    query->id = started.id;
    return true;
}

}  // namespace

std::vector<ImageFacts> query_images(const std::vector<std::string>& images) {
    std::vector<ImageFacts> facts(images.size());
    std::vector<RunningQuery> running;
    size_t next = 0;
    while (next < images.size() || !running.empty()) {
        while (next < images.size() && running.size() < MAX_QUERIES_AT_ONCE) {
            RunningQuery query;
            query.index = next;
            if (start_query(images[next], &query, &facts[next]))
                running.push_back(std::move(query));
            ++next;
        }
        if (running.empty())
            continue;
        ChildEnd end;
        if (!wait_child(-1, &end)) {
            // Nothing runs: the set lost the children, and their answers with them.
            for (const RunningQuery& q : running) facts[q.index].problem = "no answer";
            break;
        }
        // A deferred stop signal is no query's end: the queries run on to theirs.
        auto it = std::find_if(running.begin(), running.end(),
                               [&](const RunningQuery& q) { return q.id == end.id; });
        if (end.id <= 0 || it == running.end())
            continue;
        facts[it->index] = read_facts(it->output.get(), end.run);
        running.erase(it);
    }
    return facts;
}

ImageFacts query_image(const std::string& image) {
    return query_images({image}).front();
}
