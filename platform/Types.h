// Win32 numbers the system relies on, in its own terms, so that code outside
// platform/win32 never needs <windows.h>. Values are Windows' own.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zmp {

using Dword = std::uint32_t;

// Win32 error codes (winerror.h) the system and the simulator use.
namespace err {
constexpr Dword kSuccess = 0;
constexpr Dword kInvalidFunction = 1;
constexpr Dword kFileNotFound = 2;
constexpr Dword kPathNotFound = 3;
constexpr Dword kAccessDenied = 5;
constexpr Dword kInvalidHandle = 6;
constexpr Dword kNotEnoughMemory = 8;
constexpr Dword kInvalidData = 13;
constexpr Dword kNoMoreFiles = 18;
constexpr Dword kSharingViolation = 32;
constexpr Dword kFileExists = 80;
constexpr Dword kInvalidParameter = 87;
constexpr Dword kInsufficientBuffer = 122;
constexpr Dword kInvalidName = 123;
constexpr Dword kModNotFound = 126;
constexpr Dword kProcNotFound = 127;
constexpr Dword kDirNotEmpty = 145;
constexpr Dword kAlreadyExists = 183;
constexpr Dword kMoreData = 234;
constexpr Dword kNoMoreItems = 259;
constexpr Dword kServiceNotActive = 1062;
constexpr Dword kNoSuchDevinst = 0xE000020B;  // setupapi ERROR_NO_SUCH_DEVINST
constexpr Dword kNotAllAssigned = 1300;
constexpr Dword kNoneMapped = 1332;
constexpr Dword kRpcServerUnavailable = 1722;
constexpr Dword kUnknownPort = 1796;
constexpr Dword kUnknownPrinterDriver = 1797;
constexpr Dword kUnknownPrintProcessor = 1798;
constexpr Dword kInvalidPrinterName = 1801;
constexpr Dword kPrinterAlreadyExists = 1802;
constexpr Dword kInvalidPrinterCommand = 1803;
constexpr Dword kUnknownPrintMonitor = 3000;
constexpr Dword kPrinterDriverInUse = 3001;
constexpr Dword kPrintProcessorAlreadyInstalled = 3005;
constexpr Dword kPrintMonitorAlreadyInstalled = 3006;
constexpr Dword kPrintMonitorInUse = 3008;
}  // namespace err

// Result of a seam call that Windows reports as BOOL + GetLastError (or as a
// returned status): the Win32 code, 0 for success. The code is never dropped.
struct Status {
    Dword code = err::kSuccess;
    bool ok() const { return code == err::kSuccess; }
    static Status Ok() { return Status{}; }
    static Status Fail(Dword c) { return Status{c}; }
};

// Opaque handles handed out by a backend. 0 is "no handle". The backend owns
// what they refer to; the caller releases them with the matching Close call.
enum class PrinterHandle : std::uintptr_t { None = 0 };
enum class InfHandle : std::uintptr_t { None = 0 };
enum class DevInfoSet : std::uintptr_t { None = 0 };
enum class RegKey : std::uintptr_t { None = 0 };
enum class FindHandle : std::uintptr_t { None = 0 };
enum class FileHandle : std::uintptr_t { None = 0 };
enum class ProcessHandle : std::uintptr_t { None = 0 };
enum class TokenHandle : std::uintptr_t { None = 0 };
enum class AclRef : std::uintptr_t { None = 0 };
enum class SidRef : std::uintptr_t { None = 0 };
enum class SecurityDescriptorRef : std::uintptr_t { None = 0 };

}  // namespace zmp
