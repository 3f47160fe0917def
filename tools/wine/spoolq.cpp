// spoolq.exe: what the print spooler holds, one object per line, so that a
// test can grep it.
//
//   spoolq.exe                  printers, drivers, monitors, print processors,
//                               ports, and the forms whose name holds "[K40]"
//   spoolq.exe add-printer NAME DRIVER PORT [PROCESSOR]
//                               adds a printer object on an installed driver,
//                               as Plug and Play does when the printer is
//                               switched on (processor "winprint" by default)
//   spoolq.exe set-data PRINTER NAME NUMBER
//                               sets a printer's data value (REG_DWORD), as
//                               its driver does
//
// Failed calls are printed as "error CALL (CODE)"; the exit code is 0 when
// every call succeeded.
#include <windows.h>
#include <winspool.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

int g_failures = 0;

void Failed(const char* call) {
    std::printf("error %s (%lu)\n", call, GetLastError());
    ++g_failures;
}

const char* Or(const char* text) { return text ? text : ""; }

// The spooler's two-call pattern: learn the size, then fetch. The buffer is
// returned with the number of records; empty on failure (already printed).
template <typename Call>
std::vector<BYTE> Enumerate(const char* name, DWORD& count, Call call) {
    DWORD needed = 0;
    count = 0;
    call(nullptr, 0, &needed, &count);
    std::vector<BYTE> buffer(needed ? needed : 1);
    if (!call(buffer.data(), needed, &needed, &count)) {
        Failed(name);
        count = 0;
    }
    return buffer;
}

void Printers() {
    DWORD count = 0;
    auto buffer = Enumerate("EnumPrintersA", count, [](BYTE* b, DWORD size, DWORD* needed, DWORD* n) {
        return EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, 2, b, size, needed, n);
    });
    auto* info = reinterpret_cast<PRINTER_INFO_2A*>(buffer.data());
    for (DWORD i = 0; i < count; ++i)
        std::printf("printer \"%s\" driver=\"%s\" port=\"%s\" processor=\"%s\"\n", Or(info[i].pPrinterName),
                    Or(info[i].pDriverName), Or(info[i].pPortName), Or(info[i].pPrintProcessor));
}

void Drivers() {
    DWORD count = 0;
    auto buffer = Enumerate("EnumPrinterDriversA", count, [](BYTE* b, DWORD size, DWORD* needed, DWORD* n) {
        return EnumPrinterDriversA(nullptr, const_cast<char*>("all"), 3, b, size, needed, n);
    });
    auto* info = reinterpret_cast<DRIVER_INFO_3A*>(buffer.data());
    for (DWORD i = 0; i < count; ++i)
        std::printf("driver \"%s\" env=\"%s\" version=%lu file=\"%s\" monitor=\"%s\"\n", Or(info[i].pName),
                    Or(info[i].pEnvironment), info[i].cVersion, Or(info[i].pDriverPath),
                    Or(info[i].pMonitorName));
}

void Monitors() {
    DWORD count = 0;
    auto buffer = Enumerate("EnumMonitorsA", count, [](BYTE* b, DWORD size, DWORD* needed, DWORD* n) {
        return EnumMonitorsA(nullptr, 2, b, size, needed, n);
    });
    auto* info = reinterpret_cast<MONITOR_INFO_2A*>(buffer.data());
    for (DWORD i = 0; i < count; ++i)
        std::printf("monitor \"%s\" env=\"%s\" dll=\"%s\"\n", Or(info[i].pName), Or(info[i].pEnvironment),
                    Or(info[i].pDLLName));
}

void Processors() {
    static const char* const kEnvironments[] = {"Windows x64", "Windows NT x86"};
    for (const char* environment : kEnvironments) {
        DWORD count = 0;
        auto buffer = Enumerate("EnumPrintProcessorsA", count,
                                [environment](BYTE* b, DWORD size, DWORD* needed, DWORD* n) {
                                    return EnumPrintProcessorsA(nullptr, const_cast<char*>(environment), 1,
                                                                b, size, needed, n);
                                });
        auto* info = reinterpret_cast<PRINTPROCESSOR_INFO_1A*>(buffer.data());
        for (DWORD i = 0; i < count; ++i)
            std::printf("processor \"%s\" env=\"%s\"\n", Or(info[i].pName), environment);
    }
}

void Ports() {
    DWORD count = 0;
    auto buffer = Enumerate("EnumPortsA", count, [](BYTE* b, DWORD size, DWORD* needed, DWORD* n) {
        return EnumPortsA(nullptr, 2, b, size, needed, n);
    });
    auto* info = reinterpret_cast<PORT_INFO_2A*>(buffer.data());
    for (DWORD i = 0; i < count; ++i)
        std::printf("port \"%s\" monitor=\"%s\"\n", Or(info[i].pPortName), Or(info[i].pMonitorName));
}

void Forms() {
    HANDLE server = nullptr;
    if (!OpenPrinterA(nullptr, &server, nullptr)) {
        Failed("OpenPrinterA(server)");
        return;
    }
    DWORD count = 0;
    auto buffer = Enumerate("EnumFormsA", count, [server](BYTE* b, DWORD size, DWORD* needed, DWORD* n) {
        return EnumFormsA(server, 1, b, size, needed, n);
    });
    auto* info = reinterpret_cast<FORM_INFO_1A*>(buffer.data());
    for (DWORD i = 0; i < count; ++i)
        if (info[i].pName && std::strstr(info[i].pName, "[K40]")) std::printf("form \"%s\"\n", info[i].pName);
    ClosePrinter(server);
}

int AddPrinterObject(const char* name, const char* driver, const char* port, const char* processor) {
    PRINTER_INFO_2A info{};
    info.pPrinterName = const_cast<char*>(name);
    info.pDriverName = const_cast<char*>(driver);
    info.pPortName = const_cast<char*>(port);
    info.pPrintProcessor = const_cast<char*>(processor);
    info.pDatatype = const_cast<char*>("RAW");
    info.Attributes = PRINTER_ATTRIBUTE_LOCAL;
    HANDLE printer = AddPrinterA(nullptr, 2, reinterpret_cast<BYTE*>(&info));
    if (!printer) {
        Failed("AddPrinterA");
        return 1;
    }
    std::printf("added printer \"%s\" driver=\"%s\" port=\"%s\" processor=\"%s\"\n", name, driver, port,
                processor);
    ClosePrinter(printer);
    return 0;
}

int SetData(const char* printerName, const char* name, const char* number) {
    PRINTER_DEFAULTSA access{nullptr, nullptr, PRINTER_ALL_ACCESS};
    HANDLE printer = nullptr;
    if (!OpenPrinterA(const_cast<char*>(printerName), &printer, &access)) {
        Failed("OpenPrinterA");
        return 1;
    }
    DWORD value = std::strtoul(number, nullptr, 10);
    DWORD status = SetPrinterDataA(printer, const_cast<char*>(name), REG_DWORD, reinterpret_cast<BYTE*>(&value),
                                   sizeof value);
    ClosePrinter(printer);
    if (status != ERROR_SUCCESS) {
        std::printf("error SetPrinterDataA (%lu)\n", status);
        return 1;
    }
    std::printf("set \"%s\" %s=%lu\n", printerName, name, value);
    return 0;
}

// A small RAW job, as a program prints one.
int Print(const char* printerName) {
    HANDLE printer = nullptr;
    if (!OpenPrinterA(const_cast<char*>(printerName), &printer, nullptr)) {
        Failed("OpenPrinterA");
        return 1;
    }
    DOC_INFO_1A doc{const_cast<char*>("spoolq test page"), nullptr, const_cast<char*>("RAW")};
    DWORD job = StartDocPrinterA(printer, 1, reinterpret_cast<BYTE*>(&doc));
    if (!job) {
        Failed("StartDocPrinterA");
        ClosePrinter(printer);
        return 1;
    }
    static const char kPage[] = "ZMP-K40 test page\r\n";
    DWORD written = 0;
    bool ok = WritePrinter(printer, const_cast<char*>(kPage), sizeof kPage - 1, &written);
    if (!ok) Failed("WritePrinter");
    if (!EndDocPrinter(printer)) {
        Failed("EndDocPrinter");
        ok = false;
    }
    ClosePrinter(printer);
    if (ok) std::printf("printed job %lu on \"%s\"\n", job, printerName);
    return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 5 && std::strcmp(argv[1], "add-printer") == 0)
        return AddPrinterObject(argv[2], argv[3], argv[4], argc >= 6 ? argv[5] : "winprint");
    if (argc == 5 && std::strcmp(argv[1], "set-data") == 0) return SetData(argv[2], argv[3], argv[4]);
    if (argc == 3 && std::strcmp(argv[1], "print") == 0) return Print(argv[2]);
    if (argc != 1) {
        std::fprintf(stderr,
                     "usage: spoolq.exe | spoolq.exe add-printer NAME DRIVER PORT [PROCESSOR]\n"
                     "       spoolq.exe set-data PRINTER NAME NUMBER\n");
        return 2;
    }
    Printers();
    Drivers();
    Monitors();
    Processors();
    Ports();
    Forms();
    std::fflush(stdout);
    return g_failures ? 1 : 0;
}
