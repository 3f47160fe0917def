// Where the process takes its DLLs from (kernel32's library loader).
#pragma once

#include <string>

#include "platform/Types.h"

namespace zmp {

namespace mod {
constexpr Dword kLoadLibrarySearchSystem32 = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32
}  // namespace mod

class Modules {
public:
    virtual ~Modules() = default;

    // GetProcAddress(GetModuleHandleA("kernel32"), "SetDefaultDllDirectories")
    // != NULL (Windows 8 and later; Vista, 7 and 2008 R2 with KB2533623).
    // A failed look-up leaves its code as the last error.
    virtual bool HasSetDefaultDllDirectories() = 0;
    // SetDefaultDllDirectories(flags); only after HasSetDefaultDllDirectories().
    virtual Status SetDefaultDllDirectories(Dword flags) = 0;
    // The same for SetDllDirectoryA (XP SP1 and later): "" takes the
    // current directory out of the DLL search.
    virtual bool HasSetDllDirectory() = 0;
    virtual Status SetDllDirectory(const std::string& path) = 0;
    // LoadLibraryExA(path, NULL, LOAD_WITH_ALTERED_SEARCH_PATH) for a full
    // path (the DLLs it imports are then looked for in its own folder
    // first, not in the program's), LoadLibraryA for a bare name: the
    // library stays loaded for the life of the process, its functions ready
    // for the platform's other services.
    virtual Status LoadLibrary(const std::string& path) = 0;
};

}  // namespace zmp
