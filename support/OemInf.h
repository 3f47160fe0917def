// The search both programs make among the system's oem INF files for the
// one(s) that hold the printer's model line.
#pragma once

#include <functional>
#include <string>

#include "platform/SetupApi.h"

namespace zmp {

// Walks the INF directory's list; for every name that starts with "oem"
// (lower case, as the system names them) it opens the INF and calls onMatch
// with the name when a line with key stands in section. An INF that cannot
// be opened goes to onOpenFailure with its code and matches nothing. Every
// matching INF is reported, in list order; an INF is closed before its
// callback runs.
void ForEachOemInfWithLine(SetupApi& setup, const std::string& section, const std::string& key,
                           const std::function<void(const std::string& name)>& onMatch,
                           const std::function<void(Dword code)>& onOpenFailure);

}  // namespace zmp
