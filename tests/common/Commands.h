// The commands the programs start, as the simulator's transcript shows them:
// Windows' own programs named by their full path in the system directory.
#pragma once

#include <string>

namespace zmp::test {

// "EXEC "<system>\net.exe" stop spooler" for the verb "stop" or "start".
inline std::string NetEvent(const char* verb, const std::string& systemDir = "C:\\Windows\\system32") {
    return "EXEC \"" + systemDir + "\\net.exe\" " + verb + " spooler";
}

}  // namespace zmp::test
