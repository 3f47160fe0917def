#include "removal/FileRemoval.h"

#include <vector>

namespace zmp {

bool ReportDeleteFileError(Log& log, const std::string& path, Dword code) {
    log.WriteLog("DeleteFile Error : %s , (%d)", path.c_str(), static_cast<int>(code));
    return false;
}

namespace {

bool IsLink(Dword attributes) {
    return attributes != file::kInvalidFileAttributes && (attributes & file::kAttributeReparsePoint) != 0;
}

void ClearReadOnly(FileSystem& files, const std::string& path, Dword attributes) {
    if (attributes == file::kInvalidFileAttributes) return;
    if (attributes & file::kAttributeReadOnly)
        files.SetFileAttributes(path, attributes & ~file::kAttributeReadOnly);
}

}  // namespace

void DeleteDirectoryTree(FileSystem& files, const std::string& path) {
    Dword attributes = files.GetFileAttributes(path);
    if (attributes == file::kInvalidFileAttributes) return;  // nothing there

    // The directory without a trailing backslash, judged by characters: in a
    // double-byte code page a name may end in a character whose second byte
    // is 0x5C, and that byte is no backslash.
    std::string dir = path;
    while (dir.size() > 1 && dir.back() == '\\' && files.CharPrev(dir, dir.size()) == dir.size() - 1) dir.pop_back();

    // A junction or symbolic link given as the tree: remove the link only.
    if (IsLink(attributes)) {
        files.RemoveDirectory(dir);
        return;
    }
    ClearReadOnly(files, path, attributes);

    // Collect the entries first, so the search never runs over a directory
    // that is changing under it.
    std::vector<FindData> entries;
    FindHandle search = FindHandle::None;
    FindData data;
    if (files.FindFirstFile(dir + "\\*.*", search, data).ok()) {
        do {
            if (data.fileName != "." && data.fileName != "..") entries.push_back(data);
        } while (files.FindNextFile(search, data).ok());
        files.FindClose(search);
    }

    for (const FindData& entry : entries) {
        std::string child = dir + "\\" + entry.fileName;
        if (entry.attributes & file::kAttributeDirectory) {
            // Never descend through a link: what it points to lies outside
            // the tree. RemoveDirectory on the reparse point removes the link.
            if (!IsLink(entry.attributes)) DeleteDirectoryTree(files, child);
            files.RemoveDirectory(child);
        } else {
            // A file symbolic link is deleted as itself; its target's
            // attributes are left alone.
            if (!IsLink(entry.attributes)) ClearReadOnly(files, child, entry.attributes);
            files.DeleteFile(child);
        }
    }

    files.RemoveDirectory(dir);
}

}  // namespace zmp
