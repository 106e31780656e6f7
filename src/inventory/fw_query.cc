// The burning tool's query (version and PSID of a port) and the image lookup.
#include "inventory/fw_query.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>
#include <unistd.h>

#include "console.h"
#include "platform/command_runner.h"
#include "platform/files.h"
#include "flash/tool_commands.h"
#include "handles.h"
#include "inventory/pci_enum.h"
#include "run_flags.h"

namespace {

constexpr int kCommandLen = 500;

// Removes the named file when it goes out of scope.
struct RemoveOnExit {
    const char* path;
    ~RemoveOnExit() {
        if (path != nullptr)
            unlink(path);
    }
};

void strip_end_of_line(char* text) {
    size_t len = strlen(text);
    if (len > 0 && text[len - 1] == '\n')
        text[--len] = '\0';
    if (len > 0 && text[len - 1] == '\r')
        text[--len] = '\0';
}

}  // namespace

size_t cut_query_value(const char* line, const char* pattern, char* value, size_t size) {
    char copy[QUERY_LINE_LEN];
    snprintf(copy, sizeof copy, "%s", line);
    strip_end_of_line(copy);
    size_t out = 0;
    size_t skip = strlen(pattern) + 1;
    if (strlen(copy) > skip) {
        for (const char* p = copy + skip; *p != '\0' && out + 1 < size; ++p) {
            if (*p != ' ')
                value[out++] = *p;
        }
    }
    if (size > 0)
        value[out] = '\0';
    return out;
}

namespace {

std::string query_command(const char* pif) {
    char command[kCommandLen];
    const char* tool = boot_value == 0 ? MSTFLINT_PROGRAM : FLINT_PROGRAM;
    snprintf(command, sizeof command, QUERY_COMMAND_FORMAT, tool, pif);
    return command;
}

}  // namespace

std::vector<PortQueryOutput> query_ports(const std::vector<std::string>& addresses) {
    std::vector<std::string> commands;
    commands.reserve(addresses.size());
    for (const std::string& address : addresses) commands.push_back(query_command(address.c_str()));
    std::vector<CapturedRun> runs = run_captured(commands, MAX_QUERIES_AT_ONCE);
    std::vector<PortQueryOutput> outputs(runs.size());
    for (size_t i = 0; i < runs.size(); ++i) {
        outputs[i].started = runs[i].started;
        outputs[i].output = std::move(runs[i].output);
    }
    return outputs;
}

int cut_firmware_info(const std::string& output, char** ppfw, const char* fw_match_pattern) {
    if (output.empty())
        return 1;
    UniqueFile stream(fmemopen(const_cast<char*>(output.data()), output.size(), "r"));
    if (!stream)
        return 1;
    return scan_query_output(stream.get(), ppfw, fw_match_pattern);
}

std::string query_base_guid(const std::string& output) {
    for (const char* keyword : {"Base GUID", "GUIDs"}) {
        size_t at = 0;
        while (at < output.size()) {
            size_t end = output.find('\n', at);
            if (end == std::string::npos)
                end = output.size();
            std::string line = output.substr(at, end - at);
            at = end + 1;
            if (!is_query_value_line(line.c_str(), keyword))
                continue;
            size_t word = line.find_first_not_of(" \t\r", strlen(keyword) + 1);
            if (word == std::string::npos)
                return "";
            return line.substr(word, line.find_first_of(" \t\r", word) - word);
        }
    }
    return "";
}

int get_firmware_info(const char* pif, char** ppfw, const char* fw_match_pattern) {
    ReadPipe pipe = open_read_pipe(query_command(pif).c_str());
    if (!pipe) {
        fprintf(stderr,
                "\n In popen for mstflint fork(2) or pipe(2) calls fail, \t\t\t\t or cannot "
                "allocate memory. \n\n");
        return 1;
    }
    return scan_query_output(pipe.get(), ppfw, fw_match_pattern);
}

bool is_query_value_line(const char* line, const char* pattern) {
    size_t len = strlen(pattern);
    return strncasecmp(line, pattern, len) == 0 && line[len] == ':';
}

int scan_query_output(FILE* output, char** ppfw, const char* fw_match_pattern) {
    char line[QUERY_LINE_LEN];
    // A line longer than the buffer arrives in pieces; only a piece that starts a
    // line can be the value's line. The buffer is cleared before each read, so an
    // end-of-line is found even behind a zero byte the tool printed.
    bool at_line_start = true;
    for (;;) {
        memset(line, 0, sizeof line);
        if (fgets(line, sizeof line, output) == nullptr)
            break;
        bool starts_line = at_line_start;
        at_line_start = memchr(line, '\n', sizeof line) != nullptr;
        if (!starts_line || !is_query_value_line(line, fw_match_pattern))
            continue;
        char value[QUERY_VALUE_LEN];
        size_t len = cut_query_value(line, fw_match_pattern, value, sizeof value);
        *ppfw = dup_text(value);
        return len > 0 ? 0 : 1;
    }
    return 1;
}

int get_mlnx_info(const char* cmd, char* data, int datasize, const char* dataFile,
                  const char* delimiter) {
    if (datasize <= 0)
        return 2;
    memset(data, 0, static_cast<size_t>(datasize));
    int rc = do_command(cmd);
    if (rc != 0) {
        log_eventf(LOG_ERROR, "command failed: %s\n", log_value(cmd).c_str());
        return rc;
    }
    UniqueFile file(fopen(dataFile, "r"));
    if (!file) {
        log_eventf(LOG_ERROR, "unable to open file %s\n", dataFile);
        return 2;
    }
    if (fgets(data, datasize, file.get()) == nullptr)
        data[0] = '\0';
    keep_first_word(data, delimiter);
    return 0;
}

void keep_first_word(char* data, const char* delimiter) {
    char* word = data + strspn(data, delimiter);
    char* end = strpbrk(word, delimiter);
    if (end != nullptr)
        *end = '\0';
}

LookupAnswer parse_lookup_answer(char* answer) {
    LookupAnswer result{1, nullptr, nullptr};
    if (answer[0] == '0')
        return result;
    strip_end_of_line(answer);
    char* hash = strchr(answer, '#');
    if (hash == nullptr)
        return result;
    *hash = '\0';
    char* image = hash + 1;
    char* next = strchr(image, '#');
    if (next != nullptr)
        *next = '\0';
    if (image[0] == '\0')
        return result;
    result.status = 0;
    result.first = answer;
    result.image = image;
    return result;
}

int modify_imagename(nic_info* curnic, char* servername, size_t servername_size) {
    // The address reaches a shell command line: only a PCI address goes through.
    if (curnic == nullptr || !is_pci_address(curnic->pbus_info)) {
        log_eventf(LOG_ERROR, "modify_imagename: refusing bus address \"%s\": not a PCI address\n",
                   log_value(curnic != nullptr ? curnic->pbus_info : nullptr).c_str());
        return 2;
    }
    DataFile data = make_data_file(IMAGE_LOOKUP_DATA_TEMPLATE);
    if (!data.is_open()) {
        log_eventf(LOG_ERROR, "modify_imagename: cannot create a data file %s here: %s\n",
                   IMAGE_LOOKUP_DATA_TEMPLATE, strerror(data.error));
        return 2;
    }
    RemoveOnExit remove_data{data.name.c_str()};
    data.fd.reset();
    const char* data_file = data.name.c_str();

    char command[TEXT_LEN];
    snprintf(command, sizeof command, IMAGE_LOOKUP_FORMAT, IMAGE_LOOKUP_PROGRAM, curnic->pbus_info,
             data_file);
    char answer[LOOKUP_ANSWER_LEN];
    int status = get_mlnx_info(command, answer, sizeof answer, data_file, " ");
    if (status != 0)
        return status;
    LookupAnswer parsed = parse_lookup_answer(answer);
    if (parsed.status != 0)
        return parsed.status;
    if (servername != nullptr && servername_size > 0)
        snprintf(servername, servername_size, "%s", parsed.first);
    free(curnic->pxmlFwImage[0]);
    curnic->pxmlFwImage[0] = dup_text(parsed.image);
    return 0;
}
