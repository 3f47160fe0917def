#include "simulator/StateSchema.h"

#include <cstdint>
#include <map>
#include <memory>
#include <utility>
#include <vector>

namespace zmp::sim {

namespace {

using Json = nlohmann::ordered_json;

// One node of the shape: a scalar, an array of one shape, an object with
// named fields, a map of any keys to one shape, or one of several shapes.
class Shape {
public:
    enum class Kind { String, Dword, Number64, Bool, Array, Object, Map, AnyOf };

    static Shape Str() { return Shape(Kind::String); }
    static Shape Dw() { return Shape(Kind::Dword); }
    static Shape U64() { return Shape(Kind::Number64); }
    static Shape Flag() { return Shape(Kind::Bool); }
    static Shape ArrayOf(Shape element) {
        Shape s(Kind::Array);
        s.children_.push_back(std::move(element));
        return s;
    }
    static Shape MapOf(Shape value) {
        Shape s(Kind::Map);
        s.children_.push_back(std::move(value));
        return s;
    }
    static Shape Obj(std::vector<std::pair<std::string, Shape>> fields) {
        Shape s(Kind::Object);
        for (auto& [name, shape] : fields) {
            s.names_.push_back(name);
            s.children_.push_back(std::move(shape));
        }
        return s;
    }
    static Shape AnyOf(std::vector<Shape> shapes) {
        Shape s(Kind::AnyOf);
        s.children_ = std::move(shapes);
        return s;
    }

    // "" or the first problem, prefixed with the path of the field.
    std::string Check(const Json& j, const std::string& path) const {
        switch (kind_) {
            case Kind::String:
                return j.is_string() ? "" : Wrong(path, "a string");
            case Kind::Dword:
                return j.is_number_unsigned() && j.get<std::uint64_t>() <= 0xFFFFFFFFULL
                           ? ""
                           : Wrong(path, "a number from 0 to 4294967295");
            case Kind::Number64:
                return j.is_number_unsigned() ? "" : Wrong(path, "a number of at least 0");
            case Kind::Bool:
                return j.is_boolean() ? "" : Wrong(path, "true or false");
            case Kind::Array: {
                if (!j.is_array()) return Wrong(path, "an array");
                for (size_t i = 0; i < j.size(); ++i)
                    if (std::string e = children_[0].Check(j[i], path + "[" + std::to_string(i) + "]"); !e.empty())
                        return e;
                return "";
            }
            case Kind::Map: {
                if (!j.is_object()) return Wrong(path, "an object");
                for (auto it = j.begin(); it != j.end(); ++it)
                    if (std::string e = children_[0].Check(it.value(), path + "[\"" + it.key() + "\"]"); !e.empty())
                        return e;
                return "";
            }
            case Kind::Object: {
                if (!j.is_object()) return Wrong(path, "an object");
                for (auto it = j.begin(); it != j.end(); ++it) {
                    const std::string field = path.empty() ? it.key() : path + "." + it.key();
                    size_t i = 0;
                    while (i < names_.size() && names_[i] != it.key()) ++i;
                    if (i == names_.size()) return field + ": unknown field";
                    if (std::string e = children_[i].Check(it.value(), field); !e.empty()) return e;
                }
                return "";
            }
            case Kind::AnyOf: {
                std::string first;
                for (const Shape& s : children_) {
                    std::string e = s.Check(j, path);
                    if (e.empty()) return "";
                    if (first.empty()) first = e;
                }
                return first;
            }
        }
        return "";
    }

private:
    explicit Shape(Kind kind) : kind_(kind) {}
    static std::string Wrong(const std::string& path, const char* expected) {
        return (path.empty() ? std::string("the state") : path) + ": expected " + expected;
    }
    Kind kind_;
    std::vector<std::string> names_;
    std::vector<Shape> children_;
};

const Shape& StateShape() {
    using S = Shape;
    static const Shape shape = [] {
        const S acl = S::ArrayOf(S::Obj({{"trustee", S::Str()}, {"mask", S::Dw()}, {"mode", S::Dw()},
                                         {"inheritance", S::Dw()}}));
        const S device = S::Obj({{"instanceId", S::Str()}, {"hardwareIds", S::ArrayOf(S::Str())},
                                 {"present", S::Flag()}, {"oemInf", S::Str()}});
        const S printer = S::Obj({{"name", S::Str()}, {"driver", S::Str()}, {"port", S::Str()},
                                  {"processor", S::Str()}, {"datatype", S::Str()}, {"shareName", S::Str()},
                                  {"attributes", S::Dw()}, {"priority", S::Dw()}, {"status", S::Dw()},
                                  {"data", S::MapOf(S::Dw())}, {"jobs", S::ArrayOf(S::Dw())},
                                  {"pendingDeletion", S::Flag()}});
        const S driver = S::Obj({{"name", S::Str()}, {"environment", S::Str()}, {"version", S::Dw()},
                                 {"driverPath", S::Str()}, {"dataFile", S::Str()}, {"configFile", S::Str()},
                                 {"helpFile", S::Str()}, {"dependentFiles", S::ArrayOf(S::Str())},
                                 {"monitorName", S::Str()}, {"defaultDataType", S::Str()},
                                 {"reportedData", S::MapOf(S::Dw())}, {"printProcessor", S::Str()},
                                 {"oemInf", S::Str()}, {"driverDate", S::U64()}, {"driverVersion", S::U64()},
                                 {"mfgName", S::Str()}, {"hardwareId", S::Str()}, {"provider", S::Str()}});
        const S named = S::Obj({{"name", S::Str()}, {"environment", S::Str()}, {"dll", S::Str()}});
        const S port = S::Obj({{"name", S::Str()}, {"monitor", S::Str()}, {"hostAddress", S::Str()},
                               {"portNumber", S::Dw()}, {"protocol", S::Dw()}});
        return S::Obj({
            {"complete", S::Flag()},
            {"os", S::Obj({{"preset", S::Str()}, {"platformId", S::Dw()}, {"majorVersion", S::Dw()},
                           {"minorVersion", S::Dw()}, {"buildNumber", S::Dw()}, {"productType", S::Dw()},
                           {"csdVersion", S::Str()}, {"is64Bit", S::Flag()}, {"windowsDirectory", S::Str()},
                           {"language", S::Str()}, {"codePage", S::Dw()},
                           {"functions", S::Obj({{"IsWow64Process", S::Flag()}, {"RegDeleteKeyExA", S::Flag()},
                                                 {"GetSystemWow64DirectoryA", S::Flag()},
                                                 {"SetupUninstallOEMInfA", S::Flag()}})}})},
            {"computerName", S::Str()},
            {"clock", S::Str()},
            {"restarts", S::Dw()},
            {"unsignedDriverPrompts", S::Dw()},
            {"switches", S::Obj({{"childTimesOut", S::Flag()}, {"createProcessError", S::Dw()},
                                 {"addDriverNeedsFramedyn", S::Flag()}, {"shutdownPrivilege", S::Flag()},
                                 {"copyOverHeldFileError", S::Dw()}, {"packageVersion", S::ArrayOf(S::Dw())},
                                 {"spoolerStopMs", S::Dw()}, {"spoolerStartMs", S::Dw()},
                                 {"driverIsolation", S::Flag()}, {"acceptUnsignedDrivers", S::Flag()},
                                 {"wow64DeviceInstallFails", S::Flag()}, {"childEnvironment", S::Str()}})},
            {"files", S::MapOf(S::Obj({{"attributes", S::Dw()}, {"acl", acl}}))},
            {"junctions", S::MapOf(S::Str())},
            {"openFiles", S::ArrayOf(S::AnyOf({S::Str(), S::Obj({{"path", S::Str()}, {"process", S::Str()}})}))},
            {"deleteAtRestart", S::ArrayOf(S::Str())},
            {"registry", S::MapOf(S::Obj({{"values", S::MapOf(S::AnyOf({S::Str(), S::Dw(), S::ArrayOf(S::Str())}))},
                                          {"protected", S::Flag()}, {"protectionRoot", S::Flag()}, {"acl", acl}}))},
            {"spooler", S::Obj({{"running", S::Flag()},
                                {"pending", S::Obj({{"state", S::Str()}, {"remainingMs", S::Dw()}})},
                                {"nextJobId", S::Dw()}, {"printers", S::ArrayOf(printer)},
                                {"drivers", S::ArrayOf(driver)}, {"monitors", S::ArrayOf(named)},
                                {"processors", S::ArrayOf(named)}, {"forms", S::ArrayOf(S::Str())},
                                {"ports", S::ArrayOf(port)},
                                {"loadedFiles", S::ArrayOf(S::Obj({{"path", S::Str()}, {"by", S::Str()}}))}})},
            {"devices", S::ArrayOf(device)},
            {"undiscoveredDevices", S::ArrayOf(device)},
        });
    }();
    return shape;
}

}  // namespace

std::string CheckState(const Json& j) {
    if (std::string e = StateShape().Check(j, ""); !e.empty()) return e;
    // Values the types alone do not pin down.
    if (j.contains("switches") && j["switches"].contains("packageVersion") && j["switches"]["packageVersion"].size() != 4)
        return "switches.packageVersion: expected four numbers";
    if (j.contains("switches") && j["switches"].contains("childEnvironment")) {
        const std::string env = j["switches"]["childEnvironment"].get<std::string>();
        if (env != "native" && env != "caller") return "switches.childEnvironment: expected \"native\" or \"caller\"";
    }
    if (j.contains("spooler") && j["spooler"].contains("pending")) {
        const Json& p = j["spooler"]["pending"];
        const std::string state = p.value("state", std::string());
        if (state != "stop" && state != "start") return "spooler.pending.state: expected \"stop\" or \"start\"";
    }
    return "";
}

}  // namespace zmp::sim
