#include "system/preferences.h"

#include <cstring>
#include <optional>
#include <vector>

#include "platform/registry.h"

namespace quellin::system {

namespace {

// Value bytes of `name` when it has type `wantedType` (or `otherType`, for strings).
std::optional<std::vector<platform::BYTE>> ReadTyped(platform::HKEY key, const std::string& name,
                                                     platform::DWORD wantedType,
                                                     platform::DWORD otherType) {
    platform::DWORD type = 0;
    platform::DWORD size = 0;
    if (platform::RegQueryValueExA(key, name, &type, nullptr, &size) != platform::ERROR_SUCCESS)
        return std::nullopt;
    if (type != wantedType && type != otherType)
        return std::nullopt;
    std::vector<platform::BYTE> data(size);
    if (platform::RegQueryValueExA(key, name, &type, data.data(), &size) != platform::ERROR_SUCCESS)
        return std::nullopt;
    data.resize(size);
    return data;
}

}  // namespace

Preferences LoadPreferences() {
    Preferences preferences;
    platform::UniqueHKey key;
    if (platform::RegOpenKeyExA(platform::HKEY_CURRENT_USER, kPreferencesKey, 0, platform::KEY_READ,
                                key.put()) != platform::ERROR_SUCCESS) {
        return preferences;
    }
    if (auto data = ReadTyped(key.get(), "Rotation", platform::REG_DWORD, platform::REG_DWORD);
        data && data->size() == sizeof(std::int32_t)) {
        std::memcpy(&preferences.Rotation, data->data(), sizeof(std::int32_t));
    }
    if (auto data = ReadTyped(key.get(), "ASFile", platform::REG_SZ, platform::REG_EXPAND_SZ)) {
        std::string text(data->begin(), data->end());
        // Stored strings end in a zero, which is not part of the path.
        text.resize(std::strlen(text.c_str()));
        preferences.ASFile = text;
    }
    return preferences;
}

void SavePreferences(std::int32_t rotation) {
    platform::UniqueHKey key;
    if (platform::RegCreateKeyExA(platform::HKEY_CURRENT_USER, kPreferencesKey, 0,
                                  platform::KEY_ALL_ACCESS, key.put(),
                                  nullptr) != platform::ERROR_SUCCESS) {
        return;
    }
    platform::BYTE bytes[sizeof(rotation)];
    std::memcpy(bytes, &rotation, sizeof(rotation));
    platform::RegSetValueExA(key.get(), "Rotation", platform::REG_DWORD, bytes, sizeof(bytes));
}

}  // namespace quellin::system
