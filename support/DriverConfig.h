// The installer's configuration file "ZMPK40_Config.KVT" (INI syntax), looked
// up beside the installer first, then in its copy under the Windows directory.
#pragma once

#include <string>

#include "platform/Platform.h"
#include "support/Log.h"

namespace zmp {

constexpr const char* kConfigFileName = "ZMPK40_Config.KVT";
constexpr const char* kConfigSection = "ZMPK40";
constexpr Dword kConfigValueSize = 256;

// True with the value when a non-empty value was found in either file (an
// empty value counts as missing). Otherwise logs the "GetDriverInfoFromFile"
// failure block and returns false with an empty value. The value is cut to
// bufferSize - 1 characters.
bool GetDriverInfoFromFile(Platform& platform, Log& log, const std::string& section,
                           const std::string& key, std::string& value,
                           Dword bufferSize = kConfigValueSize);

}  // namespace zmp
