// zmpk40-sim: keeps a simulated Windows machine in a directory and runs the
// installer and the uninstaller on it, printing what happened.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "simulator/ChangeReport.h"
#include "simulator/Events.h"
#include "simulator/Machine.h"
#include "simulator/headless/Runner.h"
#include "tools/zmpk40-sim/Options.h"
#include "tools/zmpk40-sim/States.h"

namespace zmp::tool {
namespace {

constexpr int kFailure = 1;
constexpr int kUsageError = 2;
constexpr int kOptionUnused = 3;
constexpr const char* kPackageFolder = "\\Users\\Public\\Downloads\\ZMPK40";
constexpr const char* kUtilitiesFolder = "\\ZMP-K40";
constexpr const char* kDriverName = "KORVANT ZMP-K40";

int Fail(const std::string& message, int code = kFailure) {
    std::fprintf(stderr, "zmpk40-sim: %s\n", message.c_str());
    return code;
}

// One run at a time per machine: DIR/.lock, held (flock) while a command
// uses the directory and released by the system however the run ends.
class MachineLock {
public:
    // An empty dir locks nothing.
    MachineLock(const std::string& dir, bool create) {
        if (dir.empty()) return;
        namespace fs = std::filesystem;
        std::error_code ec;
        if (create) fs::create_directories(dir, ec);
        if (!fs::is_directory(dir, ec)) {
            error_ = "no machine in " + dir;
            return;
        }
        const std::string path = (fs::path(dir) / ".lock").string();
        fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (fd_ < 0) {
            error_ = "cannot use the machine in " + dir + ": " + std::strerror(errno);
            return;
        }
        if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
            char holder[32] = {};
            ssize_t n = ::pread(fd_, holder, sizeof holder - 1, 0);
            std::string pid = n > 0 ? std::string(holder, static_cast<size_t>(n)) : std::string("?");
            while (!pid.empty() && (pid.back() == '\n' || pid.back() == ' ')) pid.pop_back();
            error_ = "the machine in " + dir + " is in use by another run (process " + pid +
                     "); try again when it has ended";
            ::close(fd_);
            fd_ = -1;
            return;
        }
        const std::string pid = std::to_string(::getpid()) + "\n";
        if (::ftruncate(fd_, 0) == 0 && ::pwrite(fd_, pid.data(), pid.size(), 0) < 0) {
            // The pid is only for the message another run gives.
        }
    }
    ~MachineLock() {
        if (fd_ >= 0) ::close(fd_);  // releases the lock
    }
    MachineLock(const MachineLock&) = delete;
    MachineLock& operator=(const MachineLock&) = delete;
    const std::string& Error() const { return error_; }

private:
    int fd_ = -1;
    std::string error_;
};

std::unique_ptr<sim::Machine> LoadMachine(const std::string& dir) {
    std::string error;
    auto machine = sim::Machine::Load(dir, &error);
    if (!machine) Fail("cannot load the machine in " + dir + ": " + error);
    return machine;
}

bool SaveMachine(const sim::Machine& machine, const std::string& dir) {
    std::string error;
    if (machine.Save(dir, &error)) return true;
    Fail("cannot save the machine in " + dir + ": " + error);
    return false;
}

std::string Drive(const sim::Machine& machine) { return machine.WindowsDirectory().substr(0, 2); }

// The printers the uninstaller lists: the local ones on the driver named
// exactly as ours.
std::vector<std::string> ListedPrinters(const sim::Machine& machine) {
    std::vector<std::string> names;
    for (const sim::SimPrinter& p : machine.Printers())
        if (p.driver == kDriverName) names.push_back(p.name);
    return names;
}

int New(const Options& o) {
    std::unique_ptr<sim::Machine> machine;
    if (!o.os.empty()) {
        machine = sim::Machine::Preset(o.os, o.wow64);
        if (!machine) {
            std::string names;
            for (const std::string& n : sim::Machine::PresetNames()) names += " " + n;
            return Fail("no Windows " + o.os + (o.wow64 ? " (64-bit)" : "") + "; one of:" + names +
                        " (--wow64 with xp64, vista, 2008, 2008r2, 7, 10)");
        }
    } else {
        // The state file and the files beside it (its "drive" folder).
        namespace fs = std::filesystem;
        std::error_code ec;
        if (!fs::is_regular_file(o.from)) return Fail("no state file " + o.from);
        fs::path target = fs::path(o.dir) / "state.json";
        fs::path drive = fs::absolute(o.from).parent_path() / "drive";
        fs::path targetDrive = fs::path(o.dir) / "drive";
        if (!fs::equivalent(o.from, target, ec)) {
            ec.clear();
            fs::copy_file(o.from, target, fs::copy_options::overwrite_existing, ec);
            if (ec) return Fail("cannot copy " + o.from + ": " + ec.message());
            if (fs::is_directory(drive)) {
                fs::remove_all(targetDrive, ec);
                fs::copy(drive, targetDrive, fs::copy_options::recursive, ec);
                if (ec) return Fail("cannot copy " + drive.string() + ": " + ec.message());
            }
        }
        machine = LoadMachine(o.dir);
        if (!machine) return kFailure;
    }
    ForgetBeforeState(o.dir);
    return SaveMachine(*machine, o.dir) ? 0 : kFailure;
}

// Saves the machine after a run, plug or reboot, with its state from before.
int SaveWithBefore(const sim::Machine& machine, const Options& o, const std::string& before) {
    if (!SaveMachine(machine, o.dir)) return kFailure;
    std::string error;
    return KeepBeforeState(before, o.dir, o.before, error) ? 0 : Fail(error);
}

int Run(const Options& o, resources::Program program) {
    auto machine = LoadMachine(o.dir);
    if (!machine) return kFailure;

    sim::RunOptions run;
    run.program = program;
    const std::vector<std::string> listed = ListedPrinters(*machine);
    if (program == resources::Program::Installer) {
        if (!std::filesystem::is_directory(o.package)) return Fail("no package folder " + o.package);
        run.currentDirectory = Drive(*machine) + kPackageFolder;
        machine->Remove(run.currentDirectory);  // this package, not an earlier one
        if (!machine->ImportHostTree(o.package, run.currentDirectory))
            return Fail("cannot copy the package " + o.package + " into the machine");
    } else {
        // Where the installer put it, as the "Uninstall" entry says.
        run.currentDirectory = machine->WindowsDirectory() + kUtilitiesFolder;
        std::string program = run.currentDirectory + "\\" + sim::ProgramFileName(run.program);
        if (!machine->FileExists(program)) return Fail("the uninstaller is not installed: no " + program);
        if (std::string wrong = CheckListOptions(o, listed); !wrong.empty()) return Fail(wrong, kUsageError);
    }
    // Files a user put beside the program: a run prints "PLANTED <path> RAN"
    // for each one that ran or was loaded.
    std::vector<std::string> planted;
    for (const std::string& file : o.plant) {
        const std::string path = run.currentDirectory + "\\" + std::filesystem::path(file).filename().string();
        if (!machine->ImportHostFile(file, path)) return Fail("cannot plant " + file);
        planted.push_back(path);
    }
    bool portDialogShown = false;
    run.script = MakeScript(o, listed, &portDialogShown);
    const std::string before = machine->Show();  // the package is the user's, already there
    run.arguments = JoinArguments(o.programArgs);

    sim::Events events;
    events.EchoTo(stdout);
    const long long start = sim::EpochMilliseconds(machine->Now());
    sim::RunProgram(*machine, std::move(run), events);
    events.Add("TIME", std::to_string(sim::EpochMilliseconds(machine->Now()) - start));
    for (const std::string& path : planted)
        for (const std::string& image : machine->LoadedImages())
            if (sim::IEquals(image, path)) {
                std::printf("PLANTED %s RAN\n", path.c_str());
                break;
            }
    if (int saved = SaveWithBefore(*machine, o, before)) return saved;

    // Whether the port dialog shows is the installer's decision (its
    // configuration file): the options for it are reported when unused.
    const bool portOptions = o.cancelPort || !o.port.empty() || !o.ip.empty() || !o.tcpPort.empty();
    if (program == resources::Program::Installer && portOptions && !portDialogShown)
        return Fail("the installer did not show its port dialog (its configuration names the port): "
                    "--port, --ip, --tcp-port and --cancel-port had nothing to act on",
                    kOptionUnused);
    return 0;
}

int Plug(const Options& o) {
    auto machine = LoadMachine(o.dir);
    if (!machine) return kFailure;
    const std::string before = machine->Show();
    machine->PlugUsbPrinter();
    return SaveWithBefore(*machine, o, before);
}

int Reboot(const Options& o) {
    auto machine = LoadMachine(o.dir);
    if (!machine) return kFailure;
    const std::string before = machine->Show();
    machine->Reboot();
    return SaveWithBefore(*machine, o, before);
}

int Show(const Options& o) {
    auto machine = LoadMachine(o.dir);
    if (!machine) return kFailure;
    std::cout << machine->Show() << '\n';
    return 0;
}

int Diff(const Options& o) {
    std::string before, after, error;
    bool read = o.after.empty() ? ReadBeforeState(o.dir, before, error) && ReadState(o.dir, after, error)
                                : ReadState(o.dir, before, error) && ReadState(o.after, after, error);
    if (!read) return Fail(error);
    sim::ChangeReport report;
    if (!report.Compare(before, after, &error)) return Fail(error);
    std::cout << (o.json ? report.AsJson() + "\n" : report.AsText());
    return 0;
}

}  // namespace
}  // namespace zmp::tool

int main(int argc, char** argv) {
    using namespace zmp::tool;
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        std::fputs(kUsage, args.empty() ? stderr : stdout);
        return args.empty() ? kUsageError : 0;
    }
    Options options;
    std::string error;
    if (!ParseOptions(args, options, error)) {
        std::fprintf(stderr, "zmpk40-sim: %s\n\n%s", error.c_str(), kUsage);
        return kUsageError;
    }
    // diff may name state files; every machine directory named is locked.
    const bool stateFile = options.command == "diff" && !std::filesystem::is_directory(options.dir);
    MachineLock lock(stateFile ? std::string() : options.dir, options.command == "new");
    if (!lock.Error().empty()) return Fail(lock.Error());
    std::error_code ec;
    const bool afterDir = !options.after.empty() && std::filesystem::is_directory(options.after) &&
                          !std::filesystem::equivalent(options.after, options.dir, ec);
    MachineLock afterLock(afterDir ? options.after : std::string(), false);
    if (!afterLock.Error().empty()) return Fail(afterLock.Error());
    if (options.command == "new") return New(options);
    if (options.command == "install") return Run(options, zmp::resources::Program::Installer);
    if (options.command == "uninstall") return Run(options, zmp::resources::Program::Uninstaller);
    if (options.command == "plug") return Plug(options);
    if (options.command == "reboot") return Reboot(options);
    if (options.command == "diff") return Diff(options);
    return Show(options);
}
