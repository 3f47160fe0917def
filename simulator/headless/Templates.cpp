#include "simulator/headless/Templates.h"

namespace zmp::sim {
namespace {

// The style names the .inc files use, with Windows' values.
constexpr Dword WS_POPUP = 0x80000000;
constexpr Dword WS_CHILD = 0x40000000;
constexpr Dword WS_VISIBLE = 0x10000000;
constexpr Dword WS_DISABLED = 0x08000000;
constexpr Dword WS_CAPTION = 0x00C00000;
constexpr Dword WS_BORDER = 0x00800000;
constexpr Dword WS_VSCROLL = 0x00200000;
constexpr Dword WS_SYSMENU = 0x00080000;
constexpr Dword WS_GROUP = 0x00020000;
constexpr Dword WS_TABSTOP = 0x00010000;
constexpr Dword WS_EX_APPWINDOW = 0x00040000;
constexpr Dword DS_SETFONT = 0x40;
constexpr Dword DS_MODALFRAME = 0x80;
constexpr Dword BS_PUSHBUTTON = 0x0;
constexpr Dword BS_DEFPUSHBUTTON = 0x1;
constexpr Dword BS_GROUPBOX = 0x7;
constexpr Dword BS_AUTORADIOBUTTON = 0x9;
constexpr Dword SS_LEFT = 0x0;
constexpr Dword ES_CENTER = 0x1;
constexpr Dword ES_AUTOHSCROLL = 0x80;
constexpr Dword LBS_NOTIFY = 0x1;
constexpr Dword LBS_SORT = 0x2;
constexpr Dword LBS_OWNERDRAWFIXED = 0x10;
constexpr Dword LBS_HASSTRINGS = 0x40;
constexpr Dword LBS_NOINTEGRALHEIGHT = 0x100;

enum Kind { kDialogBegin, kControl, kDialogEnd };

struct Item {
    Kind kind;
    int id;
    const char* windowClass;
    const char* text;
    Dword style;
    Dword exStyle;
    int x, y, width, height;
};

#define ZMP_DIALOG(id, caption, width, height, style, exStyle) \
    {kDialogBegin, id, nullptr, caption, Dword(style), Dword(exStyle), 0, 0, width, height},
#define ZMP_CONTROL(id, windowClass, text, style, x, y, width, height) \
    {kControl, id, windowClass, text, Dword(style), 0, x, y, width, height},
#define ZMP_DIALOG_END() {kDialogEnd, 0, nullptr, nullptr, 0, 0, 0, 0, 0, 0},
const Item kInstallerItems[] = {
#include "resources/InstallerDialogs.inc"
};
const Item kUninstallerItems[] = {
#include "resources/UninstallerDialogs.inc"
};
#undef ZMP_DIALOG
#undef ZMP_CONTROL
#undef ZMP_DIALOG_END

template <unsigned N>
std::vector<DialogTemplate> Build(const Item (&items)[N]) {
    std::vector<DialogTemplate> dialogs;
    for (const Item& item : items) {
        if (item.kind == kDialogBegin) {
            DialogTemplate dialog;
            dialog.id = item.id;
            dialog.caption = item.text;
            dialog.width = item.width;
            dialog.height = item.height;
            dialog.style = item.style;
            dialog.exStyle = item.exStyle;
            dialogs.push_back(dialog);
        } else if (item.kind == kControl && !dialogs.empty()) {
            dialogs.back().controls.push_back(ControlTemplate{item.id, item.windowClass, item.text,
                                                              item.style, item.x, item.y,
                                                              item.width, item.height});
        }
    }
    return dialogs;
}

}  // namespace

const DialogTemplate* FindDialogTemplate(resources::Program program, int templateId) {
    static const std::vector<DialogTemplate> installer = Build(kInstallerItems);
    static const std::vector<DialogTemplate> uninstaller = Build(kUninstallerItems);
    const auto& dialogs = program == resources::Program::Installer ? installer : uninstaller;
    for (const DialogTemplate& dialog : dialogs) {
        if (dialog.id == templateId) return &dialog;
    }
    return nullptr;
}

}  // namespace zmp::sim
