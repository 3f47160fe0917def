// The change report between two machine states, on pairs of machines made by
// hand: every kind of object added, removed and changed, both registry views,
// the order of the lines, the same as data, and a state against itself.
#include <gtest/gtest.h>

#include <functional>
#include <sstream>

#include "platform/FileSystem.h"
#include "platform/Registry.h"
#include "simulator/ChangeReport.h"
#include "simulator/Machine.h"
#include "simulator/MachineState.h"

namespace zmp::sim::test {
namespace {

using Json = nlohmann::ordered_json;

std::unique_ptr<Machine> Windows7x64() { return Machine::Preset("7", true); }

ChangeReport Compare(const Machine& before, const Machine& after) {
    ChangeReport report;
    std::string error;
    EXPECT_TRUE(report.Compare(before.Show(), after.Show(), &error)) << error;
    return report;
}

// The change lines under one group's heading, without their indent.
std::vector<std::string> Lines(const ChangeReport& report, const std::string& group) {
    std::vector<std::string> out;
    std::istringstream text(report.AsText());
    std::string line;
    bool inGroup = false;
    while (std::getline(text, line)) {
        if (line.rfind("  ", 0) != 0)
            inGroup = line == group;
        else if (inGroup)
            out.push_back(line.substr(2));
    }
    return out;
}

SimPrinter Printer(const std::string& port) {
    SimPrinter p;
    p.name = "Label Printer";
    p.driver = "Generic / Text Only";
    p.port = port;
    return p;
}

SimDriver Driver(Dword build) {
    SimDriver d;
    d.name = "KORVANT ZMP-K40";
    d.environment = "Windows x64";
    d.driverPath = "UNIDRV.DLL";
    d.monitorName = "KVT Language Monitor ZMP-K40";
    d.reportedData = {{"MajorVersion", 2}, {"MinorVersion", 0}, {"BuildVersion", build}, {"ExtraVersion", 0}};
    d.oemInf = "oem3.inf";
    return d;
}

void SetDirectoryAcl(Machine& m, const std::string& path, Dword mask) {
    std::vector<AceEntry> acl = {{"Everyone", mask, sec::kSetAccess, sec::kSubContainersAndObjectsInherit}};
    std::lock_guard<std::recursive_mutex> lock(m.Mutex());
    m.Internal().CreateDirectory(path, &acl);
}

// One kind of object: what makes it (variant 1) or makes it differently
// (variant 2), and the lines of its group for each direction.
struct Kind {
    const char* name;
    const char* group;
    std::function<void(Machine&, int variant)> make;
    std::vector<std::string> added;
    std::vector<std::string> removed;
    std::vector<std::string> changed;  // empty: the kind has nothing that can change
};

const std::vector<Kind>& Kinds() {
    static const std::vector<Kind> kinds = {
        {"printer",
         "Spooler",
         [](Machine& m, int v) { m.AddPrinterRecord(Printer(v == 1 ? "COM1:" : "COM2:")); },
         {"+ printer \"Label Printer\": driver Generic / Text Only, port COM1:, processor winprint"},
         {"- printer \"Label Printer\""},
         {"~ printer \"Label Printer\": port COM1: -> COM2:"}},
        {"driver",
         "Spooler",
         [](Machine& m, int v) { m.AddDriverRecord(Driver(v == 1 ? 5 : 6), false); },
         {"+ driver \"KORVANT ZMP-K40\" (Windows x64, version 3): monitor KVT Language Monitor ZMP-K40, "
          "reports 2.0.5.0, oem INF oem3.inf"},
         {"- driver \"KORVANT ZMP-K40\" (Windows x64, version 3)"},
         {"~ driver \"KORVANT ZMP-K40\" (Windows x64, version 3): reports 2.0.5.0 -> 2.0.6.0"}},
        {"monitor",
         "Spooler",
         [](Machine& m, int v) {
             m.AddMonitorRecord(
                 {"KVT Language Monitor ZMP-K40", "Windows x64", v == 1 ? "ZPMON40.dll" : "ZPMON41.dll"});
         },
         {"+ monitor \"KVT Language Monitor ZMP-K40\": dll ZPMON40.dll"},
         {"- monitor \"KVT Language Monitor ZMP-K40\""},
         {"~ monitor \"KVT Language Monitor ZMP-K40\": dll ZPMON40.dll -> ZPMON41.dll"}},
        {"processor",
         "Spooler",
         [](Machine& m, int v) {
             m.AddProcessorRecord(
                 {"KVT PRINT PROCESSOR ZMP-K40", "Windows x64", v == 1 ? "ZPPRO40.dll" : "ZPPRO41.dll"});
         },
         {"+ processor \"KVT PRINT PROCESSOR ZMP-K40\" (Windows x64): dll ZPPRO40.dll"},
         {"- processor \"KVT PRINT PROCESSOR ZMP-K40\" (Windows x64)"},
         {"~ processor \"KVT PRINT PROCESSOR ZMP-K40\" (Windows x64): dll ZPPRO40.dll -> ZPPRO41.dll"}},
        {"port",
         "Spooler",
         [](Machine& m, int v) {
             m.AddPortRecord({"IP_192.168.0.50", "Standard TCP/IP Port", "192.168.0.50", v == 1 ? 9100u : 9101u, 1});
         },
         {"+ port \"IP_192.168.0.50\": monitor Standard TCP/IP Port, host 192.168.0.50, port number 9100"},
         {"- port \"IP_192.168.0.50\""},
         {"~ port \"IP_192.168.0.50\": port number 9100 -> 9101"}},
        {"form",
         "Spooler",
         [](Machine& m, int) { m.AddForm("Label 58mm [K40]"); },
         {"+ form \"Label 58mm [K40]\""},
         {"- form \"Label 58mm [K40]\""},
         {}},
        {"64-bit view",
         "Registry, 64-bit view",
         [](Machine& m, int v) {
             m.SetString("HKLM\\SOFTWARE\\KORVANT", "Path", "C:\\KORVANT");
             RegValue count;
             if (v == 1)
                 count.text = "4";
             else
                 count = RegValue{4, "", 4, {}};
             m.SetValue("HKLM\\SOFTWARE\\KORVANT", "Count", count);
         },
         {"+ key HKLM\\SOFTWARE\\KORVANT: Count \"4\", Path \"C:\\KORVANT\""},
         {"- key HKLM\\SOFTWARE\\KORVANT"},
         {"~ key HKLM\\SOFTWARE\\KORVANT: Count \"4\" -> 4"}},
        {"32-bit view",
         "Registry, 32-bit view",
         [](Machine& m, int v) {
             m.SetValue(
                 "HKLM\\SOFTWARE\\Wow6432Node\\KORVANT", "Models",
                 RegValue{7, "", 0, v == 1 ? std::vector<std::string>{"K40"} : std::vector<std::string>{"K40", "K50"}});
         },
         {"+ key HKLM\\SOFTWARE\\KORVANT: Models [\"K40\"]"},
         {"- key HKLM\\SOFTWARE\\KORVANT"},
         {"~ key HKLM\\SOFTWARE\\KORVANT: Models [\"K40\"] -> [\"K40\", \"K50\"]"}},
        {"file",
         "Files",
         [](Machine& m, int v) {
             m.WriteFile("C:\\Data\\label.txt", v == 1 ? "one" : "two");
             if (v == 2) m.SetAttributes("C:\\Data\\label.txt", file::kAttributeReadOnly);
         },
         {"+ folder C:\\Data", "+ file C:\\Data\\label.txt: size 3"},
         {"- folder C:\\Data", "- file C:\\Data\\label.txt"},
         {"~ file C:\\Data\\label.txt: content changed, attributes [archive] -> [read-only]"}},
        {"held file",
         "Files",
         [](Machine& m, int v) {
             m.WriteFile("C:\\Data\\label.txt", "one");
             if (v == 1) m.HoldOpen("C:\\Data\\label.txt");
         },
         {"+ folder C:\\Data", "+ file C:\\Data\\label.txt: size 3, held by another process"},
         {"- folder C:\\Data", "- file C:\\Data\\label.txt"},
         {"~ file C:\\Data\\label.txt: held by another process -> no"}},
        {"folder",
         "Files",
         [](Machine& m, int v) {
             m.MakeDirectory("C:\\Data");
             if (v == 2) m.SetAttributes("C:\\Data", file::kAttributeHidden);
         },
         {"+ folder C:\\Data"},
         {"- folder C:\\Data"},
         {"~ folder C:\\Data: attributes [] -> [hidden]"}},
        {"junction",
         "Files",
         [](Machine& m, int v) {
             m.MakeDirectory("C:\\One");
             m.MakeDirectory("C:\\Two");
             m.MakeJunction("C:\\Link", v == 1 ? "C:\\One" : "C:\\Two");
         },
         {"+ junction C:\\Link: target C:\\One", "+ folder C:\\One", "+ folder C:\\Two"},
         {"- junction C:\\Link", "- folder C:\\One", "- folder C:\\Two"},
         {"~ junction C:\\Link: target C:\\One -> C:\\Two"}},
        {"device",
         "Plug and Play",
         [](Machine& m, int v) {
             m.AddDevice({"USB\\VID_7F3C&PID_0042\\ZMP0001", {"USB\\Vid_7F3C&Pid_0042"}, v == 1, "oem3.inf"});
         },
         {"+ device USB\\VID_7F3C&PID_0042\\ZMP0001: present yes, oem INF oem3.inf"},
         {"- device USB\\VID_7F3C&PID_0042\\ZMP0001"},
         {"~ device USB\\VID_7F3C&PID_0042\\ZMP0001: present yes -> no"}},
        {"oem INF",
         "Plug and Play",
         [](Machine& m, int v) { m.WriteFile("C:\\Windows\\inf\\oem3.inf", v == 1 ? "[Version]" : "[VERSION]"); },
         {"+ oem INF \"oem3.inf\": size 9"},
         {"- oem INF \"oem3.inf\""},
         {"~ oem INF \"oem3.inf\": content changed"}},
        {"folder access list",
         "Access lists",
         [](Machine& m, int v) { SetDirectoryAcl(m, "C:\\Data", v == 1 ? sec::kGenericAll : reg::kKeyRead); },
         {"+ folder C:\\Data: entries [Everyone: GENERIC_ALL, set, containers and objects inherit]"},
         {"- folder C:\\Data"},
         {"~ folder C:\\Data: entries [Everyone: GENERIC_ALL, set, containers and objects inherit] -> "
          "[Everyone: KEY_READ, set, containers and objects inherit]"}},
        {"key access list",
         "Access lists",
         [](Machine& m, int v) {
             m.CreateKey("HKLM\\SYSTEM\\CurrentControlSet\\Enum\\USBPRINT\\KORVANT_ZMP-K40");
             m.ProtectKey("HKLM\\SYSTEM\\CurrentControlSet\\Enum\\USBPRINT\\KORVANT_ZMP-K40");
             if (v == 2) {
                 std::lock_guard<std::recursive_mutex> lock(m.Mutex());
                 m.Internal().registry.Get("HKLM\\SYSTEM\\CurrentControlSet\\Enum\\USBPRINT\\KORVANT_ZMP-K40")->acl = {
                     {"Everyone", reg::kKeyAllAccess, sec::kGrantAccess, sec::kSubContainersOnlyInherit}};
             }
         },
         {"+ key HKLM\\SYSTEM\\CurrentControlSet\\Enum\\USBPRINT\\KORVANT_ZMP-K40: protected yes, protection root yes"},
         {"- key HKLM\\SYSTEM\\CurrentControlSet\\Enum\\USBPRINT\\KORVANT_ZMP-K40"},
         {"~ key HKLM\\SYSTEM\\CurrentControlSet\\Enum\\USBPRINT\\KORVANT_ZMP-K40: entries [] -> "
          "[Everyone: KEY_ALL_ACCESS, grant, containers inherit]"}},
    };
    return kinds;
}

TEST(ChangeReportTest, EachKindAddedRemovedAndChanged) {
    for (const Kind& kind : Kinds()) {
        SCOPED_TRACE(kind.name);
        auto bare = Windows7x64();
        auto one = Windows7x64();
        kind.make(*one, 1);
        EXPECT_EQ(Lines(Compare(*bare, *one), kind.group), kind.added);
        EXPECT_EQ(Lines(Compare(*one, *bare), kind.group), kind.removed);
        if (kind.changed.empty()) continue;
        auto two = Windows7x64();
        kind.make(*two, 2);
        EXPECT_EQ(Lines(Compare(*one, *two), kind.group), kind.changed);
    }
}

TEST(ChangeReportTest, MachineItselfAndTheSpoolerService) {
    auto before = Windows7x64();
    auto after = Windows7x64();
    after->StopSpooler();
    {
        std::lock_guard<std::recursive_mutex> lock(after->Mutex());
        after->Internal().restarts = 1;
    }
    after->Advance(60000);  // the clock is not a change
    ChangeReport report = Compare(*before, *after);
    EXPECT_EQ(Lines(report, "Spooler"), std::vector<std::string>{"~ service \"Spooler\": running yes -> no"});
    EXPECT_EQ(Lines(report, "System"), std::vector<std::string>{"~ machine: restarts 0 -> 1"});
}

TEST(ChangeReportTest, ThirtyTwoBitWindowsHasOneRegistry) {
    auto before = Machine::Preset("xp");
    auto after = Machine::Preset("xp");
    after->SetString("HKLM\\SOFTWARE\\Wow6432Node\\KORVANT", "Path", "C:\\KORVANT");
    EXPECT_EQ(Compare(*before, *after).AsText(),
              "Registry\n"
              "  + key HKLM\\SOFTWARE\\Wow6432Node\n"
              "  + key HKLM\\SOFTWARE\\Wow6432Node\\KORVANT: Path \"C:\\KORVANT\"\n");
}

// Groups in a fixed order; within one, names case-insensitively and paths
// component by component, so a folder comes right before what it holds;
// whatever order the objects were made in.
TEST(ChangeReportTest, StableOrder) {
    auto before = Windows7x64();
    auto a = Windows7x64();
    auto b = Windows7x64();
    a->WriteFile("C:\\A B\\y.txt", "y");
    a->WriteFile("C:\\A\\Z.txt", "z");
    a->WriteFile("C:\\A\\b.txt", "b");
    a->AddForm("B form");
    a->AddForm("a form");
    a->SetString("HKLM\\SOFTWARE\\KORVANT", "Path", "C:\\A");
    b->SetString("HKLM\\SOFTWARE\\KORVANT", "Path", "C:\\A");
    b->AddForm("a form");
    b->AddForm("B form");
    b->WriteFile("C:\\A\\b.txt", "b");
    b->WriteFile("C:\\A\\Z.txt", "z");
    b->WriteFile("C:\\A B\\y.txt", "y");
    const std::string expected =
        "Spooler\n"
        "  + form \"a form\"\n"
        "  + form \"B form\"\n"
        "Registry, 64-bit view\n"
        "  + key HKLM\\SOFTWARE\\KORVANT: Path \"C:\\A\"\n"
        "Files\n"
        "  + folder C:\\A\n"
        "  + file C:\\A\\b.txt: size 1\n"
        "  + file C:\\A\\Z.txt: size 1\n"
        "  + folder C:\\A B\n"
        "  + file C:\\A B\\y.txt: size 1\n";
    EXPECT_EQ(Compare(*before, *a).AsText(), expected);
    EXPECT_EQ(Compare(*before, *b).AsText(), expected);
}

TEST(ChangeReportTest, AStateAgainstItselfHasNoChanges) {
    auto m = Windows7x64();
    for (const Kind& kind : Kinds()) kind.make(*m, 2);
    m->PlugUsbPrinter();
    ChangeReport report = Compare(*m, *m);
    EXPECT_TRUE(report.Changes().empty());
    EXPECT_EQ(report.AsText(), "");
    EXPECT_EQ(report.AsJson(), "[]");
}

TEST(ChangeReportTest, JsonHoldsTheSameChangesAsData) {
    auto before = Windows7x64();
    auto after = Windows7x64();
    before->AddPrinterRecord(Printer("COM1:"));
    after->AddPrinterRecord(Printer("COM2:"));
    after->AddDriverRecord(Driver(6), false);
    ChangeReport report = Compare(*before, *after);
    Json changes = Json::parse(report.AsJson());
    ASSERT_EQ(changes.size(), report.Changes().size());

    const Json& printer = changes.at(0);
    EXPECT_EQ(printer.at("change"), "changed");
    EXPECT_EQ(printer.at("before"), Json({{"port", "COM1:"}}));
    EXPECT_EQ(printer.at("after"), Json({{"port", "COM2:"}}));

    const Json& driver = changes.at(1);
    EXPECT_EQ(driver.at("group"), "Spooler");
    EXPECT_EQ(driver.at("change"), "added");
    EXPECT_EQ(driver.at("kind"), "driver");
    EXPECT_EQ(driver.at("name"), "KORVANT ZMP-K40");
    EXPECT_EQ(driver.at("qualifier"), "Windows x64, version 3");
    EXPECT_FALSE(driver.contains("before"));
    EXPECT_EQ(driver.at("after").at("reports"), "2.0.6.0");
    EXPECT_EQ(driver.at("after").at("dependent files"), Json::array());  // every field, not only the brief ones
}

TEST(ChangeReportTest, RefusesWhatIsNotAState) {
    auto m = Windows7x64();
    const std::string state = m->Show();
    for (const auto& [before, after] : std::vector<std::pair<std::string, std::string>>{
             {"not json", state}, {state, "[1, 2]"}, {state, "{\"os\": "}}) {
        ChangeReport report;
        std::string error;
        EXPECT_FALSE(report.Compare(before, after, &error));
        EXPECT_FALSE(error.empty());
    }
}

}  // namespace
}  // namespace zmp::sim::test
