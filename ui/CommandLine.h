// The programs' command line: the switches both take (how they run, the
// restart, a copy of the log, the usage) and those of one program that take
// a value. Switches start with "/" or "-" and are read in any letter case.
#pragma once

#include <initializer_list>
#include <string>
#include <vector>

namespace zmp::ui {

// Interactive: as without switches. Passive: the progress window only, no
// questions. Quiet: no window at all.
enum class RunMode { Interactive, Passive, Quiet };

// Ask: the restart question as the run has it. Never (/norestart): no
// restart, none asked for. Always (/forcerestart): a restart at the end of
// every run that did not fail, without asking.
enum class RestartRule { Ask, Never, Always };

// A switch of one program that takes the next argument as its value.
struct ValueSwitch {
    const char* name;  // lower case, without "/"
    bool repeatable;
};

struct CommandLine {
    RunMode mode = RunMode::Interactive;
    RestartRule restart = RestartRule::Ask;
    std::string logCopy;  // /log PATH
    bool usage = false;   // /?
    // The program's own switches as given, in order: name (lower case) and value.
    std::vector<std::pair<std::string, std::string>> values;
    // Why the command line is refused; "" when it is not.
    std::string error;

    bool Unattended() const { return mode != RunMode::Interactive; }
    // The values given to one of the program's switches, in order.
    std::vector<std::string> Values(const std::string& name) const;
};

// The arguments of a command line as the C runtime splits them for main:
// blanks separate, double quotes group (a doubled one inside quotes stands
// for itself), and backslashes are literal unless they precede a quote.
std::vector<std::string> SplitArguments(const std::string& commandLine);

// The arguments after the program's name (WinMain's lpCmdLine).
CommandLine ParseCommandLine(const std::string& arguments, std::initializer_list<ValueSwitch> own);

}  // namespace zmp::ui
