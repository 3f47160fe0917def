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

// A junction, a symbolic link or any other reparse point.
bool IsLink(Dword attributes) {
    return attributes != file::kInvalidFileAttributes && (attributes & file::kAttributeReparsePoint) != 0;
}

constexpr const char* kMoved = "LOG MOVED HERE";
constexpr const char* kCopyRefused = "LOG COPY NOT WRITTEN";

// "LABEL : <path> is a reparse point", or "... has <links> hard links".
std::string LinkNote(const char* label, const std::string& path, Dword links) {
    char text[kLineSize];
    if (links > 1)
        std::snprintf(text, sizeof text, "%s : %s has %u hard links", label, path.c_str(), static_cast<unsigned>(links));
    else
        std::snprintf(text, sizeof text, "%s : %s is a reparse point", label, path.c_str());
    return text;
}

}  // namespace

Log::Log(FileSystem& files, Clock& clock) : files_(files), clock_(clock) {
    std::memset(path_, 0, sizeof path_);
}

bool Log::InitLogFile(LogName which) {
    std::memset(path_, 0, sizeof path_);
    folder_.clear();
    aside_.clear();
    note_.clear();
    copyRefused_ = false;

    std::string windowsDir;
    files_.GetWindowsDirectory(windowsDir, kPathSize);

    // The drive root of the Windows directory ("C:\"); a shorter text is
    // taken as it is.
    char work[kPathSize];
    std::memset(work, 0, sizeof work);
    CopyBounded(work, 4, windowsDir.c_str());

    // "C:\" + "\Temp": the doubled separator is accepted as one.
    AppendBounded(work, sizeof work, "\\Temp");
    MakeTempFolder(work, windowsDir);
    folder_ = work;

    AppendBounded(work, sizeof work, FileNameOf(which));
    CopyBounded(path_, sizeof path_, work);
    if (!windowsDir.empty()) aside_ = windowsDir + "\\Temp" + FileNameOf(which);

    if (SameText(copy_, path_)) copy_.clear();
    if (!copy_.empty()) files_.DeleteFile(copy_);

    // Nothing is deleted through a link either. A hard link in the log's
    // place is only a name: deleting it leaves the file it shares alone.
    if (IsLink(files_.GetFileAttributes(folder_))) {
        MoveAside(LinkNote(kMoved, folder_, 1));
        return false;
    }
    if (IsLink(files_.GetFileAttributes(path_))) {
        MoveAside(LinkNote(kMoved, Path(), 1));
        return false;
    }
    // Keep only the current run in the file.
    return files_.DeleteFile(path_).ok();
}

void Log::MakeTempFolder(const std::string& folder, const std::string& windowsDir) {
    if (files_.GetFileAttributes(folder) != file::kInvalidFileAttributes) return;  // usually there already
    // Made here, it lets ordinary users add nothing, as the Windows
    // directory does; without that list, as Windows makes a folder.
    if (windowsDir.empty() || !files_.CreateDirectoryWithDaclOf(folder, windowsDir).ok())
        files_.CreateDirectory(folder, nullptr);
}

void Log::MoveAside(const std::string& note) {
    folder_.clear();
    note_ = note;
    CopyBounded(path_, sizeof path_, aside_.c_str());
    if (!aside_.empty()) files_.DeleteFile(aside_);  // an earlier run's, or a link's name
}

std::string Log::OpenUnlinked(const std::string& path, FileHandle& file, bool& opened, const char* label) {
    opened = false;
    if (!folder_.empty() && SameText(path, path_) && IsLink(files_.GetFileAttributes(folder_)))
        return LinkNote(label, folder_, 1);
    if (!files_.OpenForAppend(path, file).ok()) return "";
    Dword attributes = 0, links = 0;
    const bool known = files_.GetFileLinks(file, attributes, links).ok();
    if (known && !IsLink(attributes) && links <= 1) {
        opened = true;
        return "";
    }
    files_.CloseFile(file);
    if (!known) return "";  // a file that cannot be looked at is not written blind: the line is lost
    return LinkNote(label, path, IsLink(attributes) ? 1 : links);
}

void Log::SetCopy(const std::string& path) { copy_ = path; }

void Log::WriteLog(const char* format, ...) {
    // Before InitLogFile there is no path, and so no file to write to.
    if (path_[0] == '\0' || format == nullptr) return;

    // Opened and closed for every line, so the file is complete on disk
    // whenever the process ends and others may read it meanwhile; checked
    // every time, as a link may be put in its place at any moment.
    FileHandle file = FileHandle::None;
    bool opened = false;
    std::string moved = OpenUnlinked(path_, file, opened, kMoved);
    if (!moved.empty() && !folder_.empty() && !aside_.empty()) {
        MoveAside(moved);
        OpenUnlinked(path_, file, opened, kMoved);
    }
    FileHandle copy = FileHandle::None;
    bool copyOpened = false;
    std::string copyRefusal;
    if (!copy_.empty()) {
        copyRefusal = OpenUnlinked(copy_, copy, copyOpened, kCopyRefused);
        if (copyRefused_) copyRefusal.clear();
        copyRefused_ = copyRefused_ || !copyRefusal.empty();
    }
    if (!opened && !copyOpened) return;

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

    if (opened) {
        // Why the log is here, or why its copy is not written, before the line.
        for (std::string* note : {&note_, &copyRefusal}) {
            if (note->empty()) continue;
            files_.WriteFile(file, line, static_cast<Dword>(prefix));
            WriteText(file, *note);
            note->clear();
        }
        WriteLine(file, line);
    }
    if (copyOpened) WriteLine(copy, line);
}

void Log::WriteText(FileHandle file, const std::string& text) {
    files_.WriteFile(file, text.data(), static_cast<Dword>(text.size()));
    files_.WriteFile(file, "\r\n", 2);
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
