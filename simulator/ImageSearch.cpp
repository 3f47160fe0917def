#include "simulator/ImageSearch.h"

#include "simulator/SimPlatform.h"

namespace zmp::sim {
namespace {

// What the model's Windows has in its system directories.
constexpr const char* kWindowsImages[] = {
    "cmd.exe",      "net.exe",      "net1.exe",     "rundll32.exe", "printui.dll",  "winspool.drv",
    "setupapi.dll", "comctl32.dll", "shlwapi.dll",  "kernel32.dll", "user32.dll",   "gdi32.dll",
    "advapi32.dll", "msvcrt.dll",   "ole32.dll",    "shell32.dll",  "rpcrt4.dll",   "version.dll",
};

// The KnownDLLs the model counts on every release: the ones listed on all
// of them. winspool.drv, comctl32.dll (a side-by-side assembly) and, before
// Windows 7, setupapi.dll and shlwapi.dll are not among them; the model
// takes the stricter answer and never counts those four.
constexpr const char* kKnownDlls[] = {"kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll",
                                      "ole32.dll",    "shell32.dll", "rpcrt4.dll", "version.dll"};

bool HasDirectory(const std::string& name) { return name.find_first_of("\\/:") != std::string::npos; }

// A candidate as the process names it, then where WOW64 takes it.
std::string Candidate(const SimProcess& p, const std::string& directory, const std::string& name) {
    if (directory.empty()) return "";
    return p.ResolvePath(JoinPath(directory, name));
}

}  // namespace

bool ImageExists(const Machine::State& s, const std::string& physical) {
    if (physical.empty()) return false;
    const FileNode* node = s.files.Get(s.files.Follow(physical));
    if (node) return !node->directory;
    return IsWindowsImage(s, physical);  // the ones the machine does not hold as files
}

bool IsWindowsImage(const Machine::State& s, const std::string& physicalPath, const char* name) {
    const std::string path = NormalizePath(physicalPath);
    if (path.empty()) return false;
    const std::string parent = PathKey(ParentPath(path));
    const std::string wow = s.SysWow64Dir();
    if (parent != PathKey(s.SystemDir()) && (wow.empty() || parent != PathKey(wow))) return false;
    const std::string base = FileName(path);
    if (name) return IEquals(base, name);
    for (const char* image : kWindowsImages)
        if (IEquals(base, image)) return true;
    return false;
}

std::string CommandProgram(const std::string& commandLine, std::string& rest) {
    size_t i = commandLine.find_first_not_of(" \t");
    if (i == std::string::npos) {
        rest.clear();
        return "";
    }
    std::string program;
    size_t end;
    if (commandLine[i] == '"') {
        end = commandLine.find('"', i + 1);
        program = commandLine.substr(i + 1, end == std::string::npos ? std::string::npos : end - i - 1);
        end = end == std::string::npos ? commandLine.size() : end + 1;
    } else {
        end = commandLine.find_first_of(" \t", i);
        if (end == std::string::npos) end = commandLine.size();
        program = commandLine.substr(i, end - i);
    }
    const size_t next = commandLine.find_first_not_of(" \t", end);
    rest = next == std::string::npos ? "" : commandLine.substr(next);
    return program;
}

std::string FindProgram(const SimProcess& p, const Machine::State& s, const std::string& name,
                        const std::string& programDir, const std::string& currentDirectory) {
    if (name.empty()) return "";
    std::string file = name;
    const size_t slash = file.find_last_of("\\/:");
    if (file.find('.', slash == std::string::npos ? 0 : slash) == std::string::npos) file += ".exe";
    if (HasDirectory(file)) {
        const std::string path = p.ResolvePath(file);
        return ImageExists(s, path) ? path : "";
    }
    const std::string windows = s.WindowsDir();
    for (const std::string& dir : {programDir, currentDirectory, s.SystemDir(), JoinPath(windows, "system"), windows}) {
        const std::string path = Candidate(p, dir, file);
        if (ImageExists(s, path)) return path;
    }
    return "";
}

std::string FindLibrary(const SimProcess& p, const Machine::State& s, const std::string& name, DllSearch search,
                        const std::string& programDir, const std::string& currentDirectory) {
    if (name.empty()) return "";
    if (HasDirectory(name)) {
        const std::string path = p.ResolvePath(name);
        return ImageExists(s, path) ? path : "";
    }
    const std::string windows = s.WindowsDir();
    const std::string system = s.SystemDir();
    for (const char* known : kKnownDlls)
        if (IEquals(name, known)) return Candidate(p, system, name);
    std::vector<std::string> dirs;
    if (search == DllSearch::SystemOnly) {
        dirs = {system};
    } else {
        dirs = {programDir, system, JoinPath(windows, "system"), windows};
        if (search == DllSearch::Standard) dirs.push_back(currentDirectory);
    }
    for (const std::string& dir : dirs) {
        const std::string path = Candidate(p, dir, name);
        if (ImageExists(s, path)) return path;
    }
    return "";
}

}  // namespace zmp::sim
