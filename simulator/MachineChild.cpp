// The two ways Windows installs a driver package by itself: the PrintUIEntry
// child the installer starts, and Plug and Play, when the USB printer is
// switched on or found again at a restart.
#include "platform/SetupApi.h"
#include "simulator/MachineState.h"

namespace zmp::sim {

namespace {

// The command line's words: blanks separate, double quotes group.
std::vector<std::string> CommandWords(const std::string& text) {
    std::vector<std::string> words;
    std::string current;
    bool quoted = false, any = false;
    for (char c : text) {
        if (c == '"') {
            quoted = !quoted;
            any = true;
        } else if ((c == ' ' || c == '\t') && !quoted) {
            if (any) words.push_back(current);
            current.clear();
            any = false;
        } else {
            current += c;
            any = true;
        }
    }
    if (any) words.push_back(current);
    return words;
}

constexpr const char* kUsbPort = "USB001";

}  // namespace

PrinterInfo2 Machine::State::PrinterOn(const SimDriver& driver, const std::string& name, const std::string& port) {
    PrinterInfo2 info;
    info.printerName = name;
    info.portName = port;
    info.driverName = driver.name;
    // The processor the driver's INF named, when it is there.
    info.printProcessor = !driver.printProcessor.empty() && FindProcessor(driver.printProcessor, os.NativeEnvironment())
                              ? driver.printProcessor
                              : "winprint";
    info.datatype = "RAW";
    info.priority = 1;
    return info;
}

// --- the PrintUIEntry child -----------------------------------------------------------

Dword Machine::State::RunPrintUiEntry(const std::string& arguments, const std::string& currentDirectory,
                                      const std::string& callerEnvironment) {
    if (!SpoolerAccepting()) return err::kRpcServerUnavailable;
    std::vector<std::string> words = CommandWords(arguments);
    bool installDriver = false, installPrinter = false, useExisting = false;
    std::string name, inf, port, model;
    for (size_t i = 0; i < words.size(); ++i) {
        const std::string& w = words[i];
        auto take = [&](std::string& out, const char* option) {
            if (IEquals(w, option)) {
                if (i + 1 < words.size()) out = words[++i];
                return true;
            }
            if (IStartsWith(w, option)) {
                out = w.substr(2);
                return true;
            }
            return false;
        };
        if (IEquals(w, "/ia")) installDriver = true;
        else if (IEquals(w, "/if")) installPrinter = true;
        else if (IEquals(w, "/u")) useExisting = true;
        else if (IEquals(w, "/q")) continue;
        else if (take(name, "/b") || take(inf, "/f") || take(port, "/r") || take(model, "/m")) continue;
    }
    if ((!installDriver && !installPrinter) || model.empty() || inf.empty()) return err::kInvalidParameter;
    if (installPrinter && (name.empty() || port.empty())) return err::kInvalidParameter;
    std::string infPath = NormalizePath(inf);
    if (infPath.empty()) infPath = NormalizePath(JoinPath(currentDirectory, inf));

    // Everything is checked first: a child that fails installs nothing.
    const std::string native = os.NativeEnvironment();
    const std::string environment =
        switches.childEnvironment == ChildEnvironment::Caller ? callerEnvironment : native;
    const bool install = !(useExisting && FindDriver(model, environment));
    DriverPackage package;
    if (install) {
        if (Dword code = ReadPackage(infPath, model, environment, package)) return code;
        if (os.VistaOrLater())
            if (Dword code = VerifySignature(infPath, *ParseInf(FindFile(infPath)->data))) return code;
    }
    if (installPrinter) {
        const SimPrinter* existing = FindPrinter(name);
        if (existing && !existing->pendingDeletion) return err::kPrinterAlreadyExists;
        if (!FindPort(port)) return err::kUnknownPort;
        // The printer needs the driver of the spooler's own environment.
        if (!IEquals(environment, native) && !FindDriver(model, native)) return err::kUnknownPrinterDriver;
    }

    if (install)
        if (Dword code = InstallPackage(infPath, package)) return code;
    if (!installPrinter) return err::kSuccess;
    SimDriver* driver = FindDriver(model, native);
    if (!driver) return err::kUnknownPrinterDriver;
    return AddPrinter(PrinterOn(*driver, name, port));
}

// --- Plug and Play --------------------------------------------------------------------

void Machine::State::PlugUsbPrinter() {
    std::string id = std::string(kUsbPrinterInstancePrefix) + kUsbPrinterSerial;
    for (auto it = undiscoveredDevices.begin(); it != undiscoveredDevices.end();)
        it = IEquals(it->instanceId, id) ? undiscoveredDevices.erase(it) : it + 1;
    SimDevice* device = FindDevice(id);
    if (!device) {
        devices.push_back({id, {"USB\\Vid_7F3C&Pid_0042&Rev_0100", "USB\\Vid_7F3C&Pid_0042"}, true, ""});
        device = &devices.back();
    }
    device->present = true;

    std::string enumKey = std::string("HKLM\\") + kUsbPrintEnumKey;
    std::string instanceKey = enumKey + "\\7&2F1B3A4C&0&USB001";
    RegNode& instance = registry.Create(instanceKey);
    instance.values["DEVICEDESC"] = {"DeviceDesc", RegValue{1, kUsbPrinterName, 0, {}}};
    RegNode& parent = *registry.Get(enumKey);
    parent.protectedKey = true;
    parent.protectionRoot = true;
    instance.protectedKey = true;

    std::string native = os.NativeEnvironment();
    SimDriver* driver = FindDriver(kUsbPrinterName, native);
    std::string staging = JoinPath(DriverDir(native), kPnpStagingDirectory);
    files.EnsureDirectory(staging);
    std::string infText = "; staged by Plug and Play\r\n";
    if (driver && !driver->oemInf.empty())
        if (const FileNode* oem = FindFile(JoinPath(InfDir(), driver->oemInf))) infText = oem->data;
    files.Put(JoinPath(staging, "zmpk40.inf"), infText);
    if (!driver) return;

    device->oemInf = driver->oemInf;
    if (!FindPort(kUsbPort)) ports.push_back({kUsbPort, "USB Monitor", "", 0, 0});
    for (const SimPrinter& p : printers)
        if (IEquals(p.port, kUsbPort) && IEquals(p.driver, driver->name)) return;
    std::string name = kUsbPrinterName;
    for (unsigned copy = 1; FindPrinter(name); ++copy)
        name = std::string(kUsbPrinterName) + " (Copy " + std::to_string(copy) + ")";
    AddPrinter(PrinterOn(*driver, name, kUsbPort));
}

void Machine::State::RediscoverDevices() {
    std::vector<SimDevice> found;
    found.swap(undiscoveredDevices);
    const std::string native = os.NativeEnvironment();
    // Where Windows looks for a driver: the packages in its driver store
    // and the oem INFs whose package is still where it came from.
    std::vector<std::string> candidates;
    for (const FileNode* package : files.Children(files.Follow(DriverStoreDir())))
        if (package->directory)
            for (const FileNode* f : files.Children(package->path))
                if (!f->directory && IEndsWith(f->path, ".inf")) candidates.push_back(f->path);
    for (const std::string& oem : InfFileNames(setup::kInfStyleWin4)) {
        const FileNode* pnf = FindFile(JoinPath(InfDir(), oem.substr(0, oem.size() - 4) + ".PNF"));
        if (pnf && IStartsWith(pnf->data, "PNF ") && FindFile(pnf->data.substr(4))) candidates.push_back(pnf->data.substr(4));
    }

    for (SimDevice device : found) {
        device.present = true;
        device.oemInf.clear();
        if (!FindDevice(device.instanceId)) devices.push_back(device);
        // The first package whose models name one of the device's ids.
        for (const std::string& infPath : candidates) {
            const std::string model = ModelFor(*ParseInf(FindFile(infPath)->data), device.hardwareIds);
            DriverPackage package;
            if (model.empty() || ReadPackage(infPath, model, native, package) != err::kSuccess) continue;
            if (InstallPackage(infPath, package) != err::kSuccess) continue;
            if (SimDriver* driver = FindDriver(model, native))
                if (SimDevice* d = FindDevice(device.instanceId)) d->oemInf = driver->oemInf;
            break;
        }
        if (IStartsWith(device.instanceId, kUsbPrinterInstancePrefix)) PlugUsbPrinter();
    }
}

}  // namespace zmp::sim
