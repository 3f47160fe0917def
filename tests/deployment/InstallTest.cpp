// The installer run as a deployment tool runs it: command lines on
// simulated machines, with the exit codes such tools read and no window on
// the screen in a quiet run.
#include <gtest/gtest.h>

#include "tests/install/InstallFixture.h"

namespace zmp::test {
namespace {

constexpr const char* kProgressWindow = "Installation Progress";
constexpr const char* kNoPort =
    "MISSING : the printer's port: /port COM1|COM2|COM3|COM4|USB|WLAN:A.B.C.D[:PORT], or PORT in ZMPK40_Config.KVT";

enum class Driver { Absent, Present, Either };

bool LogHasLineStarting(const RunResult& run, const std::string& start) {
    for (const std::string& line : run.log)
        if (line.rfind(start, 0) == 0) return true;
    return false;
}

// An older version installed by an earlier package, the current package in place.
void InstallOlderVersion(sim::Machine& machine) {
    SetPackageVersion(machine, "2.0.5.9");
    ASSERT_EQ(RunInstaller(machine, ChoosePort(kRadioCom1)).exitCode, 0);
    SetPackageVersion(machine, "2.0.6.0");
}

TEST(UnattendedInstallTest, CommandLinesOnMachines) {
    struct Case {
        const char* name;
        const char* os;
        bool is64;
        const char* config;     // the package's configuration lines, "" for no file
        const char* arguments;
        void (*prepare)(sim::Machine&);
        BeforeStart faults;
        int exitCode;
        const char* port;       // where printer "KORVANT ZMP-K40" is; nullptr: there is none
        Driver driver;
        unsigned restarts;
        std::vector<std::string> shown;  // the windows on the screen
    };
    auto refuseAddPrinter = [](sim::SimSystem& s, sim::HeadlessUi&) {
        s.Faults().Fail("Spooler.AddPrinter", err::kUnknownPort);
    };
    auto childTimesOut = [](sim::Machine& m) { m.ModelSwitches().childTimesOut = true; };
    auto driverFileMissing = [](sim::Machine& m) { m.Remove(std::string(kPackage) + "\\Driver64\\ZPUI40.dll"); };
    auto childNotStarted = [](sim::Machine& m) { m.ModelSwitches().createProcessError = err::kFileNotFound; };
    const Case cases[] = {
        {"quiet, XP, COM2: restart needed", "xp", false, "", "/quiet /port COM2", nullptr, nullptr, 3010, "COM2:",
         Driver::Present, 0, {}},
        {"quiet, 7 x64, USB: the driver only", "7", true, "", "/quiet /port usb", nullptr, nullptr, 0, nullptr,
         Driver::Present, 0, {}},
        {"quiet, 7, wireless LAN with address and port", "7", false, "", "-QUIET /Port WLAN:192.168.0.50:9101",
         nullptr, nullptr, 3010, "IP_192.168.0.50", Driver::Present, 0, {}},
        {"quiet, forced restart answers the question", "xp", false, "", "/quiet /port COM1 /forcerestart",
         nullptr, nullptr, 1641, "COM1:", Driver::Present, 1, {}},
        {"quiet, forced restart where nothing is asked", "7", true, "", "/quiet /port USB /forcerestart", nullptr,
         nullptr, 1641, nullptr, Driver::Present, 1, {}},
        {"quiet, Windows 98 refused", "98", false, "", "/quiet /port USB", nullptr, nullptr, 1633, nullptr,
         Driver::Absent, 0, {}},
        {"quiet, the configuration's port", "xp", false, "PORTDLG=TRUE\r\nPORT=COM3\r\n", "/quiet", nullptr,
         nullptr, 3010, "COM3:", Driver::Present, 0, {}},
        {"quiet, /port over a configured installation", "xp", false, "PORTDLG=FALSE\r\nPORT=COM1\r\n",
         "/quiet /port COM4", nullptr, nullptr, 3010, "COM4:", Driver::Present, 0, {}},
        {"quiet, the child times out", "7", true, "", "/quiet /port USB", childTimesOut, nullptr, 1603, nullptr,
         Driver::Either, 0, {}},
        {"quiet, the child installs nothing", "7", true, "", "/quiet /port COM1", driverFileMissing, nullptr, 1603,
         nullptr, Driver::Absent, 0, {}},
        {"quiet, the child cannot be started", "7", true, "", "/quiet /port USB", childNotStarted, nullptr, 1603,
         nullptr, Driver::Absent, 0, {}},
        {"quiet, AddPrinter refused", "xp", false, "", "/quiet /port COM1", nullptr, refuseAddPrinter, 1603,
         nullptr, Driver::Present, 0, {}},
        {"quiet, a different version is removed and Windows restarted", "7", true, "", "/quiet /port COM1",
         InstallOlderVersion, nullptr, 1641, nullptr, Driver::Absent, 1, {}},
        {"quiet, a different version is removed, the restart held back", "7", true, "",
         "/quiet /port COM1 /norestart", InstallOlderVersion, nullptr, 3010, nullptr, Driver::Absent, 0, {}},
        {"passive, 7 x64, USB", "7", true, "", "/passive /port USB", nullptr, nullptr, 0, nullptr, Driver::Present,
         0, {kProgressWindow}},
        {"passive, the configuration's port", "7", false, "PORT=COM2\r\n", "/passive", nullptr, nullptr, 3010,
         "COM2:", Driver::Present, 0, {kProgressWindow}},
        {"interactive, /port and /norestart answer their questions", "xp", false, "", "/port COM2 /norestart",
         nullptr, nullptr, 0, "COM2:", Driver::Present, 0, {kProgressWindow}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto machine = NewMachine(c.os, c.is64, *c.config ? Config(c.config) : std::string());
        if (c.prepare) c.prepare(*machine);
        const unsigned restartsBefore = machine->RestartsRequested();

        RunResult run = RunInstaller(*machine, sim::Script(), c.faults, c.arguments);

        EXPECT_EQ(run.exitCode, c.exitCode);
        EXPECT_EQ(run.events.back(), "EXIT " + std::to_string(c.exitCode));
        auto printer = machine->FindPrinter(kPrinter);
        if (c.port) {
            ASSERT_TRUE(printer);
            EXPECT_EQ(printer->port, c.port);
        } else {
            EXPECT_FALSE(printer);
        }
        if (c.driver != Driver::Either) {
            EXPECT_EQ(machine->FindDriver(kPrinter, machine->Os().NativeEnvironment()).has_value(),
                      c.driver == Driver::Present);
        }
        EXPECT_EQ(machine->RestartsRequested() - restartsBefore, c.restarts);
        // Nothing on the screen but what the way of running allows; every
        // box was answered unseen and its text logged.
        EXPECT_EQ(run.shown, c.shown);
        for (const auto& box : run.boxes) {
            EXPECT_FALSE(box.shown) << box.text;
            EXPECT_TRUE(LogHasLineStarting(run, "MESSAGE BOX : " + box.text.substr(0, box.text.find_first_of("\r\n"))))
                << box.text;
        }
        EXPECT_TRUE(run.Kind("BOX").empty());
        // An unattended run says in its log how it ended; an interactive one
        // keeps the log it always had.
        const bool interactive = c.name[0] == 'i';
        EXPECT_EQ(run.Logged("EXIT CODE : " + std::to_string(c.exitCode)), !interactive);
        if (c.port && std::string(c.port).rfind("IP_", 0) == 0) {
            bool found = false;
            for (const sim::SimPort& p : machine->Ports())
                if (p.name == c.port) found = p.hostAddress == "192.168.0.50" && p.portNumber == 9101;
            EXPECT_TRUE(found) << "the TCP port 9101 at 192.168.0.50";
        }
    }
}

// A command line or a configuration that leaves the run without its answer
// ends it before anything is installed, with 87 and the reason in the log.
TEST(UnattendedInstallTest, WhatIsMissingOrRefusedEndsWith87) {
    struct Case {
        const char* arguments;
        const char* config;
        const char* logLine;  // the reason, as the log begins it
    };
    const Case cases[] = {
        {"/quiet", "", kNoPort},
        {"/passive", "PORTDLG=TRUE\r\n", kNoPort},
        {"/quiet /port COM9", "",
         "MESSAGE BOX : The port COM9 is none of COM1, COM2, COM3, COM4, USB, WLAN:A.B.C.D[:PORT]."},
        {"/quiet /port WLAN:10.0.0.1:10001", "",
         "MESSAGE BOX : The TCP port of WLAN:10.0.0.1:10001 is not a number from 1 to 10000."},
        {"/quiet /port WLAN:10.0.0.1:0", "",
         "MESSAGE BOX : The TCP port of WLAN:10.0.0.1:0 is not a number from 1 to 10000."},
        {"/quiet /port WLAN:10.0.300.1", "",
         "MESSAGE BOX : The address of WLAN:10.0.300.1 is not four numbers from 0 to 255 (A.B.C.D)."},
        {"/quiet /port WLAN:10.0.0", "",
         "MESSAGE BOX : The address of WLAN:10.0.0 is not four numbers from 0 to 255 (A.B.C.D)."},
        {"/quiet /port WLAN:0.0.0.0:9100", "",
         "MESSAGE BOX : The address of WLAN:0.0.0.0:9100 is 0.0.0.0, which is not the address of a printer."},
        {"/quiet /port", "", "MESSAGE BOX : /port needs a value."},
        {"/quiet /port COM1 /port COM2", "", "MESSAGE BOX : /port is given twice."},
        {"/quiet /bogus", "", "MESSAGE BOX : The switch /bogus is not known."},
        {"/quiet COM1", "", "MESSAGE BOX : \"COM1\" is not a switch."},
        {"/quiet /norestart /forcerestart", "", "MESSAGE BOX : /norestart and /forcerestart exclude each other."},
        // The dialog's own check refuses a configured port number out of range.
        {"/quiet", "PORT=WLAN\r\nWLAN_IP_1=10\r\nWLAN_PORT=20000\r\n", "ANSWER REFUSED : Port Type"},
        // ... and a configured wireless LAN without an address.
        {"/quiet", "PORT=WLAN\r\nWLAN_PORT=9100\r\n", "ANSWER REFUSED : Port Type"},
        // Without the dialog, configured values it would refuse bring it up
        // all the same, and it refuses them.
        {"/quiet", "PORTDLG=FALSE\r\nPORT=WLAN\r\nWLAN_IP_1=10\r\nWLAN_PORT=-5\r\n", "ANSWER REFUSED : Port Type"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments + std::string(" ") + c.config);
        auto machine = NewMachine("7", true, *c.config ? Config(c.config) : std::string());
        RunResult run = RunInstaller(*machine, sim::Script(), nullptr, c.arguments);
        EXPECT_EQ(run.exitCode, 87);
        EXPECT_TRUE(LogHasLineStarting(run, c.logLine));
        EXPECT_TRUE(run.Logged("EXIT CODE : 87"));
        EXPECT_TRUE(run.Kind("BOX").empty());
        EXPECT_TRUE(run.children.empty());
        EXPECT_FALSE(run.Logged("AddToWin2KWithWHQL BEGIN"));
        EXPECT_FALSE(machine->FindDriver(kPrinter, "Windows x64"));
        EXPECT_FALSE(machine->KeyExists(kUninstallKey));
    }
}

// Interactive, the usage is a message box: /? ends with 0, a refused
// command line with 87, and neither touches the log.
TEST(UnattendedInstallTest, UsageIsShownInAnInteractiveRun) {
    const std::pair<const char*, int> cases[] = {{"/?", 0}, {"-?", 0}, {"/port COM7", 87}, {"/log", 87}};
    for (const auto& [arguments, code] : cases) {
        SCOPED_TRACE(arguments);
        auto machine = NewMachine("7", true);
        RunResult run = RunInstaller(*machine, sim::Script(), nullptr, arguments);
        EXPECT_EQ(run.exitCode, code);
        ASSERT_EQ(run.boxes.size(), 1u);
        EXPECT_TRUE(run.boxes[0].shown);
        EXPECT_NE(run.boxes[0].text.find("ZMPK40_Installer [/quiet | /passive] [/norestart | /forcerestart]"),
                  std::string::npos);
        EXPECT_EQ(run.boxes[0].type, code == 0 ? mb::kIconInformation : mb::kIconExclamation);
        EXPECT_EQ(run.shown, std::vector<std::string>{"ZMPK40_Installer"});
        EXPECT_FALSE(machine->FileExists(kLog));
    }
}

// /log: every line of the log also in the copy, which starts afresh too.
TEST(UnattendedInstallTest, LogCopyHoldsTheWholeLog) {
    auto machine = NewMachine("7", true);
    machine->WriteFile("C:\\Deploy\\K40 install.txt", "an earlier run\r\n");
    RunResult run = RunInstaller(*machine, sim::Script(), nullptr, "/quiet /port USB /log \"C:\\Deploy\\K40 install.txt\"");
    EXPECT_EQ(run.exitCode, 0);
    auto log = machine->ReadFile(kLog);
    ASSERT_TRUE(log);
    EXPECT_NE(log->find("EXIT CODE : 0"), std::string::npos);
    EXPECT_EQ(machine->ReadFile("C:\\Deploy\\K40 install.txt"), log);
}

// A second installer while one runs: unattended, it ends with 1618 at
// once, leaves the running one where it is and its log alone.
TEST(UnattendedInstallTest, AnotherInstanceRunningEndsWith1618WithoutActivatingIt) {
    for (const char* arguments : {"/quiet /port USB", "/passive"}) {
        SCOPED_TRACE(arguments);
        auto machine = NewMachine("7", true);
        sim::Desktop desktop;
        int second = -100;
        std::vector<std::string> secondEvents;
        sim::Script script;
        script.OnDialog(kPortDialog, {sim::UserAction::Call([&] {
                                          RunResult run = RunInstaller(*machine, sim::Script(), nullptr, arguments,
                                                                       &desktop);
                                          second = run.exitCode;
                                          secondEvents = run.events;
                                      }),
                                      sim::UserAction::Click(kRadioUsb), sim::UserAction::Click(kNext)});
        RunResult first = RunInstaller(*machine, std::move(script), nullptr, "", &desktop);
        EXPECT_EQ(second, 1618);
        EXPECT_EQ(secondEvents, std::vector<std::string>{"EXIT 1618"});
        EXPECT_EQ(desktop.Foreground(), WindowId::None);
        // The first one went on to the end, its log whole.
        EXPECT_EQ(first.exitCode, 0);
        EXPECT_TRUE(first.Logged("AddToWin2KWithWHQL END"));
        EXPECT_FALSE(first.Logged("EXIT CODE : 1618"));
    }
}

}  // namespace
}  // namespace zmp::test
