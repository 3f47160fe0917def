// The programs' command line: split as the C runtime splits it, then read
// as switches.
#include <gtest/gtest.h>

#include "ui/CommandLine.h"

namespace zmp::ui {
namespace {

TEST(CommandLineTest, SplitsAsTheRuntimeDoes) {
    struct Case {
        const char* line;
        std::vector<std::string> args;
    };
    const Case cases[] = {
        {"", {}},
        {"  \t ", {}},
        {"/quiet  /port\tCOM2", {"/quiet", "/port", "COM2"}},
        {"/log \"C:\\My Logs\\k40.txt\"", {"/log", "C:\\My Logs\\k40.txt"}},
        {"/printer \"Front \"Desk", {"/printer", "Front Desk"}},
        {"\"\"", {""}},
        {"a\\\\b \\\\", {"a\\\\b", "\\\\"}},                   // backslashes not before a quote stay
        {"\"C:\\dir\\\\\" x", {"C:\\dir\\", "x"}},              // 2n backslashes and a quote: n, then the quote groups
        {"a\\\"b", {"a\"b"}},                                    // 2n+1: n and a literal quote
        {"\"say \"\"hi\"\"\"", {"say \"hi\""}},                  // a doubled quote inside quotes
        {"\"open to the end", {"open to the end"}},
    };
    for (const Case& c : cases) EXPECT_EQ(SplitArguments(c.line), c.args) << c.line;
}

TEST(CommandLineTest, SwitchesAndTheirValues) {
    struct Case {
        const char* line;
        RunMode mode;
        RestartRule restart;
        std::string logCopy;
        bool usage;
        std::vector<std::string> printers;
        std::string error;
    };
    const Case cases[] = {
        {"", RunMode::Interactive, RestartRule::Ask, "", false, {}, ""},
        {"/QUIET -NoRestart", RunMode::Quiet, RestartRule::Never, "", false, {}, ""},
        {"-passive /forcerestart /log x.txt", RunMode::Passive, RestartRule::Always, "x.txt", false, {}, ""},
        {"/passive /quiet", RunMode::Quiet, RestartRule::Ask, "", false, {}, ""},
        {"/? /quiet", RunMode::Quiet, RestartRule::Ask, "", true, {}, ""},
        {"/printer A /Printer \"B C\"", RunMode::Interactive, RestartRule::Ask, "", false, {"A", "B C"}, ""},
        {"/norestart /forcerestart", RunMode::Interactive, RestartRule::Never, "", false, {},
         "/norestart and /forcerestart exclude each other."},
        {"/log", RunMode::Interactive, RestartRule::Ask, "", false, {}, "/log needs a value."},
        {"/log /quiet", RunMode::Quiet, RestartRule::Ask, "", false, {}, "/log needs a value."},
        {"/log a /log b", RunMode::Interactive, RestartRule::Ask, "b", false, {}, "/log is given twice."},
        {"/printer \"\"", RunMode::Interactive, RestartRule::Ask, "", false, {}, "/printer needs a value."},
        {"/q", RunMode::Interactive, RestartRule::Ask, "", false, {}, "The switch /q is not known."},
        {"quiet", RunMode::Interactive, RestartRule::Ask, "", false, {}, "\"quiet\" is not a switch."},
        {"/", RunMode::Interactive, RestartRule::Ask, "", false, {}, "\"/\" is not a switch."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        CommandLine line = ParseCommandLine(c.line, {{"printer", true}});
        EXPECT_EQ(line.mode, c.mode);
        EXPECT_EQ(line.restart, c.restart);
        EXPECT_EQ(line.logCopy, c.logCopy);
        EXPECT_EQ(line.usage, c.usage);
        EXPECT_EQ(line.Values("printer"), c.printers);
        EXPECT_EQ(line.error, c.error);
    }
}

}  // namespace
}  // namespace zmp::ui
