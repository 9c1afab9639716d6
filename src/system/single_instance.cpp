#include "system/single_instance.h"

#include <cstdint>
#include <cstring>

#include "platform/processes.h"
#include "platform/window.h"
#include "system/errors.h"

namespace quellin::system {

namespace {

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

bool InstanceGuard::Activate(win::HWND window, int maxInstances) {
    Release();
    const std::string name = InstanceMappingName(win::GetModuleFileNameA());
    mapping_.reset(
        win::CreateFileMappingA(win::INVALID_HANDLE_VALUE, win::PAGE_READWRITE, 0, 8, name));
    if (!mapping_) {
        RaiseLastOSError();
    }
    if (win::GetLastError() != win::ERROR_ALREADY_EXISTS) {
        view_.reset(win::MapViewOfFile(mapping_.get(), win::FILE_MAP_ALL_ACCESS, 0, 0, 8));
        if (view_) {
            WriteU32(view_.get(), 0, window);
            WriteU32(view_.get(), 4, 1);
            counted_ = true;
        }
        return false;
    }
    // Another instance created the record: work on it through a handle of our own.
    mapping_.reset();
    mapping_.reset(win::OpenFileMappingA(win::FILE_MAP_ALL_ACCESS, false, name));
    if (!mapping_) {
        return true;
    }
    view_.reset(win::MapViewOfFile(mapping_.get(), win::FILE_MAP_ALL_ACCESS, 0, 0, 8));
    if (!view_) {
        return true;
    }
    std::int32_t count = ReadI32(view_.get(), 4);
    if (maxInstances > count) {
        WriteU32(view_.get(), 0, window);
        WriteU32(view_.get(), 4, static_cast<std::uint32_t>(count + 1));
        counted_ = true;
        return false;
    }
    auto previous = static_cast<win::HWND>(ReadI32(view_.get(), 0));
    if (win::IsIconic(previous)) {
        win::ShowWindow(previous, win::SW_RESTORE);
    }
    win::SetForegroundWindow(previous);
    return true;
}

void InstanceGuard::Release() {
    if (counted_ && view_) {
        WriteU32(view_.get(), 4, static_cast<std::uint32_t>(ReadI32(view_.get(), 4) - 1));
    }
    counted_ = false;
    view_.reset();
    mapping_.reset();
}

}  // namespace quellin::system
