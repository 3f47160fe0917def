// Files and directories as kernel32 answers them.
#include "simulator/Text.h"
#include "tests/simulator/SimFixture.h"

namespace zmp::sim::test {
namespace {

TEST(SimFiles, ErrorCodesOfFileCalls) {
    Sim sim;
    Machine& m = *sim.machine;
    m.WriteFile("C:\\Data\\file.txt", "x");
    m.WriteFile("C:\\Data\\ro.txt", "x");
    m.SetAttributes("C:\\Data\\ro.txt", file::kAttributeReadOnly);
    m.WriteFile("C:\\Data\\Full\\inner.txt", "x");
    FileSystem& fs = sim.sys.files;

    struct Case {
        const char* what;
        std::function<Status()> call;
        Dword code;
    } cases[] = {
        {"delete missing file", [&] { return fs.DeleteFile("C:\\Data\\none.txt"); }, err::kFileNotFound},
        {"delete in missing dir", [&] { return fs.DeleteFile("C:\\Nowhere\\none.txt"); }, err::kPathNotFound},
        {"delete read-only", [&] { return fs.DeleteFile("C:\\Data\\ro.txt"); }, err::kAccessDenied},
        {"delete a directory", [&] { return fs.DeleteFile("C:\\Data\\Full"); }, err::kAccessDenied},
        {"copy missing source", [&] { return fs.CopyFile("C:\\Data\\none", "C:\\Data\\b", false); }, err::kFileNotFound},
        {"copy onto existing, fail-if-exists", [&] { return fs.CopyFile("C:\\Data\\file.txt", "C:\\Data\\ro.txt", true); },
         err::kFileExists},
        {"copy over read-only", [&] { return fs.CopyFile("C:\\Data\\file.txt", "C:\\Data\\ro.txt", false); },
         err::kAccessDenied},
        {"copy into missing dir", [&] { return fs.CopyFile("C:\\Data\\file.txt", "C:\\No\\x", false); },
         err::kPathNotFound},
        {"create existing dir", [&] { return fs.CreateDirectory("C:\\Data", nullptr); }, err::kAlreadyExists},
        {"create below missing dir", [&] { return fs.CreateDirectory("C:\\No\\Sub", nullptr); }, err::kPathNotFound},
        {"remove non-empty dir", [&] { return fs.RemoveDirectory("C:\\Data\\Full"); }, err::kDirNotEmpty},
        {"remove missing dir", [&] { return fs.RemoveDirectory("C:\\Data\\None"); }, err::kFileNotFound},
        {"remove a file as dir", [&] { return fs.RemoveDirectory("C:\\Data\\file.txt"); }, 267},
        {"remove current directory", [&] { return fs.RemoveDirectory("C:\\Package"); }, err::kSharingViolation},
        {"attributes of missing", [&] { return fs.SetFileAttributes("C:\\Data\\none", 0); }, err::kFileNotFound},
    };
    m.MakeDirectory("C:\\Package");
    for (const Case& c : cases) {
        sim.Magic();
        Status status = c.call();
        EXPECT_EQ(status.code, c.code) << c.what;
        EXPECT_EQ(sim.LastError(), c.code) << c.what;
    }
    EXPECT_TRUE(m.FileExists("C:\\Data\\ro.txt"));
}

TEST(SimFiles, PathsAreCaseInsensitiveAndAcceptDoubledSeparators) {
    Sim sim;
    sim.machine->WriteFile("C:\\Temp\\Log.txt", "line");
    FileSystem& fs = sim.sys.files;
    for (const char* path : {"c:\\temp\\LOG.TXT", "C:\\\\Temp\\Log.txt", "C:/Temp/log.txt", "C:\\Temp\\.\\x\\..\\Log.txt"})
        EXPECT_EQ(fs.GetFileAttributes(path), file::kAttributeArchive) << path;
    sim.Magic();
    EXPECT_EQ(fs.GetFileAttributes("C:\\Temp\\none.txt"), file::kInvalidFileAttributes);
    EXPECT_EQ(sim.LastError(), err::kFileNotFound);
    EXPECT_EQ(fs.GetFileAttributes("C:\\Temp"), file::kAttributeDirectory);
}

TEST(SimFiles, FilesHeldByTheSpoolerCanBeRenamedButNotDeletedOrOverwritten) {
    Sim sim;
    Machine& m = *sim.machine;
    std::string dll = m.SystemDirectory() + "\\ZPMON40.dll";
    m.WriteFile(dll, "old");
    m.WriteFile("C:\\Package\\ZPMON40.dll", "new");
    m.AddMonitorRecord({"KVT Language Monitor ZMP-K40", "", "ZPMON40.dll"});
    ASSERT_TRUE(m.IsHeld(dll));
    FileSystem& fs = sim.sys.files;

    sim.Magic();
    EXPECT_EQ(fs.DeleteFile(dll).code, err::kAccessDenied);
    EXPECT_EQ(sim.LastError(), err::kAccessDenied);
    sim.Magic();
    EXPECT_EQ(fs.CopyFile("C:\\Package\\ZPMON40.dll", dll, false).code, err::kSharingViolation);
    EXPECT_EQ(sim.LastError(), err::kSharingViolation);

    // The ".old" move: the loaded DLL keeps its handle under the new name.
    EXPECT_EQ(fs.Rename(dll, dll + ".old"), 0);
    EXPECT_TRUE(m.IsHeld(dll + ".old"));
    EXPECT_TRUE(fs.CopyFile("C:\\Package\\ZPMON40.dll", dll, false).ok());
    EXPECT_EQ(*m.ReadFile(dll), "new");
    EXPECT_EQ(fs.DeleteFile(dll + ".old").code, err::kAccessDenied);

    // The spooler, once stopped, lets everything go.
    sim.sys.processes.WinExec("net stop spooler", proc::kSwHide);
    EXPECT_EQ(fs.DeleteFile(dll + ".old").code, err::kAccessDenied);  // still stopping
    sim.sys.clock.Sleep(sim.machine->ModelSwitches().spoolerStopMs);
    EXPECT_TRUE(fs.DeleteFile(dll + ".old").ok());
}

TEST(SimFiles, RenameFailsWhenTheTargetExists) {
    Sim sim;
    sim.machine->WriteFile("C:\\A\\a.txt", "a");
    sim.machine->WriteFile("C:\\A\\b.txt", "b");
    sim.Magic();
    EXPECT_EQ(sim.sys.files.Rename("C:\\A\\a.txt", "C:\\A\\b.txt"), -1);
    EXPECT_EQ(sim.LastError(), err::kAlreadyExists);
    sim.Magic();
    EXPECT_EQ(sim.sys.files.Rename("C:\\A\\none.txt", "C:\\A\\c.txt"), -1);
    EXPECT_EQ(sim.LastError(), err::kFileNotFound);
    EXPECT_EQ(*sim.machine->ReadFile("C:\\A\\b.txt"), "b");
}

TEST(SimFiles, FindFirstAndNextListDotsThenEntriesInNameOrder) {
    Sim sim;
    Machine& m = *sim.machine;
    m.WriteFile("C:\\Dir\\b.inf", "");
    m.WriteFile("C:\\Dir\\A.txt", "");
    m.MakeDirectory("C:\\Dir\\Sub");
    m.MakeDirectory("C:\\Empty");
    FileSystem& fs = sim.sys.files;

    FindHandle h;
    FindData d;
    std::vector<std::string> names;
    ASSERT_TRUE(fs.FindFirstFile("C:\\Dir\\*.*", h, d).ok());
    names.push_back(d.fileName);
    while (fs.FindNextFile(h, d).ok()) names.push_back(d.fileName);
    EXPECT_EQ(sim.LastError(), err::kNoMoreFiles);
    fs.FindClose(h);
    EXPECT_EQ(names, (std::vector<std::string>{".", "..", "A.txt", "b.inf", "Sub"}));

    ASSERT_TRUE(fs.FindFirstFile("C:\\Dir\\*.INF", h, d).ok());
    EXPECT_EQ(d.fileName, "b.inf");
    EXPECT_EQ(fs.FindNextFile(h, d).code, err::kNoMoreFiles);
    fs.FindClose(h);

    struct Case {
        const char* pattern;
        Dword code;
    } failures[] = {{"C:\\Dir\\*.dll", err::kFileNotFound},
                    {"C:\\Missing\\*.*", err::kPathNotFound},
                    {"C:\\Dir\\b.inf\\*.*", err::kPathNotFound}};
    for (const Case& c : failures) {
        sim.Magic();
        EXPECT_EQ(fs.FindFirstFile(c.pattern, h, d).code, c.code) << c.pattern;
        EXPECT_EQ(sim.LastError(), c.code) << c.pattern;
        EXPECT_EQ(h, FindHandle::None);
    }
    // An empty directory still has its dots; the root has none.
    ASSERT_TRUE(fs.FindFirstFile("C:\\Empty\\*.*", h, d).ok());
    EXPECT_EQ(d.fileName, ".");
}

TEST(SimFiles, JunctionIsAReparsePointThatRemoveDirectoryTakesAlone) {
    Sim sim;
    Machine& m = *sim.machine;
    m.WriteFile("C:\\Target\\keep.txt", "x");
    m.MakeJunction("C:\\Tree\\Link", "C:\\Target");
    FileSystem& fs = sim.sys.files;
    EXPECT_EQ(fs.GetFileAttributes("C:\\Tree\\Link"), file::kAttributeDirectory | file::kAttributeReparsePoint);
    EXPECT_EQ(fs.GetFileAttributes("C:\\Tree\\Link\\keep.txt"), file::kAttributeArchive);
    EXPECT_TRUE(fs.RemoveDirectory("C:\\Tree\\Link").ok());
    EXPECT_TRUE(m.FileExists("C:\\Target\\keep.txt"));
}

TEST(SimFiles, CreateDirectoryKeepsTheGivenDacl) {
    Sim sim;
    Registry& reg = sim.sys.registry;
    SidRef everyone;
    ASSERT_TRUE(reg.AllocateWellKnownSid(sec::WellKnownSid::World, everyone).ok());
    ExplicitAccess entry;
    entry.permissions = sec::kGenericAll;
    entry.mode = sec::kSetAccess;
    entry.inheritance = sec::kSubContainersAndObjectsInherit;
    entry.trusteeForm = sec::kTrusteeIsSid;
    entry.trusteeSid = everyone;
    AclRef acl;
    ASSERT_EQ(reg.SetEntriesInAcl(entry, AclRef::None, acl), err::kSuccess);
    DirectorySecurity security{acl, true};
    ASSERT_TRUE(sim.sys.files.CreateDirectory("C:\\Windows\\ZMP-K40", &security).ok());
    std::vector<AceEntry> dacl = sim.machine->DirectoryAcl("C:\\Windows\\ZMP-K40");
    ASSERT_EQ(dacl.size(), 1u);
    EXPECT_EQ(dacl[0].trustee, "Everyone");
    EXPECT_EQ(dacl[0].mask, sec::kGenericAll);
    EXPECT_EQ(dacl[0].inheritance, sec::kSubContainersAndObjectsInherit);
}

TEST(SimFiles, PrivateProfileStringReadsAsWindowsDoes) {
    Sim sim;
    sim.machine->WriteFile("C:\\Package\\ZMPK40_Config.KVT",
                           "; comment\r\n[zmpk40]\r\n  PortDlg =  FALSE  \r\nPORT=\"USB\"\r\nEMPTY=\r\n"
                           "LONG=0123456789\r\n[Other]\r\nWLAN_PORT=515\r\n");
    struct Case {
        const char* section;
        const char* key;
        Dword size;
        const char* expected;
        Dword lastError;
    } cases[] = {
        {"ZMPK40", "PORTDLG", 256, "FALSE", 0},
        {"ZMPK40", "port", 256, "USB", 0},
        {"ZMPK40", "LONG", 5, "0123", 0},
        {"ZMPK40", "EMPTY", 256, "", 0},
        {"ZMPK40", "WLAN_PORT", 256, "", err::kFileNotFound},
        {"Missing", "PORT", 256, "", err::kFileNotFound},
    };
    for (const Case& c : cases) {
        std::string out;
        sim.Magic();
        Dword n = sim.sys.files.GetPrivateProfileString(c.section, c.key, c.size, "C:\\Package\\ZMPK40_Config.KVT", out);
        EXPECT_EQ(out, c.expected) << c.key;
        EXPECT_EQ(n, std::string(c.expected).size()) << c.key;
        EXPECT_EQ(sim.LastError(), c.lastError) << c.key;
    }
    // A missing file: 2 in a folder that exists, 3 when the folder is missing.
    for (const auto& [path, code] : {std::pair<const char*, Dword>{"C:\\Package\\x.KVT", err::kFileNotFound},
                                     {"C:\\Nowhere\\x.KVT", err::kPathNotFound}}) {
        std::string out;
        sim.Magic();
        EXPECT_EQ(sim.sys.files.GetPrivateProfileString("ZMPK40", "PORT", 256, path, out), 0u);
        EXPECT_EQ(sim.LastError(), code) << path;
    }
}

TEST(SimFiles, LogFileAppendsAcrossOpens) {
    Sim sim;
    FileSystem& fs = sim.sys.files;
    FileHandle h;
    sim.machine->MakeDirectory("C:\\Temp");
    Dword expectedLastError = err::kSuccess;  // OPEN_ALWAYS tells whether the file was there
    for (const char* line : {"one\r\n", "two\r\n"}) {
        sim.Magic();
        ASSERT_TRUE(fs.OpenForAppend("C:\\Temp\\log.txt", h).ok());
        EXPECT_EQ(sim.LastError(), expectedLastError);
        ASSERT_TRUE(fs.WriteFile(h, line, 5).ok());
        fs.CloseFile(h);
        expectedLastError = err::kAlreadyExists;
    }
    EXPECT_EQ(*sim.machine->ReadFile("C:\\Temp\\log.txt"), "one\r\ntwo\r\n");
    sim.Magic();
    EXPECT_EQ(fs.OpenForAppend("C:\\NoTemp\\log.txt", h).code, err::kPathNotFound);
    EXPECT_EQ(sim.LastError(), err::kPathNotFound);
}

TEST(SimFiles, Wow64RedirectsSystem32ButNotSpool) {
    Sim sim("7", true);
    Machine& m = *sim.machine;
    FileSystem& fs = sim.sys.files;
    m.WriteFile("C:\\Package\\a.dll", "a");
    struct Case {
        const char* asked;
        const char* lands;
    } cases[] = {
        {"C:\\Windows\\system32\\a.dll", "C:\\Windows\\SysWOW64\\a.dll"},
        {"C:\\WINDOWS\\System32\\wbem\\b.dll", "C:\\Windows\\SysWOW64\\wbem\\b.dll"},
        {"C:\\Windows\\system32\\spool\\drivers\\x64\\c.dll", "C:\\Windows\\system32\\spool\\drivers\\x64\\c.dll"},
        {"C:\\Windows\\system32\\drivers\\etc\\d.txt", "C:\\Windows\\system32\\drivers\\etc\\d.txt"},
        {"C:\\Windows\\Sysnative\\e.dll", "C:\\Windows\\system32\\e.dll"},
        {"C:\\Windows\\f.dll", "C:\\Windows\\f.dll"},
    };
    m.MakeDirectory("C:\\Windows\\SysWOW64\\wbem");
    m.MakeDirectory("C:\\Windows\\system32\\drivers\\etc");
    for (const Case& c : cases) {
        ASSERT_TRUE(fs.CopyFile("C:\\Package\\a.dll", c.asked, false).ok()) << c.asked;
        EXPECT_TRUE(m.FileExists(c.lands)) << c.asked;
    }
    std::string dir;
    EXPECT_EQ(fs.GetSystemDirectory(dir, 256), 19u);
    EXPECT_EQ(dir, "C:\\Windows\\system32");
    ASSERT_TRUE(fs.HasGetSystemWow64Directory());
    EXPECT_GT(fs.GetSystemWow64Directory(dir, 256), 0u);
    EXPECT_EQ(dir, "C:\\Windows\\SysWOW64");

    // A 64-bit process sees no redirection.
    SimSystem native(m, {"C:\\Package\\x.exe", true, ""});
    EXPECT_TRUE(native.files.CopyFile("C:\\Package\\a.dll", "C:\\Windows\\system32\\g.dll", false).ok());
    EXPECT_TRUE(m.FileExists("C:\\Windows\\system32\\g.dll"));
}

TEST(SimFiles, DirectoryQueriesFollowThePreset) {
    struct Case {
        const char* preset;
        bool is64;
        const char* windows;
        bool hasWow64Dir;
        Dword wow64DirError;
    } cases[] = {
        {"2000", false, "C:\\WINNT", false, err::kProcNotFound},
        {"xp", false, "C:\\WINDOWS", true, 120},
        {"7", true, "C:\\Windows", true, 0},
    };
    for (const Case& c : cases) {
        Sim sim(c.preset, c.is64);
        std::string out;
        EXPECT_EQ(sim.sys.files.GetWindowsDirectory(out, 256), std::string(c.windows).size()) << c.preset;
        EXPECT_EQ(out, c.windows);
        EXPECT_EQ(sim.sys.files.GetWindowsDirectory(out, 3), std::string(c.windows).size() + 1) << "too small";
        sim.Magic();
        EXPECT_EQ(sim.sys.files.HasGetSystemWow64Directory(), c.hasWow64Dir) << c.preset;
        Dword n = sim.sys.files.GetSystemWow64Directory(out, 256);
        EXPECT_EQ(n == 0, c.wow64DirError != 0) << c.preset;
        if (c.wow64DirError) {
            EXPECT_EQ(sim.LastError(), c.wow64DirError) << c.preset;
        }
    }
    auto machine = Machine::Preset("2000", false, "D:\\WINNT");
    ASSERT_TRUE(machine);
    EXPECT_EQ(machine->SystemDirectory(), "D:\\WINNT\\system32");
    EXPECT_TRUE(machine->DirectoryExists("D:\\WINNT\\system32\\spool\\drivers\\w32x86"));
}

// Code page 932: a path's two-byte characters are read whole, also when
// their second byte is 0x5C, and names come back in the code page.
TEST(SimFiles, DoubleByteCodePageReadsCharactersWhole) {
    Sim sim("7");
    OsInfo os = sim.machine->Os();
    os.ansiCodePage = 932;
    sim.machine->SetOs(os);
    FileSystem& fs = sim.sys.files;
    const std::string hyo = "\x95\x5C";  // a character whose second byte is a backslash's
    ASSERT_TRUE(fs.CreateDirectory("C:\\" + hyo, nullptr).ok());
    EXPECT_TRUE(sim.machine->DirectoryExists("C:\\" + FromAnsi(932, hyo)));
    EXPECT_NE(fs.GetFileAttributes("C:\\" + hyo), file::kInvalidFileAttributes);
    EXPECT_EQ(fs.GetFileAttributes("C:\\\x95"), file::kInvalidFileAttributes);

    FindHandle find;
    FindData data;
    ASSERT_TRUE(fs.FindFirstFile("C:\\*.*", find, data).ok());
    bool listed = false;
    do listed = listed || data.fileName == hyo;
    while (fs.FindNextFile(find, data).ok());
    fs.FindClose(find);
    EXPECT_TRUE(listed);

    EXPECT_EQ(fs.CharPrev("C:\\" + hyo, 5), 3u);        // the character, not its second byte
    EXPECT_EQ(fs.CharPrev("C:\\" + hyo + "\\", 6), 5u);  // a real backslash after it
    EXPECT_EQ(fs.CharPrev("C:\\", 0), 0u);
    EXPECT_TRUE(fs.RemoveDirectory("C:\\" + hyo).ok());

    // A single-byte code page reads the same bytes one by one.
    os.ansiCodePage = 1252;
    sim.machine->SetOs(os);
    EXPECT_EQ(fs.CharPrev("C:\\" + hyo, 5), 4u);
}

}  // namespace
}  // namespace zmp::sim::test

namespace zmp::sim::test {
namespace {

TEST(SimPeImage, TheHeadersGiveMachineAndExportsAndBrokenOnesNeverMore) {
    const std::string x64 = BuildPeImage(pe::kMachineAmd64, true, {"DllMain", "InitializePrintMonitor2"});
    std::optional<PeImage> image = ReadPeImage(x64);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->machine, pe::kMachineAmd64);
    EXPECT_TRUE(image->dll);
    EXPECT_EQ(image->exports, (std::vector<std::string>{"DllMain", "InitializePrintMonitor2"}));
    image = ReadPeImage(BuildPeImage(pe::kMachineI386, false, {}));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->machine, pe::kMachineI386);
    EXPECT_FALSE(image->dll);
    EXPECT_FALSE(ReadPeImage("MZ kernel32"));  // a stand-in, no image
    // Cut anywhere: no image, or one that lists fewer names; never a read past the end.
    for (size_t size = 0; size < x64.size(); ++size) {
        std::optional<PeImage> cut = ReadPeImage(x64.substr(0, size));
        if (cut) {
            EXPECT_LE(cut->exports.size(), 2u) << size;
        }
    }
}

}  // namespace
}  // namespace zmp::sim::test
