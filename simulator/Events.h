// The transcript of one simulated run: one event per line, in the order the
// events happened, e.g. "EXEC net start spooler", "SLEEP 2000", "BOX <text> -> OK".
// \r and \n inside a text are written as the two characters backslash-r and
// backslash-n. Thread-safe; optionally echoed to a stream as they happen.
#pragma once

#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

namespace zmp::sim {

class Events {
public:
    // Kind: STATUS, PROGRESS, BOX, EXEC, SLEEP, RESTART, EXIT, TIME (and more
    // where a backend has something worth showing). Text is escaped here.
    void Add(const std::string& kind, const std::string& text = std::string()) {
        std::string line = kind;
        if (!text.empty()) {
            line += ' ';
            line += Escape(text);
        }
        std::lock_guard<std::mutex> lock(mutex_);
        lines_.push_back(line);
        if (echo_) {
            std::fprintf(echo_, "%s\n", line.c_str());
            std::fflush(echo_);
        }
    }
    std::vector<std::string> Lines() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return lines_;
    }
    void EchoTo(std::FILE* stream) { echo_ = stream; }

    static std::string Escape(const std::string& text) {
        std::string out;
        for (char c : text) {
            if (c == '\r') out += "\\r";
            else if (c == '\n') out += "\\n";
            else out += c;
        }
        return out;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
    std::FILE* echo_ = nullptr;
};

}  // namespace zmp::sim
