// The sandbox's registry as stored, for seeding, the sandbox tool and tests. Paths are full
// native paths ("HKLM\SOFTWARE\..."); no 32-bit view applies here.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/sim/sim_namespace.h"

namespace quellin::platform::sim::reg {

struct Value {
    std::string name;
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
};

std::optional<std::int64_t> FindKey(const std::string& path);
std::int64_t CreateKey(const std::string& path);
// False when the key does not exist.
bool DeleteKey(const std::string& path);
bool DeleteValue(const std::string& path, const std::string& name);

void SetValue(const std::string& path, const std::string& name, std::uint32_t type,
              const std::vector<std::uint8_t>& data);
void SetString(const std::string& path, const std::string& name, const std::string& text);
void SetDword(const std::string& path, const std::string& name, std::uint32_t value);
std::optional<Value> GetValue(const std::string& path, const std::string& name);

std::vector<std::string> SubKeys(std::int64_t key);
std::vector<Value> Values(std::int64_t key);

// Data of a typed value as text: strings as they stand, numbers in decimal, binary as hex.
std::string FormatData(const Value& value);
// The reverse, for a type name "REG_SZ", "REG_DWORD", "REG_QWORD", "REG_BINARY",
// "REG_EXPAND_SZ", "REG_MULTI_SZ" (items separated by "\0" in the text). Throws on bad input.
Value ParseData(const std::string& name, const std::string& typeName, const std::string& text);
std::string TypeName(std::uint32_t type);

// Building blocks on key ids (1..4 are the roots), shared with the win:: functions.
std::int64_t RootIdByName(const std::string& root);  // "HKEY_LOCAL_MACHINE" -> 1
std::optional<std::int64_t> FindChild(std::int64_t parent, const std::string& name);
std::optional<std::int64_t> Resolve(std::int64_t root, const std::vector<std::string>& parts);
std::int64_t ResolveCreate(std::int64_t root, const std::vector<std::string>& parts, bool* created);
bool KeyExists(std::int64_t id);
void DeleteChildren(std::int64_t id);
void DeleteKeyId(std::int64_t id);
std::optional<Value> GetValueById(std::int64_t key, const std::string& name);
void SetValueById(std::int64_t key, const std::string& name, std::uint32_t type,
                  const std::vector<std::uint8_t>& data);

}  // namespace quellin::platform::sim::reg
