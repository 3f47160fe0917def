// Files and directories (kernel32 and the C runtime) as the system uses them.
// Every failing call leaves its code as the thread's last error, as Windows does.
#pragma once

#include <cstdint>
#include <string>

#include "platform/Types.h"

namespace zmp {

namespace file {
constexpr Dword kInvalidFileAttributes = 0xFFFFFFFF;
constexpr Dword kAttributeReadOnly = 0x1;
constexpr Dword kAttributeHidden = 0x2;
constexpr Dword kAttributeSystem = 0x4;
constexpr Dword kAttributeDirectory = 0x10;
constexpr Dword kAttributeArchive = 0x20;
constexpr Dword kAttributeNormal = 0x80;
constexpr Dword kAttributeReparsePoint = 0x400;
}  // namespace file

// WIN32_FIND_DATAA, the fields the system reads.
struct FindData {
    Dword attributes = 0;
    std::string fileName;
    std::uint64_t size = 0;  // nFileSizeHigh and nFileSizeLow
};

// SECURITY_ATTRIBUTES with a security descriptor that carries one DACL;
// protectedDacl sets SE_DACL_PROTECTED: the folder takes no entries from
// its parent, its list is exactly this one.
struct DirectorySecurity {
    AclRef dacl = AclRef::None;
    bool inheritHandle = false;
    bool protectedDacl = false;
};

class FileSystem {
public:
    virtual ~FileSystem() = default;

    // GetWindowsDirectoryA / GetSystemDirectoryA into a buffer of bufferSize
    // characters: the length copied, 0 on failure (out is then empty).
    virtual Dword GetWindowsDirectory(std::string& out, Dword bufferSize) = 0;
    virtual Dword GetSystemDirectory(std::string& out, Dword bufferSize) = 0;
    // GetProcAddress(GetModuleHandleA("kernel32"), "GetSystemWow64DirectoryA") != NULL
    virtual bool HasGetSystemWow64Directory() = 0;
    virtual Dword GetSystemWow64Directory(std::string& out, Dword bufferSize) = 0;
    // GetCurrentDirectoryA
    virtual Dword GetCurrentDirectory(std::string& out, Dword bufferSize) = 0;

    // CopyFileA(source, destination, failIfExists)
    virtual Status CopyFile(const std::string& source, const std::string& destination,
                            bool failIfExists) = 0;
    virtual Status DeleteFile(const std::string& path) = 0;
    // The C runtime's rename(): 0 on success, -1 on failure.
    virtual int Rename(const std::string& from, const std::string& to) = 0;
    virtual Dword GetFileAttributes(const std::string& path) = 0;
    virtual Status SetFileAttributes(const std::string& path, Dword attributes) = 0;

    // CreateDirectoryA(path, security or NULL)
    virtual Status CreateDirectory(const std::string& path, const DirectorySecurity* security) = 0;
    // CreateDirectoryA(path) with the DACL that GetNamedSecurityInfoA reads
    // from the folder model, protected (nothing inherited from path's parent).
    virtual Status CreateDirectoryWithDaclOf(const std::string& path, const std::string& model) = 0;
    // SetNamedSecurityInfoA(path, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION |
    // PROTECTED_DACL_SECURITY_INFORMATION, NULL, NULL, dacl, NULL): the
    // existing folder's list replaced by this one, nothing inherited.
    virtual Status SetDirectoryDacl(const std::string& path, AclRef dacl) = 0;
    virtual Status RemoveDirectory(const std::string& path) = 0;

    // CharPrevA(text, text + position): where the character before position
    // starts, by the system's ANSI code page, in which paths are written. In
    // a double-byte code page the second byte of a character may be 0x5C,
    // the byte of a backslash. 0 at the start.
    virtual std::size_t CharPrev(const std::string& text, std::size_t position) = 0;

    // FindFirstFileA / FindNextFileA / FindClose
    virtual Status FindFirstFile(const std::string& pattern, FindHandle& handle, FindData& data) = 0;
    virtual Status FindNextFile(FindHandle handle, FindData& data) = 0;
    virtual void FindClose(FindHandle handle) = 0;

    // GetPrivateProfileStringA(section, key, "" (no default), buffer,
    // bufferSize, path): the number of characters copied, out holds them.
    virtual Dword GetPrivateProfileString(const std::string& section, const std::string& key,
                                          Dword bufferSize, const std::string& path,
                                          std::string& out) = 0;

    // The log file: CreateFileA(path, GENERIC_READ|GENERIC_WRITE,
    // FILE_SHARE_READ|FILE_SHARE_WRITE, NULL, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL
    // | FILE_FLAG_OPEN_REPARSE_POINT) then SetFilePointer(0, FILE_END);
    // WriteFile; CloseHandle. A symbolic link or junction at the path is
    // opened as itself, never followed (folders on the way are).
    virtual Status OpenForAppend(const std::string& path, FileHandle& out) = 0;
    // GetFileInformationByHandle: the open file's attributes (a reparse
    // point shows FILE_ATTRIBUTE_REPARSE_POINT) and its number of links
    // (names) in the file system.
    virtual Status GetFileLinks(FileHandle file, Dword& attributes, Dword& links) = 0;
    virtual Status WriteFile(FileHandle file, const char* data, Dword length) = 0;
    virtual void CloseFile(FileHandle file) = 0;
};

}  // namespace zmp
