// The installer's configuration file: the input is "ZMPK40_Config.KVT"
// beside the installer. Every key is read as the installer reads it, and the
// hidden port type dialog takes its defaults from it.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "fuzz/Check.h"
#include "installer/Port_Dlg.h"
#include "simulator/Events.h"
#include "simulator/Machine.h"
#include "simulator/SimPlatform.h"
#include "simulator/headless/Desktop.h"
#include "simulator/headless/HeadlessUi.h"
#include "support/DriverConfig.h"
#include "support/Log.h"

using namespace zmp;

namespace {

constexpr const char* kPackage = "C:\\Package";
const char* const kKeys[] = {"PORTDLG", "PORT", "WLAN_PORT", "WLAN_IP_1", "WLAN_IP_2", "WLAN_IP_3", "WLAN_IP_4"};

struct World {
    std::unique_ptr<sim::Machine> machine = sim::Machine::Preset("xp", false);
    sim::Events events;
    sim::Desktop desktop;
    std::unique_ptr<sim::SimSystem> system;
    std::unique_ptr<sim::HeadlessUi> ui;
    std::unique_ptr<Platform> platform;
    std::unique_ptr<Log> log;

    World() {
        sim::ProcessOptions options;
        options.executable = std::string(kPackage) + "\\ZMPK40_Installer.exe";
        options.currentDirectory = kPackage;
        system = std::make_unique<sim::SimSystem>(*machine, options, &events);
        ui = std::make_unique<sim::HeadlessUi>(resources::Program::Installer, events, sim::Script(), desktop);
        platform = std::make_unique<Platform>(system->MakePlatform(*ui));
        // No InitLogFile: the failure blocks are formatted but not written.
        log = std::make_unique<Log>(platform->files, platform->clock);
    }
    ~World() {
        ui->EndProcess(0);
        ui->JoinThreads();
    }
};

// "a.b.c.d" with each number 0 to 255, as "%d.%d.%d.%d" prints four bytes.
bool DottedQuad(const std::string& text) {
    int parts[4];
    char tail = 0;
    if (std::sscanf(text.c_str(), "%d.%d.%d.%d%c", &parts[0], &parts[1], &parts[2], &parts[3], &tail) != 4)
        return false;
    for (int p : parts)
        if (p < 0 || p > 255) return false;
    return text.size() <= 15;
}

// What a configured address number must become: the decimal number at the
// start of the value (after blanks and a sign, as atoi reads it), 0 without
// digits, and 255 for anything below 0 or above 255, however large.
int ExpectedOctet(const std::string& value) {
    std::size_t i = 0;
    while (i < value.size() && std::isspace(static_cast<unsigned char>(value[i]))) ++i;
    bool negative = false;
    if (i < value.size() && (value[i] == '+' || value[i] == '-')) negative = value[i++] == '-';
    unsigned long long magnitude = 0;
    bool any = false;
    for (; i < value.size() && std::isdigit(static_cast<unsigned char>(value[i])); ++i) {
        any = true;
        if (magnitude <= 1000) magnitude = magnitude * 10 + static_cast<unsigned>(value[i] - '0');
    }
    if (!any) return 0;
    if (magnitude == 0) return 0;
    if (negative || magnitude > 255) return 255;
    return static_cast<int>(magnitude);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The process records every call it makes: a fresh one now and then
    // keeps the memory, and the leak checks over it, small.
    static std::unique_ptr<World> current;
    static unsigned runs = 0;
    if (!current || ++runs % 100 == 0) {
        current.reset();
        current = std::make_unique<World>();
    }
    World& world = *current;
    const std::string text(reinterpret_cast<const char*>(data), size);
    world.machine->WriteFile(std::string(kPackage) + "\\ZMPK40_Config.KVT", text);

    std::string expectedAddress;
    for (const char* key : kKeys) {
        std::string value = "left over";
        bool found = GetDriverInfoFromFile(*world.platform, *world.log, kConfigSection, key, value);
        // Cut to the 256-byte buffer, terminator included; nothing when not found.
        ZMP_FUZZ_CHECK(value.size() <= kConfigValueSize - 1);
        ZMP_FUZZ_CHECK(found == !value.empty());
        if (std::string(key).rfind("WLAN_IP_", 0) == 0) {
            if (!expectedAddress.empty()) expectedAddress += '.';
            expectedAddress += std::to_string(ExpectedOctet(value));
        }
    }

    PortTypeDialog dialog(*world.platform, *world.log);
    if (dialog.Create(WindowId::None)) {
        dialog.ShowWindow(0);
        ZMP_FUZZ_CHECK(dialog.SelectionIndex() >= PortTypeDialog::Com1 &&
                       dialog.SelectionIndex() <= PortTypeDialog::WirelessLan);
        ZMP_FUZZ_CHECK(DottedQuad(dialog.IpAddress()));
        ZMP_FUZZ_CHECK(dialog.IpAddress() == expectedAddress);
        ZMP_FUZZ_CHECK(dialog.PortNumber() != 0);
        dialog.DestroyWindow();
    }
    return 0;
}
