#include "simulator/Inf.h"

#include <map>

#include "simulator/Text.h"

namespace zmp::sim {

namespace {

// Cuts a raw line at a ";" outside quotes.
std::string StripComment(const std::string& line) {
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '"') quoted = !quoted;
        else if (line[i] == ';' && !quoted) return line.substr(0, i);
    }
    return line;
}

// Splits at commas outside quotes; each field trimmed and unquoted ("" inside
// quotes stands for one quote).
std::vector<std::string> SplitFields(const std::string& text) {
    std::vector<std::string> fields;
    std::string current;
    bool quoted = false;
    bool any = false;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '"') {
            if (quoted && i + 1 < text.size() && text[i + 1] == '"') {
                current += '"';
                ++i;
            } else {
                quoted = !quoted;
            }
            any = true;
            continue;
        }
        if (c == ',' && !quoted) {
            fields.push_back(Trim(current));
            current.clear();
            continue;
        }
        current += c;
        any = true;
    }
    if (any || !fields.empty()) fields.push_back(Trim(current));
    return fields;
}

std::string Unquote(const std::string& text) {
    std::vector<std::string> f = SplitFields(text);
    return f.empty() ? std::string() : f[0];
}

// Finds "=" outside quotes.
size_t FindEquals(const std::string& line) {
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '"') quoted = !quoted;
        else if (line[i] == '=' && !quoted) return i;
    }
    return std::string::npos;
}

std::string Substitute(const std::string& text, const std::map<std::string, std::string>& strings) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        size_t end = text.find('%', i + 1);
        if (end == std::string::npos) {
            out += text.substr(i);
            break;
        }
        std::string name = text.substr(i + 1, end - i - 1);
        if (name.empty()) {
            out += '%';
        } else {
            auto it = strings.find(Upper(name));
            out += it != strings.end() ? it->second : text.substr(i, end - i + 1);
        }
        i = end;
    }
    return out;
}

}  // namespace

InfFile InfFile::Parse(const std::string& text) {
    struct RawLine {
        std::string section;
        std::string line;
    };
    std::vector<RawLine> raw;
    std::map<std::string, std::string> strings;
    std::string section;
    bool inSection = false;
    for (const std::string& physical : Split(text, '\n')) {
        std::string line = Trim(StripComment(physical));
        if (line.empty()) continue;
        if (line.front() == '[') {
            size_t close = line.find(']');
            section = Trim(line.substr(1, close == std::string::npos ? std::string::npos : close - 1));
            inSection = true;
            continue;
        }
        if (!inSection) continue;
        if (IEquals(section, "Strings")) {
            size_t eq = FindEquals(line);
            if (eq != std::string::npos)
                strings[Upper(Unquote(Trim(line.substr(0, eq))))] = Unquote(Trim(line.substr(eq + 1)));
        }
        raw.push_back({section, line});
    }

    InfFile inf;
    std::map<std::string, size_t> index;
    // Sections without lines exist too.
    section.clear();
    for (const std::string& physical : Split(text, '\n')) {
        std::string line = Trim(StripComment(physical));
        if (!line.empty() && line.front() == '[') {
            size_t close = line.find(']');
            std::string name = Trim(line.substr(1, close == std::string::npos ? std::string::npos : close - 1));
            if (!index.count(Upper(name))) {
                index[Upper(name)] = inf.sections_.size();
                inf.sections_.push_back({name, {}});
            }
        }
    }
    for (const RawLine& r : raw) {
        InfLine parsed;
        size_t eq = FindEquals(r.line);
        std::string valuePart = r.line;
        if (eq != std::string::npos) {
            parsed.key = Unquote(Substitute(Trim(r.line.substr(0, eq)), strings));
            valuePart = Trim(r.line.substr(eq + 1));
        }
        parsed.value = Substitute(valuePart, strings);
        parsed.fields = SplitFields(parsed.value);
        inf.sections_[index[Upper(r.section)]].lines.push_back(parsed);
    }
    return inf;
}

bool InfFile::HasSection(const std::string& section) const { return Section(section) != nullptr; }

const std::vector<InfLine>* InfFile::Section(const std::string& section) const {
    for (const SectionData& s : sections_)
        if (IEquals(s.name, section)) return &s.lines;
    return nullptr;
}

const InfLine* InfFile::Find(const std::string& section, const std::string& key) const {
    const std::vector<InfLine>* lines = Section(section);
    if (!lines) return nullptr;
    for (const InfLine& line : *lines)
        if (!line.key.empty() && IEquals(line.key, key)) return &line;
    return nullptr;
}

std::string InfFile::Value(const std::string& section, const std::string& key) const {
    const InfLine* line = Find(section, key);
    return line && !line->fields.empty() ? line->fields[0] : std::string();
}

std::vector<std::string> InfFile::SectionNames() const {
    std::vector<std::string> names;
    for (const SectionData& s : sections_) names.push_back(s.name);
    return names;
}

}  // namespace zmp::sim
