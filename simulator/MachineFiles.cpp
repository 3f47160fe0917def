// The machine's files and registry stores, with Windows' answers.
#include <algorithm>
#include <string_view>

#include "platform/FileSystem.h"
#include "platform/Registry.h"
#include "simulator/MachineState.h"
#include "simulator/PeImage.h"

namespace zmp::sim {

namespace {
constexpr Dword kDelete = 0x00010000;
constexpr Dword kGenericAll = 0x10000000;
constexpr Dword kContainerInherit = 0x2;
constexpr int kMaxJunctionHops = 32;
}  // namespace

// --- FileStore ----------------------------------------------------------------

std::string FileStore::Follow(const std::string& path) const {
    if (!junctions_ || path.size() <= 3) return path;
    // Each folder on the way, the drive's first: a junction among them is
    // replaced by its target and the walk goes on below it. The last
    // component is the caller's, never followed.
    std::string current = path;
    std::string key = PathKey(current);
    int hops = 0;
    for (size_t end = current.find('\\', 3); end != std::string::npos; end = current.find('\\', end + 1)) {
        auto it = nodes.find(std::string_view(key).substr(0, end));
        if (it == nodes.end() || it->second.junction.empty() || hops++ >= kMaxJunctionHops) continue;
        std::string head = it->second.junction;
        if (!head.empty() && head.back() == '\\') head.pop_back();  // a drive root
        current = head + current.substr(end);
        key = PathKey(current);
        end = head.size();
    }
    return current;
}

const FileNode* FileStore::Get(const std::string& path) const {
    thread_local std::string key;
    auto it = nodes.find(PathKeyInto(path, key));
    return it == nodes.end() ? nullptr : &it->second;
}

FileNode* FileStore::Get(const std::string& path) {
    return const_cast<FileNode*>(static_cast<const FileStore&>(*this).Get(path));
}

bool FileStore::IsDirectory(const std::string& path) const {
    const FileNode* node = Get(Follow(path));
    if (node && !node->junction.empty()) node = Get(node->junction);
    return node && node->directory;
}

Dword FileStore::MissingCode(const std::string& path) const {
    std::string parent = ParentPath(path);
    return !parent.empty() && IsDirectory(parent) ? err::kFileNotFound : err::kPathNotFound;
}

std::vector<const FileNode*> FileStore::Children(const std::string& directory) const {
    std::vector<const FileNode*> out;
    std::string prefix = PathKey(directory);
    if (prefix.back() != '\\') prefix += '\\';
    for (auto it = nodes.lower_bound(prefix); it != nodes.end(); ++it) {
        if (it->first.compare(0, prefix.size(), prefix) != 0) break;
        if (it->first.find('\\', prefix.size()) == std::string::npos) out.push_back(&it->second);
    }
    return out;
}

void FileStore::EnsureDirectory(const std::string& path) {
    if (path.empty()) return;
    if (FileNode* node = Get(path)) {
        if (node->directory) return;
        EraseTree(path);  // a file in the way of a directory the setup wants
    }
    EnsureDirectory(ParentPath(path));
    FileNode node;
    node.path = path;
    node.directory = true;
    nodes[PathKey(path)] = node;
}

FileNode& FileStore::Put(const std::string& path, const std::string& data) {
    EnsureDirectory(ParentPath(path));
    FileNode& node = nodes[PathKey(path)];
    if (node.path.empty()) {
        node.path = path;
        node.attributes = file::kAttributeArchive;
    }
    node.directory = false;
    node.data = data;
    node.writeTime = now;
    return node;
}

void FileStore::PutJunction(const std::string& link, const std::string& target) {
    EnsureDirectory(ParentPath(link));
    FileNode node;
    node.path = link;
    node.directory = true;
    node.junction = target;
    nodes[PathKey(link)] = node;
    junctions_ = true;
}

void FileStore::PutHardLink(const std::string& link, const std::string& target) {
    Put(link, "").hardLink = target;
    hardLinks_ = true;
}

unsigned FileStore::NameCount(const FileNode& node) const {
    if (!hardLinks_) return 1;
    const std::string first = PathKey(node.hardLink.empty() ? node.path : node.hardLink);
    unsigned names = 1;
    for (const auto& [key, other] : nodes)
        if (!other.hardLink.empty() && PathKey(other.hardLink) == first) ++names;
    return names;
}

void FileStore::EraseTree(const std::string& path) {
    std::string key = PathKey(path);
    nodes.erase(key);
    std::string prefix = key.back() == '\\' ? key : key + "\\";
    auto it = nodes.lower_bound(prefix);
    while (it != nodes.end() && it->first.compare(0, prefix.size(), prefix) == 0) it = nodes.erase(it);
}

void FileStore::Rekey(const std::string& from, const std::string& to) {
    std::string fromKey = PathKey(from);
    std::vector<std::pair<std::string, FileNode>> moved;
    for (auto it = nodes.begin(); it != nodes.end();) {
        if (IsWithin(it->first, fromKey)) {
            FileNode node = it->second;
            node.path = to + node.path.substr(from.size());
            moved.emplace_back(PathKey(node.path), node);
            it = nodes.erase(it);
        } else {
            ++it;
        }
    }
    for (auto& m : moved) nodes[m.first] = m.second;
}

// --- HoldTable ---------------------------------------------------------------

std::string HoldTable::ProcessOf(const std::string& holder) { return holder.substr(0, holder.find(':')); }

void HoldTable::Hold(const std::string& path, const std::string& holder) {
    const std::string key = PathKey(path);
    byPath_[key].insert(holder);
    byHolder_[holder].emplace(key, path);
}

void HoldTable::Release(const std::string& holder) {
    auto it = byHolder_.find(holder);
    if (it == byHolder_.end()) return;
    for (const auto& [key, path] : it->second) {
        auto held = byPath_.find(key);
        if (held == byPath_.end()) continue;
        held->second.erase(holder);
        if (held->second.empty()) byPath_.erase(held);
    }
    byHolder_.erase(it);
}

void HoldTable::ReleaseProcess(const std::string& process) {
    std::vector<std::string> holders;
    for (const auto& [holder, files] : byHolder_)
        if (ProcessOf(holder) == process) holders.push_back(holder);
    for (const std::string& holder : holders) Release(holder);
}

void HoldTable::Clear() {
    byPath_.clear();
    byHolder_.clear();
}

bool HoldTable::IsHeld(const std::string& path) const {
    thread_local std::string key;
    return byPath_.count(PathKeyInto(path, key)) != 0;
}

std::vector<std::string> HoldTable::Processes(const std::string& path) const {
    std::vector<std::string> out;
    auto it = byPath_.find(PathKey(path));
    if (it == byPath_.end()) return out;
    for (const std::string& holder : it->second) {
        std::string process = ProcessOf(holder);
        if (std::find(out.begin(), out.end(), process) == out.end()) out.push_back(process);
    }
    return out;
}

void HoldTable::Move(const std::string& from, const std::string& to) {
    const std::string fromKey = PathKey(from);
    const std::string prefix = fromKey + "\\";
    std::vector<std::pair<std::string, std::set<std::string>>> moved;
    if (auto it = byPath_.find(fromKey); it != byPath_.end()) {
        moved.emplace_back(it->first, it->second);
        byPath_.erase(it);
    }
    for (auto it = byPath_.lower_bound(prefix);
         it != byPath_.end() && it->first.compare(0, prefix.size(), prefix) == 0;) {
        moved.emplace_back(it->first, it->second);
        it = byPath_.erase(it);
    }
    for (const auto& [key, holders] : moved) {
        const std::string path = to + key.substr(fromKey.size());
        for (const std::string& holder : holders) {
            auto& files = byHolder_[holder];
            files.erase(key);
            files.emplace(PathKey(path), path);
            byPath_[PathKey(path)].insert(holder);
        }
    }
}

std::map<std::string, std::vector<std::string>> HoldTable::ByHolder() const {
    std::map<std::string, std::vector<std::string>> out;
    for (const auto& [holder, files] : byHolder_)
        for (const auto& [key, path] : files) out[holder].push_back(path);
    return out;
}

// --- RegistryStore -------------------------------------------------------------

std::string RegistryStore::Canonical(const std::string& path) {
    // The components, empty ones dropped, joined by single separators; the
    // root by its short name.
    std::string out;
    for (size_t i = 0; i < path.size();) {
        while (i < path.size() && path[i] == '\\') ++i;
        size_t end = path.find('\\', i);
        if (end == std::string::npos) end = path.size();
        if (end == i) break;
        if (out.empty()) {
            out = Upper(path.substr(i, end - i));
            if (out == "HKEY_LOCAL_MACHINE") out = "HKLM";
            else if (out == "HKEY_USERS") out = "HKU";
            else if (out == "HKEY_CLASSES_ROOT") out = "HKCR";
            else if (out == "HKEY_CURRENT_USER") out = "HKCU";
            if (out != "HKLM" && out != "HKU" && out != "HKCR" && out != "HKCU") return "";
        } else {
            out += '\\';
            out.append(path, i, end - i);
        }
        i = end;
    }
    return out;
}

std::string RegistryStore::Parent(const std::string& path) {
    size_t slash = path.rfind('\\');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

const RegNode* RegistryStore::Get(const std::string& path) const {
    thread_local std::string key;
    auto it = nodes.find(UpperInto(path, key));
    return it == nodes.end() ? nullptr : &it->second;
}

RegNode* RegistryStore::Get(const std::string& path) {
    return const_cast<RegNode*>(static_cast<const RegistryStore&>(*this).Get(path));
}

RegNode& RegistryStore::Create(const std::string& path) {
    if (RegNode* node = Get(path)) return *node;
    std::string parent = Parent(path);
    if (!parent.empty()) Create(parent);
    RegNode& node = nodes[Upper(path)];
    node.path = path;
    return node;
}

bool RegistryStore::HasSubkeys(const std::string& path) const { return !Children(path).empty(); }

std::vector<std::string> RegistryStore::Children(const std::string& path) const {
    std::vector<std::string> out;
    std::string prefix = Upper(path) + "\\";
    for (auto it = nodes.lower_bound(prefix); it != nodes.end(); ++it) {
        if (it->first.compare(0, prefix.size(), prefix) != 0) break;
        if (it->first.find('\\', prefix.size()) == std::string::npos)
            out.push_back(it->second.path.substr(prefix.size()));
    }
    return out;
}

void RegistryStore::EraseTree(const std::string& path) {
    std::string key = Upper(path);
    nodes.erase(key);
    std::string prefix = key + "\\";
    auto it = nodes.lower_bound(prefix);
    while (it != nodes.end() && it->first.compare(0, prefix.size(), prefix) == 0) it = nodes.erase(it);
}

static bool AdministratorIs(const std::string& trustee) {
    return IEquals(trustee, "Everyone") || IEquals(trustee, "Administrators") || IEquals(trustee, "Administrator");
}

bool RegistryStore::Deletable(const std::string& path) const {
    const RegNode* key = Get(path);
    if (!key) return false;
    bool granted = false;
    for (std::string p = path; !p.empty(); p = Parent(p)) {
        const RegNode* node = Get(p);
        if (!node) continue;
        for (const AceEntry& ace : node->acl) {
            bool applies = (p == path || IEquals(p, path)) || (ace.inheritance & kContainerInherit);
            if (!applies || !AdministratorIs(ace.trustee) || !(ace.mask & (kDelete | kGenericAll))) continue;
            if (ace.mode == sec::kDenyAccess) return false;
            if (ace.mode == sec::kGrantAccess || ace.mode == sec::kSetAccess) granted = true;
        }
        if (node->protectionRoot) break;
    }
    return !key->protectedKey || granted;
}

std::optional<std::string> ResolveTrustee(const std::string& name, const std::string& language) {
    // The built-in accounts by their English name and their names on a
    // German and a French Windows (text in code page 1252).
    struct Account {
        const char* english;
        const char* german;
        const char* french;
    };
    static const Account kAccounts[] = {
        {"Everyone", "Jeder", "Tout le monde"},
        {"Administrators", "Administratoren", "Administrateurs"},
        {"Administrator", "Administrator", "Administrateur"},
        {"Users", "Benutzer", "Utilisateurs"},
        {"SYSTEM", "SYSTEM", "Syst\xE8me"},
        {"Guests", "G\xE4ste", "Invit\xE9s"},
        {"Power Users", "Hauptbenutzer", "Utilisateurs avec pouvoir"},
        {"Authenticated Users", "Authentifizierte Benutzer", "Utilisateurs authentifi\xE9s"},
        {"CREATOR OWNER", "ERSTELLER-BESITZER", "CREATEUR PROPRIETAIRE"},
        {"INTERACTIVE", "INTERAKTIV", "INTERACTIF"},
    };
    const bool german = IEquals(language, "de"), french = IEquals(language, "fr");
    std::string bare = name;
    for (const char* prefix : {"BUILTIN\\", "NT AUTHORITY\\", "VORDEFINIERT\\", "NT-AUTORIT\xC4T\\", "AUTORITE NT\\"})
        if (IStartsWith(bare, prefix)) bare = bare.substr(std::string(prefix).size());
    for (const Account& account : kAccounts) {
        const char* local = german ? account.german : french ? account.french : account.english;
        if (IEquals(bare, local)) return std::string(account.english);
    }
    return std::nullopt;
}

// --- directories ---------------------------------------------------------------

std::string Machine::State::NormalizePathOrEmpty(const std::string& path) { return NormalizePath(path); }

std::string Machine::State::SystemDir() const {
    return JoinPath(WindowsDir(), os.platformId == 1 ? "SYSTEM" : "system32");
}

std::string Machine::State::SysWow64Dir() const { return os.is64Bit ? JoinPath(WindowsDir(), "SysWOW64") : ""; }

std::string Machine::State::InfDir() const { return JoinPath(WindowsDir(), os.platformId == 1 ? "INF" : "inf"); }

std::string Machine::State::DriverStoreDir() const { return JoinPath(SystemDir(), "DriverStore\\FileRepository"); }

std::string Machine::State::CanonicalEnvironment(const std::string& environment) const {
    for (const char* env : {kEnvX86, kEnvX64, kEnvWin40})
        if (IEquals(environment, env)) return env;
    return "";
}

bool Machine::State::ValidEnvironment(const std::string& environment) const {
    std::string env = CanonicalEnvironment(environment);
    if (env.empty()) return false;
    // XP and later hold additional x64 drivers also on 32-bit Windows;
    // NT 4 and 2000 (and 9x) know no such environment.
    return env != kEnvX64 || os.is64Bit ||
           (os.platformId == 2 && (os.majorVersion > 5 || (os.majorVersion == 5 && os.minorVersion >= 1)));
}

static const char* EnvironmentFolder(const std::string& environment) {
    if (IEquals(environment, kEnvX64)) return "x64";
    if (IEquals(environment, kEnvWin40)) return "win40";
    return "w32x86";
}

std::string Machine::State::DriverDir(const std::string& environment) const {
    return JoinPath(SystemDir(), std::string("spool\\drivers\\") + EnvironmentFolder(environment));
}

std::string Machine::State::ProcessorDir(const std::string& environment) const {
    return JoinPath(SystemDir(), std::string("spool\\prtprocs\\") + EnvironmentFolder(environment));
}

std::string Machine::State::DriverVersionDir(const std::string& environment, Dword version) const {
    return JoinPath(DriverDir(environment), std::to_string(version));
}

// --- file operations -------------------------------------------------------------

bool Machine::State::IsHeld(const std::string& path) const { return holds.IsHeld(files.Follow(path)); }

const FileNode* Machine::State::FindFile(const std::string& path) const {
    const FileNode* node = files.Get(files.Follow(path));
    return node && !node->directory ? node : nullptr;
}

Dword Machine::State::CheckImage(const std::string& path, const std::string& environment,
                                 const std::vector<const char*>& exports) const {
    const FileNode* node = FindFile(path);
    if (!node) return err::kModNotFound;
    std::optional<PeImage> image = ReadPeImage(node->data);
    if (!image) return err::kSuccess;  // a stand-in, not an image to inspect
    const Dword machine = IEquals(environment, kEnvX64) ? pe::kMachineAmd64 : pe::kMachineI386;
    if (image->machine != machine) return werr::kBadExeFormat;
    if (exports.empty()) return err::kSuccess;
    for (const char* name : exports)
        for (const std::string& exported : image->exports)
            if (exported == name) return err::kSuccess;
    return err::kProcNotFound;
}

Dword Machine::State::CopyFile(const std::string& source, const std::string& destination, bool failIfExists,
                               bool asSpooler) {
    std::string src = files.Follow(source);
    std::string dst = files.Follow(destination);
    const FileNode* from = files.Get(src);
    if (!from) return files.MissingCode(src);
    if (from->directory) return err::kAccessDenied;
    if (PathKey(src) == PathKey(dst)) return err::kSharingViolation;
    if (!files.IsDirectory(ParentPath(dst))) return err::kPathNotFound;
    if (const FileNode* to = files.Get(dst)) {
        if (to->directory) return err::kAccessDenied;
        if (failIfExists) return err::kFileExists;
        if (!asSpooler) {
            if (to->attributes & file::kAttributeReadOnly) return err::kAccessDenied;
            if (IsHeld(dst)) return switches.copyOverHeldFileError;
        }
    }
    std::string data = from->data;
    Dword attributes = from->attributes | file::kAttributeArchive;
    const std::int64_t written = from->writeTime;
    FileNode& node = files.Put(dst, data);
    node.attributes = asSpooler ? (attributes & ~file::kAttributeReadOnly) : attributes;
    node.writeTime = written;  // CopyFile keeps the source's last-write time
    return err::kSuccess;
}

Dword Machine::State::DeleteFile(const std::string& path) {
    std::string p = files.Follow(path);
    const FileNode* node = files.Get(p);
    if (!node) return files.MissingCode(p);
    if (node->directory) return err::kAccessDenied;
    if (node->attributes & file::kAttributeReadOnly) return err::kAccessDenied;
    if (IsHeld(p)) return err::kAccessDenied;
    files.nodes.erase(PathKey(p));
    return err::kSuccess;
}

Dword Machine::State::MoveFile(const std::string& from, const std::string& to) {
    std::string src = files.Follow(from);
    std::string dst = files.Follow(to);
    if (!files.Get(src)) return files.MissingCode(src);
    if (files.Get(dst)) {
        if (PathKey(src) != PathKey(dst)) return err::kAlreadyExists;
    }
    if (!files.IsDirectory(ParentPath(dst))) return err::kPathNotFound;
    std::string srcKey = PathKey(src);
    if (PathKey(dst).compare(0, srcKey.size() + 1, srcKey + "\\") == 0) return err::kSharingViolation;
    files.Rekey(src, dst);
    // An open file keeps its handle across a rename: the hold moves with it.
    holds.Move(src, dst);
    return err::kSuccess;
}

Dword Machine::State::CreateDirectory(const std::string& path, const std::vector<AceEntry>* acl) {
    std::string p = files.Follow(path);
    if (files.Get(p)) return err::kAlreadyExists;
    if (!files.IsDirectory(ParentPath(p))) return err::kPathNotFound;
    FileNode node;
    node.path = p;
    node.directory = true;
    if (acl) node.acl = *acl;
    files.nodes[PathKey(p)] = node;
    return err::kSuccess;
}

Dword Machine::State::RemoveDirectory(const std::string& path) {
    std::string p = files.Follow(path);
    const FileNode* node = files.Get(p);
    if (!node) return files.MissingCode(p);
    if (!node->directory) return werr::kDirectory;
    if (IsDriveRoot(p)) return err::kAccessDenied;
    if (node->attributes & file::kAttributeReadOnly) return err::kAccessDenied;
    // A junction goes alone; what it leads to stays.
    if (node->junction.empty() && !files.Children(p).empty()) return err::kDirNotEmpty;
    files.nodes.erase(PathKey(p));
    return err::kSuccess;
}

Dword Machine::State::SetAttributes(const std::string& path, Dword attributes) {
    std::string p = files.Follow(path);
    FileNode* node = files.Get(p);
    if (!node) return files.MissingCode(p);
    constexpr Dword kSettable = file::kAttributeReadOnly | file::kAttributeHidden | file::kAttributeSystem |
                                file::kAttributeArchive | 0x100 /*TEMPORARY*/ | 0x2000 /*NOT_CONTENT_INDEXED*/;
    node->attributes = attributes & kSettable;
    return err::kSuccess;
}

}  // namespace zmp::sim
