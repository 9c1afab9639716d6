#include "system/single_instance.h"

#include <cstdint>
#include <cstring>
#include <string>

#include "platform/processes.h"
#include "platform/shared_memory.h"
#include "platform/window.h"
#include "system/errors.h"

namespace quellin::system {

namespace {

struct GuardState {
    platform::HANDLE mapping = nullptr;
    void* view = nullptr;
    std::string name;
    bool counted = true;
    bool released = false;
};

GuardState g_guard;

void WriteU32(void* view, std::size_t offset, std::uint32_t value) {
    std::memcpy(static_cast<char*>(view) + offset, &value, 4);
}

std::int32_t ReadI32(const void* view, std::size_t offset) {
    std::int32_t value;
    std::memcpy(&value, static_cast<const char*>(view) + offset, 4);
    return value;
}

}  // namespace

std::string InstanceMappingName(const std::string& executablePath) {
    std::string name;
    for (char c : executablePath) {
        if (c != '\\')
            name += c;
    }
    return name;
}

bool ActivatePreviousInstance(platform::HWND window, int maxInstances) {
    g_guard = GuardState{};
    g_guard.name = InstanceMappingName(platform::GetModuleFileNameA());
    g_guard.mapping = platform::CreateFileMappingA(platform::INVALID_HANDLE_VALUE,
                                                   platform::PAGE_READWRITE, 0, 8, g_guard.name);
    if (!g_guard.mapping) {
        RaiseLastOSError();
    }
    if (platform::GetLastError() != platform::ERROR_ALREADY_EXISTS) {
        g_guard.view =
            platform::MapViewOfFile(g_guard.mapping, platform::FILE_MAP_ALL_ACCESS, 0, 0, 8);
        if (g_guard.view) {
            WriteU32(g_guard.view, 0, window);
            WriteU32(g_guard.view, 4, 1);
        }
        return false;
    }
    // Another instance created the record: work on it through a handle of our own.
    platform::CloseHandle(g_guard.mapping);
    g_guard.mapping =
        platform::OpenFileMappingA(platform::FILE_MAP_ALL_ACCESS, false, g_guard.name);
    if (!g_guard.mapping) {
        g_guard.counted = false;
        return true;
    }
    g_guard.view = platform::MapViewOfFile(g_guard.mapping, platform::FILE_MAP_ALL_ACCESS, 0, 0, 8);
    if (!g_guard.view) {
        g_guard.counted = false;
        return true;
    }
    std::int32_t count = ReadI32(g_guard.view, 4);
    if (maxInstances > count) {
        WriteU32(g_guard.view, 0, window);
        WriteU32(g_guard.view, 4, static_cast<std::uint32_t>(count + 1));
        return false;
    }
    g_guard.counted = false;
    auto previous = static_cast<platform::HWND>(ReadI32(g_guard.view, 0));
    if (platform::IsIconic(previous)) {
        platform::ShowWindow(previous, platform::SW_RESTORE);
    }
    platform::SetForegroundWindow(previous);
    return true;
}

void ReleasePreviousInstance() {
    if (g_guard.released || g_guard.name.empty()) {
        return;
    }
    g_guard.released = true;
    if (g_guard.counted && g_guard.view) {
        WriteU32(g_guard.view, 4, static_cast<std::uint32_t>(ReadI32(g_guard.view, 4) - 1));
    }
    if (g_guard.view) {
        platform::UnmapViewOfFile(g_guard.view);
        g_guard.view = nullptr;
    }
    if (g_guard.mapping) {
        platform::CloseHandle(g_guard.mapping);
        g_guard.mapping = nullptr;
    }
    g_guard.name.clear();
}

}  // namespace quellin::system
