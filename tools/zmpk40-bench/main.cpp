// zmpk40-bench: how the simulated programs scale with the printers of a
// machine. For N printers on our driver and as many on another maker's, on
// Windows 7 x64, it runs the installer over an older version (which removes
// our N printers and the driver) and the uninstaller over the current one
// (all N checked), and prints the CPU time of each and per printer.
//   zmpk40-bench [N...]      default 10 100 1000 5000
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "simulator/Events.h"
#include "simulator/Machine.h"
#include "simulator/headless/Runner.h"
#include "simulator/headless/Script.h"

namespace {

using namespace zmp;
using sim::Machine;

constexpr const char* kDriver = "KORVANT ZMP-K40";
constexpr const char* kMonitor = "KVT Language Monitor ZMP-K40";
constexpr const char* kProcessor = "KVT PRINT PROCESSOR ZMP-K40";
constexpr const char* kPackage = "C:\\Users\\Public\\Downloads\\ZMPK40";
constexpr const char* kUninstallKey = "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\KORVANT_ZMP-K40";

sim::SimDriver Driver(const std::string& name, const std::string& config) {
    sim::SimDriver d;
    d.name = name;
    d.driverPath = "UNIDRV.DLL";
    d.dataFile = name + ".GPD";
    d.configFile = config;
    d.helpFile = "UNIDRV.HLP";
    d.dependentFiles = {"UNIRES.DLL", "STDNAMES.GPD"};
    return d;
}

// Windows 7 x64 with our driver at version minor.build, N printers on it
// and N on another maker's driver, and what an installation left.
std::unique_ptr<Machine> NewMachine(unsigned n, Dword build) {
    auto m = Machine::Preset("7", true);
    const std::string windir = m->WindowsDirectory();
    m->WriteFile(m->SystemDirectory() + "\\ZPMON40.dll", "monitor");
    m->AddMonitorRecord({kMonitor, "", "ZPMON40.dll"});
    m->WriteFile(m->PrintProcessorDirectory("Windows x64") + "\\ZPPRO40.dll", "processor");
    m->AddProcessorRecord({kProcessor, "", "ZPPRO40.dll"});
    sim::SimDriver ours = Driver(kDriver, "UNIDRVUI.DLL");
    ours.dependentFiles.push_back("ZMP40.dll");
    ours.monitorName = kMonitor;
    ours.printProcessor = kProcessor;
    ours.reportedData = {{"MajorVersion", 2}, {"MinorVersion", 0}, {"BuildVersion", build}, {"ExtraVersion", 0}};
    m->AddDriverRecord(ours);
    m->AddDriverRecord(Driver("ACME LX-9", "ACMEUI.DLL"));
    for (unsigned i = 0; i < n; ++i) {
        sim::SimPrinter p;
        p.name = std::string(kDriver) + " (" + std::to_string(i) + ")";
        p.driver = kDriver;
        p.port = "COM1:";
        p.processor = kProcessor;
        m->AddPrinterRecord(p);
        p.name = "ACME LX-9 (" + std::to_string(i) + ")";
        p.driver = "ACME LX-9";
        p.processor = "winprint";
        m->AddPrinterRecord(p);
    }
    m->WriteFile(windir + "\\ZMP-K40\\ZMPK40_Uninstaller.exe", "uninstaller");
    m->SetString(kUninstallKey, "DisplayName", "KORVANT ZMP-K40 Windows Driver");
    m->ImportHostFile(std::string(ZMP_SOURCE_DIR) + "/package/ZMPK40.inf", std::string(kPackage) + "\\ZMPK40.inf");
    m->WriteFile(std::string(kPackage) + "\\ZMPK40_Config.KVT", "[ZMPK40]\r\nPORTDLG=TRUE\r\n");
    m->WriteFile(std::string(kPackage) + "\\ZMPK40_Uninstaller.exe", "uninstaller");
    return m;
}

double CpuSeconds() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

// The CPU time of one run of the program on the machine.
double Run(Machine& machine, resources::Program program) {
    sim::RunOptions options;
    options.program = program;
    options.currentDirectory =
        program == resources::Program::Installer ? std::string(kPackage) : machine.WindowsDirectory() + "\\ZMP-K40";
    options.script.OnDialog("Port Type", {sim::UserAction::Click(1006), sim::UserAction::Click(1)});
    options.script.OnDialog("KORVANT ZMP-K40 Uninstaller", {sim::UserAction::Click(1001)});
    options.script.AnswerYesNo(false);
    sim::Events events;
    const double start = CpuSeconds();
    sim::RunProgram(machine, std::move(options), events);
    return CpuSeconds() - start;
}

size_t OurPrinters(const Machine& m) {
    size_t n = 0;
    for (const sim::SimPrinter& p : m.Printers()) n += p.driver == kDriver;
    return n;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<unsigned> sizes;
    for (int i = 1; i < argc; ++i) sizes.push_back(static_cast<unsigned>(std::strtoul(argv[i], nullptr, 10)));
    if (sizes.empty()) sizes = {10, 100, 1000, 5000};

    std::printf("%8s %12s %12s %12s %16s\n", "printers", "install s", "uninstall s", "total s", "per printer ms");
    std::vector<double> perPrinter;
    for (unsigned n : sizes) {
        auto older = NewMachine(n, 5);
        const double install = Run(*older, resources::Program::Installer);
        auto current = NewMachine(n, 6);
        const double uninstall = Run(*current, resources::Program::Uninstaller);
        if (OurPrinters(*older) != 0 || OurPrinters(*current) != 0 || current->Printers().size() != n) {
            std::fprintf(stderr, "zmpk40-bench: the runs over %u printers did not remove what they should\n", n);
            return 1;
        }
        const double total = install + uninstall;
        perPrinter.push_back(total * 1000.0 / n);
        std::printf("%8u %12.3f %12.3f %12.3f %16.4f\n", n, install, uninstall, total, perPrinter.back());
    }
    // Fixed costs weigh on the smallest machine; 100 printers is where the
    // per-printer cost has settled.
    for (size_t i = 0; i + 1 < sizes.size(); ++i)
        if (i == 0 || sizes[i] == 100)
            std::printf("per printer, %u against %u printers: %.2f\n", sizes.back(), sizes[i],
                        perPrinter.back() / perPrinter[i]);
    return 0;
}
