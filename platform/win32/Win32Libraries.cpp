// The function tables of the libraries loaded by full path.
#include "platform/win32/Win32Libraries.h"

#include <cstddef>
#include <cstring>

namespace zmp::win32 {

SpoolerFunctions g_winspool = {};
SetupFunctions g_setupapi = {};
ShellFunctions g_shlwapi = {};

namespace {

// The file name of a path, compared without regard to case.
bool NamedAs(const char* path, const char* name) {
    const char* base = path;
    for (const char* p = path; *p; ++p)
        if (*p == '\\' || *p == '/') base = p + 1;
    return ::lstrcmpiA(base, name) == 0;
}

// One function of a table: its exported name and where its pointer goes.
struct Slot {
    const char* name;
    std::size_t offset;
};

#define ZMP_SLOT(table, fn) {#fn, offsetof(table, fn)}

const Slot kWinspoolSlots[] = {
    ZMP_SLOT(SpoolerFunctions, AddMonitorA),          ZMP_SLOT(SpoolerFunctions, AddPrintProcessorA),
    ZMP_SLOT(SpoolerFunctions, AddPrinterA),          ZMP_SLOT(SpoolerFunctions, AddPrinterDriverA),
    ZMP_SLOT(SpoolerFunctions, ClosePrinter),         ZMP_SLOT(SpoolerFunctions, DeleteFormA),
    ZMP_SLOT(SpoolerFunctions, DeleteMonitorA),       ZMP_SLOT(SpoolerFunctions, DeletePrintProcessorA),
    ZMP_SLOT(SpoolerFunctions, DeletePrinter),        ZMP_SLOT(SpoolerFunctions, DeletePrinterDriverExA),
    ZMP_SLOT(SpoolerFunctions, EnumFormsA),           ZMP_SLOT(SpoolerFunctions, EnumJobsA),
    ZMP_SLOT(SpoolerFunctions, EnumPrintProcessorsA), ZMP_SLOT(SpoolerFunctions, EnumPrinterDriversA),
    ZMP_SLOT(SpoolerFunctions, EnumPrintersA),        ZMP_SLOT(SpoolerFunctions, GetPrintProcessorDirectoryA),
    ZMP_SLOT(SpoolerFunctions, GetPrinterDataA),      ZMP_SLOT(SpoolerFunctions, GetPrinterDriverA),
    ZMP_SLOT(SpoolerFunctions, GetPrinterDriverDirectoryA), ZMP_SLOT(SpoolerFunctions, OpenPrinterA),
    ZMP_SLOT(SpoolerFunctions, SetJobA),              ZMP_SLOT(SpoolerFunctions, XcvDataW),
};

const Slot kSetupapiSlots[] = {
    ZMP_SLOT(SetupFunctions, SetupCloseInfFile),      ZMP_SLOT(SetupFunctions, SetupCopyOEMInfA),
    ZMP_SLOT(SetupFunctions, SetupDiDestroyDeviceInfoList), ZMP_SLOT(SetupFunctions, SetupDiEnumDeviceInfo),
    ZMP_SLOT(SetupFunctions, SetupDiGetClassDevsA),   ZMP_SLOT(SetupFunctions, SetupDiGetDeviceRegistryPropertyA),
    ZMP_SLOT(SetupFunctions, SetupDiRemoveDevice),    ZMP_SLOT(SetupFunctions, SetupFindFirstLineA),
    ZMP_SLOT(SetupFunctions, SetupGetInfFileListA),   ZMP_SLOT(SetupFunctions, SetupOpenInfFileA),
};

const Slot kShlwapiSlots[] = {ZMP_SLOT(ShellFunctions, SHDeleteKeyA)};

#undef ZMP_SLOT

// Fills a table from the library: false when it lacks one of the functions
// (the table is then left as it was).
bool FillSlots(HMODULE module, const Slot* slots, std::size_t count, void* table, std::size_t size) {
    char filled[sizeof(SpoolerFunctions)];  // the largest table
    std::memcpy(filled, table, size);
    for (std::size_t i = 0; i < count; ++i) {
        FARPROC proc = ::GetProcAddress(module, slots[i].name);
        if (!proc) return false;
        std::memcpy(filled + slots[i].offset, &proc, sizeof proc);
    }
    std::memcpy(table, filled, size);
    return true;
}

template <typename Table, std::size_t N>
bool Fill(HMODULE module, const Slot (&slots)[N], Table& table) {
    static_assert(sizeof(Table) <= sizeof(SpoolerFunctions), "the largest table is the spooler's");
    return FillSlots(module, slots, N, &table, sizeof table);
}

bool AdoptSetupapi(HMODULE module) {
    if (!Fill(module, kSetupapiSlots, g_setupapi)) return false;
    // Not on every release: NULL where setupapi lacks it.
    g_setupapi.SetupUninstallOEMInfA = reinterpret_cast<decltype(g_setupapi.SetupUninstallOEMInfA)>(
        reinterpret_cast<void*>(::GetProcAddress(module, "SetupUninstallOEMInfA")));
    return true;
}

// The progress bars and the IP address control are common controls.
bool AdoptComctl32(HMODULE module) {
    auto init = reinterpret_cast<decltype(&::InitCommonControlsEx)>(
        reinterpret_cast<void*>(::GetProcAddress(module, "InitCommonControlsEx")));
    if (!init) return false;
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS | ICC_INTERNET_CLASSES};
    init(&controls);
    return true;
}

}  // namespace

Dword AdoptSystemLibrary(const char* path, HMODULE module) {
    bool ok = true;
    if (NamedAs(path, "winspool.drv")) ok = Fill(module, kWinspoolSlots, g_winspool);
    else if (NamedAs(path, "setupapi.dll")) ok = AdoptSetupapi(module);
    else if (NamedAs(path, "shlwapi.dll")) ok = Fill(module, kShlwapiSlots, g_shlwapi);
    else if (NamedAs(path, "comctl32.dll")) ok = AdoptComctl32(module);
    if (ok) return ERROR_SUCCESS;
    ::SetLastError(ERROR_PROC_NOT_FOUND);
    return ERROR_PROC_NOT_FOUND;
}


}  // namespace zmp::win32
