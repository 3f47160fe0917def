// A machine in a directory: save, load, a hand-written state, show.
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/simulator/SimFixture.h"

namespace zmp::sim::test {
namespace {

namespace fs = std::filesystem;

std::string TempDir(const std::string& name) {
    fs::path dir = fs::temp_directory_path() / ("zmp-sim-" + name + "-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    return dir.string();
}

TEST(SimPersistence, SaveThenLoadKeepsWhatARunChanged) {
    std::string dir = TempDir("roundtrip");
    auto m = Machine::Preset("7", true);
    m->WriteFile("C:\\Windows\\ZMP-K40\\ZMPK40_Config.KVT", "[ZMPK40]\r\nPORT=USB\r\n");
    m->SetAttributes("C:\\Windows\\ZMP-K40\\ZMPK40_Config.KVT", file::kAttributeReadOnly);
    m->MakeJunction("C:\\Link", "C:\\Windows\\ZMP-K40");
    m->SetString("HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\KORVANT_ZMP-K40", "DisplayName",
                 "KORVANT ZMP-K40 Windows Driver V2.0.6");
    m->AddDriverRecord({"KORVANT ZMP-K40", "", 3, "UNIDRV.DLL", "ZMP40.GPD", "UNIDRVUI.DLL", "", {"ZMP40.dll"}, "",
                        "RAW", {{"MajorVersion", 2}, {"ExtraVersion", 9}}, "winprint", "oem3.inf", 0, 0, "", "", ""});
    m->AddPrinterRecord(Printer("KORVANT ZMP-K40", "KORVANT ZMP-K40", "COM1:"));
    m->AddJobs("KORVANT ZMP-K40", 3);
    m->AddForm("Label 40mm [K40]");
    m->PlugUsbPrinter();
    m->UnplugUsbPrinter();
    m->StopSpooler();
    m->SetTime({2025, 2, 3, 4, 5, 6, 7});
    std::string error;
    ASSERT_TRUE(m->Save(dir, &error)) << error;
    EXPECT_TRUE(fs::exists(fs::path(dir) / "drive" / "c" / "Windows" / "ZMP-K40" / "ZMPK40_Config.KVT"));

    auto loaded = Machine::Load(dir, &error);
    ASSERT_TRUE(loaded) << error;
    EXPECT_EQ(loaded->Show(), m->Show());
    EXPECT_EQ(loaded->Attributes("C:\\Link\\ZMPK40_Config.KVT"), file::kAttributeReadOnly);
    EXPECT_FALSE(loaded->SpoolerRunning());
    ASSERT_EQ(loaded->Printers().size(), 2u);  // Plug and Play added the USB printer
    EXPECT_EQ(loaded->Printers()[0].jobs.size(), 3u);
    EXPECT_FALSE(loaded->Devices().at(0).present);
    EXPECT_EQ(loaded->Now().minute, 5u);
    fs::remove_all(dir);
}

TEST(SimPersistence, HandWrittenStateStartsFromItsPreset) {
    std::string dir = TempDir("hand");
    fs::create_directories(fs::path(dir) / "drive" / "d" / "WINNT" / "system32");
    std::ofstream(fs::path(dir) / "drive" / "d" / "WINNT" / "system32" / "ZPMON40.dll") << "monitor";
    std::ofstream(fs::path(dir) / "state.json") << R"({
      // a Windows 2000 machine with an older driver installed
      "os": {"preset": "2000", "windowsDirectory": "D:\\WINNT", "language": "de", "codePage": 932},
      "spooler": {
        "drivers": [{"name": "KORVANT ZMP-K40", "driverPath": "UNIDRV.DLL", "dataFile": "ZMP40.GPD",
                     "configFile": "UNIDRVUI.DLL",
                     "reportedData": {"MajorVersion": 2, "MinorVersion": 0, "BuildVersion": 5, "ExtraVersion": 9}}],
        "printers": [{"name": "KORVANT ZMP-K40", "driver": "KORVANT ZMP-K40", "port": "COM2:"}],
        "monitors": [{"name": "KVT Language Monitor ZMP-K40", "dll": "ZPMON40.dll"}],
        "forms": ["Label [K40]"]
      },
      "registry": {"HKLM\\SOFTWARE\\KORVANT": {"values": {"Path": "D:\\KORVANT", "Count": 2}}}
    })";
    std::string error;
    auto m = Machine::Load(dir, &error);
    ASSERT_TRUE(m) << error;
    EXPECT_EQ(m->WindowsDirectory(), "D:\\WINNT");
    EXPECT_EQ(m->Os().language, "de");
    EXPECT_EQ(m->Os().ansiCodePage, 932u);
    EXPECT_TRUE(m->IsHeld("D:\\WINNT\\system32\\ZPMON40.dll"));
    EXPECT_EQ(m->Monitors().size(), 4u);                  // the preset's three and ours
    EXPECT_GT(m->Forms().size(), 20u);                    // the standard forms stay
    EXPECT_EQ(m->Forms().back(), "Label [K40]");
    EXPECT_TRUE(m->KeyExists("HKLM\\SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\KORVANT ZMP-K40"));
    EXPECT_EQ(m->GetValue("HKLM\\SOFTWARE\\KORVANT", "Count")->number, 2u);

    SimSystem sys(*m);
    std::vector<PrinterInfo2> printers;
    ASSERT_TRUE(sys.spooler.EnumPrinters(spool::kPrinterEnumLocal, printers).ok());
    PrinterHandle h;
    ASSERT_TRUE(sys.spooler.OpenPrinter(printers.at(0).printerName, std::nullopt, h).ok());
    Dword build = 0;
    EXPECT_EQ(sys.spooler.GetPrinterDataDword(h, "BuildVersion", build), err::kSuccess);
    EXPECT_EQ(build, 5u);

    std::ofstream(fs::path(dir) / "state.json") << R"({"os": {"preset": "3.1"}})";
    EXPECT_FALSE(Machine::Load(dir, &error));
    EXPECT_NE(error.find("3.1"), std::string::npos);
    fs::remove_all(dir);
}

TEST(SimPersistence, TheDocumentedExampleLoads) {
    std::ifstream doc(std::string(ZMP_SOURCE_DIR) + "/docs/simulator.md");
    std::stringstream text;
    text << doc.rdbuf();
    std::string md = text.str();
    size_t begin = md.find("```json\n");
    ASSERT_NE(begin, std::string::npos);
    begin += 8;
    size_t end = md.find("```", begin);
    std::string dir = TempDir("doc");
    fs::create_directories(dir);
    std::ofstream(fs::path(dir) / "state.json") << md.substr(begin, end - begin);

    std::string error;
    auto m = Machine::Load(dir, &error);
    ASSERT_TRUE(m) << error;
    EXPECT_TRUE(m->Os().is64Bit);
    EXPECT_FALSE(m->Devices().at(0).present);
    EXPECT_FALSE(m->KeyDeletable("HKLM\\SYSTEM\\CurrentControlSet\\Enum\\USBPRINT\\KORVANT_ZMP-K40"));
    SimSystem sys(*m);
    PrinterHandle h;
    ASSERT_TRUE(sys.spooler.OpenPrinter(std::string("KORVANT ZMP-K40"), std::nullopt, h).ok());
    Dword extra = 0;
    EXPECT_EQ(sys.spooler.GetPrinterDataDword(h, "ExtraVersion", extra), err::kSuccess);
    EXPECT_EQ(extra, 9u);
    fs::remove_all(dir);
}

TEST(SimPersistence, AHandWrittenStateWithAMistakeIsRefusedWithThePathOfTheField) {
    struct Case {
        const char* state;
        const char* error;
    } cases[] = {
        {R"({"os": {"preset": "7", "is64bit": true}})", "os.is64bit: unknown field"},
        {R"({"spooler": {"printers": [{"name": "P", "jobs": [1, "2"]}]}})",
         "spooler.printers[0].jobs[1]: expected a number from 0 to 4294967295"},
        {R"({"spooler": {"printers": [{"name": "P", "jobs": [-1]}]}})",
         "spooler.printers[0].jobs[0]: expected a number from 0 to 4294967295"},
        {R"({"switches": {"spoolerStopMs": "5000"}})", "switches.spoolerStopMs: expected a number from 0 to 4294967295"},
        {R"({"switches": {"childEnvironment": "x86"}})", "switches.childEnvironment: expected \"native\" or \"caller\""},
        {R"({"registry": {"HKLM\\SOFTWARE\\X": {"values": {"A": true}}}})",
         "registry[\"HKLM\\SOFTWARE\\X\"].values[\"A\"]: expected a string"},
        {R"({"registry": {"HKXX\\SOFTWARE\\X": {}}})", "registry[\"HKXX\\SOFTWARE\\X\"]: unknown root"},
        {R"({"devices": {"instanceId": "USB\\X"}})", "devices: expected an array"},
        {R"({"printers": []})", "printers: unknown field"},
        {R"([])", "the state: expected an object"},
    };
    for (const Case& c : cases) {
        std::string dir = TempDir("bad");
        fs::create_directories(dir);
        std::ofstream(fs::path(dir) / "state.json") << c.state;
        std::string error;
        EXPECT_FALSE(Machine::Load(dir, &error)) << c.state;
        EXPECT_EQ(error, std::string("state.json: ") + c.error) << c.state;
        fs::remove_all(dir);
    }
}

TEST(SimPersistence, ASaveThatWasCutShortLeavesTheMachineBeforeIt) {
    std::string dir = TempDir("atomic");
    auto before = Machine::Preset("xp");
    std::string error;
    ASSERT_TRUE(before->Save(dir, &error)) << error;
    auto after = Machine::Preset("xp");
    after->WriteFile("C:\\after.txt", "after");
    ASSERT_TRUE(after->Save(dir + "-next", &error)) << error;

    // Killed while writing the new machine beside the old one: the old one stays.
    fs::create_directories(fs::path(dir) / ".save.tmp" / "drive");
    std::ofstream(fs::path(dir) / ".save.tmp" / "state.json") << "{\"comple";
    auto loaded = Machine::Load(dir, &error);
    ASSERT_TRUE(loaded) << error;
    EXPECT_FALSE(loaded->FileExists("C:\\after.txt"));
    EXPECT_FALSE(fs::exists(fs::path(dir) / ".save.tmp"));

    // Killed after the new machine was complete, in the middle of moving it
    // in place (the drive already moved, the state not): the next load
    // finishes the move.
    fs::create_directories(fs::path(dir) / ".save");
    fs::rename(fs::path(dir) / "drive", fs::path(dir) / ".drive.old");
    fs::rename(fs::path(dir + "-next") / "drive", fs::path(dir) / "drive");
    fs::rename(fs::path(dir + "-next") / "state.json", fs::path(dir) / ".save" / "state.json");
    loaded = Machine::Load(dir, &error);
    ASSERT_TRUE(loaded) << error;
    EXPECT_EQ(loaded->Show(), after->Show());
    for (const char* left : {".save", ".drive.old"}) EXPECT_FALSE(fs::exists(fs::path(dir) / left)) << left;
    fs::remove_all(dir);
    fs::remove_all(dir + "-next");
}

TEST(SimPersistence, WhatARunLeavesPendingIsKept) {
    std::string dir = TempDir("pending");
    auto m = Machine::Preset("7", true);
    m->ModelSwitches().spoolerStopMs = 4000;
    m->WriteFile("C:\\Old.dll", "old");
    m->SetTime({2024, 6, 1, 0, 0, 0, 0});
    m->WriteFile("C:\\New.dll", "new");
    m->HoldOpen("C:\\New.dll", "splwow64.exe");
    m->PlugUsbPrinter();
    {
        SimSystem sys(*m);
        sys.processes.WinExec("net stop spooler", proc::kSwHide);
        sys.clock.Sleep(1000);
        DevInfoSet set;
        ASSERT_TRUE(sys.setup.GetClassDevs("USB", setup::kDigcfAllClasses, set).ok());
        DevInfoData device;
        ASSERT_TRUE(sys.setup.EnumDeviceInfo(set, 0, device).ok());
        ASSERT_TRUE(sys.setup.RemoveDevice(set, device).ok());
    }
    std::string error;
    ASSERT_TRUE(m->Save(dir, &error)) << error;
    auto loaded = Machine::Load(dir, &error);
    ASSERT_TRUE(loaded) << error;
    EXPECT_EQ(loaded->Show(), m->Show());
    EXPECT_EQ(loaded->SpoolerServiceState(), svc::kStopPending);
    EXPECT_EQ(loaded->HeldBy("C:\\New.dll"), std::vector<std::string>{"splwow64.exe"});
    EXPECT_EQ(loaded->UndiscoveredDevices().size(), 1u);
    loaded->Advance(3000);
    EXPECT_EQ(loaded->SpoolerServiceState(), svc::kStopped);

    // Last-write times travel with the files.
    EXPECT_EQ(loaded->LastWriteTime("C:\\New.dll"), EpochMilliseconds({2024, 6, 1, 0, 0, 0, 0}));
    EXPECT_LT(loaded->LastWriteTime("C:\\Old.dll"), loaded->LastWriteTime("C:\\New.dll"));
    fs::remove_all(dir);
}

}  // namespace
}  // namespace zmp::sim::test
