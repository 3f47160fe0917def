// Persistence: DIR/state.json (everything but file contents) and
// DIR/drive/<letter>/... (the files, their last-write times as the host
// files' times). docs/simulator.md describes the format.
//
// A save is atomic: the new machine is written beside the old one
// (DIR/.save.tmp), renamed to DIR/.save in one step, and only then moved in
// place. A run killed before that rename leaves the old machine as it was;
// one killed after it is completed by the next Load or Save.
#include <fcntl.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "platform/FileSystem.h"
#include "simulator/MachineState.h"
#include "simulator/StateSchema.h"

namespace zmp::sim {

using Json = nlohmann::ordered_json;
namespace fs = std::filesystem;

namespace {

constexpr const char* kSaving = ".save.tmp";  // being written
constexpr const char* kSaved = ".save";       // complete, not yet in place
constexpr const char* kOldDrive = ".drive.old";

template <class T>
T Get(const Json& j, const char* key, T fallback) {
    auto it = j.find(key);
    return it == j.end() || it->is_null() ? fallback : it->template get<T>();
}

Json ValueToJson(const RegValue& v) {
    if (v.type == 4) return v.number;
    if (v.type == 7) return v.multi;
    return v.text;
}

RegValue ValueFromJson(const Json& j) {
    RegValue v;
    if (j.is_number()) {
        v.type = 4;
        v.number = j.get<Dword>();
    } else if (j.is_array()) {
        v.type = 7;
        v.multi = j.get<std::vector<std::string>>();
    } else {
        v.type = 1;
        v.text = j.get<std::string>();
    }
    return v;
}

Json AclToJson(const std::vector<AceEntry>& acl) {
    Json out = Json::array();
    for (const AceEntry& a : acl)
        out.push_back({{"trustee", a.trustee}, {"mask", a.mask}, {"mode", a.mode}, {"inheritance", a.inheritance}});
    return out;
}

std::vector<AceEntry> AclFromJson(const Json& j) {
    std::vector<AceEntry> acl;
    for (const Json& a : j)
        acl.push_back({Get<std::string>(a, "trustee", ""), Get<Dword>(a, "mask", 0), Get<Dword>(a, "mode", 1),
                       Get<Dword>(a, "inheritance", 0)});
    return acl;
}

Json DataToJson(const std::map<std::string, Dword>& data) {
    Json out = Json::object();
    for (const auto& [k, v] : data) out[k] = v;
    return out;
}

std::map<std::string, Dword> DataFromJson(const Json& j) {
    std::map<std::string, Dword> data;
    if (j.is_object())
        for (auto it = j.begin(); it != j.end(); ++it) data[it.key()] = it.value().get<Dword>();
    return data;
}

Json DeviceToJson(const SimDevice& d) {
    return {{"instanceId", d.instanceId}, {"hardwareIds", d.hardwareIds}, {"present", d.present}, {"oemInf", d.oemInf}};
}

SimDevice DeviceFromJson(const Json& d) {
    return {Get<std::string>(d, "instanceId", ""), Get<std::vector<std::string>>(d, "hardwareIds", {}),
            Get<bool>(d, "present", true), Get<std::string>(d, "oemInf", "")};
}

std::string FormatClock(const LocalTime& t) {
    char text[40];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u.%03u", t.year, t.month, t.day, t.hour, t.minute,
                  t.second, t.milliseconds);
    return text;
}

bool ParseClock(const std::string& text, LocalTime& t) {
    return std::sscanf(text.c_str(), "%u-%u-%u %u:%u:%u.%u", &t.year, &t.month, &t.day, &t.hour, &t.minute, &t.second,
                       &t.milliseconds) >= 6;
}

Dword DefaultAttributes(const FileNode& node) { return node.directory ? 0 : file::kAttributeArchive; }

// Physical path of a file node on the host.
fs::path HostPath(const fs::path& driveRoot, const std::string& windowsPath) {
    fs::path out = driveRoot / std::string(1, static_cast<char>(std::tolower(windowsPath[0])));
    for (const std::string& part : Split(windowsPath.substr(3), '\\'))
        if (!part.empty()) out /= part;
    return out;
}

// A file's last-write time travels as the host file's modification time.
void SetHostTime(const fs::path& path, std::int64_t ms) {
    if (ms < 0) ms = 0;
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = static_cast<time_t>(ms / 1000);
    times[1].tv_nsec = static_cast<long>(ms % 1000) * 1000000;
    utimensat(AT_FDCWD, path.c_str(), times, 0);
}

const char* ChildEnvironmentName(ChildEnvironment e) { return e == ChildEnvironment::Caller ? "caller" : "native"; }

}  // namespace

static Json StateToJson(const Machine::State& s, const LocalTime& now) {
    Json j;
    j["complete"] = true;
    const OsInfo& os = s.os;
    j["os"] = {{"preset", os.preset},
               {"platformId", os.platformId},
               {"majorVersion", os.majorVersion},
               {"minorVersion", os.minorVersion},
               {"buildNumber", os.buildNumber},
               {"productType", os.productType},
               {"csdVersion", os.csdVersion},
               {"is64Bit", os.is64Bit},
               {"windowsDirectory", os.windowsDirectory},
               {"language", os.language},
               {"codePage", os.ansiCodePage},
               {"functions",
                {{"IsWow64Process", os.hasIsWow64Process},
                 {"RegDeleteKeyExA", os.hasRegDeleteKeyEx},
                 {"GetSystemWow64DirectoryA", os.hasGetSystemWow64Directory},
                 {"SetupUninstallOEMInfA", os.hasSetupUninstallOEMInf}}}};
    j["computerName"] = s.computerName;
    j["clock"] = FormatClock(now);
    j["restarts"] = s.restarts;
    j["unsignedDriverPrompts"] = s.unsignedDriverPrompts;
    const Switches& w = s.switches;
    j["switches"] = {{"childTimesOut", w.childTimesOut},
                     {"createProcessError", w.createProcessError},
                     {"addDriverNeedsFramedyn", w.addDriverNeedsFramedyn},
                     {"shutdownPrivilege", w.shutdownPrivilege},
                     {"copyOverHeldFileError", w.copyOverHeldFileError},
                     {"packageVersion", w.packageVersion},
                     {"spoolerStopMs", w.spoolerStopMs},
                     {"spoolerStartMs", w.spoolerStartMs},
                     {"driverIsolation", w.driverIsolation},
                     {"acceptUnsignedDrivers", w.acceptUnsignedDrivers},
                     {"wow64DeviceInstallFails", w.wow64DeviceInstallFails},
                     {"childEnvironment", ChildEnvironmentName(w.childEnvironment)}};

    Json files = Json::object(), junctions = Json::object();
    for (const auto& [key, node] : s.files.nodes) {
        if (!node.junction.empty()) {
            junctions[node.path] = node.junction;
            continue;
        }
        Json entry = Json::object();
        if (node.attributes != DefaultAttributes(node)) entry["attributes"] = node.attributes;
        if (!node.acl.empty()) entry["acl"] = AclToJson(node.acl);
        if (!entry.empty()) files[node.path] = entry;
    }
    j["files"] = files;
    j["junctions"] = junctions;
    // Files held by processes other than the spooler; the spooler's below.
    Json held = Json::array(), loaded = Json::array();
    for (const auto& [holder, paths] : s.holds.ByHolder()) {
        const std::string process = HoldTable::ProcessOf(holder);
        for (const std::string& path : paths) {
            if (process == kSpoolerProcess) loaded.push_back({{"path", path}, {"by", holder.substr(process.size() + 1)}});
            else if (holder == kAnotherProcess) held.push_back(path);
            else held.push_back({{"path", path}, {"process", holder}});
        }
    }
    j["openFiles"] = held;
    j["deleteAtRestart"] = s.deleteAtRestart;

    Json registry = Json::object();
    for (const auto& [key, node] : s.registry.nodes) {
        Json entry = Json::object();
        if (!node.values.empty()) {
            Json values = Json::object();
            for (const auto& [upper, value] : node.values) values[value.first] = ValueToJson(value.second);
            entry["values"] = values;
        }
        if (node.protectedKey) entry["protected"] = true;
        if (node.protectionRoot) entry["protectionRoot"] = true;
        if (!node.acl.empty()) entry["acl"] = AclToJson(node.acl);
        registry[node.path] = entry;
    }
    j["registry"] = registry;

    Json spooler;
    spooler["running"] = s.SpoolerAccepting();
    if (s.serviceState == svc::kStopPending || s.serviceState == svc::kStartPending) {
        const std::int64_t remaining = std::max<std::int64_t>(0, s.servicePendingUntil - s.clockMs);
        spooler["pending"] = {{"state", s.serviceState == svc::kStopPending ? "stop" : "start"},
                              {"remainingMs", static_cast<Dword>(remaining)}};
    }
    spooler["nextJobId"] = s.nextJobId;
    Json printers = Json::array();
    for (const SimPrinter& p : s.printers)
        printers.push_back({{"name", p.name},
                            {"driver", p.driver},
                            {"port", p.port},
                            {"processor", p.processor},
                            {"datatype", p.datatype},
                            {"shareName", p.shareName},
                            {"attributes", p.attributes},
                            {"priority", p.priority},
                            {"status", p.status},
                            {"data", DataToJson(p.data)},
                            {"jobs", p.jobs},
                            {"pendingDeletion", p.pendingDeletion}});
    spooler["printers"] = printers;
    Json drivers = Json::array();
    for (const SimDriver& d : s.drivers)
        drivers.push_back({{"name", d.name},
                           {"environment", d.environment},
                           {"version", d.version},
                           {"driverPath", d.driverPath},
                           {"dataFile", d.dataFile},
                           {"configFile", d.configFile},
                           {"helpFile", d.helpFile},
                           {"dependentFiles", d.dependentFiles},
                           {"monitorName", d.monitorName},
                           {"defaultDataType", d.defaultDataType},
                           {"reportedData", DataToJson(d.reportedData)},
                           {"printProcessor", d.printProcessor},
                           {"oemInf", d.oemInf},
                           {"driverDate", d.driverDate},
                           {"driverVersion", d.driverVersion},
                           {"mfgName", d.mfgName},
                           {"hardwareId", d.hardwareId},
                           {"provider", d.provider}});
    spooler["drivers"] = drivers;
    Json monitors = Json::array();
    for (const SimMonitor& m : s.monitors)
        monitors.push_back({{"name", m.name}, {"environment", m.environment}, {"dll", m.dll}});
    spooler["monitors"] = monitors;
    Json processors = Json::array();
    for (const SimProcessor& p : s.processors)
        processors.push_back({{"name", p.name}, {"environment", p.environment}, {"dll", p.dll}});
    spooler["processors"] = processors;
    spooler["forms"] = s.forms;
    Json ports = Json::array();
    for (const SimPort& p : s.ports) {
        Json port = {{"name", p.name}, {"monitor", p.monitor}};
        if (!p.hostAddress.empty()) {
            port["hostAddress"] = p.hostAddress;
            port["portNumber"] = p.portNumber;
            port["protocol"] = p.protocol;
        }
        ports.push_back(port);
    }
    spooler["ports"] = ports;
    spooler["loadedFiles"] = loaded;
    j["spooler"] = spooler;

    Json devices = Json::array(), undiscovered = Json::array();
    for (const SimDevice& d : s.devices) devices.push_back(DeviceToJson(d));
    for (const SimDevice& d : s.undiscoveredDevices) undiscovered.push_back(DeviceToJson(d));
    j["devices"] = devices;
    j["undiscoveredDevices"] = undiscovered;
    return j;
}

// Applies the sections present in j; "complete" states replace, others add
// to what the preset made.
static bool ApplyJson(Machine& machine, const Json& j, bool complete, std::string* error) {
    Machine::State& s = machine.Internal();
    if (j.contains("computerName")) s.computerName = j["computerName"].get<std::string>();
    if (j.contains("clock")) {
        LocalTime t;
        if (!ParseClock(j["clock"].get<std::string>(), t)) {
            if (error) *error = "clock: expected \"YYYY-MM-DD HH:MM:SS.mmm\"";
            return false;
        }
        machine.SetTime(t);
    }
    s.restarts = Get<unsigned>(j, "restarts", s.restarts);
    s.unsignedDriverPrompts = Get<unsigned>(j, "unsignedDriverPrompts", s.unsignedDriverPrompts);
    if (j.contains("switches")) {
        const Json& w = j["switches"];
        Switches& sw = s.switches;
        sw.childTimesOut = Get<bool>(w, "childTimesOut", sw.childTimesOut);
        sw.createProcessError = Get<Dword>(w, "createProcessError", sw.createProcessError);
        sw.addDriverNeedsFramedyn = Get<bool>(w, "addDriverNeedsFramedyn", sw.addDriverNeedsFramedyn);
        sw.shutdownPrivilege = Get<bool>(w, "shutdownPrivilege", sw.shutdownPrivilege);
        sw.copyOverHeldFileError = Get<Dword>(w, "copyOverHeldFileError", sw.copyOverHeldFileError);
        if (w.contains("packageVersion")) sw.packageVersion = w["packageVersion"].get<std::array<Dword, 4>>();
        sw.spoolerStopMs = Get<Dword>(w, "spoolerStopMs", sw.spoolerStopMs);
        sw.spoolerStartMs = Get<Dword>(w, "spoolerStartMs", sw.spoolerStartMs);
        sw.driverIsolation = Get<bool>(w, "driverIsolation", sw.driverIsolation);
        sw.acceptUnsignedDrivers = Get<bool>(w, "acceptUnsignedDrivers", sw.acceptUnsignedDrivers);
        sw.wow64DeviceInstallFails = Get<bool>(w, "wow64DeviceInstallFails", sw.wow64DeviceInstallFails);
        if (w.contains("childEnvironment"))
            sw.childEnvironment = w["childEnvironment"] == "caller" ? ChildEnvironment::Caller : ChildEnvironment::Native;
    }

    if (j.contains("registry")) {
        for (auto it = j["registry"].begin(); it != j["registry"].end(); ++it) {
            std::string path = RegistryStore::Canonical(it.key());
            if (path.empty()) {
                if (error) *error = "registry[\"" + it.key() + "\"]: unknown root";
                return false;
            }
            RegNode& node = s.registry.Create(path);
            const Json& e = it.value();
            if (e.contains("values"))
                for (auto v = e["values"].begin(); v != e["values"].end(); ++v)
                    node.values[Upper(v.key())] = {v.key(), ValueFromJson(v.value())};
            node.protectedKey = Get<bool>(e, "protected", node.protectedKey);
            node.protectionRoot = Get<bool>(e, "protectionRoot", node.protectionRoot);
            if (e.contains("acl")) node.acl = AclFromJson(e["acl"]);
        }
    }

    if (j.contains("spooler")) {
        const Json& sp = j["spooler"];
        if (sp.contains("running")) s.serviceState = sp["running"].get<bool>() ? svc::kRunning : svc::kStopped;
        if (sp.contains("pending")) {
            s.serviceState = sp["pending"]["state"] == "stop" ? svc::kStopPending : svc::kStartPending;
            s.servicePendingUntil = s.clockMs + Get<Dword>(sp["pending"], "remainingMs", 0);
        }
        s.nextJobId = Get<Dword>(sp, "nextJobId", s.nextJobId);
        std::string native = s.os.NativeEnvironment();
        if (sp.contains("printers")) {
            s.printers.Clear();
            for (const Json& p : sp["printers"]) {
                SimPrinter printer;
                printer.name = Get<std::string>(p, "name", "");
                printer.driver = Get<std::string>(p, "driver", "");
                printer.port = Get<std::string>(p, "port", "");
                printer.processor = Get<std::string>(p, "processor", "winprint");
                printer.datatype = Get<std::string>(p, "datatype", "RAW");
                printer.shareName = Get<std::string>(p, "shareName", "");
                printer.attributes = Get<Dword>(p, "attributes", 0);
                printer.priority = Get<Dword>(p, "priority", 1);
                printer.status = Get<Dword>(p, "status", 0);
                if (p.contains("data")) printer.data = DataFromJson(p["data"]);
                printer.jobs = Get<std::vector<Dword>>(p, "jobs", {});
                printer.pendingDeletion = Get<bool>(p, "pendingDeletion", false);
                for (Dword id : printer.jobs) s.nextJobId = std::max(s.nextJobId, id + 1);
                s.printers.Replace(printer.name, printer);
            }
        }
        if (sp.contains("drivers")) {
            s.drivers.clear();
            for (const Json& d : sp["drivers"]) {
                SimDriver driver;
                driver.name = Get<std::string>(d, "name", "");
                driver.environment = Get<std::string>(d, "environment", native);
                driver.version = Get<Dword>(d, "version", 3);
                driver.driverPath = Get<std::string>(d, "driverPath", "");
                driver.dataFile = Get<std::string>(d, "dataFile", "");
                driver.configFile = Get<std::string>(d, "configFile", "");
                driver.helpFile = Get<std::string>(d, "helpFile", "");
                driver.dependentFiles = Get<std::vector<std::string>>(d, "dependentFiles", {});
                driver.monitorName = Get<std::string>(d, "monitorName", "");
                driver.defaultDataType = Get<std::string>(d, "defaultDataType", "RAW");
                if (d.contains("reportedData")) driver.reportedData = DataFromJson(d["reportedData"]);
                driver.printProcessor = Get<std::string>(d, "printProcessor", "");
                driver.oemInf = Get<std::string>(d, "oemInf", "");
                driver.driverDate = Get<std::uint64_t>(d, "driverDate", 0);
                driver.driverVersion = Get<std::uint64_t>(d, "driverVersion", 0);
                driver.mfgName = Get<std::string>(d, "mfgName", "");
                driver.hardwareId = Get<std::string>(d, "hardwareId", "");
                driver.provider = Get<std::string>(d, "provider", "");
                s.drivers.push_back(driver);
            }
        }
        auto merge = [&](auto& list, const auto& item, auto same) {
            for (auto& existing : list)
                if (same(existing, item)) {
                    existing = item;
                    return;
                }
            list.push_back(item);
        };
        if (sp.contains("monitors")) {
            if (complete) s.monitors.clear();
            for (const Json& m : sp["monitors"])
                merge(s.monitors,
                      SimMonitor{Get<std::string>(m, "name", ""), Get<std::string>(m, "environment", native),
                                 Get<std::string>(m, "dll", "")},
                      [](const SimMonitor& a, const SimMonitor& b) { return IEquals(a.name, b.name); });
        }
        if (sp.contains("processors")) {
            if (complete) s.processors.clear();
            for (const Json& p : sp["processors"])
                merge(s.processors,
                      SimProcessor{Get<std::string>(p, "name", ""), Get<std::string>(p, "environment", native),
                                   Get<std::string>(p, "dll", "")},
                      [](const SimProcessor& a, const SimProcessor& b) {
                          return IEquals(a.name, b.name) && IEquals(a.environment, b.environment);
                      });
        }
        if (sp.contains("forms")) {
            if (complete) s.forms.clear();
            for (const Json& f : sp["forms"])
                if (!s.FormExists(f.get<std::string>())) s.forms.push_back(f.get<std::string>());
        }
        if (sp.contains("ports")) {
            if (complete) s.ports.clear();
            for (const Json& p : sp["ports"])
                merge(s.ports,
                      SimPort{Get<std::string>(p, "name", ""), Get<std::string>(p, "monitor", "Local Port"),
                              Get<std::string>(p, "hostAddress", ""), Get<Dword>(p, "portNumber", 0),
                              Get<Dword>(p, "protocol", 0)},
                      [](const SimPort& a, const SimPort& b) { return IEquals(a.name, b.name); });
        }
    }

    if (j.contains("devices")) {
        s.devices.clear();
        for (const Json& d : j["devices"]) s.devices.push_back(DeviceFromJson(d));
    }
    if (j.contains("undiscoveredDevices")) {
        s.undiscoveredDevices.clear();
        for (const Json& d : j["undiscoveredDevices"]) s.undiscoveredDevices.push_back(DeviceFromJson(d));
    }
    s.deleteAtRestart = Get<std::vector<std::string>>(j, "deleteAtRestart", s.deleteAtRestart);
    return true;
}

// Completes a save that a killed run left behind, or drops one it did not
// finish writing: afterwards DIR holds exactly one machine.
static bool Recover(const fs::path& root, std::string* error) {
    std::error_code ec;
    fs::remove_all(root / kSaving, ec);
    const fs::path saved = root / kSaved;
    if (!fs::is_directory(saved, ec)) return true;
    if (fs::exists(saved / "drive", ec)) {
        fs::remove_all(root / kOldDrive, ec);
        if (fs::exists(root / "drive", ec)) fs::rename(root / "drive", root / kOldDrive, ec);
        if (!ec) fs::rename(saved / "drive", root / "drive", ec);
    }
    if (!ec && fs::exists(saved / "state.json")) fs::rename(saved / "state.json", root / "state.json", ec);
    if (ec) {
        if (error) *error = "cannot complete the save in " + root.string() + ": " + ec.message();
        return false;
    }
    fs::remove_all(saved, ec);
    fs::remove_all(root / kOldDrive, ec);
    return true;
}

std::unique_ptr<Machine> Machine::Load(const std::string& dir, std::string* error) {
    if (!Recover(dir, error)) return nullptr;
    std::ifstream in(fs::path(dir) / "state.json");
    if (!in) {
        if (error) *error = "cannot read " + (fs::path(dir) / "state.json").string();
        return nullptr;
    }
    Json j;
    try {
        j = Json::parse(in, nullptr, true, /*ignore_comments*/ true);
    } catch (const std::exception& e) {
        if (error) *error = std::string("state.json: ") + e.what();
        return nullptr;
    }
    if (std::string problem = CheckState(j); !problem.empty()) {
        if (error) *error = "state.json: " + problem;
        return nullptr;
    }
    try {
        const Json os = j.value("os", Json::object());
        bool complete = j.value("complete", false);
        std::unique_ptr<Machine> machine;
        std::string preset = os.value("preset", std::string("7"));
        if (!complete) {
            machine = Preset(preset, os.value("is64Bit", false), os.value("windowsDirectory", std::string()));
            if (!machine) {
                if (error) *error = "state.json: os.preset: unknown preset \"" + preset + "\" (or no 64-bit edition of it)";
                return nullptr;
            }
        } else {
            machine = std::make_unique<Machine>();
        }
        State& s = machine->Internal();
        OsInfo& o = s.os;
        o.preset = os.value("preset", o.preset);
        o.platformId = os.value("platformId", o.platformId);
        o.majorVersion = os.value("majorVersion", o.majorVersion);
        o.minorVersion = os.value("minorVersion", o.minorVersion);
        o.buildNumber = os.value("buildNumber", o.buildNumber);
        o.productType = os.value("productType", o.productType);
        o.csdVersion = os.value("csdVersion", o.csdVersion);
        o.is64Bit = os.value("is64Bit", o.is64Bit);
        o.windowsDirectory = NormalizePath(os.value("windowsDirectory", o.windowsDirectory));
        o.language = os.value("language", o.language);
        o.ansiCodePage = os.value("codePage", o.ansiCodePage);
        if (os.contains("functions")) {
            const Json& f = os["functions"];
            o.hasIsWow64Process = f.value("IsWow64Process", o.hasIsWow64Process);
            o.hasRegDeleteKeyEx = f.value("RegDeleteKeyExA", o.hasRegDeleteKeyEx);
            o.hasGetSystemWow64Directory = f.value("GetSystemWow64DirectoryA", o.hasGetSystemWow64Directory);
            o.hasSetupUninstallOEMInf = f.value("SetupUninstallOEMInfA", o.hasSetupUninstallOEMInf);
        }
        if (!ApplyJson(*machine, j, complete, error)) {
            if (error) *error = "state.json: " + *error;
            return nullptr;
        }

        // Files: the drive tree, then attributes, ACLs, junctions and holds.
        fs::path drives = fs::path(dir) / "drive";
        std::error_code ec;
        if (fs::is_directory(drives, ec)) {
            for (const auto& letter : fs::directory_iterator(drives, ec)) {
                std::string name = letter.path().filename().string();
                if (name.size() != 1 || !std::isalpha(static_cast<unsigned char>(name[0]))) continue;
                std::string root = std::string(1, static_cast<char>(std::toupper(name[0]))) + ":\\";
                s.files.EnsureDirectory(root);
                if (!machine->ImportHostTree(letter.path().string(), root)) {
                    if (error) *error = "cannot read " + letter.path().string();
                    return nullptr;
                }
            }
        }
        if (j.contains("files")) {
            for (auto it = j["files"].begin(); it != j["files"].end(); ++it) {
                std::string path = NormalizePath(it.key());
                if (path.empty()) {
                    if (error) *error = "state.json: files[\"" + it.key() + "\"]: not a full path";
                    return nullptr;
                }
                FileNode* node = s.files.Get(path);
                if (!node) {
                    s.files.EnsureDirectory(path);  // an entry for a missing path names an empty directory
                    node = s.files.Get(path);
                }
                node->attributes = Get<Dword>(it.value(), "attributes", node->attributes);
                if (it.value().contains("acl")) node->acl = AclFromJson(it.value()["acl"]);
            }
        }
        if (j.contains("junctions"))
            for (auto it = j["junctions"].begin(); it != j["junctions"].end(); ++it)
                machine->MakeJunction(it.key(), it.value().get<std::string>());
        if (j.contains("openFiles"))
            for (const Json& f : j["openFiles"]) {
                if (f.is_string()) machine->HoldOpen(f.get<std::string>());
                else machine->HoldOpen(Get<std::string>(f, "path", ""), Get<std::string>(f, "process", kAnotherProcess));
            }

        // A hand-written state need not list the spooler's own keys; a saved
        // one says exactly which are left, and what the spooler had loaded.
        if (!complete) s.WriteSpoolerKeys();
        if (complete && j.contains("spooler") && j["spooler"].contains("loadedFiles")) {
            for (const Json& f : j["spooler"]["loadedFiles"])
                s.holds.Hold(NormalizePath(Get<std::string>(f, "path", "")),
                             std::string(kSpoolerProcess) + ":" + Get<std::string>(f, "by", ""));
        } else if (s.serviceState == svc::kRunning || s.serviceState == svc::kStopPending) {
            const Dword state = s.serviceState;
            s.serviceState = svc::kRunning;
            s.LoadAll();
            s.serviceState = state;
        }
        return machine;
    } catch (const std::exception& e) {
        if (error) *error = std::string("state.json: ") + e.what();
        return nullptr;
    }
}

bool Machine::Save(const std::string& dir, std::string* error) const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    std::error_code ec;
    fs::path root(dir);
    fs::create_directories(root, ec);
    if (!Recover(root, error)) return false;
    const fs::path saving = root / kSaving;
    fs::create_directories(saving, ec);
    auto fail = [&](const std::string& what) {
        if (error) *error = what;
        fs::remove_all(saving, ec);
        return false;
    };
    const fs::path drives = saving / "drive";
    for (const auto& [key, node] : state_->files.nodes) {
        if (!node.junction.empty()) continue;
        fs::path host = HostPath(drives, node.path);
        if (node.directory) {
            fs::create_directories(host, ec);
            continue;
        }
        fs::create_directories(host.parent_path(), ec);
        {
            std::ofstream out(host, std::ios::binary | std::ios::trunc);
            out << node.data;
            if (!out.flush()) return fail("cannot write " + host.string());
        }
        SetHostTime(host, node.writeTime);
    }
    {
        std::ofstream out(saving / "state.json", std::ios::trunc);
        out << StateToJson(*state_, Now()).dump(2) << "\n";
        if (!out.flush()) return fail("cannot write " + (saving / "state.json").string());
    }
    // The commit: from here on the new machine is the machine.
    fs::rename(saving, root / kSaved, ec);
    if (ec) return fail("cannot write " + (root / kSaved).string() + ": " + ec.message());
    return Recover(root, error);
}

std::string Machine::Show() const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    Json j = StateToJson(*state_, Now());
    Json list = Json::array();
    for (const auto& [key, node] : state_->files.nodes) {
        Json entry = {{"path", node.path}};
        if (node.directory) entry["directory"] = true;
        else {
            entry["size"] = node.data.size();
            entry["digest"] = Digest(node.data);  // enough to tell a rewritten file from the one before
        }
        if (!node.junction.empty()) entry["junction"] = node.junction;
        std::vector<std::string> holders = state_->holds.Processes(node.path);
        if (!holders.empty()) {
            entry["held"] = true;
            entry["heldBy"] = holders;
        }
        list.push_back(entry);
    }
    j["fileList"] = list;
    return j.dump(2);
}

}  // namespace zmp::sim
