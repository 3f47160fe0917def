#include "ui/CommandLine.h"

#include <cctype>

namespace zmp::ui {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// "/quiet", "-Log" ...: a switch every program knows.
bool IsCommonSwitch(const std::string& arg) {
    if (arg.size() < 2 || (arg[0] != '/' && arg[0] != '-')) return false;
    const std::string name = Lower(arg.substr(1));
    for (const char* known : {"?", "quiet", "passive", "norestart", "forcerestart", "log"})
        if (name == known) return true;
    return false;
}

}  // namespace

std::vector<std::string> CommandLine::Values(const std::string& name) const {
    std::vector<std::string> out;
    for (const auto& [switchName, value] : values)
        if (switchName == name) out.push_back(value);
    return out;
}

std::vector<std::string> SplitArguments(const std::string& commandLine) {
    std::vector<std::string> args;
    size_t i = 0;
    const size_t n = commandLine.size();
    for (;;) {
        while (i < n && IsBlank(commandLine[i])) ++i;
        if (i >= n) break;
        std::string arg;
        bool quoted = false;
        while (i < n && (quoted || !IsBlank(commandLine[i]))) {
            size_t slashes = 0;
            while (i < n && commandLine[i] == '\\') {
                ++slashes;
                ++i;
            }
            if (i < n && commandLine[i] == '"') {
                // 2n backslashes and a quote: n backslashes, the quote groups;
                // 2n+1: n backslashes and a literal quote.
                arg.append(slashes / 2, '\\');
                if (slashes % 2 == 1) {
                    arg += '"';
                } else if (quoted && i + 1 < n && commandLine[i + 1] == '"') {
                    arg += '"';  // "" inside quotes
                    ++i;
                } else {
                    quoted = !quoted;
                }
                ++i;
            } else {
                arg.append(slashes, '\\');
                if (i < n && (quoted || !IsBlank(commandLine[i]))) arg += commandLine[i++];
            }
        }
        args.push_back(arg);
    }
    return args;
}

CommandLine ParseCommandLine(const std::string& arguments, std::initializer_list<ValueSwitch> own) {
    CommandLine line;
    const std::vector<std::string> args = SplitArguments(arguments);
    bool quiet = false, passive = false, noRestart = false, forceRestart = false, logGiven = false;
    auto refuse = [&line](const std::string& why) {
        if (line.error.empty()) line.error = why;
    };
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg.size() < 2 || (arg[0] != '/' && arg[0] != '-')) {
            refuse("\"" + arg + "\" is not a switch.");
            continue;
        }
        const std::string name = Lower(arg.substr(1));
        // The next argument as the switch's value; a missing one, or one of
        // the common switches in its place, is an error.
        auto value = [&](std::string& out) {
            if (i + 1 >= args.size() || args[i + 1].empty() || IsCommonSwitch(args[i + 1])) {
                refuse("/" + name + " needs a value.");
                return false;
            }
            out = args[++i];
            return true;
        };
        if (name == "?") {
            line.usage = true;
        } else if (name == "quiet") {
            quiet = true;
        } else if (name == "passive") {
            passive = true;
        } else if (name == "norestart") {
            noRestart = true;
        } else if (name == "forcerestart") {
            forceRestart = true;
        } else if (name == "log") {
            if (logGiven) refuse("/log is given twice.");
            logGiven = true;
            value(line.logCopy);
        } else {
            const ValueSwitch* found = nullptr;
            for (const ValueSwitch& s : own)
                if (name == s.name) found = &s;
            if (!found) {
                refuse("The switch " + arg + " is not known.");
                continue;
            }
            if (!found->repeatable && !line.Values(name).empty()) refuse("/" + name + " is given twice.");
            std::string given;
            if (value(given)) line.values.emplace_back(name, given);
        }
    }
    if (noRestart && forceRestart) refuse("/norestart and /forcerestart exclude each other.");
    // Quiet is the quieter of the two when both are given.
    line.mode = quiet ? RunMode::Quiet : passive ? RunMode::Passive : RunMode::Interactive;
    line.restart = noRestart ? RestartRule::Never : forceRestart ? RestartRule::Always : RestartRule::Ask;
    return line;
}

}  // namespace zmp::ui
