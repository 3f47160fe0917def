#include "uninstaller/UninstallerApp.h"

#include "ui/RunPolicy.h"
#include "ui/SingleInstance.h"
#include "uninstaller/UninstallerDialog.h"

namespace zmp {
namespace {

constexpr const char* kUsage =
    "ZMPK40_Uninstaller [/quiet | /passive] [/norestart | /forcerestart]\n"
    "    [/printer NAME]... [/log PATH]\n"
    "\n"
    "/quiet\tno window at all\n"
    "/passive\tthe progress window only, no questions\n"
    "/norestart\tWindows is not restarted\n"
    "/forcerestart\tWindows is restarted at the end\n"
    "/printer NAME\tonly this printer (again for more); without it, every printer and the driver\n"
    "/log PATH\ta copy of the log, also written there\n"
    "/?\tthis text";

}  // namespace

UninstallerApp::UninstallerApp(Platform& platform, std::string arguments)
    : platform_(platform), arguments_(std::move(arguments)) {}

bool UninstallerApp::InitInstance() {
    const ui::CommandLine line = ui::ParseCommandLine(arguments_, {{"printer", true}});
    const std::vector<std::string> printers = line.Values("printer");

    ui::RunPolicy policy(platform_, line.mode, line.restart);
    Platform& platform = policy.GetPlatform();
    // No control container and no 3-D controls to enable: the dialogs use
    // only standard and common controls, drawn as the system draws them.
    if (!policy.Begin(line, LogName::Uninstaller, kUsage)) {
        ActivateRunningInstance();
        return false;
    }

    UninstallerDialog dialog(platform);
    dialog.GetLog().SetCopy(line.logCopy);
    policy.UseLog(&dialog.GetLog());
    // The list is the question of this program; /printer answers it in
    // every way of running.
    ui::RunPolicy::Answerer choose;
    if (policy.Unattended() || !printers.empty())
        choose = [&dialog, &printers](WindowId, bool, std::string&) { return dialog.ChoosePrinters(printers); };
    policy.SetProgressWindow(UninstallerDialog::kTemplate, choose);
    dialog.MakeMainWindow();
    dialog.DoModal();
    dialog.DestroyWindow();
    // Closed before the worker ended the process: interactive, the user's
    // cancel, which changed nothing.
    exitCode_ = policy.Unattended() ? policy.Finish(0) : 0;
    return false;
}

bool UninstallerApp::ActivateRunningInstance() {
    // The running dialog's caption, then its message boxes' (the
    // application's name).
    return ui::ActivateRunningInstance(platform_.ui, {"KORVANT ZMP-K40 Uninstaller", "ZMPK40_Uninstaller"});
}

int UninstallerMain(Platform& platform, const std::string& arguments) {
    UninstallerApp app(platform, arguments);
    app.InitInstance();  // FALSE on every path: the framework ends the program
    return app.ExitCode();
}

}  // namespace zmp
