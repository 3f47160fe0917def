#include "support/DriverConfig.h"

namespace zmp {

namespace {

constexpr std::size_t kPathChars = 255;  // 256-character buffers, terminator included
constexpr const char* kModelFolder = "ZMP-K40";  // the installer's folder under Windows

// Bounded append: a path that does not fit is cut.
void AppendBounded(std::string& path, const std::string& part) {
    if (path.size() >= kPathChars) return;
    path.append(part, 0, kPathChars - path.size());
}

bool ReadFrom(FileSystem& files, const std::string& path, const std::string& section,
              const std::string& key, std::string& value, Dword bufferSize) {
    value.clear();
    Dword copied = files.GetPrivateProfileString(section, key, bufferSize, path, value);
    if (copied == 0) {
        value.clear();
        return false;
    }
    if (bufferSize > 0 && value.size() > bufferSize - 1) value.resize(bufferSize - 1);
    return true;
}

}  // namespace

bool GetDriverInfoFromFile(Platform& platform, Log& log, const std::string& section,
                           const std::string& key, std::string& value, Dword bufferSize) {
    FileSystem& files = platform.files;

    // Beside the installer when it is started from its distribution folder.
    std::string dir;
    files.GetCurrentDirectory(dir, static_cast<Dword>(kPathChars + 1));
    std::string path;
    AppendBounded(path, dir);
    AppendBounded(path, std::string("\\") + kConfigFileName);
    if (ReadFrom(files, path, section, key, value, bufferSize)) return true;

    // The copy the installer keeps in its own folder under Windows.
    dir.clear();
    files.GetWindowsDirectory(dir, static_cast<Dword>(kPathChars + 1));
    path.clear();
    AppendBounded(path, dir);
    AppendBounded(path, "\\");
    AppendBounded(path, kModelFolder);
    AppendBounded(path, std::string("\\") + kConfigFileName);
    if (ReadFrom(files, path, section, key, value, bufferSize)) return true;

    Dword lastError = platform.system.GetLastError();
    log.WriteLog("\r\n");
    log.WriteLog("GetDriverInfoFromFile BEGIN");
    log.WriteLog("SECTION NAME : %s", section.c_str());
    log.WriteLog("KEY NAME : %s", key.c_str());
    log.WriteLog("GetDriverInfoFromFile failed. (%d)", static_cast<int>(lastError));
    log.WriteLog("GetDriverInfoFromFile END");
    log.WriteLog("\r\n");
    return false;
}

}  // namespace zmp
