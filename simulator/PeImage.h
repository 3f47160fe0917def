// What the loader reads of a DLL: its machine type and the names it
// exports, from the PE headers. The spooler refuses a driver DLL of the
// wrong machine type and a monitor DLL without its entry point; the model
// reads the same headers to answer as it does.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/Types.h"

namespace zmp::sim {

namespace pe {
constexpr Dword kMachineI386 = 0x14C;
constexpr Dword kMachineAmd64 = 0x8664;
}  // namespace pe

struct PeImage {
    Dword machine = 0;                 // IMAGE_FILE_HEADER.Machine
    bool dll = false;                  // IMAGE_FILE_DLL
    std::vector<std::string> exports;  // exported names, in the table's order
};

// The headers of data; nullopt when data is no PE image (no "MZ" header
// leading to a "PE\0\0" signature). Broken tables beyond the headers give
// an image with what could be read.
std::optional<PeImage> ReadPeImage(const std::string& data);

// A minimal PE image with these properties: one section holding the export
// table. For tests and hand-written machines.
std::string BuildPeImage(Dword machine, bool dll, const std::vector<std::string>& exports);

}  // namespace zmp::sim
