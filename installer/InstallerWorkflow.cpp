// The installation workflow, run by the worker thread from start to the end
// of the process: the OS check, the port choice, the version check and the
// install sequence of this Windows.
#include <cstdlib>
#include <memory>

#include "installer/DriverVersion.h"
#include "installer/InstallerDialog.h"
#include "support/DriverConfig.h"
#include "support/Restart.h"
#include "ui/MessageBox.h"

namespace zmp {
namespace {

enum StringId {
    kIdPrinterName = 2,
    kIdProcessorName = 4,
    kIdVersionMajor = 21,
    kIdVersionMinor = 22,
    kIdVersionBuild = 23,
    kIdVersionExtra = 24,
};

constexpr const char* kCanceled = "The driver installation canceled.";

}  // namespace

void InstallerDialog::RunInstallation() {
    Processes& processes = platform_.processes;
    if (osCode_ < kOsWin2000) {
        ui::AfxMessageBox(ui_, kOsRefused, mb::kIconInformation);
        processes.ExitProcess(0);
    }
    installing_ = true;

    // Without the key, or with "TRUE" in it, the user chooses the port.
    std::string portDialog;
    bool found = GetDriverInfoFromFile(platform_, log_, kConfigSection, "PORTDLG", portDialog);
    if (!found || portDialog.find("TRUE") != std::string::npos)
        InstallWithPortDialog();
    else
        InstallWithConfiguredPort();

    installing_ = false;
    processes.ExitProcess(0);
}

void InstallerDialog::InstallWithPortDialog() {
    if (portDialog_.DoModal() != mb::kIdOk) {
        log_.WriteLog("%s", kCanceled);
        ui::AfxMessageBox(ui_, kCanceled, mb::kIconInformation);
        platform_.processes.ExitProcess(0);
    }
    const int selection = portDialog_.SelectionIndex();
    const int portNumber = portDialog_.PortNumber();
    const std::string ipAddress = portDialog_.IpAddress();
    CheckInstalledVersion();
    InstallForPort(selection, portNumber, ipAddress);
}

void InstallerDialog::InstallWithConfiguredPort() {
    // Only its initialisation runs: it loads the configured values. The
    // user never sees it.
    auto hidden = std::make_unique<PortTypeDialog>(platform_, log_, Hwnd());
    if (hidden->Create(Hwnd())) hidden->ShowWindow(show::kHide);
    const int selection = hidden->SelectionIndex();
    const int portNumber = hidden->PortNumber();
    const std::string ipAddress = hidden->IpAddress();
    const std::string problem = hidden->WirelessLanProblem();
    hidden->DestroyWindow();
    hidden.reset();
    // Configured values get the checks typed ones get: values the dialog
    // would refuse go to the user in the dialog, never into a port.
    if (selection == PortTypeDialog::WirelessLan && !problem.empty()) {
        log_.WriteLog("CONFIGURED PORT REFUSED : %s", problem.c_str());
        InstallWithPortDialog();
        return;
    }
    CheckInstalledVersion();
    InstallForPort(selection, portNumber, ipAddress);
}

void InstallerDialog::CheckInstalledVersion() {
    auto number = [this](int id) { return static_cast<Dword>(std::atoi(ui_.LoadString(id).c_str())); };
    DriverVersion version(platform_.spooler);
    VersionResult result =
        version.CompareVersion(ui_.LoadString(kIdPrinterName), ui_.LoadString(kIdProcessorName),
                               number(kIdVersionMajor), number(kIdVersionMinor), number(kIdVersionBuild),
                               number(kIdVersionExtra), remover_.Environments());
    if (result == VersionNotInstalled || result == VersionSame) return;

    removing_ = true;
    ui::AfxMessageBox(ui_,
                      "There is a different version driver in this system.\r\n\r\n"
                      "The installed driver will be removed.",
                      mb::kIconInformation);
    const std::vector<std::string> left = remover_.RemoveInstalledVersion();
    if (!left.empty()) {
        // A restart would not take it away, and the next run would only
        // meet it again: the user is told what is left, nothing restarts.
        log_.WriteLog("The different version could not be removed.");
        ui::AfxMessageBox(ui_,
                          "The installer could not remove the different version.\n\n" + LeftoversText(left) +
                              "\n\nPlease remove it and run the installer again.",
                          mb::kIconStop);
        platform_.processes.ExitProcess(-1);
    }
    ui::AfxMessageBox(ui_,
                      "The installer has successfully removed the different version.\n"
                      "Now it is going to restart your computer to take effect."
                      "\nAfter restarting, you may reinstall the driver again.",
                      mb::kIconInformation);
    RestartComputer(platform_);
    platform_.processes.ExitProcess(0);
}

void InstallerDialog::InstallForPort(int selectionIndex, int portNumber, const std::string& ipAddress) {
    const bool vistaOrLater = osCode_ >= kOsWinVista;
    auto install = [&](int portCode) {
        if (vistaOrLater)
            engine_.AddToWin2KWithWHQL(portCode);
        else
            engine_.AddToWin2K(portCode);
    };
    if (selectionIndex == PortTypeDialog::WirelessLan) {
        engine_.SetEthernetPort(ipAddress, portNumber);
        engine_.AddEthernetPort();
        install(PortWirelessLan);
        return;
    }
    // The dialog always has one of its buttons checked; anything else is COM1.
    if (selectionIndex < PortTypeDialog::Com1 || selectionIndex > PortTypeDialog::Usb)
        selectionIndex = PortTypeDialog::Com1;
    install(PortCom1 + selectionIndex);
}

}  // namespace zmp
