// The start of both programs, before anything else is loaded: the DLL
// search is kept out of the program's folder and the current directory,
// and the Windows libraries that are not KnownDLLs on every release
// (winspool.drv, setupapi.dll, comctl32.dll, shlwapi.dll) are loaded by full
// path from the system directory. Both programs run elevated from folders
// an ordinary user can write to (the download folder, the utilities
// folder); a DLL of one of these names put there must never be what loads.
#pragma once

#include <string>

#include "platform/Platform.h"

namespace zmp {

// 0 when every library is loaded; otherwise the Win32 code of the failed
// step, and failed names the library by its path ("" when the system
// directory itself could not be read).
// Where kernel32 has SetDefaultDllDirectories the search is restricted to
// the system directory, else SetDllDirectoryA("") takes the current
// directory out of it; a release with neither keeps its search, and
// everything loaded here is named by full path anyway.
Status LoadSystemLibraries(Platform& platform, std::string& failed);

}  // namespace zmp
