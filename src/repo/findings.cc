// Collecting and printing fwpak-repo's findings.
#include "repo/findings.h"

#include <algorithm>

void Findings::add(const std::string& path, int line, Severity severity, const std::string& text) {
    list_.push_back(Finding{path, line, severity, text});
}

void Findings::print(FILE* out) const {
    // Findings about one file come together and in line order, as an editor lists
    // them; the files in the order of their first finding.
    std::vector<std::string> paths;
    for (const Finding& f : list_) {
        if (std::find(paths.begin(), paths.end(), f.path) == paths.end())
            paths.push_back(f.path);
    }
    auto rank = [&paths](const Finding& f) {
        return std::find(paths.begin(), paths.end(), f.path) - paths.begin();
    };
    std::vector<Finding> sorted = list_;
    std::stable_sort(sorted.begin(), sorted.end(), [&rank](const Finding& a, const Finding& b) {
        return rank(a) != rank(b) ? rank(a) < rank(b) : a.line < b.line;
    });
    for (const Finding& f : sorted) {
        const char* kind = f.severity == Severity::error ? "error" : "warning";
        if (f.line > 0)
            fprintf(out, "%s:%d: %s: %s\n", f.path.c_str(), f.line, kind, f.text.c_str());
        else
            fprintf(out, "%s: %s: %s\n", f.path.c_str(), kind, f.text.c_str());
    }
    fprintf(out, "%d error%s, %d warning%s\n", errors(), errors() == 1 ? "" : "s", warnings(),
            warnings() == 1 ? "" : "s");
}

int Findings::errors() const {
    return static_cast<int>(std::count_if(list_.begin(), list_.end(), [](const Finding& f) {
        return f.severity == Severity::error;
    }));
}

int Findings::warnings() const {
    return static_cast<int>(list_.size()) - errors();
}

int Findings::status() const {
    if (errors() > 0)
        return REPO_ERRORS;
    return warnings() > 0 ? REPO_WARNINGS : REPO_CLEAN;
}
