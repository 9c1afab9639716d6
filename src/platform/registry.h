// Registry: keys, typed values, the 64-bit view, and whole-key save and restore.
#pragma once

#include <string>

#include "platform/handle.h"
#include "platform/types.h"

namespace quellin::platform {

using REGSAM = DWORD;

inline HKEY const HKEY_CLASSES_ROOT = reinterpret_cast<HKEY>(std::uintptr_t{0x80000000});
inline HKEY const HKEY_CURRENT_USER = reinterpret_cast<HKEY>(std::uintptr_t{0x80000001});
inline HKEY const HKEY_LOCAL_MACHINE = reinterpret_cast<HKEY>(std::uintptr_t{0x80000002});
inline HKEY const HKEY_USERS = reinterpret_cast<HKEY>(std::uintptr_t{0x80000003});

inline constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
inline constexpr REGSAM KEY_SET_VALUE = 0x0002;
inline constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
inline constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
inline constexpr REGSAM KEY_WOW64_64KEY = 0x0100;
inline constexpr REGSAM KEY_WOW64_32KEY = 0x0200;
inline constexpr REGSAM KEY_READ = 0x20019;
inline constexpr REGSAM KEY_WRITE = 0x20006;
inline constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;

inline constexpr DWORD REG_NONE = 0;
inline constexpr DWORD REG_SZ = 1;
inline constexpr DWORD REG_EXPAND_SZ = 2;
inline constexpr DWORD REG_BINARY = 3;
inline constexpr DWORD REG_DWORD = 4;
inline constexpr DWORD REG_MULTI_SZ = 7;
inline constexpr DWORD REG_QWORD = 11;

inline constexpr DWORD REG_CREATED_NEW_KEY = 1;
inline constexpr DWORD REG_OPENED_EXISTING_KEY = 2;
inline constexpr DWORD REG_FORCE_RESTORE = 8;

// Opens an existing key below `key` (a root or an open key). `sam` is checked against later
// calls: reading needs KEY_QUERY_VALUE, writing KEY_SET_VALUE. Under 64-bit Windows a 32-bit
// program sees HKLM\SOFTWARE through WOW6432Node unless `sam` carries KEY_WOW64_64KEY.
// Returns ERROR_SUCCESS, ERROR_FILE_NOT_FOUND or ERROR_ACCESS_DENIED.
LONG RegOpenKeyExA(HKEY key, const std::string& subKey, DWORD options, REGSAM sam, HKEY* result);

// Opens or creates a key and its missing parents; `disposition` (may be null) tells which.
LONG RegCreateKeyExA(HKEY key, const std::string& subKey, DWORD options, REGSAM sam, HKEY* result,
                     DWORD* disposition);

LONG RegCloseKey(HKEY key);

// Two-call pattern: with `data` null, `*dataSize` receives the size needed. With a buffer that
// is too small, ERROR_MORE_DATA and the size needed. `type` and `data` may be null. Strings
// are stored with their terminating zero, which counts in the size.
LONG RegQueryValueExA(HKEY key, const std::string& valueName, DWORD* type, BYTE* data,
                      DWORD* dataSize);

LONG RegSetValueExA(HKEY key, const std::string& valueName, DWORD type, const BYTE* data,
                    DWORD dataSize);

LONG RegDeleteValueA(HKEY key, const std::string& valueName);

// Deletes a key that has no subkeys (ERROR_ACCESS_DENIED otherwise, as Windows does).
LONG RegDeleteKeyExA(HKEY key, const std::string& subKey, REGSAM sam);

// Deletes a key with all its subkeys and values; an empty subKey empties `key` itself.
LONG RegDeleteTreeA(HKEY key, const std::string& subKey);

// Enumeration by index in the system's order; ERROR_NO_MORE_ITEMS past the end.
LONG RegEnumKeyExA(HKEY key, DWORD index, std::string* name);
LONG RegEnumValueA(HKEY key, DWORD index, std::string* valueName, DWORD* type, BYTE* data,
                   DWORD* dataSize);

// Writes the key with its subtree to a hive file (the file must not exist:
// ERROR_ALREADY_EXISTS). Needs SeBackupPrivilege enabled (ERROR_PRIVILEGE_NOT_HELD).
LONG RegSaveKeyA(HKEY key, const std::string& file);

// Replaces the key's subtree with the hive file's content. Needs SeRestorePrivilege.
LONG RegRestoreKeyA(HKEY key, const std::string& file, DWORD flags);

// Move-only owner of an open key; closes it on every way out.
using UniqueHKey = UniqueResource<HKEY, RegCloseKey, NullOf<HKEY>>;

}  // namespace quellin::platform
