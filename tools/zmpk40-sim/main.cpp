// zmpk40-sim: keeps a simulated Windows machine in a directory and runs the
// installer and the uninstaller on it, printing what happened.
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

constexpr int kUsageError = 2;
constexpr int kFailure = 1;
constexpr const char* kPackageFolder = "\\Users\\Public\\Downloads\\ZMPK40";
constexpr const char* kUtilitiesFolder = "\\ZMP-K40";

int Fail(const std::string& message) {
    std::fprintf(stderr, "zmpk40-sim: %s\n", message.c_str());
    return kFailure;
}

// Milliseconds since 1970 of a local time (days from the civil date).
long long Milliseconds(const LocalTime& t) {
    long long y = static_cast<long long>(t.year) - (t.month <= 2 ? 1 : 0);
    long long era = (y >= 0 ? y : y - 399) / 400;
    long long yoe = y - era * 400;
    long long m = t.month;
    long long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + t.day - 1;
    long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    long long days = era * 146097 + doe - 719468;
    return ((days * 24 + t.hour) * 60 + t.minute) * 60000LL + t.second * 1000LL + t.milliseconds;
}

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
        fs::create_directories(o.dir, ec);
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

// Saves the machine after a run or plug, with its state from before.
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
    }
    run.script = MakeScript(o);
    const std::string before = machine->Show();  // the package is the user's, already there
    run.arguments = JoinArguments(o.programArgs);

    sim::Events events;
    events.EchoTo(stdout);
    const long long start = Milliseconds(machine->Now());
    sim::RunProgram(*machine, std::move(run), events);
    events.Add("TIME", std::to_string(Milliseconds(machine->Now()) - start));
    return SaveWithBefore(*machine, o, before);
}

int Plug(const Options& o) {
    auto machine = LoadMachine(o.dir);
    if (!machine) return kFailure;
    const std::string before = machine->Show();
    machine->PlugUsbPrinter();
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
    if (options.command == "new") return New(options);
    if (options.command == "install") return Run(options, zmp::resources::Program::Installer);
    if (options.command == "uninstall") return Run(options, zmp::resources::Program::Uninstaller);
    if (options.command == "plug") return Plug(options);
    if (options.command == "diff") return Diff(options);
    return Show(options);
}
