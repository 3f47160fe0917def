// Over-long texts through both programs: configuration values cut to their
// 256-byte buffer, configuration paths cut to theirs, log lines cut at 1023
// characters and always ended; names the programs act on (printers, forms,
// oem INFs) used whole.
#include <gtest/gtest.h>

#include <algorithm>

#include "support/RegistryHelpers.h"
#include "tests/bounded/BoundedFixture.h"

namespace zmp::bounded {
namespace {

using sim::UserAction;

constexpr int kRadioCom1 = 1006, kNext = 1;
constexpr size_t kLogLine = 10 + 1013;  // time prefix and the longest message

std::string Config(const std::string& lines) {
    return "[ZMPK40]\r\n" + lines;
}

// Every line of the raw log ended by CR LF, none longer than the line buffer.
void ExpectWellFormedLog(const Outcome& run) {
    ASSERT_FALSE(run.rawLog.empty());
    EXPECT_EQ(run.rawLog.substr(run.rawLog.size() - 2), "\r\n");
    EXPECT_EQ(run.rawLog.find('\0'), std::string::npos);
    for (const std::string& line : run.LogLines()) EXPECT_LE(line.size(), kLogLine) << line.substr(0, 40);
}

TEST(BoundedConfiguration, ValuesAreCutToTheirBufferBeforeTheyAreRead) {
    struct Case {
        const char* name;
        std::string config;
        bool dialogShown;
        const char* portInCommand;  // what follows /r, or "/ia" for USB
    };
    const Case cases[] = {
        {"TRUE beyond the 255th character is cut away",
         Config("PORTDLG=" + std::string(260, 'x') + "TRUE\r\nPORT=COM2\r\n"), false, "/r \"COM2:\""},
        {"TRUE ending at the 255th character is read",
         Config("PORTDLG=" + std::string(251, 'x') + "TRUE\r\nPORT=COM2\r\n"), true, "/r \"COM1:\""},
        {"WLAN beyond the cut leaves COM1", Config("PORTDLG=FALSE\r\nPORT=" + std::string(255, 'x') + "WLAN\r\n"),
         false, "/r \"COM1:\""},
        {"USB within the buffer", Config("PORTDLG=FALSE\r\nPORT=" + std::string(252, 'x') + "USB\r\n"), false, "/ia"},
        // Address numbers of any length: beyond 0 to 255 is 255, never a
        // number that wrapped round.
        {"huge address numbers",
         Config("PORTDLG=FALSE\r\nPORT=WLAN\r\nWLAN_IP_1=4294967296\r\nWLAN_IP_2=+7x\r\n"
                "WLAN_IP_3=99999999999999999999999\r\nWLAN_IP_4=-4294967296\r\nWLAN_PORT=9100\r\n"),
         false, "/r \"IP_255.7.255.255\""},
        {"a thousand digits", Config("PORTDLG=FALSE\r\nPORT=WLAN\r\nWLAN_IP_1=" + std::string(1000, '9') + "\r\n"),
         false, "/r \"IP_255.0.0.0\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto machine = sim::Machine::Preset("7", true);
        WritePackage(*machine, kPackage, c.config);
        bool shown = false;
        sim::Script script;
        script.OnDialog("Port Type", {UserAction::Call([&] { shown = true; }), UserAction::Click(kRadioCom1),
                                      UserAction::Click(kNext)});
        script.AnswerYesNo(false);
        Outcome run = RunProgram(*machine, resources::Program::Installer, kPackage, std::move(script));

        EXPECT_EQ(run.exitCode, 0);
        EXPECT_EQ(shown, c.dialogShown);
        ASSERT_EQ(run.children.size(), 1u);
        EXPECT_NE(run.children[0].find(c.portInCommand), std::string::npos) << run.children[0];
        ExpectWellFormedLog(run);
    }
}

// "<current directory>\ZMPK40_Config.KVT" is built in 256 bytes: from a
// package folder too deep for it the file beside the installer is not read,
// and the copy under the Windows directory answers.
TEST(BoundedConfiguration, PathTooLongForItsBufferFallsBackToTheWindowsCopy) {
    struct Case {
        size_t folderLength;
        const char* port;
    };
    const Case cases[] = {
        {236, "COM2:"},  // 236 + "\ZMPK40_Config.KVT" = 254 characters: fits
        {240, "COM3:"},  // 258: cut, so the copy under Windows is read
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.folderLength);
        auto machine = sim::Machine::Preset("xp", false);
        const std::string folder = "C:\\" + std::string(c.folderLength - 3, 'p');
        WritePackage(*machine, folder, Config("PORTDLG=FALSE\r\nPORT=COM2\r\n"));
        machine->WriteFile("C:\\WINDOWS\\ZMP-K40\\ZMPK40_Config.KVT", Config("PORTDLG=FALSE\r\nPORT=COM3\r\n"));
        sim::Script script;
        script.AnswerYesNo(false);
        Outcome run = RunProgram(*machine, resources::Program::Installer, folder, std::move(script));

        EXPECT_EQ(run.exitCode, 0);
        auto printer = machine->FindPrinter(kDriver);
        ASSERT_TRUE(printer);
        EXPECT_EQ(printer->port, c.port);
        ExpectWellFormedLog(run);
    }
}

// A printer and a form whose names do not fit a log line: each is removed
// by its whole name, and its log line is cut at the end of the line buffer.
TEST(BoundedNames, LongNamesAreRemovedWholeAndTheirLogLinesCut) {
    auto machine = sim::Machine::Preset("xp", false);
    InstallDriver(*machine);
    const std::string printer = "Printer " + std::string(1100, 'n');
    const std::string form = "Form " + std::string(1200, 'f') + " [K40]";
    machine->AddPrinterRecord(Printer(printer, "COM1:"));
    machine->AddPrinterRecord(Printer("KORVANT ZMP-K40", "COM2:"));
    machine->AddForm(form);

    sim::Script script;
    script.OnDialog("KORVANT ZMP-K40 Uninstaller", {UserAction::Click(1001)});
    script.AnswerYesNo(false);
    Outcome run = RunProgram(*machine, resources::Program::Uninstaller, machine->WindowsDirectory() + "\\ZMP-K40",
                             std::move(script));

    EXPECT_EQ(run.exitCode, 0);
    EXPECT_FALSE(machine->FindPrinter(printer));
    EXPECT_FALSE(machine->FindPrinter("KORVANT ZMP-K40"));
    std::vector<std::string> forms = machine->Forms();
    EXPECT_EQ(std::find(forms.begin(), forms.end(), form), forms.end());

    const std::string object = run.LogLine("OBJECT NAME : Printer ");
    EXPECT_EQ(object, ("OBJECT NAME : " + printer).substr(0, 1013));
    const std::string formLine = run.LogLine("FORM NAMES : Form ");
    EXPECT_EQ(formLine, ("FORM NAMES : " + form + " ").substr(0, 1013));
    ExpectWellFormedLog(run);
}

// An oem INF with a long name that carries the model is uninstalled by its
// whole name; one with the same long name but another model stays.
TEST(BoundedNames, LongOemInfNameIsDeletedWhole) {
    auto machine = sim::Machine::Preset("xp", false);
    InstallDriver(*machine);
    const std::string inf = machine->InfDirectory();
    const std::string ours = "oem" + std::string(200, 'l') + ".inf";
    const std::string theirs = "oem" + std::string(200, 'l') + "x.inf";
    machine->WriteFile(inf + "\\" + ours,
                       "[Version]\r\nSignature=\"$Windows NT$\"\r\n[KORVANT]\r\n\"KORVANT ZMP-K40\" = X\r\n");
    machine->WriteFile(inf + "\\" + ours.substr(0, ours.size() - 4) + ".PNF", "precompiled");
    machine->WriteFile(inf + "\\" + theirs,
                       "[Version]\r\nSignature=\"$Windows NT$\"\r\n[KORVANT]\r\n\"KORVANT ZMP-K50\" = X\r\n");

    sim::Script script;
    script.AnswerYesNo(false);
    Outcome run = RunProgram(*machine, resources::Program::Uninstaller, machine->WindowsDirectory() + "\\ZMP-K40",
                             std::move(script));

    EXPECT_EQ(run.exitCode, 0);
    EXPECT_FALSE(machine->FileExists(inf + "\\" + ours));
    EXPECT_FALSE(machine->FileExists(inf + "\\" + ours.substr(0, ours.size() - 4) + ".PNF"));
    EXPECT_TRUE(machine->FileExists(inf + "\\" + theirs));
    EXPECT_EQ(run.LogLine("'C:\\WINDOWS\\inf\\oem"), "'" + inf + "\\" + ours + "' has been deleted successfully.");
    ExpectWellFormedLog(run);
}

// Rights strings go through a 512-byte work buffer: only their first 511
// characters count, so a string of whole codes can become one of odd
// length, and then grants nothing. The trustee is passed on whole.
TEST(BoundedPermissions, RightsAreReadFromTheFirst511Characters) {
    struct Case {
        std::string rights;
        Dword mask;
        Dword result;
    };
    std::string fc255, rd254;
    for (int i = 0; i < 255; ++i) fc255 += "Fc";
    for (int i = 0; i < 254; ++i) rd254 += "Rd";
    const std::string fc256 = fc255 + "Fc";
    const Case cases[] = {
        {fc255, reg::kKeyAllAccess, err::kSuccess},                          // 510 characters
        {fc256, 0, err::kInvalidParameter},                                  // 512: cut to 511, odd
        {fc255 + "R", 0, err::kInvalidParameter},                            // 511 and odd
        {rd254 + "Wr", reg::kKeyRead | reg::kKeyWrite | reg::kKeyCreateLink, err::kSuccess},  // the last pair fits
        {rd254 + "RdWr", 0, err::kInvalidParameter},                         // 512: "Wr" cut in half
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        SCOPED_TRACE(i);
        const Case& c = cases[i];
        AccessRights parsed = ParseAccessRights(c.rights);
        EXPECT_EQ(parsed.mask, c.mask);
        EXPECT_EQ(parsed.result, c.result);
    }

    const std::string trustee(2000, 't');
    PermissionCommand command;
    EXPECT_EQ(ParsePermissionCommand("/PG:" + trustee + ":" + fc256, command), err::kSuccess);
    EXPECT_EQ(command.trustee, trustee);
    EXPECT_EQ(command.mask, 0u);
}

}  // namespace
}  // namespace zmp::bounded
