// The log file: "\Temp\ZMP-K40_Installer.txt" or "\Temp\ZMP-K40_UnInstaller.txt"
// at the root of the Windows drive, recreated at every start, one
// time-prefixed line per WriteLog, opened and closed for every line.
//
// The programs run elevated, and "\Temp" at the drive root is a folder any
// user may have made and so may own: a junction there, or a link in the
// log's place, would turn the log writer into a writer of any file the
// user names. So the log never writes through a link: when that "\Temp" is
// a reparse point, or the log file is one or has more than one hard link,
// the log goes to the Windows directory's own "Temp" folder instead, and
// its first line there says why ("LOG MOVED HERE : ..."). A "\Temp" the
// program makes itself gets the Windows directory's access list, which
// lets no ordinary user add files. The /log copy is written under the same
// rule: a copy that is a link is not written, and the log says so once.
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
    // Opens path for one line, never through a link: "" when it is open
    // or cannot be, else "LABEL : <the link> ..." (the file is then closed
    // again).
    std::string OpenUnlinked(const std::string& path, FileHandle& file, bool& opened, const char* label);
    // The log from now on in the Windows directory's "Temp", the note its
    // first line.
    void MoveAside(const std::string& note);
    // The text and CR LF; the file stays open.
    void WriteText(FileHandle file, const std::string& text);
    // "\Temp" at the drive root, made with the Windows directory's access
    // list when it is missing.
    void MakeTempFolder(const std::string& folder, const std::string& windowsDir);

    FileSystem& files_;
    Clock& clock_;
    char path_[256];
    std::string copy_;
    std::string folder_;      // the folder path_ is in, checked before every line
    std::string aside_;       // the log's place in the Windows directory's "Temp"
    std::string note_;        // the first line of a moved log, until written
    bool copyRefused_ = false;
};

}  // namespace zmp
