#include "resources/StringTables.h"

namespace zmp::resources {
namespace {

struct Entry {
    int id;
    const char* text;
};

#define ZMP_STRING(id, text) {id, text},
const Entry kInstaller[] = {
#include "resources/InstallerStrings.inc"
};
const Entry kUninstaller[] = {
#include "resources/UninstallerStrings.inc"
};
#undef ZMP_STRING

template <unsigned N>
const char* Find(const Entry (&table)[N], int id) {
    for (const Entry& e : table) {
        if (e.id == id) return e.text;
    }
    return nullptr;
}

}  // namespace

const char* FindString(Program program, int id) {
    return program == Program::Installer ? Find(kInstaller, id) : Find(kUninstaller, id);
}

}  // namespace zmp::resources
