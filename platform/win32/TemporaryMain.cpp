// Stand-in WinMain until the Win32 UI backend and its WinMain files land:
// runs the program over the real backend with a user interface that shows
// nothing. The UI backend's developer deletes this file.
#include "platform/win32/Win32Api.h"
#include "platform/win32/Win32System.h"
#include "installer/InstallerApp.h"
#include "uninstaller/UninstallerApp.h"

namespace {

class NullUi final : public zmp::Ui {
public:
    std::string LoadString(int) override { return {}; }
    std::uintptr_t LoadIcon(int) override { return 0; }
    std::string AppName() override { return {}; }
    int DoModal(int, zmp::WindowId, zmp::DialogHandler&) override { return 0; }
    zmp::WindowId CreateModeless(int, zmp::WindowId, zmp::DialogHandler&) override { return {}; }
    void EndDialog(zmp::WindowId, int) override {}
    void DestroyWindow(zmp::WindowId) override {}
    zmp::WindowId GetDlgItem(zmp::WindowId, int) override { return {}; }
    zmp::LResult SendMessage(zmp::WindowId, zmp::Dword, zmp::WParam, zmp::LParam) override { return 0; }
    bool PostMessage(zmp::WindowId, zmp::Dword, zmp::WParam, zmp::LParam) override { return false; }
    void SetWindowText(zmp::WindowId, const std::string&) override {}
    std::string GetWindowText(zmp::WindowId) override { return {}; }
    void EnableWindow(zmp::WindowId, bool) override {}
    bool IsWindowEnabled(zmp::WindowId) override { return false; }
    void ShowWindow(zmp::WindowId, int) override {}
    bool IsIconic(zmp::WindowId) override { return false; }
    void CheckDlgButton(zmp::WindowId, int, zmp::Dword) override {}
    zmp::Dword IsDlgButtonChecked(zmp::WindowId, int) override { return 0; }
    void SetCheckListState(zmp::WindowId, int, zmp::Dword) override {}
    zmp::Dword GetCheckListState(zmp::WindowId, int) override { return 0; }
    void RemoveSystemMenuClose(zmp::WindowId) override {}
    void SetCursor(zmp::CursorKind) override {}
    void PaintIconic(zmp::WindowId, std::uintptr_t) override {}
    void SetTimer(zmp::WindowId, std::uintptr_t, zmp::Dword) override {}
    void KillTimer(zmp::WindowId, std::uintptr_t) override {}
    int MessageBox(zmp::WindowId, const std::string&, zmp::Dword) override { return zmp::mb::kIdOk; }
    void SetMainWindow(zmp::WindowId) override {}
    zmp::WindowId MainWindow() override { return {}; }
    bool BeginThread(ThreadProc, void*) override { return false; }
    long IncrementInstanceCounter() override { return 1; }
    zmp::WindowId FindWindowByTitle(const std::string&) override { return {}; }
    zmp::WindowId GetLastActivePopup(zmp::WindowId w) override { return w; }
    void SetForegroundWindow(zmp::WindowId) override {}
};

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    zmp::win32::Win32System sys;
    NullUi ui;
    zmp::Platform p = sys.MakePlatform(ui);
#if defined(ZMP_PROGRAM_INSTALLER)
    return zmp::InstallerMain(p);
#else
    return zmp::UninstallerMain(p);
#endif
}
