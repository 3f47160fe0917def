// printui.dll for Wine: a test stand-in for Windows' PrintUIEntry, loaded in
// place of Wine's own (which parses its options and installs nothing) with a
// DLL override. It never goes into the package.
//
//   rundll32 printui.dll,PrintUIEntry /ia /m MODEL /f INF [/u]
//   rundll32 printui.dll,PrintUIEntry /if /b NAME /f INF /r PORT /m MODEL [/u]
//
// What it does is what Windows documents for these options: /ia installs the
// driver MODEL from INF, /if installs it too and adds the printer NAME on PORT
// with it, /u uses the driver of that name when it is already installed.
// The driver is installed for the machine's native environment (the print
// server's, which is the only one its printers can use): the models section
// decorated for it (.NTamd64 on 64-bit Windows; .NTx86 or undecorated on
// 32-bit Windows), the install section decorated likewise, the files from
// the INF's source disk for that platform. A 32-bit rundll32 on 64-bit
// Windows hands the work to the 64-bit printui.dll, as Windows' 32-bit client
// hands it to the 64-bit spooler.
//
// Everything is checked before anything changes: a bad command line (87), an
// INF that cannot be opened, a model that is not in the decorated models
// section (1797), an install section that does not exist (0xE0000101) or a
// source file that is missing (2) leave the machine as it was. A failure
// while the driver is installed undoes what this run added. The printer
// comes after the driver, which stays when the printer cannot be added (an
// existing name 1802, a port that does not exist 1796), as on Windows. The
// process ends with 0 when done, else with the first error met; every step
// is written to <windows>\Temp\printui-standin.log.
#include <windows.h>
#include <setupapi.h>
#include <winspool.h>

#include <cstdarg>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

using std::wstring;

constexpr DWORD kUnknownDriver = ERROR_UNKNOWN_PRINTER_DRIVER;  // 1797
constexpr DWORD kSectionNotFound = 0xE0000101;                   // ERROR_SECTION_NOT_FOUND
constexpr INT kPrinterEventInitialize = 3;                       // PRINTER_EVENT_INITIALIZE (winddiui.h)

// ---------------------------------------------------------------- log

wstring LogPath() {
    wchar_t dir[MAX_PATH] = {};
    GetWindowsDirectoryW(dir, MAX_PATH);
    return wstring(dir) + L"\\Temp\\printui-standin.log";
}

void Log(const wchar_t* format, ...) {
    wchar_t line[2048];
    va_list args;
    va_start(args, format);
    _vsnwprintf(line, 2047, format, args);
    va_end(args);
    line[2047] = 0;
    char bytes[4096];
    int n = WideCharToMultiByte(CP_ACP, 0, line, -1, bytes, sizeof bytes - 2, nullptr, nullptr);
    if (n <= 0) return;
    bytes[n - 1] = '\r';
    bytes[n] = '\n';
    HANDLE file = CreateFileW(LogPath().c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, bytes, n + 1, &written, nullptr);
    CloseHandle(file);
}

// A failed step: its code, logged once where it happened.
struct Failure {
    DWORD code;
};

[[noreturn]] void Fail(DWORD code, const wchar_t* what, const wstring& detail = L"") {
    Log(L"FAILED %ls %ls (%lu)", what, detail.c_str(), code);
    throw Failure{code};
}

// ---------------------------------------------------------------- command line

struct Options {
    bool installDriver = false;   // /ia
    bool installPrinter = false;  // /if
    bool useInstalled = false;    // /u
    wstring name, inf, port, model;
};

// Splits at blanks outside double quotes; the quotes themselves go.
std::vector<wstring> Tokens(const wstring& line) {
    std::vector<wstring> tokens;
    wstring token;
    bool quoted = false, inToken = false;
    for (wchar_t c : line) {
        if (c == L'"') {
            quoted = !quoted;
            inToken = true;
        } else if ((c == L' ' || c == L'\t') && !quoted) {
            if (inToken) tokens.push_back(token);
            token.clear();
            inToken = false;
        } else {
            token += c;
            inToken = true;
        }
    }
    if (inToken) tokens.push_back(token);
    return tokens;
}

// Options with a value take it joined ("/bName") or as the next word.
Options Parse(const wstring& line) {
    Options o;
    std::vector<wstring> tokens = Tokens(line);
    for (size_t i = 0; i < tokens.size(); ++i) {
        const wstring& t = tokens[i];
        if (t.size() < 2 || t[0] != L'/') Fail(ERROR_INVALID_PARAMETER, L"option", t);
        if (_wcsicmp(t.c_str(), L"/ia") == 0) { o.installDriver = true; continue; }
        if (_wcsicmp(t.c_str(), L"/if") == 0) { o.installPrinter = true; continue; }
        if (_wcsicmp(t.c_str(), L"/u") == 0) { o.useInstalled = true; continue; }
        wstring* target = nullptr;
        switch (towlower(t[1])) {
            case L'b': target = &o.name; break;
            case L'f': target = &o.inf; break;
            case L'r': target = &o.port; break;
            case L'm': target = &o.model; break;
            default: Fail(ERROR_INVALID_PARAMETER, L"option", t);
        }
        if (t.size() > 2) {
            *target = t.substr(2);
        } else if (i + 1 < tokens.size()) {
            *target = tokens[++i];
        } else {
            Fail(ERROR_INVALID_PARAMETER, L"no value for", t);
        }
    }
    if (o.installDriver == o.installPrinter) Fail(ERROR_INVALID_PARAMETER, L"exactly one of /ia and /if");
    if (o.model.empty()) Fail(ERROR_INVALID_PARAMETER, L"no model (/m)");
    if (o.installPrinter && (o.name.empty() || o.port.empty()))
        Fail(ERROR_INVALID_PARAMETER, L"/if needs /b and /r");
    return o;
}

// ---------------------------------------------------------------- machine

bool UnderWow64() {
    BOOL wow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

struct Platform {
    const wchar_t* environment;  // the print server's
    const wchar_t* decoration;   // of models and install sections
    const wchar_t* disks;        // of SourceDisksNames/SourceDisksFiles
};

Platform Native() {
#ifdef _WIN64
    return {L"Windows x64", L"NTamd64", L"amd64"};
#else
    return {L"Windows NT x86", L"NTx86", L"x86"};
#endif
}

wstring WindowsDir() {
    wchar_t dir[MAX_PATH] = {};
    GetWindowsDirectoryW(dir, MAX_PATH);
    return dir;
}

wstring SystemDir() {
    wchar_t dir[MAX_PATH] = {};
    GetSystemDirectoryW(dir, MAX_PATH);
    return dir;
}

wstring DriverDir(const Platform& p) {
    wchar_t dir[MAX_PATH] = {};
    DWORD needed = 0;
    if (!GetPrinterDriverDirectoryW(nullptr, const_cast<wchar_t*>(p.environment), 1,
                                    reinterpret_cast<BYTE*>(dir), sizeof dir, &needed))
        Fail(GetLastError(), L"GetPrinterDriverDirectory");
    return dir;
}

wstring ProcessorDir(const Platform& p) {
    wchar_t dir[MAX_PATH] = {};
    DWORD needed = 0;
    if (!GetPrintProcessorDirectoryW(nullptr, const_cast<wchar_t*>(p.environment), 1,
                                     reinterpret_cast<BYTE*>(dir), sizeof dir, &needed))
        Fail(GetLastError(), L"GetPrintProcessorDirectory");
    return dir;
}

bool FileExists(const wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

wstring FileName(const wstring& path) {
    size_t slash = path.find_last_of(L"\\/");
    return slash == wstring::npos ? path : path.substr(slash + 1);
}

bool DriverInstalled(const Platform& p, const wstring& model) {
    DWORD needed = 0, count = 0;
    EnumPrinterDriversW(nullptr, const_cast<wchar_t*>(p.environment), 1, nullptr, 0, &needed, &count);
    std::vector<BYTE> buffer(needed ? needed : 1);
    if (!EnumPrinterDriversW(nullptr, const_cast<wchar_t*>(p.environment), 1, buffer.data(), needed, &needed,
                             &count))
        return false;
    auto* info = reinterpret_cast<DRIVER_INFO_1W*>(buffer.data());
    for (DWORD i = 0; i < count; ++i)
        if (_wcsicmp(info[i].pName, model.c_str()) == 0) return true;
    return false;
}

bool PrinterExists(const wstring& name) {
    HANDLE printer = nullptr;
    if (!OpenPrinterW(const_cast<wchar_t*>(name.c_str()), &printer, nullptr)) return false;
    ClosePrinter(printer);
    return true;
}

bool PortExists(const wstring& name) {
    DWORD needed = 0, count = 0;
    EnumPortsW(nullptr, 1, nullptr, 0, &needed, &count);
    std::vector<BYTE> buffer(needed ? needed : 1);
    if (!EnumPortsW(nullptr, 1, buffer.data(), needed, &needed, &count)) return false;
    auto* info = reinterpret_cast<PORT_INFO_1W*>(buffer.data());
    for (DWORD i = 0; i < count; ++i)
        if (_wcsicmp(info[i].pName, name.c_str()) == 0) return true;
    return false;
}

// ---------------------------------------------------------------- the INF

class Inf {
public:
    explicit Inf(const wstring& path) : path_(path) {
        handle_ = SetupOpenInfFileW(path.c_str(), nullptr, INF_STYLE_WIN4, nullptr);
        if (handle_ == INVALID_HANDLE_VALUE) Fail(GetLastError(), L"SetupOpenInfFile", path);
    }
    ~Inf() { SetupCloseInfFile(handle_); }
    Inf(const Inf&) = delete;
    Inf& operator=(const Inf&) = delete;

    const wstring& Path() const { return path_; }
    wstring Folder() const { return path_.substr(0, path_.find_last_of(L'\\') + 1); }

    bool HasSection(const wstring& section) const { return SetupGetLineCountW(handle_, section.c_str()) >= 0; }

    // Field n (1 = first after the key) of a line; empty when missing.
    static wstring Field(INFCONTEXT& line, DWORD n) {
        wchar_t text[1024] = {};
        DWORD size = 0;
        return SetupGetStringFieldW(&line, n, text, 1024, &size) ? text : L"";
    }
    static DWORD FieldCount(INFCONTEXT& line) { return SetupGetFieldCount(&line); }

    // The line of a key, with %strings% substituted.
    bool Find(const wstring& section, const wstring& key, INFCONTEXT& line) const {
        return SetupFindFirstLineW(handle_, section.c_str(), key.empty() ? nullptr : key.c_str(), &line);
    }

    // A key's whole value ("a,b" stays one text), empty when missing.
    wstring Value(const wstring& section, const wstring& key) const {
        INFCONTEXT line;
        if (!Find(section, key, line)) return L"";
        wchar_t text[2048] = {};
        DWORD size = 0;
        return SetupGetLineTextW(&line, nullptr, nullptr, nullptr, text, 2048, &size) ? text : L"";
    }

    // Every line of a section, one callback each.
    void Lines(const wstring& section, const std::function<void(INFCONTEXT&)>& each) const {
        INFCONTEXT line;
        if (!SetupFindFirstLineW(handle_, section.c_str(), nullptr, &line)) return;
        do each(line);
        while (SetupFindNextLine(&line, &line));
    }

private:
    wstring path_;
    HINF handle_;
};

std::vector<wstring> SplitList(const wstring& text) {
    std::vector<wstring> items;
    size_t from = 0;
    while (from <= text.size()) {
        size_t comma = text.find(L',', from);
        if (comma == wstring::npos) comma = text.size();
        wstring item = text.substr(from, comma - from);
        size_t first = item.find_first_not_of(L" \t"), last = item.find_last_not_of(L" \t");
        item = first == wstring::npos ? L"" : item.substr(first, last - first + 1);
        if (!item.empty()) items.push_back(item);
        from = comma + 1;
    }
    return items;
}

// "Name,DLL" of LanguageMonitor and PrintProcessor.
struct NamedDll {
    wstring name, dll;
};

NamedDll ReadNamedDll(const Inf& inf, const wstring& section, const wstring& key) {
    std::vector<wstring> parts = SplitList(inf.Value(section, key));
    if (parts.empty()) return {};
    return {parts[0], parts.size() > 1 ? parts[1] : L""};
}

// One file to put in place: where from, where to.
struct Copy {
    wstring source, target;
    bool staged;       // in the driver directory, for AddPrinterDriverEx
    wstring provided;  // where Windows itself keeps it (Unidrv), if it does
};

struct DriverPlan {
    wstring driverPath, dataFile, configFile, helpFile, dataType;
    std::vector<wstring> dependent;  // file names
    NamedDll monitor, processor;
    std::vector<Copy> copies;
};

// The section that models MODEL for this platform, or 1797.
wstring InstallSectionOf(const Inf& inf, const Platform& p, const wstring& model) {
    wstring found;
    inf.Lines(L"Manufacturer", [&](INFCONTEXT& line) {
        if (!found.empty()) return;
        wstring section = Inf::Field(line, 1);
        bool decorated = false;
        for (DWORD n = 2; n <= Inf::FieldCount(line); ++n)
            if (_wcsicmp(Inf::Field(line, n).c_str(), p.decoration) == 0) decorated = true;
        // 64-bit Windows reads only the section decorated for it; 32-bit
        // Windows takes the undecorated one when .NTx86 is not listed.
        wstring models;
        if (decorated) models = section + L"." + p.decoration;
        else if (wcscmp(p.decoration, L"NTx86") == 0) models = section;
        else return;
        INFCONTEXT entry;
        if (inf.Find(models, model, entry)) {
            found = Inf::Field(entry, 1);
            Log(L"model \"%ls\" in [%ls]: install section %ls", model.c_str(), models.c_str(), found.c_str());
        }
    });
    if (found.empty()) Fail(kUnknownDriver, L"model not in the INF's models section for", p.decoration);
    for (const wstring& candidate : {found + L"." + p.decoration, found + L".NT", found})
        if (inf.HasSection(candidate)) return candidate;
    Fail(kSectionNotFound, L"no install section", found);
}

// Where a file of the package lies: the INF's folder and the path of its
// source disk for this platform.
wstring SourceOf(const Inf& inf, const Platform& p, const wstring& file) {
    const wstring decorated = wstring(L".") + p.disks;
    INFCONTEXT line;
    wstring disk, subdir;
    if (inf.Find(L"SourceDisksFiles" + decorated, file, line) || inf.Find(L"SourceDisksFiles", file, line)) {
        disk = Inf::Field(line, 1);
        subdir = Inf::Field(line, 2);
    }
    wstring diskPath;
    if (!disk.empty() &&
        (inf.Find(L"SourceDisksNames" + decorated, disk, line) || inf.Find(L"SourceDisksNames", disk, line)))
        diskPath = Inf::Field(line, 4);
    wstring path = inf.Folder();
    for (const wstring& part : {diskPath, subdir}) {
        if (part.empty()) continue;
        path += part[0] == L'\\' ? part.substr(1) : part;
        if (path.back() != L'\\') path += L'\\';
    }
    return path + file;
}

wstring TargetDir(const Inf& inf, const Platform& p, const wstring& copySection) {
    wstring dirid = inf.Value(L"DestinationDirs", copySection);
    if (dirid.empty()) dirid = inf.Value(L"DestinationDirs", L"DefaultDestDir");
    std::vector<wstring> fields = SplitList(dirid);
    dirid = fields.empty() ? L"" : fields[0];
    if (dirid == L"66000") return DriverDir(p);
    if (dirid == L"66001") return ProcessorDir(p);
    if (dirid == L"66002" || dirid == L"11") return SystemDir();
    if (dirid == L"10") return WindowsDir();
    Fail(ERROR_INVALID_PARAMETER, L"destination directory id", dirid + L" of " + copySection);
}

// Unidrv's own files, which Windows provides (ntprint.inf's UNIDRV.OEM).
const wchar_t* const kUnidrvFiles[] = {L"UNIDRV.DLL", L"UNIDRVUI.DLL", L"UNIRES.DLL", L"STDNAMES.GPD",
                                       L"UNIDRV.HLP"};

DriverPlan PlanDriver(const Inf& inf, const Platform& p, const wstring& model) {
    DriverPlan plan;
    const wstring section = InstallSectionOf(inf, p, model);
    plan.driverPath = inf.Value(section, L"DriverFile");
    plan.configFile = inf.Value(section, L"ConfigFile");
    plan.helpFile = inf.Value(section, L"HelpFile");
    plan.dataFile = inf.Value(section, L"DataFile");
    if (plan.dataFile.empty()) plan.dataFile = section;
    plan.dataType = inf.Value(section, L"DefaultDataType");
    if (plan.dataType.empty()) plan.dataType = L"RAW";
    plan.monitor = ReadNamedDll(inf, section, L"LanguageMonitor");
    plan.processor = ReadNamedDll(inf, section, L"PrintProcessor");
    if (plan.driverPath.empty()) Fail(ERROR_INVALID_PARAMETER, L"no DriverFile in", section);

    // Driver files are staged in the driver directory, where
    // AddPrinterDriverEx takes them from into its version folder.
    const wstring driverDir = DriverDir(p) + L"\\";
    auto add = [&](const wstring& file, const wstring& copySection) {
        wstring dir = TargetDir(inf, p, copySection) + L"\\";
        plan.copies.push_back({SourceOf(inf, p, file), dir + file, _wcsicmp(dir.c_str(), driverDir.c_str()) == 0,
                               L""});
    };
    for (const wstring& entry : SplitList(inf.Value(section, L"CopyFiles"))) {
        if (entry[0] == L'@') {
            add(entry.substr(1), L"DefaultDestDir");
            continue;
        }
        if (!inf.HasSection(entry)) Fail(kSectionNotFound, L"no file list", entry);
        inf.Lines(entry, [&](INFCONTEXT& line) { add(Inf::Field(line, 1), entry); });
    }
    bool unidrv = false;
    for (const wstring& need : SplitList(inf.Value(section, L"Needs")))
        if (_wcsicmp(need.c_str(), L"UNIDRV.OEM") == 0) unidrv = true;
    if (unidrv) {
        for (const wchar_t* file : kUnidrvFiles) {
            // Windows has Unidrv; Wine has not, so a copy the package
            // carries stands for it when the driver folder lacks one.
            plan.copies.push_back({SourceOf(inf, p, file), driverDir + file, true, driverDir + L"3\\" + file});
        }
    }

    for (const Copy& c : plan.copies) {
        if (!c.staged) continue;
        wstring name = FileName(c.target);
        bool main = false;
        for (const wstring* f : {&plan.driverPath, &plan.configFile, &plan.dataFile, &plan.helpFile})
            if (_wcsicmp(f->c_str(), name.c_str()) == 0) main = true;
        bool listed = false;
        for (const wstring& d : plan.dependent)
            if (_wcsicmp(d.c_str(), name.c_str()) == 0) listed = true;
        if (!main && !listed) plan.dependent.push_back(name);
    }
    return plan;
}

// ---------------------------------------------------------------- changes, undone on failure

class Journal {
public:
    void Add(const wstring& what, std::function<void()> undo) {
        Log(L"done: %ls", what.c_str());
        undo_.push_back({what, std::move(undo)});
    }
    void Commit() { undo_.clear(); }
    ~Journal() {
        for (auto it = undo_.rbegin(); it != undo_.rend(); ++it) {
            Log(L"undo: %ls", it->first.c_str());
            it->second();
        }
    }

private:
    std::vector<std::pair<wstring, std::function<void()>>> undo_;
};

bool Provided(const Copy& c) { return !c.provided.empty() && FileExists(c.provided); }

void CopyIn(Journal& journal, const Copy& c) {
    if (Provided(c)) return;
    bool existed = FileExists(c.target);
    if (!CopyFileW(c.source.c_str(), c.target.c_str(), FALSE))
        Fail(GetLastError(), L"CopyFile", c.source + L" -> " + c.target);
    if (!existed) journal.Add(L"copied " + c.target, [t = c.target] { DeleteFileW(t.c_str()); });
}

void InstallDriver(Journal& journal, const Platform& p, const DriverPlan& plan, const wstring& model) {
    // Nothing changes while a file is missing.
    for (const Copy& c : plan.copies)
        if (!FileExists(c.source) && !Provided(c))
            Fail(ERROR_FILE_NOT_FOUND, L"missing file", c.source);
    for (const Copy& c : plan.copies) CopyIn(journal, c);

    wchar_t* env = const_cast<wchar_t*>(p.environment);
    if (!plan.monitor.name.empty()) {
        MONITOR_INFO_2W info{const_cast<wchar_t*>(plan.monitor.name.c_str()), env,
                             const_cast<wchar_t*>(plan.monitor.dll.c_str())};
        if (AddMonitorW(nullptr, 2, reinterpret_cast<BYTE*>(&info))) {
            journal.Add(L"monitor " + plan.monitor.name, [name = plan.monitor.name, env] {
                DeleteMonitorW(nullptr, env, const_cast<wchar_t*>(name.c_str()));
            });
        } else if (GetLastError() != ERROR_PRINT_MONITOR_ALREADY_INSTALLED) {
            Fail(GetLastError(), L"AddMonitor", plan.monitor.name);
        }
    }
    if (!plan.processor.name.empty()) {
        if (AddPrintProcessorW(nullptr, env, const_cast<wchar_t*>(plan.processor.dll.c_str()),
                               const_cast<wchar_t*>(plan.processor.name.c_str()))) {
            journal.Add(L"print processor " + plan.processor.name, [name = plan.processor.name, env] {
                DeletePrintProcessorW(nullptr, env, const_cast<wchar_t*>(name.c_str()));
            });
        } else if (GetLastError() != ERROR_PRINT_PROCESSOR_ALREADY_INSTALLED) {
            Fail(GetLastError(), L"AddPrintProcessor", plan.processor.name);
        }
    }

    wstring dependent;
    for (const wstring& d : plan.dependent) dependent += d + L'\0';
    dependent += L'\0';
    DRIVER_INFO_3W info{};
    info.cVersion = 3;
    info.pName = const_cast<wchar_t*>(model.c_str());
    info.pEnvironment = env;
    info.pDriverPath = const_cast<wchar_t*>(plan.driverPath.c_str());
    info.pDataFile = const_cast<wchar_t*>(plan.dataFile.c_str());
    info.pConfigFile = const_cast<wchar_t*>(plan.configFile.c_str());
    info.pHelpFile = const_cast<wchar_t*>(plan.helpFile.c_str());
    info.pDependentFiles = const_cast<wchar_t*>(dependent.c_str());
    info.pMonitorName = const_cast<wchar_t*>(plan.monitor.name.c_str());
    info.pDefaultDataType = const_cast<wchar_t*>(plan.dataType.c_str());
    // The spooler copies the staged files into its version folder; the
    // ones it adds there go again with the driver.
    const wstring versionDir = DriverDir(p) + L"\\3\\";
    std::vector<wstring> added;
    for (const Copy& c : plan.copies)
        if (c.staged && !FileExists(versionDir + FileName(c.target))) added.push_back(versionDir + FileName(c.target));
    if (!AddPrinterDriverExW(nullptr, 3, reinterpret_cast<BYTE*>(&info), APD_COPY_NEW_FILES))
        Fail(GetLastError(), L"AddPrinterDriverEx", model);
    journal.Add(L"driver " + model, [model, env, added] {
        DeletePrinterDriverW(nullptr, env, const_cast<wchar_t*>(model.c_str()));
        for (const wstring& f : added) DeleteFileW(f.c_str());
    });
    for (const Copy& c : plan.copies)
        if (c.staged) DeleteFileW(c.target.c_str());
}

void InstallInf(Journal& journal, const Inf& inf) {
    wchar_t oem[MAX_PATH] = {};
    if (SetupCopyOEMInfW(inf.Path().c_str(), nullptr, SPOST_PATH, SP_COPY_NOOVERWRITE, oem, MAX_PATH, nullptr,
                         nullptr)) {
        Log(L"oem INF %ls", oem);
        journal.Add(wstring(L"oem INF ") + oem, [name = FileName(oem)] {
            SetupUninstallOEMInfW(name.c_str(), SUOI_FORCEDELETE, nullptr);
        });
    } else if (GetLastError() == ERROR_FILE_EXISTS) {
        Log(L"oem INF already there: %ls", oem);
    } else {
        Fail(GetLastError(), L"SetupCopyOEMInf", inf.Path());
    }
}

// Windows lets a new printer's driver initialise it (its configuration
// DLL's DrvPrinterEvent with PRINTER_EVENT_INITIALIZE), in the process that
// added the printer.
void InitialisePrinter(HANDLE printer, const wstring& name) {
    DWORD needed = 0;
    GetPrinterDriverW(printer, nullptr, 2, nullptr, 0, &needed);
    std::vector<BYTE> buffer(needed ? needed : 1);
    if (!GetPrinterDriverW(printer, nullptr, 2, buffer.data(), needed, &needed)) return;
    const wchar_t* config = reinterpret_cast<DRIVER_INFO_2W*>(buffer.data())->pConfigFile;
    HMODULE module = config ? LoadLibraryW(config) : nullptr;
    if (!module) {
        Log(L"configuration DLL %ls not loaded (%lu)", config ? config : L"", GetLastError());
        return;
    }
    using Event = BOOL(WINAPI*)(LPWSTR, INT, DWORD, LPARAM);
    auto event = reinterpret_cast<Event>(reinterpret_cast<void*>(GetProcAddress(module, "DrvPrinterEvent")));
    if (event) Log(L"DrvPrinterEvent(INITIALIZE): %d", event(const_cast<wchar_t*>(name.c_str()),
                                                             kPrinterEventInitialize, 0, 0));
    FreeLibrary(module);
}

void InstallPrinter(const Options& o, const wstring& processor, const wstring& dataType) {
    // Windows' AddPrinter refuses an existing name and a port that does not
    // exist; Wine's replaces the printer and takes any port.
    if (PrinterExists(o.name)) Fail(ERROR_PRINTER_ALREADY_EXISTS, L"printer", o.name);
    if (!PortExists(o.port)) Fail(ERROR_UNKNOWN_PORT, L"port", o.port);
    PRINTER_INFO_2W info{};
    info.pPrinterName = const_cast<wchar_t*>(o.name.c_str());
    info.pPortName = const_cast<wchar_t*>(o.port.c_str());
    info.pDriverName = const_cast<wchar_t*>(o.model.c_str());
    info.pPrintProcessor = const_cast<wchar_t*>(processor.c_str());
    info.pDatatype = const_cast<wchar_t*>(dataType.c_str());
    info.Attributes = PRINTER_ATTRIBUTE_LOCAL;
    HANDLE printer = AddPrinterW(nullptr, 2, reinterpret_cast<BYTE*>(&info));
    if (!printer) Fail(GetLastError(), L"AddPrinter", o.name + L" on " + o.port);
    Log(L"printer %ls on %ls", o.name.c_str(), o.port.c_str());
    InitialisePrinter(printer, o.name);
    ClosePrinter(printer);
}

DWORD Run(const wstring& commandLine) {
    Log(L"PrintUIEntry %ls", commandLine.c_str());
    try {
        Options o = Parse(commandLine);
        const Platform p = Native();
        Journal journal;
        wstring processor = L"winprint", dataType = L"RAW";
        bool needDriver = !(o.useInstalled && DriverInstalled(p, o.model));
        if (needDriver || !o.inf.empty()) {
            if (o.inf.empty()) Fail(ERROR_INVALID_PARAMETER, L"no INF (/f)");
            wchar_t full[MAX_PATH] = {};
            if (!GetFullPathNameW(o.inf.c_str(), MAX_PATH, full, nullptr)) Fail(GetLastError(), L"INF path");
            if (!FileExists(full)) Fail(ERROR_FILE_NOT_FOUND, L"INF", full);
            Inf inf(full);
            DriverPlan plan = PlanDriver(inf, p, o.model);
            if (!plan.processor.name.empty()) processor = plan.processor.name;
            dataType = plan.dataType;
            if (needDriver) {
                InstallDriver(journal, p, plan, o.model);
                InstallInf(journal, inf);
            } else {
                Log(L"driver \"%ls\" already installed (/u)", o.model.c_str());
            }
        }
        // The driver stays when the printer cannot be added, as on Windows.
        journal.Commit();
        if (o.installPrinter) InstallPrinter(o, processor, dataType);
        Log(L"done");
        return 0;
    } catch (const Failure& f) {
        return f.code;
    }
}

// The 64-bit printui.dll does the work for a 32-bit rundll32 on 64-bit
// Windows; its result is this one's.
DWORD RunNative(const wstring& commandLine) {
    wstring command = L"\"" + WindowsDir() + L"\\Sysnative\\rundll32.exe\" printui.dll,PrintUIEntry " + commandLine;
    Log(L"under WOW64: %ls", command.c_str());
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    std::vector<wchar_t> buffer(command.begin(), command.end());
    buffer.push_back(0);
    if (!CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        DWORD code = GetLastError();
        Log(L"FAILED CreateProcess (%lu)", code);
        return code;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

}  // namespace

extern "C" __declspec(dllexport) void CALLBACK PrintUIEntryW(HWND, HINSTANCE, LPCWSTR commandLine, int) {
    wstring line = commandLine ? commandLine : L"";
    DWORD code = UnderWow64() ? RunNative(line) : Run(line);
    Log(L"exit %lu", code);
    ExitProcess(code);
}
