// The "Port Type" dialog: its state from the configuration file, the radio
// buttons and address fields, and "Next" with a port number out of range.
#include <gtest/gtest.h>

#include "tests/install/InstallFixture.h"

namespace zmp::test {
namespace {

using sim::UserAction;

// What the user sees in the dialog.
struct Shown {
    int checked = -1;  // index of the checked radio button
    bool portEnabled = false;
    bool addressEnabled = false;
    std::string port;
    Dword address = 0;
    bool open = false;
};

constexpr int kRadios[] = {kRadioCom1, kRadioCom2, kRadioCom3, kRadioCom4, kRadioUsb, kRadioWlan};

Shown Look(sim::HeadlessUi& ui) {
    Shown shown;
    WindowId dialog = ui.FindDialog(kPortDialog);
    shown.open = dialog != WindowId::None;
    if (!shown.open) return shown;
    for (int i = 0; i < 6; ++i)
        if (ui.IsDlgButtonChecked(dialog, kRadios[i]) == msg::kBstChecked) shown.checked = i;
    shown.portEnabled = ui.IsWindowEnabled(ui.GetDlgItem(dialog, kPortEdit));
    shown.addressEnabled = ui.IsWindowEnabled(ui.GetDlgItem(dialog, kIpControl));
    shown.port = ui.TextOf(ui.GetDlgItem(dialog, kPortEdit));
    ui.SendMessage(ui.GetDlgItem(dialog, kIpControl), msg::kIpmGetAddress, 0,
                   reinterpret_cast<LParam>(&shown.address));
    return shown;
}

// Runs the installer with the configuration; the user looks at the dialog
// after the actions and then closes it.
Shown ShowDialog(const std::string& config, std::vector<UserAction> actions = {}, RunResult* out = nullptr) {
    auto machine = NewMachine("7", true, config);
    Shown shown;
    sim::HeadlessUi* ui = nullptr;
    actions.push_back(UserAction::Call([&] { shown = Look(*ui); }));
    actions.push_back(UserAction::Escape());
    sim::Script script;
    script.OnDialog(kPortDialog, std::move(actions));
    RunResult run = RunInstaller(*machine, std::move(script), [&](sim::SimSystem&, sim::HeadlessUi& u) { ui = &u; });
    if (out) *out = run;
    return shown;
}

TEST(PortTypeDialogTest, InitialStateComesFromTheConfigurationFile) {
    struct Case {
        const char* name;
        std::string config;  // "" = no file
        int checked;
        bool fieldsEnabled;
        Dword address;
        const char* port;
    };
    const Case cases[] = {
        {"no file", "", 0, false, 0, "9100"},
        {"COM3", Config("PORT=COM3\r\n"), 2, false, 0, "9100"},
        {"COM10 contains COM1", Config("PORT=COM10\r\n"), 0, false, 0, "9100"},
        {"USB001", Config("PORT=USB001\r\n"), 4, false, 0, "9100"},
        {"wlan in lower case matches nothing", Config("PORT=wlan\r\n"), 0, false, 0, "9100"},
        {"empty PORT", Config("PORT=\r\n"), 0, false, 0, "9100"},
        {"wireless LAN",
         Config("PORT=WLAN\r\nWLAN_IP_1=192\r\nWLAN_IP_2=168\r\nWLAN_IP_3=0\r\nWLAN_IP_4=50\r\nWLAN_PORT=9100\r\n"), 5,
         true, Address(192, 168, 0, 50), "9100"},
        // Out-of-range address numbers become 255; a missing one is 0.
        {"clamped", Config("PORT=WLAN\r\nWLAN_IP_1=300\r\nWLAN_IP_2=-1\r\nWLAN_IP_4=7\r\n"), 5, true,
         Address(255, 255, 0, 7), "9100"},
        {"port 0 is the default", Config("PORT=WLAN\r\nWLAN_PORT=0\r\n"), 5, true, 0, "9100"},
        {"port abc is the default", Config("PORT=WLAN\r\nWLAN_PORT=abc\r\n"), 5, true, 0, "9100"},
        {"port 515", Config("PORT=WLAN\r\nWLAN_PORT=515\r\n"), 5, true, 0, "515"},
        // Shown as configured; only "Next" checks the range.
        {"port 20000", Config("PORT=COM2\r\nWLAN_PORT=20000\r\n"), 1, false, 0, "20000"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RunResult run;
        Shown shown = ShowDialog(c.config, {}, &run);
        ASSERT_TRUE(shown.open);
        EXPECT_EQ(shown.checked, c.checked);
        EXPECT_EQ(shown.portEnabled, c.fieldsEnabled);
        EXPECT_EQ(shown.addressEnabled, c.fieldsEnabled);
        EXPECT_EQ(shown.address, c.address);
        EXPECT_EQ(shown.port, c.port);
        EXPECT_EQ(run.exitCode, 0);
    }
}

TEST(PortTypeDialogTest, RadioButtonsEnableTheAddressFieldsForTheWirelessLanOnly) {
    Shown wlan = ShowDialog("", {UserAction::Click(kRadioWlan)});
    EXPECT_EQ(wlan.checked, 5);
    EXPECT_TRUE(wlan.portEnabled);
    EXPECT_TRUE(wlan.addressEnabled);

    // Switching away disables them and keeps what they hold.
    Shown com2 = ShowDialog("", {UserAction::Click(kRadioWlan), UserAction::TypeAddress(kIpControl, Address(10, 1, 2, 3)),
                                 UserAction::Type(kPortEdit, "515"), UserAction::Click(kRadioCom2)});
    EXPECT_EQ(com2.checked, 1);
    EXPECT_FALSE(com2.portEnabled);
    EXPECT_FALSE(com2.addressEnabled);
    EXPECT_EQ(com2.address, Address(10, 1, 2, 3));
    EXPECT_EQ(com2.port, "515");
}

TEST(PortTypeDialogTest, NextWithABadPortNumberShowsTheFrameworksMessageAndStaysOpen) {
    struct Case {
        const char* typed;
        const char* message;
        Dword type;
    };
    const Case cases[] = {
        {"0", "Please enter an integer between 1 and 10000.", mb::kIconExclamation},
        {"10001", "Please enter an integer between 1 and 10000.", mb::kIconExclamation},
        {"abc", "Please enter an integer.", mb::kOk},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        RunResult run;
        Shown shown = ShowDialog("", {UserAction::Click(kRadioWlan), UserAction::Type(kPortEdit, c.typed),
                                      UserAction::Click(kNext)},
                                 &run);
        EXPECT_TRUE(shown.open);
        EXPECT_EQ(shown.checked, 5);
        EXPECT_EQ(shown.port, c.typed);
        ASSERT_EQ(run.boxes.size(), 2u);
        EXPECT_EQ(run.boxes[0].text, c.message);
        EXPECT_EQ(run.boxes[0].type, c.type);
        EXPECT_EQ(run.boxes[1].text, "The driver installation canceled.");
        EXPECT_FALSE(run.Logged("AddToWin2KWithWHQL BEGIN"));
    }
}

TEST(PortTypeDialogTest, NextPassesTheChoiceOnAndTheBoundsAreAccepted) {
    for (const char* port : {"1", "10000"}) {
        SCOPED_TRACE(port);
        auto machine = NewMachine("7", true);
        RunResult run = RunInstaller(*machine, ChoosePort(kRadioWlan, Address(172, 16, 0, 9), port));
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_TRUE(run.Logged("IP ADDRESS : 172.16.0.9"));
        EXPECT_TRUE(run.Logged(std::string("PORT NUMBER : ") + port));
    }
}

// "Next" with the wireless LAN and no address: the dialog says so and stays
// open. Another port does not use the address and takes it as it is.
TEST(PortTypeDialogTest, NextRefusesTheAddressZeroForTheWirelessLanOnly) {
    RunResult run;
    Shown shown = ShowDialog("", {UserAction::Click(kRadioWlan), UserAction::Click(kNext)}, &run);
    EXPECT_TRUE(shown.open);
    ASSERT_EQ(run.boxes.size(), 2u);
    EXPECT_EQ(run.boxes[0].text, "Please enter the IP address of the printer.\n0.0.0.0 is not the address of a printer.");
    EXPECT_EQ(run.boxes[0].type, mb::kIconExclamation);
    EXPECT_FALSE(run.Logged("AddToWin2KWithWHQL BEGIN"));

    auto machine = NewMachine("7", true);
    RunResult com1 = RunInstaller(*machine, ChoosePort(kRadioCom1));
    EXPECT_EQ(com1.exitCode, 0);
    EXPECT_TRUE(machine->FindPrinter(kPrinter));
}

// Without the dialog (PORTDLG not "TRUE") configured wireless-LAN values
// get the checks typed ones get: a port number the dialog would refuse, or
// no address, is logged and the dialog is shown with the configured
// values; what the user then gives is installed, and no port is made of
// the refused values.
TEST(PortTypeDialogTest, ConfiguredValuesTheDialogWouldRefuseBringItUp) {
    struct Case {
        const char* name;
        std::string config;
        const char* logged;
        Dword shownAddress;
        const char* shownPort;
        std::vector<UserAction> fix;
        const char* port;  // the port made
        Dword portNumber;
    };
    const std::string wlan = "PORTDLG=FALSE\r\nPORT=WLAN\r\n";
    const std::string address = "WLAN_IP_1=192\r\nWLAN_IP_2=168\r\nWLAN_IP_3=0\r\nWLAN_IP_4=50\r\n";
    const Case cases[] = {
        {"a negative port number", wlan + address + "WLAN_PORT=-5\r\n",
         "CONFIGURED PORT REFUSED : the port number -5 is not from 1 to 10000", Address(192, 168, 0, 50), "-5",
         {UserAction::Type(kPortEdit, "9100")}, "IP_192.168.0.50", 9100},
        {"a port number above the range", wlan + address + "WLAN_PORT=20000\r\n",
         "CONFIGURED PORT REFUSED : the port number 20000 is not from 1 to 10000", Address(192, 168, 0, 50), "20000",
         {UserAction::Type(kPortEdit, "9101")}, "IP_192.168.0.50", 9101},
        {"no address", wlan + "WLAN_PORT=515\r\n",
         "CONFIGURED PORT REFUSED : the IP address 0.0.0.0 is not the address of a printer", 0, "515",
         {UserAction::TypeAddress(kIpControl, Address(10, 0, 0, 9))}, "IP_10.0.0.9", 515},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto machine = NewMachine("7", true, Config(c.config));
        Shown shown;
        sim::HeadlessUi* ui = nullptr;
        std::vector<UserAction> actions = {UserAction::Call([&] { shown = Look(*ui); })};
        actions.insert(actions.end(), c.fix.begin(), c.fix.end());
        actions.push_back(UserAction::Click(kNext));
        sim::Script script;
        script.OnDialog(kPortDialog, std::move(actions));
        RunResult run =
            RunInstaller(*machine, std::move(script), [&](sim::SimSystem&, sim::HeadlessUi& u) { ui = &u; });

        EXPECT_TRUE(run.Logged(c.logged));
        EXPECT_TRUE(shown.open);
        EXPECT_EQ(shown.checked, 5);
        EXPECT_EQ(shown.address, c.shownAddress);
        EXPECT_EQ(shown.port, c.shownPort);
        EXPECT_EQ(run.exitCode, 0);
        std::vector<std::string> ours;
        for (const sim::SimPort& port : machine->Ports()) {
            if (port.name.rfind("IP_", 0) != 0) continue;
            ours.push_back(port.name);
            EXPECT_EQ(port.portNumber, c.portNumber) << port.name;
        }
        EXPECT_EQ(ours, std::vector<std::string>{c.port});
        EXPECT_TRUE(machine->FindPrinter(kPrinter));
    }
}

// Hidden, only the initialisation runs; configured values within the
// dialog's checks are installed without it.
TEST(PortTypeDialogTest, HiddenUseTakesTheConfiguredValues) {
    auto machine = NewMachine("7", true,
                              Config("PORTDLG=FALSE\r\nPORT=WLAN\r\nWLAN_IP_1=10\r\nWLAN_IP_2=0\r\nWLAN_IP_3=0\r\n"
                                     "WLAN_IP_4=9\r\nWLAN_PORT=10000\r\n"));
    RunResult run = RunInstaller(*machine, sim::Script());
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.Logged("PORT NUMBER : 10000"));
    EXPECT_FALSE(std::find(run.shown.begin(), run.shown.end(), kPortDialog) != run.shown.end());
    bool found = false;
    for (const sim::SimPort& port : machine->Ports())
        if (port.name == "IP_10.0.0.9") found = port.portNumber == 10000;
    EXPECT_TRUE(found);

    // Any value without "TRUE" in capitals takes the configured port: COM4 here.
    auto lower = NewMachine("7", true, Config("PORTDLG=true\r\nPORT=COM4\r\n"));
    RunResult configured = RunInstaller(*lower, sim::Script());
    ASSERT_EQ(configured.children.size(), 1u);
    EXPECT_NE(configured.children[0].commandLine.find("/r \"COM4:\""), std::string::npos);
}

}  // namespace
}  // namespace zmp::test
