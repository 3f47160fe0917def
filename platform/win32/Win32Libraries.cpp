// The function tables of the libraries loaded by full path.
#include "platform/win32/Win32Libraries.h"

#include <cstring>

namespace zmp::win32 {
namespace {

SpoolerFunctions g_winspool = {};
SetupFunctions g_setupapi = {};
ShellFunctions g_shlwapi = {};

// The file name of a path, compared without regard to case.
bool NamedAs(const char* path, const char* name) {
    const char* base = path;
    for (const char* p = path; *p; ++p)
        if (*p == '\\' || *p == '/') base = p + 1;
    return ::lstrcmpiA(base, name) == 0;
}

// Fills one entry; false when the library does not export it.
template <typename F>
bool Take(HMODULE module, const char* name, F& out) {
    out = reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
    return out != nullptr;
}

#define ZMP_TAKE(table, fn) ok = Take(module, #fn, table.fn) && ok

bool AdoptWinspool(HMODULE module) {
    SpoolerFunctions t = {};
    bool ok = true;
    ZMP_TAKE(t, AddMonitorA);
    ZMP_TAKE(t, AddPrintProcessorA);
    ZMP_TAKE(t, AddPrinterA);
    ZMP_TAKE(t, AddPrinterDriverA);
    ZMP_TAKE(t, ClosePrinter);
    ZMP_TAKE(t, DeleteFormA);
    ZMP_TAKE(t, DeleteMonitorA);
    ZMP_TAKE(t, DeletePrintProcessorA);
    ZMP_TAKE(t, DeletePrinter);
    ZMP_TAKE(t, DeletePrinterDriverExA);
    ZMP_TAKE(t, EnumFormsA);
    ZMP_TAKE(t, EnumJobsA);
    ZMP_TAKE(t, EnumPrintProcessorsA);
    ZMP_TAKE(t, EnumPrinterDriversA);
    ZMP_TAKE(t, EnumPrintersA);
    ZMP_TAKE(t, GetPrintProcessorDirectoryA);
    ZMP_TAKE(t, GetPrinterDataA);
    ZMP_TAKE(t, GetPrinterDriverA);
    ZMP_TAKE(t, GetPrinterDriverDirectoryA);
    ZMP_TAKE(t, OpenPrinterA);
    ZMP_TAKE(t, SetJobA);
    ZMP_TAKE(t, XcvDataW);
    if (ok) g_winspool = t;
    return ok;
}

bool AdoptSetupapi(HMODULE module) {
    SetupFunctions t = {};
    bool ok = true;
    ZMP_TAKE(t, SetupCloseInfFile);
    ZMP_TAKE(t, SetupCopyOEMInfA);
    ZMP_TAKE(t, SetupDiDestroyDeviceInfoList);
    ZMP_TAKE(t, SetupDiEnumDeviceInfo);
    ZMP_TAKE(t, SetupDiGetClassDevsA);
    ZMP_TAKE(t, SetupDiGetDeviceRegistryPropertyA);
    ZMP_TAKE(t, SetupDiRemoveDevice);
    ZMP_TAKE(t, SetupFindFirstLineA);
    ZMP_TAKE(t, SetupGetInfFileListA);
    ZMP_TAKE(t, SetupOpenInfFileA);
    Take(module, "SetupUninstallOEMInfA", t.SetupUninstallOEMInfA);  // may be missing
    if (ok) g_setupapi = t;
    return ok;
}

bool AdoptShlwapi(HMODULE module) {
    ShellFunctions t = {};
    bool ok = true;
    ZMP_TAKE(t, SHDeleteKeyA);
    if (ok) g_shlwapi = t;
    return ok;
}

// The progress bars and the IP address control are common controls.
bool AdoptComctl32(HMODULE module) {
    decltype(&::InitCommonControlsEx) init = nullptr;
    if (!Take(module, "InitCommonControlsEx", init)) return false;
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS | ICC_INTERNET_CLASSES};
    init(&controls);
    return true;
}

#undef ZMP_TAKE

}  // namespace

Dword AdoptSystemLibrary(const char* path, HMODULE module) {
    bool ok = true;
    if (NamedAs(path, "winspool.drv")) ok = AdoptWinspool(module);
    else if (NamedAs(path, "setupapi.dll")) ok = AdoptSetupapi(module);
    else if (NamedAs(path, "shlwapi.dll")) ok = AdoptShlwapi(module);
    else if (NamedAs(path, "comctl32.dll")) ok = AdoptComctl32(module);
    if (ok) return ERROR_SUCCESS;
    ::SetLastError(ERROR_PROC_NOT_FOUND);
    return ERROR_PROC_NOT_FOUND;
}

const SpoolerFunctions& Winspool() { return g_winspool; }
const SetupFunctions& Setupapi() { return g_setupapi; }
const ShellFunctions& Shlwapi() { return g_shlwapi; }

}  // namespace zmp::win32
