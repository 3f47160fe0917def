// Registry keys the installer and the uninstaller tests both look at.
#pragma once

namespace zmp::test {

constexpr const char* kUninstallKey = "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\KORVANT_ZMP-K40";

}  // namespace zmp::test
