// A console check of the Win32 backend against a real (or Wine's) Windows:
// the calls the programs make, through the same seam objects, with their
// results printed. Run on a fresh machine or Wine prefix:
//   Win32Smoke.exe              system queries, registry, files, processes
//   Win32Smoke.exe <distdir>    also registers and removes the driver package
//                               in <distdir> with the spooler (needs admin
//                               rights on Windows; changes the spooler!)
#include <cstdio>
#include <string>

#include "platform/win32/Win32System.h"

using namespace zmp;

namespace {

int g_failures = 0;

void Check(bool ok, const char* what, const std::string& detail = {}) {
    std::printf("%s %-44s %s\n", ok ? "ok  " : "FAIL", what, detail.c_str());
    if (!ok) ++g_failures;
}

std::string Code(Status s) { return "(" + std::to_string(s.code) + ")"; }
std::string Code(Dword d) { return "(" + std::to_string(d) + ")"; }

void SystemQueries(win32::Win32System& sys) {
    SystemInfo& si = sys.system();
    struct { Dword size; const char* name; } versions[] = {
        {sys::kOsVersionInfoExSize, "GetVersionEx OSVERSIONINFOEXA"},
        {sys::kOsVersionInfoSize, "GetVersionEx OSVERSIONINFOA"},
    };
    for (const auto& v : versions) {
        OsVersionInfo info;
        info.size = v.size;
        Status st = si.GetVersionEx(info);
        Check(st.ok() && info.platformId == sys::kVerPlatformWin32Nt, v.name,
              std::to_string(info.majorVersion) + "." + std::to_string(info.minorVersion) + " build " +
                  std::to_string(info.buildNumber) + " platform " + std::to_string(info.platformId) +
                  " product " + std::to_string(info.productType) + " " + Code(st));
    }
    OsVersionInfo bad;
    bad.size = 100;
    Status badSt = si.GetVersionEx(bad);
    Check(!badSt.ok() && si.GetLastError() == badSt.code, "GetVersionEx wrong size fails", Code(badSt));

    bool wow64 = true;
    Check(si.HasIsWow64Process(), "IsWow64Process looked up");
    Status st = si.IsWow64Process(wow64);
    Check(st.ok(), "IsWow64Process", wow64 ? "WOW64" : "not WOW64");

    si.SetLastError(0xDEADBEEF);
    Check(si.GetLastError() == 0xDEADBEEF, "SetLastError/GetLastError");
    std::string text = si.FormatSystemMessage(err::kAccessDenied, sys::kLangEnglishUs);
    Check(!text.empty(), "FormatMessage 5 en-US", text.substr(0, text.find('\r')));
    text = si.FormatSystemMessage(err::kUnknownPrintMonitor, sys::kLangEnglishUs);  // Wine: no text
    Check(true, "FormatMessage 3000 en-US", text.substr(0, text.find('\r')));
    text = si.FormatSystemMessage(34, sys::kLangEnglishUs);  // a text with inserts
    Check(true, "FormatMessage 34 (inserts)", text.substr(0, text.find('\r')));

    FileSystem& fs = sys.files();
    std::string dir;
    Dword n = fs.GetWindowsDirectory(dir, 256);
    Check(n > 0 && n == dir.size(), "GetWindowsDirectory", dir);
    n = fs.GetSystemDirectory(dir, 256);
    Check(n > 0 && n == dir.size(), "GetSystemDirectory", dir);
    n = fs.GetSystemDirectory(dir, 3);
    Check(n > 3 && dir.empty(), "GetSystemDirectory, small buffer", "needs " + std::to_string(n));
    if (fs.HasGetSystemWow64Directory()) {
        n = fs.GetSystemWow64Directory(dir, 256);
        Check(true, "GetSystemWow64Directory", std::to_string(n) + " " + dir);
    }
    n = fs.GetCurrentDirectory(dir, 256);
    Check(n > 0, "GetCurrentDirectory", dir);
    Check(sys.registry().HasRegDeleteKeyEx(), "RegDeleteKeyExA looked up");
    Check(sys.setup().HasUninstallOEMInf(), "SetupUninstallOEMInfA looked up");

    LocalTime t = sys.clock().GetLocalTime();
    Check(t.year >= 2000 && t.month >= 1 && t.month <= 12, "GetLocalTime",
          std::to_string(t.hour) + ":" + std::to_string(t.minute) + ":" + std::to_string(t.second));
}

void SpoolerQueries(win32::Win32System& sys) {
    Spooler& sp = sys.spooler();
    std::vector<PrinterInfo2> printers;
    Status st = sp.EnumPrinters(spool::kPrinterEnumLocal, printers);
    Check(st.ok(), "EnumPrinters local level 2", std::to_string(printers.size()) + " " + Code(st));
    for (const PrinterInfo2& p : printers) std::printf("       printer '%s' driver '%s' port '%s'\n",
                                                       p.printerName.c_str(), p.driverName.c_str(),
                                                       p.portName.c_str());
    for (Dword level : {3u, 4u}) {
        std::vector<DriverInfo3> drivers;
        st = sp.EnumPrinterDrivers(std::nullopt, level, drivers);
        Check(st.ok(), level == 3 ? "EnumPrinterDrivers level 3" : "EnumPrinterDrivers level 4",
              std::to_string(drivers.size()) + " " + Code(st));
        for (const DriverInfo3& d : drivers)
            std::printf("       driver '%s' env '%s' files %u\n", d.name.c_str(), d.environment.c_str(),
                        static_cast<unsigned>(d.dependentFiles.size()));
    }
    std::vector<std::string> names;
    st = sp.EnumPrintProcessors(names);
    Check(st.ok(), "EnumPrintProcessors", std::to_string(names.size()) + " " + Code(st));
    for (const std::string& name : names) std::printf("       processor '%s'\n", name.c_str());
    for (const char* env : {"Windows NT x86", "Windows x64"}) {
        st = sp.EnumPrintProcessorsFor(env, names);
        Check(true, env, "EnumPrintProcessors " + std::to_string(names.size()) + " " + Code(st));
    }

    PrinterHandle server = PrinterHandle::None;
    st = sp.OpenPrinter(std::nullopt, std::nullopt, server);
    Check(st.ok(), "OpenPrinter(NULL) print server", Code(st));
    if (st.ok()) {
        st = sp.EnumForms(server, names);
        Check(st.ok() && !names.empty(), "EnumForms level 1",
              std::to_string(names.size()) + (names.empty() ? "" : " first '" + names[0] + "'") + " " + Code(st));
        Check(sp.ClosePrinter(server).ok(), "ClosePrinter");
    }
    PrinterHandle none = PrinterHandle::None;
    st = sp.OpenPrinter(std::string("No Such Printer ZMP"), std::nullopt, none);
    Check(!st.ok() && sys.system().GetLastError() == st.code, "OpenPrinter unknown printer fails", Code(st));
    st = sp.DeleteMonitor("No Such Monitor ZMP");
    Check(st.code == err::kUnknownPrintMonitor, "DeleteMonitor unknown -> 3000", Code(st));
    std::string path;
    st = sp.GetPrinterDriverDirectory(path);
    Check(st.ok(), "GetPrinterDriverDirectory", path + " " + Code(st));
    st = sp.GetPrintProcessorDirectory(path);
    Check(st.ok(), "GetPrintProcessorDirectory", path + " " + Code(st));

    PrinterDefaults admin;
    admin.desiredAccess = spool::kServerAccessAdminister;
    PrinterHandle xcv = PrinterHandle::None;
    st = sp.OpenPrinter(std::string(",XcvMonitor Standard TCP/IP Port"), admin, xcv);
    Check(true, "OpenPrinter XcvMonitor Standard TCP/IP Port", Code(st));
    if (st.ok()) {
        XcvResult r = sp.XcvData(xcv, u"AddPort", std::vector<std::uint8_t>(964, 0), 964);
        Check(true, "XcvDataW AddPort (empty record)", Code(r.call) + " status " + std::to_string(r.monitorStatus));
        sp.ClosePrinter(xcv);
    }
}

void SetupQueries(win32::Win32System& sys) {
    SetupApi& su = sys.setup();
    std::vector<std::string> infs;
    Status st = su.GetInfFileList(setup::kInfStyleWin4, infs);
    Check(st.ok(), "SetupGetInfFileList WIN4", std::to_string(infs.size()) + " " + Code(st));
    DevInfoSet set = DevInfoSet::None;
    st = su.GetClassDevs("USB", setup::kDigcfAllClasses, set);
    Check(st.ok(), "SetupDiGetClassDevs USB all classes", Code(st));
    if (st.ok()) {
        Dword index = 0;
        for (;; ++index) {
            DevInfoData data;
            st = su.EnumDeviceInfo(set, index, data);
            if (!st.ok()) break;
            std::vector<char> ids;
            Status p = su.GetDeviceRegistryProperty(set, data, setup::kSpdrpHardwareId, 100, ids);
            std::printf("       device %u: %s %s\n", static_cast<unsigned>(index),
                        p.ok() ? ids.data() : "(no hardware id)", Code(p).c_str());
        }
        Check(st.code == err::kNoMoreItems, "SetupDiEnumDeviceInfo ends with 259",
              std::to_string(index) + " devices " + Code(st));
        Check(su.DestroyDeviceInfoList(set).ok(), "SetupDiDestroyDeviceInfoList");
    }
    InfHandle inf = InfHandle::None;
    st = su.OpenInfFile("no-such-file-zmp.inf", setup::kInfStyleOldNt | setup::kInfStyleWin4, inf);
    Check(!st.ok(), "SetupOpenInfFile missing file fails", Code(st));
}

void RegistryAndFiles(win32::Win32System& sys) {
    Registry& reg = sys.registry();
    const std::string key = "Software\\ZMP-K40 Smoke\\Child";
    RegKey k = RegKey::None;
    RegKey hkcu = reg.Root(RegRoot::CurrentUser);
    Dword r = reg.CreateKey(hkcu, key, reg::kRegOptionNonVolatile, reg::kKeyWrite | reg::kReadControl | reg::kWriteDac, k);
    Check(r == 0, "RegCreateKeyEx HKCU", Code(r));
    if (r == 0) {
        Check(reg.SetStringValue(k, "DisplayName", "KORVANT ZMP-K40 Windows Driver V2.0.6") == 0, "RegSetValueEx REG_SZ");
        std::string value;
        r = reg.QueryStringValue(k, "DisplayName", 256, value);
        Check(r == 0 && value == "KORVANT ZMP-K40 Windows Driver V2.0.6", "RegQueryValueEx REG_SZ", value);
        r = reg.QueryStringValue(k, "DisplayName", 8, value);
        Check(r == err::kMoreData, "RegQueryValueEx small buffer -> 234", Code(r));
        r = reg.QueryStringValue(k, "No Such Value", 256, value);
        Check(r == err::kFileNotFound, "RegQueryValueEx missing -> 2", Code(r));
        AclRef dacl = AclRef::None;
        SecurityDescriptorRef sd = SecurityDescriptorRef::None;
        r = reg.GetKeyDacl(k, dacl, sd);
        Check(r == 0, "GetSecurityInfo DACL", Code(r));
        ExplicitAccess ea;
        ea.permissions = reg::kKeyAllAccess;
        ea.mode = sec::kGrantAccess;
        ea.inheritance = sec::kSubContainersOnlyInherit;
        ea.trusteeForm = sec::kTrusteeIsName;
        ea.trusteeName = "Everyone";
        AclRef merged = AclRef::None;
        r = reg.SetEntriesInAcl(ea, dacl, merged);
        Check(r == 0, "SetEntriesInAcl Everyone by name", Code(r));
        if (r == 0) {
            r = reg.SetKeyDacl(k, merged);
            Check(r == 0, "SetSecurityInfo DACL", Code(r));
            reg.LocalFreeAcl(merged);
        }
        ea.trusteeName = "No Such Account ZMP";
        r = reg.SetEntriesInAcl(ea, dacl, merged);
        Check(r != 0, "SetEntriesInAcl unknown name fails", Code(r));  // Windows 1332, Wine 87
        reg.LocalFreeDescriptor(sd);
        reg.CloseKey(k);
    }
    RegKey parent = RegKey::None;
    r = reg.OpenKey(hkcu, "Software\\ZMP-K40 Smoke", reg::kKeyRead, parent);
    if (r == 0) {
        std::string name;
        r = reg.EnumKey(parent, 0, name);
        Check(r == 0 && name == "Child", "RegEnumKeyEx first subkey", name + " " + Code(r));
        r = reg.EnumKey(parent, 1, name);
        Check(r == err::kNoMoreItems, "RegEnumKeyEx past the last -> 259", Code(r));
        reg.CloseKey(parent);
    }
    {
        AclRef dacl = AclRef::None;
        SecurityDescriptorRef sd = SecurityDescriptorRef::None;
        r = reg.GetNamedKeyDacl(RegRoot::CurrentUser, "Software\\ZMP-K40 Smoke\\Child", dacl, sd);
        Check(r == 0, "GetNamedSecurityInfo CURRENT_USER key", Code(r));
        if (r == 0) {
            r = reg.SetNamedKeyDacl(RegRoot::CurrentUser, "Software\\ZMP-K40 Smoke\\Child", dacl);
            Check(r == 0, "SetNamedSecurityInfo the same DACL", Code(r));
            reg.LocalFreeDescriptor(sd);
        }
    }
    for (auto account : {sec::WellKnownSid::World, sec::WellKnownSid::LocalSystem,
                         sec::WellKnownSid::BuiltinAdministrators, sec::WellKnownSid::BuiltinUsers}) {
        SidRef sid = SidRef::None;
        Status allocated = reg.AllocateWellKnownSid(account, sid);
        Check(allocated.ok(), "AllocateAndInitializeSid well-known", Code(allocated));
        if (allocated.ok()) reg.FreeSid(sid);
    }
    r = reg.RegDeleteKeyEx(hkcu, "Software\\ZMP-K40 Smoke", reg::kKeyWow64_64Key, 0);
    Check(r != 0, "RegDeleteKeyEx refuses a key with subkeys", Code(r));
    r = reg.ShDeleteKey(hkcu, "Software\\ZMP-K40 Smoke");
    Check(r == 0, "SHDeleteKey deletes the tree", Code(r));
    RegKey gone = RegKey::None;
    r = reg.OpenKey(hkcu, "Software\\ZMP-K40 Smoke", reg::kKeyRead, gone);
    Check(r == err::kFileNotFound, "RegOpenKeyEx of the deleted key -> 2", Code(r));

    FileSystem& fs = sys.files();
    std::string temp;
    fs.GetWindowsDirectory(temp, 256);
    temp = temp.substr(0, 3) + "ZMP-K40 Smoke";
    SidRef everyone = SidRef::None;
    Status st = reg.AllocateWellKnownSid(sec::WellKnownSid::World, everyone);
    Check(st.ok(), "AllocateAndInitializeSid Everyone", Code(st));
    ExplicitAccess full;
    full.permissions = sec::kGenericAll;
    full.mode = sec::kSetAccess;
    full.inheritance = sec::kSubContainersAndObjectsInherit;
    full.trusteeForm = sec::kTrusteeIsSid;
    full.trusteeType = sec::kTrusteeIsWellKnownGroup;
    full.trusteeSid = everyone;
    AclRef acl = AclRef::None;
    r = reg.SetEntriesInAcl(full, AclRef::None, acl);
    Check(r == 0, "SetEntriesInAcl Everyone by SID", Code(r));
    Check(fs.CharPrev("C:\\Temp\\", 8) == 7, "CharPrevA before the last byte");
    DirectorySecurity security{acl, true};
    st = fs.CreateDirectory(temp, &security);
    Check(st.ok() || st.code == err::kAlreadyExists, "CreateDirectory with a DACL", temp + " " + Code(st));
    st = fs.CreateDirectory(temp, &security);
    Check(st.code == err::kAlreadyExists, "CreateDirectory again -> 183", Code(st));
    reg.LocalFreeAcl(acl);
    reg.FreeSid(everyone);

    const std::string ini = temp + "\\ZMPK40_Config.KVT";
    FileHandle f = FileHandle::None;
    st = fs.OpenForAppend(ini, f);
    Check(st.ok(), "CreateFile OPEN_ALWAYS", Code(st));
    const char text[] = "[ZMPK40]\r\nPORTDLG=FALSE\r\nPORT=\r\n";
    Check(fs.WriteFile(f, text, sizeof text - 1).ok(), "WriteFile");
    fs.CloseFile(f);
    std::string value;
    Dword copied = fs.GetPrivateProfileString("zmpk40", "portdlg", 256, ini, value);
    Check(copied == 5 && value == "FALSE", "GetPrivateProfileString", value);
    copied = fs.GetPrivateProfileString("ZMPK40", "PORT", 256, ini, value);
    Check(copied == 0 && value.empty(), "GetPrivateProfileString empty value -> 0");
    copied = fs.GetPrivateProfileString("ZMPK40", "PORTDLG", 3, ini, value);
    Check(copied == 2 && value == "FA", "GetPrivateProfileString cut to buffer", value);

    st = fs.CopyFile(ini, temp + "\\copy.KVT", true);
    Check(st.ok(), "CopyFile", Code(st));
    st = fs.CopyFile(ini, temp + "\\copy.KVT", true);
    Check(st.code == err::kFileExists, "CopyFile failIfExists -> 80", Code(st));
    Check(fs.Rename(temp + "\\copy.KVT", temp + "\\copy.KVT.old") == 0, "rename");
    Check(fs.SetFileAttributes(temp + "\\copy.KVT.old", file::kAttributeReadOnly).ok(), "SetFileAttributes read-only");
    st = fs.DeleteFile(temp + "\\copy.KVT.old");
    Check(st.code == err::kAccessDenied, "DeleteFile read-only -> 5", Code(st));
    fs.SetFileAttributes(temp + "\\copy.KVT.old", file::kAttributeNormal);
    FindHandle h = FindHandle::None;
    FindData fd;
    int entries = 0;
    for (st = fs.FindFirstFile(temp + "\\*.*", h, fd); st.ok(); st = fs.FindNextFile(h, fd)) ++entries;
    Check(st.code == err::kNoMoreFiles && entries == 4, "FindFirstFile/FindNextFile", std::to_string(entries) + " entries " + Code(st));
    fs.FindClose(h);
    Check(fs.DeleteFile(temp + "\\copy.KVT.old").ok() && fs.DeleteFile(ini).ok(), "DeleteFile");
    Check(fs.RemoveDirectory(temp).ok(), "RemoveDirectory");
    Check(fs.GetFileAttributes(temp) == file::kInvalidFileAttributes, "GetFileAttributes of a removed directory");

    Processes& ps = sys.processes();
    StartupInfo si;
    si.flags = proc::kStartfUseShowWindow | proc::kStartfForceOnFeedback;
    si.showWindow = proc::kSwHide;
    ProcessInformation pi;
    st = ps.CreateProcess("", "cmd.exe /c exit 3", proc::kNormalPriorityClass, "", si, pi);
    Check(st.ok(), "CreateProcess cmd /c exit 3", Code(st));
    if (st.ok()) {
        Check(ps.WaitForSingleObject(pi.process, 120000) == proc::kWaitObject0, "WaitForSingleObject");
        ps.CloseHandle(pi.thread);
        ps.CloseHandle(pi.process);
    }
    st = ps.CreateProcess("", "no-such-program-zmp.exe", proc::kNormalPriorityClass, "", si, pi);
    Check(st.code == err::kFileNotFound, "CreateProcess missing program -> 2", Code(st));
    Check(ps.WinExec("cmd.exe /c exit 0", proc::kSwHide) > 31, "WinExec");

    TokenHandle token = TokenHandle::None;
    st = sys.power().OpenProcessToken(power::kTokenAdjustPrivileges | power::kTokenQuery, token);
    Check(st.ok(), "OpenProcessToken", Code(st));
    Luid luid;
    st = sys.power().LookupPrivilegeValue("SeShutdownPrivilege", luid);
    Check(st.ok() && luid.lowPart != 0, "LookupPrivilegeValue SeShutdownPrivilege", std::to_string(luid.lowPart));
}

// The registration sequence of the pre-Vista install path and the removal,
// with the package in distDir.
void DriverRoundTrip(win32::Win32System& sys, const std::string& distDir) {
    Spooler& sp = sys.spooler();
    FileSystem& fs = sys.files();
    bool is64 = sizeof(void*) == 8;
    const std::string env = is64 ? "Windows x64" : "Windows NT x86";
    const std::string src = distDir + (is64 ? "\\Driver64\\" : "\\Driver32\\");
    std::string driverDir, procDir, sysDir;
    sp.GetPrinterDriverDirectory(driverDir);
    sp.GetPrintProcessorDirectory(procDir);
    fs.GetSystemDirectory(sysDir, 256);

    for (const char* f : {"UNIDRV.DLL", "UNIDRVUI.DLL", "UNIDRV.HLP", "UNIRES.DLL", "STDNAMES.GPD",
                          "ZMP40.dll", "ZPUI40.dll", "ZPUNI40.dll", "ZPUI40.INI", "ZMP40.GPD"}) {
        Status st = fs.CopyFile(src + f, driverDir + "\\" + f, false);
        if (!st.ok()) Check(false, "CopyFile to the driver directory", f + Code(st));
    }
    Status st = fs.CopyFile(src + "ZPMON40.dll", sysDir + "\\ZPMON40.dll", false);
    Check(st.ok(), "CopyFile monitor DLL to the system directory", Code(st));
    st = sp.AddMonitor(MonitorInfo2{"KVT Language Monitor ZMP-K40", env, "ZPMON40.dll"});
    Check(st.ok() || st.code == err::kPrintMonitorAlreadyInstalled, "AddMonitor (InitializePrintMonitor2)", Code(st));
    st = fs.CopyFile(src + "ZPPRO40.dll", procDir + "\\ZPPRO40.dll", false);
    Check(st.ok(), "CopyFile processor DLL", Code(st));
    st = sp.AddPrintProcessor(env, "ZPPRO40.dll", "KVT PRINT PROCESSOR ZMP-K40");
    Check(st.ok(), "AddPrintProcessor", Code(st));

    DriverInfo3 di;
    di.version = 3;
    di.name = "KORVANT ZMP-K40";
    di.environment = env;
    di.driverPath = "UNIDRV.DLL";
    di.dataFile = "ZMP40.GPD";
    di.configFile = "UNIDRVUI.DLL";
    di.helpFile = "UNIDRV.HLP";
    di.dependentFiles = {"UNIRES.DLL", "STDNAMES.GPD", "ZMP40.DLL", "ZPUI40.DLL", "ZPUNI40.DLL", "ZPUI40.INI"};
    di.monitorName = "KVT Language Monitor ZMP-K40";
    di.defaultDataType = "RAW";
    st = sp.AddPrinterDriver(di);
    Check(st.ok(), "AddPrinterDriver level 3", Code(st));

    std::vector<DriverInfo3> drivers;
    sp.EnumPrinterDrivers(std::nullopt, 3, drivers);
    bool found = false;
    for (const DriverInfo3& d : drivers)
        if (d.name == di.name) {
            found = true;
            std::printf("       driver '%s' monitor '%s' dependent files %u\n", d.name.c_str(),
                        d.monitorName.c_str(), static_cast<unsigned>(d.dependentFiles.size()));
        }
    Check(found, "EnumPrinterDrivers lists the driver");

    PrinterInfo2 pi;
    pi.printerName = "KORVANT ZMP-K40";
    pi.portName = "COM1:";
    pi.driverName = "KORVANT ZMP-K40";
    pi.printProcessor = "KVT PRINT PROCESSOR ZMP-K40";
    pi.datatype = "RAW";
    pi.attributes = spool::kPrinterAttributeEnableBidi | spool::kPrinterAttributeRawOnly;
    pi.priority = 1;
    pi.status = spool::kPrinterStatusOffline;
    PrinterHandle printer = PrinterHandle::None;
    st = sp.AddPrinter(pi, printer);
    Check(st.ok(), "AddPrinter level 2 on COM1:", Code(st));
    if (st.ok()) sp.ClosePrinter(printer);

    PrinterDefaults all;
    all.datatype = std::string("RAW");
    all.desiredAccess = spool::kPrinterAllAccess;
    st = sp.OpenPrinter(pi.printerName, all, printer);
    Check(st.ok(), "OpenPrinter the new printer, all access", Code(st));
    if (st.ok()) {
        Dword major = 0;
        Dword r = sp.GetPrinterDataDword(printer, "MajorVersion", major);
        Check(true, "GetPrinterData MajorVersion", Code(r) + " value " + std::to_string(major));
        std::vector<JobInfo3> jobs;
        st = sp.EnumJobs(printer, 0, 1000, 3, jobs);
        Check(true, "EnumJobs level 3", std::to_string(jobs.size()) + " " + Code(st));  // a stub in Wine
        st = sp.DeletePrinter(printer);
        Check(st.ok(), "DeletePrinter", Code(st));
        sp.ClosePrinter(printer);
    }
    st = sp.DeletePrinterDriverEx(di.name, spool::kDpdDeleteUnusedFiles, 3);
    Check(true, "DeletePrinterDriverEx unused files, version 3", Code(st));
    st = sp.DeleteMonitor("KVT Language Monitor ZMP-K40");
    Check(st.ok(), "DeleteMonitor", Code(st));
    st = sp.DeletePrintProcessor("KVT PRINT PROCESSOR ZMP-K40");
    Check(st.ok(), "DeletePrintProcessor", Code(st));

    // The INF as an oem INF, found again by its model line, and removed.
    SetupApi& su = sys.setup();
    std::string oem;
    st = su.CopyOEMInf(distDir + "\\ZMPK40.inf", setup::kSpostPath, setup::kSpCopyNoOverwrite, oem);
    Check(st.ok(), "SetupCopyOEMInf", oem + " " + Code(st));
    st = su.CopyOEMInf(distDir + "\\ZMPK40.inf", setup::kSpostPath, setup::kSpCopyNoOverwrite, oem);
    Check(st.code == err::kFileExists, "SetupCopyOEMInf again -> 80", oem + " " + Code(st));
    st = su.CopyOEMInf(distDir + "\\ZMPK40.inf", setup::kSpostPath, setup::kSpCopyReplaceOnly, oem);
    Check(st.ok(), "SetupCopyOEMInf replace only", oem + " " + Code(st));
    std::vector<std::string> infs;
    su.GetInfFileList(setup::kInfStyleWin4, infs);
    int matches = 0;
    for (const std::string& name : infs) {
        if (name.compare(0, 3, "oem") != 0) continue;
        InfHandle inf = InfHandle::None;
        if (!su.OpenInfFile(name, setup::kInfStyleOldNt | setup::kInfStyleWin4, inf).ok()) continue;
        if (su.FindFirstLine(inf, is64 ? "KORVANT.NTamd64" : "KORVANT", "KORVANT ZMP-K40")) {
            ++matches;
            st = su.UninstallOEMInf(name, setup::kSuoiForceDelete);
            Check(st.ok(), "SetupUninstallOEMInf", name + " " + Code(st));
        }
        su.CloseInfFile(inf);
    }
    // Wine lists no INF files, so there the search finds nothing.
    Check(matches == 1 || infs.empty(), "oem INF found by its model line",
          std::to_string(matches) + " of " + std::to_string(infs.size()));
    if (matches == 0 && !oem.empty()) {
        std::string name = oem.substr(oem.find_last_of('\\') + 1);
        st = su.UninstallOEMInf(name, setup::kSuoiForceDelete);
        Check(st.ok(), "SetupUninstallOEMInf", name + " " + Code(st));
    }
}

}  // namespace

// The Windows libraries that are not in the import table, from the system
// directory by full path, as the programs load them at their start.
void LoadLibraries(win32::Win32System& sys) {
    std::string systemDir;
    sys.files().GetSystemDirectory(systemDir, 260);
    for (const char* name : {"winspool.drv", "setupapi.dll", "comctl32.dll", "shlwapi.dll"}) {
        const std::string path = systemDir + "\\" + name;
        Status st = sys.modules().LoadLibrary(path);
        Check(st.ok(), (std::string("LoadLibrary ") + name).c_str(), path + " " + Code(st));
    }
    Status missing = sys.modules().LoadLibrary(systemDir + "\\no-such-library-zmp.dll");
    Check(missing.code == err::kModNotFound, "LoadLibrary missing library -> 126", Code(missing));
}

int main(int argc, char** argv) {
    win32::Win32System sys;
    LoadLibraries(sys);
    SystemQueries(sys);
    SpoolerQueries(sys);
    SetupQueries(sys);
    RegistryAndFiles(sys);
    if (argc > 1) DriverRoundTrip(sys, argv[1]);
    std::printf("%d failure(s)\n", g_failures);
    return g_failures == 0 ? 0 : 1;
}
