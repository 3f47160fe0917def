#include <gtest/gtest.h>

#include <algorithm>

#include "tests/removal/RemoverFixture.h"

namespace zmp::test {
namespace {

const std::string kDeviceId = "USB\\Vid_7F3C&Pid_0042";

sim::SimDevice Device(const std::string& instance, std::vector<std::string> ids, bool present = true) {
    sim::SimDevice d;
    d.instanceId = instance;
    d.hardwareIds = std::move(ids);
    d.present = present;
    return d;
}

bool HasDevice(sim::Machine& machine, const std::string& instance) {
    for (const sim::SimDevice& d : machine.Devices())
        if (d.instanceId == instance) return true;
    return false;
}

// --- RemoveUsbDevices and DeleteVidPid

TEST(RemoveUsbDevices, MatchesTheFirstHardwareIdOn21CharactersIgnoringCase) {
    RemoverRun run("7", true, Variant::Uninstaller);
    struct Case {
        const char* instance;
        std::vector<std::string> ids;
        bool present;
        bool removed;
    } cases[] = {
        {"USB\\VID_7F3C&PID_0042\\A", {"USB\\VID_7F3C&PID_0042&REV_0100", "USB\\VID_7F3C&PID_0042"}, true, true},
        {"USB\\VID_7F3C&PID_0042\\B", {"usb\\vid_7f3c&pid_0042"}, false, true},
        {"USB\\VID_7F3C&PID_0043\\C", {"USB\\VID_7F3C&PID_0043&REV_0100"}, true, false},
        {"USB\\VID_1234&PID_0001\\D", {"USB\\VID_1234&PID_0001", "USB\\VID_7F3C&PID_0042"}, true, false},
        {"USB\\VID_7F3C\\E", {"USB\\VID_7F3C"}, true, false},
    };
    for (const Case& c : cases) run.machine->AddDevice(Device(c.instance, c.ids, c.present));

    EXPECT_TRUE(run.remover.RemoveUsbDevices(kDeviceId));

    for (const Case& c : cases) EXPECT_EQ(HasDevice(*run.machine, c.instance), !c.removed) << c.instance;
    EXPECT_EQ(run.CallCount("SetupApi.DestroyDeviceInfoList"), 1u);
}

TEST(RemoveUsbDevices, LongHardwareIdListIsSkipped) {
    RemoverRun run("7", true, Variant::Uninstaller);
    // More than the 100-byte property buffer holds.
    run.machine->AddDevice(Device("USB\\VID_7F3C&PID_0042\\LONG",
                                  {"USB\\VID_7F3C&PID_0042&REV_0100&MI_00", "USB\\VID_7F3C&PID_0042&REV_0100",
                                   "USB\\VID_7F3C&PID_0042&MI_00", "USB\\VID_7F3C&PID_0042"}));
    EXPECT_TRUE(run.remover.RemoveUsbDevices(kDeviceId));
    EXPECT_TRUE(HasDevice(*run.machine, "USB\\VID_7F3C&PID_0042\\LONG"));
}

TEST(RemoveUsbDevices, FailuresEndThePassAndStillDestroyTheList) {
    struct Case {
        const char* name;
        const char* method;
        Dword code;
        std::size_t enumCalls;
    } cases[] = {
        {"no list", "SetupApi.GetClassDevs", err::kInvalidParameter, 0},
        {"enumeration keeps failing", "SetupApi.EnumDeviceInfo", err::kInvalidData,
         1 + DriverRemover::kEnumDeviceRetries},
        {"removal fails", "SetupApi.RemoveDevice", err::kAccessDenied, 1},
    };
    for (const Case& c : cases) {
        RemoverRun run("7", true, Variant::Uninstaller);
        run.machine->AddDevice(Device("USB\\VID_7F3C&PID_0042\\A", {"USB\\VID_7F3C&PID_0042"}));
        run.machine->AddDevice(Device("USB\\VID_7F3C&PID_0042\\B", {"USB\\VID_7F3C&PID_0042"}));
        run.sys->Faults().Fail(c.method, c.code);

        EXPECT_FALSE(run.remover.RemoveUsbDevices(kDeviceId)) << c.name;

        EXPECT_EQ(run.CallCount("SetupApi.EnumDeviceInfo"), c.enumCalls) << c.name;
        EXPECT_EQ(run.CallCount("SetupApi.DestroyDeviceInfoList"), c.enumCalls ? 1u : 0u) << c.name;
        EXPECT_TRUE(HasDevice(*run.machine, "USB\\VID_7F3C&PID_0042\\B")) << c.name;
    }
}

TEST(RemoveUsbDevices, TransientEnumerationFailureIsRetriedAtTheSameIndex) {
    RemoverRun run("7", true, Variant::Uninstaller);
    run.machine->AddDevice(Device("USB\\VID_7F3C&PID_0042\\A", {"USB\\VID_7F3C&PID_0042"}));
    run.sys->Faults().Fail("SetupApi.EnumDeviceInfo", err::kInvalidData, 1);

    EXPECT_TRUE(run.remover.RemoveUsbDevices(kDeviceId));
    EXPECT_FALSE(HasDevice(*run.machine, "USB\\VID_7F3C&PID_0042\\A"));
}

TEST(DeleteVidPid, UnpluggedPrinterLosesItsDeviceNode) {
    RemoverRun run("7", true, Variant::Uninstaller);
    run.machine->PlugUsbPrinter();
    run.machine->UnplugUsbPrinter();
    ASSERT_TRUE(HasDevice(*run.machine, std::string(sim::kUsbPrinterInstancePrefix) + sim::kUsbPrinterSerial));

    run.remover.DeleteVidPid();

    EXPECT_FALSE(HasDevice(*run.machine, std::string(sim::kUsbPrinterInstancePrefix) + sim::kUsbPrinterSerial));
    EXPECT_EQ(run.LogLines(),
              (std::vector<std::string>{"DeleteVidPid BEGIN", "VID&PID : " + kDeviceId, "DeleteVidPid END"}));
}

// --- Delete_USB_Info

TEST(DeleteUsbInfo, ProtectedEnumerationKeyIsDeletedOn32BitWindows) {
    RemoverRun run("xp", false, Variant::Uninstaller);
    const std::string key = std::string("HKLM\\") + kUsbEnumKey;
    run.machine->CreateKey(key + "\\1&79f5d87&0&USB001");
    run.machine->ProtectKey(key);

    run.remover.Delete_USB_Info();

    EXPECT_FALSE(run.machine->KeyExists(key));
    EXPECT_EQ(run.LogLines(), (std::vector<std::string>{"Delete_USB_Info BEGIN", "REGKEY_1 : " + key,
                                                         std::string("REGKEY_2 : ") + kUsbEnumKey,
                                                         "Delete_USB_Info END"}));
}

// On 64-bit Windows RegDeleteKeyExA refuses a key with subkeys: they go
// first. Whatever deletion is refused, the key keeps the access list it had:
// an inheritable full control for Everyone is never left behind.
TEST(DeleteUsbInfo, Wow64KeyGoesWithItsSubkeyOrKeepsItsAccessList) {
    struct Case {
        const char* what;
        unsigned refused;  // the RegDeleteKeyEx call refused with 5; 0 none
        bool keyStays, subkeyStays;
    };
    const Case cases[] = {
        {"nothing refused", 0, false, false},
        {"the subkey refused", 1, true, true},
        {"the key itself refused", 2, true, false},
    };
    for (const Case& c : cases) {
        RemoverRun run("7", true, Variant::Uninstaller);
        run.machine->PlugUsbPrinter();
        const std::string key = std::string("HKLM\\") + kUsbEnumKey;
        const std::vector<std::string> subkeys = run.machine->SubKeys(key);
        ASSERT_EQ(subkeys.size(), 1u);
        const std::string subkey = key + "\\" + subkeys[0];
        const std::vector<sim::AceEntry> before = run.machine->KeyAcl(key);
        if (c.refused) run.sys->Faults().Fail("Registry.RegDeleteKeyEx", err::kAccessDenied, c.refused);

        run.remover.Delete_USB_Info();

        EXPECT_EQ(run.machine->KeyExists(key), c.keyStays) << c.what;
        EXPECT_EQ(run.machine->KeyExists(subkey), c.subkeyStays) << c.what;
        std::vector<std::string> lines = run.StepLines("Delete_USB_Info");
        if (!c.keyStays) {
            EXPECT_EQ(lines, (std::vector<std::string>{"Delete_USB_Info BEGIN", "REGKEY_1 : " + key,
                                                        std::string("REGKEY_2 : ") + kUsbEnumKey,
                                                        "Delete_USB_Info END"}));
            continue;
        }
        EXPECT_EQ(run.machine->KeyAcl(key).size(), before.size()) << c.what;
        EXPECT_FALSE(run.machine->KeyDeletable(key)) << c.what;
        if (c.subkeyStays) {
            EXPECT_FALSE(run.machine->KeyDeletable(subkey)) << c.what;
        }
        EXPECT_NE(std::find(lines.begin(), lines.end(), std::string("DACL RESTORED : ") + kUsbEnumKey), lines.end())
            << c.what;
        EXPECT_NE(std::find(lines.begin(), lines.end(),
                            std::string("MyRegDeleteKeyEx failed : ") + kUsbEnumKey + " (5) "),
                  lines.end())
            << c.what;
    }
}

// --- DeletePrnDrvPnPDirectory

TEST(DeletePrnDrvPnPDirectory, StagingDirectoryIsDeletedPresentOrNot) {
    for (bool present : {true, false}) {
        RemoverRun run("7", true, Variant::Uninstaller);
        const std::string dir = run.DriverDirectory() + "\\korvant_zmp_k402463";
        if (present) {
            run.machine->WriteFile(dir + "\\ZMP40.GPD", "gpd");
            run.machine->WriteFile(dir + "\\Amd64\\ZMP40.dll", "MZ");
            run.machine->SetAttributes(dir + "\\ZMP40.GPD", file::kAttributeReadOnly);
        }

        run.remover.DeletePrnDrvPnPDirectory();

        EXPECT_FALSE(run.machine->DirectoryExists(dir));
        EXPECT_EQ(run.LogLines(), (std::vector<std::string>{"DeletePrnDrvPnPDirectory BEGIN", "DIR PATH-1 : " + dir + " ",
                                                             "DeletePrnDrvPnPDirectory END"}));
    }
}

TEST(DeletePrnDrvPnPDirectory, UnknownDriverDirectoryDeletesNothingOnTheCurrentDrive) {
    RemoverRun run("xp", false, Variant::Uninstaller);
    run.machine->WriteFile("C:\\korvant_zmp_k402463\\keep.txt", "not ours to judge");
    run.sys->Faults().Fail("Spooler.GetPrinterDriverDirectory", err::kInvalidParameter);

    run.remover.DeletePrnDrvPnPDirectory();

    EXPECT_TRUE(run.machine->FileExists("C:\\korvant_zmp_k402463\\keep.txt"));
    EXPECT_EQ(run.LogLines(), (std::vector<std::string>{"DeletePrnDrvPnPDirectory BEGIN",
                                                         "DIR PATH-1 : \\korvant_zmp_k402463 ",
                                                         "DeletePrnDrvPnPDirectory END"}));
}

// --- DeleteINFFile

class DeleteINFFile : public ::testing::Test {
protected:
    static void AddInf(RemoverRun& run, const std::string& name, const std::string& text, bool withPnf = true) {
        const std::string inf = run.machine->InfDirectory() + "\\" + name;
        run.machine->WriteFile(inf, text);
        if (withPnf) {
            std::string pnf = inf.substr(0, inf.size() - 4) + ".PNF";
            run.machine->WriteFile(pnf, "pnf");
        }
    }
    static std::string InfPath(RemoverRun& run, const std::string& name) {
        return run.WindowsDirectory() + "\\inf\\" + name;
    }
};

TEST_F(DeleteINFFile, XpDeletesTheInfAndItsPnfDirectly) {
    RemoverRun run("xp", false, Variant::Uninstaller);
    AddInf(run, "oem3.inf", PrinterInf());
    AddInf(run, "oem4.inf", OtherInf());
    AddInf(run, "oem9.inf", PrinterInf(), false);

    run.remover.DeleteINFFile();

    EXPECT_FALSE(run.machine->FileExists(InfPath(run, "oem3.inf")));
    EXPECT_FALSE(run.machine->FileExists(InfPath(run, "oem3.PNF")));
    EXPECT_TRUE(run.machine->FileExists(InfPath(run, "oem4.inf")));
    EXPECT_FALSE(run.machine->FileExists(InfPath(run, "oem9.inf")));
    EXPECT_EQ(run.CallCount("SetupApi.UninstallOEMInf"), 0u);
    EXPECT_EQ(run.LogLines(), (std::vector<std::string>{
                                  "DeleteINFFile BEGIN",
                                  "SECTION NAME : KORVANT",
                                  "KEY NAME : KORVANT ZMP-K40",
                                  "'" + InfPath(run, "oem3.inf") + "' has been deleted successfully.",
                                  "'" + InfPath(run, "oem9.inf") + "' has been deleted successfully.",
                                  "DeleteFile Error : " + InfPath(run, "oem9.PNF") + " , (2)",
                                  "DeleteINFFile END",
                              }));
    EXPECT_EQ(run.progress.reports, std::vector<std::string>{"none Deleting the INF file..."});
    EXPECT_EQ(run.Events(), std::vector<std::string>{"SLEEP 100"});
}

TEST_F(DeleteINFFile, VistaAndLaterUninstallTheInfThenDeleteThePnf) {
    RemoverRun run("7", true, Variant::Uninstaller);
    AddInf(run, "oem12.inf", PrinterInf());
    AddInf(run, "oem13.inf", PrinterInf(), false);

    run.remover.DeleteINFFile();

    EXPECT_EQ(run.CallCount("SetupApi.UninstallOEMInf"), 2u);
    for (const char* name : {"oem12.inf", "oem12.PNF", "oem13.inf"})
        EXPECT_FALSE(run.machine->FileExists(InfPath(run, name))) << name;
    EXPECT_EQ(run.LogLines(), (std::vector<std::string>{
                                  "DeleteINFFile BEGIN",
                                  "SECTION NAME : KORVANT.NTamd64",
                                  "KEY NAME : KORVANT ZMP-K40",
                                  // SetupUninstallOEMInf has taken the .PNF with it.
                                  "DeleteFile Error : " + InfPath(run, "oem12.PNF") + " , (2)",
                                  "DeleteFile Error : " + InfPath(run, "oem13.PNF") + " , (2)",
                                  "DeleteINFFile END",
                              }));
}

TEST_F(DeleteINFFile, ThirtyTwoBitVistaUsesTheUninstallToo) {
    RemoverRun run("vista", false, Variant::InstallerDialog);
    AddInf(run, "oem1.inf", PrinterInf());

    run.remover.DeleteINFFile();

    EXPECT_EQ(run.CallCount("SetupApi.UninstallOEMInf"), 1u);
    EXPECT_FALSE(run.machine->FileExists(InfPath(run, "oem1.inf")));
    EXPECT_FALSE(run.machine->FileExists(InfPath(run, "oem1.PNF")));
    EXPECT_EQ(run.LogLines(), (std::vector<std::string>{
                                  "DeleteINFFile BEGIN",
                                  "DeleteFile Error : " + InfPath(run, "oem1.PNF") + " , (2)",
                                  "DeleteINFFile END",
                              }));
    EXPECT_TRUE(run.progress.reports.empty());
}

// The route changes after Server 2003 (OS code 2006): 32-bit Windows up to
// it deletes the INF itself, later Windows has SetupUninstallOEMInf take it
// with its driver-store package. Both end with the file gone: only the
// route tells them apart.
TEST_F(DeleteINFFile, RouteChangesAfterServer2003) {
    struct Case {
        const char* os;
        std::size_t uninstalls;  // SetupUninstallOEMInf calls
        bool deletedItself;      // the uninstaller's own deletion logged
    };
    const Case cases[] = {{"2003", 0, true}, {"vista", 1, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.os);
        RemoverRun run(c.os, false, Variant::Uninstaller);
        AddInf(run, "oem3.inf", PrinterInf());

        run.remover.DeleteINFFile();

        EXPECT_FALSE(run.machine->FileExists(InfPath(run, "oem3.inf")));
        EXPECT_EQ(run.CallCount("SetupApi.UninstallOEMInf"), c.uninstalls);
        const std::vector<std::string> lines = run.LogLines();
        const std::string deleted = "'" + InfPath(run, "oem3.inf") + "' has been deleted successfully.";
        EXPECT_EQ(std::count(lines.begin(), lines.end(), deleted), c.deletedItself ? 1 : 0);
    }
}

TEST_F(DeleteINFFile, FailuresByProgram) {
    for (Variant variant : {Variant::Uninstaller, Variant::InstallerDialog}) {
        RemoverRun run("7", true, variant);
        AddInf(run, "oem12.inf", PrinterInf());
        run.sys->Faults().Fail("SetupApi.UninstallOEMInf", err::kAccessDenied);

        run.remover.DeleteINFFile();

        EXPECT_TRUE(run.machine->FileExists(InfPath(run, "oem12.PNF")));
        std::vector<std::string> lines = run.LogLines();
        bool uninstaller = variant == Variant::Uninstaller;
        std::vector<std::string> expected{"DeleteINFFile BEGIN"};
        if (uninstaller) {
            expected.push_back("SECTION NAME : KORVANT.NTamd64");
            expected.push_back("KEY NAME : KORVANT ZMP-K40");
            expected.push_back("fnSetupUninstallOEMInf failed, oem12.inf, 5");
        }
        expected.push_back("DeleteINFFile END");
        EXPECT_EQ(lines, expected);
    }
}

TEST_F(DeleteINFFile, NothingMatchingLogsThatTheKeyWasNotFound) {
    RemoverRun run("xp", false, Variant::Uninstaller);
    AddInf(run, "OEM5.inf", PrinterInf());  // not "oem" in lower case
    AddInf(run, "oem6.inf", OtherInf());
    AddInf(run, "printer.inf", PrinterInf());

    run.remover.DeleteINFFile();

    EXPECT_TRUE(run.machine->FileExists(InfPath(run, "OEM5.inf")));
    EXPECT_TRUE(run.machine->FileExists(InfPath(run, "oem6.inf")));
    EXPECT_TRUE(run.machine->FileExists(InfPath(run, "printer.inf")));
    EXPECT_EQ(run.LogLines(), (std::vector<std::string>{"DeleteINFFile BEGIN", "SECTION NAME : KORVANT",
                                                         "KEY NAME : KORVANT ZMP-K40", "The key name was not found.",
                                                         "DeleteINFFile END"}));
}

TEST_F(DeleteINFFile, UnopenableInfIsSkippedAndLoggedByTheUninstaller) {
    RemoverRun run("xp", false, Variant::Uninstaller);
    AddInf(run, "oem7.inf", PrinterInf());
    run.sys->Faults().Fail("SetupApi.OpenInfFile", err::kAccessDenied);

    run.remover.DeleteINFFile();

    EXPECT_TRUE(run.machine->FileExists(InfPath(run, "oem7.inf")));
    EXPECT_EQ(run.LogLines(), (std::vector<std::string>{"DeleteINFFile BEGIN", "SECTION NAME : KORVANT",
                                                         "KEY NAME : KORVANT ZMP-K40", "SetupOpenInfFile failed. 5",
                                                         "The key name was not found.", "DeleteINFFile END"}));
    EXPECT_EQ(run.CallCount("SetupApi.FindFirstLine"), 0u);
}

}  // namespace
}  // namespace zmp::test
