// The Setup API model: oem INF files, the driver store, device nodes, and
// how Windows reads a driver package from its INF (models sections for an
// environment, install sections, source disks) and installs it.
#include <algorithm>
#include <cstdlib>

#include "platform/SetupApi.h"
#include "platform/Spooler.h"
#include "simulator/Inf.h"
#include "simulator/MachineState.h"
#include "simulator/PeImage.h"

namespace zmp::sim {

namespace {

const char* const kUnidrvCore[] = {"UNIDRV.DLL", "UNIDRVUI.DLL", "UNIDRV.HLP", "UNIRES.DLL", "STDNAMES.GPD"};
constexpr std::int64_t kFiletimeDaysTo1970 = 134774;  // 1601-01-01 to 1970-01-01
constexpr size_t kInfCacheSize = 64;
constexpr std::uint64_t kFiletimeTicksPerDay = 864000000000ULL;

bool IsOemInfName(const std::string& name) {
    return IStartsWith(name, "oem") && IEndsWith(name, ".inf") && name.size() > 7 &&
           name.find_first_not_of("0123456789", 3) == name.size() - 4;
}

std::string PnfName(const std::string& infName) { return infName.substr(0, infName.size() - 4) + ".PNF"; }

bool HasSignature(const InfFile& inf) { return !inf.Value("Version", "Signature").empty(); }

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

// The platform extensions of an environment: models sections ("NTamd64"),
// source disks ("amd64").
std::string Decoration(const std::string& environment) {
    if (IEquals(environment, kEnvX64)) return "NTamd64";
    if (IEquals(environment, kEnvX86)) return "NTx86";
    return "";
}
std::string SourceArch(const std::string& environment) { return IEquals(environment, kEnvX64) ? "amd64" : "x86"; }

// The models sections Windows reads for an environment, with the maker's
// name: 64-bit takes only the one decorated for it, x86 the decorated one
// when listed, else "NT" or the undecorated one.
std::vector<std::pair<std::string, std::string>> ModelsSections(const InfFile& inf, const std::string& environment) {
    std::vector<std::pair<std::string, std::string>> out;
    const std::vector<InfLine>* manufacturers = inf.Section("Manufacturer");
    if (!manufacturers) return out;
    const std::string decoration = Decoration(environment);
    for (const InfLine& m : *manufacturers) {
        if (m.fields.empty()) continue;
        const std::string maker = m.key.empty() ? m.fields[0] : m.key;
        bool listed = false, nt = false;
        for (size_t i = 1; i < m.fields.size(); ++i) {
            listed = listed || (!decoration.empty() && IEquals(m.fields[i], decoration));
            nt = nt || IEquals(m.fields[i], "NT");
        }
        if (listed) out.push_back({maker, m.fields[0] + "." + decoration});
        else if (!IEquals(environment, kEnvX64)) out.push_back({maker, nt ? m.fields[0] + ".NT" : m.fields[0]});
    }
    return out;
}

// The install section of a model line: decorated for the environment when
// such a section exists.
std::string InstallSection(const InfFile& inf, const std::string& base, const std::string& environment) {
    const std::string decoration = Decoration(environment);
    for (const std::string& candidate :
         {decoration.empty() ? std::string() : base + "." + decoration, base + ".NT", base})
        if (!candidate.empty() && inf.HasSection(candidate)) return candidate;
    return "";
}

// The files a section's CopyFiles directives name ("@file" or file lists).
std::vector<std::string> CopyFilesOf(const InfFile& inf, const std::string& section) {
    std::vector<std::string> out;
    const std::vector<InfLine>* lines = inf.Section(section);
    if (!lines) return out;
    for (const InfLine& line : *lines) {
        if (!IEquals(line.key, "CopyFiles")) continue;
        for (const std::string& entry : line.fields) {
            if (!entry.empty() && entry[0] == '@') {
                AddUnique(out, entry.substr(1));
            } else if (const std::vector<InfLine>* list = inf.Section(entry)) {
                for (const InfLine& f : *list)
                    AddUnique(out, f.key.empty() ? (f.fields.empty() ? "" : f.fields[0]) : f.key);
            }
        }
    }
    return out;
}

// Where the package keeps a file for an environment: [SourceDisksFiles(.arch)]
// names its disk, [SourceDisksNames(.arch)] the disk's folder beside the
// INF. An INF without source disks keeps its files beside itself.
Dword SourceOf(const InfFile& inf, const std::string& infDir, const std::string& environment, const std::string& file,
               std::string& out) {
    const std::string arch = SourceArch(environment);
    const std::string names = inf.HasSection("SourceDisksNames." + arch) ? "SourceDisksNames." + arch
                                                                          : "SourceDisksNames";
    if (!inf.HasSection(names)) {
        out = JoinPath(infDir, file);
        return err::kSuccess;
    }
    const InfLine* entry = inf.Find("SourceDisksFiles." + arch, file);
    if (!entry) entry = inf.Find("SourceDisksFiles", file);
    if (!entry || entry->fields.empty()) return werr::kLineNotFound;
    const InfLine* disk = inf.Find(names, entry->fields[0]);
    if (!disk) return werr::kLineNotFound;
    std::string folder = disk->fields.size() > 3 ? disk->fields[3] : "";
    if (entry->fields.size() > 1 && !entry->fields[1].empty()) folder = JoinPath(folder, entry->fields[1]);
    while (!folder.empty() && (folder[0] == '\\' || folder[0] == '/')) folder.erase(0, 1);
    out = NormalizePath(JoinPath(JoinPath(infDir, folder), file));
    return err::kSuccess;
}

// DriverVer's date "mm/dd/yyyy" as a FILETIME.
std::uint64_t DriverDate(const std::string& text) {
    std::vector<std::string> parts = Split(text, '/');
    if (parts.size() != 3) return 0;
    const unsigned m = static_cast<unsigned>(std::strtoul(parts[0].c_str(), nullptr, 10));
    const unsigned d = static_cast<unsigned>(std::strtoul(parts[1].c_str(), nullptr, 10));
    const unsigned y = static_cast<unsigned>(std::strtoul(parts[2].c_str(), nullptr, 10));
    if (m < 1 || m > 12 || d < 1 || d > 31 || y < 1601) return 0;
    LocalTime t;
    t.year = y;
    t.month = m;
    t.day = d;
    const std::int64_t days = EpochMilliseconds(t) / 86400000 + kFiletimeDaysTo1970;
    return static_cast<std::uint64_t>(days) * kFiletimeTicksPerDay;
}

std::string Lower(const std::string& text) {
    std::string out = text;
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
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

std::shared_ptr<const InfFile> Machine::State::ParseInf(const std::string& text) const {
    auto it = infCache_.find(text);
    if (it != infCache_.end()) return it->second;
    auto parsed = std::make_shared<const InfFile>(InfFile::Parse(text));
    if (infCache_.size() >= kInfCacheSize) infCache_.clear();  // a machine meets a few INFs; keep it that small
    infCache_.emplace(text, parsed);
    return parsed;
}

// --- oem INF files ------------------------------------------------------------------

std::vector<std::string> Machine::State::InfFileNames(Dword style) const {
    std::vector<std::string> names;
    for (const FileNode* node : files.Children(files.Follow(InfDir()))) {
        if (node->directory) continue;
        std::string name = FileName(node->path);
        if (!IEndsWith(name, ".inf")) continue;
        bool win4 = HasSignature(*ParseInf(node->data));
        if ((win4 && (style & setup::kInfStyleWin4)) || (!win4 && (style & setup::kInfStyleOldNt)))
            names.push_back(name);
    }
    return names;
}

Dword Machine::State::PackageFiles(const std::string& infPath, const InfFile& inf,
                                   std::map<std::string, std::string>& out) const {
    const std::string native = os.NativeEnvironment();
    const std::string infDir = ParentPath(infPath);
    for (const auto& [maker, section] : ModelsSections(inf, native)) {
        const std::vector<InfLine>* models = inf.Section(section);
        if (!models) continue;
        for (const InfLine& model : *models) {
            if (model.fields.empty()) continue;
            const std::string install = InstallSection(inf, model.fields[0], native);
            for (const std::string& f : CopyFilesOf(inf, install)) {
                if (IsUnidrvCore(f) || out.count(Upper(f))) continue;
                std::string source;
                if (Dword code = SourceOf(inf, infDir, native, f, source)) return code;
                if (!FindFile(source)) return err::kFileNotFound;
                out[Upper(f)] = source;
            }
        }
    }
    return err::kSuccess;
}

std::string Machine::State::StorePackageDir(const std::string& infPath, const std::string& infText) const {
    return JoinPath(DriverStoreDir(),
                    Lower(FileName(infPath)) + "_" + SourceArch(os.NativeEnvironment()) + "_" + Digest(infText));
}

void Machine::State::StagePackage(const std::string& infPath, const std::string& infText) {
    if (!os.VistaOrLater()) return;  // no driver store before Vista
    const std::string store = StorePackageDir(infPath, infText);
    if (files.Get(store)) return;
    files.Put(JoinPath(store, Lower(FileName(infPath))), infText);
    std::map<std::string, std::string> sources;
    PackageFiles(infPath, *ParseInf(infText), sources);
    // Laid out as beside the INF.
    const std::string infDir = ParentPath(infPath);
    for (const auto& [upper, source] : sources) {
        const FileNode* node = FindFile(source);
        if (!node) continue;
        std::string relative = IStartsWith(source, infDir + "\\") ? source.substr(infDir.size() + 1) : FileName(source);
        files.Put(JoinPath(store, relative), node->data).writeTime = node->writeTime;
    }
}

Dword Machine::State::VerifySignature(const std::string& infPath, const InfFile& inf) {
    std::string catalog;
    for (const std::string& key : {"CatalogFile." + Decoration(os.NativeEnvironment()), std::string("CatalogFile.NT"),
                                   std::string("CatalogFile")})
        if (catalog.empty()) catalog = inf.Value("Version", key);
    if (!catalog.empty() && FindFile(JoinPath(ParentPath(infPath), catalog))) return err::kSuccess;
    if (!switches.acceptUnsignedDrivers) return werr::kNoCatalogForOemInf;
    ++unsignedDriverPrompts;
    return err::kSuccess;
}

Dword Machine::State::CopyOemInf(const std::string& source, Dword copyStyle, std::string& destination,
                                 const std::string& currentDirectory) {
    destination.clear();
    std::string path = NormalizePath(source);
    if (path.empty()) {
        // A relative source: XP-era Windows looks for it nowhere.
        const bool seven = os.majorVersion > 6 || (os.majorVersion == 6 && os.minorVersion >= 1);
        if (!seven || currentDirectory.empty()) return err::kFileNotFound;
        path = NormalizePath(JoinPath(currentDirectory, source));
        if (path.empty()) return err::kFileNotFound;
    }
    const std::string src = files.Follow(path);
    const FileNode* node = files.Get(src);
    if (!node) return files.MissingCode(src);
    if (node->directory) return err::kAccessDenied;
    const std::string text = node->data;
    std::shared_ptr<const InfFile> inf = ParseInf(text);
    if (!HasSignature(*inf)) return werr::kWrongInfStyle;
    if (os.VistaOrLater()) {
        // The driver store takes only a whole device-driver package.
        const std::vector<InfLine>* manufacturers = inf->Section("Manufacturer");
        if (!manufacturers || manufacturers->empty())
            return os.majorVersion == 6 && os.minorVersion == 0 ? werr::kWrongInfType : werr::kUnsupportedType;
        std::map<std::string, std::string> sources;
        if (Dword code = PackageFiles(src, *inf, sources)) return code == werr::kLineNotFound ? err::kFileNotFound : code;
    }
    // Windows knows an INF it already holds by its content.
    const std::string existing = InstalledOemInf(text);
    if (!existing.empty() && (copyStyle & setup::kSpCopyNoOverwrite)) {
        destination = JoinPath(InfDir(), existing);
        return err::kFileExists;
    }
    if (existing.empty() && (copyStyle & setup::kSpCopyReplaceOnly)) return err::kFileNotFound;
    if (os.VistaOrLater())
        if (Dword code = VerifySignature(src, *inf)) return code;
    destination = JoinPath(InfDir(), PlaceOemInf(src, text, existing));
    return err::kSuccess;
}

std::string Machine::State::InstalledOemInf(const std::string& text) const {
    for (const FileNode* child : files.Children(files.Follow(InfDir())))
        if (!child->directory && IsOemInfName(FileName(child->path)) && child->data == text) return FileName(child->path);
    return "";
}

std::string Machine::State::PlaceOemInf(const std::string& source, const std::string& text, std::string name) {
    const std::string infDir = InfDir();
    files.EnsureDirectory(infDir);
    for (unsigned n = 0; name.empty(); ++n) {
        std::string candidate = "oem" + std::to_string(n) + ".inf";
        if (!files.Get(files.Follow(JoinPath(infDir, candidate)))) name = candidate;
    }
    files.Put(JoinPath(infDir, name), text);
    // The precompiled INF remembers where the package came from.
    files.Put(JoinPath(infDir, PnfName(name)), "PNF " + source);
    StagePackage(source, text);
    return name;
}

Dword Machine::State::UninstallOemInf(const std::string& name, Dword flags) {
    if (name.find_first_of("\\/:") != std::string::npos) return err::kInvalidParameter;
    if (name.empty() || !IsOemInfName(name)) return err::kFileNotFound;
    const std::string path = files.Follow(JoinPath(InfDir(), name));
    const FileNode* node = FindFile(path);
    if (!node) return err::kFileNotFound;
    // Windows 10 takes out only a device-driver package.
    const std::vector<InfLine>* manufacturers = ParseInf(node->data)->Section("Manufacturer");
    if (os.preset == "10" && (!manufacturers || manufacturers->empty())) return err::kInvalidParameter;
    if (!(flags & setup::kSuoiForceDelete)) {
        for (const SimDevice& device : devices)
            if (IEquals(device.oemInf, name)) return werr::kInfInUseByDevices;
    }
    // The store package staged from the same INF goes with it.
    const std::string text = node->data;
    for (const FileNode* package : files.Children(files.Follow(DriverStoreDir()))) {
        if (!package->directory) continue;
        for (const FileNode* f : files.Children(package->path))
            if (!f->directory && IEndsWith(f->path, ".inf") && f->data == text) {
                files.EraseTree(package->path);
                break;
            }
    }
    files.EraseTree(path);
    files.EraseTree(files.Follow(JoinPath(InfDir(), PnfName(name))));
    return err::kSuccess;
}

SimDevice* Machine::State::FindDevice(const std::string& instanceId) {
    for (SimDevice& d : devices)
        if (IEquals(d.instanceId, instanceId)) return &d;
    return nullptr;
}

// --- driver packages ------------------------------------------------------------------

std::string Machine::State::ModelFor(const InfFile& inf, const std::vector<std::string>& hardwareIds) const {
    for (const auto& [maker, section] : ModelsSections(inf, os.NativeEnvironment())) {
        const std::vector<InfLine>* models = inf.Section(section);
        if (!models) continue;
        for (const InfLine& line : *models)
            for (size_t i = 1; i < line.fields.size(); ++i)
                for (const std::string& id : hardwareIds)
                    if (!line.key.empty() && IEquals(line.fields[i], id)) return line.key;
    }
    return "";
}

Dword Machine::State::ReadPackage(const std::string& infPath, const std::string& model, const std::string& environment,
                                  DriverPackage& out) const {
    const FileNode* node = FindFile(infPath);
    if (!node) return err::kFileNotFound;
    std::shared_ptr<const InfFile> parsed = ParseInf(node->data);
    const InfFile& inf = *parsed;
    out = DriverPackage();
    out.model = model;

    const InfLine* modelLine = nullptr;
    for (const auto& [maker, section] : ModelsSections(inf, environment)) {
        if ((modelLine = inf.Find(section, model))) {
            out.manufacturer = maker;
            break;
        }
    }
    if (!modelLine || modelLine->fields.empty()) return err::kUnknownPrinterDriver;
    if (modelLine->fields.size() > 1) out.hardwareId = modelLine->fields[1];
    const std::string install = InstallSection(inf, modelLine->fields[0], environment);
    if (install.empty()) return werr::kSectionNotFound;
    out.installSection = install;

    DriverInfo3& info = out.info;
    info.version = 3;
    info.name = model;
    info.environment = environment;
    info.dataFile = inf.Value(install, "DataFile");
    if (info.dataFile.empty()) info.dataFile = modelLine->fields[0];  // a printer INF's default
    const std::string dataSection = inf.Value(install, "DataSection");
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

    bool unidrv = IStartsWith(dataSection, "UNIDRV");
    for (const InfLine& line : *inf.Section(install)) {
        if (IEquals(line.key, "LanguageMonitor")) out.monitor = line.fields;
        if (IEquals(line.key, "PrintProcessor")) out.processor = line.fields;
        if (IEquals(line.key, "Needs"))
            for (const std::string& f : line.fields) unidrv = unidrv || IStartsWith(f, "UNIDRV");
    }
    out.copyFiles = CopyFilesOf(inf, install);
    const std::string monitorDll = out.monitor.size() > 1 ? out.monitor[1] : "";
    const std::string processorDll = out.processor.size() > 1 ? out.processor[1] : "";
    AddUnique(out.copyFiles, monitorDll);
    AddUnique(out.copyFiles, processorDll);

    // The driver's own files come from the package; Unidrv's with Windows.
    std::vector<std::string> driverFiles;
    for (const std::string& f : {info.driverPath, info.dataFile, info.configFile, info.helpFile})
        AddUnique(driverFiles, f);
    for (const std::string& f : out.copyFiles)
        if (!IEquals(f, monitorDll) && !IEquals(f, processorDll)) AddUnique(driverFiles, f);
    if (unidrv)
        for (const char* f : kUnidrvCore) AddUnique(driverFiles, f);
    for (const std::string& f : driverFiles) {
        if (IsUnidrvCore(f)) AddUnique(out.unidrvFiles, f);
        else AddUnique(out.copyFiles, f);
        if (!IEquals(f, info.driverPath) && !IEquals(f, info.dataFile) && !IEquals(f, info.configFile) &&
            !IEquals(f, info.helpFile))
            info.dependentFiles.push_back(f);
    }
    const std::string infDir = ParentPath(files.Follow(infPath));
    for (const std::string& f : out.copyFiles) {
        std::string source;
        if (Dword code = SourceOf(inf, infDir, environment, f, source)) return code;
        if (!FindFile(source)) return err::kFileNotFound;
        out.sources[Upper(f)] = source;
    }

    out.version = switches.packageVersion;
    out.provider = inf.Value("Version", "Provider");
    const InfLine* driverVer = inf.Find("Version", "DriverVer");
    if (driverVer && driverVer->fields.size() > 1) {
        out.driverDate = DriverDate(driverVer->fields[0]);
        std::vector<std::string> parts = Split(driverVer->fields[1], '.');
        for (size_t i = 0; i < 4; ++i) {
            out.version[i] = i < parts.size() ? static_cast<Dword>(std::strtoul(parts[i].c_str(), nullptr, 10)) : 0;
            out.driverVersion = out.driverVersion << 16 | (out.version[i] & 0xFFFF);
        }
    }

    // What the spooler would refuse halfway, refused before anything is copied.
    const std::string native = os.NativeEnvironment();
    if (!monitorDll.empty())
        if (Dword code = CheckImage(out.sources.at(Upper(monitorDll)), native, kMonitorEntryPoints)) return code;
    const Dword machine = IEquals(environment, kEnvX64) ? pe::kMachineAmd64 : pe::kMachineI386;
    for (const std::string& f : driverFiles) {
        if (IsUnidrvCore(f)) continue;
        std::optional<PeImage> image = ReadPeImage(FindFile(out.sources.at(Upper(f)))->data);
        if (image && image->machine != machine) return werr::kExeMachineTypeMismatch;
    }
    return err::kSuccess;
}

Dword Machine::State::InstallPackage(const std::string& infPath, const DriverPackage& package) {
    const std::string env = package.info.environment;
    const std::string native = os.NativeEnvironment();
    DriverInfo3 info = package.info;
    if (package.monitor.size() > 1) {
        const std::string& dll = package.monitor[1];
        CopyFile(package.sources.at(Upper(dll)), JoinPath(SystemDir(), dll), false, true);
        Dword code = AddMonitor({package.monitor[0], native, dll});
        if (code && code != err::kPrintMonitorAlreadyInstalled) return code;
        info.monitorName = package.monitor[0];
    }
    if (package.processor.size() > 1) {
        const std::string& dll = package.processor[1];
        files.EnsureDirectory(ProcessorDir(env));
        CopyFile(package.sources.at(Upper(dll)), JoinPath(ProcessorDir(env), dll), false, true);
        if (Dword code = AddPrintProcessor(env, dll, package.processor[0])) return code;
    }
    // The driver's files into the version folder, where AddPrinterDriver
    // finds them; a file there already stays unless this one is newer.
    const std::string target = DriverVersionDir(env, info.version);
    files.EnsureDirectory(target);
    for (const std::string& f : package.unidrvFiles)
        if (!FindFile(JoinPath(target, f))) files.Put(JoinPath(target, f), "Unidrv " + f);
    std::vector<std::string> driverFiles = {info.driverPath, info.dataFile, info.configFile, info.helpFile};
    driverFiles.insert(driverFiles.end(), info.dependentFiles.begin(), info.dependentFiles.end());
    for (const std::string& f : driverFiles) {
        auto source = package.sources.find(Upper(f));
        if (f.empty() || source == package.sources.end()) continue;
        const FileNode* from = FindFile(source->second);
        const FileNode* present = FindFile(JoinPath(target, f));
        if (from && (!present || from->writeTime > present->writeTime))
            CopyFile(source->second, JoinPath(target, f), false, true);
    }

    // Windows' own installer keeps the INF as an oem INF (and in the store).
    std::string oem;
    const std::string src = files.Follow(infPath);
    if (const FileNode* inf = FindFile(src)) {
        const std::string text = inf->data;
        oem = InstalledOemInf(text);
        if (oem.empty()) oem = PlaceOemInf(src, text, std::string());
    }
    return AddPrinterDriver(info, package.version, &package, oem);
}

}  // namespace zmp::sim
