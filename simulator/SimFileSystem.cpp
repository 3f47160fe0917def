// kernel32's files and directories and the C runtime's rename, for one
// simulated process.
#include "simulator/MachineState.h"
#include "simulator/SimPlatform.h"

namespace zmp::sim {

namespace {

// Copies text into a caller's buffer of bufferSize characters, as the
// Get...Directory functions do: the length, or the size needed (with the
// terminator) when it does not fit.
Dword CopyOut(const std::string& text, Dword bufferSize, std::string& out) {
    if (text.size() + 1 > bufferSize) {
        out.clear();
        return static_cast<Dword>(text.size() + 1);
    }
    out = text;
    return static_cast<Dword>(text.size());
}

Dword AttributesOf(const FileNode& node) {
    if (node.directory)
        return file::kAttributeDirectory | node.attributes | (node.junction.empty() ? 0 : file::kAttributeReparsePoint);
    return node.attributes ? node.attributes : file::kAttributeNormal;
}

std::string StripQuotes(const std::string& value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

}  // namespace

#define ZMP_MACHINE std::lock_guard<std::recursive_mutex> machineLock(p_.machine().Mutex()); \
    Machine::State& s = p_.machine().Internal()

Dword SimFileSystem::GetWindowsDirectory(std::string& out, Dword bufferSize) {
    if (auto fault = p_.Enter("FileSystem.GetWindowsDirectory")) {
        p_.SetLastError(*fault);
        out.clear();
        return 0;
    }
    return CopyOut(p_.machine().WindowsDirectory(), bufferSize, out);
}

Dword SimFileSystem::GetSystemDirectory(std::string& out, Dword bufferSize) {
    if (auto fault = p_.Enter("FileSystem.GetSystemDirectory")) {
        p_.SetLastError(*fault);
        out.clear();
        return 0;
    }
    return CopyOut(p_.machine().SystemDirectory(), bufferSize, out);
}

bool SimFileSystem::HasGetSystemWow64Directory() {
    if (auto fault = p_.Enter("FileSystem.HasGetSystemWow64Directory")) {
        p_.SetLastError(*fault);
        return false;
    }
    if (!p_.machine().Os().hasGetSystemWow64Directory) {
        p_.SetLastError(err::kProcNotFound);
        return false;
    }
    return true;
}

Dword SimFileSystem::GetSystemWow64Directory(std::string& out, Dword bufferSize) {
    out.clear();
    if (auto fault = p_.Enter("FileSystem.GetSystemWow64Directory")) {
        p_.SetLastError(*fault);
        return 0;
    }
    OsInfo os = p_.machine().Os();
    if (!os.hasGetSystemWow64Directory) {
        p_.SetLastError(err::kProcNotFound);
        return 0;
    }
    if (!os.is64Bit) {
        p_.SetLastError(werr::kCallNotImplemented);
        return 0;
    }
    return CopyOut(p_.machine().SysWow64Directory(), bufferSize, out);
}

Dword SimFileSystem::GetCurrentDirectory(std::string& out, Dword bufferSize) {
    if (auto fault = p_.Enter("FileSystem.GetCurrentDirectory")) {
        p_.SetLastError(*fault);
        out.clear();
        return 0;
    }
    return CopyOut(p_.ToAnsi(p_.CurrentDirectory()), bufferSize, out);
}

Status SimFileSystem::CopyFile(const std::string& source, const std::string& destination, bool failIfExists) {
    if (auto fault = p_.Enter("FileSystem.CopyFile")) return p_.Fail(*fault);
    std::string src = p_.ResolvePath(source), dst = p_.ResolvePath(destination);
    if (src.empty() || dst.empty()) return p_.Fail(src.empty() ? err::kPathNotFound : err::kPathNotFound);
    ZMP_MACHINE;
    Dword code = s.CopyFile(src, dst, failIfExists);
    if (code) return p_.Fail(code);
    p_.SetLastError(err::kSuccess);
    return Status::Ok();
}

Status SimFileSystem::DeleteFile(const std::string& path) {
    if (auto fault = p_.Enter("FileSystem.DeleteFile")) return p_.Fail(*fault);
    std::string p = p_.ResolvePath(path);
    if (p.empty()) return p_.Fail(err::kPathNotFound);
    ZMP_MACHINE;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const auto& [handle, open] : files_)
            if (PathKey(open) == PathKey(s.files.Follow(p))) return p_.Fail(err::kSharingViolation);
    }
    Dword code = s.DeleteFile(p);
    return code ? p_.Fail(code) : Status::Ok();
}

int SimFileSystem::Rename(const std::string& from, const std::string& to) {
    if (auto fault = p_.Enter("FileSystem.Rename")) {
        p_.SetLastError(*fault);
        return -1;
    }
    std::string f = p_.ResolvePath(from), t = p_.ResolvePath(to);
    if (f.empty() || t.empty()) {
        p_.SetLastError(err::kPathNotFound);
        return -1;
    }
    ZMP_MACHINE;
    Dword code = s.MoveFile(f, t);
    if (code) {
        p_.SetLastError(code);
        return -1;
    }
    return 0;
}

Dword SimFileSystem::GetFileAttributes(const std::string& path) {
    if (auto fault = p_.Enter("FileSystem.GetFileAttributes")) {
        p_.SetLastError(*fault);
        return file::kInvalidFileAttributes;
    }
    std::string p = p_.ResolvePath(path);
    if (p.empty()) {
        p_.SetLastError(err::kPathNotFound);
        return file::kInvalidFileAttributes;
    }
    ZMP_MACHINE;
    std::string followed = s.files.Follow(p);
    const FileNode* node = s.files.Get(followed);
    if (!node) {
        p_.SetLastError(s.files.MissingCode(followed));
        return file::kInvalidFileAttributes;
    }
    return AttributesOf(*node);
}

Status SimFileSystem::SetFileAttributes(const std::string& path, Dword attributes) {
    if (auto fault = p_.Enter("FileSystem.SetFileAttributes")) return p_.Fail(*fault);
    std::string p = p_.ResolvePath(path);
    if (p.empty()) return p_.Fail(err::kPathNotFound);
    ZMP_MACHINE;
    Dword code = s.SetAttributes(p, attributes);
    return code ? p_.Fail(code) : Status::Ok();
}

Status SimFileSystem::CreateDirectory(const std::string& path, const DirectorySecurity* security) {
    if (auto fault = p_.Enter("FileSystem.CreateDirectory")) return p_.Fail(*fault);
    std::string p = p_.ResolvePath(path);
    if (p.empty()) return p_.Fail(err::kPathNotFound);
    std::optional<std::vector<AceEntry>> acl;
    if (security && security->dacl != AclRef::None) {
        acl = p_.Acl(security->dacl);
        if (!acl) return p_.Fail(err::kInvalidParameter);
    }
    ZMP_MACHINE;
    Dword code = s.CreateDirectory(p, acl ? &*acl : nullptr);
    return code ? p_.Fail(code) : Status::Ok();
}

Status SimFileSystem::CreateDirectoryWithDaclOf(const std::string& path, const std::string& model) {
    if (auto fault = p_.Enter("FileSystem.CreateDirectoryWithDaclOf")) return p_.Fail(*fault);
    std::string p = p_.ResolvePath(path), m = p_.ResolvePath(model);
    if (p.empty() || m.empty()) return p_.Fail(err::kPathNotFound);
    ZMP_MACHINE;
    const FileNode* node = s.files.Get(s.files.Follow(m));
    if (!node) return p_.Fail(s.files.MissingCode(m));
    const std::vector<AceEntry> acl = node->acl;
    Dword code = s.CreateDirectory(p, &acl);
    return code ? p_.Fail(code) : Status::Ok();
}

Status SimFileSystem::SetDirectoryDacl(const std::string& path, AclRef dacl) {
    if (auto fault = p_.Enter("FileSystem.SetDirectoryDacl")) return p_.Fail(*fault);
    std::string p = p_.ResolvePath(path);
    if (p.empty()) return p_.Fail(err::kPathNotFound);
    std::optional<std::vector<AceEntry>> acl = p_.Acl(dacl);
    if (!acl) return p_.Fail(err::kInvalidParameter);
    ZMP_MACHINE;
    FileNode* node = s.files.Get(s.files.Follow(p));
    if (!node) return p_.Fail(s.files.MissingCode(p));
    node->acl = *acl;
    return Status::Ok();
}

Status SimFileSystem::RemoveDirectory(const std::string& path) {
    if (auto fault = p_.Enter("FileSystem.RemoveDirectory")) return p_.Fail(*fault);
    std::string p = p_.ResolvePath(path);
    if (p.empty()) return p_.Fail(err::kPathNotFound);
    ZMP_MACHINE;
    std::string followed = PathKey(s.files.Follow(p));
    std::string cwd = PathKey(p_.CurrentDirectory());
    if (IsWithin(cwd, followed))
        return p_.Fail(err::kSharingViolation);  // some process's current directory
    Dword code = s.RemoveDirectory(p);
    return code ? p_.Fail(code) : Status::Ok();
}

std::size_t SimFileSystem::CharPrev(const std::string& text, std::size_t position) {
    p_.Enter("FileSystem.CharPrev");
    return CharPrevAnsi(p_.machine().Os().ansiCodePage, text, position);
}

Status SimFileSystem::FindFirstFile(const std::string& pattern, FindHandle& handle, FindData& data) {
    handle = FindHandle::None;
    if (auto fault = p_.Enter("FileSystem.FindFirstFile")) return p_.Fail(*fault);
    const std::string text = p_.FromAnsi(pattern);
    if (text.empty() || text.back() == '\\' || text.back() == '/') return p_.Fail(err::kFileNotFound);
    std::string resolved = p_.ResolvePath(pattern);
    if (resolved.empty() || IsDriveRoot(resolved)) return p_.Fail(err::kPathNotFound);
    std::string mask = FileName(resolved);
    std::string directory = ParentPath(resolved);
    ZMP_MACHINE;
    std::string dir = s.files.Follow(directory);
    const FileNode* node = s.files.Get(dir);
    if (node && !node->junction.empty()) {
        dir = node->junction;
        node = s.files.Get(dir);
    }
    if (!node || !node->directory) return p_.Fail(err::kPathNotFound);
    std::vector<FindData> entries;
    if (!IsDriveRoot(dir)) {
        for (const char* dot : {".", ".."})
            if (WildcardMatch(mask, dot)) entries.push_back({file::kAttributeDirectory, dot});
    }
    for (const FileNode* child : s.files.Children(dir)) {
        std::string name = FileName(child->path);
        if (WildcardMatch(mask, name)) entries.push_back({AttributesOf(*child), p_.ToAnsi(name), child->data.size()});
    }
    if (entries.empty()) return p_.Fail(err::kFileNotFound);
    data = entries.front();
    entries.erase(entries.begin());
    std::uintptr_t h = p_.NewHandle();
    std::lock_guard<std::mutex> lock(mutex_);
    finds_[h] = std::move(entries);
    handle = static_cast<FindHandle>(h);
    return Status::Ok();
}

Status SimFileSystem::FindNextFile(FindHandle handle, FindData& data) {
    if (auto fault = p_.Enter("FileSystem.FindNextFile")) return p_.Fail(*fault);
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = finds_.find(static_cast<std::uintptr_t>(handle));
    if (it == finds_.end()) return p_.Fail(err::kInvalidHandle);
    if (it->second.empty()) return p_.Fail(err::kNoMoreFiles);
    data = it->second.front();
    it->second.erase(it->second.begin());
    return Status::Ok();
}

void SimFileSystem::FindClose(FindHandle handle) {
    p_.Enter("FileSystem.FindClose");
    std::lock_guard<std::mutex> lock(mutex_);
    finds_.erase(static_cast<std::uintptr_t>(handle));
}

Dword SimFileSystem::GetPrivateProfileString(const std::string& section, const std::string& key, Dword bufferSize,
                                             const std::string& path, std::string& out) {
    out.clear();
    if (auto fault = p_.Enter("FileSystem.GetPrivateProfileString")) {
        p_.SetLastError(*fault);
        return 0;
    }
    // A bare file name means the Windows directory.
    std::string p = path.find_first_of("\\/") == std::string::npos && path.find(':') == std::string::npos
                        ? JoinPath(p_.machine().WindowsDirectory(), path)
                        : p_.ResolvePath(path);
    std::optional<std::string> text;
    // The file is opened as CreateFile opens it: 3 when its folder is missing.
    Dword missing = err::kPathNotFound;
    {
        ZMP_MACHINE;
        const FileNode* node = p.empty() ? nullptr : s.files.Get(s.files.Follow(p));
        if (node && !node->directory) text = node->data;
        else if (!p.empty()) missing = node ? err::kFileNotFound : s.files.MissingCode(s.files.Follow(p));
    }
    if (!text) {
        p_.SetLastError(missing);
        return 0;
    }
    bool inSection = false;
    for (const std::string& raw : Split(*text, '\n')) {
        std::string line = Trim(raw);
        if (!line.empty() && line.front() == '[') {
            size_t close = line.find(']');
            inSection = IEquals(Trim(line.substr(1, close == std::string::npos ? std::string::npos : close - 1)), section);
            continue;
        }
        if (!inSection) continue;
        size_t eq = line.find('=');
        if (eq == std::string::npos || !IEquals(Trim(line.substr(0, eq)), key)) continue;
        std::string value = StripQuotes(Trim(line.substr(eq + 1)));
        if (bufferSize == 0) return 0;
        if (value.size() > bufferSize - 1) value.resize(bufferSize - 1);
        out = value;
        p_.SetLastError(err::kSuccess);
        return static_cast<Dword>(value.size());
    }
    p_.SetLastError(err::kFileNotFound);
    return 0;
}

Status SimFileSystem::OpenForAppend(const std::string& path, FileHandle& out) {
    out = FileHandle::None;
    if (auto fault = p_.Enter("FileSystem.OpenForAppend")) return p_.Fail(*fault);
    std::string p = p_.ResolvePath(path);
    if (p.empty()) return p_.Fail(err::kPathNotFound);
    ZMP_MACHINE;
    std::string followed = s.files.Follow(p);
    const FileNode* node = s.files.Get(followed);
    bool existed = node != nullptr;
    if (node) {
        if (node->directory) return p_.Fail(err::kAccessDenied);
        if (node->attributes & file::kAttributeReadOnly) return p_.Fail(err::kAccessDenied);
        if (s.IsHeld(followed)) return p_.Fail(err::kSharingViolation);
    } else {
        if (!s.files.IsDirectory(ParentPath(followed))) return p_.Fail(err::kPathNotFound);
        s.files.Put(followed, "");
    }
    std::uintptr_t h = p_.NewHandle();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        files_[h] = followed;
    }
    out = static_cast<FileHandle>(h);
    // OPEN_ALWAYS tells the caller whether the file was there.
    p_.SetLastError(existed ? err::kAlreadyExists : err::kSuccess);
    return Status::Ok();
}

bool SimFileSystem::OpenPath(FileHandle file, std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = files_.find(static_cast<std::uintptr_t>(file));
    if (it == files_.end()) return false;
    path = it->second;
    return true;
}

Status SimFileSystem::GetFileLinks(FileHandle file, Dword& attributes, Dword& links) {
    attributes = 0;
    links = 0;
    if (auto fault = p_.Enter("FileSystem.GetFileLinks")) return p_.Fail(*fault);
    std::string path;
    if (!OpenPath(file, path)) return p_.Fail(err::kInvalidHandle);
    ZMP_MACHINE;
    const FileNode* node = s.files.Get(path);
    if (!node) return p_.Fail(err::kFileNotFound);
    attributes = AttributesOf(*node);
    links = s.files.NameCount(*node);
    return Status::Ok();
}

Status SimFileSystem::WriteFile(FileHandle file, const char* data, Dword length) {
    if (auto fault = p_.Enter("FileSystem.WriteFile")) return p_.Fail(*fault);
    std::string path;
    if (!OpenPath(file, path)) return p_.Fail(err::kInvalidHandle);
    ZMP_MACHINE;
    FileNode* node = s.files.Get(path);
    if (!node) node = &s.files.Put(path, "");
    // Through a hard link the data written is the file's.
    if (!node->hardLink.empty())
        if (FileNode* file = s.files.Get(node->hardLink)) node = file;
    node->data.append(data, length);
    node->writeTime = s.clockMs;
    return Status::Ok();
}

void SimFileSystem::CloseFile(FileHandle file) {
    p_.Enter("FileSystem.CloseFile");
    std::lock_guard<std::mutex> lock(mutex_);
    files_.erase(static_cast<std::uintptr_t>(file));
}

}  // namespace zmp::sim
