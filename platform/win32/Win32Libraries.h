// The Windows DLLs that are not KnownDLLs on every release the programs run
// on (winspool.drv, setupapi.dll, comctl32.dll, shlwapi.dll). They are not
// in the import table, where the loader would look for them in the
// program's own folder first, a folder an ordinary user can write to; they
// are loaded by full path from the system directory (Win32Modules) and
// their functions are taken from here.
#pragma once

#include "platform/win32/Win32Api.h"
#include "platform/Types.h"

#include <commctrl.h>

namespace zmp::win32 {

struct SpoolerFunctions {
    decltype(&::AddMonitorA) AddMonitorA;
    decltype(&::AddPrintProcessorA) AddPrintProcessorA;
    decltype(&::AddPrinterA) AddPrinterA;
    decltype(&::AddPrinterDriverA) AddPrinterDriverA;
    decltype(&::ClosePrinter) ClosePrinter;
    decltype(&::DeleteFormA) DeleteFormA;
    decltype(&::DeleteMonitorA) DeleteMonitorA;
    decltype(&::DeletePrintProcessorA) DeletePrintProcessorA;
    decltype(&::DeletePrinter) DeletePrinter;
    decltype(&::DeletePrinterDriverExA) DeletePrinterDriverExA;
    decltype(&::EnumFormsA) EnumFormsA;
    decltype(&::EnumJobsA) EnumJobsA;
    decltype(&::EnumPrintProcessorsA) EnumPrintProcessorsA;
    decltype(&::EnumPrinterDriversA) EnumPrinterDriversA;
    decltype(&::EnumPrintersA) EnumPrintersA;
    decltype(&::GetPrintProcessorDirectoryA) GetPrintProcessorDirectoryA;
    decltype(&::GetPrinterDataA) GetPrinterDataA;
    decltype(&::GetPrinterDriverA) GetPrinterDriverA;
    decltype(&::GetPrinterDriverDirectoryA) GetPrinterDriverDirectoryA;
    decltype(&::OpenPrinterA) OpenPrinterA;
    decltype(&::SetJobA) SetJobA;
    decltype(&::XcvDataW) XcvDataW;
};

struct SetupFunctions {
    decltype(&::SetupCloseInfFile) SetupCloseInfFile;
    decltype(&::SetupCopyOEMInfA) SetupCopyOEMInfA;
    decltype(&::SetupDiDestroyDeviceInfoList) SetupDiDestroyDeviceInfoList;
    decltype(&::SetupDiEnumDeviceInfo) SetupDiEnumDeviceInfo;
    decltype(&::SetupDiGetClassDevsA) SetupDiGetClassDevsA;
    decltype(&::SetupDiGetDeviceRegistryPropertyA) SetupDiGetDeviceRegistryPropertyA;
    decltype(&::SetupDiRemoveDevice) SetupDiRemoveDevice;
    decltype(&::SetupFindFirstLineA) SetupFindFirstLineA;
    decltype(&::SetupGetInfFileListA) SetupGetInfFileListA;
    decltype(&::SetupOpenInfFileA) SetupOpenInfFileA;
    // Not on every release: NULL where setupapi lacks it.
    BOOL(WINAPI* SetupUninstallOEMInfA)(PCSTR, DWORD, PVOID);
};

struct ShellFunctions {
    decltype(&::SHDeleteKeyA) SHDeleteKeyA;
};

// The functions of the library loaded as path (LoadLibraryA already done):
// 0, or ERROR_PROC_NOT_FOUND (127) when one the programs need is missing.
// A library the programs do not take functions from is accepted as it is.
// Loading comctl32 also registers the common controls the dialogs use.
Dword AdoptSystemLibrary(const char* path, HMODULE module);

// The tables; every entry is NULL until its library was adopted.
extern SpoolerFunctions g_winspool;
extern SetupFunctions g_setupapi;
extern ShellFunctions g_shlwapi;
inline const SpoolerFunctions& Winspool() { return g_winspool; }
inline const SetupFunctions& Setupapi() { return g_setupapi; }
inline const ShellFunctions& Shlwapi() { return g_shlwapi; }

}  // namespace zmp::win32
