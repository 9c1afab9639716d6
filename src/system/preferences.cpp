#include "system/preferences.h"

#include <cstring>
#include <optional>
#include <vector>

#include "platform/registry.h"

namespace quellin::system {

namespace {

// Value bytes of `name` when it has type `wantedType` (or `otherType`, for strings).
std::optional<std::vector<win::BYTE>> ReadTyped(win::HKEY key, const std::string& name,
                                                win::DWORD wantedType, win::DWORD otherType) {
    win::DWORD type = 0;
    win::DWORD size = 0;
    if (win::RegQueryValueExA(key, name, &type, nullptr, &size) != win::ERROR_SUCCESS)
        return std::nullopt;
    if (type != wantedType && type != otherType)
        return std::nullopt;
    std::vector<win::BYTE> data(size);
    if (win::RegQueryValueExA(key, name, &type, data.data(), &size) != win::ERROR_SUCCESS)
        return std::nullopt;
    data.resize(size);
    return data;
}

}  // namespace

Preferences LoadPreferences() {
    Preferences preferences;
    win::UniqueHKey key;
    if (win::RegOpenKeyExA(win::HKEY_CURRENT_USER, kPreferencesKey, 0, win::KEY_READ, key.put()) !=
        win::ERROR_SUCCESS) {
        return preferences;
    }
    if (auto data = ReadTyped(key.get(), "Rotation", win::REG_DWORD, win::REG_DWORD);
        data && data->size() == sizeof(std::int32_t)) {
        std::memcpy(&preferences.Rotation, data->data(), sizeof(std::int32_t));
    }
    if (auto data = ReadTyped(key.get(), "ASFile", win::REG_SZ, win::REG_EXPAND_SZ)) {
        std::string text(data->begin(), data->end());
        // Stored strings end in a zero, which is not part of the path.
        text.resize(std::strlen(text.c_str()));
        preferences.ASFile = text;
    }
    return preferences;
}

void SavePreferences(std::int32_t rotation) {
    win::UniqueHKey key;
    if (win::RegCreateKeyExA(win::HKEY_CURRENT_USER, kPreferencesKey, 0, win::KEY_ALL_ACCESS,
                             key.put(), nullptr) != win::ERROR_SUCCESS) {
        return;
    }
    win::BYTE bytes[sizeof(rotation)];
    std::memcpy(bytes, &rotation, sizeof(rotation));
    win::RegSetValueExA(key.get(), "Rotation", win::REG_DWORD, bytes, sizeof(bytes));
}

}  // namespace quellin::system
