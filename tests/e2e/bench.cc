// The simulated server for end-to-end cases (see bench.h).
#include "bench.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::string Quote(const std::string& s) {
    return ShellQuote(s);
}

int Shell(const std::string& command) {
    return ShellStatus(command);
}

std::string Substitute(std::string text, const std::string& from, const std::string& to) {
    for (size_t pos = text.find(from); pos != std::string::npos; pos = text.find(from, pos))
        text.replace(pos, from.size(), to), pos += to.size();
    return text;
}

std::string PciAddress(int bus, int routing_id) {
    char text[32];
    snprintf(text, sizeof text, "0000:%02x:%02x.%d", bus, routing_id / 8, routing_id % 8);
    return text;
}

// One ConnectX-5 function (physical 1017 or virtual 1018) in umockdev's format,
// with its sysfs links and attributes in `extra` ("L: name=target" lines).
std::string Cx5Function(const std::string& address, bool virtual_function,
                        const std::string& extra) {
    const char* device = virtual_function ? "1018" : "1017";
    const char* config_id = virtual_function ? "b3151810" : "b3151710";
    return "P: /devices/pci0000:00/" + address + "\nE: SUBSYSTEM=pci\nE: PCI_ID=15B3:" + device +
           "\nE: PCI_SUBSYS_ID=15B3:0020\nE: PCI_CLASS=20000\nA: vendor=0x15b3\nA: device=0x" +
           device +
           "\nA: subsystem_vendor=0x15b3\nA: subsystem_device=0x0020\nA: class=0x020000\n"
           "A: irq=0\nA: resource=0x0000000000000000 0x0000000000000000 0x0000000000000000\n" +
           extra + "H: config=" + config_id +
           "00000000000000020000800000000000000000000000000000000000000000000000000000000000"
           "b315200000000000000000000000000000000000\n\n";
}

}  // namespace

Bench::Bench() : NamespaceBench("fwpak-bench") {
    if (root_.empty())
        return;
    pkg_ = root_ + "/pkg";
    Shell("mkdir -p " + Quote(pkg_ + "/nic_fw") + " " + Quote(StateDir() + "/devices") + " " +
          Quote(root_ + "/up") + " " + Quote(root_ + "/work"));
    WriteFileText(StateDir() + "/calls.log", "");
    InstallFakeTool("burning-tool", pkg_ + "/nic_fw/mstflint");
    InstallFakeTool("getmlnxinfo", pkg_ + "/getmlnxinfo");
    if (NamespacesAvailable())
        SetSecureBoot(SecureBootSetup());
}

void Bench::InstallFakeTool(const std::string& tool, const std::string& dest) {
    std::string text = ReadFileText(std::string(FWPAK_FAKE_TOOLS) + "/" + tool);
    WriteFileText(dest, Substitute(text, "@STATE@", StateDir()));
    chmod(dest.c_str(), 0755);
}

void Bench::WhiteOut(const std::string& name) {
    // An overlay whiteout hides the lower /usr/bin file of that name.
    std::string path = root_ + "/up/" + name;
    unlink(path.c_str());
    mknod(path.c_str(), S_IFCHR | 0000, makedev(0, 0));
}

void Bench::AddDevices(const std::string& name) {
    bus_.AddPci(name);
}

void Bench::AddDeviceText(const std::string& umockdev_text) {
    std::string path = root_ + "/devices-" + std::to_string(bus_.size()) + ".umockdev";
    WriteFileText(path, umockdev_text);
    bus_.AddFile(path);
}

std::vector<std::string> Bench::AddSriovAdapters(int first_bus, int adapters, int vfs) {
    std::vector<std::string> ports;
    std::string text;
    for (int bus = first_bus; bus < first_bus + adapters; ++bus) {
        for (int port = 0; port < 2; ++port) {
            const std::string pf = PciAddress(bus, port);
            std::string links = "A: sriov_numvfs=" + std::to_string(vfs) + "\n";
            for (int n = 0; n < vfs; ++n)
                links += "L: virtfn" + std::to_string(n) + "=../" +
                         PciAddress(bus, 2 + port * vfs + n) + "\n";
            text += Cx5Function(pf, false, links);
            for (int n = 0; n < vfs; ++n)
                text += Cx5Function(PciAddress(bus, 2 + port * vfs + n), true,
                                    "L: physfn=../" + pf + "\n");
        }
        ports.push_back(PciAddress(bus, 0));
    }
    AddDeviceText(text);
    return ports;
}

void Bench::SetPort(const std::string& bdf, const std::string& version, const std::string& psid) {
    std::string dir = StateDir() + "/devices/" + bdf;
    Shell("mkdir -p " + Quote(dir));
    if (!version.empty())
        WriteFileText(dir + "/version", version + "\n");
    if (!psid.empty())
        WriteFileText(dir + "/psid", psid + "\n");
}

void Bench::SetPortFile(const std::string& bdf, const std::string& file,
                        const std::string& content) {
    std::string dir = StateDir() + "/devices/" + bdf;
    Shell("mkdir -p " + Quote(dir));
    WriteFileText(dir + "/" + file, content);
}

std::string Bench::PortVersion(const std::string& bdf) const {
    std::string v = ReadFileText(StateDir() + "/devices/" + bdf + "/version");
    while (!v.empty() && v.back() == '\n') v.pop_back();
    return v;
}

std::string Bench::PortFile(const std::string& bdf, const std::string& file) const {
    return ReadFileText(StateDir() + "/devices/" + bdf + "/" + file);
}

void Bench::RemovePortFile(const std::string& bdf, const std::string& file) {
    unlink((StateDir() + "/devices/" + bdf + "/" + file).c_str());
}

bool Bench::WaitForPortFile(const std::string& bdf, const std::string& file) const {
    const std::string path = StateDir() + "/devices/" + bdf + "/" + file;
    for (int i = 0; i < 600 && !FileExists(path); ++i) usleep(50 * 1000);
    return FileExists(path);
}

void Bench::SetCatalog(const std::string& xml) {
    WritePkgFile("nic_fw/NICFWData.xml", xml);
}

void Bench::UseCatalog(const std::string& name) {
    SetCatalog(ReadFileText(std::string(FWPAK_TEST_DATA) + "/catalog/" + name + ".xml"));
}

void Bench::AddImage(const std::string& file, const std::string& version, const std::string& psid) {
    WritePkgFile("nic_fw/" + file,
                 "version=" + version + "\n" + (psid.empty() ? "" : "psid=" + psid + "\n"));
}

void Bench::SetSecureBoot(const SecureBootSetup& setup) {
    overlay_ = true;
    WriteFileText(StateDir() + "/sb_state",
                  setup.mokutil_line.empty() ? "" : setup.mokutil_line + "\n");
    WriteFileText(StateDir() + "/sb_state_err", setup.mokutil_err);
    WriteFileText(StateDir() + "/sb_state_exit", std::to_string(setup.mokutil_exit));
    WriteFileText(StateDir() + "/mst_status_exit", std::to_string(setup.mst_status_exit));
    WriteFileText(StateDir() + "/mst_start_exit", std::to_string(setup.mst_start_exit));
    if (setup.mokutil_present)
        InstallFakeTool("mokutil", root_ + "/up/mokutil");
    else
        WhiteOut("mokutil");
    if (setup.mst_present)
        InstallFakeTool("mst", root_ + "/up/mst");
    else
        WhiteOut("mst");
    if (setup.flint_present)
        InstallFakeTool("burning-tool", root_ + "/up/flint");
    else
        WhiteOut("flint");
}

void Bench::HidePciIds() {
    hide_pci_ids_ = true;
}

void Bench::MakeReadOnly(const std::string& rel) {
    read_only_dirs_.push_back(pkg_ + "/" + rel);
}

void Bench::MakeTmpReadOnly() {
    tmp_read_only_ = true;
}

// Every run in a mount namespace gets a private /tmp inside the bench directory, so
// the data files fwpak leaves in /tmp go away with the bench instead of piling up on
// the machine. The private /tmp holds one mount point, where the bench directory is
// bound, so the package, the state files and the tools keep their paths; for
// MakeTmpReadOnly /tmp itself is then remounted read-only. umockdev-run makes its
// test bed in TMPDIR, which points into the bench directory.
std::string Bench::PrivateTmpScript() const {
    // Everything a run needs that lives under /tmp (the bench directory, and the
    // source or build tree when the checkout itself is under /tmp) is bound into the
    // private /tmp at its own path, one top-level entry each.
    std::set<std::string> entries;
    for (const std::string& path :
         {root_, std::string(FWPAK_TEST_DATA), std::string(FWPAK_FAKE_TOOLS), program_}) {
        if (path.rfind("/tmp/", 0) != 0)
            continue;
        entries.insert(path.substr(0, path.find('/', 5)));
    }
    std::string script = "mkdir -p " + Quote(root_ + "/tmpdir") + "\n";
    for (const std::string& entry : entries) {
        const std::string mount_point = PrivateTmp() + entry.substr(std::string("/tmp").size());
        script += "mkdir -p " + Quote(mount_point) + "\n";
        script += "mount --bind " + Quote(entry) + " " + Quote(mount_point) + "\n";
    }
    script += "mount --rbind " + Quote(PrivateTmp()) + " /tmp\n";
    if (tmp_read_only_)
        script += "mount -o remount,bind,ro /tmp\n";
    return script + "export TMPDIR=" + Quote(root_ + "/tmpdir") + "\n";
}

std::string Bench::HostPath(const std::string& path) const {
    if (path.rfind("/tmp/", 0) != 0 || !NamespacesAvailable())
        return path;
    return PrivateTmp() + path.substr(std::string("/tmp").size());
}

// The private system bus of UseSystemBus: a dbus-daemon of the bench's own
// configuration listening where sd-bus looks for the system bus, and dbusmock's
// logind, waited for until it owns its name.
std::string Bench::SystemBusScript() const {
    WriteFileText(root_ + "/system-bus.conf",
                  "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration "
                  "1.0//EN\"\n \"http://www.freedesktop.org/standards/dbus/1.0/"
                  "busconfig.dtd\">\n<busconfig>\n  <type>system</type>\n"
                  "  <listen>unix:path=/run/dbus/system_bus_socket</listen>\n"
                  "  <auth>EXTERNAL</auth>\n  <policy context=\"default\">\n"
                  "    <allow user=\"*\"/>\n    <allow own=\"*\"/>\n"
                  "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
                  "    <allow receive_sender=\"*\"/>\n  </policy>\n</busconfig>\n");
    return "mkdir -p /run/dbus\n"
           "bus_pid=$(dbus-daemon --config-file=" +
           Quote(root_ + "/system-bus.conf") +
           " --fork --print-pid)\n"
           "/usr/bin/python3 -m dbusmock --system --template logind -l " +
           Quote(root_ + "/logind.log") + " > " + Quote(root_ + "/dbusmock.out") +
           " 2>&1 &\nmock_pid=$!\n"
           "for i in $(seq 200); do\n"
           "    dbus-send --system --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus "
           "org.freedesktop.DBus.NameHasOwner string:org.freedesktop.login1 2>/dev/null |\n"
           "        grep -q 'boolean true' && break\n"
           "    sleep 0.05\n"
           "done\n";
}

std::string Bench::Inhibitors() const {
    return ReadFileText(root_ + "/inhibitors");
}

std::string Bench::LogindLog() const {
    return ReadFileText(root_ + "/logind.log");
}

std::string Bench::RunScriptText(const std::vector<std::string>& args, const std::string& name,
                                 const std::string& input, bool* private_ns) {
    const std::string files = name == "run" ? root_ + "/std" : root_ + "/" + name + ".std";
    const std::string in = files + "in", out = files + "out", err = files + "err";
    WriteFileText(in, input);

    *private_ns = NamespacesAvailable() || hide_pci_ids_ || !read_only_dirs_.empty() ||
                  tmp_read_only_ || run_read_only_ || system_bus_;
    std::string script = "set -e\n";
    // First the private /tmp: the mounts below then land on the bench directory as
    // seen through it. Then the case's own /run.
    if (NamespacesAvailable()) {
        script += PrivateTmpScript();
        Shell("mkdir -p " + Quote(RunDir()));
        script += "mount --bind " + Quote(RunDir()) + " /run\n";
        if (run_read_only_)
            script += "mount -o remount,bind,ro /run\n";
    }
    if (overlay_) {
        script += "mount -t overlay overlay -o lowerdir=/usr/bin,upperdir=" + Quote(root_ + "/up") +
                  ",workdir=" + Quote(root_ + "/work") + " /usr/bin\n";
    }
    if (hide_pci_ids_) {
        WriteFileText(root_ + "/empty-pci.ids", "");
        script += "mount --bind " + Quote(root_ + "/empty-pci.ids") + " /usr/share/misc/pci.ids\n";
    }
    for (const std::string& dir : read_only_dirs_) {
        script += "mount --bind " + Quote(dir) + " " + Quote(dir) + "\n";
        script += "mount -o remount,bind,ro " + Quote(dir) + "\n";
    }
    if (system_bus_)
        script += SystemBusScript();
    script += "cd " + Quote(pkg_) + "\n" + (system_bus_ ? "st=0\n" : "exec ") + "timeout 120 " +
              bus_.Command();
    if (!launcher_.empty())
        script += "sh -c " + Quote(launcher_) + " sh ";
    script += Quote(program_);
    for (const std::string& a : args) script += " " + Quote(a);
    script += " < " + Quote(in) + " > " + Quote(out) + " 2> " + Quote(err);
    if (!system_bus_)
        return script + "\n";
    return script + " || st=$?\nbusctl --system call org.freedesktop.login1 " +
           "/org/freedesktop/login1 org.freedesktop.login1.Manager ListInhibitors > " +
           Quote(root_ + "/inhibitors") + " 2>&1 || true\nkill $mock_pid $bus_pid\nexit $st\n";
}

RunResult Bench::Run(const std::vector<std::string>& args, const std::string& input) {
    RunResult r;
    bool private_ns = false;
    const std::string script = RunScriptText(args, "run", input, &private_ns);
    if (private_ns && !NamespacesAvailable()) {
        ADD_FAILURE() << "this case needs a mount namespace; guard it with REQUIRE_NAMESPACES()";
        return r;
    }
    r.status = RunScript(script, private_ns);
    r.out = ReadFileText(root_ + "/stdout");
    r.err = ReadFileText(root_ + "/stderr");
    return r;
}

int Bench::Start(const std::vector<std::string>& args, const std::string& name) {
    bool private_ns = false;
    const std::string script = RunScriptText(args, name, "", &private_ns);
    const std::string command = ScriptCommand(script, private_ns, name);
    const pid_t pid = fork();
    if (pid == 0) {
        execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    return pid;
}

RunResult Bench::Finish(int pid, const std::string& name) {
    RunResult r;
    int status = 0;
    if (pid <= 0 || waitpid(pid, &status, 0) != pid)
        return r;
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = ReadFileText(root_ + "/" + name + ".stdout");
    r.err = ReadFileText(root_ + "/" + name + ".stderr");
    return r;
}

void Bench::SetRunFile(const std::string& name, const std::string& content) {
    Shell("mkdir -p " + Quote(RunDir()));
    WriteFileText(RunDir() + "/" + name, content);
}

std::string Bench::RunFile(const std::string& name) const {
    return ReadFileText(RunDir() + "/" + name);
}

bool Bench::RunFileExists(const std::string& name) const {
    return access((RunDir() + "/" + name).c_str(), F_OK) == 0;
}

std::string Bench::Calls() const {
    return ReadFileText(StateDir() + "/calls.log");
}

std::vector<std::string> Bench::CallLines() const {
    std::vector<std::string> lines;
    std::istringstream in(Calls());
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::vector<std::string> Bench::BurnCalls() const {
    std::vector<std::string> burns;
    for (const std::string& line : CallLines()) {
        if (line.size() > 2 && line.compare(line.size() - 2, 2, " b") == 0)
            burns.push_back(line);
    }
    return burns;
}

std::vector<std::string> Bench::BurnCallSet() const {
    std::vector<std::string> burns = BurnCalls();
    std::sort(burns.begin(), burns.end());
    return burns;
}

std::vector<Bench::Span> Bench::ToolSpans() const {
    std::map<std::string, Span> open;
    std::vector<Span> spans;
    std::istringstream in(ReadFileText(StateDir() + "/times.log"));
    std::string name, edge, args;
    double at = 0;
    while (in >> name >> edge >> at && std::getline(in, args)) {
        if (edge == "start") {
            open[args] = Span{args.substr(1), at, at};
        } else if (open.count(args) != 0) {
            open[args].end = at;
            spans.push_back(open[args]);
            open.erase(args);
        }
    }
    return spans;
}

std::string Bench::EventLog() const {
    return ReadPkgFile("mstflint.log");
}

std::string Bench::ReadPkgFile(const std::string& rel) const {
    return ReadFileText(pkg_ + "/" + rel);
}

void Bench::WritePkgFile(const std::string& rel, const std::string& content) {
    WriteFileText(pkg_ + "/" + rel, content);
}
