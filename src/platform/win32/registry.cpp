#include "platform/registry.h"

#include <vector>

#include "platform/win32/windows_api.h"

namespace quellin::platform {

namespace {

// The predefined keys are 32-bit values that the system widens with their sign.
::HKEY Native(HKEY key) {
    auto value = reinterpret_cast<std::uintptr_t>(key);
    if (value >= 0x80000000u && value <= 0x80000006u)
        return reinterpret_cast<::HKEY>(static_cast<LONG_PTR>(static_cast<LONG>(value)));
    return reinterpret_cast<::HKEY>(key);
}

HKEY Layer(::HKEY key) {
    return reinterpret_cast<HKEY>(key);
}

}  // namespace

LONG RegOpenKeyExA(HKEY key, const std::string& subKey, DWORD options, REGSAM sam, HKEY* result) {
    ::HKEY opened = nullptr;
    LONG status = ::RegOpenKeyExA(Native(key), subKey.c_str(), options, sam, &opened);
    if (result)
        *result = status == ERROR_SUCCESS ? Layer(opened) : nullptr;
    return status;
}

LONG RegCreateKeyExA(HKEY key, const std::string& subKey, DWORD options, REGSAM sam, HKEY* result,
                     DWORD* disposition) {
    ::HKEY opened = nullptr;
    ::DWORD how = 0;
    LONG status = ::RegCreateKeyExA(Native(key), subKey.c_str(), 0, nullptr, options, sam, nullptr,
                                    &opened, &how);
    if (result)
        *result = status == ERROR_SUCCESS ? Layer(opened) : nullptr;
    if (disposition && status == ERROR_SUCCESS)
        *disposition = how;
    return status;
}

LONG RegCloseKey(HKEY key) {
    return ::RegCloseKey(Native(key));
}

LONG RegQueryValueExA(HKEY key, const std::string& valueName, DWORD* type, BYTE* data,
                      DWORD* dataSize) {
    ::DWORD kind = 0;
    ::DWORD size = dataSize ? *dataSize : 0;
    LONG status = ::RegQueryValueExA(Native(key), valueName.c_str(), nullptr,
                                     type ? &kind : nullptr, data, dataSize ? &size : nullptr);
    if (type)
        *type = kind;
    if (dataSize)
        *dataSize = size;
    return status;
}

LONG RegSetValueExA(HKEY key, const std::string& valueName, DWORD type, const BYTE* data,
                    DWORD dataSize) {
    return ::RegSetValueExA(Native(key), valueName.c_str(), 0, type, data, dataSize);
}

LONG RegDeleteValueA(HKEY key, const std::string& valueName) {
    return ::RegDeleteValueA(Native(key), valueName.c_str());
}

LONG RegDeleteKeyExA(HKEY key, const std::string& subKey, REGSAM sam) {
    return ::RegDeleteKeyExA(Native(key), subKey.c_str(), sam, 0);
}

LONG RegDeleteTreeA(HKEY key, const std::string& subKey) {
    return ::RegDeleteTreeA(Native(key), native::OrNull(subKey));
}

LONG RegEnumKeyExA(HKEY key, DWORD index, std::string* name) {
    char buffer[256];
    ::DWORD length = sizeof buffer;
    LONG status =
        ::RegEnumKeyExA(Native(key), index, buffer, &length, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_SUCCESS && name)
        name->assign(buffer, length);
    return status;
}

LONG RegEnumValueA(HKEY key, DWORD index, std::string* valueName, DWORD* type, BYTE* data,
                   DWORD* dataSize) {
    std::vector<char> buffer(16384);
    ::DWORD length = static_cast<::DWORD>(buffer.size());
    ::DWORD kind = 0;
    ::DWORD size = dataSize ? *dataSize : 0;
    LONG status = ::RegEnumValueA(Native(key), index, buffer.data(), &length, nullptr,
                                  type ? &kind : nullptr, data, dataSize ? &size : nullptr);
    if (type)
        *type = kind;
    if (dataSize)
        *dataSize = size;
    if ((status == ERROR_SUCCESS || status == ERROR_MORE_DATA) && valueName)
        valueName->assign(buffer.data(), length);
    return status;
}

LONG RegSaveKeyA(HKEY key, const std::string& file) {
    return ::RegSaveKeyA(Native(key), file.c_str(), nullptr);
}

LONG RegRestoreKeyA(HKEY key, const std::string& file, DWORD flags) {
    return ::RegRestoreKeyA(Native(key), file.c_str(), flags);
}

}  // namespace quellin::platform
