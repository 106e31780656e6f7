// fwpak-export's JSON document.
#include "export/json_output.h"

#include <cstdio>
#include <ctime>

namespace {

std::string hex_id(int32_t id) {
    char text[16];
    snprintf(text, sizeof text, "%04X", static_cast<unsigned>(id));
    return json_string(text);
}

// Seconds since the epoch as an ISO 8601 time in UTC.
std::string utc_time(int64_t seconds) {
    const time_t t = static_cast<time_t>(seconds);
    struct tm tm {};
    char text[40] = "";
    if (gmtime_r(&t, &tm) == nullptr || strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm) == 0)
        return json_string("");
    return json_string(text);
}

void field(std::string* out, const char* name, const std::string& json, bool last = false) {
    *out += "      \"";
    *out += name;
    *out += "\": ";
    *out += json;
    *out += last ? "\n" : ",\n";
}

void adapter_object(std::string* out, const report_item& a) {
    *out += "    {\n";
    field(out, "address", json_string(a.address));
    field(out, "psid", json_string(a.psid));
    field(out, "vendor_id", hex_id(a.vendor_id));
    field(out, "device_id", hex_id(a.device_id));
    field(out, "subsystem_vendor_id", hex_id(a.subsystem_vendor_id));
    field(out, "subsystem_device_id", hex_id(a.subsystem_device_id));
    field(out, "product_name", json_string(a.product));
    field(out, "installed_version", json_string(a.installed));
    if (a.activation_pending())
        field(out, "running_version", json_string(a.running));
    field(out, "activation_pending", a.activation_pending() ? "true" : "false");
    field(out, "available_version", json_string(a.available));
    field(out, "action", json_string(a.action), true);
    *out += "    }";
}

// Length of the well-formed UTF-8 sequence at s[i] (1 to 4), or 0 when the bytes
// there are no such sequence (a stray continuation byte, an overlong or cut form,
// a surrogate, a code point past U+10FFFF).
size_t utf8_length(const std::string& s, size_t i) {
    const auto byte = [&s](size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = byte(i);
    if (c < 0x80)
        return 1;
    size_t n;
    unsigned min, cp;
    if ((c & 0xE0) == 0xC0) {
        n = 2, min = 0x80, cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
        n = 3, min = 0x800, cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
        n = 4, min = 0x10000, cp = c & 0x07;
    } else {
        return 0;
    }
    if (i + n > s.size())
        return 0;
    for (size_t k = 1; k < n; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (byte(i + k) & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return n;
}

}  // namespace

std::string json_string(const std::string& s) {
    std::string out = "\"";
    for (size_t i = 0; i < s.size(); ++i) {
        const char ch = s[i];
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c >= 0x80) {
            // A JSON text is UTF-8: a byte that is not (a path given on the command
            // line can be anything) becomes U+FFFD instead of breaking the document.
            const size_t n = utf8_length(s, i);
            if (n == 0) {
                out += "\\ufffd";
            } else {
                out.append(s, i, n);
                i += n - 1;
            }
            continue;
        }
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20) {
                    char esc[8];
                    snprintf(esc, sizeof esc, "\\u%04x", c);
                    out += esc;
                } else {
                    out += ch;
                }
        }
    }
    return out + "\"";
}

std::string json_document(const std::string& report_path, const report_items& report) {
    std::string out = "{\n";
    out += "  \"report\": " + json_string(report_path) + ",\n";
    out += "  \"report_time\": " + utc_time(report.mtime) + ",\n";
    out += "  \"report_timestamp_seconds\": " + std::to_string(report.mtime) + ",\n";
    out += "  \"adapters\": [";
    for (size_t i = 0; i < report.adapters.size(); ++i) {
        out += i == 0 ? "\n" : ",\n";
        adapter_object(&out, report.adapters[i]);
    }
    out += report.adapters.empty() ? "]\n" : "\n  ]\n";
    return out + "}\n";
}
