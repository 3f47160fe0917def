// The two programs' string tables as C++ data (the same .inc files feed the
// resource scripts). The headless UI backend loads strings from here; the
// Win32 backend uses LoadStringA on the executable's own table.
#pragma once

namespace zmp::resources {

enum class Program { Installer, Uninstaller };

// The text of string id in the program's table, or nullptr when undefined.
const char* FindString(Program program, int id);

}  // namespace zmp::resources
