// The event log "mstflint.log": one time-stamped line per event, flushed at once so
// that the log is complete even when the process ends abruptly.
#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "console.h"
#include "platform/files.h"

const char LOG_INFO[] = "[INFO]     ";
const char LOG_WARNING[] = "[WARNING]  ";
const char LOG_ERROR[] = "[ERROR]    ";
const char g_EventLogFile[] = "mstflint.log";

FILE* pmstflint_fout = nullptr;
uint32_t log_mellanox_event_text = 1;

void event_logging_on() {
    log_mellanox_event_text = 1;
}
void event_logging_off() {
    log_mellanox_event_text = 0;
}

namespace {

void write_log_line(FILE* pevent_file, const char* pevent_tag, const char* pextra_text) {
    time_t now = time(nullptr);
    char when[52] = {0};
    if (ctime_r(&now, when) == nullptr)
        when[0] = '\0';
    char* nl = strchr(when, '\n');
    if (nl != nullptr)
        *nl = '\0';
    fprintf(pevent_file, "%s [%s] %s\n", pevent_tag, when, pextra_text);
    fflush(pevent_file);
}

}  // namespace

void log_mellanox_event(FILE* pevent_file, const char* pevent_tag, const char* pextra_text) {
    if (log_mellanox_event_text == 0 || pevent_file == nullptr)
        return;
    if (held_output() != nullptr && pevent_file == pmstflint_fout) {
        held_output()->log(pevent_tag, pextra_text);
        return;
    }
    write_log_line(pevent_file, pevent_tag, pextra_text);
}

void log_event_on_disk(const char* tag, const char* fmt, ...) {
    if (log_mellanox_event_text == 0 || pmstflint_fout == nullptr)
        return;
    char text[TEXT_LEN];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(text, sizeof text, fmt, ap);
    va_end(ap);
    write_log_line(pmstflint_fout, tag, text);
    sync_file_data(fileno(pmstflint_fout));
}

std::string log_value(const char* text) {
    std::string out;
    if (text == nullptr)
        return out;
    for (const char* p = text; *p != '\0'; ++p) {
        const unsigned char c = static_cast<unsigned char>(*p);
        if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else if (c == '\t')
            out += "\\t";
        else if (c < 0x20 || c == 0x7f) {
            char hex[5];
            snprintf(hex, sizeof hex, "\\x%02x", c);
            out += hex;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

void vlog_eventf(const char* tag, const char* fmt, va_list ap) {
    char text[TEXT_LEN];
    vsnprintf(text, sizeof text, fmt, ap);
    log_mellanox_event(pmstflint_fout, tag, text);
}

void log_eventf(const char* tag, const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    vlog_eventf(tag, fmt, ap);
    va_end(ap);
}

RunFault open_event_log(const char* file, int line) {
    pmstflint_fout = fopen(g_EventLogFile, "a");
    if (pmstflint_fout != nullptr)
        return RunFault{};
    const int error = errno;
    return fatal_fault(
        FatalShape::line,
        std::string("could not open ") + g_EventLogFile + " (" + std::to_string(error) + ")", file,
        line);
}

void close_event_log() {
    if (pmstflint_fout != nullptr)
        fclose(pmstflint_fout);
    pmstflint_fout = nullptr;
}
