#include <gtest/gtest.h>

#include "support/OsDetect.h"
#include "tests/support/SimFixture.h"

namespace zmp::test {
namespace {

using resources::Program;

struct OsCase {
    Dword platformId, major, minor, productType;
    OsCode expected;
};

class CheckOSTable : public ::testing::TestWithParam<OsCase> {};

TEST_P(CheckOSTable, ClassifiesTheVersionRecord) {
    const OsCase& c = GetParam();
    SimRun run("7", false, Program::Installer);
    sim::OsInfo os = run.machine->Os();
    os.preset.clear();
    os.platformId = c.platformId;
    os.majorVersion = c.major;
    os.minorVersion = c.minor;
    os.productType = c.productType;
    run.machine->SetOs(os);

    EXPECT_EQ(CheckOS(run.platform->system, *run.log), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    EveryRow, CheckOSTable,
    ::testing::Values(OsCase{1, 4, 0, 0, kOsWin95}, OsCase{1, 4, 10, 0, kOsWin98},
                      OsCase{1, 4, 90, 0, kOsWinMe}, OsCase{1, 4, 20, 0, kOsUnknown},
                      OsCase{1, 5, 0, 0, kOsUnknown}, OsCase{2, 3, 51, 1, kOsWinNt4},
                      OsCase{2, 4, 0, 1, kOsWinNt4}, OsCase{2, 5, 0, 1, kOsWin2000},
                      OsCase{2, 5, 1, 1, kOsWinXp}, OsCase{2, 5, 2, 3, kOsWinServer2003},
                      OsCase{2, 5, 2, 1, kOsWinServer2003}, OsCase{2, 5, 3, 1, kOsUnknown},
                      OsCase{2, 6, 0, 1, kOsWinVista}, OsCase{2, 6, 0, 3, kOsWinServer2008},
                      OsCase{2, 6, 0, 2, kOsWinServer2008}, OsCase{2, 6, 1, 1, kOsWin7},
                      OsCase{2, 6, 1, 3, kOsWinServer2008R2}, OsCase{2, 6, 2, 1, kOsUnknown},
                      OsCase{2, 6, 2, 3, kOsUnknown}, OsCase{2, 7, 0, 1, kOsUnknown},
                      OsCase{2, 10, 0, 1, kOsUnknown}, OsCase{0, 3, 1, 0, kOsUnknown},
                      OsCase{3, 6, 1, 1, kOsUnknown}));

TEST(CheckOS, LogsTheFourFieldsWithTheirSpacing) {
    SimRun run("xp", false, Program::Installer);
    sim::OsInfo os = run.machine->Os();
    os.buildNumber = 2600;
    run.machine->SetOs(os);

    EXPECT_EQ(CheckOS(run.platform->system, *run.log), kOsWinXp);
    EXPECT_EQ(run.LogLines(), (std::vector<std::string>{
                                  "CheckOS BEGIN",
                                  "osvi.dwPlatformID   : 2",
                                  "osvi.dwMajorVersion : 5",
                                  "osvi.dwMinorVersion : 1",
                                  "osvi.dwBuildNumber  : 2600",
                                  "CheckOS END",
                              }));
    // The block starts with the prefix-only line and an empty line.
    std::vector<std::string> raw = run.RawLogLines();
    ASSERT_GE(raw.size(), 3u);
    EXPECT_EQ(StripTimePrefix(raw[0]), "");
    EXPECT_EQ(raw[0].size(), 10u);
    EXPECT_EQ(raw[1], "");
}

TEST(CheckOS, UnreadableVersionIsUnknownAndLoggedAsZeros) {
    SimRun run("xp", false, Program::Installer);
    run.sys->Faults().Fail("SystemInfo.GetVersionEx", err::kInvalidParameter);

    EXPECT_EQ(CheckOS(run.platform->system, *run.log), kOsUnknown);
    EXPECT_EQ(run.CallCount("SystemInfo.GetVersionEx"), 3u);
    EXPECT_EQ(run.LogLines(), (std::vector<std::string>{
                                  "CheckOS BEGIN",
                                  "osvi.dwPlatformID   : 0",
                                  "osvi.dwMajorVersion : 0",
                                  "osvi.dwMinorVersion : 0",
                                  "osvi.dwBuildNumber  : 0",
                                  "CheckOS END",
                              }));
}

TEST(CheckOS, SecondAttemptIsUsedWhenTheFirstFails) {
    SimRun run("vista", false, Program::Installer);
    run.sys->Faults().Fail("SystemInfo.GetVersionEx", err::kInvalidParameter, 1);
    EXPECT_EQ(CheckOS(run.platform->system, *run.log), kOsWinVista);
}

// The 9x family refuses the extended record; the short one is read.
TEST(CheckOS, Windows98IsRecognisedFromTheShortRecord) {
    SimRun run("98", false, Program::Installer);
    EXPECT_EQ(CheckOS(run.platform->system, *run.log), kOsWin98);
    EXPECT_EQ(run.CallCount("SystemInfo.GetVersionEx"), 3u);
    std::vector<std::string> lines = run.LogLines();
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[1], "osvi.dwPlatformID   : 1");
    EXPECT_EQ(lines[3], "osvi.dwMinorVersion : 10");
}

struct Wow64Case {
    const char* name;
    const char* preset;
    bool is64Bit;
    bool hasIsWow64Process;
    bool expected;
    const char* line;
};

class IsWow64Table : public ::testing::TestWithParam<Wow64Case> {};

TEST_P(IsWow64Table, ResultAndItsLine) {
    const Wow64Case& c = GetParam();
    SimRun run(c.preset, c.is64Bit, Program::Uninstaller);
    sim::OsInfo os = run.machine->Os();
    os.hasIsWow64Process = c.hasIsWow64Process;
    run.machine->SetOs(os);

    EXPECT_EQ(IsWow64(run.platform->system, *run.log), c.expected);
    EXPECT_EQ(run.LogLines(), std::vector<std::string>{c.line});
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IsWow64Table,
    ::testing::Values(
        Wow64Case{"Win7x64", "7", true, true, true, "The process is running under WOW64."},
        Wow64Case{"XP32", "xp", false, true, false, "The process is not running under WOW64."},
        Wow64Case{"NoFunction", "7", true, false, false, "The process is not running under WOW64."}),
    [](const ::testing::TestParamInfo<Wow64Case>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace zmp::test
