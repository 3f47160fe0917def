#include "installer/Port_Dlg.h"

#include <climits>
#include <cstdio>
#include <cstdlib>

#include "support/DriverConfig.h"
#include "ui/DataExchange.h"

namespace zmp {
namespace {

constexpr int kTemplate = 129;
constexpr int kIpAddressControl = 1003;
constexpr int kPortEdit = 1005;
constexpr int kMinPort = 1;
constexpr int kMaxPort = 10000;

// Radio button ids in template order: the selection index is the position.
constexpr int kRadioCom1 = 1006;
constexpr int kRadioCom2 = 1008;
constexpr int kRadioCom3 = 1009;
constexpr int kRadioCom4 = 1011;
constexpr int kRadioUsb = 1001;
constexpr int kRadioWirelessLan = 1007;
constexpr int kRadios[] = {kRadioCom1, kRadioCom2, kRadioCom3, kRadioCom4, kRadioUsb, kRadioWirelessLan};

// Searched in this order, case-sensitively, anywhere in the "PORT" value.
const char* const kPortNames[] = {"COM1", "COM2", "COM3", "COM4", "USB", "WLAN"};
const char* const kAddressKeys[] = {"WLAN_IP_1", "WLAN_IP_2", "WLAN_IP_3", "WLAN_IP_4"};

// The number at the start of a configured value, read as atoi reads it
// (blanks, a sign, digits), but defined for any count of digits: a number
// beyond int's range stays beyond every range check instead of wrapping
// round (atoi would read 4294967296 as 0).
int ConfiguredNumber(const std::string& text) {
    long value = std::strtol(text.c_str(), nullptr, 10);
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}

}  // namespace

PortTypeDialog::PortTypeDialog(Platform& platform, Log& log, WindowId parent)
    : Dialog(platform.ui, kTemplate, parent), platform_(platform), log_(log) {}

void PortTypeDialog::DoDataExchange(ui::DataExchange& dx) {
    dx.Control(kIpAddressControl, ipControl_);
    dx.Radio({kRadioCom1, kRadioCom2, kRadioCom3, kRadioCom4, kRadioUsb, kRadioWirelessLan}, selection_);
    dx.Text(kPortEdit, portNumber_);
    dx.MinMaxInt(portNumber_, kMinPort, kMaxPort);
}

bool PortTypeDialog::OnInitDialog() {
    Dialog::OnInitDialog();
    portNumber_ = kDefaultPortNumber;
    EnableAddressFields(false);
    selection_ = ConfiguredSelection();
    LoadWirelessLanDefaults();
    ipControl_.SetAddress(address_[0], address_[1], address_[2], address_[3]);
    if (selection_ == WirelessLan) EnableAddressFields(true);
    UpdateData(false);
    return true;
}

PortTypeDialog::Selection PortTypeDialog::ConfiguredSelection() {
    std::string port;
    if (!ReadConfig("PORT", port)) return Com1;
    for (int i = 0; i < 6; ++i) {
        if (port.find(kPortNames[i]) != std::string::npos) return static_cast<Selection>(i);
    }
    return Com1;
}

void PortTypeDialog::LoadWirelessLanDefaults() {
    std::string value;
    if (ReadConfig("WLAN_PORT", value)) {
        portNumber_ = ConfiguredNumber(value);
        if (portNumber_ == 0) portNumber_ = kDefaultPortNumber;
    }
    for (int k = 0; k < 4; ++k) {
        int number = 0;
        if (ReadConfig(kAddressKeys[k], value)) {
            number = ConfiguredNumber(value);
            if (number < 0 || number > 255) number = 255;
        }
        address_[k] = static_cast<unsigned char>(number);
    }
    ipAddress_ = FormatAddress(address_);
}

bool PortTypeDialog::ReadConfig(const char* key, std::string& value) {
    return GetDriverInfoFromFile(platform_, log_, kConfigSection, key, value);
}

void PortTypeDialog::EnableAddressFields(bool enable) {
    ui_.EnableWindow(GetDlgItem(kPortEdit), enable);
    ipControl_.EnableWindow(enable);
}

bool PortTypeDialog::OnCommand(int controlId, int notifyCode) {
    if (notifyCode == static_cast<int>(msg::kBnClicked)) {
        for (int i = 0; i < 6; ++i) {
            if (controlId != kRadios[i]) continue;
            selection_ = i;
            EnableAddressFields(i == WirelessLan);
            return true;
        }
    }
    return Dialog::OnCommand(controlId, notifyCode);
}

void PortTypeDialog::OnOK() {
    bool valid = UpdateData(true);
    // The address is taken whichever port is chosen: switching away from
    // "Wireless LAN" keeps the fields' contents.
    ipControl_.GetAddress(address_[0], address_[1], address_[2], address_[3]);
    ipAddress_ = FormatAddress(address_);
    if (valid) EndDialog(mb::kIdOk);
}

std::string PortTypeDialog::FormatAddress(const unsigned char fields[4]) {
    char text[16];
    std::snprintf(text, sizeof text, "%d.%d.%d.%d", fields[0], fields[1], fields[2], fields[3]);
    return text;
}

}  // namespace zmp
