#include <gtest/gtest.h>

#include "tests/removal/RemoverFixture.h"

namespace zmp::test {
namespace {

const std::string kKey64 = std::string("HKLM\\") + kUninstallKey;
const std::string kKey32OnX64 = "HKLM\\SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\KORVANT_ZMP-K40";

TEST(DeleteUninstallationInfo, DeletesTheKeyBuiltFromMakerAndModel) {
    struct Case {
        const char* preset;
        bool is64;
        Variant variant;
    } cases[] = {{"xp", false, Variant::InstallerDialog}, {"7", true, Variant::Uninstaller}};
    for (const Case& c : cases) {
        RemoverRun run(c.preset, c.is64, c.variant);
        run.machine->CreateKey(kKey64);
        run.machine->SetString(kKey64, "DisplayName", "KORVANT ZMP-K40 2.0.6");
        if (c.is64) run.machine->CreateKey(kKey32OnX64);

        EXPECT_TRUE(run.remover.DeleteUninstallationInfo("ZMP-K40")) << c.preset;

        EXPECT_FALSE(run.machine->KeyExists(kKey64)) << c.preset;
        if (c.is64) {
            EXPECT_TRUE(run.machine->KeyExists(kKey32OnX64));  // the 32-bit view is not touched
        }
        std::vector<std::string> expected{"DeleteUninstallationInfo BEGIN"};
        if (c.variant == Variant::Uninstaller) expected.push_back(std::string("RegKey : ") + kUninstallKey);
        expected.push_back("DeleteUninstallationInfo END");
        EXPECT_EQ(run.LogLines(), expected) << c.preset;
    }
}

TEST(DeleteUninstallationInfo, AbsentKeyIsFalseWithoutAnEndLine) {
    RemoverRun run("xp", false, Variant::Uninstaller);
    run.platform->system.SetLastError(0);

    EXPECT_FALSE(run.remover.DeleteUninstallationInfo("ZMP-K40"));

    std::vector<std::string> lines = run.LogLines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "DeleteUninstallationInfo BEGIN");
    EXPECT_EQ(lines[1], std::string("RegKey : ") + kUninstallKey);
    EXPECT_EQ(lines[2].rfind(std::string("SHDeleteKey failed : ") + kUninstallKey + " (", 0), 0u) << lines[2];
    EXPECT_EQ(lines[2].back(), ' ');
}

TEST(DeleteUninstallInfoFromReg, DeletesTheKeyOfString20InThe64BitView) {
    RemoverRun run("7", true, Variant::Uninstaller);
    run.machine->CreateKey(kKey64);
    run.machine->CreateKey(kKey32OnX64);

    run.remover.DeleteUninstallInfoFromReg();

    EXPECT_FALSE(run.machine->KeyExists(kKey64));
    EXPECT_TRUE(run.machine->KeyExists(kKey32OnX64));
    EXPECT_EQ(run.LogLines(), (std::vector<std::string>{"DeleteUninstallInfoFromReg BEGIN",
                                                         std::string("REGKEY : ") + kUninstallKey,
                                                         "DeleteUninstallInfoFromReg END"}));
}

TEST(DeleteUninstallInfoFromReg, AbsentKeyLogsOnlyItsName) {
    for (bool is64 : {false, true}) {
        RemoverRun run(is64 ? "7" : "xp", is64, Variant::Uninstaller);
        if (is64) run.machine->CreateKey(kKey32OnX64);  // only in the view it does not look at

        run.remover.DeleteUninstallInfoFromReg();

        EXPECT_EQ(run.LogLines(), (std::vector<std::string>{"DeleteUninstallInfoFromReg BEGIN",
                                                             std::string("REGKEY : ") + kUninstallKey,
                                                             "DeleteUninstallInfoFromReg END"}));
        EXPECT_EQ(run.CallCount("Registry.ShDeleteKey") + run.CallCount("Registry.RegDeleteKeyEx"), 0u);
    }
}

}  // namespace
}  // namespace zmp::test
