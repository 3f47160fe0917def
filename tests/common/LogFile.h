// Reading the programs' log files back in tests: the lines as written
// (without CR LF), and the messages without their "hh:mm:ss: " prefix. A
// "\r\n" inside a message starts a line that has no prefix.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "simulator/Machine.h"

namespace zmp::test {

inline bool HasTimePrefix(const std::string& line) {
    if (line.size() < 10) return false;
    for (size_t i : {0u, 1u, 3u, 4u, 6u, 7u})
        if (line[i] < '0' || line[i] > '9') return false;
    return line[2] == ':' && line[5] == ':' && line[8] == ':' && line[9] == ' ';
}

inline std::string StripTimePrefix(const std::string& line) {
    return HasTimePrefix(line) ? line.substr(10) : line;
}

// The file's lines as written, prefixes kept; none when there is no file.
inline std::vector<std::string> SplitLogLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find("\r\n", at);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(at, end - at));
        at = end + 2;
    }
    return lines;
}

inline std::vector<std::string> RawLogLines(const sim::Machine& machine, const std::string& path) {
    std::optional<std::string> text = machine.ReadFile(path);
    return text ? SplitLogLines(*text) : std::vector<std::string>();
}

// Every line of the log, its time prefix removed.
inline std::vector<std::string> ReadLogLines(const sim::Machine& machine, const std::string& path) {
    std::vector<std::string> lines = RawLogLines(machine, path);
    for (std::string& line : lines) line = StripTimePrefix(line);
    return lines;
}

}  // namespace zmp::test
