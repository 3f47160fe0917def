// The simulator's INF reader, as the Setup API model and the PrintUIEntry
// child use it: sections, keys, fields, quotes and %strkey% substitution.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/Check.h"
#include "simulator/Inf.h"

using zmp::sim::InfFile;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    InfFile inf = InfFile::Parse(text);
    std::size_t lines = 0;
    for (const std::string& name : inf.SectionNames()) {
        ZMP_FUZZ_CHECK(inf.HasSection(name));
        const auto* section = inf.Section(name);
        ZMP_FUZZ_CHECK(section != nullptr);
        for (const auto& line : *section) {
            ++lines;
            // Every line came from the text; a key is found again by its name.
            if (!line.key.empty()) ZMP_FUZZ_CHECK(inf.Find(name, line.key) != nullptr);
            inf.Value(name, line.key);
        }
    }
    ZMP_FUZZ_CHECK(lines <= text.size());
    // The lookups the system's INF search makes.
    for (const char* section : {"Version", "Manufacturer", "KORVANT", "KORVANT.NTamd64", "Strings"})
        inf.Find(section, "KORVANT ZMP-K40");
    inf.Value("Version", "Signature");
    return 0;
}
