// The install engine's context and its two existence checks, with INF files
// written from literals into the simulated machine's INF directory.
#include <gtest/gtest.h>

#include "installer/DriverInstaller.h"
#include "tests/installer/Harness.h"

namespace zmp::test {
namespace {

// Records the reports the engine makes.
class RecordingProgress : public ProgressSink {
public:
    void Report(const std::string& text, Bar bar) override { reports.emplace_back(text, bar); }
    std::vector<std::pair<std::string, Bar>> reports;
};

struct Engine {
    Process process;
    Log log;
    DriverInstaller installer;
    RecordingProgress progress;

    Engine(const std::string& os, bool is64)
        : process(os, is64), log(process.platform->files, process.platform->clock),
          installer(*process.platform, log) {
        log.InitLogFile(LogName::Installer);
        installer.SetSystemInfo(is64, kOsWin7);
        installer.SetControlPointers(&progress);
    }
    sim::Machine& machine() { return *process.machine; }
    // The log lines from the marker on.
    std::vector<std::string> LinesFrom(const std::string& first) {
        std::vector<std::string> all = LogLines(machine());
        auto it = std::find(all.begin(), all.end(), first);
        return std::vector<std::string>(it, all.end());
    }
};

TEST(DriverInstallerTest, ContextComesFromTheStringTableAndTheBitness) {
    struct Case {
        bool is64;
        const char* environment;
        const char* folder;
        const char* line;
    };
    const Case cases[] = {
        {true, "Windows x64", "Driver64\\", "ENV : Windows x64, DRV DIR : Driver64\\ "},
        {false, "Windows NT x86", "Driver32\\", "ENV : Windows NT x86, DRV DIR : Driver32\\ "},
    };
    for (const Case& c : cases) {
        Engine e(c.is64 ? "7" : "xp", c.is64);
        EXPECT_EQ(e.installer.Environment(), c.environment);
        EXPECT_EQ(e.installer.SourceFolder(), c.folder);
        EXPECT_EQ(e.LinesFrom("SetSystemInfo BEGIN"),
                  (std::vector<std::string>{"SetSystemInfo BEGIN", c.line, "SetSystemInfo END", "",
                                            "", "SetControlPointers BEGIN", "SetControlPointers END"}));
        EXPECT_EQ(e.installer.PrinterName(), "KORVANT ZMP-K40");
        EXPECT_EQ(e.installer.MakerName(), "KORVANT");
        EXPECT_EQ(e.installer.InfName(), "ZMPK40.inf");
    }
}

TEST(DriverInstallerTest, PrinterDrvExistComparesTheExactNameInTheSystemsEnvironment) {
    struct Case {
        const char* name;
        const char* os;
        bool is64;
        std::vector<std::pair<const char*, const char*>> drivers;  // name, environment
        Dword enumerationFault;
        bool exists;
    };
    const Case cases[] = {
        {"installed, 32-bit", "xp", false,
         {{"Generic / Text Only", "Windows NT x86"}, {"KORVANT ZMP-K40", "Windows NT x86"}}, 0, true},
        // The 32-bit installer still finds the x64 driver of 64-bit Windows.
        {"installed, 64-bit", "7", true, {{"KORVANT ZMP-K40", "Windows x64"}}, 0, true},
        {"other case", "7", true,
         {{"korvant zmp-k40", "Windows x64"}, {"KORVANT ZMP-K40 ", "Windows x64"}}, 0, false},
        {"none", "7", true, {}, 0, false},
        {"enumeration fails", "7", true, {{"KORVANT ZMP-K40", "Windows x64"}}, err::kRpcServerUnavailable,
         false},
    };
    for (const Case& c : cases) {
        Engine e(c.os, c.is64);
        for (const auto& [name, environment] : c.drivers) {
            sim::SimDriver d;
            d.name = name;
            d.environment = environment;
            e.machine().AddDriverRecord(d, false);
        }
        if (c.enumerationFault) e.process.system->Faults().Fail("Spooler.EnumPrinterDrivers", c.enumerationFault);
        EXPECT_EQ(e.installer.PrinterDrvExist("KORVANT ZMP-K40"), c.exists) << c.name;
        std::string verdict = c.exists ? "KORVANT ZMP-K40 PRINTER DRIVER EXISTS."
                                       : "KORVANT ZMP-K40 PRINTER DRIVER DOES NOT EXIST.";
        EXPECT_EQ(e.LinesFrom("PrinterDrvExist BEGIN"),
                  (std::vector<std::string>{"PrinterDrvExist BEGIN", verdict, "PrinterDrvExist END"}))
            << c.name;
        ASSERT_EQ(e.progress.reports.size(), 1u) << c.name;
        EXPECT_EQ(e.progress.reports[0].first, "Checking existing drivers...\r\n");
        EXPECT_EQ(e.progress.reports[0].second, ProgressSink::Bar::Step);
        EXPECT_EQ(e.process.events.Lines(), std::vector<std::string>{"SLEEP 500"}) << c.name;
    }
}

constexpr const char* kOurInf =
    "[Version]\r\n"
    "Signature=\"$Windows NT$\"\r\n"
    "Class=Printer\r\n"
    "\r\n"
    "[Manufacturer]\r\n"
    "\"KORVANT\"=KORVANT,NTamd64\r\n"
    "\r\n"
    "[KORVANT]\r\n"
    "\"KORVANT ZMP-K40\" = ZMPK40, USBPRINT\\KORVANTZMP-K40A1B2\r\n"
    "\r\n"
    "[KORVANT.NTamd64]\r\n"
    "\"KORVANT ZMP-K40\" = ZMPK40, USBPRINT\\KORVANTZMP-K40A1B2\r\n";

constexpr const char* kOtherInf =
    "[Version]\r\n"
    "Signature=\"$Windows NT$\"\r\n"
    "\r\n"
    "[KORVANT]\r\n"
    "\"KORVANT ZMP-K50\" = ZMPK50\r\n";

constexpr const char* kOnly32BitInf =
    "[Version]\r\n"
    "Signature=\"$Windows NT$\"\r\n"
    "\r\n"
    "[KORVANT]\r\n"
    "\"KORVANT ZMP-K40\" = ZMPK40\r\n";

TEST(DriverInstallerTest, INFFileExistLooksAtEveryOemInf) {
    struct File {
        const char* name;
        const char* text;
    };
    struct Case {
        const char* name;
        bool is64;
        std::vector<File> files;
        const char* openFault;  // fail SetupOpenInfFile for the files, in the list's order
        bool exists;
        std::vector<std::string> lines;  // after the two name lines
    };
    const Case cases[] = {
        {"32-bit: the maker's section", false, {{"oem3.inf", kOurInf}}, nullptr, true,
         {"OEM FILES EXISTING : oem3.inf"}},
        {"64-bit: the .NTamd64 section", true, {{"oem3.inf", kOurInf}}, nullptr, true,
         {"OEM FILES EXISTING : oem3.inf"}},
        {"64-bit: no .NTamd64 section", true, {{"oem3.inf", kOnly32BitInf}}, nullptr, false, {}},
        {"other model", false, {{"oem1.inf", kOtherInf}}, nullptr, false, {}},
        {"\"OEM\" in capitals is skipped", false, {{"OEM7.inf", kOurInf}, {"ZMPK40.inf", kOurInf}},
         nullptr, false, {}},
        {"two matching files are both logged", false, {{"oem3.inf", kOurInf}, {"oem9.inf", kOurInf}},
         nullptr, true, {"OEM FILES EXISTING : oem3.inf", "OEM FILES EXISTING : oem9.inf"}},
        {"a file that cannot be opened does not match", false, {{"oem3.inf", kOurInf}}, "yes", false,
         {"SetupOpenInfFile failed. 5"}},
        {"no oem INF", false, {}, nullptr, false, {}},
    };
    for (const Case& c : cases) {
        Engine e(c.is64 ? "7" : "xp", c.is64);
        for (const File& f : c.files) e.machine().WriteFile(e.machine().InfDirectory() + "\\" + f.name, f.text);
        if (c.openFault) e.process.system->Faults().Fail("SetupApi.OpenInfFile", err::kAccessDenied);
        EXPECT_EQ(e.installer.INFFileExist("KORVANT", "ignored: the printer name is looked up"), c.exists)
            << c.name;
        std::vector<std::string> expected = {
            "INFFileExist BEGIN",
            c.is64 ? "SECTION NAME : KORVANT.NTamd64" : "SECTION NAME : KORVANT",
            "KEY NAME : KORVANT ZMP-K40",
        };
        expected.insert(expected.end(), c.lines.begin(), c.lines.end());
        expected.push_back("INFFileExist END");
        EXPECT_EQ(e.LinesFrom("INFFileExist BEGIN"), expected) << c.name;
        EXPECT_TRUE(e.progress.reports.empty()) << c.name;
    }
}

TEST(DriverInstallerTest, ShowSystemErrorAppendsTheSystemsEnglishText) {
    Engine e("xp", false);
    e.installer.ShowSystemError("AddMonitor Error Code: %d\n\n", err::kModNotFound);
    std::string text = "AddMonitor Error Code: 126\n\n" + sim::SystemMessageText(err::kModNotFound);
    ASSERT_FALSE(sim::SystemMessageText(err::kModNotFound).empty());
    EXPECT_EQ(e.process.events.Lines(), std::vector<std::string>{"BOX " + sim::Events::Escape(text) + " -> OK"});
}

}  // namespace
}  // namespace zmp::test
