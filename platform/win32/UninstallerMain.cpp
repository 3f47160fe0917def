// ZMPK40_Uninstaller.exe: the instance record that every running copy of the
// uninstaller shares, and WinMain, which runs the uninstaller on real Windows.
//
// The seam's headers come before <windows.h>: its A/W macros (LoadString,
// MessageBox ...) must not rename the seam's operations.
#include "platform/win32/Win32System.h"
#include "platform/win32/Win32Ui.h"
#include "uninstaller/UninstallerApp.h"

#include <windows.h>

namespace {

// The section "DataSeg" is initialised, shared, readable and writable: one
// copy for every process that runs this executable. The counter only ever
// goes up; a second start sees more than 1 and hands over to the first. The
// titles are those of the uninstaller's dialog and of its message boxes.
struct InstanceRecord {
    volatile LONG counter;
    char dialogTitle[sizeof "KORVANT ZMP-K40 Uninstaller"];
    char appTitle[sizeof "ZMPK40_Uninstaller"];
};

__attribute__((section("DataSeg"), shared)) InstanceRecord g_instanceRecord = {
    0, "KORVANT ZMP-K40 Uninstaller", "ZMPK40_Uninstaller"};

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR arguments, int) {
    zmp::win32::Win32System system;
    zmp::win32::Win32Ui ui(instance, &g_instanceRecord.counter);
    zmp::Platform platform = system.MakePlatform(ui);
    return zmp::UninstallerMain(platform, arguments ? arguments : "");
}
