// What changed between two states of a machine (as Machine::Show() prints
// them): spooler objects, registry keys per view, files and folders, Plug and
// Play devices and oem INFs, access lists and the machine's own settings.
// Each object added, removed or changed is one change; the changes come
// grouped, and in a stable order within a group (names and paths compared
// case-insensitively, component by component). The clock is not compared.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace zmp::sim {

struct Change {
    enum class Type { Added, Removed, Changed };
    struct Field {
        std::string name;
        nlohmann::ordered_json before;  // null where the object or the field is absent
        nlohmann::ordered_json after;
        // Text form: a registry string is quoted (to tell "4" from 4); an
        // opaque value (a content digest) only says that it changed.
        enum class Style { Plain, Quoted, Opaque } style = Style::Plain;
        bool brief = false;  // worth showing on the line of an added object
    };

    std::string group;  // "Spooler", "Registry, 32-bit view", "Files" ...
    Type type = Type::Changed;
    std::string kind;       // "printer", "driver", "key", "file", "folder", "device" ...
    std::string name;       // "KORVANT ZMP-K40", "HKLM\\SOFTWARE\\...", "C:\\Temp"
    std::string qualifier;  // what else tells it apart: "Windows x64, version 3" for a driver
    // Added: every field with its value after; removed: every field with its
    // value before; changed: the fields that differ.
    std::vector<Field> fields;
};

class ChangeReport {
public:
    // False and *error when a document is not a machine state.
    bool Compare(const std::string& beforeState, const std::string& afterState, std::string* error = nullptr);

    const std::vector<Change>& Changes() const { return changes_; }
    // A heading per group, then one line per change:
    //   + kind name: field value, ...      (added, its brief fields)
    //   - kind name                        (removed)
    //   ~ kind name: field before -> after, ...
    // "" when nothing changed.
    std::string AsText() const;
    // The same as data: an array of {"group", "change": "added"|"removed"|
    // "changed", "kind", "name", "before": {field: value}, "after": {...}}.
    std::string AsJson() const;

private:
    std::vector<Change> changes_;
};

}  // namespace zmp::sim
