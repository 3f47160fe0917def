#include "installer/InstallerDialog.h"

#include "support/SpoolerService.h"
#include "ui/DataExchange.h"

namespace zmp {
namespace {

constexpr int kIcon = 128;
constexpr int kProgressBar = 1000;
constexpr int kVersionLabel = 1001;
constexpr int kProductLabel = 1002;
constexpr int kStatusLabel = 1003;
constexpr int kIdPrinterName = 2;
constexpr int kIdVersionMajor = 21;
constexpr int kIdVersionMinor = 22;
constexpr int kIdVersionBuild = 23;
constexpr int kProgressStep = 9;
constexpr Dword kSpoolerStartSleep = 2000;

}  // namespace

InstallerDialog::InstallerDialog(Platform& platform)
    : WorkerDialog(platform.ui, kTemplate, kIcon),
      platform_(platform),
      log_(platform.files, platform.clock),
      engine_(platform, log_),
      portDialog_(platform, log_),
      progress_(platform.ui, status_, progressBar_),
      remover_(platform, log_, DriverRemover::Variant::InstallerDialog, &progress_) {}

unsigned InstallerDialog::InstallThreadProc(void* param) {
    static_cast<InstallerDialog*>(param)->RunInstallation();
    return 0;
}

void InstallerDialog::DoDataExchange(ui::DataExchange& dx) {
    dx.Control(kProgressBar, progressBar_);
    dx.Text(kStatusLabel, message_);
    dx.Text(kVersionLabel, versionText_);
    dx.Text(kProductLabel, productText_);
}

bool InstallerDialog::OnInitDialog() {
    Dialog::OnInitDialog();
    SetWindowIcons();

    log_.InitLogFile(LogName::Installer);
    wow64_ = IsWow64(platform_.system, log_);
    osCode_ = CheckOS(platform_.system, log_);
    engine_.SetSystemInfo(wow64_, osCode_);
    engine_.SetControlPointers(&progress_);
    remover_.SetSystemInfo(wow64_, osCode_);

    versionText_ = "Driver Version: V" + ui_.LoadString(kIdVersionMajor) + "." +
                   ui_.LoadString(kIdVersionMinor) + "." + ui_.LoadString(kIdVersionBuild);
    scratch_ = ui_.LoadString(kIdPrinterName);
    productText_ = scratch_;

    // The pause, then the wait until the service runs (at most 30 s more),
    // before the worker asks the spooler anything; the result is not
    // examined.
    StartSpooler(platform_, kSpoolerStartSleep);

    installing_ = false;
    removing_ = false;
    ui_.PostMessage(ui_.MainWindow(), msg::kRefreshStatus, 0, 0);

    progressBar_.SetRange(0, 100);
    progressBar_.SetStep(kProgressStep);
    ui_.BeginThread(&InstallerDialog::InstallThreadProc, this);
    return true;
}

bool InstallerDialog::PreTranslateMessage(const Message& message) {
    ShowBusy(installing_ || removing_);
    if (installing_ && message.wParam == msg::kKeyEscape) return true;
    return Dialog::PreTranslateMessage(message);
}

void InstallerDialog::OnOK() {
    // The dialog has no buttons: Enter arrives here as IDOK and would end
    // the program just as a close does.
    if (installing_ || removing_) return;
    Dialog::OnOK();
}

void InstallerDialog::OnCancel() {
    // Closing the dialog ends the program, worker included: never in the
    // middle of an installation or removal, whichever way the close came
    // (a WM_CLOSE from the task bar passes neither the menu nor the keys).
    if (installing_ || removing_) return;
    Dialog::OnCancel();
}

}  // namespace zmp
