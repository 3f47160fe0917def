// The library loader: kernel32's search-path functions, looked up because
// older releases lack them, and LoadLibraryA.
#include "platform/win32/Win32Libraries.h"
#include "platform/win32/Win32Api.h"
#include "platform/win32/Win32System.h"

namespace zmp::win32 {
namespace {

using SetDefaultDllDirectoriesProc = BOOL(WINAPI*)(DWORD);
using SetDllDirectoryAProc = BOOL(WINAPI*)(LPCSTR);

template <typename F>
F LookUp(const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("kernel32"), name)));
}

}  // namespace

bool Win32Modules::HasSetDefaultDllDirectories() {
    return LookUp<SetDefaultDllDirectoriesProc>("SetDefaultDllDirectories") != nullptr;
}

Status Win32Modules::SetDefaultDllDirectories(Dword flags) {
    auto proc = LookUp<SetDefaultDllDirectoriesProc>("SetDefaultDllDirectories");
    if (!proc) return LastErrorStatus();
    return FromBool(proc(flags));
}

bool Win32Modules::HasSetDllDirectory() { return LookUp<SetDllDirectoryAProc>("SetDllDirectoryA") != nullptr; }

Status Win32Modules::SetDllDirectory(const std::string& path) {
    auto proc = LookUp<SetDllDirectoryAProc>("SetDllDirectoryA");
    if (!proc) return LastErrorStatus();
    return FromBool(proc(path.c_str()));
}

Status Win32Modules::LoadLibrary(const std::string& path) {
    // A full path: the DLLs this one imports are looked for in its own
    // folder (the system directory) first, not in the program's.
    const bool full = path.find('\\') != std::string::npos;
    HMODULE module = ::LoadLibraryExA(path.c_str(), nullptr, full ? LOAD_WITH_ALTERED_SEARCH_PATH : 0);
    if (!module) return LastErrorStatus();
    if (Dword code = AdoptSystemLibrary(path.c_str(), module)) {
        ::FreeLibrary(module);
        ::SetLastError(code);
        return Status::Fail(code);
    }
    return Status::Ok();
}

}  // namespace zmp::win32
