// A program or a DLL with the name of one of Windows' own (cmd.exe, net.exe,
// rundll32.exe; printui.dll, winspool.drv, setupapi.dll, comctl32.dll,
// shlwapi.dll), as a user could put it beside our programs, in the package's
// download folder or the utilities folder. The scenario "21-win7-planted"
// puts these copies there: if one ever runs or is loaded, it leaves a marker
// file <windows>\Temp\planted-markers\<its file name>.marker naming itself
// and the process it ran in. Tests only; never in the package.
//
//   planted.exe  (PLANTED_DLL not defined): the programs
//   planted.dll  (PLANTED_DLL defined): the DLLs, marking in DllMain
#include <windows.h>

#include <cstring>

namespace {

void Mark(HMODULE self) {
    char own[MAX_PATH] = {}, process[MAX_PATH] = {}, folder[MAX_PATH] = {};
    GetModuleFileNameA(self, own, MAX_PATH);
    GetModuleFileNameA(nullptr, process, MAX_PATH);
    GetWindowsDirectoryA(folder, MAX_PATH);
    lstrcatA(folder, "\\Temp\\planted-markers");
    CreateDirectoryA(folder, nullptr);
    const char* name = std::strrchr(own, '\\');
    char marker[MAX_PATH * 2] = {};
    lstrcpyA(marker, folder);
    lstrcatA(marker, name ? name : "\\unknown");
    lstrcatA(marker, ".marker");
    HANDLE file = CreateFileA(marker, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    char line[MAX_PATH * 3] = {};
    lstrcpyA(line, own);
    lstrcatA(line, " in ");
    lstrcatA(line, process);
    lstrcatA(line, "\r\n");
    DWORD written = 0;
    WriteFile(file, line, lstrlenA(line), &written, nullptr);
    CloseHandle(file);
}

}  // namespace

#ifdef PLANTED_DLL
extern "C" BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) Mark(self);
    return TRUE;
}
#else
int main() {
    Mark(nullptr);
    return 0;
}
#endif
