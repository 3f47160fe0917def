// The "Port Type" dialog (template 129): one of four serial ports, USB, or
// the wireless-LAN printer with its IP address and TCP port. Its initial
// state comes from the configuration file, so a configured installation
// reads the same values from a hidden instance without showing it.
#pragma once

#include <string>

#include "platform/Platform.h"
#include "support/Log.h"
#include "ui/Controls.h"
#include "ui/Dialog.h"

namespace zmp {

class PortTypeDialog : public ui::Dialog {
public:
    // The radio buttons in template order; the index is the selection.
    enum Selection { Com1 = 0, Com2, Com3, Com4, Usb, WirelessLan };
    static constexpr int kDefaultPortNumber = 9100;

    PortTypeDialog(Platform& platform, Log& log, WindowId parent = WindowId::None);

    int SelectionIndex() const { return selection_; }
    int PortNumber() const { return portNumber_; }
    std::string IpAddress() const { return ipAddress_; }

protected:
    void DoDataExchange(ui::DataExchange& dx) override;
    bool OnInitDialog() override;
    // "Next": the values taken and checked; the dialog stays open on a bad port number.
    void OnOK() override;
    bool OnCommand(int controlId, int notifyCode) override;

private:
    // The port edit, then the IP-address control.
    void EnableAddressFields(bool enable);
    void LoadWirelessLanDefaults();
    Selection ConfiguredSelection();
    bool ReadConfig(const char* key, std::string& value);
    static std::string FormatAddress(const unsigned char fields[4]);

    Platform& platform_;
    Log& log_;
    ui::IpAddressCtrl ipControl_;  // 1003
    int selection_ = Com1;
    int portNumber_ = kDefaultPortNumber;
    std::string ipAddress_;
    unsigned char address_[4] = {0, 0, 0, 0};
};

}  // namespace zmp
