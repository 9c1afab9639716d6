// Named kernel objects of the sandbox: mappings, mutexes and private namespaces. Each object is
// a file in the sandbox's "objects" folder, named after the object's full name, with a side
// file that records its kind, its owner and its access list. Every handle opens the file itself
// and holds a shared lock on one byte of it; the creator takes that byte exclusively while it
// writes the side file. A file whose byte nobody locks is left over from processes that ended,
// so it counts as absent, just as a Windows object disappears with its last handle. A mutex is
// owned by holding an exclusive lock on a second byte. The locks are open-file-description
// locks: two handles in one process exclude each other as two processes do.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <thread>
#include <vector>

#include "platform/processes.h"
#include "platform/shared_memory.h"
#include "platform/sim/control.h"
#include "platform/sim/handles.h"
#include "platform/sim/sandbox.h"
#include "platform/sim/security_state.h"

namespace quellin::platform {

namespace {

constexpr off_t kAliveByte = off_t{1} << 40;
constexpr off_t kOwnerByte = kAliveByte + 1;

constexpr const char* kAdministrators = "S-1-5-32-544";
constexpr const char* kSystem = "S-1-5-18";
constexpr const char* kSandboxUser = "S-1-5-21-1000-1000-1000-1001";
constexpr const char* kOtherUser = "S-1-5-21-1000-1000-1000-1002";

// ---- Who asks -------------------------------------------------------------------------------

// The groups of a token as an access check sees them: enabled ones grant and deny, deny-only
// ones (an administrator's filtered token) only deny.
struct Identity {
    std::string user;
    std::vector<std::string> enabled;
    std::vector<std::string> denyOnly;
    // A stand-in process of a test has its own aliases of private namespaces.
    std::string process;
};

thread_local const Identity* t_actingAs = nullptr;

Identity MakeIdentity(const std::string& user, bool administrator, bool filteredAdministrator) {
    Identity identity;
    identity.user = user;
    identity.enabled = {user, "S-1-1-0", "S-1-5-32-545", "S-1-5-4", "S-1-5-11"};
    if (administrator)
        identity.enabled.push_back(kAdministrators);
    else if (filteredAdministrator)
        identity.denyOnly.push_back(kAdministrators);
    return identity;
}

Identity Caller() {
    if (t_actingAs)
        return *t_actingAs;
    const std::string user = sim::ReadConfig().user;
    if (user == "system")
        return MakeIdentity(kSystem, true, false);
    const bool elevated = sim::ThreadIsElevated();
    return MakeIdentity(kSandboxUser, elevated,
                        !elevated && (user == "admin" || user == "filtered-admin"));
}

bool Holds(const std::vector<std::string>& sids, const std::string& sid) {
    return std::find(sids.begin(), sids.end(), sid) != sids.end();
}

// ---- Access lists ---------------------------------------------------------------------------

constexpr DWORD kRead = 1, kWrite = 2, kExecute = 4, kAll = 7;

struct Ace {
    bool deny = false;
    DWORD rights = 0;
    std::string sid;
};

std::optional<std::string> SidOf(const std::string& text) {
    static const std::map<std::string, std::string> kAliases = {
        {"BA", kAdministrators}, {"SY", kSystem},   {"WD", "S-1-1-0"}, {"BU", "S-1-5-32-545"},
        {"AU", "S-1-5-11"},      {"IU", "S-1-5-4"}, {"OW", "S-1-3-4"}, {"CO", "S-1-3-0"}};
    if (auto it = kAliases.find(text); it != kAliases.end())
        return it->second;
    if (text.rfind("S-1-", 0) == 0 && text.find_first_not_of("S-0123456789") == std::string::npos)
        return text;
    return std::nullopt;
}

// The access list of a descriptor string: "D:" with optional flags, then "(A|D;;rights;;;sid)"
// entries whose rights are GA, GR, GW, GX or a combination. Anything else is refused, as
// ConvertStringSecurityDescriptorToSecurityDescriptor refuses what it cannot read.
std::optional<std::vector<Ace>> ParseDacl(const std::string& text) {
    if (text.rfind("D:", 0) != 0)
        return std::nullopt;
    std::size_t at = text.find('(');
    if (text.substr(2, at == std::string::npos ? std::string::npos : at - 2)
            .find_first_not_of("PAIR") != std::string::npos)
        return std::nullopt;
    std::vector<Ace> aces;
    while (at != std::string::npos && at < text.size()) {
        const std::size_t end = text.find(')', at);
        if (text[at] != '(' || end == std::string::npos)
            return std::nullopt;
        std::vector<std::string> fields;
        std::stringstream entry(text.substr(at + 1, end - at - 1));
        for (std::string field; std::getline(entry, field, ';');)
            fields.push_back(field);
        if (fields.size() != 6 || (fields[0] != "A" && fields[0] != "D"))
            return std::nullopt;
        Ace ace;
        ace.deny = fields[0] == "D";
        for (std::size_t i = 0; i < fields[2].size(); i += 2) {
            const std::string right = fields[2].substr(i, 2);
            ace.rights |= right == "GA"   ? kAll
                          : right == "GR" ? kRead
                          : right == "GW" ? kWrite
                          : right == "GX" ? kExecute
                                          : 0x80000000;
        }
        const std::optional<std::string> sid = SidOf(fields[5]);
        if (ace.rights == 0 || (ace.rights & 0x80000000) || !sid)
            return std::nullopt;
        ace.sid = *sid;
        aces.push_back(ace);
        at = end + 1;
    }
    return aces;
}

std::string DefaultDacl(const Identity& identity) {
    return Holds(identity.enabled, kAdministrators)
               ? "D:(A;;GA;;;BA)(A;;GA;;;SY)"
               : "D:(A;;GA;;;" + identity.user + ")(A;;GA;;;SY)";
}

// Entries in order: a deny entry for any group the caller holds refuses what it names; allow
// entries for enabled groups add up.
bool AccessAllowed(const std::string& dacl, const Identity& identity, DWORD wanted) {
    const std::optional<std::vector<Ace>> aces = ParseDacl(dacl);
    if (!aces)
        return false;
    DWORD granted = 0;
    for (const Ace& ace : *aces) {
        const bool held = Holds(identity.enabled, ace.sid);
        if (ace.deny && (held || Holds(identity.denyOnly, ace.sid)) && (ace.rights & wanted))
            return false;
        if (!ace.deny && held)
            granted |= ace.rights;
        if ((granted & wanted) == wanted)
            return true;
    }
    return false;
}

// ---- The object files -----------------------------------------------------------------------

std::string Hash(const std::string& key) {
    std::uint64_t h = 1469598103934665603ull;
    for (unsigned char c : key)
        h = (h ^ c) * 1099511628211ull;
    char text[20];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(h));
    return text;
}

std::string ObjectPath(const std::string& key) {
    auto folder = sim::SandboxRoot() / "objects";
    ::mkdir(folder.c_str(), 0777);
    return (folder / ("obj-" + Hash(key))).string();
}

bool Lock(int fd, short type, off_t byte, bool wait) {
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = byte;
    lock.l_len = 1;
    return ::fcntl(fd, wait ? F_OFD_SETLKW : F_OFD_SETLK, &lock) == 0;
}

struct Meta {
    std::string kind, owner, dacl;
};

std::optional<Meta> ReadMeta(const std::string& path) {
    std::ifstream in(path + ".meta");
    Meta meta;
    if (!std::getline(in, meta.kind) || !std::getline(in, meta.owner) ||
        !std::getline(in, meta.dacl))
        return std::nullopt;
    return meta;
}

bool WriteMeta(const std::string& path, const Meta& meta) {
    const std::string temporary = path + ".meta.new";
    {
        std::ofstream out(temporary, std::ios::trunc);
        out << meta.kind << '\n' << meta.owner << '\n' << meta.dacl << '\n';
        if (!out.flush())
            return false;
    }
    return ::rename(temporary.c_str(), (path + ".meta").c_str()) == 0;
}

struct NamedObject : sim::Object {
    int fd = -1;
    ~NamedObject() override {
        if (fd >= 0)
            ::close(fd);  // closing drops the locks
    }
};

struct MappingObject : NamedObject {
    std::size_t size = 0;
};

struct MutexObject : NamedObject {
    bool owned = false;
};

// Opens the object `key`, creating it when `create` and it does not exist. Sets the last error
// as the create and open calls do; returns the descriptor, or -1.
int OpenObject(const std::string& key, const char* kind, const SECURITY_ATTRIBUTES* attributes,
               std::size_t size, bool create, DWORD wanted) {
    const Identity identity = Caller();
    std::string dacl = DefaultDacl(identity);
    if (attributes) {
        if (!ParseDacl(attributes->securityDescriptor)) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return -1;
        }
        dacl = attributes->securityDescriptor;
    }
    const std::string path = ObjectPath(key);
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | (create ? O_CREAT : 0), 0666);
    if (fd < 0) {
        SetLastError(create ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND);
        return -1;
    }
    if (Lock(fd, F_WRLCK, kAliveByte, false)) {
        if (!create) {
            ::close(fd);  // a leftover that no live process holds
            SetLastError(ERROR_FILE_NOT_FOUND);
            return -1;
        }
        const std::string owner =
            Holds(identity.enabled, kAdministrators) ? kAdministrators : identity.user;
        if (::ftruncate(fd, 0) != 0 || ::ftruncate(fd, static_cast<off_t>(size)) != 0 ||
            !WriteMeta(path, {kind, owner, dacl})) {
            ::close(fd);
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return -1;
        }
        Lock(fd, F_RDLCK, kAliveByte, true);
        SetLastError(ERROR_SUCCESS);
        return fd;
    }
    Lock(fd, F_RDLCK, kAliveByte, true);  // waits while a creator writes the side file
    const std::optional<Meta> meta = ReadMeta(path);
    DWORD error = create ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS;
    if (!meta || meta->kind != kind)
        error = ERROR_INVALID_HANDLE;
    else if (!AccessAllowed(meta->dacl, identity, wanted))
        error = ERROR_ACCESS_DENIED;
    if (error != ERROR_SUCCESS && error != ERROR_ALREADY_EXISTS) {
        ::close(fd);
        SetLastError(error);
        return -1;
    }
    SetLastError(error);
    return fd;
}

// ---- Private namespaces ---------------------------------------------------------------------

struct BoundaryObject : sim::Object {
    std::string name;
    std::vector<std::string> sids;
};

std::string SidText(const SID& sid) {
    std::uint64_t authority = 0;
    for (BYTE b : sid.IdentifierAuthority.Value)
        authority = (authority << 8) | b;
    std::string text = "S-1-";
    text += std::to_string(authority);
    for (DWORD sub : sid.SubAuthority) {
        text += '-';
        text += std::to_string(sub);
    }
    return text;
}

std::string NamespaceKey(const std::string& prefix, const BoundaryObject& boundary) {
    std::vector<std::string> sids = boundary.sids;
    std::sort(sids.begin(), sids.end());
    std::string key = "namespace:" + prefix + "|" + boundary.name;
    for (const std::string& sid : sids)
        key += "|" + sid;
    return key;
}

// The alias prefixes of each process's open namespace handles.
std::mutex g_aliasMutex;
std::multimap<std::pair<std::string, std::string>, std::string>& Aliases() {
    static auto* aliases = new std::multimap<std::pair<std::string, std::string>, std::string>();
    return *aliases;
}

struct NamespaceObject : NamedObject {
    std::pair<std::string, std::string> alias;
    ~NamespaceObject() override {
        std::lock_guard lock(g_aliasMutex);
        auto it = Aliases().find(alias);
        if (it != Aliases().end())
            Aliases().erase(it);
    }
};

HANDLE WrapNamespace(int fd, const std::string& prefix, const std::string& key) {
    auto object = std::make_unique<NamespaceObject>();
    object->fd = fd;
    object->alias = {Caller().process, prefix};
    {
        std::lock_guard lock(g_aliasMutex);
        Aliases().emplace(object->alias, key);
    }
    return static_cast<HANDLE>(sim::RegisterObject(std::move(object)));
}

// The key of a named object, or nothing (ERROR_PATH_NOT_FOUND) for an unknown prefix.
std::optional<std::string> ObjectKey(const std::string& name) {
    const std::size_t slash = name.find('\\');
    if (slash == std::string::npos)
        return "session\\" + name;
    const std::string prefix = name.substr(0, slash);
    const std::string rest = name.substr(slash + 1);
    if (rest.empty() || rest.find('\\') != std::string::npos)
        return std::nullopt;
    if (prefix == "Global")
        return "global\\" + rest;
    if (prefix == "Local")
        return "session\\" + rest;
    std::lock_guard lock(g_aliasMutex);
    auto it = Aliases().find({Caller().process, prefix});
    if (it == Aliases().end())
        return std::nullopt;
    return it->second + "\\" + rest;
}

}  // namespace

HANDLE CreateFileMappingA(HANDLE file, const SECURITY_ATTRIBUTES* attributes, DWORD protect,
                          DWORD sizeHigh, DWORD sizeLow, const std::string& name) {
    if (file != INVALID_HANDLE_VALUE || protect != PAGE_READWRITE || sizeHigh != 0 ||
        sizeLow == 0 || name.empty()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const std::optional<std::string> key = ObjectKey(name);
    if (!key) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return nullptr;
    }
    const int fd = OpenObject(*key, "mapping", attributes, sizeLow, true, kAll);
    if (fd < 0)
        return nullptr;
    const DWORD error = GetLastError();
    struct stat st;
    ::fstat(fd, &st);
    auto mapping = std::make_unique<MappingObject>();
    mapping->fd = fd;
    mapping->size = static_cast<std::size_t>(st.st_size);
    HANDLE handle = static_cast<HANDLE>(sim::RegisterObject(std::move(mapping)));
    SetLastError(error);
    return handle;
}

HANDLE OpenFileMappingA(DWORD access, BOOL, const std::string& name) {
    const std::optional<std::string> key = ObjectKey(name);
    if (!key) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return nullptr;
    }
    const int fd = OpenObject(*key, "mapping", nullptr, 0, false,
                              access == FILE_MAP_ALL_ACCESS ? kAll : kRead);
    if (fd < 0)
        return nullptr;
    struct stat st;
    ::fstat(fd, &st);
    auto mapping = std::make_unique<MappingObject>();
    mapping->fd = fd;
    mapping->size = static_cast<std::size_t>(st.st_size);
    SetLastError(ERROR_SUCCESS);
    return static_cast<HANDLE>(sim::RegisterObject(std::move(mapping)));
}

namespace {
std::mutex g_viewMutex;
std::map<const void*, std::size_t>& Views() {
    static auto* views = new std::map<const void*, std::size_t>();
    return *views;
}
}  // namespace

void* MapViewOfFile(HANDLE mapping, DWORD, DWORD offsetHigh, DWORD offsetLow, std::size_t bytes) {
    auto* object = sim::Lookup<MappingObject>(mapping);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    std::size_t size = bytes ? bytes : object->size;
    if (offsetHigh != 0 || offsetLow != 0 || size > object->size || size == 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    void* view = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, object->fd, 0);
    if (view == MAP_FAILED) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    std::lock_guard lock(g_viewMutex);
    Views()[view] = size;
    return view;
}

BOOL UnmapViewOfFile(const void* view) {
    std::size_t size = 0;
    {
        std::lock_guard lock(g_viewMutex);
        auto it = Views().find(view);
        if (it == Views().end()) {
            SetLastError(ERROR_INVALID_ADDRESS);
            return false;
        }
        size = it->second;
        Views().erase(it);
    }
    ::munmap(const_cast<void*>(view), size);
    return true;
}

HANDLE CreateMutexA(const SECURITY_ATTRIBUTES* attributes, const std::string& name) {
    if (name.empty()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const std::optional<std::string> key = ObjectKey(name);
    if (!key) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return nullptr;
    }
    const int fd = OpenObject(*key, "mutex", attributes, 0, true, kAll);
    if (fd < 0)
        return nullptr;
    const DWORD error = GetLastError();
    auto mutex = std::make_unique<MutexObject>();
    mutex->fd = fd;
    HANDLE handle = static_cast<HANDLE>(sim::RegisterObject(std::move(mutex)));
    SetLastError(error);
    return handle;
}

DWORD WaitForMutex(HANDLE handle, DWORD milliseconds) {
    auto* mutex = sim::Lookup<MutexObject>(handle);
    if (!mutex) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    if (mutex->owned)
        return WAIT_OBJECT_0;  // a Windows mutex is re-entered by its owner
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        if (Lock(mutex->fd, F_WRLCK, kOwnerByte, false)) {
            mutex->owned = true;
            return WAIT_OBJECT_0;
        }
        if (milliseconds != INFINITE && std::chrono::steady_clock::now() >= deadline)
            return WAIT_TIMEOUT;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

BOOL ReleaseMutex(HANDLE handle) {
    auto* mutex = sim::Lookup<MutexObject>(handle);
    if (!mutex || !mutex->owned) {
        SetLastError(mutex ? ERROR_NOT_OWNER : ERROR_INVALID_HANDLE);
        return false;
    }
    Lock(mutex->fd, F_UNLCK, kOwnerByte, false);
    mutex->owned = false;
    return true;
}

HANDLE CreateBoundaryDescriptorA(const std::string& name, DWORD flags) {
    if (name.empty() || flags != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto boundary = std::make_unique<BoundaryObject>();
    boundary->name = name;
    return static_cast<HANDLE>(sim::RegisterObject(std::move(boundary)));
}

BOOL AddSIDToBoundaryDescriptor(HANDLE* boundary, const SID& requiredSid) {
    auto* object = boundary ? sim::Lookup<BoundaryObject>(*boundary) : nullptr;
    if (!object || requiredSid.SubAuthority.empty()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    object->sids.push_back(SidText(requiredSid));
    return true;
}

void DeleteBoundaryDescriptor(HANDLE boundary) {
    if (sim::Lookup<BoundaryObject>(boundary))
        sim::ReleaseObject(boundary);
}

HANDLE CreatePrivateNamespaceA(const SECURITY_ATTRIBUTES* attributes, HANDLE boundary,
                               const std::string& aliasPrefix) {
    auto* object = sim::Lookup<BoundaryObject>(boundary);
    if (!object || aliasPrefix.empty() || aliasPrefix.find('\\') != std::string::npos) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    // The creator must hold every group of the boundary, enabled.
    const Identity identity = Caller();
    for (const std::string& sid : object->sids) {
        if (!Holds(identity.enabled, sid)) {
            SetLastError(ERROR_ACCESS_DENIED);
            return nullptr;
        }
    }
    const std::string key = NamespaceKey(aliasPrefix, *object);
    const int fd = OpenObject(key, "namespace", attributes, 0, true, kAll);
    if (fd < 0)
        return nullptr;
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        ::close(fd);
        return nullptr;
    }
    HANDLE handle = WrapNamespace(fd, aliasPrefix, key);
    SetLastError(ERROR_SUCCESS);
    return handle;
}

HANDLE OpenPrivateNamespaceA(HANDLE boundary, const std::string& aliasPrefix) {
    auto* object = sim::Lookup<BoundaryObject>(boundary);
    if (!object || aliasPrefix.empty()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const std::string key = NamespaceKey(aliasPrefix, *object);
    const int fd = OpenObject(key, "namespace", nullptr, 0, false, kAll);
    if (fd < 0)
        return nullptr;
    HANDLE handle = WrapNamespace(fd, aliasPrefix, key);
    SetLastError(ERROR_SUCCESS);
    return handle;
}

BOOL ClosePrivateNamespace(HANDLE privateNamespace, DWORD) {
    if (!sim::Lookup<NamespaceObject>(privateNamespace)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    return sim::ReleaseObject(privateNamespace);
}

}  // namespace quellin::platform

namespace quellin::platform::sim {

namespace {

struct Planted {
    std::vector<HANDLE> handles;
    ~Planted() {
        for (auto it = handles.rbegin(); it != handles.rend(); ++it)
            CloseHandle(*it);
    }
};

}  // namespace

std::shared_ptr<void> PlantObject(const PlantedObject& spec) {
    static std::atomic<int> planter{0};
    Identity identity = spec.maker == Maker::OtherUser
                            ? MakeIdentity(kOtherUser, false, false)
                            : MakeIdentity(kSandboxUser, spec.maker == Maker::SameUserElevated,
                                           spec.maker == Maker::SameUser);
    identity.process = "planter-" + std::to_string(++planter);
    t_actingAs = &identity;
    struct Restore {
        ~Restore() { t_actingAs = nullptr; }
    } restore;
    auto planted = std::make_shared<Planted>();
    SECURITY_ATTRIBUTES attributes{spec.securityDescriptor};
    const SECURITY_ATTRIBUTES* security = spec.securityDescriptor.empty() ? nullptr : &attributes;
    if (const std::size_t slash = spec.name.find('\\'); slash != std::string::npos) {
        const std::string prefix = spec.name.substr(0, slash);
        if (prefix != "Global" && prefix != "Local") {
            // A namespace of that name whose boundary requires Administrators, as made by the
            // program; the maker creates it or opens the one that exists.
            HANDLE descriptor = CreateBoundaryDescriptorA(prefix, 0);
            AddSIDToBoundaryDescriptor(&descriptor, SID{SECURITY_NT_AUTHORITY, {32, 544}});
            UniqueBoundaryDescriptor boundary(descriptor);
            HANDLE space = CreatePrivateNamespaceA(nullptr, boundary.get(), prefix);
            if (!space && GetLastError() == ERROR_ALREADY_EXISTS)
                space = OpenPrivateNamespaceA(boundary.get(), prefix);
            if (!space)
                return nullptr;
            planted->handles.push_back(space);
        }
    }
    HANDLE object = nullptr;
    if (spec.bytes.empty()) {
        object = CreateMutexA(security, spec.name);
        if (object && spec.owned && WaitForMutex(object, 0) != WAIT_OBJECT_0) {
            CloseHandle(object);
            object = nullptr;
        }
    } else {
        object = CreateFileMappingA(INVALID_HANDLE_VALUE, security, PAGE_READWRITE, 0,
                                    static_cast<DWORD>(spec.bytes.size()), spec.name);
        if (void* view = object ? MapViewOfFile(object, FILE_MAP_ALL_ACCESS, 0, 0, 0) : nullptr) {
            std::copy(spec.bytes.begin(), spec.bytes.end(), static_cast<std::uint8_t*>(view));
            UnmapViewOfFile(view);
        }
    }
    if (!object)
        return nullptr;
    planted->handles.push_back(object);
    return planted;
}

}  // namespace quellin::platform::sim
