// advapi32's registry and security calls and shlwapi's SHDeleteKeyA, for one
// simulated process. They return their status and leave the last error alone.
#include <algorithm>

#include "simulator/MachineState.h"
#include "simulator/SimPlatform.h"

namespace zmp::sim {

namespace {

constexpr Dword kKeyDeleted = 1018;  // ERROR_KEY_DELETED
constexpr Dword kRegSz = 1;
constexpr Dword kDelete = 0x00010000;
constexpr std::uintptr_t kHkcr = 0x80000000, kHkcu = 0x80000001, kHklm = 0x80000002, kHku = 0x80000003;

const char* PredefinedPath(std::uintptr_t handle) {
    switch (handle) {
        case kHkcr: return "HKCR";
        case kHkcu: return "HKCU";
        case kHklm: return "HKLM";
        case kHku: return "HKU";
        default: return nullptr;
    }
}

RegKey PredefinedKey(RegRoot root) {
    switch (root) {
        case RegRoot::LocalMachine: return static_cast<RegKey>(kHklm);
        case RegRoot::Users: return static_cast<RegKey>(kHku);
        case RegRoot::ClassesRoot: return static_cast<RegKey>(kHkcr);
        case RegRoot::CurrentUser: return static_cast<RegKey>(kHkcu);
    }
    return RegKey::None;
}

// What the administrator may ask of a key: all of it, except that a key
// Plug and Play protects can be read and its DACL rewritten, nothing more,
// until an entry grants full control.
Dword AllowedAccess(const RegistryStore& registry, const std::string& path) {
    const RegNode* node = registry.Get(path);
    if (!node || !node->protectedKey || registry.Deletable(path)) return 0xFFFFFFFF;
    return reg::kKeyRead | reg::kWriteDac | reg::kReadControl | reg::kKeyWow64_64Key | reg::kKeyWow64_32Key;
}

// Inserts Wow6432Node where a 32-bit view of HKLM\SOFTWARE is meant.
std::string Redirect32(const std::string& path) {
    std::vector<std::string> parts = Split(path, '\\');
    if (parts.size() < 2 || !IEquals(parts[0], "HKLM") || !IEquals(parts[1], "SOFTWARE")) return path;
    if (parts.size() >= 3 && (IEquals(parts[2], "Wow6432Node") || IEquals(parts[2], "Classes"))) return path;
    parts.insert(parts.begin() + 2, "Wow6432Node");
    std::string out = parts[0];
    for (size_t i = 1; i < parts.size(); ++i) out += "\\" + parts[i];
    return out;
}

// The key's path as stored (its case), or the given one.
std::string StoredPath(const RegistryStore& registry, const std::string& path) {
    const RegNode* node = registry.Get(path);
    return node ? node->path : path;
}

}  // namespace

#define ZMP_MACHINE std::lock_guard<std::recursive_mutex> machineLock(p_.machine().Mutex()); \
    Machine::State& s = p_.machine().Internal()

RegKey SimRegistry::Root(RegRoot root) {
    p_.Enter("Registry.Root");
    return PredefinedKey(root);
}

Dword SimRegistry::Resolve(RegKey parent, const std::string& subKey, Dword access, std::string& path,
                           bool& wow32View) const {
    std::uintptr_t h = static_cast<std::uintptr_t>(parent);
    std::string base;
    bool inherited32;
    if (const char* root = PredefinedPath(h)) {
        base = root;
        inherited32 = p_.Wow64();
    } else {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = keys_.find(h);
        if (it == keys_.end()) return err::kInvalidHandle;
        base = it->second.path;
        inherited32 = it->second.wow32View;
    }
    wow32View = inherited32;
    if (access & reg::kKeyWow64_64Key) wow32View = false;
    else if (access & reg::kKeyWow64_32Key) wow32View = true;
    std::string full = base;
    for (const std::string& part : Split(subKey, '\\'))
        if (!part.empty()) full += "\\" + part;
    full = RegistryStore::Canonical(full);
    if (full.empty()) return err::kInvalidHandle;
    if (wow32View && p_.machine().Os().is64Bit) full = Redirect32(full);
    path = full;
    return err::kSuccess;
}

void SimRegistry::HandOutDacl(const std::vector<AceEntry>& entries, AclRef& dacl,
                              SecurityDescriptorRef& descriptor) {
    dacl = p_.NewAcl(entries);
    std::uintptr_t d = p_.NewHandle();
    std::lock_guard<std::mutex> lock(mutex_);
    descriptors_.insert(d);
    descriptor = static_cast<SecurityDescriptorRef>(d);
}

Dword SimRegistry::Lookup(RegKey key, Handle& out) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = keys_.find(static_cast<std::uintptr_t>(key));
    if (it == keys_.end()) return err::kInvalidHandle;
    out = it->second;
    return err::kSuccess;
}

Dword SimRegistry::OpenKey(RegKey parent, const std::string& subKey, Dword access, RegKey& out) {
    out = RegKey::None;
    if (auto fault = p_.Enter("Registry.OpenKey")) return *fault;
    std::string path;
    bool view32 = false;
    if (Dword code = Resolve(parent, subKey, access, path, view32)) return code;
    ZMP_MACHINE;
    if (!s.registry.Get(path)) return err::kFileNotFound;
    if (access & ~AllowedAccess(s.registry, path)) return err::kAccessDenied;
    std::uintptr_t h = p_.NewHandle();
    std::lock_guard<std::mutex> lock(mutex_);
    keys_[h] = Handle{StoredPath(s.registry, path), access, view32, false};
    out = static_cast<RegKey>(h);
    return err::kSuccess;
}

Dword SimRegistry::CreateKey(RegKey parent, const std::string& subKey, Dword /*options*/, Dword access, RegKey& out) {
    out = RegKey::None;
    if (auto fault = p_.Enter("Registry.CreateKey")) return *fault;
    std::string path;
    bool view32 = false;
    if (Dword code = Resolve(parent, subKey, access, path, view32)) return code;
    ZMP_MACHINE;
    if (s.registry.Get(path)) {
        if (access & ~AllowedAccess(s.registry, path)) return err::kAccessDenied;
    } else {
        // The nearest existing ancestor must let the administrator add keys.
        std::string ancestor = RegistryStore::Parent(path);
        while (!ancestor.empty() && !s.registry.Get(ancestor)) ancestor = RegistryStore::Parent(ancestor);
        if (!ancestor.empty() && !(AllowedAccess(s.registry, ancestor) & reg::kKeyCreateSubKey))
            return err::kAccessDenied;
        s.registry.Create(path);
    }
    std::uintptr_t h = p_.NewHandle();
    std::lock_guard<std::mutex> lock(mutex_);
    keys_[h] = Handle{StoredPath(s.registry, path), access, view32, false};
    out = static_cast<RegKey>(h);
    return err::kSuccess;
}

Dword SimRegistry::SetStringValue(RegKey key, const std::string& name, const std::string& value) {
    if (auto fault = p_.Enter("Registry.SetStringValue")) return *fault;
    RegValue v;
    v.type = 1;
    v.text = value;
    return SetValue(key, name, v);
}

Dword SimRegistry::SetDwordValue(RegKey key, const std::string& name, Dword value) {
    if (auto fault = p_.Enter("Registry.SetDwordValue")) return *fault;
    RegValue v;
    v.type = 4;
    v.number = value;
    return SetValue(key, name, v);
}

Dword SimRegistry::SetValue(RegKey key, const std::string& name, const RegValue& value) {
    Handle handle;
    if (Dword code = Lookup(key, handle)) return code;
    if (!(handle.access & reg::kKeySetValue)) return err::kAccessDenied;
    ZMP_MACHINE;
    RegNode* node = s.registry.Get(handle.path);
    if (!node) return kKeyDeleted;
    node->values[Upper(name)] = {name, value};
    return err::kSuccess;
}

Dword SimRegistry::QueryStringValue(RegKey key, const std::string& name, Dword bufferSize, std::string& out) {
    out.clear();
    if (auto fault = p_.Enter("Registry.QueryStringValue")) return *fault;
    Handle handle;
    if (Dword code = Lookup(key, handle)) return code;
    if (!(handle.access & reg::kKeyQueryValue)) return err::kAccessDenied;
    ZMP_MACHINE;
    const RegNode* node = s.registry.Get(handle.path);
    if (!node) return kKeyDeleted;
    auto value = node->values.find(Upper(name));
    if (value == node->values.end()) return err::kFileNotFound;
    if (value->second.second.type != kRegSz) return err::kInvalidData;
    const std::string& text = value->second.second.text;
    if (text.size() + 1 > bufferSize) return err::kMoreData;
    out = text;
    return err::kSuccess;
}

Dword SimRegistry::EnumKey(RegKey key, Dword index, std::string& name) {
    name.clear();
    if (auto fault = p_.Enter("Registry.EnumKey")) return *fault;
    Handle handle;
    if (Dword code = Lookup(key, handle)) return code;
    if (!(handle.access & reg::kKeyEnumerateSubKeys)) return err::kAccessDenied;
    ZMP_MACHINE;
    if (!s.registry.Get(handle.path)) return kKeyDeleted;
    std::vector<std::string> children = s.registry.Children(handle.path);
    if (index >= children.size()) return err::kNoMoreItems;
    name = children[index];
    return err::kSuccess;
}

Dword SimRegistry::CloseKey(RegKey key) {
    if (auto fault = p_.Enter("Registry.CloseKey")) return *fault;
    std::uintptr_t h = static_cast<std::uintptr_t>(key);
    if (PredefinedPath(h)) return err::kSuccess;
    std::lock_guard<std::mutex> lock(mutex_);
    return keys_.erase(h) ? err::kSuccess : err::kInvalidHandle;
}

Dword SimRegistry::ConnectRegistry(const std::string& machine, RegKey root, RegKey& out) {
    out = RegKey::None;
    if (auto fault = p_.Enter("Registry.ConnectRegistry")) return *fault;
    std::uintptr_t h = static_cast<std::uintptr_t>(root);
    if (h != kHklm && h != kHku) return err::kInvalidHandle;
    std::string name = machine;
    while (!name.empty() && name.front() == '\\') name.erase(name.begin());
    // Only this computer answers: the simulated machine has no network.
    if (!name.empty() && !IEquals(name, p_.machine().ComputerName())) return werr::kBadNetPath;
    std::uintptr_t handle = p_.NewHandle();
    std::lock_guard<std::mutex> lock(mutex_);
    keys_[handle] = Handle{PredefinedPath(h), reg::kKeyAllAccess, p_.Wow64(), false};
    out = static_cast<RegKey>(handle);
    return err::kSuccess;
}

Dword SimRegistry::ShDeleteKey(RegKey parent, const std::string& subKey) {
    if (auto fault = p_.Enter("Registry.ShDeleteKey")) return *fault;
    std::string path;
    bool view32 = false;
    if (Dword code = Resolve(parent, subKey, 0, path, view32)) return code;
    if (Split(path, '\\').size() < 2) return err::kAccessDenied;  // a root
    ZMP_MACHINE;
    if (!s.registry.Get(path)) return err::kFileNotFound;
    // Depth first, as SHDeleteKey works; it stops at the first key it may not delete.
    std::vector<std::string> tree;
    std::string prefix = Upper(path);
    for (const auto& [key, node] : s.registry.nodes)
        if (IsWithin(key, prefix)) tree.push_back(node.path);
    std::sort(tree.begin(), tree.end(), [](const std::string& a, const std::string& b) {
        return std::count(a.begin(), a.end(), '\\') > std::count(b.begin(), b.end(), '\\');
    });
    for (const std::string& key : tree) {
        if (!s.registry.Deletable(key)) return err::kAccessDenied;
        s.registry.nodes.erase(Upper(key));
    }
    return err::kSuccess;
}

bool SimRegistry::HasRegDeleteKeyEx() {
    if (auto fault = p_.Enter("Registry.HasRegDeleteKeyEx")) {
        p_.SetLastError(*fault);
        return false;
    }
    if (!p_.machine().Os().hasRegDeleteKeyEx) {
        p_.SetLastError(err::kProcNotFound);
        return false;
    }
    return true;
}

Dword SimRegistry::RegDeleteKeyEx(RegKey parent, const std::string& subKey, Dword samDesired, Dword reserved) {
    if (auto fault = p_.Enter("Registry.RegDeleteKeyEx")) return *fault;
    if (!p_.machine().Os().hasRegDeleteKeyEx) return err::kProcNotFound;
    if (reserved != 0) return err::kInvalidParameter;
    std::string path;
    bool view32 = false;
    if (Dword code = Resolve(parent, subKey, samDesired, path, view32)) return code;
    if (Split(path, '\\').size() < 2) return err::kAccessDenied;
    ZMP_MACHINE;
    if (!s.registry.Get(path)) return err::kFileNotFound;
    if (s.registry.HasSubkeys(path)) return err::kAccessDenied;
    if (!s.registry.Deletable(path)) return err::kAccessDenied;
    s.registry.nodes.erase(Upper(path));
    return err::kSuccess;
}

Dword SimRegistry::GetKeyDacl(RegKey key, AclRef& dacl, SecurityDescriptorRef& descriptor) {
    dacl = AclRef::None;
    descriptor = SecurityDescriptorRef::None;
    if (auto fault = p_.Enter("Registry.GetKeyDacl")) return *fault;
    Handle handle;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = keys_.find(static_cast<std::uintptr_t>(key));
        if (it == keys_.end()) return err::kInvalidHandle;
        handle = it->second;
    }
    if (!(handle.access & reg::kReadControl)) return err::kAccessDenied;
    std::vector<AceEntry> entries;
    {
        ZMP_MACHINE;
        const RegNode* node = s.registry.Get(handle.path);
        if (!node) return kKeyDeleted;
        entries = node->acl;
    }
    HandOutDacl(entries, dacl, descriptor);
    return err::kSuccess;
}

Dword SimRegistry::SetKeyDacl(RegKey key, AclRef dacl) {
    if (auto fault = p_.Enter("Registry.SetKeyDacl")) return *fault;
    Handle handle;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = keys_.find(static_cast<std::uintptr_t>(key));
        if (it == keys_.end()) return err::kInvalidHandle;
        handle = it->second;
    }
    if (!(handle.access & reg::kWriteDac)) return err::kAccessDenied;
    std::optional<std::vector<AceEntry>> entries = p_.Acl(dacl);
    if (!entries) return err::kInvalidParameter;
    ZMP_MACHINE;
    RegNode* node = s.registry.Get(handle.path);
    if (!node) return kKeyDeleted;
    node->acl = *entries;  // inheritable entries reach the subkeys (Deletable walks up)
    return err::kSuccess;
}

Dword SimRegistry::NamedPath(RegRoot root, const std::string& subKey, std::string& path) {
    bool view32 = false;
    return Resolve(PredefinedKey(root), subKey, 0, path, view32);
}

Dword SimRegistry::GetNamedKeyDacl(RegRoot root, const std::string& subKey, AclRef& dacl,
                                   SecurityDescriptorRef& descriptor) {
    dacl = AclRef::None;
    descriptor = SecurityDescriptorRef::None;
    if (auto fault = p_.Enter("Registry.GetNamedKeyDacl")) return *fault;
    std::string path;
    if (Dword code = NamedPath(root, subKey, path)) return code;
    std::vector<AceEntry> entries;
    {
        ZMP_MACHINE;
        const RegNode* node = s.registry.Get(path);
        if (!node) return err::kFileNotFound;
        entries = node->acl;
    }
    HandOutDacl(entries, dacl, descriptor);
    return err::kSuccess;
}

Dword SimRegistry::SetNamedKeyDacl(RegRoot root, const std::string& subKey, AclRef dacl) {
    if (auto fault = p_.Enter("Registry.SetNamedKeyDacl")) return *fault;
    std::string path;
    if (Dword code = NamedPath(root, subKey, path)) return code;
    std::optional<std::vector<AceEntry>> entries = p_.Acl(dacl);
    if (!entries) return err::kInvalidParameter;
    ZMP_MACHINE;
    RegNode* node = s.registry.Get(path);
    if (!node) return err::kFileNotFound;
    // The key is opened for WRITE_DAC, which even a protected key allows.
    if (!(AllowedAccess(s.registry, path) & reg::kWriteDac)) return err::kAccessDenied;
    node->acl = *entries;
    return err::kSuccess;
}

Dword SimRegistry::SetEntriesInAcl(const ExplicitAccess& entry, AclRef oldAcl, AclRef& newAcl) {
    newAcl = AclRef::None;
    if (auto fault = p_.Enter("Registry.SetEntriesInAcl")) return *fault;
    std::string trustee;
    if (entry.trusteeForm == sec::kTrusteeIsName) {
        std::optional<std::string> account = ResolveTrustee(entry.trusteeName, p_.machine().Os().language);
        if (!account) return err::kNoneMapped;
        trustee = *account;
    } else if (entry.trusteeForm == sec::kTrusteeIsSid) {
        // A SID names its account in every language.
        std::lock_guard<std::mutex> lock(mutex_);
        auto sid = sids_.find(static_cast<std::uintptr_t>(entry.trusteeSid));
        if (sid == sids_.end()) return err::kInvalidParameter;
        trustee = sid->second;
    } else {
        return err::kInvalidParameter;
    }
    std::vector<AceEntry> entries;
    if (oldAcl != AclRef::None) {
        std::optional<std::vector<AceEntry>> old = p_.Acl(oldAcl);
        if (!old) return err::kInvalidParameter;
        entries = *old;
    }
    auto sameTrustee = [&](const AceEntry& a) { return IEquals(a.trustee, trustee); };
    switch (entry.mode) {
        case sec::kGrantAccess:
            entries.push_back({trustee, entry.permissions, sec::kGrantAccess, entry.inheritance});
            break;
        case sec::kSetAccess:
            entries.erase(std::remove_if(entries.begin(), entries.end(), sameTrustee), entries.end());
            entries.push_back({trustee, entry.permissions, sec::kSetAccess, entry.inheritance});
            break;
        case sec::kDenyAccess:
            entries.insert(entries.begin(), {trustee, entry.permissions, sec::kDenyAccess, entry.inheritance});
            break;
        case sec::kRevokeAccess:
            entries.erase(std::remove_if(entries.begin(), entries.end(), sameTrustee), entries.end());
            break;
        case sec::kNotUsedAccess:
            break;
        default:
            return err::kInvalidParameter;
    }
    newAcl = p_.NewAcl(entries);
    return err::kSuccess;
}

Status SimRegistry::AllocateWellKnownSid(sec::WellKnownSid account, SidRef& out) {
    out = SidRef::None;
    if (auto fault = p_.Enter("Registry.AllocateWellKnownSid")) return p_.Fail(*fault);
    const char* name = "Everyone";
    switch (account) {
        case sec::WellKnownSid::World: name = "Everyone"; break;
        case sec::WellKnownSid::LocalSystem: name = "SYSTEM"; break;
        case sec::WellKnownSid::BuiltinAdministrators: name = "Administrators"; break;
        case sec::WellKnownSid::BuiltinUsers: name = "Users"; break;
    }
    std::uintptr_t h = p_.NewHandle();
    std::lock_guard<std::mutex> lock(mutex_);
    sids_[h] = name;
    out = static_cast<SidRef>(h);
    return Status::Ok();
}

void SimRegistry::FreeSid(SidRef sid) {
    p_.Enter("Registry.FreeSid");
    std::lock_guard<std::mutex> lock(mutex_);
    sids_.erase(static_cast<std::uintptr_t>(sid));
}

void SimRegistry::LocalFreeAcl(AclRef acl) {
    p_.Enter("Registry.LocalFreeAcl");
    p_.FreeAcl(acl);
}

void SimRegistry::LocalFreeDescriptor(SecurityDescriptorRef descriptor) {
    p_.Enter("Registry.LocalFreeDescriptor");
    std::lock_guard<std::mutex> lock(mutex_);
    descriptors_.erase(static_cast<std::uintptr_t>(descriptor));
}

}  // namespace zmp::sim
