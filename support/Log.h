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

private:
    FileSystem& files_;
    Clock& clock_;
    char path_[256];
};

}  // namespace zmp
