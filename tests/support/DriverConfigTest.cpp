#include <gtest/gtest.h>

#include "support/DriverConfig.h"
#include "tests/support/SimFixture.h"

namespace zmp::test {
namespace {

using resources::Program;

// The installer runs from C:\Package; its own copy lives in <windir>\ZMP-K40.
class DriverConfig : public ::testing::Test {
protected:
    DriverConfig() : run("xp", false, Program::Installer) {
        besideInstaller = "C:\\Package\\ZMPK40_Config.KVT";
        windowsCopy = run.machine->WindowsDirectory() + "\\ZMP-K40\\ZMPK40_Config.KVT";
    }
    bool Read(const std::string& key, std::string& value) {
        return GetDriverInfoFromFile(*run.platform, *run.log, kConfigSection, key, value);
    }
    SimRun run;
    std::string besideInstaller, windowsCopy;
};

TEST_F(DriverConfig, FileBesideTheInstallerComesFirstThenTheWindowsCopy) {
    run.machine->WriteFile(besideInstaller, "[ZMPK40]\r\nPORT=USB\r\n");
    run.machine->WriteFile(windowsCopy, "[zmpk40]\r\nPORT=COM2\r\nwlan_port = 515 \r\n");

    struct Case {
        const char* key;
        const char* value;
    } cases[] = {{"PORT", "USB"}, {"WLAN_PORT", "515"}};
    for (const Case& c : cases) {
        std::string value;
        EXPECT_TRUE(Read(c.key, value)) << c.key;
        EXPECT_EQ(value, c.value) << c.key;
    }
    EXPECT_TRUE(run.LogLines().empty());
}

TEST_F(DriverConfig, MissingOrEmptyValueLogsTheFailureBlock) {
    run.machine->WriteFile(besideInstaller, "[ZMPK40]\r\nPORT=\r\n");
    for (const char* key : {"PORT", "PORTDLG"}) {
        run.ClearLog();
        std::string value = "stale";
        run.platform->system.SetLastError(0x4321);
        EXPECT_FALSE(Read(key, value)) << key;
        EXPECT_EQ(value, "") << key;

        // The last error is the failed read's in the Windows copy, whose
        // folder does not exist.
        EXPECT_EQ(run.LogLines(), (std::vector<std::string>{
                                      "GetDriverInfoFromFile BEGIN",
                                      "SECTION NAME : ZMPK40",
                                      std::string("KEY NAME : ") + key,
                                      "GetDriverInfoFromFile failed. (3)",
                                      "GetDriverInfoFromFile END",
                                  }))
            << key;
        // A prefix-only line and an empty line before BEGIN and after END.
        std::vector<std::string> raw = run.RawLogLines();
        ASSERT_EQ(raw.size(), 9u) << key;
        EXPECT_EQ(raw[0].size(), 10u);
        EXPECT_EQ(raw[1], "");
        EXPECT_EQ(raw[7].size(), 10u);
        EXPECT_EQ(raw[8], "");
    }
}

TEST_F(DriverConfig, NoFileAnywhere) {
    std::string value;
    EXPECT_FALSE(Read("PORTDLG", value));
    EXPECT_EQ(run.CallCount("FileSystem.GetPrivateProfileString"), 2u);
}

TEST_F(DriverConfig, LongValueIsCutToTheBuffer) {
    std::string longValue(300, 'v');
    run.machine->WriteFile(besideInstaller, "[ZMPK40]\r\nPORT=" + longValue + "\r\n");
    std::string value;
    EXPECT_TRUE(Read("PORT", value));
    EXPECT_EQ(value, longValue.substr(0, 255));
}

}  // namespace
}  // namespace zmp::test
