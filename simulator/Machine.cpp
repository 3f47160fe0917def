// The machine: presets of the Windows releases and the direct access that
// tests use to set up and inspect the state.
#include "simulator/Machine.h"

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/FileSystem.h"
#include "platform/Services.h"
#include "simulator/MachineState.h"

namespace zmp::sim {

std::string OsInfo::NativeEnvironment() const {
    if (platformId == 1) return kEnvWin40;
    return is64Bit ? kEnvX64 : kEnvX86;
}

namespace {

struct PresetRow {
    const char* name;
    Dword platformId, major, minor, build, productType;
    const char* csd;
    const char* windir;
    bool isWow64Process, regDeleteKeyEx, systemWow64Directory, uninstallOemInf;
    bool can64, always64;
};

// Version numbers as each release reports them to a program without a
// compatibility manifest (Windows 10 reports 6.2).
const PresetRow kPresets[] = {
    {"95", 1, 4, 0, 950, 0, "", "C:\\WINDOWS", false, false, false, false, false, false},
    {"98", 1, 4, 10, 1998, 0, "", "C:\\WINDOWS", false, false, false, false, false, false},
    {"me", 1, 4, 90, 3000, 0, " ", "C:\\WINDOWS", false, false, false, false, false, false},
    {"nt4", 2, 4, 0, 1381, 1, "Service Pack 6", "C:\\WINNT", false, false, false, false, false, false},
    {"2000", 2, 5, 0, 2195, 1, "Service Pack 4", "C:\\WINNT", false, false, false, false, false, false},
    {"xp", 2, 5, 1, 2600, 1, "Service Pack 3", "C:\\WINDOWS", true, false, true, false, false, false},
    {"2003", 2, 5, 2, 3790, 3, "Service Pack 2", "C:\\WINDOWS", true, true, true, true, false, false},
    {"xp64", 2, 5, 2, 3790, 1, "Service Pack 2", "C:\\WINDOWS", true, true, true, true, true, true},
    {"vista", 2, 6, 0, 6002, 1, "Service Pack 2", "C:\\Windows", true, true, true, true, true, false},
    {"2008", 2, 6, 0, 6002, 3, "Service Pack 2", "C:\\Windows", true, true, true, true, true, false},
    {"2008r2", 2, 6, 1, 7601, 3, "Service Pack 1", "C:\\Windows", true, true, true, true, true, false},
    {"7", 2, 6, 1, 7601, 1, "Service Pack 1", "C:\\Windows", true, true, true, true, true, false},
    {"10", 2, 6, 2, 9200, 1, "", "C:\\Windows", true, true, true, true, true, false},
};

const char* const kStandardForms[] = {
    "Letter",          "Letter Small",   "Tabloid",        "Ledger",          "Legal",
    "Statement",       "Executive",      "A3",             "A4",              "A4 Small",
    "A5",              "B4 (JIS)",       "B5 (JIS)",       "Folio",           "Quarto",
    "10x14",           "11x17",          "Note",           "Envelope #9",     "Envelope #10",
    "Envelope #11",    "Envelope #12",   "Envelope #14",   "C size sheet",    "D size sheet",
    "E size sheet",    "Envelope DL",    "Envelope C5",    "Envelope C3",     "Envelope C4",
    "Envelope C6",     "Envelope C65",   "Envelope B4",    "Envelope B5",     "Envelope B6",
    "Envelope",        "Envelope Monarch", "6 3/4 Envelope", "US Std Fanfold", "German Std Fanfold",
    "German Legal Fanfold", "B4 (ISO)",  "Japanese Postcard", "9x11",         "10x11",
    "15x11",           "Envelope Invite", "A6",            "A4 Rotated",      "A5 Rotated",
};

const std::int64_t kMsPerDay = 86400000;

// Days since 1970-01-01 of a civil date, and back (proleptic Gregorian).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, unsigned& year, unsigned& month, unsigned& day) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = doy - (153 * mp + 2) / 5 + 1;
    month = mp < 10 ? mp + 3 : mp - 9;
    year = static_cast<unsigned>(y + (month <= 2));
}

Dword AttributesOf(const FileNode& node) {
    if (node.directory)
        return file::kAttributeDirectory | node.attributes | (node.junction.empty() ? 0 : file::kAttributeReparsePoint);
    return node.attributes ? node.attributes : file::kAttributeNormal;
}

}  // namespace

std::int64_t EpochMilliseconds(const LocalTime& t) {
    return DaysFromCivil(t.year, t.month, t.day) * kMsPerDay +
           ((t.hour * 60LL + t.minute) * 60 + t.second) * 1000 + t.milliseconds;
}

Machine::Machine() : state_(std::make_unique<State>()) {
    State& s = *state_;
    s.clockMs = DaysFromCivil(2024, 5, 1) * kMsPerDay + (9 * 3600 + 30 * 60) * 1000LL;
    s.files.now = s.clockMs;
}

std::unique_ptr<Machine> Machine::Clone() const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    auto copy = std::make_unique<Machine>();
    *copy->state_ = *state_;
    return copy;
}

Machine::~Machine() = default;

std::vector<std::string> Machine::PresetNames() {
    std::vector<std::string> names;
    for (const PresetRow& row : kPresets) names.push_back(row.name);
    return names;
}

std::unique_ptr<Machine> Machine::Preset(const std::string& name, bool is64Bit, const std::string& windowsDirectory) {
    const PresetRow* row = nullptr;
    for (const PresetRow& r : kPresets)
        if (IEquals(r.name, name)) row = &r;
    if (!row || (is64Bit && !row->can64)) return nullptr;
    auto machine = std::make_unique<Machine>();
    State& s = machine->Internal();
    OsInfo& os = s.os;
    os.preset = row->name;
    os.platformId = row->platformId;
    os.majorVersion = row->major;
    os.minorVersion = row->minor;
    os.buildNumber = row->build;
    os.productType = row->productType;
    os.csdVersion = row->csd;
    os.is64Bit = is64Bit || row->always64;
    os.windowsDirectory = NormalizePath(windowsDirectory.empty() ? row->windir : windowsDirectory);
    if (os.windowsDirectory.empty()) return nullptr;
    os.hasIsWow64Process = row->isWow64Process;
    os.hasRegDeleteKeyEx = row->regDeleteKeyEx;
    os.hasGetSystemWow64Directory = row->systemWow64Directory;
    os.hasSetupUninstallOEMInf = row->uninstallOemInf;

    // Files every installation has.
    s.files.EnsureDirectory("C:\\");
    s.files.EnsureDirectory(s.WindowsDir());
    s.files.EnsureDirectory(JoinPath(s.WindowsDir(), "Temp"));
    std::string sys = s.SystemDir();
    std::string native = os.NativeEnvironment();
    s.files.Put(JoinPath(sys, "kernel32.dll"), "MZ kernel32");
    s.files.Put(JoinPath(sys, "cmd.exe"), "MZ cmd");
    s.files.Put(JoinPath(sys, "rundll32.exe"), "MZ rundll32");
    s.files.Put(JoinPath(s.InfDir(), "ntprint.inf"),
                "[Version]\r\nSignature=\"$Windows NT$\"\r\nClass=Printer\r\n\r\n[Manufacturer]\r\n");
    s.files.Put(JoinPath(s.InfDir(), "usbprint.inf"),
                "[Version]\r\nSignature=\"$Windows NT$\"\r\nClass=USB\r\n");
    if (os.platformId == 2) {
        s.files.Put(JoinPath(sys, "wbem\\framedyn.dll"), "MZ framedyn");
        for (const char* dll : {"localspl.dll", "tcpmon.dll", "usbmon.dll", "printui.dll", "spoolsv.exe"})
            s.files.Put(JoinPath(sys, dll), std::string("MZ ") + dll);
        std::vector<std::string> environments{kEnvX86};
        if (os.is64Bit) environments.push_back(kEnvX64);
        for (const std::string& env : environments) {
            s.files.EnsureDirectory(s.DriverVersionDir(env, 3));
            s.files.Put(JoinPath(s.ProcessorDir(env), "winprint.dll"), "MZ winprint " + env);
            s.processors.push_back({"winprint", env, "winprint.dll"});
        }
        // Vista and later keep their driver packages in the driver store.
        if (os.VistaOrLater()) s.files.EnsureDirectory(s.DriverStoreDir());
        if (os.is64Bit) {
            std::string wow = s.SysWow64Dir();
            for (const char* f : {"kernel32.dll", "cmd.exe", "rundll32.exe", "printui.dll", "wbem\\framedyn.dll"})
                s.files.Put(JoinPath(wow, f), std::string("MZ 32-bit ") + f);
        }
        s.monitors = {{"Local Port", native, "localspl.dll"},
                      {"Standard TCP/IP Port", native, "tcpmon.dll"},
                      {"USB Monitor", native, "usbmon.dll"}};
        for (const char* port : {"LPT1:", "LPT2:", "LPT3:", "COM1:", "COM2:", "COM3:", "COM4:", "FILE:"})
            s.ports.push_back({port, "Local Port", "", 0, 0});
        for (const char* form : kStandardForms) s.forms.push_back(form);
    }

    // Keys every installation has.
    for (const char* root : {"HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
                             "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Print\\Printers",
                             "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors",
                             "HKLM\\SYSTEM\\CurrentControlSet\\Enum\\USB", "HKU\\.DEFAULT",
                             "HKCR\\CLSID", "HKCU\\Software"})
        s.registry.Create(root);
    if (os.is64Bit) s.registry.Create("HKLM\\SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall");
    s.registry.Create("HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion")
        .values["CSDVERSION"] = {"CSDVersion", RegValue{1, os.csdVersion, 0, {}}};
    s.WriteSpoolerKeys();
    s.serviceState = svc::kStopped;
    s.StartSpooler();
    return machine;
}

// --- OS and directories ----------------------------------------------------------------

#define ZMP_LOCK std::lock_guard<std::recursive_mutex> lock(mutex_)

OsInfo Machine::Os() const {
    ZMP_LOCK;
    return state_->os;
}

void Machine::SetOs(const OsInfo& os) {
    ZMP_LOCK;
    state_->os = os;
    state_->os.windowsDirectory = NormalizePath(os.windowsDirectory);
}

std::string Machine::ComputerName() const {
    ZMP_LOCK;
    return state_->computerName;
}

std::string Machine::WindowsDirectory() const {
    ZMP_LOCK;
    return state_->WindowsDir();
}

std::string Machine::SystemDirectory() const {
    ZMP_LOCK;
    return state_->SystemDir();
}

std::string Machine::SysWow64Directory() const {
    ZMP_LOCK;
    return state_->SysWow64Dir();
}

std::string Machine::InfDirectory() const {
    ZMP_LOCK;
    return state_->InfDir();
}

std::string Machine::PrinterDriverDirectory(const std::string& environment) const {
    ZMP_LOCK;
    return state_->DriverDir(environment);
}

std::string Machine::PrintProcessorDirectory(const std::string& environment) const {
    ZMP_LOCK;
    return state_->ProcessorDir(environment);
}

Switches& Machine::ModelSwitches() {
    ZMP_LOCK;
    return state_->switches;
}

Switches Machine::ModelSwitchesCopy() const {
    ZMP_LOCK;
    return state_->switches;
}

// --- clock -------------------------------------------------------------------------------

LocalTime Machine::Now() const {
    ZMP_LOCK;
    std::int64_t ms = state_->clockMs;
    std::int64_t days = ms / kMsPerDay;
    std::int64_t rest = ms % kMsPerDay;
    LocalTime t;
    CivilFromDays(days, t.year, t.month, t.day);
    t.hour = static_cast<unsigned>(rest / 3600000);
    t.minute = static_cast<unsigned>(rest / 60000 % 60);
    t.second = static_cast<unsigned>(rest / 1000 % 60);
    t.milliseconds = static_cast<unsigned>(rest % 1000);
    return t;
}

void Machine::SetTime(const LocalTime& t) {
    ZMP_LOCK;
    state_->clockMs = EpochMilliseconds(t);
    state_->Advance(0);
}

void Machine::Advance(Dword milliseconds) {
    ZMP_LOCK;
    state_->Advance(milliseconds);
}

// --- files ---------------------------------------------------------------------------------

void Machine::WriteFile(const std::string& path, const std::string& data) {
    ZMP_LOCK;
    std::string p = NormalizePath(path);
    if (!p.empty()) state_->files.Put(state_->files.Follow(p), data);
}

void Machine::MakeDirectory(const std::string& path) {
    ZMP_LOCK;
    std::string p = NormalizePath(path);
    if (!p.empty()) state_->files.EnsureDirectory(state_->files.Follow(p));
}

void Machine::MakeJunction(const std::string& link, const std::string& target) {
    ZMP_LOCK;
    std::string l = NormalizePath(link), t = NormalizePath(target);
    if (l.empty() || t.empty()) return;
    state_->files.PutJunction(l, t);
}

void Machine::MakeHardLink(const std::string& link, const std::string& target) {
    ZMP_LOCK;
    std::string l = NormalizePath(link), t = NormalizePath(target);
    if (l.empty() || t.empty()) return;
    state_->files.PutHardLink(state_->files.Follow(l), state_->files.Follow(t));
}

bool Machine::FileExists(const std::string& path) const {
    ZMP_LOCK;
    const FileNode* node = state_->files.Get(state_->files.Follow(NormalizePath(path)));
    return node && !node->directory;
}

bool Machine::DirectoryExists(const std::string& path) const {
    ZMP_LOCK;
    const FileNode* node = state_->files.Get(state_->files.Follow(NormalizePath(path)));
    return node && node->directory;
}

std::optional<std::string> Machine::ReadFile(const std::string& path) const {
    ZMP_LOCK;
    const FileNode* node = state_->files.Get(state_->files.Follow(NormalizePath(path)));
    if (!node || node->directory) return std::nullopt;
    return node->data;
}

Dword Machine::Attributes(const std::string& path) const {
    ZMP_LOCK;
    const FileNode* node = state_->files.Get(state_->files.Follow(NormalizePath(path)));
    return node ? AttributesOf(*node) : file::kInvalidFileAttributes;
}

std::int64_t Machine::LastWriteTime(const std::string& path) const {
    ZMP_LOCK;
    const FileNode* node = state_->files.Get(state_->files.Follow(NormalizePath(path)));
    return node ? node->writeTime : 0;
}

void Machine::SetAttributes(const std::string& path, Dword attributes) {
    ZMP_LOCK;
    state_->SetAttributes(NormalizePath(path), attributes);
}

std::vector<std::string> Machine::ListDirectory(const std::string& path) const {
    ZMP_LOCK;
    std::string p = state_->files.Follow(NormalizePath(path));
    if (const FileNode* node = state_->files.Get(p); node && !node->junction.empty()) p = node->junction;
    std::vector<std::string> names;
    for (const FileNode* child : state_->files.Children(p)) names.push_back(FileName(child->path));
    return names;
}

void Machine::Remove(const std::string& path) {
    ZMP_LOCK;
    std::string p = state_->files.Follow(NormalizePath(path));
    if (!p.empty()) state_->files.EraseTree(p);
}

std::vector<AceEntry> Machine::DirectoryAcl(const std::string& path) const {
    ZMP_LOCK;
    const FileNode* node = state_->files.Get(state_->files.Follow(NormalizePath(path)));
    return node ? node->acl : std::vector<AceEntry>();
}

void Machine::HoldOpen(const std::string& path, const std::string& process) {
    ZMP_LOCK;
    std::string p = NormalizePath(path);
    if (!p.empty()) state_->holds.Hold(state_->files.Follow(p), process);
}

bool Machine::IsHeld(const std::string& path) const {
    ZMP_LOCK;
    return state_->IsHeld(NormalizePath(path));
}

std::vector<std::string> Machine::HeldBy(const std::string& path) const {
    ZMP_LOCK;
    return state_->holds.Processes(state_->files.Follow(NormalizePath(path)));
}

std::vector<std::string> Machine::DeleteAtRestart() const {
    ZMP_LOCK;
    return state_->deleteAtRestart;
}

bool Machine::ImportHostFile(const std::string& hostPath, const std::string& path) {
    std::ifstream in(hostPath, std::ios::binary);
    if (!in) return false;
    std::ostringstream data;
    data << in.rdbuf();
    ZMP_LOCK;
    std::string p = NormalizePath(path);
    if (p.empty()) return false;
    FileNode& node = state_->files.Put(state_->files.Follow(p), data.str());
    // The host file's modification time is its last-write time.
    struct stat st;
    if (stat(hostPath.c_str(), &st) == 0)
        node.writeTime = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000;
    return true;
}

bool Machine::ImportHostTree(const std::string& hostDir, const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (!fs::is_directory(hostDir, ec)) return false;
    MakeDirectory(path);
    for (auto it = fs::recursive_directory_iterator(hostDir, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        std::string relative = fs::relative(it->path(), hostDir, ec).generic_string();
        for (char& c : relative)
            if (c == '/') c = '\\';
        std::string target = JoinPath(path, relative);
        if (it->is_directory()) MakeDirectory(target);
        else if (!ImportHostFile(it->path().string(), target)) return false;
    }
    return !ec;
}

// --- registry --------------------------------------------------------------------------------

void Machine::CreateKey(const std::string& keyPath) {
    ZMP_LOCK;
    std::string p = RegistryStore::Canonical(keyPath);
    if (!p.empty()) state_->registry.Create(p);
}

bool Machine::KeyExists(const std::string& keyPath) const {
    ZMP_LOCK;
    return state_->registry.Get(RegistryStore::Canonical(keyPath)) != nullptr;
}

void Machine::DeleteKeyTree(const std::string& keyPath) {
    ZMP_LOCK;
    std::string p = RegistryStore::Canonical(keyPath);
    if (!p.empty()) state_->registry.EraseTree(p);
}

void Machine::SetValue(const std::string& keyPath, const std::string& name, const RegValue& value) {
    ZMP_LOCK;
    std::string p = RegistryStore::Canonical(keyPath);
    if (!p.empty()) state_->registry.Create(p).values[Upper(name)] = {name, value};
}

void Machine::SetString(const std::string& keyPath, const std::string& name, const std::string& value) {
    RegValue v;
    v.type = 1;
    v.text = value;
    SetValue(keyPath, name, v);
}

std::optional<RegValue> Machine::GetValue(const std::string& keyPath, const std::string& name) const {
    ZMP_LOCK;
    const RegNode* node = state_->registry.Get(RegistryStore::Canonical(keyPath));
    if (!node) return std::nullopt;
    auto it = node->values.find(Upper(name));
    if (it == node->values.end()) return std::nullopt;
    return it->second.second;
}

std::optional<std::string> Machine::GetString(const std::string& keyPath, const std::string& name) const {
    std::optional<RegValue> v = GetValue(keyPath, name);
    if (!v || v->type != 1) return std::nullopt;
    return v->text;
}

std::vector<std::string> Machine::SubKeys(const std::string& keyPath) const {
    ZMP_LOCK;
    return state_->registry.Children(RegistryStore::Canonical(keyPath));
}

void Machine::ProtectKey(const std::string& keyPath) {
    ZMP_LOCK;
    std::string p = RegistryStore::Canonical(keyPath);
    if (p.empty()) return;
    RegNode& root = state_->registry.Create(p);
    root.protectionRoot = true;
    std::string prefix = Upper(p);
    for (auto& [key, node] : state_->registry.nodes)
        if (IsWithin(key, prefix)) node.protectedKey = true;
}

std::vector<AceEntry> Machine::KeyAcl(const std::string& keyPath) const {
    ZMP_LOCK;
    const RegNode* node = state_->registry.Get(RegistryStore::Canonical(keyPath));
    return node ? node->acl : std::vector<AceEntry>();
}

bool Machine::KeyDeletable(const std::string& keyPath) const {
    ZMP_LOCK;
    return state_->registry.Deletable(RegistryStore::Canonical(keyPath));
}

// --- spooler ----------------------------------------------------------------------------------

bool Machine::SpoolerRunning() const {
    ZMP_LOCK;
    return state_->SpoolerAccepting();
}

Dword Machine::SpoolerServiceState() const {
    ZMP_LOCK;
    return state_->serviceState;
}

void Machine::StartSpooler() {
    ZMP_LOCK;
    state_->StartSpooler();
}

void Machine::StopSpooler() {
    ZMP_LOCK;
    state_->StopSpooler();
}

std::vector<SimPrinter> Machine::Printers() const {
    ZMP_LOCK;
    return {state_->printers.begin(), state_->printers.end()};
}

std::optional<SimPrinter> Machine::FindPrinter(const std::string& name) const {
    ZMP_LOCK;
    SimPrinter* p = state_->FindPrinter(name);
    return p ? std::optional<SimPrinter>(*p) : std::nullopt;
}

void Machine::AddPrinterRecord(const SimPrinter& printer) {
    ZMP_LOCK;
    State& s = *state_;
    s.printers.Replace(printer.name, printer);
    s.WritePrinterKey(printer);
    if (SimDriver* driver = s.FindDriver(printer.driver, s.os.NativeEnvironment())) s.LoadDriver(*driver);
}

void Machine::AddJobs(const std::string& printerName, unsigned count) {
    ZMP_LOCK;
    SimPrinter* p = state_->FindPrinter(printerName);
    if (!p) return;
    for (unsigned i = 0; i < count; ++i) p->jobs.push_back(state_->nextJobId++);
}

std::vector<SimDriver> Machine::Drivers() const {
    ZMP_LOCK;
    return state_->drivers;
}

std::optional<SimDriver> Machine::FindDriver(const std::string& name, const std::string& environment) const {
    ZMP_LOCK;
    SimDriver* d = state_->FindDriver(name, environment);
    return d ? std::optional<SimDriver>(*d) : std::nullopt;
}

void Machine::AddDriverRecord(const SimDriver& driver, bool createFiles) {
    ZMP_LOCK;
    SimDriver d = driver;
    if (d.environment.empty()) d.environment = state_->os.NativeEnvironment();
    if (createFiles)
        for (const std::string& f : d.Files())
            state_->files.Put(JoinPath(state_->DriverVersionDir(d.environment, d.version), f), "driver file " + f);
    if (SimDriver* existing = state_->FindDriver(d.name, d.environment)) *existing = d;
    else state_->drivers.push_back(d);
    state_->registry.Create(State::DriverKey(d));
    if (IEquals(d.environment, state_->os.NativeEnvironment()) && state_->printers.UsingDriver(d.name) > 0)
        state_->LoadDriver(d);
}

std::vector<SimMonitor> Machine::Monitors() const {
    ZMP_LOCK;
    return state_->monitors;
}

void Machine::AddMonitorRecord(const SimMonitor& monitor) {
    ZMP_LOCK;
    SimMonitor m = monitor;
    if (m.environment.empty()) m.environment = state_->os.NativeEnvironment();
    state_->monitors.push_back(m);
    state_->registry.Create(State::MonitorKey(m.name));
    state_->LoadMonitor(m);
}

std::vector<SimProcessor> Machine::Processors() const {
    ZMP_LOCK;
    return state_->processors;
}

void Machine::AddProcessorRecord(const SimProcessor& processor) {
    ZMP_LOCK;
    SimProcessor p = processor;
    if (p.environment.empty()) p.environment = state_->os.NativeEnvironment();
    state_->processors.push_back(p);
    state_->registry.Create(State::ProcessorKey(p.environment, p.name));
    state_->LoadProcessor(p);
}

std::vector<std::string> Machine::Forms() const {
    ZMP_LOCK;
    return state_->forms;
}

void Machine::AddForm(const std::string& name) {
    ZMP_LOCK;
    if (!state_->FormExists(name)) state_->forms.push_back(name);
}

std::vector<SimPort> Machine::Ports() const {
    ZMP_LOCK;
    return state_->ports;
}

void Machine::AddPortRecord(const SimPort& port) {
    ZMP_LOCK;
    if (!state_->FindPort(port.name)) state_->ports.push_back(port);
}

// --- Setup API and Plug and Play -----------------------------------------------------------

std::vector<std::string> Machine::OemInfs() const {
    ZMP_LOCK;
    std::vector<std::string> names;
    for (const std::string& name : state_->InfFileNames(0x3))
        if (IStartsWith(name, "oem")) names.push_back(name);
    return names;
}

std::vector<std::string> Machine::StorePackages() const {
    ZMP_LOCK;
    std::vector<std::string> names;
    const State& s = *state_;
    for (const FileNode* node : s.files.Children(s.files.Follow(s.DriverStoreDir())))
        if (node->directory) names.push_back(FileName(node->path));
    return names;
}

unsigned Machine::UnsignedDriverPrompts() const {
    ZMP_LOCK;
    return state_->unsignedDriverPrompts;
}

std::vector<SimDevice> Machine::UndiscoveredDevices() const {
    ZMP_LOCK;
    return state_->undiscoveredDevices;
}

std::vector<SimDevice> Machine::Devices() const {
    ZMP_LOCK;
    return state_->devices;
}

void Machine::AddDevice(const SimDevice& device) {
    ZMP_LOCK;
    if (SimDevice* existing = state_->FindDevice(device.instanceId)) *existing = device;
    else state_->devices.push_back(device);
}

void Machine::PlugUsbPrinter() {
    ZMP_LOCK;
    state_->PlugUsbPrinter();
}

void Machine::UnplugUsbPrinter() {
    ZMP_LOCK;
    if (SimDevice* d = state_->FindDevice(std::string(kUsbPrinterInstancePrefix) + kUsbPrinterSerial))
        d->present = false;
}

// --- power ----------------------------------------------------------------------------------

unsigned Machine::RestartsRequested() const {
    ZMP_LOCK;
    return state_->restarts;
}

std::vector<ShutdownRequest> Machine::ShutdownRequests() const {
    ZMP_LOCK;
    return state_->shutdownRequests;
}

std::vector<std::string> Machine::LoadedImages() const {
    ZMP_LOCK;
    return state_->loadedImages;
}

void Machine::Reboot() {
    ZMP_LOCK;
    State& s = *state_;
    s.StopSpooler();
    s.holds.Clear();
    for (const std::string& path : s.deleteAtRestart) s.files.EraseTree(s.files.Follow(path));
    s.deleteAtRestart.clear();
    s.servicePendingUntil = 0;
    s.StartSpooler();
    s.RediscoverDevices();
}

}  // namespace zmp::sim
