#include "installer/InstallerApp.h"

#include <optional>

#include "installer/InstallerDialog.h"
#include "installer/Port_Dlg.h"
#include "support/DriverConfig.h"
#include "ui/RunPolicy.h"
#include "ui/SingleInstance.h"

namespace zmp {
namespace {

constexpr const char* kUsage =
    "ZMPK40_Installer [/quiet | /passive] [/norestart | /forcerestart]\n"
    "    [/port COM1|COM2|COM3|COM4|USB|WLAN:A.B.C.D[:PORT]] [/log PATH]\n"
    "\n"
    "/quiet\tno window at all\n"
    "/passive\tthe progress window only, no questions\n"
    "/norestart\tWindows is not restarted\n"
    "/forcerestart\tWindows is restarted at the end\n"
    "/port PORT\tthe printer's port, in place of the Port Type dialog\n"
    "/log PATH\ta copy of the log, also written there\n"
    "/?\tthis text";

constexpr const char* kNoPort =
    "the printer's port: /port COM1|COM2|COM3|COM4|USB|WLAN:A.B.C.D[:PORT], or PORT in ZMPK40_Config.KVT";

}  // namespace

InstallerApp::InstallerApp(Platform& platform, std::string arguments)
    : platform_(platform), arguments_(std::move(arguments)) {}

bool InstallerApp::InitInstance() {
    ui::CommandLine line = ui::ParseCommandLine(arguments_, {{"port", false}});
    std::optional<PortTypeDialog::Choice> port;
    for (const std::string& value : line.Values("port")) {
        PortTypeDialog::Choice choice;
        std::string error;
        if (PortTypeDialog::ParseChoice(value, choice, error))
            port = choice;
        else if (line.error.empty())
            line.error = error;
    }

    ui::RunPolicy policy(platform_, line.mode, line.restart);
    Platform& platform = policy.GetPlatform();
    // No control container and no 3-D controls to enable: the dialogs use
    // only standard and common controls, drawn as the system draws them.
    if (!policy.Begin(line, LogName::Installer, kUsage)) {
        ActivateRunningInstance();
        return false;
    }

    InstallerDialog dialog(platform);
    dialog.GetLog().SetCopy(line.logCopy);
    policy.UseLog(&dialog.GetLog());
    policy.SetProgressWindow(InstallerDialog::kTemplate);
    policy.SetBoxOutcome(InstallerDialog::kOsRefused, ui::exitcode::kPlatformRefused);
    if (policy.Unattended() || port) {
        // The port from /port, else as the configuration file gives it; a
        // dialog only created to read the configuration takes /port alone.
        Log& log = dialog.GetLog();
        policy.AnswerQuestion(PortTypeDialog::kTemplate,
                              [&platform, &log, port](WindowId window, bool asked, std::string& missing) {
                                  using Answer = ui::RunPolicy::Answer;
                                  if (port) {
                                      PortTypeDialog::Answer(platform.ui, window, &*port);
                                      return Answer::Pressed;
                                  }
                                  if (!asked) return Answer::Leave;
                                  std::string configured;
                                  if (!GetDriverInfoFromFile(platform, log, kConfigSection, "PORT", configured)) {
                                      missing = kNoPort;
                                      return Answer::Impossible;
                                  }
                                  PortTypeDialog::Answer(platform.ui, window, nullptr);
                                  return Answer::Pressed;
                              });
    }
    dialog.MakeMainWindow();
    dialog.DoModal();
    dialog.DestroyWindow();
    // Closed before the worker ended the process: interactive, the user's
    // cancel, which changed nothing.
    exitCode_ = policy.Unattended() ? policy.Finish(0) : 0;
    return false;
}

bool InstallerApp::ActivateRunningInstance() {
    // The port dialog, the progress dialog, the installer's message boxes
    // (the application's name), in this order.
    return ui::ActivateRunningInstance(platform_.ui,
                                       {"Port Type", "Installation Progress", "ZMPK40_Installer"});
}

int InstallerMain(Platform& platform, const std::string& arguments) {
    InstallerApp app(platform, arguments);
    app.InitInstance();  // FALSE on every path: the framework ends the program
    return app.ExitCode();
}

}  // namespace zmp
