// Key paths "[\\machine\]root[\subkey]" opened over the simulator's registry,
// and a permission command applied to them (the input's first line is the
// path, the rest the command).
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "fuzz/Check.h"
#include "simulator/Machine.h"
#include "simulator/SimPlatform.h"
#include "support/RegistryHelpers.h"

using namespace zmp;

namespace {

struct World {
    std::unique_ptr<sim::Machine> machine;
    std::unique_ptr<sim::SimSystem> system;
    unsigned runs = 0;

    World() { Reset(); }
    void Reset() {
        system.reset();
        machine = sim::Machine::Preset("7", true);
        machine->CreateKey("HKLM\\SYSTEM\\CurrentControlSet\\Enum\\USBPRINT\\KORVANT_ZMP-K40\\7&2F1B3A4C&0&USB001");
        machine->ProtectKey("HKLM\\SYSTEM\\CurrentControlSet\\Enum\\USBPRINT\\KORVANT_ZMP-K40");
        machine->CreateKey("HKCU\\Software\\KORVANT");
        machine->CreateKey("HKU\\.DEFAULT\\Software");
        sim::ProcessOptions options;
        options.executable = "C:\\Windows\\ZMP-K40\\ZMPK40_Uninstaller.exe";
        system = std::make_unique<sim::SimSystem>(*machine, options);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static World world;
    // Granted entries pile up on the keys, and the process records every
    // call: a fresh machine now and then.
    if (++world.runs % 500 == 0) world.Reset();
    Registry& registry = world.system->registry;

    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::size_t newline = text.find('\n');
    const std::string path = text.substr(0, newline);

    RegKey key = RegKey::None;
    Dword result = OpenRegKeyPath(registry, path, key);
    if (result == err::kSuccess) {
        ZMP_FUZZ_CHECK(key != RegKey::None);
        registry.CloseKey(key);
    } else {
        ZMP_FUZZ_CHECK(key == RegKey::None);
    }

    if (newline != std::string::npos) {
        const std::string command = text.substr(newline + 1);
        Dword applied = SetRegKeyPermission(registry, path, command);
        // A command refused before the key is opened never reaches it.
        PermissionCommand parsed;
        if (ParsePermissionCommand(command, parsed) != err::kSuccess) ZMP_FUZZ_CHECK(applied == err::kInvalidParameter);
    }
    return 0;
}
