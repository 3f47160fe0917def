#include <gtest/gtest.h>

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

}  // namespace
}  // namespace zmp::test
