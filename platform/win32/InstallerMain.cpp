// ZMPK40_Installer.exe: the instance record that every running copy of the
// installer shares, and WinMain, which runs the installer on real Windows.
//
// The seam's headers come before <windows.h>: its A/W macros (LoadString,
// MessageBox ...) must not rename the seam's operations.
#include "installer/InstallerApp.h"
#include "platform/win32/Win32System.h"
#include "platform/win32/Win32Ui.h"

#include <windows.h>

namespace {

// The section "DataSeg" is initialised, shared, readable and writable: one
// copy for every process that runs this executable. The counter only ever
// goes up; a second start sees more than 1 and hands over to the first. The
// titles are those of the installer's windows (its message boxes, the
// progress dialog, the port type dialog).
struct InstanceRecord {
    volatile LONG counter;
    char appTitle[sizeof "ZMPK40_Installer"];
    char progressTitle[sizeof "Installation Progress"];
    char portTitle[sizeof "Port Type"];
};

__attribute__((section("DataSeg"), shared)) InstanceRecord g_instanceRecord = {
    0, "ZMPK40_Installer", "Installation Progress", "Port Type"};

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR arguments, int) {
    zmp::win32::Win32System system;
    zmp::win32::Win32Ui ui(instance, &g_instanceRecord.counter);
    zmp::Platform platform = system.MakePlatform(ui);
    return zmp::InstallerMain(platform, arguments ? arguments : "");
}
