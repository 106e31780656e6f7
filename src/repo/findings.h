// What fwpak-repo found in a repository: one line per finding, and the exit status
// they add up to.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

// Exit statuses of fwpak-repo.
constexpr int REPO_CLEAN = 0;
constexpr int REPO_WARNINGS = 1;
constexpr int REPO_ERRORS = 2;

enum class Severity { warning, error };

struct Finding {
    std::string path;  // as shown: relative to where fwpak-repo was started
    int line = 0;      // 0: the finding is about the whole file
    Severity severity = Severity::error;
    std::string text;
};

class Findings {
  public:
    void add(const std::string& path, int line, Severity severity, const std::string& text);
    void error(const std::string& path, int line, const std::string& text) {
        add(path, line, Severity::error, text);
    }
    void warning(const std::string& path, int line, const std::string& text) {
        add(path, line, Severity::warning, text);
    }
    // Prints one line per finding, "path:line: error: text", in the order found but
    // the lines of one file in line order, then the count of each kind.
    void print(FILE* out) const;
    int errors() const;
    int warnings() const;
    // REPO_CLEAN, REPO_WARNINGS or REPO_ERRORS.
    int status() const;
    const std::vector<Finding>& all() const { return list_; }

  private:
    std::vector<Finding> list_;
};
