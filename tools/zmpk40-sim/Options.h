// The command line of zmpk40-sim.
#pragma once

#include <string>
#include <vector>

#include "simulator/headless/Script.h"

namespace zmp::tool {

struct Options {
    std::string command;  // new, install, uninstall, plug, reboot, show, diff
    std::string dir;      // diff: the state before (a machine directory or a state file)
    // new
    std::string os;
    bool wow64 = false;
    std::string from;
    // install
    std::string package;
    std::string port;     // COM1..COM4, USB, WLAN; "" = keep the dialog's choice
    std::string ip;
    std::string tcpPort;
    bool cancelPort = false;
    // both programs
    int restartAnswer = 0;  // 1 yes, -1 no, 0 not given (No)
    std::string before;     // where to save the state before the run too
    // host files put beside the program before it runs, as a user could
    // (the package folder, the utilities folder)
    std::vector<std::string> plant;
    // uninstall
    std::vector<std::string> uncheck;
    bool cancelList = false;
    // diff
    std::string after;      // "" = DIR's state now, compared with the one before its last run
    bool json = false;
    // install, uninstall: the program's own command line, after "--"
    std::vector<std::string> programArgs;
};

extern const char* const kUsage;

// False with a message when the command line is not valid.
bool ParseOptions(const std::vector<std::string>& args, Options& options, std::string& error);

// The scripted user the options describe. listed: the printers the
// uninstaller will list; portDialogShown is set when the port dialog shows.
sim::Script MakeScript(const Options& options, const std::vector<std::string>& listed, bool* portDialogShown);

// "" when the check list options fit the printers the uninstaller lists,
// else what is wrong.
std::string CheckListOptions(const Options& options, const std::vector<std::string>& listed);

// "A.B.C.D" as the IP-address control holds it; false when it is not one.
bool ParseAddress(const std::string& text, unsigned& packed);

// The arguments as one command line that the C runtime splits back into
// them: blanks and quotes quoted, backslashes before a quote doubled.
std::string JoinArguments(const std::vector<std::string>& args);

}  // namespace zmp::tool
