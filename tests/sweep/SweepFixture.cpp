#include "tests/sweep/SweepFixture.h"

#include <algorithm>
#include <array>
#include <exception>

#include "simulator/ProcessExit.h"
#include "simulator/Text.h"
#include "tests/common/LogFile.h"
#include "tests/common/MachineStates.h"

namespace zmp::sweep {

using test::HasTimePrefix;
using test::RawLogLines;
using test::StripTimePrefix;
namespace {

using sim::Machine;
using sim::UserAction;

constexpr const char* kPrintKey = "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Print";
constexpr const char* kUninstallRoot = "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
constexpr const char* kUninstallerCaption = "KORVANT ZMP-K40 Uninstaller";
constexpr int kUninstallButton = 1001;
constexpr int kCheckList = 1006;
constexpr int kPortNext = 1;
constexpr int kRadioCom1 = 1006, kRadioCom2 = 1008, kRadioUsb = 1001;

// --- the other model: "ACME LX-9", and a sister model "KORVANT ZMP-K50"

constexpr const char* kOtherPrinter = "ACME LX-9";
constexpr const char* kOtherDriver = "ACME LX-9";
constexpr const char* kOtherMonitor = "ACME Language Monitor";
constexpr const char* kOtherProcessor = "ACME Processor";
constexpr const char* kOtherOemInf = "oem2.inf";
constexpr const char* kOtherDevice = "USB\\VID_1234&PID_5678\\ACME01";
constexpr const char* kHubDevice = "USB\\VID_1234&PID_0001\\HUB01";
constexpr const char* kLookalikePrinter = "KORVANT ZMP-K40 (ACME)";
const char* const kOtherDriverFiles[] = {"UNIDRV.DLL",   "UNIDRVUI.DLL", "UNIDRV.HLP", "UNIRES.DLL",
                                         "STDNAMES.GPD", "ACMELX9.GPD",  "ACMELX9.DLL"};
const char* const kOtherForms[] = {"Letter", "ACME Label [K41]", "Receipt [k40]"};
const char* const kOtherKeys[] = {
    "HKLM\\SOFTWARE\\ACME\\LX-9",
    "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\ACME_LX-9",
    "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\KORVANT_ZMP-K50",
    "HKLM\\SYSTEM\\CurrentControlSet\\Enum\\USBPRINT\\ACME_LX-9\\1&ACME&0&USB002",
    "HKLM\\SYSTEM\\CurrentControlSet\\Enum\\USBPRINT\\KORVANT_ZMP-K50",
};

std::string DriverDir(const Machine& m, const std::string& env) {
    return m.PrinterDriverDirectory(env);
}
std::string Native(const Machine& m) {
    return m.Os().NativeEnvironment();
}

// Files of the other model, by physical path.
std::vector<std::string> OtherModelFiles(const Machine& m) {
    const std::string env = Native(m);
    std::vector<std::string> files;
    for (const char* f : kOtherDriverFiles) files.push_back(DriverDir(m, env) + "\\3\\" + f);
    files.push_back(m.SystemDirectory() + "\\ACMEMON.dll");
    files.push_back(m.PrintProcessorDirectory(env) + "\\ACMEPRO.dll");
    files.push_back(m.InfDirectory() + "\\" + kOtherOemInf);
    files.push_back(m.InfDirectory() + "\\oem2.PNF");
    files.push_back(m.WindowsDirectory() + "\\ACMELX9.INI");
    files.push_back(m.WindowsDirectory() + "\\ZMP-K50\\ZMPK50_Uninstaller.exe");
    files.push_back("C:\\ACME Printer Driver\\LX-9\\readme.txt");
    files.push_back("C:\\KORVANT Printer Driver\\ZMP-K50\\readme.txt");
    // Staged by another installer, in both environments' driver directories.
    for (const char* e : {"Windows NT x86", "Windows x64"}) {
        if (std::string(e) == "Windows x64" && !m.Os().is64Bit) continue;
        files.push_back(DriverDir(m, e) + "\\ACMELX9.DLL");
        files.push_back(DriverDir(m, e) + "\\korvant_zmp_k502463\\zmpk50.inf");
    }
    return files;
}

void SeedOtherModel(Machine& m) {
    const std::string env = Native(m);
    m.AddMonitorRecord({kOtherMonitor, env, "ACMEMON.dll"});
    m.AddProcessorRecord({kOtherProcessor, env, "ACMEPRO.dll"});
    sim::SimDriver driver;
    driver.name = kOtherDriver;
    driver.environment = env;
    driver.driverPath = "UNIDRV.DLL";
    driver.dataFile = "ACMELX9.GPD";
    driver.configFile = "UNIDRVUI.DLL";
    driver.helpFile = "UNIDRV.HLP";
    driver.dependentFiles = {"UNIRES.DLL", "STDNAMES.GPD", "ACMELX9.DLL"};
    driver.monitorName = kOtherMonitor;
    driver.printProcessor = kOtherProcessor;
    driver.oemInf = kOtherOemInf;
    m.AddDriverRecord(driver);

    sim::SimPrinter printer;
    printer.name = kOtherPrinter;
    printer.driver = kOtherDriver;
    printer.port = "LPT1:";
    printer.processor = kOtherProcessor;
    m.AddPrinterRecord(printer);
    // Named like ours, but on the other model's driver.
    printer.name = kLookalikePrinter;
    printer.port = "LPT2:";
    m.AddPrinterRecord(printer);
    for (const char* form : kOtherForms) m.AddForm(form);

    m.WriteFile(m.InfDirectory() + "\\" + kOtherOemInf,
                "[Version]\r\nSignature=\"$Windows NT$\"\r\nClass=Printer\r\n\r\n"
                "[Manufacturer]\r\nACME=ACME,NTamd64\r\nKORVANT=KORVANT,NTamd64\r\n\r\n"
                "[ACME]\r\n\"ACME LX-9\" = LX9, USB\\Vid_1234&Pid_5678\r\n"
                "[ACME.NTamd64]\r\n\"ACME LX-9\" = LX9, USB\\Vid_1234&Pid_5678\r\n"
                // The sister model shares the maker's sections, not the model line.
                "[KORVANT]\r\n\"KORVANT ZMP-K50\" = K50\r\n"
                "[KORVANT.NTamd64]\r\n\"KORVANT ZMP-K50\" = K50\r\n");
    m.WriteFile(m.InfDirectory() + "\\oem2.PNF", "precompiled");
    sim::SimDevice device;
    device.instanceId = kOtherDevice;
    device.hardwareIds = {"USB\\Vid_1234&Pid_5678&Rev_0100", "USB\\Vid_1234&Pid_5678"};
    device.present = false;
    device.oemInf = kOtherOemInf;
    m.AddDevice(device);
    // A device that names our id only second: not ours.
    sim::SimDevice hub;
    hub.instanceId = kHubDevice;
    hub.hardwareIds = {"USB\\Vid_1234&Pid_0001", "USB\\Vid_7F3C&Pid_0042"};
    m.AddDevice(hub);

    for (const char* key : kOtherKeys) m.CreateKey(key);
    m.SetString("HKLM\\SOFTWARE\\ACME\\LX-9", "Path", "C:\\ACME Printer Driver\\LX-9");
    m.SetString(std::string(kUninstallRoot) + "KORVANT_ZMP-K50", "DisplayName", "KORVANT ZMP-K50 Windows Driver");
    m.ProtectKey("HKLM\\SYSTEM\\CurrentControlSet\\Enum\\USBPRINT\\ACME_LX-9");
    if (m.Os().is64Bit) m.CreateKey("HKLM\\SOFTWARE\\Wow6432Node\\ACME\\LX-9");

    for (const std::string& f : OtherModelFiles(m))
        if (!m.FileExists(f)) m.WriteFile(f, "acme");
}

// --- the package and an installed ZMP-K40

void WritePackage(Machine& m, const std::string& config = std::string()) {
    const std::string dir = kPackage;
    m.ImportHostFile(std::string(ZMP_SOURCE_DIR) + "/package/ZMPK40.inf", dir + "\\ZMPK40.inf");
    static const char* const kFiles[] = {"UNIDRV.DLL", "UNIDRVUI.DLL", "UNIDRV.HLP",  "UNIRES.DLL", "STDNAMES.GPD",
                                         "ZMP40.dll",  "ZPUI40.dll",   "ZPUNI40.dll", "ZPUI40.INI", "ZMP40.GPD",
                                         "ZMP40.BUD",  "ZPMON40.dll",  "ZPPRO40.dll"};
    for (const char* arch : {"Driver32", "Driver64"})
        for (const char* f : kFiles) m.WriteFile(dir + "\\" + arch + "\\" + f, std::string("new ") + f);
    m.WriteFile(dir + "\\ZMPK40_Uninstaller.exe", "MZ uninstaller");
    m.WriteFile(dir + "\\ZMPK40_Config.KVT", config.empty() ? "[ZMPK40]\r\nPORTDLG=TRUE\r\n" : config);
}

sim::SimPrinter OurPrinter(const std::string& name, const std::string& port) {
    sim::SimPrinter p;
    p.name = name;
    p.driver = kDriver;
    p.port = port;
    p.processor = kProcessor;
    return p;
}

// What an earlier installation of version `version` left; without the
// driver, what one that failed half way left.
void SeedInstalled(Machine& m, std::array<Dword, 4> version, bool withDriver = true) {
    const std::string env = Native(m);
    const std::string windir = m.WindowsDirectory();
    const bool monitorInWindows = m.Os().is64Bit && !m.Os().VistaOrLater();
    m.WriteFile((monitorInWindows ? windir : m.SystemDirectory()) + "\\ZPMON40.dll", "monitor");
    m.AddMonitorRecord({kMonitor, env, "ZPMON40.dll"});
    m.WriteFile(m.PrintProcessorDirectory(env) + "\\ZPPRO40.dll", "processor");
    m.AddProcessorRecord({kProcessor, env, "ZPPRO40.dll"});

    const std::string oem = "oem7.inf";
    m.WriteFile(m.InfDirectory() + "\\" + oem,
                "[Version]\r\nSignature=\"$Windows NT$\"\r\nClass=Printer\r\n\r\n"
                "[Manufacturer]\r\nKORVANT=KORVANT,NTamd64\r\n\r\n"
                "[KORVANT]\r\n\"KORVANT ZMP-K40\" = ZMPK40_X86\r\n\r\n"
                "[KORVANT.NTamd64]\r\n\"KORVANT ZMP-K40\" = ZMPK40_AMD64\r\n");
    m.WriteFile(m.InfDirectory() + "\\oem7.PNF", "precompiled");

    sim::SimDriver driver;
    driver.name = kDriver;
    driver.environment = env;
    driver.driverPath = "UNIDRV.DLL";
    driver.dataFile = "ZMP40.GPD";
    driver.configFile = "UNIDRVUI.DLL";
    driver.helpFile = "UNIDRV.HLP";
    driver.dependentFiles = {"UNIRES.DLL",  "STDNAMES.GPD", "ZMP40.dll", "ZPUI40.dll",
                             "ZPUNI40.dll", "ZPUI40.INI",   "ZMP40.BUD"};
    driver.monitorName = kMonitor;
    driver.printProcessor = kProcessor;
    driver.oemInf = oem;
    driver.reportedData = {{"MajorVersion", version[0]},
                           {"MinorVersion", version[1]},
                           {"BuildVersion", version[2]},
                           {"ExtraVersion", version[3]}};
    if (withDriver) m.AddDriverRecord(driver);
    if (!m.Os().VistaOrLater() && !m.Os().is64Bit)
        for (const char* f : {"ZMP40.dll", "ZMP40.GPD", "ZPUI40.dll", "ZPUNI40.dll", "ZPUI40.INI"})
            m.WriteFile(windir + "\\" + f, "copy");

    m.WriteFile(windir + "\\ZMP-K40\\ZMPK40_Uninstaller.exe", "uninstaller");
    m.WriteFile(windir + "\\ZMP-K40\\ZMPK40_Config.KVT", "[ZMPK40]\r\n");
    m.SetString(kUninstallKey, "DisplayName", "KORVANT ZMP-K40 Windows Driver V2.0.6");
    m.SetString(kUninstallKey, "UninstallString", windir + "\\ZMP-K40\\ZMPK40_Uninstaller.exe");
    m.SetString(kUninstallKey, "InfFile", m.InfDirectory() + "\\" + oem);
    if (!withDriver) return;
    m.AddForm("Label 60x40 [K40]");
    m.AddForm("[K40] Receipt 80");
    m.WriteFile("C:\\KORVANT Printer Driver\\ZMP-K40\\readme.txt", "older release");
}

// Ours for the clients of "Windows NT x86" on 64-bit Windows, with the
// language monitor the server itself holds.
void SeedAdditionalX86(Machine& m) {
    m.WriteFile(m.SystemDirectory() + "\\ZPMON40.dll", "monitor");
    m.AddMonitorRecord({kMonitor, Native(m), "ZPMON40.dll"});
    test::AddOursForX86Clients(m);
}

std::unique_ptr<Machine> NewMachine(const std::string& os, bool is64) {
    auto m = Machine::Preset(os, is64);
    SeedOtherModel(*m);
    return m;
}

sim::Script ChoosePort(int radio, bool restartYes) {
    sim::Script script;
    script.OnDialog("Port Type", {UserAction::Click(radio), UserAction::Click(kPortNext)});
    script.AnswerYesNo(restartYes);
    return script;
}

// A run without choices: the restart question answered.
sim::Script RestartAnswer(bool yes) {
    sim::Script script;
    script.AnswerYesNo(yes);
    return script;
}

std::vector<std::string> Missing(bool present, const std::string& what) {
    return present ? std::vector<std::string>{} : std::vector<std::string>{what};
}

}  // namespace

std::vector<std::string> OtherModelMissing(const Machine& m) {
    std::vector<std::string> missing;
    const std::string env = Native(m);
    auto need = [&](bool present, const std::string& what) {
        if (!present) missing.push_back(what);
    };
    auto printer = m.FindPrinter(kOtherPrinter);
    need(printer && printer->driver == kOtherDriver, "printer " + std::string(kOtherPrinter));
    need(m.FindDriver(kOtherDriver, env).has_value(), "driver " + std::string(kOtherDriver));
    bool monitor = false, processor = false;
    for (const auto& mon : m.Monitors()) monitor = monitor || mon.name == kOtherMonitor;
    for (const auto& p : m.Processors()) processor = processor || p.name == kOtherProcessor;
    need(monitor, "monitor");
    need(processor, "processor");
    // The spooler's registry keys: an object whose key went would be gone
    // at the next start of the spooler.
    const std::string print = kPrintKey;
    for (const std::string& key : {print + "\\Printers\\" + kOtherPrinter,
                                   print + "\\Environments\\" + env + "\\Drivers\\Version-3\\" + kOtherDriver,
                                   print + "\\Monitors\\" + kOtherMonitor,
                                   print + "\\Environments\\" + env + "\\Print Processors\\" + kOtherProcessor})
        need(m.KeyExists(key), "key " + key);
    std::vector<std::string> forms = m.Forms();
    for (const char* form : kOtherForms)
        need(std::find(forms.begin(), forms.end(), form) != forms.end(), std::string("form ") + form);
    for (const char* id : {kOtherDevice, kHubDevice}) {
        bool device = false;
        for (const auto& d : m.Devices()) device = device || d.instanceId == id;
        need(device, std::string("device ") + id);
    }
    auto lookalike = m.FindPrinter(kLookalikePrinter);
    need(lookalike && lookalike->driver == kOtherDriver, std::string("printer ") + kLookalikePrinter);
    for (const char* key : kOtherKeys) need(m.KeyExists(key), std::string("key ") + key);
    need(m.GetString("HKLM\\SOFTWARE\\ACME\\LX-9", "Path").has_value(), "value ACME\\LX-9 Path");
    if (m.Os().is64Bit) need(m.KeyExists("HKLM\\SOFTWARE\\Wow6432Node\\ACME\\LX-9"), "key Wow6432Node\\ACME");
    for (const std::string& f : OtherModelFiles(m)) need(m.FileExists(f), "file " + f);
    return missing;
}

std::vector<sim::SimPrinter> OtherPrinters(const Machine& m) {
    std::vector<sim::SimPrinter> others;
    for (const sim::SimPrinter& p : m.Printers())
        if (p.driver != kDriver) others.push_back(p);
    return others;
}

std::vector<std::string> OtherPrintersMissing(const std::vector<sim::SimPrinter>& before, const Machine& m) {
    std::vector<std::string> missing;
    for (const sim::SimPrinter& p : before) {
        auto now = m.FindPrinter(p.name);
        if (!now || now->driver != p.driver || !m.KeyExists(std::string(kPrintKey) + "\\Printers\\" + p.name))
            missing.push_back("printer " + p.name + " on " + p.driver);
    }
    return missing;
}

std::vector<std::string> OursRegistered(const Machine& m) {
    std::vector<std::string> ours;
    for (const sim::SimPrinter& p : m.Printers())
        if (p.driver == kDriver) ours.push_back("printer " + p.name);
    for (const sim::SimDriver& d : m.Drivers())
        if (d.name == kDriver) ours.push_back("driver " + d.environment);
    for (const sim::SimProcessor& p : m.Processors())
        if (p.name == kProcessor) ours.push_back("processor " + p.environment);
    for (const sim::SimMonitor& mon : m.Monitors())
        if (mon.name == kMonitor) ours.push_back("monitor");
    return ours;
}

std::vector<Scenario> Scenarios() {
    std::vector<Scenario> out;
    using resources::Program;

    out.push_back({"installer, Windows 7 x64, USB", Program::Installer,
                   [] {
                       auto m = NewMachine("7", true);
                       WritePackage(*m);
                       return m;
                   },
                   [] { return ChoosePort(kRadioUsb, false); }, nullptr});

    out.push_back({"installer, Windows 7, wireless LAN from the configuration", Program::Installer,
                   [] {
                       auto m = NewMachine("7", false);
                       WritePackage(*m,
                                    "[ZMPK40]\r\nPORTDLG=FALSE\r\nPORT=WLAN\r\nWLAN_IP_1=192\r\nWLAN_IP_2=168\r\n"
                                    "WLAN_IP_3=0\r\nWLAN_IP_4=50\r\nWLAN_PORT=9100\r\n");
                       return m;
                   },
                   [] {
                       // The dialog only shows when the configuration cannot be read.
                       sim::Script s;
                       s.OnDialog("Port Type", {UserAction::Click(kPortNext)});
                       s.AnswerYesNo(false);
                       return s;
                   },
                   nullptr});

    out.push_back({"installer, Windows XP, COM2", Program::Installer,
                   [] {
                       auto m = NewMachine("xp", false);
                       WritePackage(*m);
                       return m;
                   },
                   [] { return ChoosePort(kRadioCom2, true); }, nullptr});

    out.push_back({"installer, Windows XP, same version installed", Program::Installer,
                   [] {
                       auto m = NewMachine("xp", false);
                       WritePackage(*m);
                       SeedInstalled(*m, {2, 0, 6, 0});
                       m->AddPrinterRecord(OurPrinter(kDriver, "COM2:"));
                       return m;
                   },
                   [] { return ChoosePort(kRadioCom2, false); },
                   [](const Machine& m) {
                       std::vector<std::string> missing =
                           Missing(m.FindPrinter(kDriver).has_value(), "printer KORVANT ZMP-K40");
                       if (!m.FindDriver(kDriver, Native(m))) missing.push_back("driver KORVANT ZMP-K40");
                       return missing;
                   }});

    out.push_back({"installer, Windows 7 x64, newer version installed", Program::Installer,
                   [] {
                       auto m = NewMachine("7", true);
                       WritePackage(*m);
                       SeedInstalled(*m, {2, 1, 0, 0});
                       m->AddPrinterRecord(OurPrinter(kDriver, "COM1:"));
                       return m;
                   },
                   [] { return ChoosePort(kRadioCom1, false); }, nullptr});

    out.push_back({"uninstaller, Windows 7 x64, all checked", Program::Uninstaller,
                   [] {
                       auto m = NewMachine("7", true);
                       SeedInstalled(*m, {2, 0, 6, 0});
                       m->PlugUsbPrinter();  // Plug and Play's printer on USB001
                       m->UnplugUsbPrinter();
                       m->AddPrinterRecord(OurPrinter("KORVANT ZMP-K40 (Office)", "COM1:"));
                       return m;
                   },
                   [] {
                       sim::Script s;
                       s.OnDialog(kUninstallerCaption, {UserAction::Click(kUninstallButton)});
                       s.AnswerYesNo(false);
                       return s;
                   },
                   nullptr});

    out.push_back({"uninstaller, Windows XP, one unchecked", Program::Uninstaller,
                   [] {
                       auto m = NewMachine("xp", false);
                       SeedInstalled(*m, {2, 0, 6, 0});
                       m->AddPrinterRecord(OurPrinter(kDriver, "COM1:"));
                       m->AddPrinterRecord(OurPrinter("KORVANT ZMP-K40 (Copy 1)", "COM2:"));
                       m->AddPrinterRecord(OurPrinter("Warehouse ZMP", "COM3:"));
                       m->AddJobs("KORVANT ZMP-K40", 3);
                       return m;
                   },
                   [] {
                       sim::Script s;
                       s.OnDialog(kUninstallerCaption, {UserAction::Uncheck(kCheckList, "Warehouse ZMP"),
                                                        UserAction::Click(kUninstallButton)});
                       return s;
                   },
                   [](const Machine& m) {
                       std::vector<std::string> missing =
                           Missing(m.FindPrinter("Warehouse ZMP").has_value(), "printer Warehouse ZMP");
                       const std::string env = Native(m);
                       if (!m.FindDriver(kDriver, env)) missing.push_back("driver KORVANT ZMP-K40");
                       bool monitor = false;
                       for (const auto& mon : m.Monitors()) monitor = monitor || mon.name == kMonitor;
                       if (!monitor) missing.push_back("monitor of the kept driver");
                       if (!m.FileExists(m.PrinterDriverDirectory(env) + "\\3\\ZMP40.dll"))
                           missing.push_back("file ZMP40.dll of the kept driver");
                       if (!m.KeyExists(kUninstallKey)) missing.push_back("key Uninstall of the kept driver");
                       return missing;
                   }});

    out.push_back({"uninstaller, Windows 7 x64, driver without printers", Program::Uninstaller,
                   [] {
                       auto m = NewMachine("7", true);
                       SeedInstalled(*m, {2, 0, 6, 0});
                       return m;
                   },
                   [] { return RestartAnswer(true); }, nullptr});

    out.push_back({"uninstaller, Windows XP, nothing installed", Program::Uninstaller,
                   [] {
                       auto m = NewMachine("xp", false);
                       m->SetString(kUninstallKey, "DisplayName", "KORVANT ZMP-K40 Windows Driver V2.0.5");
                       m->WriteFile(m->WindowsDirectory() + "\\ZMP-K40\\ZMPK40_Uninstaller.exe", "uninstaller");
                       return m;
                   },
                   [] { return sim::Script(); }, nullptr});

    // --- machines where the removal must take all of ours and nothing else

    out.push_back({"installer, Windows XP, a failed installation's parts, another driver's printer named like ours",
                   Program::Installer,
                   [] {
                       auto m = NewMachine("xp", false);
                       WritePackage(*m);
                       SeedInstalled(*m, {2, 0, 5, 0}, /*withDriver*/ false);
                       test::AddPrinterNamedLikeOurs(*m);
                       return m;
                   },
                   [] { return ChoosePort(kRadioCom2, false); }, nullptr});

    out.push_back({"installer, Windows 7 x64, our x86 driver and processor, another driver's printer named like ours",
                   Program::Installer,
                   [] {
                       auto m = NewMachine("7", true);
                       WritePackage(*m);
                       SeedAdditionalX86(*m);
                       test::AddPrinterNamedLikeOurs(*m);
                       return m;
                   },
                   [] { return ChoosePort(kRadioUsb, false); }, nullptr});

    out.push_back({"uninstaller, Windows 7 x64 in code page 932, USB key and Uninstall key with subkeys",
                   Program::Uninstaller,
                   [] {
                       auto m = NewMachine("7", true);
                       sim::OsInfo os = m->Os();
                       os.language = "ja";
                       os.ansiCodePage = 932;
                       m->SetOs(os);
                       m->PlugUsbPrinter();  // before the driver: no printer, the key and the device
                       m->UnplugUsbPrinter();
                       SeedInstalled(*m, {2, 0, 6, 0});
                       m->SetString(std::string(kUninstallKey) + "\\Support", "Contact", "KORVANT");
                       // A folder whose name ends in a character with 0x5C as its second byte.
                       m->WriteFile("C:\\KORVANT Printer Driver\\ZMP-K40\\" + sim::FromAnsi(932, "\x95\x5C") +
                                        "\\readme.txt",
                                    "japanese");
                       return m;
                   },
                   [] { return RestartAnswer(false); }, nullptr});

    out.push_back({"uninstaller, Windows 7 x64 German, driver without printers", Program::Uninstaller,
                   [] {
                       auto m = NewMachine("7", true);
                       sim::OsInfo os = m->Os();
                       os.language = "de";
                       m->SetOs(os);
                       m->PlugUsbPrinter();
                       m->UnplugUsbPrinter();
                       SeedInstalled(*m, {2, 0, 6, 0});
                       return m;
                   },
                   [] { return RestartAnswer(false); }, nullptr});

    out.push_back({"uninstaller, Windows XP, a printer with 1005 queued jobs", Program::Uninstaller,
                   [] {
                       auto m = NewMachine("xp", false);
                       SeedInstalled(*m, {2, 0, 6, 0});
                       m->AddPrinterRecord(OurPrinter(kDriver, "COM1:"));
                       m->AddJobs(kDriver, 1005);
                       return m;
                   },
                   [] {
                       sim::Script s;
                       s.OnDialog(kUninstallerCaption, {UserAction::Click(kUninstallButton)});
                       s.AnswerYesNo(false);
                       return s;
                   },
                   nullptr});

    out.push_back({"uninstaller, Windows XP, after an installation that failed half way", Program::Uninstaller,
                   [] {
                       auto m = NewMachine("xp", false);
                       SeedInstalled(*m, {2, 0, 6, 0}, /*withDriver*/ false);
                       // The copy fallback's copy of the monitor in use.
                       m->WriteFile(m->SystemDirectory() + "\\ZPMON40.dll.old", "older monitor");
                       return m;
                   },
                   [] { return RestartAnswer(false); }, nullptr});
    return out;
}

namespace {

// Milliseconds of the machine's clock, for the virtual time a run took.
unsigned long long Milliseconds(const LocalTime& t) {
    // Days from the civil date (proleptic Gregorian), then the time of day.
    long long y = t.year, mo = t.month, d = t.day;
    y -= mo <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const long long yoe = y - era * 400;
    const long long doy = (153 * (mo + (mo > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const long long days = era * 146097 + yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return static_cast<unsigned long long>(((days * 24 + t.hour) * 60 + t.minute) * 60 + t.second) * 1000 +
           t.milliseconds;
}

// One entry per WriteLog: a line with the time prefix and the lines that a
// "\r\n" inside its message added.
std::vector<std::string> LogEntries(const Machine& m, resources::Program program) {
    const std::string path =
        m.WindowsDirectory().substr(0, 3) +
        (program == resources::Program::Installer ? "Temp\\ZMP-K40_Installer.txt" : "Temp\\ZMP-K40_UnInstaller.txt");
    std::vector<std::string> entries;
    for (const std::string& line : RawLogLines(m, path)) {
        if (HasTimePrefix(line) || entries.empty())
            entries.push_back(StripTimePrefix(line));
        else
            entries.back() += "\n" + line;
    }
    return entries;
}

}  // namespace

RunRecord RunOnce(const Scenario& scenario, Machine& machine, const std::function<void(sim::SimSystem&)>& inject) {
    RunRecord record;
    sim::Events events;
    sim::RunOptions options;
    options.program = scenario.program;
    options.currentDirectory = scenario.program == resources::Program::Installer
                                   ? std::string(kPackage)
                                   : machine.WindowsDirectory() + "\\ZMP-K40";
    options.script = scenario.script();
    options.beforeStart = [&](sim::SimSystem& system, sim::HeadlessUi&) {
        if (inject) inject(system);
    };
    options.afterEnd = [&](sim::SimSystem& system, sim::HeadlessUi& ui) {
        record.calls = system.CallNames();
        for (const auto& box : ui.Boxes()) record.boxes.push_back(box.text);
    };
    const unsigned long long start = Milliseconds(machine.Now());
    try {
        record.exitCode = sim::RunProgram(machine, std::move(options), events);
    } catch (const std::exception& e) {
        record.threw = true;
        record.exception = e.what();
    } catch (const sim::ProcessExit&) {
        record.threw = true;
        record.exception = "ProcessExit escaped the runner";
    }
    record.elapsedMs = Milliseconds(machine.Now()) - start;
    record.events = events.Lines();
    record.log = LogEntries(machine, scenario.program);
    return record;
}

}  // namespace zmp::sweep
