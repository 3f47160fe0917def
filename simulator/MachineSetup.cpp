// The Setup API model (oem INF files, device nodes), Plug and Play's
// reaction to the USB printer, and the PrintUIEntry child.
#include <cstdlib>

#include "platform/SetupApi.h"
#include "platform/Spooler.h"
#include "simulator/Inf.h"
#include "simulator/MachineState.h"

namespace zmp::sim {

namespace {

bool IsOemInfName(const std::string& name) {
    return IStartsWith(name, "oem") && IEndsWith(name, ".inf") && name.size() > 7 &&
           name.find_first_not_of("0123456789", 3) == name.size() - 4;
}

std::string PnfName(const std::string& infName) { return infName.substr(0, infName.size() - 4) + ".PNF"; }

bool HasSignature(const InfFile& inf) { return !inf.Value("Version", "Signature").empty(); }

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

const char* const kUnidrvCore[] = {"UNIDRV.DLL", "UNIDRVUI.DLL", "UNIDRV.HLP", "UNIRES.DLL", "STDNAMES.GPD"};

bool IsUnidrvCore(const std::string& name) {
    for (const char* f : kUnidrvCore)
        if (IEquals(name, f)) return true;
    return false;
}

void AddUnique(std::vector<std::string>& list, const std::string& name) {
    if (name.empty()) return;
    for (const std::string& n : list)
        if (IEquals(n, name)) return;
    list.push_back(name);
}

}  // namespace

std::vector<std::string> SimDriver::Files() const {
    std::vector<std::string> out;
    AddUnique(out, driverPath);
    AddUnique(out, dataFile);
    AddUnique(out, configFile);
    AddUnique(out, helpFile);
    for (const std::string& f : dependentFiles) AddUnique(out, f);
    return out;
}

// --- oem INF files ------------------------------------------------------------------

std::vector<std::string> Machine::State::InfFileNames(Dword style) const {
    std::vector<std::string> names;
    for (const FileNode* node : files.Children(files.Follow(InfDir()))) {
        if (node->directory) continue;
        std::string name = FileName(node->path);
        if (!IEndsWith(name, ".inf")) continue;
        bool win4 = HasSignature(InfFile::Parse(node->data));
        if ((win4 && (style & setup::kInfStyleWin4)) || (!win4 && (style & setup::kInfStyleOldNt)))
            names.push_back(name);
    }
    return names;
}

Dword Machine::State::CopyOemInf(const std::string& source, Dword copyStyle, std::string& destination) {
    destination.clear();
    std::string src = files.Follow(source);
    const FileNode* node = files.Get(src);
    if (!node) return files.MissingCode(src);
    if (node->directory) return err::kAccessDenied;
    std::string text = node->data;
    if (!HasSignature(InfFile::Parse(text))) return werr::kWrongInfStyle;
    std::string infDir = InfDir();
    files.EnsureDirectory(infDir);

    // Windows knows an INF it already holds by its content.
    std::string existing;
    for (const FileNode* child : files.Children(files.Follow(infDir))) {
        std::string name = FileName(child->path);
        if (!child->directory && IsOemInfName(name) && child->data == text) {
            existing = name;
            break;
        }
    }
    if (!existing.empty()) {
        destination = JoinPath(infDir, existing);
        if (copyStyle & setup::kSpCopyNoOverwrite) return err::kFileExists;
        files.Put(destination, text);
        files.Put(JoinPath(infDir, PnfName(existing)), "PNF " + source);
        return err::kSuccess;
    }
    if (copyStyle & setup::kSpCopyReplaceOnly) return err::kFileNotFound;
    for (unsigned n = 0;; ++n) {
        std::string name = "oem" + std::to_string(n) + ".inf";
        if (files.Get(files.Follow(JoinPath(infDir, name)))) continue;
        destination = JoinPath(infDir, name);
        files.Put(destination, text);
        files.Put(JoinPath(infDir, PnfName(name)), "PNF " + source);
        return err::kSuccess;
    }
}

Dword Machine::State::UninstallOemInf(const std::string& name, Dword flags) {
    if (name.empty() || name.find_first_of("\\/:") != std::string::npos || !IsOemInfName(name))
        return err::kInvalidParameter;
    std::string path = JoinPath(InfDir(), name);
    if (!files.Get(files.Follow(path))) return err::kFileNotFound;
    if (!(flags & setup::kSuoiForceDelete)) {
        for (const SimDevice& device : devices)
            if (IEquals(device.oemInf, name)) return werr::kInfInUseByDevices;
    }
    files.EraseTree(files.Follow(path));
    files.EraseTree(files.Follow(JoinPath(InfDir(), PnfName(name))));
    return err::kSuccess;
}

SimDevice* Machine::State::FindDevice(const std::string& instanceId) {
    for (SimDevice& d : devices)
        if (IEquals(d.instanceId, instanceId)) return &d;
    return nullptr;
}

// --- Plug and Play --------------------------------------------------------------------

void Machine::State::PlugUsbPrinter() {
    std::string id = std::string(kUsbPrinterInstancePrefix) + kUsbPrinterSerial;
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
        if (const FileNode* oem = files.Get(files.Follow(JoinPath(InfDir(), driver->oemInf)))) infText = oem->data;
    files.Put(JoinPath(staging, "zmpk40.inf"), infText);
    if (!driver) return;

    device->oemInf = driver->oemInf;
    if (!FindPort("USB001")) ports.push_back({"USB001", "USB Monitor", "", 0, 0});
    for (const SimPrinter& p : printers)
        if (IEquals(p.port, "USB001") && IEquals(p.driver, driver->name)) return;
    PrinterInfo2 info;
    info.printerName = kUsbPrinterName;
    for (unsigned copy = 1; FindPrinter(info.printerName); ++copy)
        info.printerName = std::string(kUsbPrinterName) + " (Copy " + std::to_string(copy) + ")";
    info.portName = "USB001";
    info.driverName = driver->name;
    info.printProcessor =
        !driver->printProcessor.empty() && FindProcessor(driver->printProcessor, native) ? driver->printProcessor
                                                                                          : "winprint";
    info.datatype = "RAW";
    info.priority = 1;
    AddPrinter(info);
}

// --- the PrintUIEntry child -----------------------------------------------------------

Dword Machine::State::InstallDriverFromInf(const std::string& infPath, const std::string& model) {
    const FileNode* node = files.Get(files.Follow(infPath));
    if (!node || node->directory) return err::kFileNotFound;
    InfFile inf = InfFile::Parse(node->data);
    std::string native = os.NativeEnvironment();
    const bool x64 = os.is64Bit;
    const std::string decoration = x64 ? "NTamd64" : "NTx86";

    // The manufacturer's models section, decorated for the architecture (a
    // 64-bit system takes only the decorated one).
    const InfLine* modelLine = nullptr;
    if (const std::vector<InfLine>* manufacturers = inf.Section("Manufacturer")) {
        for (const InfLine& m : *manufacturers) {
            if (m.fields.empty() || modelLine) continue;
            std::vector<std::string> candidates;
            for (size_t i = 1; i < m.fields.size(); ++i)
                if (IEquals(m.fields[i], decoration)) candidates.push_back(m.fields[0] + "." + m.fields[i]);
            if (!x64) candidates.push_back(m.fields[0]);
            for (const std::string& section : candidates)
                if (!modelLine) modelLine = inf.Find(section, model);
        }
    }
    if (!modelLine || modelLine->fields.empty()) return err::kUnknownPrinterDriver;

    std::string install = modelLine->fields[0];
    for (const std::string& candidate : {install + "." + decoration, install + ".NT", install}) {
        if (inf.HasSection(candidate)) {
            install = candidate;
            break;
        }
    }
    const std::vector<InfLine>* section = inf.Section(install);
    if (!section) return werr::kSectionNotFound;

    DriverInfo3 info;
    info.version = 3;
    info.name = model;
    info.environment = native;
    info.dataFile = inf.Value(install, "DataFile");
    if (info.dataFile.empty()) info.dataFile = modelLine->fields[0];  // a printer INF's default
    std::string dataSection = inf.Value(install, "DataSection");
    auto fromData = [&](const char* key, const char* unidrv) {
        std::string v = inf.Value(install, key);
        if (v.empty() && !dataSection.empty()) v = inf.Value(dataSection, key);
        if (v.empty() && IStartsWith(dataSection, "UNIDRV")) v = unidrv;
        return v;
    };
    info.driverPath = fromData("DriverFile", "UNIDRV.DLL");
    info.configFile = fromData("ConfigFile", "UNIDRVUI.DLL");
    info.helpFile = fromData("HelpFile", "UNIDRV.HLP");
    info.defaultDataType = inf.Value(install, "DefaultDataType");
    if (info.defaultDataType.empty()) info.defaultDataType = "RAW";

    std::vector<std::string> monitor, processor;
    std::vector<std::string> copyFiles;
    bool unidrv = IStartsWith(dataSection, "UNIDRV");
    for (const InfLine& line : *section) {
        if (IEquals(line.key, "LanguageMonitor")) monitor = line.fields;
        if (IEquals(line.key, "PrintProcessor")) processor = line.fields;
        if (IEquals(line.key, "Needs"))
            for (const std::string& f : line.fields) unidrv = unidrv || IStartsWith(f, "UNIDRV");
        if (!IEquals(line.key, "CopyFiles")) continue;
        for (const std::string& entry : line.fields) {
            if (!entry.empty() && entry[0] == '@') {
                AddUnique(copyFiles, entry.substr(1));
            } else if (const std::vector<InfLine>* list = inf.Section(entry)) {
                for (const InfLine& f : *list) AddUnique(copyFiles, f.key.empty() ? (f.fields.empty() ? "" : f.fields[0]) : f.key);
            }
        }
    }
    std::string monitorDll = monitor.size() > 1 ? monitor[1] : "";
    std::string processorDll = processor.size() > 1 ? processor[1] : "";

    // The driver's own files come from the package's folder for the
    // architecture; Unidrv's come with Windows.
    std::string source = JoinPath(ParentPath(files.Follow(infPath)), x64 ? "Driver64" : "Driver32");
    std::vector<std::string> driverFiles;
    for (const std::string& f : {info.driverPath, info.dataFile, info.configFile, info.helpFile}) AddUnique(driverFiles, f);
    for (const std::string& f : copyFiles)
        if (!IEquals(f, monitorDll) && !IEquals(f, processorDll)) AddUnique(driverFiles, f);
    if (unidrv)
        for (const char* f : kUnidrvCore) AddUnique(driverFiles, f);
    std::vector<std::string> needed = driverFiles;
    AddUnique(needed, monitorDll);
    AddUnique(needed, processorDll);
    std::string target = DriverVersionDir(native, info.version);
    for (const std::string& f : needed) {
        if (IsUnidrvCore(f)) continue;
        const FileNode* file = files.Get(files.Follow(JoinPath(source, f)));
        if (!file || file->directory) return err::kFileNotFound;
    }

    if (!monitorDll.empty()) {
        CopyFile(JoinPath(source, monitorDll), JoinPath(SystemDir(), monitorDll), false, true);
        Dword code = AddMonitor({monitor[0], native, monitorDll});
        if (code && code != err::kPrintMonitorAlreadyInstalled) return code;
        info.monitorName = monitor[0];
    }
    if (!processorDll.empty()) {
        files.EnsureDirectory(ProcessorDir(native));
        CopyFile(JoinPath(source, processorDll), JoinPath(ProcessorDir(native), processorDll), false, true);
        Dword code = AddPrintProcessor(native, processorDll, processor[0]);
        if (code && code != err::kPrintProcessorAlreadyInstalled) return code;
    }
    files.EnsureDirectory(target);
    for (const std::string& f : driverFiles) {
        if (IsUnidrvCore(f)) {
            if (!files.Get(files.Follow(JoinPath(target, f)))) files.Put(JoinPath(target, f), "Unidrv " + f);
            continue;
        }
        CopyFile(JoinPath(source, f), JoinPath(target, f), false, true);
    }
    for (const std::string& f : driverFiles)
        if (!IEquals(f, info.driverPath) && !IEquals(f, info.dataFile) && !IEquals(f, info.configFile) &&
            !IEquals(f, info.helpFile))
            info.dependentFiles.push_back(f);

    std::array<Dword, 4> version = switches.packageVersion;
    const InfLine* driverVer = inf.Find("Version", "DriverVer");
    if (driverVer && driverVer->fields.size() > 1) {
        std::vector<std::string> parts = Split(driverVer->fields[1], '.');
        for (size_t i = 0; i < 4; ++i)
            version[i] = i < parts.size() ? static_cast<Dword>(std::strtoul(parts[i].c_str(), nullptr, 10)) : 0;
    }
    Dword code = AddPrinterDriver(info, version);
    if (code) return code;

    // Windows' own installer keeps the INF as an oem INF.
    std::string oem;
    Dword copied = CopyOemInf(infPath, setup::kSpCopyNoOverwrite, oem);
    SimDriver* driver = FindDriver(model, native);
    if (driver) {
        if (copied == err::kSuccess || copied == err::kFileExists) driver->oemInf = FileName(oem);
        if (!processor.empty()) driver->printProcessor = processor[0];
    }
    return err::kSuccess;
}

Dword Machine::State::RunPrintUiEntry(const std::string& arguments, const std::string& currentDirectory) {
    if (!spoolerRunning) return err::kRpcServerUnavailable;
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
    std::string infPath = NormalizePath(inf);
    if (infPath.empty()) infPath = NormalizePath(JoinPath(currentDirectory, inf));

    std::string native = os.NativeEnvironment();
    if (!(useExisting && FindDriver(model, native))) {
        Dword code = InstallDriverFromInf(infPath, model);
        if (code) return code;
    }
    if (!installPrinter) return err::kSuccess;
    if (name.empty() || port.empty()) return err::kInvalidParameter;
    SimDriver* driver = FindDriver(model, native);
    if (!driver) return err::kUnknownPrinterDriver;
    PrinterInfo2 info;
    info.printerName = name;
    info.portName = port;
    info.driverName = driver->name;
    info.printProcessor =
        !driver->printProcessor.empty() && FindProcessor(driver->printProcessor, native) ? driver->printProcessor
                                                                                          : "winprint";
    info.datatype = "RAW";
    info.priority = 1;
    return AddPrinter(info);
}

}  // namespace zmp::sim
