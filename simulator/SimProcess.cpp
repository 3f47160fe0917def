// The context one simulated process shares between its backends.
#include "simulator/MachineState.h"
#include "simulator/SimPlatform.h"

namespace zmp::sim {

// --- FaultSwitches ----------------------------------------------------------------

FaultSwitches::Method& FaultSwitches::Named(std::string_view name) {
    auto it = methods_.find(name);
    if (it == methods_.end()) it = methods_.emplace(std::string(name), Method{}).first;
    return it->second;
}

void FaultSwitches::Fail(const std::string& method, Dword code, unsigned nth) {
    std::lock_guard<std::mutex> lock(mutex_);
    Named(method).rules.push_back(Rule{code, nth});
}

void FaultSwitches::Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto& [name, method] : methods_) method = Method{};
}

std::optional<Dword> FaultSwitches::Next(const char* method) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto known = literals_.find(method);
    Method& m = known != literals_.end() ? *known->second : *(literals_[method] = &Named(method));
    const unsigned n = ++m.calls;
    for (const Rule& rule : m.rules)
        if (rule.nth == 0 || rule.nth == n) return rule.code;
    return std::nullopt;
}

std::vector<std::pair<std::string, unsigned>> FaultSwitches::CallSites(const std::vector<std::string>& calls) {
    std::map<std::string, unsigned> counts;
    std::vector<std::pair<std::string, unsigned>> sites;
    for (const std::string& method : calls) sites.emplace_back(method, ++counts[method]);
    return sites;
}

// --- SimProcess --------------------------------------------------------------------

SimProcess::SimProcess(Machine& machine, ProcessOptions options, Events* events)
    : machine_(machine), options_(std::move(options)), events_(events) {
    std::string exe = NormalizePath(options_.executable);
    if (!exe.empty()) options_.executable = exe;
    if (options_.currentDirectory.empty()) options_.currentDirectory = exe.empty() ? "C:\\" : ParentPath(exe);
    std::string cwd = NormalizePath(options_.currentDirectory);
    options_.currentDirectory = cwd.empty() ? "C:\\" : cwd;
}

// The machine's version record as it is now, read in place: every path a
// call names goes through here, and a copy of the record costs more than
// the call.
template <class Read>
auto SimProcess::ReadOs(Read read) const {
    std::lock_guard<std::recursive_mutex> lock(machine_.Mutex());
    return read(machine_.Internal().os);
}

bool SimProcess::Wow64() const {
    return !options_.is64Bit && ReadOs([](const OsInfo& os) { return os.is64Bit; });
}

std::string SimProcess::CallerEnvironment() const {
    // A NULL environment means the caller's own (documented for
    // EnumPrinterDrivers, GetPrinterDriverDirectory, DeletePrinterDriverEx):
    // a 32-bit program gets "Windows NT x86" also on 64-bit Windows.
    return ReadOs([&](const OsInfo& os) -> std::string {
        if (os.platformId == 1) return kEnvWin40;
        return os.is64Bit && options_.is64Bit ? kEnvX64 : kEnvX86;
    });
}

std::optional<Dword> SimProcess::Enter(const char* method) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (exitCode_) throw ProcessExit{*exitCode_};
        calls_.push_back(method);
    }
    return faults_.Next(method);
}

std::vector<std::string> SimProcess::Calls() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return std::vector<std::string>(calls_.begin(), calls_.end());
}

std::vector<const char*> SimProcess::CallNames() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return calls_;
}

Dword SimProcess::LastError() const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = lastErrors_.find(std::this_thread::get_id());
    return it == lastErrors_.end() ? 0 : it->second;
}

void SimProcess::SetLastError(Dword code) {
    std::lock_guard<std::mutex> lock(mutex_);
    lastErrors_[std::this_thread::get_id()] = code;
}

Status SimProcess::Fail(Dword code) {
    SetLastError(code);
    return Status::Fail(code);
}

std::string SimProcess::CurrentDirectory() const { return options_.currentDirectory; }

std::string SimProcess::ProgramDirectory() const { return ParentPath(NormalizePath(options_.executable)); }

DllSearch SimProcess::Search() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return search_;
}

void SimProcess::SetSearch(DllSearch search) {
    std::lock_guard<std::mutex> lock(mutex_);
    search_ = search;
}

std::string SimProcess::FromAnsi(const std::string& text) const {
    return sim::FromAnsi(ReadOs([](const OsInfo& os) { return os.ansiCodePage; }), text);
}

std::string SimProcess::ToAnsi(const std::string& text) const {
    return sim::ToAnsi(ReadOs([](const OsInfo& os) { return os.ansiCodePage; }), text);
}

std::string SimProcess::ResolvePath(const std::string& path) const {
    if (path.empty()) return "";
    // Windows reads an "A" path in the code page first: a double-byte
    // character's second byte is part of the character, never a separator.
    std::string p = FromAnsi(path);
    for (char& c : p)
        if (c == '/') c = '\\';
    if (p.size() >= 2 && p[0] == '\\' && p[1] == '\\') return "";  // no network
    const std::string& cwd = options_.currentDirectory;
    std::string absolute;
    if (p.size() >= 2 && p[1] == ':') {
        if (p.size() == 2 || p[2] != '\\') {
            // "X:name": relative to that drive's current directory.
            std::string base = IEquals(p.substr(0, 1), cwd.substr(0, 1)) ? cwd : p.substr(0, 2) + "\\";
            absolute = JoinPath(base, p.substr(2));
        } else {
            absolute = p;
        }
    } else if (p[0] == '\\') {
        absolute = cwd.substr(0, 2) + p;
    } else {
        absolute = JoinPath(cwd, p);
    }
    std::string normalized = NormalizePath(absolute);
    if (normalized.empty() || !Wow64()) return normalized;

    // WOW64 file-system redirection of a 32-bit process.
    struct Facts {
        std::string windowsDirectory;
        Dword majorVersion, minorVersion;
        bool vista;
    };
    const Facts os = ReadOs([](const OsInfo& o) {
        return Facts{o.windowsDirectory, o.majorVersion, o.minorVersion, o.VistaOrLater()};
    });
    // Every path a call names comes here, so the folders are compared in
    // place, without regard to case, rather than through upper-case copies.
    const std::string windows = NormalizePath(os.windowsDirectory);
    const std::string system = JoinPath(windows, "system32");
    if (os.vista) {
        const std::string sysnative = JoinPath(windows, "Sysnative");
        if (IsWithin(normalized, sysnative)) return system + normalized.substr(sysnative.size());
    }
    if (!IsWithin(normalized, system)) return normalized;
    const std::string rest = normalized.substr(system.size());  // "" or "\..."
    const bool driverStoreExempt = os.majorVersion > 6 || (os.majorVersion == 6 && os.minorVersion >= 1);
    for (const char* exempt : {"\\CATROOT", "\\CATROOT2", "\\DRIVERS\\ETC", "\\LOGFILES", "\\SPOOL", "\\DRIVERSTORE"}) {
        const std::string e = exempt;
        if (e == "\\DRIVERSTORE" && !driverStoreExempt) continue;
        if (IsWithin(rest, e)) return normalized;
    }
    return JoinPath(windows, "SysWOW64") + normalized.substr(system.size());
}

void SimProcess::AddEvent(const std::string& kind, const std::string& text) {
    if (events_) events_->Add(kind, text);
}

void SimProcess::RunSleepHook() {
    if (sleepHook_) sleepHook_();
}

bool SimProcess::Exited() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return exitCode_.has_value();
}

void SimProcess::Exit(int code) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!exitCode_) exitCode_ = code;
        code = *exitCode_;
    }
    throw ProcessExit{code};
}

std::uintptr_t SimProcess::NewHandle() {
    std::lock_guard<std::mutex> lock(mutex_);
    return nextHandle_ += 4;
}

AclRef SimProcess::NewAcl(std::vector<AceEntry> entries) {
    std::uintptr_t h = NewHandle();
    std::lock_guard<std::mutex> lock(mutex_);
    acls_[h] = std::move(entries);
    return static_cast<AclRef>(h);
}

std::optional<std::vector<AceEntry>> SimProcess::Acl(AclRef acl) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = acls_.find(static_cast<std::uintptr_t>(acl));
    if (it == acls_.end()) return std::nullopt;
    return it->second;
}

bool SimProcess::FreeAcl(AclRef acl) {
    std::lock_guard<std::mutex> lock(mutex_);
    return acls_.erase(static_cast<std::uintptr_t>(acl)) > 0;
}

// --- SimSystem ---------------------------------------------------------------------

SimSystem::SimSystem(Machine& machine, ProcessOptions options, Events* events)
    : process_(machine, std::move(options), events),
      files(process_),
      registry(process_),
      spooler(process_),
      setup(process_),
      processes(process_),
      system(process_),
      clock(process_),
      power(process_),
      services(process_),
      modules(process_) {}

Platform SimSystem::MakePlatform(Ui& ui) {
    return Platform{spooler, setup, registry, files, processes, system, clock, power, ui, services, modules};
}

}  // namespace zmp::sim
