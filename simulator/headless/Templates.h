// The programs' dialog templates as data, read from the same
// resources/*Dialogs.inc the resource scripts compile.
#pragma once

#include <string>
#include <vector>

#include "platform/Types.h"
#include "resources/StringTables.h"

namespace zmp::sim {

// Window styles the headless model reads (Windows' values).
namespace style {
constexpr Dword kPopup = 0x80000000;
constexpr Dword kChild = 0x40000000;
constexpr Dword kVisible = 0x10000000;
constexpr Dword kDisabled = 0x08000000;
constexpr Dword kGroup = 0x00020000;
constexpr Dword kTabStop = 0x00010000;
constexpr Dword kButtonTypeMask = 0xF;
constexpr Dword kDefPushButton = 0x1;
constexpr Dword kAutoRadioButton = 0x9;
constexpr Dword kGroupBox = 0x7;
constexpr Dword kListSort = 0x2;
}  // namespace style

struct ControlTemplate {
    int id = 0;
    std::string windowClass;
    std::string text;
    Dword style = 0;
    int x = 0, y = 0, width = 0, height = 0;
};

struct DialogTemplate {
    int id = 0;
    std::string caption;
    int width = 0, height = 0;
    Dword style = 0;
    Dword exStyle = 0;
    std::vector<ControlTemplate> controls;  // in template order
};

// The template of that id in the program's resources, or nullptr.
const DialogTemplate* FindDialogTemplate(resources::Program program, int templateId);

}  // namespace zmp::sim
