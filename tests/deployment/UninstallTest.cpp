// The uninstaller run as a deployment tool runs it, e.g. from the "Uninstall"
// entry's QuietUninstallString: command lines on simulated machines, with
// the exit codes such tools read and no window on the screen in a quiet run.
#include <gtest/gtest.h>

#include "tests/uninstall/Harness.h"

namespace zmp::test {
namespace {

std::vector<std::string> Log(const sim::Machine& machine) { return LogLines(machine); }

bool Logged(const sim::Machine& machine, const std::string& line) {
    std::vector<std::string> log = Log(machine);
    return std::find(log.begin(), log.end(), line) != log.end();
}

void TwoPrinters(sim::Machine& machine) {
    InstallDriver(machine);
    machine.AddPrinterRecord(PrinterOn("Office", "COM1:"));
    machine.AddPrinterRecord(PrinterOn("Warehouse", "COM2:"));
}

void DriverOnly(sim::Machine& machine) { InstallDriver(machine); }

// Jobs that will not go (SetJob refused below) keep the driver in use.
void PrinterWithJobs(sim::Machine& machine) {
    InstallDriver(machine);
    machine.AddPrinterRecord(PrinterOn("Office", "COM1:"));
    machine.AddJobs("Office", 3);
}

void Nothing(sim::Machine&) {}

TEST(UnattendedUninstallTest, CommandLinesOnMachines) {
    struct Case {
        const char* name;
        const char* os;
        bool is64;
        void (*prepare)(sim::Machine&);
        const char* arguments;
        const char* fault;  // a seam method failing throughout (access denied), or none
        int exitCode;
        std::vector<std::string> printersLeft;
        bool driverLeft;
        unsigned restarts;
        std::vector<std::string> shown;
        std::vector<std::string> answered;  // the boxes answered unseen, as the transcript begins them
    };
    const std::string restartNo = "LOGGED " + std::string(kRestartQuestionLine) + " -> NO";
    const std::string restartYes = "LOGGED " + std::string(kRestartQuestionLine) + " -> YES";
    const Case cases[] = {
        {"quiet, every printer and the driver", "xp", false, TwoPrinters, "/quiet", nullptr, 3010, {}, false, 0,
         {}, {restartNo}},
        {"quiet, 7 x64, every printer and the driver", "7", true, TwoPrinters, "/quiet /norestart", nullptr, 3010,
         {}, false, 0, {}, {restartNo}},
        {"quiet, one named printer", "xp", false, TwoPrinters, "/quiet /printer office", nullptr, 0, {"Warehouse"},
         true, 0, {}, {}},
        {"quiet, both named: the driver goes too", "xp", false, TwoPrinters,
         "/quiet /printer Office /printer Warehouse", nullptr, 3010, {}, false, 0, {}, {restartNo}},
        {"quiet, a name that is not listed: nothing removed", "xp", false, TwoPrinters,
         "/quiet /printer \"Front Desk\"", nullptr, 0, {"Office", "Warehouse"}, true, 0, {}, {}},
        {"quiet, forced restart", "7", true, TwoPrinters, "/quiet /forcerestart", nullptr, 1641, {}, false, 1, {},
         {restartYes}},
        {"quiet, no printer object: the driver goes at once", "xp", false, DriverOnly, "/quiet", nullptr, 3010, {},
         false, 0, {}, {restartNo}},
        {"quiet, nothing installed", "xp", false, Nothing, "/quiet", nullptr, 0, {}, false, 0, {},
         {"LOGGED The ZMP-K40 driver does not exist on this system. -> OK"}},
        {"quiet, the printers cannot be listed", "xp", false, TwoPrinters, "/quiet", "Spooler.EnumPrinters", 1603,
         {"Office", "Warehouse"}, true, 0, {}, {"LOGGED EnumPrinters Error Code: 5\\n\\n"}},
        {"quiet, the driver stays in use: what is left is reported", "7", true, PrinterWithJobs, "/quiet",
         "Spooler.SetJob", 1603, {"Office"}, true, 0, {},
         {"LOGGED The driver could not be removed completely.\\n\\nStill installed:\\n"}},
        {"passive, every printer and the driver", "xp", false, TwoPrinters, "/passive", nullptr, 3010, {}, false, 0,
         {kCaption}, {restartNo}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto machine = sim::Machine::Preset(c.os, c.is64);
        c.prepare(*machine);
        UninstallRun run;
        run.arguments = c.arguments;
        std::vector<std::string> shown;
        run.beforeStart = [&](sim::SimSystem& system, sim::HeadlessUi&) {
            if (c.fault) system.Faults().Fail(c.fault, err::kAccessDenied);
        };
        run.afterEnd = [&](sim::SimSystem&, sim::HeadlessUi& ui) { shown = ui.Shown(); };

        EXPECT_EQ(run.On(*machine), c.exitCode);
        EXPECT_EQ(PrinterNames(*machine), c.printersLeft);
        EXPECT_EQ(machine->FindDriver(kDriverName, Environment(*machine)).has_value(), c.driverLeft);
        EXPECT_EQ(machine->RestartsRequested(), c.restarts);
        EXPECT_EQ(shown, c.shown);
        EXPECT_TRUE(run.Lines("BOX").empty());
        const std::vector<std::string> answered = run.Lines("LOGGED");
        ASSERT_EQ(answered.size(), c.answered.size());
        for (size_t i = 0; i < answered.size(); ++i) EXPECT_EQ(answered[i].rfind(c.answered[i], 0), 0u) << answered[i];
        EXPECT_TRUE(Logged(*machine, "EXIT CODE : " + std::to_string(c.exitCode)));
    }
}

TEST(UnattendedUninstallTest, NamesNotListedAreLogged) {
    auto machine = sim::Machine::Preset("xp", false);
    TwoPrinters(*machine);
    UninstallRun run;
    run.arguments = "/quiet /printer Warehouse /printer Lobby";
    EXPECT_EQ(run.On(*machine), 0);
    EXPECT_EQ(PrinterNames(*machine), std::vector<std::string>{"Office"});
    EXPECT_TRUE(Logged(*machine, "PRINTER NOT FOUND : Lobby"));
    EXPECT_FALSE(Logged(*machine, "PRINTER NOT FOUND : Warehouse"));
}

// Interactive, /printer answers the list as the user would and the rest of
// the run asks as always.
TEST(UnattendedUninstallTest, InteractivePrinterSwitchChoosesAndPressesUninstall) {
    auto machine = sim::Machine::Preset("xp", false);
    TwoPrinters(*machine);
    machine->AddPrinterRecord(PrinterOn("Kitchen", "COM3:"));
    UninstallRun run;
    run.arguments = "/printer Kitchen /printer OFFICE";
    EXPECT_EQ(run.On(*machine), 0);
    EXPECT_EQ(PrinterNames(*machine), std::vector<std::string>{"Warehouse"});
    EXPECT_TRUE(run.Has("STATUS The uninstallation has been completed."));
    EXPECT_TRUE(run.Lines("LOGGED").empty());
    EXPECT_FALSE(Logged(*machine, "EXIT CODE : 0"));
}

TEST(UnattendedUninstallTest, AnotherInstanceOrABadSwitch) {
    {
        SCOPED_TRACE("another instance");
        auto machine = sim::Machine::Preset("xp", false);
        TwoPrinters(*machine);
        sim::Desktop desktop;
        UninstallRun first, second;
        first.desktop = second.desktop = &desktop;
        second.arguments = "/quiet";
        first.script.OnDialog(kCaption, {sim::UserAction::Call([&] { second.On(*machine); }),
                                         sim::UserAction::Click(kUninstallButton)});
        EXPECT_EQ(first.On(*machine), 0);
        EXPECT_EQ(second.exitCode, 1618);
        EXPECT_EQ(second.events.Lines(), std::vector<std::string>{"EXIT 1618"});
        EXPECT_EQ(desktop.Foreground(), WindowId::None);
        EXPECT_TRUE(machine->Printers().empty());
    }
    {
        SCOPED_TRACE("a switch of the installer");
        auto machine = sim::Machine::Preset("xp", false);
        TwoPrinters(*machine);
        UninstallRun run;
        run.arguments = "/quiet /port COM1";
        EXPECT_EQ(run.On(*machine), 87);
        EXPECT_EQ(PrinterNames(*machine), (std::vector<std::string>{"Office", "Warehouse"}));
        EXPECT_TRUE(run.Lines("BOX").empty());
        EXPECT_TRUE(Logged(*machine, "EXIT CODE : 87"));
    }
}

}  // namespace
}  // namespace zmp::test
