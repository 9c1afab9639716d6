#include "system/check_previous.h"

#include <cstdint>
#include <cstring>
#include <string>

#include "platform/processes.h"
#include "platform/sharedmemory.h"
#include "platform/window.h"
#include "system/errors.h"

namespace quellin::system {

namespace {

struct GuardState {
    win::HANDLE mapping = nullptr;
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

bool ActivatePreviousInstance(win::HWND window, int maxInstances) {
    g_guard = GuardState{};
    g_guard.name = InstanceMappingName(win::GetModuleFileNameA());
    g_guard.mapping =
        win::CreateFileMappingA(win::INVALID_HANDLE_VALUE, win::PAGE_READWRITE, 0, 8, g_guard.name);
    if (!g_guard.mapping) {
        RaiseLastOSError();
    }
    if (win::GetLastError() != win::ERROR_ALREADY_EXISTS) {
        g_guard.view = win::MapViewOfFile(g_guard.mapping, win::FILE_MAP_ALL_ACCESS, 0, 0, 8);
        if (g_guard.view) {
            WriteU32(g_guard.view, 0, window);
            WriteU32(g_guard.view, 4, 1);
        }
        return false;
    }
    // Another instance created the record: work on it through a handle of our own.
    win::CloseHandle(g_guard.mapping);
    g_guard.mapping = win::OpenFileMappingA(win::FILE_MAP_ALL_ACCESS, false, g_guard.name);
    if (!g_guard.mapping) {
        g_guard.counted = false;
        return true;
    }
    g_guard.view = win::MapViewOfFile(g_guard.mapping, win::FILE_MAP_ALL_ACCESS, 0, 0, 8);
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
    auto previous = static_cast<win::HWND>(ReadI32(g_guard.view, 0));
    if (win::IsIconic(previous)) {
        win::ShowWindow(previous, win::SW_RESTORE);
    }
    win::SetForegroundWindow(previous);
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
        win::UnmapViewOfFile(g_guard.view);
        g_guard.view = nullptr;
    }
    if (g_guard.mapping) {
        win::CloseHandle(g_guard.mapping);
        g_guard.mapping = nullptr;
    }
    g_guard.name.clear();
}

}  // namespace quellin::system
