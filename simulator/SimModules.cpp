// kernel32's library loader for one simulated process.
#include "simulator/MachineState.h"
#include "simulator/SimPlatform.h"

namespace zmp::sim {

namespace {

// SetDefaultDllDirectories: Windows 8 and later (the model's machines
// without KB2533623 before that); SetDllDirectoryA: XP SP1 and later.
bool HasDefaultDllDirectories(const OsInfo& os) {
    return os.platformId == sys::kVerPlatformWin32Nt && (os.majorVersion > 6 || (os.majorVersion == 6 && os.minorVersion >= 2));
}

bool HasDllDirectory(const OsInfo& os) {
    return os.platformId == sys::kVerPlatformWin32Nt && (os.majorVersion > 5 || (os.majorVersion == 5 && os.minorVersion >= 1));
}

}  // namespace

bool SimModules::HasSetDefaultDllDirectories() {
    if (auto fault = p_.Enter("Modules.HasSetDefaultDllDirectories")) {
        p_.SetLastError(*fault);
        return false;
    }
    if (HasDefaultDllDirectories(p_.machine().Os())) return true;
    p_.SetLastError(err::kProcNotFound);
    return false;
}

Status SimModules::SetDefaultDllDirectories(Dword flags) {
    if (auto fault = p_.Enter("Modules.SetDefaultDllDirectories")) return p_.Fail(*fault);
    if (!HasDefaultDllDirectories(p_.machine().Os())) return p_.Fail(err::kProcNotFound);
    if (flags != mod::kLoadLibrarySearchSystem32) return p_.Fail(err::kInvalidParameter);  // the one the model knows
    p_.SetSearch(DllSearch::SystemOnly);
    return Status::Ok();
}

bool SimModules::HasSetDllDirectory() {
    if (auto fault = p_.Enter("Modules.HasSetDllDirectory")) {
        p_.SetLastError(*fault);
        return false;
    }
    if (HasDllDirectory(p_.machine().Os())) return true;
    p_.SetLastError(err::kProcNotFound);
    return false;
}

Status SimModules::SetDllDirectory(const std::string& path) {
    if (auto fault = p_.Enter("Modules.SetDllDirectory")) return p_.Fail(*fault);
    if (!HasDllDirectory(p_.machine().Os())) return p_.Fail(err::kProcNotFound);
    if (!path.empty()) return p_.Fail(err::kInvalidParameter);  // only "" is modelled
    // SetDefaultDllDirectories' restriction stays what it is.
    if (p_.Search() == DllSearch::Standard) p_.SetSearch(DllSearch::NoCurrentDirectory);
    return Status::Ok();
}

Status SimModules::LoadLibrary(const std::string& path) {
    if (auto fault = p_.Enter("Modules.LoadLibrary")) return p_.Fail(*fault);
    std::lock_guard<std::recursive_mutex> lock(p_.machine().Mutex());
    Machine::State& s = p_.machine().Internal();
    const std::string found =
        FindLibrary(p_, s, p_.FromAnsi(path), p_.Search(), p_.ProgramDirectory(), p_.CurrentDirectory());
    if (found.empty()) return p_.Fail(err::kModNotFound);
    s.loadedImages.push_back(found);
    p_.SetLastError(err::kSuccess);
    return Status::Ok();
}

}  // namespace zmp::sim
