// The program's own two preferences in the current user's registry.
#pragma once

#include <cstdint>
#include <string>

namespace quellin::system {

inline constexpr const char* kPreferencesKey = "Software\\Tarnwell\\Quellin";

struct Preferences {
    std::int32_t Rotation = 0;  // the closing-prompt counter
    std::string ASFile;         // a file the maintenance sequence deletes; written by others
};

// Reads what is stored; a missing key or value, or one of another type, keeps the default.
Preferences LoadPreferences();

// Writes "Rotation" (creating the key when needed); "ASFile" is left as it is. A key that
// cannot be opened is skipped silently.
void SavePreferences(std::int32_t rotation);

}  // namespace quellin::system
