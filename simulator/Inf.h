// A small INF reader: sections, "key = value" lines, keyless lines, ";"
// comments, quoted strings and %strkey% substitution from [Strings], as the
// Setup API reads them. Sections of the same name are merged; names are
// matched without regard to case.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace zmp::sim {

struct InfLine {
    std::string key;                   // "" for a line without "="
    std::vector<std::string> fields;   // the value's comma-separated fields, unquoted, trimmed
    std::string value;                 // the value as written after "=", substituted
};

class InfFile {
public:
    static InfFile Parse(const std::string& text);

    bool HasSection(const std::string& section) const;
    // The section's lines, in file order; nullptr when there is no such section.
    const std::vector<InfLine>* Section(const std::string& section) const;
    // The first line of section with that key (case-insensitive).
    const InfLine* Find(const std::string& section, const std::string& key) const;
    // The first field of that line, or "".
    std::string Value(const std::string& section, const std::string& key) const;
    std::vector<std::string> SectionNames() const;

private:
    struct SectionData {
        std::string name;
        std::vector<InfLine> lines;
    };
    std::vector<SectionData> sections_;
};

}  // namespace zmp::sim
