#include "tools/zmpk40-sim/Options.h"

#include <algorithm>
#include <set>
#include <map>

#include "installer/Port_Dlg.h"

namespace zmp::tool {

const char* const kUsage =
    "usage:\n"
    "  zmpk40-sim new DIR --os NAME [--wow64]    a fresh machine (NAME: 95, 98, me, nt4, 2000,\n"
    "                                            xp, 2003, xp64, vista, 2008, 2008r2, 7, 10)\n"
    "  zmpk40-sim new DIR --from STATE.json      a machine from a saved state\n"
    "  zmpk40-sim install DIR --package PKG [--port COM1|COM2|COM3|COM4|USB|WLAN]\n"
    "             [--ip A.B.C.D] [--tcp-port N] [--cancel-port] [--yes|--no] [--before FILE]\n"
    "             [--plant FILE]...\n"
    "             [-- ARGS...]                   runs the installer from a copy of PKG\n"
    "  zmpk40-sim uninstall DIR [--uncheck NAME]... [--cancel] [--yes|--no] [--before FILE]\n"
    "             [--plant FILE]...\n"
    "             [-- ARGS...]                   runs the installed uninstaller\n"
    "  zmpk40-sim plug DIR                       switches the USB printer on\n"
    "  zmpk40-sim reboot DIR                     restarts the machine: held files released,\n"
    "                                            Plug and Play finds the devices again\n"
    "  zmpk40-sim show DIR                       prints the machine's state as JSON\n"
    "  zmpk40-sim diff DIR [--json]              what the last install, uninstall or plug changed\n"
    "  zmpk40-sim diff BEFORE AFTER [--json]     the changes from one state to another (machine\n"
    "                                            directories, or states as show prints them)\n"
    "\n"
    "A run prints its transcript, one event a line: STATUS <text>, PROGRESS <position>,\n"
    "BOX <text> -> OK|YES|NO, EXEC <command line>, SLEEP <ms>, RESTART, then EXIT <code> and\n"
    "TIME <virtual ms>; CR and LF in a text show as \\r and \\n. Message boxes with only OK are\n"
    "answered OK, the restart question No unless --yes. ARGS after \"--\" are the program's own\n"
    "command line (/quiet, /passive, /port ...); a box the program answers itself, unseen, shows\n"
    "as LOGGED <text> -> OK|YES|NO. The machine is saved afterwards, in one step (a run that is\n"
    "killed leaves the machine as it was), and its state before the run is kept\n"
    "(DIR/before.json; --before FILE saves a copy). One run at a time uses a machine; another\n"
    "is refused while it runs.\n"
    "Exit codes: 0 done, 1 failed, 2 not a valid command line for this machine, 3 done, but an\n"
    "option had nothing to act on (said on stderr).\n";

namespace {

// Port dialog controls: the radio buttons in the order of the port codes.
const std::map<std::string, int> kPortRadio = {
    {"COM1", 1006}, {"COM2", 1008}, {"COM3", 1009}, {"COM4", 1011}, {"USB", 1001}, {"WLAN", 1007},
};
constexpr int kAddressControl = 1003;
constexpr int kPortEdit = 1005;
constexpr int kNextButton = 1;
constexpr int kCheckList = 1006;
constexpr int kUninstallButton = 1001;
constexpr int kCancelButton = 2;
constexpr const char* kPortDialog = "Port Type";
constexpr const char* kUninstallerDialog = "KORVANT ZMP-K40 Uninstaller";

bool Allowed(const std::string& command, const std::string& option) {
    static const std::map<std::string, std::vector<std::string>> allowed = {
        {"new", {"--os", "--wow64", "--from"}},
        {"install", {"--package", "--port", "--ip", "--tcp-port", "--cancel-port", "--yes", "--no", "--before", "--plant"}},
        {"uninstall", {"--uncheck", "--cancel", "--yes", "--no", "--before", "--plant"}},
        {"plug", {}},
        {"reboot", {}},
        {"show", {}},
        {"diff", {"--json"}},
    };
    auto it = allowed.find(command);
    if (it == allowed.end()) return false;
    for (const std::string& o : it->second)
        if (o == option) return true;
    return false;
}

}  // namespace

bool ParseAddress(const std::string& text, unsigned& packed) {
    unsigned char fields[4];
    if (!PortTypeDialog::ParseAddress(text, fields)) return false;
    packed = ui::IpAddressCtrl::Pack(fields[0], fields[1], fields[2], fields[3]);
    return true;
}

bool ParseOptions(const std::vector<std::string>& args, Options& o, std::string& error) {
    if (args.size() < 2) {
        error = "a command and a machine directory are needed";
        return false;
    }
    o.command = args[0];
    o.dir = args[1];
    if (o.command != "new" && o.command != "install" && o.command != "uninstall" && o.command != "plug" &&
        o.command != "reboot" && o.command != "show" && o.command != "diff") {
        error = "unknown command: " + o.command;
        return false;
    }
    size_t first = 2;
    if (o.command == "diff" && args.size() > 2 && args[2].rfind("--", 0) != 0) o.after = args[first++];
    for (size_t i = first; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (o.command == "diff" && a.rfind("--", 0) != 0) {
            error = "diff takes DIR, or BEFORE and AFTER";
            return false;
        }
        if (a == "--" && (o.command == "install" || o.command == "uninstall")) {
            o.programArgs.assign(args.begin() + static_cast<long>(i) + 1, args.end());
            break;
        }
        if (!Allowed(o.command, a)) {
            error = "option " + a + " is not one of \"" + o.command + "\"";
            return false;
        }
        auto value = [&](std::string& out) {
            if (i + 1 >= args.size()) {
                error = a + " needs a value";
                return false;
            }
            out = args[++i];
            return true;
        };
        if (a == "--os") {
            if (!value(o.os)) return false;
        } else if (a == "--from") {
            if (!value(o.from)) return false;
        } else if (a == "--package") {
            if (!value(o.package)) return false;
        } else if (a == "--port") {
            if (!value(o.port)) return false;
            if (!kPortRadio.count(o.port)) {
                error = "--port takes COM1, COM2, COM3, COM4, USB or WLAN";
                return false;
            }
        } else if (a == "--ip") {
            unsigned packed = 0;
            if (!value(o.ip)) return false;
            if (!ParseAddress(o.ip, packed)) {
                error = "--ip takes an address A.B.C.D";
                return false;
            }
        } else if (a == "--before") {
            if (!value(o.before)) return false;
        } else if (a == "--plant") {
            std::string file;
            if (!value(file)) return false;
            o.plant.push_back(file);
        } else if (a == "--json") {
            o.json = true;
        } else if (a == "--tcp-port") {
            if (!value(o.tcpPort)) return false;
        } else if (a == "--uncheck") {
            std::string name;
            if (!value(name)) return false;
            o.uncheck.push_back(name);
        } else if (a == "--wow64") {
            o.wow64 = true;
        } else if (a == "--cancel-port") {
            o.cancelPort = true;
        } else if (a == "--cancel") {
            o.cancelList = true;
        } else if (a == "--yes" || a == "--no") {
            int answer = a == "--yes" ? 1 : -1;
            if (o.restartAnswer != 0 && o.restartAnswer != answer) {
                error = "--yes and --no exclude each other";
                return false;
            }
            o.restartAnswer = answer;
        }
    }
    if (o.command == "new" && o.os.empty() == o.from.empty()) {
        error = "new takes either --os NAME or --from STATE.json";
        return false;
    }
    if (o.command == "new" && o.wow64 && !o.from.empty()) {
        error = "--wow64 goes with --os";
        return false;
    }
    if (o.command == "install" && o.package.empty()) {
        error = "install needs --package PKG";
        return false;
    }
    if (o.cancelPort && (!o.port.empty() || !o.ip.empty() || !o.tcpPort.empty())) {
        error = "--cancel-port closes the port dialog: no --port, --ip or --tcp-port with it";
        return false;
    }
    if (o.cancelList && !o.uncheck.empty()) {
        error = "--cancel closes the list: no --uncheck with it";
        return false;
    }
    return true;
}

std::string JoinArguments(const std::vector<std::string>& args) {
    std::string line;
    for (const std::string& arg : args) {
        if (!line.empty()) line += ' ';
        if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) {
            line += arg;
            continue;
        }
        line += '"';
        size_t slashes = 0;
        for (char c : arg) {
            if (c == '\\') {
                ++slashes;
                continue;
            }
            // Backslashes before a quote are doubled, and the quote escaped.
            line.append(c == '"' ? slashes * 2 + 1 : slashes, '\\');
            slashes = 0;
            line += c;
        }
        line.append(slashes * 2, '\\');  // before the closing quote
        line += '"';
    }
    return line;
}

sim::Script MakeScript(const Options& o, const std::vector<std::string>& listed, bool* portDialogShown) {
    using sim::UserAction;
    sim::Script script;
    // The first thing done on the port dialog says that it was shown.
    std::vector<UserAction> port{UserAction::Call([portDialogShown] {
        if (portDialogShown) *portDialogShown = true;
    })};
    if (o.cancelPort) {
        port.push_back(UserAction::Escape());
    } else {
        if (!o.port.empty()) port.push_back(UserAction::Click(kPortRadio.at(o.port)));
        unsigned packed = 0;
        if (!o.ip.empty() && ParseAddress(o.ip, packed)) port.push_back(UserAction::TypeAddress(kAddressControl, packed));
        if (!o.tcpPort.empty()) port.push_back(UserAction::Type(kPortEdit, o.tcpPort));
        port.push_back(UserAction::Click(kNextButton));
        // Still open after "Next" (a rejected port number): the user gives up.
        port.push_back(UserAction::Escape());
    }
    script.OnDialog(kPortDialog, std::move(port));

    std::vector<UserAction> list;
    for (const std::string& name : o.uncheck) list.push_back(UserAction::Uncheck(kCheckList, name));
    // With every printer unchecked "Uninstall" is greyed: the user closes
    // the dialog instead.
    const bool noneChecked =
        !listed.empty() && std::set<std::string>(o.uncheck.begin(), o.uncheck.end()).size() >= listed.size();
    list.push_back(UserAction::Click(o.cancelList || noneChecked ? kCancelButton : kUninstallButton));
    script.OnDialog(kUninstallerDialog, std::move(list));

    if (o.restartAnswer != 0) script.AnswerYesNo(o.restartAnswer > 0);
    return script;
}

std::string CheckListOptions(const Options& o, const std::vector<std::string>& listed) {
    if (o.uncheck.empty() && !o.cancelList) return "";
    if (listed.empty())
        return std::string(o.cancelList ? "--cancel" : "--uncheck") +
               ": the uninstaller lists no printer on this machine, so nothing can be chosen (its removal, if any, "
               "starts by itself)";
    std::string names;
    for (const std::string& n : listed) names += (names.empty() ? "\"" : ", \"") + n + "\"";
    for (const std::string& name : o.uncheck)
        if (std::find(listed.begin(), listed.end(), name) == listed.end())
            return "--uncheck \"" + name + "\": the uninstaller lists no such printer (it lists " + names + ")";
    return "";
}

}  // namespace zmp::tool
