#include "installer/Port_Dlg.h"

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "support/DriverConfig.h"
#include "ui/DataExchange.h"
#include "ui/MessageBox.h"

namespace zmp {
namespace {

constexpr int kIpAddressControl = 1003;
constexpr int kPortEdit = 1005;

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

std::string Upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

bool PortTypeDialog::ParseAddress(const std::string& text, unsigned char (&fields)[4]) {
    size_t at = 0;
    for (int i = 0; i < 4; ++i) {
        size_t end = at;
        while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end]))) ++end;
        if (end == at || end - at > 3) return false;
        const int number = std::atoi(text.substr(at, end - at).c_str());
        if (number > 255) return false;
        fields[i] = static_cast<unsigned char>(number);
        if (i < 3) {
            if (end >= text.size() || text[end] != '.') return false;
            ++end;
        } else if (end != text.size()) {
            return false;
        }
        at = end;
    }
    return true;
}

std::string PortTypeDialog::WirelessLanProblem(const unsigned char (&address)[4], int portNumber) {
    if (portNumber < kMinPort || portNumber > kMaxPort)
        return "the port number " + std::to_string(portNumber) + " is not from " + std::to_string(kMinPort) + " to " +
               std::to_string(kMaxPort);
    if (address[0] == 0 && address[1] == 0 && address[2] == 0 && address[3] == 0)
        return "the IP address 0.0.0.0 is not the address of a printer";
    return std::string();
}

bool PortTypeDialog::ParseChoice(const std::string& text, Choice& out, std::string& error) {
    const std::string upper = Upper(text);
    for (int i = Com1; i <= Usb; ++i) {
        if (upper == kPortNames[i]) {
            out = Choice{};
            out.selection = static_cast<Selection>(i);
            return true;
        }
    }
    const std::string wlan = "WLAN:";
    if (upper.compare(0, wlan.size(), wlan) != 0) {
        error = "The port " + text + " is none of COM1, COM2, COM3, COM4, USB, WLAN:A.B.C.D[:PORT].";
        return false;
    }
    Choice choice;
    choice.selection = WirelessLan;
    std::string address = text.substr(wlan.size());
    const size_t colon = address.find(':');
    if (colon != std::string::npos) {
        int number = 0;
        if (!ui::DataExchange::ParseInt(address.substr(colon + 1), number) || number < kMinPort ||
            number > kMaxPort) {
            error = "The TCP port of " + text + " is not a number from 1 to 10000.";
            return false;
        }
        choice.portNumber = number;
        address.erase(colon);
    }
    if (!ParseAddress(address, choice.address)) {
        error = "The address of " + text + " is not four numbers from 0 to 255 (A.B.C.D).";
        return false;
    }
    if (!WirelessLanProblem(choice.address, choice.portNumber.value_or(kDefaultPortNumber)).empty()) {
        error = "The address of " + text + " is 0.0.0.0, which is not the address of a printer.";
        return false;
    }
    out = choice;
    return true;
}

void PortTypeDialog::Answer(Ui& ui, WindowId dialog, const Choice* choice) {
    auto click = [&](int controlId) {
        ui.SendMessage(dialog, msg::kCommand, (WParam(msg::kBnClicked) << 16) | WParam(controlId),
                       static_cast<LParam>(ui.GetDlgItem(dialog, controlId)));
    };
    if (choice) {
        // An auto radio button checks itself and unchecks the rest of its group.
        for (int i = Com1; i <= WirelessLan; ++i)
            ui.CheckDlgButton(dialog, kRadios[i], i == choice->selection ? msg::kBstChecked : msg::kBstUnchecked);
        click(kRadios[choice->selection]);
        if (choice->selection == WirelessLan) {
            const Dword packed = ui::IpAddressCtrl::Pack(choice->address[0], choice->address[1], choice->address[2],
                                                         choice->address[3]);
            ui.SendMessage(ui.GetDlgItem(dialog, kIpAddressControl), msg::kIpmSetAddress, 0,
                           static_cast<LParam>(packed));
            if (choice->portNumber)
                ui.SetWindowText(ui.GetDlgItem(dialog, kPortEdit), std::to_string(*choice->portNumber));
        }
    }
    click(mb::kIdOk);
}

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
    // The port number has had its check; the address has one for the
    // wireless LAN only, the one port that uses it.
    if (valid && selection_ == WirelessLan && !WirelessLanProblem().empty()) {
        ui::AfxMessageBox(ui_, kNoAddress, mb::kIconExclamation);
        valid = false;
    }
    if (valid) EndDialog(mb::kIdOk);
}

std::string PortTypeDialog::FormatAddress(const unsigned char fields[4]) {
    char text[16];
    std::snprintf(text, sizeof text, "%d.%d.%d.%d", fields[0], fields[1], fields[2], fields[3]);
    return text;
}

}  // namespace zmp
