#include "tools/zmpk40-sim/States.h"

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "simulator/Machine.h"

namespace zmp::tool {

namespace fs = std::filesystem;

const char* const kBeforeStateFile = "before.json";

namespace {

// Written beside, then renamed: a killed run never leaves half a state.
bool WriteText(const fs::path& path, const std::string& text, std::string& error) {
    const fs::path partial = path.string() + ".tmp";
    {
        std::ofstream out(partial, std::ios::trunc);
        out << text << '\n';
        if (!out.flush()) {
            error = "cannot write " + partial.string();
            return false;
        }
    }
    std::error_code ec;
    fs::rename(partial, path, ec);
    if (!ec) return true;
    error = "cannot write " + path.string() + ": " + ec.message();
    return false;
}

}  // namespace

bool ReadState(const std::string& path, std::string& state, std::string& error) {
    std::error_code ec;
    if (fs::is_directory(path, ec)) {
        auto machine = sim::Machine::Load(path, &error);
        if (!machine) {
            error = "cannot load the machine in " + path + ": " + error;
            return false;
        }
        state = machine->Show();
        return true;
    }
    std::ifstream in(path);
    if (!in) {
        error = "no machine directory or state file " + path;
        return false;
    }
    std::stringstream text;
    text << in.rdbuf();
    state = text.str();
    // A saved state.json lacks the file list; its directory has it.
    auto parsed = nlohmann::json::parse(state, nullptr, false, true);
    if (parsed.is_discarded() || !parsed.is_object() || !parsed.contains("fileList")) {
        error = path + " is not a state as \"show\" prints it (for a state.json, give its machine directory)";
        return false;
    }
    return true;
}

bool ReadBeforeState(const std::string& dir, std::string& state, std::string& error) {
    fs::path file = fs::path(dir) / kBeforeStateFile;
    std::error_code ec;
    if (!fs::is_regular_file(file, ec)) {
        error = "no state before a run in " + dir + " (install, uninstall and plug keep one)";
        return false;
    }
    return ReadState(file.string(), state, error);
}

bool KeepBeforeState(const std::string& state, const std::string& dir, const std::string& copy, std::string& error) {
    if (!WriteText(fs::path(dir) / kBeforeStateFile, state, error)) return false;
    return copy.empty() || WriteText(copy, state, error);
}

void ForgetBeforeState(const std::string& dir) {
    std::error_code ec;
    fs::remove(fs::path(dir) / kBeforeStateFile, ec);
}

}  // namespace zmp::tool
