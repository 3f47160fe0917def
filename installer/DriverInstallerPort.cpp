// The wireless-LAN printer's Standard TCP/IP port, made through the port
// monitor's transceive interface ("AddPort" with a PORT_DATA_1 record).
#include "installer/DriverInstaller.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace zmp {
namespace {

constexpr const char* kTcpMonitor = ",XcvMonitor Standard TCP/IP Port";
constexpr Dword kProtocolRawTcp = 1;  // PROTOCOL_RAWTCP_TYPE
constexpr Dword kPortDataVersion = 1;
constexpr const char* kSnmpCommunity = "public";  // the usual default read community

// PORT_DATA_1 as the Standard TCP/IP port monitor reads it: UTF-16 text
// fields of fixed length, 4-byte fields, 964 bytes in all (the size the
// monitor checks in cbSize).
struct PortData1 {
    char16_t sztPortName[64];
    std::uint32_t dwVersion;
    std::uint32_t dwProtocol;
    std::uint32_t cbSize;
    std::uint32_t dwReserved;
    char16_t sztHostAddress[49];
    char16_t sztSNMPCommunity[33];
    std::uint32_t dwDoubleSpool;
    char16_t sztQueue[33];
    char16_t sztIPAddress[16];
    std::uint8_t Reserved[540];
    std::uint32_t dwPortNumber;
    std::uint32_t dwSNMPEnabled;
    std::uint32_t dwSNMPDevIndex;
};
static_assert(sizeof(PortData1) == 964, "PORT_DATA_1 is 964 bytes");
static_assert(offsetof(PortData1, sztHostAddress) == 144, "PORT_DATA_1 layout");
static_assert(offsetof(PortData1, dwDoubleSpool) == 308, "PORT_DATA_1 layout");
static_assert(offsetof(PortData1, Reserved) == 410, "PORT_DATA_1 layout");
static_assert(offsetof(PortData1, dwPortNumber) == 952, "PORT_DATA_1 layout");

// The 8-bit text into a wide field, always NUL-terminated. The texts here
// (port name, dotted address, community) are ASCII, where the ANSI code
// page and UTF-16 agree character for character; anything else would make
// MultiByteToWideChar's result differ, so it is refused (left empty).
template <size_t N>
void Widen(const std::string& text, char16_t (&field)[N]) {
    std::memset(field, 0, sizeof field);
    if (text.size() >= N) return;
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) {
            std::memset(field, 0, sizeof field);
            return;
        }
        field[i] = static_cast<char16_t>(c);
    }
}

}  // namespace

void DriverInstaller::SetEthernetPort(const std::string& ipAddress, int portNumber) {
    Begin("SetEthernetPort");
    portNumber_ = portNumber;
    ipAddress_ = ipAddress;
    log_.WriteLog("IP ADDRESS : %s", ipAddress_.c_str());
    log_.WriteLog("PORT NUMBER : %d", portNumber_);
    End("SetEthernetPort");
}

void DriverInstaller::AddEthernetPort() {
    Begin("AddEthernetPort");
    log_.WriteLog("IP ADDRESS : %s", ipAddress_.c_str());
    log_.WriteLog("PORT NUMBER : %d", portNumber_);

    PortData1 data;
    std::memset(&data, 0, sizeof data);
    Widen("IP_" + ipAddress_, data.sztPortName);
    data.dwVersion = kPortDataVersion;
    data.dwProtocol = kProtocolRawTcp;
    data.cbSize = sizeof data;
    Widen(ipAddress_, data.sztHostAddress);
    Widen(kSnmpCommunity, data.sztSNMPCommunity);
    data.dwPortNumber = static_cast<std::uint32_t>(portNumber_);
    data.dwSNMPEnabled = 0;
    data.dwSNMPDevIndex = 1;
    std::vector<std::uint8_t> input(sizeof data);
    std::memcpy(input.data(), &data, sizeof data);

    PrinterDefaults defaults;
    defaults.desiredAccess = spool::kServerAccessAdminister;
    PrinterHandle monitor = PrinterHandle::None;
    Status opened = platform_.spooler.OpenPrinter(std::string(kTcpMonitor), defaults, monitor);
    if (!opened.ok()) {
        log_.WriteLog("OpenPrinter failed. (%d)", static_cast<int>(opened.code));
    } else {
        // The monitor's own status is not examined: a port of that name may
        // exist already, and the printer is added on it all the same.
        XcvResult result = platform_.spooler.XcvData(monitor, u"AddPort", input, sizeof data);
        if (!result.call.ok())
            log_.WriteLog("XcvData failed. (%d)", static_cast<int>(result.call.code));
        else if (result.monitorStatus != err::kSuccess)
            log_.WriteLog("AddPort status : (%d)", static_cast<int>(result.monitorStatus));
        platform_.spooler.ClosePrinter(monitor);
    }
    End("AddEthernetPort");
}

}  // namespace zmp
