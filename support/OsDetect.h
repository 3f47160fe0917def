// Which Windows release runs the program, and whether it runs under WOW64.
// Both are detected once, when a program's dialog initialises, and logged.
#pragma once

#include <cstdint>

#include "platform/SystemInfo.h"
#include "support/Log.h"

namespace zmp {

// Rises with the release, except that kOsWin7 also stands for every
// release that is not recognised.
using OsCode = std::int32_t;

constexpr OsCode kOsWin95 = 2000;
constexpr OsCode kOsWin98 = 2001;
constexpr OsCode kOsWinMe = 2002;
constexpr OsCode kOsWinNt4 = 2003;          // NT 4.0 and older
constexpr OsCode kOsWin2000 = 2004;
constexpr OsCode kOsWinXp = 2005;
constexpr OsCode kOsWinServer2003 = 2006;   // also XP x64
constexpr OsCode kOsWinVista = 2007;
constexpr OsCode kOsWinServer2008 = 2008;
constexpr OsCode kOsWinServer2008R2 = 2009;
constexpr OsCode kOsWin7 = 2010;            // and every unrecognised release
constexpr OsCode kOsUnknown = kOsWin7;

// Logs the four version fields inside a "CheckOS" block and classifies them.
OsCode CheckOS(SystemInfo& system, Log& log);

// Logs one line saying whether the process runs under WOW64.
bool IsWow64(SystemInfo& system, Log& log);

// The spooler environment our driver is installed for: the native one of
// the Windows the program runs on ("Windows x64" under WOW64, otherwise
// "Windows NT x86").
inline const char* DriverEnvironment(bool wow64) { return wow64 ? "Windows x64" : "Windows NT x86"; }

}  // namespace zmp
