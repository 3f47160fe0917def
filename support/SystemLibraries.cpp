#include "support/SystemLibraries.h"

namespace zmp {
namespace {

constexpr Dword kMaxPath = 260;
constexpr const char* kLibraries[] = {"winspool.drv", "setupapi.dll", "comctl32.dll", "shlwapi.dll"};

void RestrictDllSearch(Modules& modules) {
    if (modules.HasSetDefaultDllDirectories() &&
        modules.SetDefaultDllDirectories(mod::kLoadLibrarySearchSystem32).ok())
        return;
    if (modules.HasSetDllDirectory()) modules.SetDllDirectory("");
}

}  // namespace

Status LoadSystemLibraries(Platform& platform, std::string& failed) {
    failed.clear();
    RestrictDllSearch(platform.modules);
    std::string systemDir;
    if (platform.files.GetSystemDirectory(systemDir, kMaxPath) == 0 || systemDir.empty()) {
        const Dword code = platform.system.GetLastError();
        return Status::Fail(code ? code : err::kPathNotFound);
    }
    for (const char* name : kLibraries) {
        const std::string path = systemDir + "\\" + name;
        const Status loaded = platform.modules.LoadLibrary(path);
        if (!loaded.ok()) {
            failed = path;
            return loaded;
        }
    }
    return Status::Ok();
}

}  // namespace zmp
