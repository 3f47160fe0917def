// The uninstall workflow on installed machines: what the uninstaller decides
// before the user is asked, which printer objects go in which order, when the
// driver goes with everything that belongs to it, and how each run ends.
#include <gtest/gtest.h>

#include "simulator/SimPlatform.h"
#include "tests/common/Commands.h"
#include "tests/uninstall/Harness.h"

namespace zmp::test {
namespace {

using sim::UserAction;

// The four installations, by hand as the installer leaves them.
struct Installation {
    const char* name;
    const char* os;
    bool is64;
    const char* port;  // the printer object's port; "USB" = switched on after the install
};

void Install(sim::Machine& machine, const Installation& c) {
    InstallDriver(machine);
    const std::string port = c.port;
    if (port == "USB") {
        machine.PlugUsbPrinter();
        return;
    }
    if (port.rfind("IP_", 0) == 0)
        machine.AddPortRecord({port, "Standard TCP/IP Port", port.substr(3), 9100, 1});
    machine.AddPrinterRecord(PrinterOn(kDriverName, port));
}

TEST(UninstallWorkflowTest, AllCheckedAndNoRemovesEverythingOfTheDriver) {
    const Installation cases[] = {
        {"XP COM1", "xp", false, "COM1:"},
        {"7 32-bit USB", "7", false, "USB"},
        {"7 x64 WLAN", "7", true, "IP_192.168.0.10"},
        {"XP x64 COM3", "xp64", true, "COM3:"},
    };
    for (const Installation& c : cases) {
        SCOPED_TRACE(c.name);
        auto machine = sim::Machine::Preset(c.os, c.is64);
        Install(*machine, c);
        const std::vector<std::string> installed = DriverLeftovers(*machine);
        ASSERT_FALSE(installed.empty());

        UninstallRun run;
        run.script.OnDialog(kCaption, {UserAction::Click(kUninstallButton)});
        run.script.AnswerYesNo(false);
        EXPECT_EQ(run.On(*machine), 0);

        EXPECT_EQ(DriverLeftovers(*machine), std::vector<std::string>{});
        // What the removal keeps: the utilities folder with the uninstaller
        // and the configuration, and a network port.
        EXPECT_TRUE(machine->FileExists(UtilitiesFolder(*machine) + "\\ZMPK40_Uninstaller.exe"));
        EXPECT_TRUE(machine->FileExists(UtilitiesFolder(*machine) + "\\ZMPK40_Config.KVT"));
        if (std::string(c.port).rfind("IP_", 0) == 0) {
            bool port = false;
            for (const sim::SimPort& p : machine->Ports()) port = port || p.name == c.port;
            EXPECT_TRUE(port);
        }
        EXPECT_EQ(run.Lines("BOX"), std::vector<std::string>{"BOX " + std::string(kRestartQuestionLine) + " -> NO"});
        EXPECT_EQ(machine->RestartsRequested(), 0u);
        std::vector<std::string> all = run.events.Lines();
        ASSERT_FALSE(all.empty());
        EXPECT_EQ(all.back(), "EXIT 0");
    }
}

// Three printer objects, one unchecked: the two checked ones go, in the
// reverse of the displayed order; the driver stays and nothing is offered.
TEST(UninstallWorkflowTest, PartialSelectionKeepsTheDriver) {
    auto machine = sim::Machine::Preset("xp");
    InstallDriver(*machine);
    for (auto [name, port] : {std::pair{"Office", "COM1:"}, {"Warehouse", "COM2:"}, {"Kitchen", "COM3:"}})
        machine->AddPrinterRecord(PrinterOn(name, port));
    machine->AddJobs("Warehouse", 2);

    UninstallRun run;
    run.script.OnDialog(kCaption, {UserAction::Uncheck(kCheckList, "Kitchen"), UserAction::Click(kUninstallButton)});
    EXPECT_EQ(run.On(*machine), 0);

    EXPECT_EQ(PrinterNames(*machine), std::vector<std::string>{"Kitchen"});
    EXPECT_TRUE(machine->FindDriver(kDriverName, "Windows NT x86"));
    EXPECT_EQ(machine->Monitors().size(), 4u);
    EXPECT_TRUE(machine->KeyExists(kUninstallKey));
    EXPECT_TRUE(machine->FileExists(machine->InfDirectory() + "\\oem7.inf"));

    std::vector<std::string> log = LogLines(*machine);
    int begin = IndexOf(log, "RemovePrinterObjects BEGIN");
    ASSERT_GE(begin, 0);
    EXPECT_EQ(std::vector<std::string>(log.begin() + begin, log.begin() + begin + 4),
              (std::vector<std::string>{"RemovePrinterObjects BEGIN", "OBJECT NAME : Warehouse", "OBJECT NAME : Office",
                                        "RemovePrinterObjects END"}));
    EXPECT_EQ(log.size(), static_cast<size_t>(begin + 4));  // no driver removal follows

    // The jobs of the deleted printer are deleted first (one pause), the
    // spooler is restarted, and the end comes two seconds after the report.
    EXPECT_EQ(run.events.Lines(), (std::vector<std::string>{
                                      "PROGRESS 10",
                                      "STATUS Deleting printer-driver objects...",
                                      "SLEEP 1000",
                                      "SLEEP 1000",
                                      test::NetEvent("stop", "C:\\WINDOWS\\system32"),
                                      "SLEEP 2000",
                                      test::NetEvent("start", "C:\\WINDOWS\\system32"),
                                      "SLEEP 2000",
                                      "PROGRESS 100",
                                      "STATUS The uninstallation has been completed.",
                                      "SLEEP 2000",
                                      "EXIT 0",
                                  }));
}

// No printer object uses the driver, but it is installed: the removal
// starts by itself and ends with the restart question. On 64-bit Windows
// the driver is looked for in the x64 environment, where it is installed.
TEST(UninstallWorkflowTest, DriverWithoutPrinterObjectsIsRemovedAtOnce) {
    struct Case {
        const char* os;
        bool is64;
        bool yes;
        bool privilege;
        unsigned restarts;
    };
    const Case cases[] = {
        {"xp", false, false, true, 0},
        {"7", true, true, true, 1},
        {"vista", false, true, false, 0},  // without the shutdown privilege the program still ends
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.os) + (c.is64 ? " x64" : "") + (c.yes ? " yes" : " no"));
        auto machine = sim::Machine::Preset(c.os, c.is64);
        InstallDriver(*machine);
        machine->ModelSwitches().shutdownPrivilege = c.privilege;
        ASSERT_FALSE(DriverLeftovers(*machine).empty());

        sim::HeadlessUi* ui = nullptr;
        bool uninstallEnabled = true, cancelEnabled = true, listEnabled = true;
        LResult items = -1;
        UninstallRun run;
        run.beforeStart = [&](sim::SimSystem&, sim::HeadlessUi& u) { ui = &u; };
        run.script.AnswerYesNo(c.yes);
        run.script.WhileBoxShown([&](const std::string&) {
            WindowId dialog = ui->FindDialog(kCaption);
            uninstallEnabled = ui->IsWindowEnabled(ui->GetDlgItem(dialog, kUninstallButton));
            cancelEnabled = ui->IsWindowEnabled(ui->GetDlgItem(dialog, kCancelButton));
            listEnabled = ui->IsWindowEnabled(ui->GetDlgItem(dialog, kCheckList));
            items = ui->SendMessage(ui->GetDlgItem(dialog, kCheckList), msg::kLbGetCount, 0, 0);
        });
        EXPECT_EQ(run.On(*machine), 0);

        EXPECT_EQ(DriverLeftovers(*machine), std::vector<std::string>{});
        EXPECT_EQ(items, 0);
        EXPECT_FALSE(uninstallEnabled);
        EXPECT_FALSE(cancelEnabled);
        EXPECT_FALSE(listEnabled);
        std::vector<std::string> log = LogLines(*machine);
        EXPECT_GE(IndexOf(log, "KORVANT ZMP-K40 PRINTER DRIVER EXISTS."), 0);
        EXPECT_EQ(IndexOf(log, "RemovePrinterObjects BEGIN"), -1);
        EXPECT_FALSE(run.Has("STATUS Deleting printer-driver objects..."));
        EXPECT_EQ(run.Lines("BOX"), std::vector<std::string>{"BOX " + std::string(kRestartQuestionLine) +
                                                              (c.yes ? " -> YES" : " -> NO")});
        EXPECT_EQ(machine->RestartsRequested(), c.restarts);
        EXPECT_EQ(run.Has("RESTART"), c.restarts == 1);
        std::vector<std::string> all = run.events.Lines();
        ASSERT_GE(all.size(), 2u);
        EXPECT_EQ(all.back(), "EXIT 0");
        if (c.yes) {
            // The text once more, a pause, then the restart request.
            std::vector<std::string> expected{"SLEEP 1000"};
            if (c.restarts) expected.push_back("RESTART");
            EXPECT_EQ(std::vector<std::string>(all.end() - 1 - expected.size(), all.end() - 1), expected);
        }
    }
}

// Neither a printer object nor the driver: the user is told, a stale
// "Uninstall" entry (in the 64-bit view on 64-bit Windows) is removed, and
// nothing else is touched.
TEST(UninstallWorkflowTest, NoDriverRemovesOnlyAStaleUninstallEntry) {
    struct Case {
        const char* os;
        bool is64;
        bool staleEntry;
        bool otherPrinter;  // a printer of another make
    };
    const Case cases[] = {
        {"xp", false, true, false},
        {"7", true, true, true},
        {"2000", false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.os) + (c.is64 ? " x64" : ""));
        auto machine = sim::Machine::Preset(c.os, c.is64);
        if (c.staleEntry) machine->SetString(kUninstallKey, "DisplayName", "KORVANT ZMP-K40 2.0.6");
        if (c.otherPrinter) machine->AddPrinterRecord(PrinterOn("Laser", "LPT1:", "Generic / Text Only"));
        machine->WriteFile(std::string(kInstalledFolder) + "\\readme.txt", "older release");

        UninstallRun run;
        run.script.OnDialog(kCaption, {UserAction::Click(kUninstallButton)});
        EXPECT_EQ(run.On(*machine), 0);

        EXPECT_EQ(run.events.Lines(),
                  (std::vector<std::string>{"BOX The ZMP-K40 driver does not exist on this system. -> OK", "EXIT 0"}));
        EXPECT_FALSE(machine->KeyExists(kUninstallKey));
        EXPECT_TRUE(machine->DirectoryExists(kInstalledFolder));
        EXPECT_EQ(machine->Printers().size(), c.otherPrinter ? 1u : 0u);
        std::vector<std::string> log = LogLines(*machine);
        int begin = IndexOf(log, "DeleteUninstallInfoFromReg BEGIN");
        ASSERT_GE(begin, 0);
        EXPECT_EQ(std::vector<std::string>(log.begin() + begin, log.end()),
                  (std::vector<std::string>{
                      "DeleteUninstallInfoFromReg BEGIN",
                      "REGKEY : SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\KORVANT_ZMP-K40",
                      "DeleteUninstallInfoFromReg END"}));
        EXPECT_GE(IndexOf(log, "KORVANT ZMP-K40 PRINTER DRIVER DOES NOT EXIST."), 0);
    }
}

// The printers cannot be enumerated: the exclamation box with the code and
// the system's text, and the program ends without removing anything.
TEST(UninstallWorkflowTest, EnumPrintersFailureRemovesNothing) {
    auto machine = sim::Machine::Preset("7", true);
    InstallDriver(*machine);
    machine->AddPrinterRecord(PrinterOn(kDriverName, "COM1:"));
    const std::vector<std::string> before = DriverLeftovers(*machine);

    UninstallRun run;
    run.beforeStart = [](sim::SimSystem& system, sim::HeadlessUi&) {
        system.Faults().Fail("Spooler.EnumPrinters", err::kRpcServerUnavailable);
    };
    run.script.OnDialog(kCaption, {UserAction::Click(kUninstallButton)});
    EXPECT_EQ(run.On(*machine), 0);

    const std::string text = "EnumPrinters Error Code: 1722\n\n" + sim::SystemMessageText(err::kRpcServerUnavailable);
    EXPECT_FALSE(sim::SystemMessageText(err::kRpcServerUnavailable).empty());
    EXPECT_EQ(run.events.Lines(), (std::vector<std::string>{"BOX " + sim::Events::Escape(text) + " -> OK", "EXIT 0"}));
    EXPECT_EQ(DriverLeftovers(*machine), before);
    std::vector<std::string> log = LogLines(*machine);
    int begin = IndexOf(log, "AddPrinterObjectsToList BEGIN");
    ASSERT_GE(begin, 0);
    EXPECT_EQ(std::vector<std::string>(log.begin() + begin, log.end()),
              (std::vector<std::string>{"AddPrinterObjectsToList BEGIN", "AddPrinterObjectsToList END"}));
}

// Only printers whose driver name is the printer name byte for byte are
// listed; one whose driver differs in letter case is neither listed nor
// removed. The spooler takes that name for the same driver, which that
// printer then keeps in use: the run says so instead of completing.
TEST(UninstallWorkflowTest, DriverNameIsMatchedExactly) {
    auto machine = sim::Machine::Preset("xp");
    InstallDriver(*machine);
    machine->AddPrinterRecord(PrinterOn("Front desk", "COM1:"));
    machine->AddPrinterRecord(PrinterOn("Lookalike", "COM2:", "Korvant ZMP-K40"));
    machine->AddPrinterRecord(PrinterOn("Back office", "COM3:"));

    sim::HeadlessUi* ui = nullptr;
    std::vector<std::string> listed;
    UninstallRun run;
    run.beforeStart = [&](sim::SimSystem&, sim::HeadlessUi& u) { ui = &u; };
    run.script.OnDialog(kCaption, {UserAction::Call([&] {
                                       WindowId list = ui->GetDlgItem(ui->FindDialog(kCaption), kCheckList);
                                       LResult n = ui->SendMessage(list, msg::kLbGetCount, 0, 0);
                                       for (LResult i = 0; i < n; ++i) {
                                           char text[256] = {};
                                           ui->SendMessage(list, msg::kLbGetText, WParam(i), LParam(text));
                                           listed.push_back(text);
                                       }
                                   }),
                                   UserAction::Click(kUninstallButton)});
    EXPECT_EQ(run.On(*machine), -1);
    EXPECT_TRUE(run.Has("STATUS The uninstallation could not be completed."));
    EXPECT_TRUE(machine->FindDriver(kDriverName, Environment(*machine)));

    EXPECT_EQ(listed, (std::vector<std::string>{"Back office", "Front desk"}));  // sorted
    EXPECT_EQ(PrinterNames(*machine), std::vector<std::string>{"Lookalike"});
    std::vector<std::string> log = LogLines(*machine);
    int begin = IndexOf(log, "AddPrinterObjectsToList BEGIN");
    ASSERT_GE(begin, 0);
    EXPECT_EQ(std::vector<std::string>(log.begin() + begin, log.begin() + begin + 3),
              (std::vector<std::string>{"AddPrinterObjectsToList BEGIN", "The number of printer-objects : 2",
                                        "AddPrinterObjectsToList END"}));
    EXPECT_EQ(IndexOf(log, "OBJECT NAME : Lookalike"), -1);
}

}  // namespace
}  // namespace zmp::test
