// fwpak-export's Prometheus metrics and their atomic file.
#include "export/prom_output.h"

#include <cerrno>
#include <set>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

#include "platform/files.h"

namespace {

void family(std::string* out, const char* name, const char* help) {
    *out += "# HELP ";
    *out += name;
    *out += ' ';
    *out += help;
    *out += "\n# TYPE ";
    *out += name;
    *out += " gauge\n";
}

void sample(std::string* out, const char* name, const std::string& labels, const char* value) {
    *out += name;
    if (!labels.empty())
        *out += '{' + labels + '}';
    *out += ' ';
    *out += value;
    *out += '\n';
}

std::string label(const char* name, const std::string& value, bool first = false) {
    return std::string(first ? "" : ",") + name + "=\"" + label_value(value) + '"';
}

std::string key_labels(const report_item& a) {
    return label("address", a.address, true) + label("psid", a.psid);
}

std::string info_labels(const report_item& a) {
    return key_labels(a) + label("device", a.product) + label("installed", a.installed) +
           label("running", a.running) + label("available", a.available) +
           label("action", a.action);
}

// The adapters with distinct (address, PSID) pairs, in report order.
std::vector<const report_item*> distinct_adapters(const report_items& report,
                                                  std::vector<std::string>* skipped) {
    std::set<std::pair<std::string, std::string>> seen;
    std::vector<const report_item*> kept;
    for (const report_item& a : report.adapters) {
        if (seen.insert({a.address, a.psid}).second)
            kept.push_back(&a);
        else
            skipped->push_back(a.address);
    }
    return kept;
}

// The action words the replay burns for, as it finds them: anywhere in the value.
bool upgrade_offered(const report_item& a) {
    return a.action.find("upgrade") != std::string::npos;
}

}  // namespace

std::string label_value(const std::string& s) {
    std::string out;
    for (const char c : s) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '"')
            out += "\\\"";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

std::string prometheus_text(const report_items* report, std::vector<std::string>* skipped) {
    std::string out;
    if (report != nullptr) {
        const std::vector<const report_item*> adapters = distinct_adapters(*report, skipped);
        family(&out, "fwpak_adapter_info",
               "Mellanox adapter firmware as fwpak's discovery report gives it.");
        for (const report_item* a : adapters)
            sample(&out, "fwpak_adapter_info", info_labels(*a), "1");
        family(&out, "fwpak_update_available",
               "1 when the firmware repository holds a newer image for the adapter.");
        for (const report_item* a : adapters)
            sample(&out, "fwpak_update_available", key_labels(*a), upgrade_offered(*a) ? "1" : "0");
        family(
            &out, "fwpak_activation_pending",
            "1 when the adapter's flash holds firmware it does not run until a reboot or reset.");
        for (const report_item* a : adapters)
            sample(&out, "fwpak_activation_pending", key_labels(*a),
                   a->activation_pending() ? "1" : "0");
        family(&out, "fwpak_report_timestamp_seconds",
               "Time of the discovery report's last change, in seconds since the epoch.");
        sample(&out, "fwpak_report_timestamp_seconds", "", std::to_string(report->mtime).c_str());
    }
    family(&out, "fwpak_discovery_success", "1 when the discovery report could be read, else 0.");
    sample(&out, "fwpak_discovery_success", "", report != nullptr ? "1" : "0");
    return out;
}

std::string prometheus_path(const std::string& target) {
    struct stat st;
    if (stat(target.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        return target + (target.back() == '/' ? "" : "/") + "fwpak.prom";
    return target;
}

int write_prometheus_file(const std::string& path, const std::string& text, std::string* what) {
    SaveFailure failure;
    const int rc = save_file_atomically(
        path.c_str(),
        [&text](int fd) {
            // node_exporter reads the file as its own user, whatever umask the
            // caller's shell has.
            if (fchmod(fd, 0644) != 0)
                return -1;
            size_t done = 0;
            while (done < text.size()) {
                const ssize_t n = write(fd, text.data() + done, text.size() - done);
                if (n < 0 && errno == EINTR)
                    continue;
                if (n <= 0)
                    return -1;
                done += static_cast<size_t>(n);
            }
            return 0;
        },
        &failure);
    if (rc == 0)
        return 0;
    static const char* const kSteps[] = {"cannot create a temporary file beside it",
                                         "cannot open it", "cannot write it",
                                         "cannot rename the temporary file over it"};
    *what = kSteps[static_cast<int>(failure.step)];
    return failure.error != 0 ? failure.error : EIO;
}
