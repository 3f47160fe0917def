// The Windows headers as the backend's sources use them. The seam's method
// names (CreateDirectory, DeleteFile, OpenPrinter ...) are also the names of
// Windows' A/W macros, so those macros are removed here: the backend always
// calls the 8-bit ("A") functions by their full names.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <winspool.h>
#include <setupapi.h>
#include <shlwapi.h>
#include <aclapi.h>

#undef AddMonitor
#undef AddPrintProcessor
#undef AddPrinter
#undef AddPrinterDriver
#undef CharPrev
#undef CopyFile
#undef CreateDirectory
#undef CreateProcess
#undef DeleteFile
#undef DeleteForm
#undef DeleteMonitor
#undef DeletePrintProcessor
#undef DeletePrinterDriverEx
#undef EnumForms
#undef EnumJobs
#undef EnumPrintProcessors
#undef EnumPrinterDrivers
#undef EnumPrinters
#undef FindFirstFile
#undef FindNextFile
#undef GetCurrentDirectory
#undef GetFileAttributes
#undef GetPrintProcessorDirectory
#undef GetPrinterData
#undef GetPrinterDriverDirectory
#undef GetPrivateProfileString
#undef GetSystemDirectory
#undef GetSystemWow64Directory
#undef GetVersionEx
#undef GetWindowsDirectory
#undef LoadLibrary
#undef LookupPrivilegeValue
#undef OpenPrinter
#undef RegDeleteKeyEx
#undef RemoveDirectory
#undef SetEntriesInAcl
#undef SetFileAttributes
#undef SetDllDirectory
#undef SetJob
#undef XcvData

#include "platform/Types.h"

namespace zmp::win32 {

// A failing call that left no code behind still must not read as success:
// it is given this code, which also becomes the thread's last error.
constexpr Dword kUnreportedFailure = ERROR_GEN_FAILURE;

// The thread's last error as a failed Status (never 0).
inline Status LastErrorStatus() {
    DWORD code = ::GetLastError();
    if (code == ERROR_SUCCESS) {
        code = kUnreportedFailure;
        ::SetLastError(code);
    }
    return Status::Fail(code);
}

// BOOL + GetLastError, the Win32 way of failing, as a Status.
inline Status FromBool(BOOL ok) { return ok ? Status::Ok() : LastErrorStatus(); }

// Seam handles are the Win32 handle values themselves.
template <typename Ref, typename T>
Ref ToRef(T value) {
    return static_cast<Ref>(reinterpret_cast<std::uintptr_t>(value));
}
template <typename T, typename Ref>
T FromRef(Ref ref) {
    return reinterpret_cast<T>(static_cast<std::uintptr_t>(ref));
}

// The A-functions take non-const strings they never write to.
inline LPSTR Str(const std::string& s) { return const_cast<LPSTR>(s.c_str()); }
// An empty text stands for an absent (NULL) argument.
inline LPSTR StrOrNull(const std::string& s) { return s.empty() ? nullptr : Str(s); }
// A NULL string field of a returned record reads as empty.
inline std::string FromStr(const char* s) { return s ? std::string(s) : std::string(); }

}  // namespace zmp::win32
