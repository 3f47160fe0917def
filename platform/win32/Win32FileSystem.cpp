// Files and directories: kernel32 and the C runtime's rename.
#include <algorithm>
#include <cstdio>

#include "platform/win32/Win32Api.h"
#include "platform/win32/Win32System.h"

namespace zmp::win32 {
namespace {

HANDLE ToHandle(FindHandle h) { return FromRef<HANDLE>(h); }
HANDLE ToHandle(FileHandle h) { return FromRef<HANDLE>(h); }

// The directory queries: Windows returns the length copied, or, when the
// buffer is too small, the size it needs and copies nothing.
template <typename Call>
Dword DirectoryQuery(Call call, std::string& out, Dword bufferSize) {
    std::vector<char> buffer(bufferSize + 1, '\0');
    UINT length = call(buffer.data(), static_cast<UINT>(bufferSize));
    out = (length > 0 && length < bufferSize) ? std::string(buffer.data(), length) : std::string();
    return length;
}

using GetSystemWow64DirectoryAProc = UINT(WINAPI*)(LPSTR, UINT);

GetSystemWow64DirectoryAProc LookUpGetSystemWow64Directory() {
    return reinterpret_cast<GetSystemWow64DirectoryAProc>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleA("kernel32"), "GetSystemWow64DirectoryA")));
}

void ToFindData(const WIN32_FIND_DATAA& fd, FindData& data) {
    data.attributes = fd.dwFileAttributes;
    data.fileName = fd.cFileName;
    data.size = (static_cast<std::uint64_t>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow;
}

}  // namespace

Dword Win32FileSystem::GetWindowsDirectory(std::string& out, Dword bufferSize) {
    return DirectoryQuery([](LPSTR b, UINT n) { return ::GetWindowsDirectoryA(b, n); }, out, bufferSize);
}

Dword Win32FileSystem::GetSystemDirectory(std::string& out, Dword bufferSize) {
    return DirectoryQuery([](LPSTR b, UINT n) { return ::GetSystemDirectoryA(b, n); }, out, bufferSize);
}

bool Win32FileSystem::HasGetSystemWow64Directory() { return LookUpGetSystemWow64Directory() != nullptr; }

Dword Win32FileSystem::GetSystemWow64Directory(std::string& out, Dword bufferSize) {
    GetSystemWow64DirectoryAProc proc = LookUpGetSystemWow64Directory();
    if (!proc) {
        out.clear();
        return 0;
    }
    return DirectoryQuery([proc](LPSTR b, UINT n) { return proc(b, n); }, out, bufferSize);
}

Dword Win32FileSystem::GetCurrentDirectory(std::string& out, Dword bufferSize) {
    return DirectoryQuery([](LPSTR b, UINT n) { return static_cast<UINT>(::GetCurrentDirectoryA(n, b)); },
                          out, bufferSize);
}

Status Win32FileSystem::CopyFile(const std::string& source, const std::string& destination,
                                 bool failIfExists) {
    return FromBool(::CopyFileA(source.c_str(), destination.c_str(), failIfExists ? TRUE : FALSE));
}

Status Win32FileSystem::DeleteFile(const std::string& path) {
    return FromBool(::DeleteFileA(path.c_str()));
}

int Win32FileSystem::Rename(const std::string& from, const std::string& to) {
    return std::rename(from.c_str(), to.c_str());
}

Dword Win32FileSystem::GetFileAttributes(const std::string& path) {
    return ::GetFileAttributesA(path.c_str());
}

Status Win32FileSystem::SetFileAttributes(const std::string& path, Dword attributes) {
    return FromBool(::SetFileAttributesA(path.c_str(), attributes));
}

Status Win32FileSystem::CreateDirectory(const std::string& path, const DirectorySecurity* security) {
    if (!security) return FromBool(::CreateDirectoryA(path.c_str(), nullptr));

    SECURITY_DESCRIPTOR sd;
    if (!::InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION)) return LastErrorStatus();
    if (!::SetSecurityDescriptorDacl(&sd, TRUE, FromRef<PACL>(security->dacl), FALSE))
        return LastErrorStatus();
    if (security->protectedDacl && !::SetSecurityDescriptorControl(&sd, SE_DACL_PROTECTED, SE_DACL_PROTECTED))
        return LastErrorStatus();
    SECURITY_ATTRIBUTES sa = {};
    sa.nLength = sizeof sa;  // 12 in the 32-bit program
    sa.lpSecurityDescriptor = &sd;
    sa.bInheritHandle = security->inheritHandle ? TRUE : FALSE;
    return FromBool(::CreateDirectoryA(path.c_str(), &sa));
}

Status Win32FileSystem::CreateDirectoryWithDaclOf(const std::string& path, const std::string& model) {
    PACL acl = nullptr;
    PSECURITY_DESCRIPTOR modelSd = nullptr;
    const DWORD read = ::GetNamedSecurityInfoA(Str(model), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                               nullptr, &acl, nullptr, &modelSd);
    if (read != ERROR_SUCCESS) {
        ::SetLastError(read);
        return Status::Fail(read);
    }
    DirectorySecurity security;
    security.dacl = ToRef<AclRef>(acl);
    security.protectedDacl = true;
    const Status created = CreateDirectory(path, &security);
    ::LocalFree(modelSd);
    if (!created.ok()) ::SetLastError(created.code);
    return created;
}

Status Win32FileSystem::SetDirectoryDacl(const std::string& path, AclRef dacl) {
    const DWORD status =
        ::SetNamedSecurityInfoA(Str(path), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                                nullptr, nullptr, FromRef<PACL>(dacl), nullptr);
    if (status != ERROR_SUCCESS) ::SetLastError(status);
    return Status::Fail(status);
}

Status Win32FileSystem::RemoveDirectory(const std::string& path) {
    return FromBool(::RemoveDirectoryA(path.c_str()));
}

std::size_t Win32FileSystem::CharPrev(const std::string& text, std::size_t position) {
    const char* start = text.c_str();
    return static_cast<std::size_t>(::CharPrevA(start, start + std::min(position, text.size())) - start);
}

Status Win32FileSystem::FindFirstFile(const std::string& pattern, FindHandle& handle, FindData& data) {
    handle = FindHandle::None;
    WIN32_FIND_DATAA fd = {};
    HANDLE h = ::FindFirstFileA(pattern.c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return LastErrorStatus();
    handle = ToRef<FindHandle>(h);
    ToFindData(fd, data);
    return Status::Ok();
}

Status Win32FileSystem::FindNextFile(FindHandle handle, FindData& data) {
    WIN32_FIND_DATAA fd = {};
    if (!::FindNextFileA(ToHandle(handle), &fd)) return LastErrorStatus();
    ToFindData(fd, data);
    return Status::Ok();
}

void Win32FileSystem::FindClose(FindHandle handle) {
    if (handle != FindHandle::None) ::FindClose(ToHandle(handle));
}

Dword Win32FileSystem::GetPrivateProfileString(const std::string& section, const std::string& key,
                                               Dword bufferSize, const std::string& path,
                                               std::string& out) {
    std::vector<char> buffer(bufferSize + 1, '\0');
    DWORD copied = ::GetPrivateProfileStringA(section.c_str(), key.c_str(), "", buffer.data(),
                                              bufferSize, path.c_str());
    out.assign(buffer.data(), copied < bufferSize ? copied : bufferSize);
    return copied;
}

Status Win32FileSystem::OpenForAppend(const std::string& path, FileHandle& out) {
    out = FileHandle::None;
    HANDLE h = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) return LastErrorStatus();
    ::SetFilePointer(h, 0, nullptr, FILE_END);
    out = ToRef<FileHandle>(h);
    return Status::Ok();
}

Status Win32FileSystem::GetFileLinks(FileHandle file, Dword& attributes, Dword& links) {
    BY_HANDLE_FILE_INFORMATION info = {};
    attributes = 0;
    links = 0;
    if (!::GetFileInformationByHandle(ToHandle(file), &info)) return LastErrorStatus();
    attributes = info.dwFileAttributes;
    links = info.nNumberOfLinks;
    return Status::Ok();
}

Status Win32FileSystem::WriteFile(FileHandle file, const char* data, Dword length) {
    DWORD written = 0;
    return FromBool(::WriteFile(ToHandle(file), data, length, &written, nullptr));
}

void Win32FileSystem::CloseFile(FileHandle file) {
    if (file != FileHandle::None) ::CloseHandle(ToHandle(file));
}

}  // namespace zmp::win32
