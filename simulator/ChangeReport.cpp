#include "simulator/ChangeReport.h"

#include <cstdio>
#include <map>
#include <set>
#include <tuple>

#include "platform/FileSystem.h"
#include "platform/Registry.h"
#include "simulator/Text.h"

namespace zmp::sim {
namespace {

using Json = nlohmann::ordered_json;
using Style = Change::Field::Style;

// In the order the report shows them.
enum Group { kSpooler, kRegistry, kRegistry32, kFiles, kPlugAndPlay, kAccessLists, kSystem };

struct Property {
    std::string name;
    Json value;
    Style style = Style::Plain;
    bool brief = false;
};

struct Object {
    std::string kind;
    std::string name;
    std::string qualifier;
    std::vector<Property> properties;

    Object& Add(const std::string& field, Json value, bool brief = false, Style style = Style::Plain) {
        properties.push_back({field, std::move(value), style, brief});
        return *this;
    }
};

// Identity and order of an object: its group, its sort path (upper case,
// one component a step, so a folder comes right before what it holds), its kind.
using Key = std::tuple<int, std::vector<std::string>, std::string>;
using Objects = std::map<Key, Object>;

const Json kNull;

const Json& At(const Json& j, const char* key) {
    if (!j.is_object()) return kNull;
    auto it = j.find(key);
    return it == j.end() ? kNull : *it;
}

const Json& List(const Json& j, const char* key) {
    static const Json kEmpty = Json::array();
    const Json& v = At(j, key);
    return v.is_array() ? v : kEmpty;
}

std::string Text(const Json& j, const char* key) {
    const Json& v = At(j, key);
    return v.is_string() ? v.get<std::string>() : std::string();
}

std::vector<std::string> Components(const std::string& path) {
    std::vector<std::string> out;
    for (const std::string& part : Split(Upper(path), '\\'))
        if (!part.empty()) out.push_back(part);
    return out;
}

std::string Quote(const std::string& name) { return "\"" + name + "\""; }

std::string Hex(Dword value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", static_cast<unsigned>(value));
    return text;
}

// One access entry as a reader of the SetEntriesInAcl documentation names it.
std::string AceText(const Json& ace) {
    static const std::map<Dword, const char*> kMasks = {{sec::kGenericAll, "GENERIC_ALL"},
                                                        {reg::kKeyAllAccess, "KEY_ALL_ACCESS"},
                                                        {reg::kKeyRead, "KEY_READ"},
                                                        {reg::kKeyWrite, "KEY_WRITE"}};
    static const std::map<Dword, const char*> kModes = {{sec::kGrantAccess, "grant"},
                                                        {sec::kSetAccess, "set"},
                                                        {sec::kDenyAccess, "deny"},
                                                        {sec::kRevokeAccess, "revoke"}};
    static const std::map<Dword, const char*> kInheritance = {
        {1, "objects inherit"},
        {sec::kSubContainersOnlyInherit, "containers inherit"},
        {sec::kSubContainersAndObjectsInherit, "containers and objects inherit"}};
    auto named = [&](const char* field, const std::map<Dword, const char*>& names, const char* prefix) {
        Dword value = At(ace, field).is_number() ? At(ace, field).get<Dword>() : 0;
        auto it = names.find(value);
        return it != names.end() ? std::string(it->second) : prefix + Hex(value);
    };
    std::string out = Text(ace, "trustee") + ": " + named("mask", kMasks, "") + ", " + named("mode", kModes, "mode ");
    if (At(ace, "inheritance").is_number() && At(ace, "inheritance").get<Dword>() != 0)
        out += ", " + named("inheritance", kInheritance, "inheritance ");
    return out;
}

Json AclText(const Json& acl) {
    Json out = Json::array();
    if (acl.is_array())
        for (const Json& ace : acl) out.push_back(AceText(ace));
    return out;
}

Json AttributeNames(Dword attributes) {
    static const std::pair<Dword, const char*> kNames[] = {{file::kAttributeReadOnly, "read-only"},
                                                           {file::kAttributeHidden, "hidden"},
                                                           {file::kAttributeSystem, "system"},
                                                           {file::kAttributeArchive, "archive"},
                                                           {file::kAttributeNormal, "normal"}};
    Json out = Json::array();
    for (const auto& [bit, name] : kNames)
        if (attributes & bit) {
            out.push_back(name);
            attributes &= ~bit;
        }
    if (attributes) out.push_back(Hex(attributes));
    return out;
}

// "2.0.6.0" for the four version values a driver reports; the values as they are otherwise.
Json ReportedVersion(const Json& data) {
    const char* parts[] = {"MajorVersion", "MinorVersion", "BuildVersion", "ExtraVersion"};
    if (!data.is_object() || data.size() != 4) return data;
    std::string out;
    for (const char* part : parts) {
        if (!At(data, part).is_number()) return data;
        out += (out.empty() ? "" : ".") + std::to_string(At(data, part).get<Dword>());
    }
    return out;
}

void Put(Objects& out, int group, std::vector<std::string> order, Object object) {
    std::string kind = object.kind;
    out[Key{group, std::move(order), kind}] = std::move(object);
}

void AddSpooler(const Json& state, Objects& out) {
    const Json& sp = At(state, "spooler");
    Put(out, kSpooler, {"0"}, Object{"service", "Spooler", "", {}}.Add("running", At(sp, "running")));
    for (const Json& p : List(sp, "printers")) {
        Object o{"printer", Text(p, "name"), "", {}};
        o.Add("driver", At(p, "driver"), true).Add("port", At(p, "port"), true);
        o.Add("processor", At(p, "processor"), true).Add("datatype", At(p, "datatype"));
        o.Add("share name", At(p, "shareName")).Add("attributes", At(p, "attributes"));
        o.Add("priority", At(p, "priority")).Add("status", At(p, "status")).Add("data", At(p, "data"));
        o.Add("jobs", At(p, "jobs"), true).Add("pending deletion", At(p, "pendingDeletion"));
        Put(out, kSpooler, {"1", Upper(Text(p, "name"))}, std::move(o));
    }
    for (const Json& d : List(sp, "drivers")) {
        std::string version = At(d, "version").is_number() ? std::to_string(At(d, "version").get<Dword>()) : "?";
        Object o{"driver", Text(d, "name"), Text(d, "environment") + ", version " + version, {}};
        o.Add("driver file", At(d, "driverPath")).Add("data file", At(d, "dataFile"));
        o.Add("config file", At(d, "configFile")).Add("help file", At(d, "helpFile"));
        o.Add("dependent files", At(d, "dependentFiles")).Add("monitor", At(d, "monitorName"), true);
        o.Add("default datatype", At(d, "defaultDataType"));
        o.Add("reports", ReportedVersion(At(d, "reportedData")), true);
        o.Add("processor", At(d, "printProcessor"), true).Add("oem INF", At(d, "oemInf"), true);
        Put(out, kSpooler, {"2", Upper(Text(d, "name")), Upper(Text(d, "environment")), version}, std::move(o));
    }
    for (const Json& m : List(sp, "monitors"))
        Put(out, kSpooler, {"3", Upper(Text(m, "name"))},
            Object{"monitor", Text(m, "name"), "", {}}
                .Add("dll", At(m, "dll"), true)
                .Add("environment", At(m, "environment")));
    for (const Json& p : List(sp, "processors"))
        Put(out, kSpooler, {"4", Upper(Text(p, "name")), Upper(Text(p, "environment"))},
            Object{"processor", Text(p, "name"), Text(p, "environment"), {}}.Add("dll", At(p, "dll"), true));
    for (const Json& p : List(sp, "ports")) {
        Object o{"port", Text(p, "name"), "", {}};
        o.Add("monitor", At(p, "monitor"), true).Add("host", At(p, "hostAddress"), true);
        o.Add("port number", At(p, "portNumber"), true).Add("protocol", At(p, "protocol"));
        Put(out, kSpooler, {"5", Upper(Text(p, "name"))}, std::move(o));
    }
    for (const Json& f : List(sp, "forms"))
        if (f.is_string())
            Put(out, kSpooler, {"6", Upper(f.get<std::string>())}, Object{"form", f.get<std::string>(), "", {}});
}

// Registry keys, each with its values; on 64-bit Windows the 32-bit view
// (HKLM\SOFTWARE\Wow6432Node) apart, under the names a 32-bit program uses.
void AddRegistry(const Json& state, bool is64Bit, Objects& out) {
    const std::string wow = "HKLM\\SOFTWARE\\Wow6432Node";
    const Json& registry = At(state, "registry");
    if (!registry.is_object()) return;
    for (auto it = registry.begin(); it != registry.end(); ++it) {
        const std::string& path = it.key();
        const Json& key = it.value();
        bool view32 = is64Bit && IsWithin(path, wow);
        std::string shown = view32 ? "HKLM\\SOFTWARE" + path.substr(wow.size()) : path;
        Object o{"key", shown, "", {}};
        const Json& values = At(key, "values");
        if (values.is_object())
            for (auto v = values.begin(); v != values.end(); ++v)
                o.Add(v.key().empty() ? "(Default)" : v.key(), v.value(), true, Style::Quoted);
        Put(out, view32 ? kRegistry32 : kRegistry, Components(shown), std::move(o));

        bool isProtected = At(key, "protected").is_boolean() && At(key, "protected").get<bool>();
        bool protectionRoot = At(key, "protectionRoot").is_boolean() && At(key, "protectionRoot").get<bool>();
        Json acl = AclText(At(key, "acl"));
        if (isProtected || protectionRoot || !acl.empty()) {
            Object a{"key", path, "", {}};
            a.Add("protected", isProtected, isProtected).Add("protection root", protectionRoot, protectionRoot);
            a.Add("entries", acl, true);
            std::vector<std::string> order = Components(path);
            order.insert(order.begin(), "2");
            Put(out, kAccessLists, std::move(order), std::move(a));
        }
    }
}

// Files and folders (from the file list of "show"), their attributes and
// holds; folders' access lists; oem INFs.
void AddFiles(const Json& state, Objects& out) {
    const Json& list = At(state, "fileList");
    if (!list.is_array()) return;
    const Json& files = At(state, "files");
    std::map<std::string, Json> extra;  // upper path -> attributes and ACL
    if (files.is_object())
        for (auto it = files.begin(); it != files.end(); ++it) extra[Upper(it.key())] = it.value();
    std::set<std::string> heldByOthers;
    for (const Json& f : List(state, "openFiles"))
        if (f.is_string()) heldByOthers.insert(Upper(f.get<std::string>()));
    const std::string infDirectory = Upper(Text(At(state, "os"), "windowsDirectory") + "\\inf");

    for (const Json& entry : list) {
        std::string path = Text(entry, "path");
        auto found = extra.find(Upper(path));
        const Json& more = found != extra.end() ? found->second : kNull;
        bool directory = At(entry, "directory").is_boolean() && At(entry, "directory").get<bool>();
        Object o{directory ? "folder" : "file", path, "", {}};
        if (At(entry, "junction").is_string()) {
            o.kind = "junction";
            o.Add("target", At(entry, "junction"), true);
        } else {
            Dword standard = directory ? 0 : file::kAttributeArchive;
            Dword attributes = At(more, "attributes").is_number() ? At(more, "attributes").get<Dword>() : standard;
            if (!directory) {
                bool held = At(entry, "held").is_boolean() && At(entry, "held").get<bool>();
                std::string holder = heldByOthers.count(Upper(path)) ? "by another process"
                                     : held                          ? "by the spooler"
                                                                     : "no";
                o.Add("size", At(entry, "size"), true).Add("content", At(entry, "digest"), false, Style::Opaque);
                o.Add("held", holder, holder != "no");
            }
            o.Add("attributes", AttributeNames(attributes), attributes != standard);
        }
        std::string kind = o.kind;
        Put(out, kFiles, Components(path), std::move(o));

        Json acl = AclText(At(more, "acl"));
        if (!acl.empty()) {
            std::vector<std::string> order = Components(path);
            order.insert(order.begin(), "1");
            Put(out, kAccessLists, std::move(order), Object{kind, path, "", {}}.Add("entries", acl, true));
        }
        std::string name = FileName(path);
        if (!directory && Upper(ParentPath(path)) == infDirectory && IStartsWith(name, "oem") &&
            IEndsWith(name, ".inf") && name.size() > 7 && name.find_first_not_of("0123456789", 3) == name.size() - 4)
            Put(out, kPlugAndPlay, {"2", Upper(name)},
                Object{"oem INF", name, "", {}}
                    .Add("size", At(entry, "size"), true)
                    .Add("content", At(entry, "digest"), false, Style::Opaque));
    }
}

void AddDevices(const Json& state, Objects& out) {
    for (const Json& d : List(state, "devices")) {
        Object o{"device", Text(d, "instanceId"), "", {}};
        o.Add("present", At(d, "present"), true).Add("hardware ids", At(d, "hardwareIds"));
        o.Add("oem INF", At(d, "oemInf"), true);
        Put(out, kPlugAndPlay, {"1", Upper(Text(d, "instanceId"))}, std::move(o));
    }
}

// The version record, the computer's name, the restarts it was asked for and
// the model's switches; not the clock, which every run moves on.
void AddSystem(const Json& state, Objects& out) {
    Object o{"machine", "", "", {}};
    const Json& os = At(state, "os");
    if (os.is_object())
        for (auto it = os.begin(); it != os.end(); ++it) {
            if (it.key() != "functions") {
                o.Add(it.key(), it.value());
                continue;
            }
            if (it.value().is_object())
                for (auto f = it.value().begin(); f != it.value().end(); ++f) o.Add(f.key(), f.value());
        }
    o.Add("computer name", At(state, "computerName")).Add("restarts", At(state, "restarts"));
    const Json& switches = At(state, "switches");
    if (switches.is_object())
        for (auto it = switches.begin(); it != switches.end(); ++it) o.Add(it.key(), it.value());
    Put(out, kSystem, {}, std::move(o));
}

Objects Flatten(const Json& state, bool is64Bit) {
    Objects out;
    AddSpooler(state, out);
    AddRegistry(state, is64Bit, out);
    AddFiles(state, out);
    AddDevices(state, out);
    AddSystem(state, out);
    return out;
}

bool Is64Bit(const Json& state) {
    const Json& v = At(At(state, "os"), "is64Bit");
    return v.is_boolean() && v.get<bool>();
}

std::string GroupName(int group, bool is64Bit) {
    switch (group) {
        case kSpooler:
            return "Spooler";
        case kRegistry:
            return is64Bit ? "Registry, 64-bit view" : "Registry";
        case kRegistry32:
            return "Registry, 32-bit view";
        case kFiles:
            return "Files";
        case kPlugAndPlay:
            return "Plug and Play";
        case kAccessLists:
            return "Access lists";
        default:
            return "System";
    }
}

Change Whole(Change::Type type, int group, bool is64Bit, const Object& o) {
    Change c{GroupName(group, is64Bit), type, o.kind, o.name, o.qualifier, {}};
    for (const Property& p : o.properties) {
        Change::Field f{p.name, Json(), Json(), p.style, p.brief};
        (type == Change::Type::Added ? f.after : f.before) = p.value;
        c.fields.push_back(std::move(f));
    }
    return c;
}

const Property* FindProperty(const Object& o, const std::string& name) {
    for (const Property& p : o.properties)
        if (p.name == name) return &p;
    return nullptr;
}

// Nothing worth showing: null, "", [] or {} (json::empty() is false for any string).
bool Empty(const Json& v) {
    return v.is_null() || (v.is_string() ? v.get_ref<const std::string&>().empty() : (v.is_structured() && v.empty()));
}

std::string Render(const Json& v, Style style) {
    if (v.is_null()) return "(none)";
    if (v.is_boolean()) return v.get<bool>() ? "yes" : "no";
    if (v.is_string()) return style == Style::Quoted ? Quote(v.get<std::string>()) : v.get<std::string>();
    std::string out;
    if (v.is_array()) {
        for (const Json& e : v) out += (out.empty() ? "" : ", ") + Render(e, style);
        return "[" + out + "]";
    }
    if (v.is_object()) {
        for (auto it = v.begin(); it != v.end(); ++it)
            out += (out.empty() ? "" : ", ") + it.key() + " " + Render(it.value(), style);
        return "{" + out + "}";
    }
    return v.dump();
}

}  // namespace

bool ChangeReport::Compare(const std::string& beforeState, const std::string& afterState, std::string* error) {
    changes_.clear();
    Json before, after;
    try {
        before = Json::parse(beforeState);
        after = Json::parse(afterState);
    } catch (const std::exception& e) {
        if (error) *error = e.what();
        return false;
    }
    if (!before.is_object() || !after.is_object()) {
        if (error) *error = "a machine state is a JSON object";
        return false;
    }
    bool is64Bit = Is64Bit(after);
    Objects was = Flatten(before, Is64Bit(before)), now = Flatten(after, is64Bit);

    auto b = was.begin(), a = now.begin();
    while (b != was.end() || a != now.end()) {
        if (a == now.end() || (b != was.end() && b->first < a->first)) {
            changes_.push_back(Whole(Change::Type::Removed, std::get<0>(b->first), is64Bit, b->second));
            ++b;
        } else if (b == was.end() || a->first < b->first) {
            changes_.push_back(Whole(Change::Type::Added, std::get<0>(a->first), is64Bit, a->second));
            ++a;
        } else {
            const Object& o = a->second;
            Change c{GroupName(std::get<0>(a->first), is64Bit), Change::Type::Changed, o.kind, o.name, o.qualifier, {}};
            for (const Property& p : b->second.properties) {
                const Property* q = FindProperty(a->second, p.name);
                Json value = q ? q->value : Json();
                if (value != p.value) c.fields.push_back({p.name, p.value, value, p.style, p.brief});
            }
            for (const Property& q : a->second.properties)
                if (!FindProperty(b->second, q.name)) c.fields.push_back({q.name, Json(), q.value, q.style, q.brief});
            if (!c.fields.empty()) changes_.push_back(std::move(c));
            ++a;
            ++b;
        }
    }
    return true;
}

std::string ChangeReport::AsText() const {
    std::string out, group;
    for (const Change& c : changes_) {
        if (c.group != group) {
            group = c.group;
            out += group + "\n";
        }
        static const char kSigns[] = {'+', '-', '~'};
        std::string line = std::string("  ") + kSigns[static_cast<int>(c.type)] + " " + c.kind;
        // Paths and device ids as they are; spooler objects' names, which may hold blanks, quoted.
        if (!c.name.empty()) line += " " + (c.name.find('\\') == std::string::npos ? Quote(c.name) : c.name);
        if (!c.qualifier.empty()) line += " (" + c.qualifier + ")";
        std::string details;
        for (const Change::Field& f : c.fields) {
            std::string part;
            if (c.type == Change::Type::Changed)
                part = f.name + (f.style == Style::Opaque
                                     ? " changed"
                                     : " " + Render(f.before, f.style) + " -> " + Render(f.after, f.style));
            else if (c.type == Change::Type::Added && f.brief && !Empty(f.after))
                part = f.name + " " + Render(f.after, f.style);
            if (!part.empty()) details += (details.empty() ? "" : ", ") + part;
        }
        out += line + (details.empty() ? "" : ": " + details) + "\n";
    }
    return out;
}

std::string ChangeReport::AsJson() const {
    static const char* const kTypes[] = {"added", "removed", "changed"};
    Json out = Json::array();
    for (const Change& c : changes_) {
        Json before = Json::object(), after = Json::object();
        for (const Change::Field& f : c.fields) {
            if (c.type != Change::Type::Added) before[f.name] = f.before;
            if (c.type != Change::Type::Removed) after[f.name] = f.after;
        }
        Json change = {
            {"group", c.group}, {"change", kTypes[static_cast<int>(c.type)]}, {"kind", c.kind}, {"name", c.name}};
        if (!c.qualifier.empty()) change["qualifier"] = c.qualifier;
        if (c.type != Change::Type::Added) change["before"] = before;
        if (c.type != Change::Type::Removed) change["after"] = after;
        out.push_back(change);
    }
    return out.dump(2);
}

}  // namespace zmp::sim
