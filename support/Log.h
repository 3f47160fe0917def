// The log file: "\Temp\ZMP-K40_Installer.txt" or "\Temp\ZMP-K40_UnInstaller.txt"
// at the root of the Windows drive, recreated at every start, one
// time-prefixed line per WriteLog, opened and closed for every line.
#pragma once

#include <string>

#include "platform/Clock.h"
#include "platform/FileSystem.h"

namespace zmp {

enum class LogName { Installer, Uninstaller };

class Log {
public:
    Log(FileSystem& files, Clock& clock);

    // Builds the path, creates "\Temp" and deletes the previous run's file.
    // True when an old log was deleted; callers ignore it.
    bool InitLogFile(LogName which);

    // printf-style; "\r\n" as the message gives a line with only the prefix
    // followed by an empty line. Does nothing before InitLogFile.
    void WriteLog(const char* format, ...) __attribute__((format(printf, 2, 3)));

    // The log path ("" before InitLogFile).
    std::string Path() const;

    // Every line also goes to a copy there (an unattended run's /log), which
    // InitLogFile starts afresh like the log itself. Set before InitLogFile;
    // the log's own path is not taken twice.
    void SetCopy(const std::string& path);

private:
    // The line and CR LF; closes the file.
    void WriteLine(FileHandle file, const char* line);

    FileSystem& files_;
    Clock& clock_;
    char path_[256];
    std::string copy_;
};

}  // namespace zmp
