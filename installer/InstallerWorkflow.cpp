#include "installer/InstallerDialog.h"

namespace zmp {

// For now the worker only ends the process, as the finished workflow does;
// the installation workflow (OS check, port choice, version check and the
// two install sequences) replaces this.
void InstallerDialog::RunInstallation() { platform_.processes.ExitProcess(0); }

}  // namespace zmp
