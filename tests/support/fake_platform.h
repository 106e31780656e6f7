// A recording stand-in for the platform layer (after ninja's FakeCommandRunner):
// while one lives, every shell command, read pipe and child is listed in
// `commands` in order and answered from the test's script, without any process.
// A started child stays running until the test finishes it (Finish, from
// `on_wait`), in the order and with the exit code the test chooses; without
// `on_wait` the oldest running child finishes with its scripted answer as soon as
// the code waits. `max_running` tells how many ran at once. Sysfs reads answer
// from `sysfs_values`; data files are real files, and a shell command's "> file"
// redirection writes the scripted output there.
#pragma once

#include <cerrno>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <fcntl.h>
#include <map>
#include <poll.h>
#include <string>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "platform/system_ops.h"

class FakePlatform {
  public:
    struct Reply {
        int exit_code = 0;
        std::string output;    // written to the pipe or the tool's output
        bool executes = true;  // false: a tool that cannot be executed (exits 1 unseen)
        int start_error = 0;   // nonzero: the child cannot be started (fork fails so)
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

    // A child that the test has `error` fail to start (fork's errno).
    void FailStart(const std::string& prefix, int error) {
        script_[prefix] = {127, "", true, error};
    }

    // Called whenever the code waits for a child and none has finished: the test
    // finishes children or requests a stop there. A wait with a time limit that it
    // leaves without an end runs out of time (a tick); one without a limit would
    // wait for ever, which fails the test.
    std::function<void()> on_wait;
    // Finishes the running child whose command line begins with `prefix` with
    // `exit_code` (a captured child with its scripted output).
    void Finish(const std::string& prefix, int exit_code) {
        for (Child& c : children_) {
            if (c.ended || c.line.compare(0, prefix.size(), prefix) != 0)
                continue;
            c.ended = true;
            c.run.started = true;
            c.run.exit_code = c.reply.executes ? exit_code : 1;
            finished_.push_back(c.id);
            return;
        }
        ADD_FAILURE() << "no running child begins with " << prefix;
    }
    // The next wait reports a stop request by signal `signo`.
    void RequestStop(int signo) { stop_signal_ = signo; }
    // The command lines of the children that run, in the order they started.
    std::vector<std::string> Running() const {
        std::vector<std::string> lines;
        for (const Child& c : children_)
            if (!c.ended)
                lines.push_back(c.line);
        return lines;
    }

    std::vector<std::string> commands;    // shell and pipe lines; a child as its words
    std::vector<std::string> tool_calls;  // arguments (after argument 0) a tool received
    std::map<std::string, unsigned int> sysfs_values;
    std::map<std::string, std::vector<std::string>> sysfs_dirs;
    std::vector<std::string> existing_paths;
    size_t max_running = 0;
    std::vector<PciFunction> pci_functions;  // the bus scan's answer, as it is
    // Every add_line_once, as "path: line"; each answers with add_line_error.
    std::vector<std::string> lines_added;
    int add_line_error = 0;
    // stat answers by path; a path not listed is asked of the real file system.
    std::map<std::string, FileStatus> file_statuses;
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
    struct Child {
        int id = 0;
        std::string line;
        Reply reply;
        bool capture = false;
        bool ended = false;
        bool reported = false;
        ToolRun run;
    };

    // A shell command is listed as its text, a tool as its program and arguments.
    static std::string LineOf(const ChildSpec& child_spec) {
        if (child_spec.args.size() == 3 && child_spec.args[1] == "-c")
            return child_spec.args[2];
        std::string line = child_spec.program;
        for (size_t i = 1; i < child_spec.args.size(); ++i) line += " " + child_spec.args[i];
        return line;
    }

    // A tool's scripted output is in its data file from its start on.
    static StartedChild StartChild(const ChildSpec& child_spec) {
        FakePlatform* self = instance();
        Child child;
        child.line = LineOf(child_spec);
        child.reply = self->Lookup(child.line);
        child.capture = child_spec.capture;
        if (child.reply.start_error != 0)
            return {0, child.reply.start_error};
        self->commands.push_back(child.line);
        if (!child_spec.capture && child.reply.executes) {
            self->tool_calls.push_back(child.line.substr(
                std::min(child.line.size(), std::string(child_spec.program).size() + 1)));
            if (child_spec.output_fd >= 0 && write(child_spec.output_fd, child.reply.output.data(),
                                                   child.reply.output.size()) < 0)
                ADD_FAILURE() << "cannot write the output of " << child.line;
        }
        child.id = static_cast<int>(self->children_.size()) + 1;
        self->children_.push_back(child);
        self->max_running = std::max(self->max_running, self->Running().size());
        return {child.id, 0};
    }

    bool TakeEnd(ChildEnd* end) {
        if (stop_signal_ != 0) {
            end->stop_signal = stop_signal_;
            stop_signal_ = 0;
            return true;
        }
        if (finished_.empty())
            return false;
        Child& c = children_.at(static_cast<size_t>(finished_.front()) - 1);
        finished_.erase(finished_.begin());
        end->id = c.id;
        end->run = c.run;
        if (c.capture)
            end->output = c.reply.output;
        return true;
    }

    static bool WaitChild(int timeout_ms, ChildEnd* end) {
        FakePlatform* self = instance();
        *end = ChildEnd();
        if (self->TakeEnd(end))
            return true;
        if (self->Running().empty())
            return false;
        if (self->on_wait) {
            self->on_wait();
            if (self->TakeEnd(end))
                return true;
            if (timeout_ms >= 0)
                return false;
            ADD_FAILURE() << "the code waits for ever: the test finished no child";
        }
        for (const Child& c : self->children_) {
            if (!c.ended) {
                self->Finish(c.line, c.reply.exit_code);
                break;
            }
        }
        return self->TakeEnd(end);
    }
    static int AddLineOnce(const char* path, const char* line) {
        instance()->lines_added.push_back(std::string(path) + ": " + line);
        return instance()->add_line_error;
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

    static std::vector<PciFunction> ListPciFunctions() { return instance()->pci_functions; }

    static FileStatus StatusOf(const char* path) {
        auto it = instance()->file_statuses.find(path);
        return it != instance()->file_statuses.end() ? it->second : system_file_status(path);
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

    static constexpr PlatformOps kOps = {
        RunShell,       OpenReadPipe,     CloseReadPipe,    PathExists,
        SysfsReadHex,   SysfsEntryExists, SysfsListDir,     system_create_data_file,
        StartChild,     WaitChild,        ListPciFunctions, AddLineOnce,
        StatusOf,       TakeLock,         EditLockNote,     ProcessExists,
        InhibitShutdown};
    int inhibitor_read_ = -1;
    std::map<std::string, Reply> script_;
    std::vector<Child> children_;
    std::vector<int> finished_;  // ended by the test, not yet seen by the code
    int stop_signal_ = 0;
    const PlatformOps* previous_ = nullptr;
};
