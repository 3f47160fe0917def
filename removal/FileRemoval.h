// Deleting files and directory trees, shared by the removal steps and the
// installer's file steps.
#pragma once

#include <string>

#include "platform/Platform.h"
#include "support/Log.h"

namespace zmp {

// Logs "DeleteFile Error : %s , (%d)"; always false.
bool ReportDeleteFileError(Log& log, const std::string& path, Dword code);

// Deletes the directory with everything in it, depth first, clearing
// read-only attributes on the way. A junction or symbolic link met in the
// tree (or given as the path) is removed itself; what it points to is never
// entered. Silent: whatever cannot be deleted stays, and so do its parents.
void DeleteDirectoryTree(FileSystem& files, const std::string& path);

}  // namespace zmp
