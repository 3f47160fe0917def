#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "tests/support/SimFixture.h"

namespace zmp::test {
namespace {

using resources::Program;

void SetClock(sim::Machine& machine, unsigned hour, unsigned minute, unsigned second) {
    LocalTime t;
    t.year = 2024;
    t.month = 3;
    t.day = 14;
    t.hour = hour;
    t.minute = minute;
    t.second = second;
    machine.SetTime(t);
}

TEST(Log, PathIsTheTempFolderOfTheWindowsDriveAndTheFileIsMadeByTheFirstLine) {
    SimRun run("7", false, Program::Installer);
    EXPECT_EQ(run.log->Path(), "C:\\\\Temp\\ZMP-K40_Installer.txt");
    EXPECT_TRUE(run.machine->DirectoryExists("C:\\Temp"));
    EXPECT_FALSE(run.machine->FileExists("C:\\Temp\\ZMP-K40_Installer.txt"));

    run.log->WriteLog("x");
    EXPECT_TRUE(run.machine->FileExists("C:\\Temp\\ZMP-K40_Installer.txt"));
}

TEST(Log, EmptyLineMessageGivesPrefixThenTwoLineEnds) {
    SimRun run("7", false, Program::Installer);
    SetClock(*run.machine, 14, 3, 9);
    run.log->WriteLog("\r\n");
    EXPECT_EQ(run.machine->ReadFile("C:\\Temp\\ZMP-K40_Installer.txt"), "14:03:09: \r\n\r\n");
}

TEST(Log, FormattedLineAtMidnight) {
    SimRun run("7", false, Program::Installer);
    SetClock(*run.machine, 0, 0, 0);
    run.log->WriteLog("osvi.dwMajorVersion : %d", 6);
    run.log->WriteLog("FILE SRC : %s", "Driver32\\ZMP40.dll");
    EXPECT_EQ(run.machine->ReadFile("C:\\Temp\\ZMP-K40_Installer.txt"),
              "00:00:00: osvi.dwMajorVersion : 6\r\n"
              "00:00:00: FILE SRC : Driver32\\ZMP40.dll\r\n");
}

TEST(Log, LongMessageIsCutAt1013Characters) {
    SimRun run("7", false, Program::Installer);
    SetClock(*run.machine, 23, 59, 58);
    std::string message(2000, 'a');
    for (std::size_t i = 0; i < message.size(); ++i) message[i] = static_cast<char>('a' + i % 26);
    run.log->WriteLog("%s", message.c_str());

    std::string text = *run.machine->ReadFile("C:\\Temp\\ZMP-K40_Installer.txt");
    EXPECT_EQ(text.size(), 10u + 1013u + 2u);
    EXPECT_EQ(text, "23:59:58: " + message.substr(0, 1013) + "\r\n");
}

TEST(Log, NothingIsWrittenBeforeInitLogFile) {
    SimRun run("7", false, Program::Installer);
    Log fresh(run.platform->files, run.platform->clock);
    std::size_t opens = run.CallCount("FileSystem.OpenForAppend");

    fresh.WriteLog("lost %d", 1);

    EXPECT_EQ(fresh.Path(), "");
    EXPECT_EQ(run.CallCount("FileSystem.OpenForAppend"), opens);
    EXPECT_TRUE(run.machine->ListDirectory("C:\\Temp").empty());
}

TEST(Log, UninstallerLogOnTheDriveOfAnotherWindowsDirectory) {
    SimRun run("2000", false, Program::Uninstaller, "D:\\WINNT");
    EXPECT_TRUE(run.machine->DirectoryExists("D:\\Temp"));
    run.log->WriteLog("line");
    EXPECT_TRUE(run.machine->FileExists("D:\\Temp\\ZMP-K40_UnInstaller.txt"));
    EXPECT_FALSE(run.machine->DirectoryExists("C:\\Temp"));
}

TEST(Log, EveryStartRecreatesOnlyItsOwnLog) {
    auto machine = sim::Machine::Preset("xp");
    machine->WriteFile("C:\\Temp\\ZMP-K40_Installer.txt", "old installer run\r\n");
    machine->WriteFile("C:\\Temp\\ZMP-K40_UnInstaller.txt", "uninstaller run\r\n");

    SimRun run(std::move(machine), Program::Installer);
    EXPECT_FALSE(run.machine->FileExists("C:\\Temp\\ZMP-K40_Installer.txt"));
    run.log->WriteLog("new run");

    EXPECT_EQ(run.LogLines(), std::vector<std::string>{"new run"});
    EXPECT_EQ(run.machine->ReadFile("C:\\Temp\\ZMP-K40_UnInstaller.txt"), "uninstaller run\r\n");
}

TEST(Log, FileThatCannotBeOpenedLosesTheLineSilently) {
    SimRun run("7", false, Program::Installer);
    run.sys->Faults().Fail("FileSystem.OpenForAppend", err::kAccessDenied);
    run.log->WriteLog("lost");
    EXPECT_FALSE(run.machine->FileExists("C:\\Temp\\ZMP-K40_Installer.txt"));
}

// "C:\Temp" is a folder any user may make and own; the programs run
// elevated. Whatever link is put there, nothing is written through it.
TEST(Log, NeverWritesThroughALink) {
    const std::string home = "C:\\Temp\\ZMP-K40_Installer.txt";
    const std::string aside = "C:\\Windows\\Temp\\ZMP-K40_Installer.txt";
    const std::string victim = "C:\\Windows\\system32\\victim.dll";
    struct Case {
        const char* what;
        std::function<void(sim::Machine&)> before;  // before the program starts
        std::function<void(sim::Machine&)> during;  // after its first line
        std::string where;                          // where the lines land
        std::string moved;                          // the first line there, if moved
    } cases[] = {
        {"C:\\Temp a junction to system32",
         [&](sim::Machine& m) {
             m.Remove("C:\\Temp");
             m.MakeJunction("C:\\Temp", "C:\\Windows\\system32");
         },
         nullptr, aside, "LOG MOVED HERE : C:\\\\Temp is a reparse point"},
        {"the log a hard link before the start: only that name goes",
         [&](sim::Machine& m) { m.MakeHardLink(home, victim); }, nullptr, home, ""},
        {"the log made a hard link while the program runs",
         nullptr,
         [&](sim::Machine& m) {
             m.Remove(home);
             m.MakeHardLink(home, victim);
         },
         aside, "LOG MOVED HERE : C:\\\\Temp\\ZMP-K40_Installer.txt has 2 hard links"},
        {"C:\\Temp made a junction while the program runs",
         nullptr,
         [&](sim::Machine& m) {
             m.Remove("C:\\Temp");
             m.MakeJunction("C:\\Temp", "C:\\Windows\\system32");
         },
         aside, "LOG MOVED HERE : C:\\\\Temp is a reparse point"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto machine = sim::Machine::Preset("7", true);
        machine->WriteFile(victim, "MZ system");
        machine->WriteFile("C:\\Windows\\system32\\ZMP-K40_Installer.txt", "of the system");
        machine->MakeDirectory("C:\\Temp");
        if (c.before) c.before(*machine);
        SimRun run(std::move(machine), Program::Installer);
        run.log->WriteLog("first");
        if (c.during) c.during(*run.machine);
        run.log->WriteLog("second");

        EXPECT_EQ(run.machine->ReadFile(victim), "MZ system");
        EXPECT_EQ(run.machine->ReadFile("C:\\Windows\\system32\\ZMP-K40_Installer.txt"), "of the system");
        std::vector<std::string> lines;
        for (const std::string& line : ReadLogLines(*run.machine, c.where)) lines.push_back(StripTimePrefix(line));
        if (c.moved.empty()) {
            EXPECT_EQ(lines, (std::vector<std::string>{"first", "second"}));
        } else {
            ASSERT_FALSE(lines.empty());
            EXPECT_EQ(lines.front(), c.moved);
            EXPECT_EQ(lines.back(), "second");
        }
    }
}

TEST(Log, ATempFolderItMakesTakesTheWindowsDirectorysList) {
    auto machine = sim::Machine::Preset("xp");
    const std::vector<sim::AceEntry> windows = {{"Administrators", sec::kGenericAll, sec::kGrantAccess, 3},
                                                {"SYSTEM", sec::kGenericAll, sec::kGrantAccess, 3},
                                                {"Users", sec::kGenericRead | sec::kGenericExecute, sec::kGrantAccess, 3}};
    machine->Internal().files.Get("C:\\WINDOWS")->acl = windows;
    SimRun run(std::move(machine), Program::Installer);
    ASSERT_TRUE(run.machine->DirectoryExists("C:\\Temp"));
    const std::vector<sim::AceEntry> temp = run.machine->DirectoryAcl("C:\\Temp");
    ASSERT_EQ(temp.size(), windows.size());
    for (size_t i = 0; i < temp.size(); ++i) {
        EXPECT_EQ(temp[i].trustee, windows[i].trustee);
        EXPECT_EQ(temp[i].mask, windows[i].mask);
    }
}

TEST(Log, ACopyThatIsALinkIsNotWrittenAndTheLogSaysSo) {
    auto machine = sim::Machine::Preset("7");
    machine->WriteFile("C:\\Windows\\system32\\victim.dll", "MZ system");
    machine->MakeDirectory("C:\\Deploy");
    SimRun run(std::move(machine), Program::Installer);
    run.log->SetCopy("C:\\Deploy\\install.log");
    run.log->InitLogFile(LogName::Installer);
    run.machine->MakeHardLink("C:\\Deploy\\install.log", "C:\\Windows\\system32\\victim.dll");
    run.log->WriteLog("first");
    run.log->WriteLog("second");
    EXPECT_EQ(run.machine->ReadFile("C:\\Windows\\system32\\victim.dll"), "MZ system");
    EXPECT_EQ(run.LogLines(), (std::vector<std::string>{
                                  "LOG COPY NOT WRITTEN : C:\\Deploy\\install.log has 2 hard links", "first", "second"}));
}

}  // namespace
}  // namespace zmp::test
