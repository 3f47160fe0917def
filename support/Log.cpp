#include "support/Log.h"

#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace zmp {

namespace {

constexpr std::size_t kPathSize = 256;
// One line: the 10-character time prefix, at most 1013 message characters
// and the terminator. CR LF is written separately.
constexpr std::size_t kLineSize = 1024;

// Bounded, always-terminated copy and append (the terminator counts).
void CopyBounded(char* dst, std::size_t size, const char* src) {
    if (size == 0) return;
    std::size_t n = std::strlen(src);
    if (n > size - 1) n = size - 1;
    std::memcpy(dst, src, n);
    dst[n] = '\0';
}

void AppendBounded(char* dst, std::size_t size, const char* src) {
    std::size_t used = ::strnlen(dst, size);
    if (used >= size) return;
    CopyBounded(dst + used, size - used, src);
}

// Paths compared as Windows does, without regard to letter case.
bool SameText(const std::string& a, const char* b) {
    if (a.size() != std::strlen(b)) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

const char* FileNameOf(LogName which) {
    return which == LogName::Installer ? "\\ZMP-K40_Installer.txt" : "\\ZMP-K40_UnInstaller.txt";
}

}  // namespace

Log::Log(FileSystem& files, Clock& clock) : files_(files), clock_(clock) {
    std::memset(path_, 0, sizeof path_);
}

bool Log::InitLogFile(LogName which) {
    std::memset(path_, 0, sizeof path_);

    std::string windowsDir;
    files_.GetWindowsDirectory(windowsDir, kPathSize);

    // The drive root of the Windows directory ("C:\"); a shorter text is
    // taken as it is.
    char work[kPathSize];
    std::memset(work, 0, sizeof work);
    CopyBounded(work, 4, windowsDir.c_str());

    // "C:\" + "\Temp": the doubled separator is accepted as one.
    AppendBounded(work, sizeof work, "\\Temp");
    files_.CreateDirectory(work, nullptr);  // usually exists already

    AppendBounded(work, sizeof work, FileNameOf(which));
    CopyBounded(path_, sizeof path_, work);

    if (SameText(copy_, path_)) copy_.clear();
    if (!copy_.empty()) files_.DeleteFile(copy_);

    // Keep only the current run in the file.
    return files_.DeleteFile(path_).ok();
}

void Log::SetCopy(const std::string& path) { copy_ = path; }

void Log::WriteLog(const char* format, ...) {
    // Before InitLogFile there is no path, and so no file to write to.
    if (path_[0] == '\0' || format == nullptr) return;

    // Opened and closed for every line, so the file is complete on disk
    // whenever the process ends and others may read it meanwhile.
    FileHandle file = FileHandle::None;
    const bool opened = files_.OpenForAppend(path_, file).ok();
    if (!opened && copy_.empty()) return;

    char line[kLineSize];
    std::memset(line, 0, sizeof line);

    LocalTime now = clock_.GetLocalTime();
    std::snprintf(line, sizeof line, "%02u:%02u:%02u: ", now.hour, now.minute, now.second);

    // A longer message is cut at the end of the line buffer.
    std::size_t prefix = std::strlen(line);
    va_list args;
    va_start(args, format);
    std::vsnprintf(line + prefix, sizeof line - prefix, format, args);
    va_end(args);

    if (opened) WriteLine(file, line);
    if (!copy_.empty() && files_.OpenForAppend(copy_, file).ok()) WriteLine(file, line);
}

void Log::WriteLine(FileHandle file, const char* line) {
    files_.WriteFile(file, line, static_cast<Dword>(std::strlen(line)));
    files_.WriteFile(file, "\r\n", 2);
    files_.CloseFile(file);
}

std::string Log::Path() const {
    return std::string(path_, ::strnlen(path_, sizeof path_));
}

}  // namespace zmp
