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
                        "RAW", {{"MajorVersion", 2}, {"ExtraVersion", 9}}, "winprint", "oem3.inf"});
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

}  // namespace
}  // namespace zmp::sim::test
