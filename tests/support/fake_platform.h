// A recording stand-in for the platform layer (after ninja's FakeCommandRunner):
// while one lives, every shell command, read pipe and tool run is listed in
// `commands` in order and answered from the test's script, without any process.
// Sysfs reads answer from `sysfs_values`; data files are real files, and a
// shell command's "> file" redirection writes the scripted output there.
#pragma once

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <map>
#include <poll.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "platform/platform.h"
#include "platform/system_ops.h"

class FakePlatform {
  public:
    struct Reply {
        int exit_code = 0;
        std::string output;    // written to the pipe or the tool's output
        bool executes = true;  // false: a tool that cannot be executed (exits 1 unseen)
    };

    FakePlatform() {
        instance() = this;
        previous_ = set_platform(&kOps);
    }
    ~FakePlatform() {
        set_platform(previous_);
        instance() = nullptr;
        if (inhibitor_read_ >= 0)
            close(inhibitor_read_);
    }
    FakePlatform(const FakePlatform&) = delete;
    FakePlatform& operator=(const FakePlatform&) = delete;

    // Answers the commands that begin with `prefix`; the longest matching prefix
    // wins. A command without an answer exits 127, as one the shell cannot find.
    void Script(const std::string& prefix, int exit_code, const std::string& output = "",
                bool executes = true) {
        script_[prefix] = {exit_code, output, executes};
    }

    std::vector<std::string> commands;    // shell and pipe lines; a tool run as its words
    std::vector<std::string> tool_calls;  // arguments (after argument 0) a tool received
    std::map<std::string, unsigned int> sysfs_values;
    std::map<std::string, std::vector<std::string>> sysfs_dirs;
    std::vector<std::string> existing_paths;
    // The host lock: how the attempt ends (a lock that is taken, or held by another
    // run, gets a descriptor on /dev/null), the lock file's holder lines, and the
    // process ids that exist. Each attempt is listed in `commands` as
    // "lock exclusive|shared PATH".
    LockAttempt lock_answer;
    std::string lock_note;
    std::vector<int> live_pids;
    // The shutdown inhibitor: granted unless `inhibit_failure` is set; each request's
    // reason is listed. A granted one is a pipe whose other end the fake keeps.
    std::string inhibit_failure;
    std::vector<std::string> inhibit_reasons;
    bool InhibitorHeld() const {
        if (inhibitor_read_ < 0)
            return false;
        struct pollfd p = {inhibitor_read_, POLLIN, 0};
        return poll(&p, 1, 0) == 0;
    }

  private:
    static FakePlatform*& instance() {
        static FakePlatform* current = nullptr;
        return current;
    }

    Reply Lookup(const std::string& command) const {
        const Reply* best = nullptr;
        size_t best_len = 0;
        for (const auto& [prefix, answer] : script_) {
            if (command.compare(0, prefix.size(), prefix) == 0 && prefix.size() >= best_len) {
                best = &answer;
                best_len = prefix.size();
            }
        }
        return best != nullptr ? *best : Reply{127, "", true};
    }

    // As the shell would, a "> file" redirection receives the command's output.
    static int RunShell(const char* command) {
        instance()->commands.emplace_back(command);
        Reply a = instance()->Lookup(command);
        std::string line = command;
        size_t redirect = line.find(" > ");
        if (redirect != std::string::npos) {
            std::string target = line.substr(redirect + 3);
            target = target.substr(0, target.find(' '));
            if (target != "/dev/null" && a.exit_code != 127) {
                FILE* f = fopen(target.c_str(), "w");
                if (f != nullptr) {
                    fputs(a.output.c_str(), f);
                    fclose(f);
                }
            }
        }
        return a.exit_code;
    }
    static FILE* OpenReadPipe(const char* command) {
        instance()->commands.emplace_back(command);
        FILE* f = tmpfile();
        if (f == nullptr)
            return nullptr;
        std::string out = instance()->Lookup(command).output;
        fwrite(out.data(), 1, out.size(), f);
        rewind(f);
        return f;
    }
    static int CloseReadPipe(FILE* f) { return fclose(f); }
    static bool PathExists(const char* path) {
        for (const std::string& p : instance()->existing_paths)
            if (p == path)
                return true;
        return false;
    }
    static ToolRun RunTool(const char* program, const std::vector<std::string>& args, int output_fd,
                           bool show_output) {
        std::string line = program;
        std::string received;
        for (size_t i = 1; i < args.size(); ++i) received += (i > 1 ? " " : "") + args[i];
        line += " " + received;
        instance()->commands.push_back(line);
        Reply a = instance()->Lookup(line);
        ToolRun run;
        run.started = true;
        run.exit_code = a.executes ? a.exit_code : 1;
        if (!a.executes)
            return run;
        instance()->tool_calls.push_back(received);
        if (output_fd >= 0 && write(output_fd, a.output.data(), a.output.size()) < 0)
            run.exit_code = 1;
        if (show_output)
            fputs(a.output.c_str(), stdout);
        return run;
    }
    static std::vector<CapturedRun> RunCaptured(const std::vector<std::string>& commands,
                                                size_t /*max_at_once*/) {
        std::vector<CapturedRun> results;
        for (const std::string& command : commands) {
            instance()->commands.push_back(command);
            results.push_back({true, instance()->Lookup(command).output});
        }
        return results;
    }
    // A started tool has already run: its outcome waits under its made-up id.
    static StartedTool StartTool(const char* program, const std::vector<std::string>& args,
                                 int output_fd) {
        instance()->started_.push_back(RunTool(program, args, output_fd, false));
        return {static_cast<int>(instance()->started_.size()), 0};
    }
    static bool ReapTool(int pid, ToolRun* run) {
        *run = instance()->started_.at(static_cast<size_t>(pid) - 1);
        return true;
    }
    static int SysfsReadHex(const char* path, unsigned int* value) {
        *value = 0;
        auto it = instance()->sysfs_values.find(path);
        if (it == instance()->sysfs_values.end()) {
            errno = ENOENT;
            return -1;
        }
        *value = it->second;
        return 0;
    }
    static bool SysfsEntryExists(const char* path) {
        return instance()->sysfs_values.count(path) != 0 ||
               instance()->sysfs_dirs.count(path) != 0 || PathExists(path);
    }
    static bool SysfsListDir(const char* dir, std::vector<std::string>* entries) {
        auto it = instance()->sysfs_dirs.find(dir);
        if (it == instance()->sysfs_dirs.end()) {
            errno = ENOENT;
            return false;
        }
        *entries = it->second;
        return true;
    }

    static LockAttempt TakeLock(const char* path, bool exclusive) {
        instance()->commands.push_back(std::string("lock ") +
                                       (exclusive ? "exclusive " : "shared ") + path);
        LockAttempt a = instance()->lock_answer;
        a.fd = a.error == 0 && !a.not_regular ? open("/dev/null", O_RDONLY | O_CLOEXEC) : -1;
        return a;
    }
    static bool EditLockNote(int /*fd*/, const LockNoteEdit& edit) {
        instance()->lock_note = edit(instance()->lock_note);
        return true;
    }
    static bool ProcessExists(int pid) {
        for (int p : instance()->live_pids)
            if (p == pid)
                return true;
        return false;
    }
    static int InhibitShutdown(const char* why, std::string* failure) {
        FakePlatform* f = instance();
        f->inhibit_reasons.emplace_back(why);
        if (!f->inhibit_failure.empty()) {
            *failure = f->inhibit_failure;
            return -1;
        }
        int ends[2];
        if (pipe2(ends, O_CLOEXEC) != 0)
            return -1;
        if (f->inhibitor_read_ >= 0)
            close(f->inhibitor_read_);
        f->inhibitor_read_ = ends[0];
        return ends[1];
    }

    static constexpr PlatformOps kOps = {RunShell,         OpenReadPipe, CloseReadPipe,
                                         PathExists,       RunTool,      SysfsReadHex,
                                         SysfsEntryExists, SysfsListDir, system_create_data_file,
                                         RunCaptured,      StartTool,    ReapTool,
                                         TakeLock,         EditLockNote, ProcessExists,
                                         InhibitShutdown};
    int inhibitor_read_ = -1;
    std::map<std::string, Reply> script_;
    std::vector<ToolRun> started_;
    const PlatformOps* previous_ = nullptr;
};
