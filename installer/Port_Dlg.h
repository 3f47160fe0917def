// The "Port Type" dialog (template 129): one of four serial ports, USB, or
// the wireless-LAN printer with its IP address and TCP port. Its initial
// state comes from the configuration file, so a configured installation
// reads the same values from a hidden instance without showing it.
#pragma once

#include <optional>
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
    static constexpr int kTemplate = 129;
    static constexpr int kDefaultPortNumber = 9100;
    static constexpr int kMinPort = 1;
    static constexpr int kMaxPort = 10000;

    // A port given in place of the user's choice: "COM1" to "COM4", "USB" or
    // "WLAN:A.B.C.D[:PORT]", in any letter case. Without a port number the
    // dialog's own (configured or 9100) stays.
    struct Choice {
        Selection selection = Com1;
        unsigned char address[4] = {0, 0, 0, 0};
        std::optional<int> portNumber;
    };
    // The checks of the dialog's fields: four address numbers from 0 to 255
    // (the IP-address control takes no other), a port number the dialog's
    // integer field reads, from 1 to 10000. False with the reason otherwise.
    static bool ParseChoice(const std::string& text, Choice& out, std::string& error);
    // "A.B.C.D": four decimal numbers of one to three digits, each at most 255.
    static bool ParseAddress(const std::string& text, unsigned char (&fields)[4]);
    // What "Next" asks of the wireless-LAN values, asked of values from
    // elsewhere too (the configuration file, /port): a port number from 1 to
    // 10000 and an address other than 0.0.0.0, which is no printer's (the
    // control shows it when nothing was given). "" when they do, else why not.
    static std::string WirelessLanProblem(const unsigned char (&address)[4], int portNumber);
    // The box "Next" shows for the address 0.0.0.0.
    static constexpr const char* kNoAddress =
        "Please enter the IP address of the printer.\n0.0.0.0 is not the address of a printer.";
    // Does on the dialog's window what the user would: the choice, when there
    // is one, clicked and typed in, then "Next" pressed.
    static void Answer(Ui& ui, WindowId dialog, const Choice* choice);

    PortTypeDialog(Platform& platform, Log& log, WindowId parent = WindowId::None);

    int SelectionIndex() const { return selection_; }
    int PortNumber() const { return portNumber_; }
    std::string IpAddress() const { return ipAddress_; }
    // WirelessLanProblem of the dialog's values.
    std::string WirelessLanProblem() const { return WirelessLanProblem(address_, portNumber_); }

protected:
    void DoDataExchange(ui::DataExchange& dx) override;
    bool OnInitDialog() override;
    // "Next": the values taken and checked; the dialog stays open on a bad
    // port number, and, for the wireless LAN, on the address 0.0.0.0.
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
