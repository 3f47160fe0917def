#include "support/OemInf.h"

#include <vector>

namespace zmp {

void ForEachOemInfWithLine(SetupApi& setup, const std::string& section, const std::string& key,
                           const std::function<void(const std::string& name)>& onMatch,
                           const std::function<void(Dword code)>& onOpenFailure) {
    std::vector<std::string> infs;
    if (!setup.GetInfFileList(setup::kInfStyleWin4, infs).ok()) infs.clear();
    for (const std::string& name : infs) {
        if (name.compare(0, 3, "oem") != 0) continue;  // case-sensitive
        InfHandle inf = InfHandle::None;
        Status opened = setup.OpenInfFile(name, setup::kInfStyleOldNt | setup::kInfStyleWin4, inf);
        if (!opened.ok()) {
            onOpenFailure(opened.code);
            continue;
        }
        const bool hasLine = setup.FindFirstLine(inf, section, key);
        setup.CloseInfFile(inf);
        if (hasLine) onMatch(name);
    }
}

}  // namespace zmp
