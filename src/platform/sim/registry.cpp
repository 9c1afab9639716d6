#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "platform/filesystem.h"
#include "platform/registry.h"
#include "platform/security.h"
#include "platform/sim/handles.h"
#include "platform/sim/registry_store.h"
#include "platform/sim/sandbox.h"
#include "platform/sim/security_state.h"
#include "platform/sim/strings.h"

namespace quellin::platform::sim::reg {

std::int64_t RootIdByName(const std::string& root) {
    if (root == "HKEY_LOCAL_MACHINE")
        return 1;
    if (root == "HKEY_CURRENT_USER")
        return 2;
    if (root == "HKEY_USERS")
        return 3;
    return 4;
}

std::optional<std::int64_t> FindChild(std::int64_t parent, const std::string& name) {
    std::lock_guard lock(db().mutex());
    Statement st = db().Prepare("SELECT id FROM reg_keys WHERE parent = ? AND name = ?");
    st.Bind(1, parent).Bind(2, name);
    if (st.Step()) {
        return st.Int(0);
    }
    return std::nullopt;
}

std::optional<std::int64_t> Resolve(std::int64_t root, const std::vector<std::string>& parts) {
    std::int64_t id = root;
    for (const std::string& part : parts) {
        auto child = FindChild(id, part);
        if (!child) {
            return std::nullopt;
        }
        id = *child;
    }
    return id;
}

std::int64_t ResolveCreate(std::int64_t root, const std::vector<std::string>& parts,
                           bool* created) {
    Transaction tx(db());
    std::int64_t id = root;
    if (created) {
        *created = false;
    }
    for (const std::string& part : parts) {
        auto child = FindChild(id, part);
        if (!child) {
            Statement st = db().Prepare("INSERT INTO reg_keys(parent, name) VALUES(?, ?)");
            st.Bind(1, id).Bind(2, part).Run();
            child = db().LastInsertId();
            if (created) {
                *created = true;
            }
        }
        id = *child;
    }
    tx.Commit();
    return id;
}

bool KeyExists(std::int64_t id) {
    return id <= 4 || db().QueryInt("SELECT 1 FROM reg_keys WHERE id = " + std::to_string(id));
}

void DeleteChildren(std::int64_t id) {
    // Walked with a list of its own, not the machine stack: a tree may be deep.
    Transaction tx(db());
    std::vector<std::int64_t> pending{id};
    while (!pending.empty()) {
        const std::int64_t key = pending.back();
        pending.pop_back();
        for (const std::string& name : SubKeys(key)) {
            if (auto child = FindChild(key, name))
                pending.push_back(*child);
        }
        db().Prepare("DELETE FROM reg_values WHERE key = ?").Bind(1, key).Run();
        if (key != id)
            db().Prepare("DELETE FROM reg_keys WHERE id = ?").Bind(1, key).Run();
    }
    tx.Commit();
}

void DeleteKeyId(std::int64_t id) {
    Transaction tx(db());
    DeleteChildren(id);
    db().Prepare("DELETE FROM reg_keys WHERE id = ?").Bind(1, id).Run();
    tx.Commit();
}

std::optional<Value> GetValueById(std::int64_t key, const std::string& name) {
    std::lock_guard lock(db().mutex());
    Statement st =
        db().Prepare("SELECT name, type, data FROM reg_values WHERE key = ? AND name = ?");
    st.Bind(1, key).Bind(2, name);
    if (!st.Step()) {
        return std::nullopt;
    }
    return Value{st.Text(0), static_cast<std::uint32_t>(st.Int(1)), st.Blob(2)};
}

void SetValueById(std::int64_t key, const std::string& name, std::uint32_t type,
                  const std::vector<std::uint8_t>& data) {
    std::lock_guard lock(db().mutex());
    Statement st = db().Prepare(
        "INSERT INTO reg_values(key, name, type, data) VALUES(?, ?, ?, ?) "
        "ON CONFLICT(key, name) DO UPDATE SET type = excluded.type, data = excluded.data");
    st.Bind(1, key).Bind(2, name).Bind(3, type).BindBlob(4, data.data(), data.size()).Run();
}

std::optional<std::int64_t> FindKey(const std::string& path) {
    RegistryPath p = ParseRegistryPath(path);
    return Resolve(RootIdByName(p.root), p.parts);
}

std::int64_t CreateKey(const std::string& path) {
    RegistryPath p = ParseRegistryPath(path);
    return ResolveCreate(RootIdByName(p.root), p.parts, nullptr);
}

bool DeleteKey(const std::string& path) {
    auto id = FindKey(path);
    if (!id || *id <= 4) {
        return false;
    }
    DeleteKeyId(*id);
    return true;
}

bool DeleteValue(const std::string& path, const std::string& name) {
    auto id = FindKey(path);
    if (!id) {
        return false;
    }
    std::lock_guard lock(db().mutex());
    db().Prepare("DELETE FROM reg_values WHERE key = ? AND name = ?")
        .Bind(1, *id)
        .Bind(2, name)
        .Run();
    return db().Changes() > 0;
}

void SetValue(const std::string& path, const std::string& name, std::uint32_t type,
              const std::vector<std::uint8_t>& data) {
    SetValueById(CreateKey(path), name, type, data);
}

void SetString(const std::string& path, const std::string& name, const std::string& text) {
    std::vector<std::uint8_t> data(text.begin(), text.end());
    data.push_back(0);
    SetValue(path, name, win::REG_SZ, data);
}

void SetDword(const std::string& path, const std::string& name, std::uint32_t value) {
    std::vector<std::uint8_t> data(4);
    std::memcpy(data.data(), &value, 4);
    SetValue(path, name, win::REG_DWORD, data);
}

std::optional<Value> GetValue(const std::string& path, const std::string& name) {
    auto id = FindKey(path);
    return id ? GetValueById(*id, name) : std::nullopt;
}

std::vector<std::string> SubKeys(std::int64_t key) {
    std::lock_guard lock(db().mutex());
    std::vector<std::string> names;
    Statement st =
        db().Prepare("SELECT name FROM reg_keys WHERE parent = ? ORDER BY name COLLATE NOCASE");
    st.Bind(1, key);
    while (st.Step()) {
        names.push_back(st.Text(0));
    }
    return names;
}

std::vector<Value> Values(std::int64_t key) {
    std::lock_guard lock(db().mutex());
    std::vector<Value> values;
    Statement st =
        db().Prepare("SELECT name, type, data FROM reg_values WHERE key = ? ORDER BY rowid");
    st.Bind(1, key);
    while (st.Step()) {
        values.push_back(Value{st.Text(0), static_cast<std::uint32_t>(st.Int(1)), st.Blob(2)});
    }
    return values;
}

std::string TypeName(std::uint32_t type) {
    switch (type) {
        case win::REG_NONE:
            return "REG_NONE";
        case win::REG_SZ:
            return "REG_SZ";
        case win::REG_EXPAND_SZ:
            return "REG_EXPAND_SZ";
        case win::REG_BINARY:
            return "REG_BINARY";
        case win::REG_DWORD:
            return "REG_DWORD";
        case win::REG_MULTI_SZ:
            return "REG_MULTI_SZ";
        case win::REG_QWORD:
            return "REG_QWORD";
        default:
            return "REG_" + std::to_string(type);
    }
}

std::string FormatData(const Value& v) {
    auto text = [&] {
        std::string s(v.data.begin(), v.data.end());
        while (!s.empty() && s.back() == '\0') {
            s.pop_back();
        }
        return s;
    };
    if ((v.type == win::REG_SZ || v.type == win::REG_EXPAND_SZ || v.type == win::REG_MULTI_SZ)) {
        return text();
    }
    if (v.type == win::REG_DWORD && v.data.size() == 4) {
        std::uint32_t n;
        std::memcpy(&n, v.data.data(), 4);
        return std::to_string(n);
    }
    if (v.type == win::REG_QWORD && v.data.size() == 8) {
        std::uint64_t n;
        std::memcpy(&n, v.data.data(), 8);
        return std::to_string(n);
    }
    static const char* hex = "0123456789abcdef";
    std::string s;
    for (std::uint8_t b : v.data) {
        s += hex[b >> 4];
        s += hex[b & 15];
    }
    return s;
}

Value ParseData(const std::string& name, const std::string& typeName, const std::string& text) {
    Value v{name, 0, {}};
    std::string t = UpperAnsi(typeName);
    if (t == "REG_SZ" || t == "REG_EXPAND_SZ" || t == "REG_MULTI_SZ") {
        v.type = t == "REG_SZ"          ? win::REG_SZ
                 : t == "REG_EXPAND_SZ" ? win::REG_EXPAND_SZ
                                        : win::REG_MULTI_SZ;
        std::string s = text;
        if (v.type == win::REG_MULTI_SZ) {
            std::string out;
            for (std::size_t i = 0; i < s.size(); ++i) {
                if (s.compare(i, 2, "\\0") == 0) {
                    out += '\0';
                    ++i;
                } else {
                    out += s[i];
                }
            }
            s = out + '\0';
        }
        v.data.assign(s.begin(), s.end());
        v.data.push_back(0);
    } else if (t == "REG_DWORD" || t == "REG_QWORD") {
        std::size_t used = 0;
        long long n = std::stoll(text, &used, 0);
        if (used != text.size()) {
            throw std::invalid_argument("not a number: " + text);
        }
        v.type = t == "REG_DWORD" ? win::REG_DWORD : win::REG_QWORD;
        std::size_t width = t == "REG_DWORD" ? 4 : 8;
        std::uint64_t u = static_cast<std::uint64_t>(n);
        v.data.resize(width);
        std::memcpy(v.data.data(), &u, width);
    } else if (t == "REG_BINARY" || t == "REG_NONE") {
        v.type = t == "REG_BINARY" ? win::REG_BINARY : win::REG_NONE;
        if (text.size() % 2 != 0) {
            throw std::invalid_argument("binary data needs pairs of hex digits");
        }
        for (std::size_t i = 0; i < text.size(); i += 2) {
            v.data.push_back(static_cast<std::uint8_t>(std::stoi(text.substr(i, 2), nullptr, 16)));
        }
    } else {
        throw std::invalid_argument("unknown value type: " + typeName);
    }
    return v;
}

}  // namespace quellin::platform::sim::reg

namespace quellin::platform {

namespace {

using sim::reg::Value;

struct KeyObject : sim::Object {
    std::int64_t id = 0;
    std::string root;
    std::vector<std::string> logical;  // path below the root as the caller named it
    REGSAM sam = 0;
};

struct Location {
    std::string root;
    std::vector<std::string> logical;
    std::int64_t rootId = 0;
    REGSAM sam = KEY_ALL_ACCESS;
    bool ok = false;
    LONG error = ERROR_SUCCESS;
};

Location Base(HKEY key) {
    Location loc;
    auto value = reinterpret_cast<std::uintptr_t>(key);
    switch (value) {
        case 0x80000000:
            loc.root = "HKEY_CLASSES_ROOT";
            break;
        case 0x80000001:
            loc.root = "HKEY_CURRENT_USER";
            break;
        case 0x80000002:
            loc.root = "HKEY_LOCAL_MACHINE";
            break;
        case 0x80000003:
            loc.root = "HKEY_USERS";
            break;
        default: {
            auto* object = sim::Lookup<KeyObject>(key);
            if (!object) {
                loc.error = ERROR_INVALID_HANDLE;
                return loc;
            }
            if (!sim::reg::KeyExists(object->id)) {
                loc.error = ERROR_KEY_DELETED;
                return loc;
            }
            loc.root = object->root;
            loc.logical = object->logical;
            loc.sam = object->sam;
        }
    }
    loc.rootId = sim::reg::RootIdByName(loc.root);
    loc.ok = true;
    return loc;
}

// A 32-bit program on 64-bit Windows sees HKLM\SOFTWARE\X as HKLM\SOFTWARE\WOW6432Node\X
// unless it asks for the 64-bit view.
std::vector<std::string> Physical(const std::string& root, std::vector<std::string> parts,
                                  REGSAM sam) {
    if (root == "HKEY_LOCAL_MACHINE" && parts.size() >= 2 && win::SameName(parts[0], "SOFTWARE") &&
        !win::SameName(parts[1], "WOW6432Node") && !win::SameName(parts[1], "Classes") &&
        (sam & KEY_WOW64_64KEY) == 0 && sim::IsWow64Process()) {
        parts.insert(parts.begin() + 1, "WOW6432Node");
    }
    return parts;
}

std::vector<std::string> Join(std::vector<std::string> parts, const std::string& subKey) {
    std::string current;
    for (char c : subKey) {
        if (c == '\\') {
            if (!current.empty())
                parts.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    if (!current.empty())
        parts.push_back(current);
    return parts;
}

bool WantsWrite(REGSAM sam) {
    return (sam & (KEY_SET_VALUE | KEY_CREATE_SUB_KEY | DELETE)) != 0;
}

bool MayWrite(const std::string& root) {
    return root != "HKEY_LOCAL_MACHINE" || sim::TokenIsElevated();
}

HKEY NewKey(std::int64_t id, const std::string& root, std::vector<std::string> logical,
            REGSAM sam) {
    auto object = std::make_unique<KeyObject>();
    object->id = id;
    object->root = root;
    object->logical = std::move(logical);
    object->sam = sam;
    return static_cast<HKEY>(sim::RegisterObject(std::move(object)));
}

LONG KeyForData(HKEY key, REGSAM need, std::int64_t* id) {
    Location loc = Base(key);
    if (!loc.ok) {
        return loc.error;
    }
    if ((loc.sam & need) != need) {
        return ERROR_ACCESS_DENIED;
    }
    auto resolved = sim::reg::Resolve(loc.rootId, Physical(loc.root, loc.logical, loc.sam));
    if (!resolved) {
        return ERROR_KEY_DELETED;
    }
    *id = *resolved;
    return ERROR_SUCCESS;
}

LONG CopyOut(const std::vector<std::uint8_t>& bytes, BYTE* data, DWORD* dataSize) {
    DWORD size = static_cast<DWORD>(bytes.size());
    if (data == nullptr) {
        if (dataSize)
            *dataSize = size;
        return ERROR_SUCCESS;
    }
    if (dataSize == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    if (*dataSize < size) {
        *dataSize = size;
        return ERROR_MORE_DATA;
    }
    if (size)
        std::memcpy(data, bytes.data(), size);
    *dataSize = size;
    return ERROR_SUCCESS;
}

}  // namespace

LONG RegOpenKeyExA(HKEY key, const std::string& subKey, DWORD, REGSAM sam, HKEY* result) {
    if (!result)
        return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    try {
        Location loc = Base(key);
        if (!loc.ok)
            return loc.error;
        std::vector<std::string> logical = Join(loc.logical, subKey);
        auto id = sim::reg::Resolve(loc.rootId, Physical(loc.root, logical, sam));
        if (!id)
            return ERROR_FILE_NOT_FOUND;
        if (WantsWrite(sam) && !MayWrite(loc.root))
            return ERROR_ACCESS_DENIED;
        *result = NewKey(*id, loc.root, std::move(logical), sam);
        return ERROR_SUCCESS;
    } catch (const std::exception&) {
        return ERROR_BADDB;
    }
}

constexpr std::size_t kMaxCreatedDepth = 512;

LONG RegCreateKeyExA(HKEY key, const std::string& subKey, DWORD, REGSAM sam, HKEY* result,
                     DWORD* disposition) {
    if (!result)
        return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    try {
        Location loc = Base(key);
        if (!loc.ok)
            return loc.error;
        if (!MayWrite(loc.root))
            return ERROR_ACCESS_DENIED;
        std::vector<std::string> logical = Join(loc.logical, subKey);
        const std::vector<std::string> physical = Physical(loc.root, logical, sam);
        // Windows keeps a tree to 512 levels below its root key and creates no key deeper.
        if (physical.size() > kMaxCreatedDepth && !sim::reg::Resolve(loc.rootId, physical))
            return ERROR_INVALID_PARAMETER;
        bool created = false;
        std::int64_t id = sim::reg::ResolveCreate(loc.rootId, physical, &created);
        if (disposition)
            *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
        *result = NewKey(id, loc.root, std::move(logical), sam);
        return ERROR_SUCCESS;
    } catch (const std::exception&) {
        return ERROR_BADDB;
    }
}

LONG RegCloseKey(HKEY key) {
    if (reinterpret_cast<std::uintptr_t>(key) >= 0x80000000 &&
        reinterpret_cast<std::uintptr_t>(key) <= 0x80000003) {
        return ERROR_SUCCESS;
    }
    if (!sim::Lookup<KeyObject>(key))
        return ERROR_INVALID_HANDLE;
    sim::ReleaseObject(key);
    return ERROR_SUCCESS;
}

LONG RegQueryValueExA(HKEY key, const std::string& valueName, DWORD* type, BYTE* data,
                      DWORD* dataSize) {
    try {
        std::int64_t id = 0;
        if (LONG rc = KeyForData(key, KEY_QUERY_VALUE, &id); rc != ERROR_SUCCESS)
            return rc;
        auto value = sim::reg::GetValueById(id, valueName);
        if (!value)
            return ERROR_FILE_NOT_FOUND;
        if (type)
            *type = value->type;
        return CopyOut(value->data, data, dataSize);
    } catch (const std::exception&) {
        return ERROR_BADDB;
    }
}

LONG RegSetValueExA(HKEY key, const std::string& valueName, DWORD type, const BYTE* data,
                    DWORD dataSize) {
    try {
        std::int64_t id = 0;
        if (LONG rc = KeyForData(key, KEY_SET_VALUE, &id); rc != ERROR_SUCCESS)
            return rc;
        std::vector<std::uint8_t> bytes(data, data + (data ? dataSize : 0));
        sim::reg::SetValueById(id, valueName, type, bytes);
        return ERROR_SUCCESS;
    } catch (const std::exception&) {
        return ERROR_BADDB;
    }
}

LONG RegDeleteValueA(HKEY key, const std::string& valueName) {
    try {
        std::int64_t id = 0;
        if (LONG rc = KeyForData(key, KEY_SET_VALUE, &id); rc != ERROR_SUCCESS)
            return rc;
        std::lock_guard lock(sim::db().mutex());
        sim::db()
            .Prepare("DELETE FROM reg_values WHERE key = ? AND name = ?")
            .Bind(1, id)
            .Bind(2, valueName)
            .Run();
        return sim::db().Changes() > 0 ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
    } catch (const std::exception&) {
        return ERROR_BADDB;
    }
}

LONG RegDeleteKeyExA(HKEY key, const std::string& subKey, REGSAM sam) {
    try {
        Location loc = Base(key);
        if (!loc.ok)
            return loc.error;
        if (!MayWrite(loc.root))
            return ERROR_ACCESS_DENIED;
        auto id = sim::reg::Resolve(loc.rootId, Physical(loc.root, Join(loc.logical, subKey), sam));
        if (!id)
            return ERROR_FILE_NOT_FOUND;
        if (*id <= 4 || !sim::reg::SubKeys(*id).empty())
            return ERROR_ACCESS_DENIED;
        sim::reg::DeleteKeyId(*id);
        return ERROR_SUCCESS;
    } catch (const std::exception&) {
        return ERROR_BADDB;
    }
}

LONG RegDeleteTreeA(HKEY key, const std::string& subKey) {
    try {
        Location loc = Base(key);
        if (!loc.ok)
            return loc.error;
        if (!MayWrite(loc.root))
            return ERROR_ACCESS_DENIED;
        auto id =
            sim::reg::Resolve(loc.rootId, Physical(loc.root, Join(loc.logical, subKey), loc.sam));
        if (!id)
            return ERROR_FILE_NOT_FOUND;
        if (subKey.empty() || *id <= 4) {
            sim::reg::DeleteChildren(*id);
        } else {
            sim::reg::DeleteKeyId(*id);
        }
        return ERROR_SUCCESS;
    } catch (const std::exception&) {
        return ERROR_BADDB;
    }
}

LONG RegEnumKeyExA(HKEY key, DWORD index, std::string* name) {
    try {
        std::int64_t id = 0;
        if (LONG rc = KeyForData(key, KEY_ENUMERATE_SUB_KEYS, &id); rc != ERROR_SUCCESS)
            return rc;
        std::vector<std::string> names = sim::reg::SubKeys(id);
        if (index >= names.size())
            return ERROR_NO_MORE_ITEMS;
        if (name)
            *name = names[index];
        return ERROR_SUCCESS;
    } catch (const std::exception&) {
        return ERROR_BADDB;
    }
}

LONG RegEnumValueA(HKEY key, DWORD index, std::string* valueName, DWORD* type, BYTE* data,
                   DWORD* dataSize) {
    try {
        std::int64_t id = 0;
        if (LONG rc = KeyForData(key, KEY_QUERY_VALUE, &id); rc != ERROR_SUCCESS)
            return rc;
        std::vector<Value> values = sim::reg::Values(id);
        if (index >= values.size())
            return ERROR_NO_MORE_ITEMS;
        if (valueName)
            *valueName = values[index].name;
        if (type)
            *type = values[index].type;
        return CopyOut(values[index].data, data, dataSize);
    } catch (const std::exception&) {
        return ERROR_BADDB;
    }
}

// Hive files of the sandbox. Windows writes its own binary hive format; the sandbox needs only
// the round trip through save and restore, and a damaged or foreign file must restore
// nothing. Layout, all numbers little-endian:
//
//   offset 0   8 bytes  magic "regfQSIM"
//   offset 8   4 bytes  format version, 1
//   offset 12  4 bytes  payload length in bytes (the rest of the file, exactly)
//   offset 16  4 bytes  CRC-32 of the payload (ZIP polynomial 0xEDB88320, ones in and out)
//   offset 20  payload: the key's values, then each subkey's record followed by that
//              subkey's own values and subkeys (depth first), as records:
//                'V' u32 depth, u32 name length, name, u32 type, u32 data length, data
//                'K' u32 depth, u32 name length, name
//              The saved key itself is depth 0; a subkey record's depth is one more than
//              its parent's, and a value belongs to the last key record at its depth.
//
// RegRestoreKeyA returns ERROR_BADDB for a file that is not a sandbox hive of a known version
// and ERROR_REGISTRY_CORRUPT for one whose length, checksum or records are wrong; either way
// the key stays as it was. A good file replaces the key's whole tree in one transaction.
namespace {

constexpr char kHiveMagic[8] = {'r', 'e', 'g', 'f', 'Q', 'S', 'I', 'M'};
constexpr std::uint32_t kHiveVersion = 1;
constexpr std::size_t kHiveHeaderSize = 20;

std::uint32_t HiveCrc32(const char* data, std::size_t size) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= static_cast<std::uint8_t>(data[i]);
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
        }
    }
    return ~crc;
}

void PutU32(std::string& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        out += static_cast<char>((v >> (8 * i)) & 0xFF);
    }
}
void PutBytes(std::string& out, const void* p, std::size_t n) {
    PutU32(out, static_cast<std::uint32_t>(n));
    out.append(static_cast<const char*>(p), n);
}

// Windows refuses keys nested deeper than this below a hive's root.
constexpr std::uint32_t kMaxKeyDepth = 512;

// Depth first, in the order the records are read back, with a list of its own instead of the
// machine stack.
void SaveTree(std::int64_t id, std::string& out) {
    struct Pending {
        std::int64_t id;
        std::uint32_t depth;
        std::string name;  // the key record to write first; none for the saved key
    };
    std::vector<Pending> pending{{id, 0, {}}};
    while (!pending.empty()) {
        Pending key = std::move(pending.back());
        pending.pop_back();
        if (key.depth > 0) {
            out += 'K';
            PutU32(out, key.depth);
            PutBytes(out, key.name.data(), key.name.size());
        }
        for (const Value& v : sim::reg::Values(key.id)) {
            out += 'V';
            PutU32(out, key.depth);
            PutBytes(out, v.name.data(), v.name.size());
            PutU32(out, v.type);
            PutBytes(out, v.data.data(), v.data.size());
        }
        const std::vector<std::string> names = sim::reg::SubKeys(key.id);
        for (auto name = names.rbegin(); name != names.rend(); ++name) {
            if (auto child = sim::reg::FindChild(key.id, *name))
                pending.push_back({*child, key.depth + 1, *name});
        }
    }
}

struct Reader {
    const std::string& s;
    std::size_t pos = 0;
    bool failed = false;
    std::uint32_t U32() {
        if (s.size() < 4 || pos > s.size() - 4) {
            failed = true;
            return 0;
        }
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i) {
            v |= static_cast<std::uint32_t>(static_cast<std::uint8_t>(s[pos + i])) << (8 * i);
        }
        pos += 4;
        return v;
    }
    std::string Bytes() {
        std::uint32_t n = U32();
        if (failed || n > s.size() - pos) {
            failed = true;
            return {};
        }
        std::string out = s.substr(pos, n);
        pos += n;
        return out;
    }
};

struct HiveRecord {
    char kind = 0;
    std::uint32_t depth = 0;
    std::string name;
    std::uint32_t type = 0;
    std::string data;
};

// The records of a hive file, or the error that refuses it.
LONG ParseHive(const std::string& bytes, std::vector<HiveRecord>* records) {
    if (bytes.size() < sizeof kHiveMagic ||
        std::memcmp(bytes.data(), kHiveMagic, sizeof kHiveMagic) != 0) {
        return ERROR_BADDB;
    }
    Reader header{bytes, sizeof kHiveMagic};
    const std::uint32_t version = header.U32();
    if (header.failed || version != kHiveVersion) {
        return ERROR_BADDB;
    }
    const std::uint32_t length = header.U32();
    const std::uint32_t crc = header.U32();
    if (header.failed || bytes.size() - kHiveHeaderSize != length ||
        HiveCrc32(bytes.data() + kHiveHeaderSize, length) != crc) {
        return ERROR_REGISTRY_CORRUPT;
    }
    Reader r{bytes, kHiveHeaderSize};
    std::uint32_t depth = 0;
    while (r.pos < bytes.size()) {
        HiveRecord rec;
        rec.kind = bytes[r.pos++];
        rec.depth = r.U32();
        rec.name = r.Bytes();
        if (rec.kind == 'V') {
            rec.type = r.U32();
            rec.data = r.Bytes();
            if (rec.depth != depth)
                r.failed = true;
        } else if (rec.kind == 'K') {
            // A key name is one path component.
            if (rec.depth == 0 || rec.depth > depth + 1 || rec.depth > kMaxKeyDepth ||
                rec.name.empty() || rec.name.find('\\') != std::string::npos)
                r.failed = true;
            depth = rec.depth;
        } else {
            r.failed = true;
        }
        if (r.failed)
            return ERROR_REGISTRY_CORRUPT;
        records->push_back(std::move(rec));
    }
    return ERROR_SUCCESS;
}

bool ReadWholeFile(const std::string& path, std::string* out) {
    UniqueFileHandle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0));
    if (!file)
        return false;
    std::int64_t size = 0;
    if (!GetFileSizeEx(file.get(), &size))
        return false;
    out->resize(static_cast<std::size_t>(size));
    DWORD read = 0;
    return ReadFile(file.get(), out->data(), static_cast<DWORD>(size), &read) && read == size;
}

}  // namespace

LONG RegSaveKeyA(HKEY key, const std::string& file) {
    try {
        std::int64_t id = 0;
        if (LONG rc = KeyForData(key, 0, &id); rc != ERROR_SUCCESS)
            return rc;
        if (!sim::PrivilegeEnabled(win::SE_BACKUP_NAME))
            return ERROR_PRIVILEGE_NOT_HELD;
        std::string payload;
        {
            // One transaction, so that another process's change can't tear the saved tree.
            sim::Transaction tx(sim::db());
            SaveTree(id, payload);
            tx.Commit();
        }
        std::string out(kHiveMagic, sizeof kHiveMagic);
        PutU32(out, kHiveVersion);
        PutU32(out, static_cast<std::uint32_t>(payload.size()));
        PutU32(out, HiveCrc32(payload.data(), payload.size()));
        out += payload;
        DWORD failure = ERROR_SUCCESS;
        {
            UniqueFileHandle handle(CreateFileA(file, GENERIC_WRITE, 0, CREATE_NEW, 0));
            if (!handle) {
                DWORD error = GetLastError();
                return error == ERROR_FILE_EXISTS ? ERROR_ALREADY_EXISTS : static_cast<LONG>(error);
            }
            DWORD written = 0;
            if (!WriteFile(handle.get(), out.data(), static_cast<DWORD>(out.size()), &written)) {
                failure = GetLastError();
            } else if (written != out.size()) {
                failure = ERROR_WRITE_FAULT;
            }
        }
        // A hive cut short would only fail its restore later; leave none behind.
        if (failure != ERROR_SUCCESS) {
            DeleteFileA(file);
            return static_cast<LONG>(failure);
        }
        return ERROR_SUCCESS;
    } catch (const std::exception&) {
        return ERROR_BADDB;
    }
}

LONG RegRestoreKeyA(HKEY key, const std::string& file, DWORD) {
    try {
        std::int64_t id = 0;
        if (LONG rc = KeyForData(key, 0, &id); rc != ERROR_SUCCESS)
            return rc;
        // Restoring needs the backup privilege as well as the restore privilege.
        if (!sim::PrivilegeEnabled(win::SE_RESTORE_NAME) ||
            !sim::PrivilegeEnabled(win::SE_BACKUP_NAME))
            return ERROR_PRIVILEGE_NOT_HELD;
        std::string bytes;
        if (!ReadWholeFile(file, &bytes))
            return static_cast<LONG>(GetLastError());
        // Parse everything first so a damaged file changes nothing.
        std::vector<HiveRecord> records;
        if (LONG rc = ParseHive(bytes, &records); rc != ERROR_SUCCESS)
            return rc;
        sim::Transaction tx(sim::db());
        sim::reg::DeleteChildren(id);
        std::vector<std::int64_t> stack{id};
        for (const HiveRecord& rec : records) {
            if (rec.kind == 'K') {
                stack.resize(rec.depth);
                bool created = false;
                stack.push_back(sim::reg::ResolveCreate(stack.back(), {rec.name}, &created));
            } else {
                sim::reg::SetValueById(stack.back(), rec.name, rec.type,
                                       std::vector<std::uint8_t>(rec.data.begin(), rec.data.end()));
            }
        }
        tx.Commit();
        return ERROR_SUCCESS;
    } catch (const std::exception&) {
        return ERROR_BADDB;
    }
}

}  // namespace quellin::platform
