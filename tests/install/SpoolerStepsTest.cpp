// Spooler registration (language monitor, print processor, driver, printer
// object) and the Standard TCP/IP port with its PORT_DATA_1 record.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/install/EngineFixture.h"

namespace zmp::test {
namespace {

constexpr const char* kSystemText = "The specified module could not be found.\r\n";

// Passes every call to the simulator's spooler; keeps what XcvData got.
class XcvRecorder final : public Spooler {
public:
    void Attach(Spooler& inner) { in_ = &inner; }
    std::vector<std::uint8_t> input;
    std::u16string command;
    Dword outputSize = 0;

    Status EnumPrinters(Dword f, std::vector<PrinterInfo2>& o) override { return in_->EnumPrinters(f, o); }
    Status EnumPrinterDrivers(const std::optional<std::string>& e, Dword l, std::vector<DriverInfo3>& o) override {
        return in_->EnumPrinterDrivers(e, l, o);
    }
    Status EnumPrinterDrivers6(const std::optional<std::string>& e, std::vector<DriverInfo6>& o) override {
        return in_->EnumPrinterDrivers6(e, o);
    }
    Status GetPrinterDriver6(PrinterHandle p, const std::optional<std::string>& e, DriverInfo6& o) override {
        return in_->GetPrinterDriver6(p, e, o);
    }
    Status EnumPrintProcessors(std::vector<std::string>& o) override { return in_->EnumPrintProcessors(o); }
    Status OpenPrinter(const std::optional<std::string>& n, const std::optional<PrinterDefaults>& d,
                       PrinterHandle& o) override {
        return in_->OpenPrinter(n, d, o);
    }
    Status ClosePrinter(PrinterHandle p) override { return in_->ClosePrinter(p); }
    Dword GetPrinterDataDword(PrinterHandle p, const std::string& n, Dword& v) override {
        return in_->GetPrinterDataDword(p, n, v);
    }
    Status EnumJobs(PrinterHandle p, Dword f, Dword n, Dword l, std::vector<JobInfo3>& o) override {
        return in_->EnumJobs(p, f, n, l, o);
    }
    Status SetJob(PrinterHandle p, Dword j, Dword c) override { return in_->SetJob(p, j, c); }
    Status DeletePrinter(PrinterHandle p) override { return in_->DeletePrinter(p); }
    Status EnumForms(PrinterHandle s, std::vector<std::string>& o) override { return in_->EnumForms(s, o); }
    Status DeleteForm(PrinterHandle s, const std::string& f) override { return in_->DeleteForm(s, f); }
    Status DeletePrinterDriverEx(const std::string& n, Dword d, Dword v) override {
        return in_->DeletePrinterDriverEx(n, d, v);
    }
    Status AddMonitor(const MonitorInfo2& i) override { return in_->AddMonitor(i); }
    Status DeleteMonitor(const std::string& n) override { return in_->DeleteMonitor(n); }
    Status GetPrintProcessorDirectory(std::string& o) override { return in_->GetPrintProcessorDirectory(o); }
    Status GetPrintProcessorDirectoryFor(const std::string& e, std::string& o) override {
        return in_->GetPrintProcessorDirectoryFor(e, o);
    }
    Status AddPrintProcessor(const std::string& e, const std::string& f, const std::string& n) override {
        return in_->AddPrintProcessor(e, f, n);
    }
    Status DeletePrintProcessor(const std::string& n) override { return in_->DeletePrintProcessor(n); }
    Status GetPrinterDriverDirectory(std::string& o) override { return in_->GetPrinterDriverDirectory(o); }
    Status GetPrinterDriverDirectoryFor(const std::string& e, std::string& o) override {
        return in_->GetPrinterDriverDirectoryFor(e, o);
    }
    Status AddPrinterDriver(const DriverInfo3& i) override { return in_->AddPrinterDriver(i); }
    Status AddPrinter(const PrinterInfo2& i, PrinterHandle& o) override { return in_->AddPrinter(i, o); }
    XcvResult XcvData(PrinterHandle x, const std::u16string& c, const std::vector<std::uint8_t>& i,
                      Dword size) override {
        command = c;
        input = i;
        outputSize = size;
        return in_->XcvData(x, c, i, size);
    }

private:
    Spooler* in_ = nullptr;
};

Dword DwordAt(const std::vector<std::uint8_t>& bytes, size_t offset) {
    Dword v = 0;
    std::memcpy(&v, bytes.data() + offset, 4);
    return v;
}

// A wide field of the record: its characters up to the NUL, and whether the
// rest of the field is zero.
std::string WideAt(const std::vector<std::uint8_t>& bytes, size_t offset, size_t chars, bool* restZero = nullptr) {
    std::string out;
    size_t i = 0;
    for (; i < chars; ++i) {
        unsigned c = bytes[offset + 2 * i] | (bytes[offset + 2 * i + 1] << 8);
        if (c == 0) break;
        out += static_cast<char>(c);
    }
    if (restZero) {
        *restZero = true;
        for (size_t b = offset + 2 * i; b < offset + 2 * chars; ++b) *restZero = *restZero && bytes[b] == 0;
    }
    return out;
}

TEST(NetworkPortTest, AddPortGetsA964BytePortData1) {
    XcvRecorder recorder;
    Engine e("7", true, kOsWin7, &recorder);
    recorder.Attach(e.system->spooler);

    e.installer->SetEthernetPort("192.168.10.20", 515);
    e.installer->AddEthernetPort();

    EXPECT_EQ(recorder.command, u"AddPort");
    EXPECT_EQ(recorder.outputSize, 964u);
    const std::vector<std::uint8_t>& r = recorder.input;
    ASSERT_EQ(r.size(), 964u);
    bool rest = false;
    EXPECT_EQ(WideAt(r, 0, 64, &rest), "IP_192.168.10.20");
    EXPECT_TRUE(rest);
    EXPECT_EQ(DwordAt(r, 128), 1u);    // dwVersion
    EXPECT_EQ(DwordAt(r, 132), 1u);    // dwProtocol: raw TCP
    EXPECT_EQ(DwordAt(r, 136), 964u);  // cbSize
    EXPECT_EQ(DwordAt(r, 140), 0u);    // dwReserved
    EXPECT_EQ(WideAt(r, 144, 49, &rest), "192.168.10.20");
    EXPECT_TRUE(rest);
    EXPECT_EQ(WideAt(r, 242, 33, &rest), "public");
    EXPECT_TRUE(rest);
    EXPECT_EQ(DwordAt(r, 308), 0u);                // dwDoubleSpool
    EXPECT_EQ(WideAt(r, 312, 33, &rest), "");      // sztQueue
    EXPECT_TRUE(rest);
    EXPECT_EQ(WideAt(r, 378, 16, &rest), "");      // sztIPAddress
    EXPECT_TRUE(rest);
    for (size_t b = 410; b < 952; ++b) ASSERT_EQ(r[b], 0) << "Reserved byte " << b;
    EXPECT_EQ(DwordAt(r, 952), 515u);  // dwPortNumber, as given
    EXPECT_EQ(DwordAt(r, 956), 0u);    // dwSNMPEnabled
    EXPECT_EQ(DwordAt(r, 960), 1u);    // dwSNMPDevIndex

    EXPECT_EQ(e.LogFrom("SetEthernetPort BEGIN"),
              (std::vector<std::string>{"SetEthernetPort BEGIN", "IP ADDRESS : 192.168.10.20", "PORT NUMBER : 515",
                                        "SetEthernetPort END", "", "", "AddEthernetPort BEGIN",
                                        "IP ADDRESS : 192.168.10.20", "PORT NUMBER : 515", "AddEthernetPort END"}));
    EXPECT_TRUE(e.Boxes().empty());
}

TEST(NetworkPortTest, FailuresAreOnlyLogged) {
    struct Case {
        const char* name;
        const char* method;
        Dword code;
        bool portExistsAlready;
        const char* line;
    };
    const Case cases[] = {
        {"no Standard TCP/IP monitor", "Spooler.OpenPrinter", err::kUnknownPort, false, "OpenPrinter failed. (1796)"},
        {"call refused", "Spooler.XcvData", err::kAccessDenied, false, "XcvData failed. (5)"},
        // Same address, another port number: the same port name.
        {"port of that name", nullptr, 0, true, "AddPort status : (183)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Engine e("7", true, kOsWin7);
        if (c.portExistsAlready) {
            e.installer->SetEthernetPort("10.0.0.1", 9100);
            e.installer->AddEthernetPort();
        }
        if (c.method) e.system->Faults().Fail(c.method, c.code);
        e.installer->SetEthernetPort("10.0.0.1", 9101);
        e.installer->AddEthernetPort();
        std::vector<std::string> log = e.LogLines();
        auto last = std::find(log.rbegin(), log.rend(), "AddEthernetPort BEGIN");
        ASSERT_NE(last, log.rend());
        std::vector<std::string> block(last.base() - 1, log.end());
        EXPECT_EQ(block, (std::vector<std::string>{"AddEthernetPort BEGIN", "IP ADDRESS : 10.0.0.1",
                                                   "PORT NUMBER : 9101", c.line, "AddEthernetPort END"}));
        EXPECT_TRUE(e.Boxes().empty());
    }
}

TEST(SpoolerRegistrationTest, LanguageMonitorGoesWhereTheSpoolerLoadsIt) {
    struct Case {
        const char* os;
        bool is64;
        OsCode code;
        const char* dll;
    };
    const Case cases[] = {
        {"xp", false, kOsWinXp, "C:\\WINDOWS\\system32\\ZPMON40.dll"},
        {"xp64", true, kOsWinServer2003, "C:\\WINDOWS\\ZPMON40.dll"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.os);
        Engine e(c.os, c.is64, c.code);
        EXPECT_TRUE(e.installer->AddLanguageMonitor());
        EXPECT_TRUE(e.machine->FileExists(c.dll));
        bool added = false;
        for (const sim::SimMonitor& m : e.machine->Monitors()) added = added || (m.name == kMonitor && m.dll == "ZPMON40.dll");
        EXPECT_TRUE(added);
        // Installed already: no box, still true.
        EXPECT_TRUE(e.installer->AddLanguageMonitor());
        EXPECT_TRUE(e.Boxes().empty());
        EXPECT_EQ(e.progress.texts, (std::vector<std::string>{"Installing L/M...\r\n", "Installing L/M...\r\n"}));
    }
}

TEST(SpoolerRegistrationTest, RefusalsShowTheSystemErrorAndReportFailure) {
    struct Case {
        const char* name;
        const char* fault;
        Dword code;
        bool (*step)(DriverInstaller&);
        const char* prefix;
    };
    const Case cases[] = {
        {"monitor", "Spooler.AddMonitor", err::kModNotFound, [](DriverInstaller& d) { return d.AddLanguageMonitor(); },
         "AddMonitor, ERR CODE: 126\n\n"},
        {"processor", "Spooler.AddPrintProcessor", err::kModNotFound,
         [](DriverInstaller& d) { return d.AddPrinterProcessor(); }, "AddPrintProcessor, ERR CODE: 126\n\n"},
        {"driver", "Spooler.AddPrinterDriver", err::kModNotFound,
         [](DriverInstaller& d) {
             d.CopyFilesNeededToAddPrnDrv();
             return d.AddPrinterDriverToSystem();
         },
         "AddPrinterDriver, ERR CODE: 126\n\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // Vista: no framedyn.dll retry for the driver.
        Engine e("vista", false, kOsWinVista);
        e.system->Faults().Fail(c.fault, c.code);
        EXPECT_FALSE(c.step(*e.installer));
        ASSERT_EQ(e.Boxes().size(), 1u);
        EXPECT_EQ(e.Boxes()[0].text, std::string(c.prefix) + kSystemText);
        EXPECT_EQ(e.Boxes()[0].type, mb::kIconError);
    }

    // A processor of that name registered already is replaced: only
    // Windows' own "winprint" is refused with 3005.
    Engine e("xp", false, kOsWinXp);
    EXPECT_TRUE(e.installer->AddPrinterProcessor());
    EXPECT_TRUE(e.machine->FileExists("C:\\WINDOWS\\system32\\spool\\prtprocs\\w32x86\\ZPPRO40.dll"));
    EXPECT_TRUE(e.installer->AddPrinterProcessor());
    EXPECT_TRUE(e.Boxes().empty());
}

TEST(SpoolerRegistrationTest, DriverRecordNamesTheStagedFiles) {
    Engine e("xp", false, kOsWinXp);
    e.installer->CopyFilesNeededToAddPrnDrv();
    ASSERT_TRUE(e.installer->AddLanguageMonitor());
    ASSERT_TRUE(e.installer->AddPrinterDriverToSystem());
    auto driver = e.machine->FindDriver(kPrinter, "Windows NT x86");
    ASSERT_TRUE(driver);
    EXPECT_EQ(driver->version, 3u);
    EXPECT_EQ(driver->driverPath, "UNIDRV.DLL");
    EXPECT_EQ(driver->dataFile, "ZMP40.GPD");
    EXPECT_EQ(driver->configFile, "UNIDRVUI.DLL");
    EXPECT_EQ(driver->helpFile, "UNIDRV.HLP");
    EXPECT_EQ(driver->dependentFiles, (std::vector<std::string>{"UNIRES.DLL", "STDNAMES.GPD", "ZMP40.DLL",
                                                                "ZPUI40.DLL", "ZPUNI40.DLL", "ZPUI40.INI"}));
    EXPECT_EQ(driver->monitorName, kMonitor);
    EXPECT_EQ(driver->defaultDataType, "RAW");
}

// Before Vista a driver refused with ERROR_MOD_NOT_FOUND is tried once more
// with framedyn.dll beside the spooler; only a copy made for that goes again.
TEST(SpoolerRegistrationTest, FramedynRetryBeforeVista) {
    struct Case {
        const char* name;
        bool needsFramedyn;      // the model's switch: refused while the DLL is missing
        bool alreadyThere;       // system32\framedyn.dll before the step
        unsigned failFirstCalls; // AddPrinterDriver calls refused with 126 by a fault
        bool result;
    };
    const Case cases[] = {
        {"copy helps", true, false, 0, true},
        {"system's own copy stays", false, true, 1, true},
        {"still refused", false, false, 2, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Engine e("xp", false, kOsWinXp);
        const std::string framedyn = "C:\\WINDOWS\\system32\\framedyn.dll";
        e.machine->WriteFile("C:\\WINDOWS\\system32\\wbem\\framedyn.dll", "wbem framedyn");
        if (c.alreadyThere) e.machine->WriteFile(framedyn, "system framedyn");
        e.machine->ModelSwitches().addDriverNeedsFramedyn = c.needsFramedyn;
        for (unsigned n = 1; n <= c.failFirstCalls; ++n)
            e.system->Faults().Fail("Spooler.AddPrinterDriver", err::kModNotFound, n);
        e.installer->CopyFilesNeededToAddPrnDrv();
        ASSERT_TRUE(e.installer->AddLanguageMonitor());

        EXPECT_EQ(e.installer->AddPrinterDriverToSystem(), c.result);
        EXPECT_EQ(e.machine->FileExists(framedyn), c.alreadyThere);
        if (c.alreadyThere) {
            EXPECT_EQ(e.machine->ReadFile(framedyn), "system framedyn");
        }
        EXPECT_EQ(e.Boxes().empty(), c.result);
    }
}

TEST(SpoolerRegistrationTest, PrinterObjectOnThePortOfTheCodeAndNoneForUsb) {
    struct Case {
        int portCode;
        const char* port;
    };
    const Case cases[] = {{PortCom1, "COM1:"}, {PortCom4, "COM4:"}, {PortWirelessLan, "IP_10.1.1.1"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.port);
        Engine e("xp", false, kOsWinXp);
        e.installer->SetEthernetPort("10.1.1.1", 9100);
        e.installer->AddEthernetPort();
        e.installer->CopyFilesNeededToAddPrnDrv();
        e.installer->AddLanguageMonitor();
        e.installer->AddPrinterProcessor();
        e.installer->AddPrinterDriverToSystem();
        e.progress.texts.clear();
        EXPECT_EQ(e.installer->AddPrinterToSystem(c.portCode, "Front desk"), 1);
        auto printer = e.machine->FindPrinter("Front desk");
        ASSERT_TRUE(printer);
        EXPECT_EQ(printer->port, c.port);
        EXPECT_EQ(printer->driver, kPrinter);
        EXPECT_EQ(e.progress.texts, (std::vector<std::string>{"Adding printer...\r\n",
                                                               "Please wait for adding printer.\r\nIt takes a couple "
                                                               "of minutes."}));
    }

    Engine usb("xp", false, kOsWinXp);
    EXPECT_EQ(usb.installer->AddPrinterToSystem(PortUsb, kPrinter), 1);
    EXPECT_TRUE(usb.machine->Printers().empty());
    EXPECT_TRUE(usb.progress.texts.empty());
    EXPECT_EQ(usb.LogFrom("AddPrinterToSystem BEGIN"),
              (std::vector<std::string>{"AddPrinterToSystem BEGIN", "AddPrinterToSystem END"}));
}

}  // namespace
}  // namespace zmp::test
