#include "system/single_instance.h"

#include <cstdint>
#include <cstring>

#include "platform/filesystem.h"
#include "platform/processes.h"
#include "platform/text.h"
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

// The long form of a path while it exists, else the path as given.
std::string LongPathOf(const std::string& path) {
    std::string longPath;
    const win::DWORD needed = win::GetLongPathNameA(path, 0, nullptr);
    if (needed > 0 && win::GetLongPathNameA(path, needed, &longPath) > 0 &&
        longPath.size() < needed)
        return longPath;
    return path;
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

std::string InstanceRecordName(const std::string& executablePath) {
    return InstanceMappingName(win::UpperAnsi(LongPathOf(executablePath)));
}

bool WindowOfProgram(win::HWND window, const std::string& executablePath) {
    win::DWORD processId = 0;
    if (window == 0 || win::GetWindowThreadProcessId(window, &processId) == 0 || processId == 0)
        return false;
    win::UniqueHandle process(
        win::OpenProcess(win::PROCESS_QUERY_LIMITED_INFORMATION, false, processId));
    std::string image;
    if (!process || !win::QueryFullProcessImageNameA(process.get(), 0, &image))
        return false;
    return win::SameName(LongPathOf(image), LongPathOf(executablePath));
}

bool InstanceGuard::Activate(win::HWND window, int maxInstances) {
    Release();
    const std::string image = win::GetModuleFileNameA();
    namespace_ = std::make_unique<AdministratorsNamespace>();
    std::string name = InstanceRecordName(image);
    if (namespace_->Valid()) {
        // One record per session, as each session has its own windows.
        win::DWORD session = 0;
        win::ProcessIdToSessionId(win::GetCurrentProcessId(), &session);
        name =
            AdministratorsNamespace::ObjectName("Instance." + std::to_string(session) + "." + name);
    } else if (namespace_->Error() == win::ERROR_ACCESS_DENIED) {
        Release();
        return false;
    } else if (namespace_->Error() != win::ERROR_CALL_NOT_IMPLEMENTED) {
        RaiseOSError(namespace_->Error());
    }
    // Without private namespaces (Wine) the record is a session object that only
    // administrators may open; a same-named object that refuses us, or is no mapping, was made
    // by someone else and is ignored.
    const win::SECURITY_ATTRIBUTES attributes{kAdministratorsOnly};
    mapping_.reset(win::CreateFileMappingA(win::INVALID_HANDLE_VALUE, &attributes,
                                           win::PAGE_READWRITE, 0, 8, name));
    if (!mapping_) {
        const win::DWORD error = win::GetLastError();
        if (!namespace_->Valid() &&
            (error == win::ERROR_ACCESS_DENIED || error == win::ERROR_INVALID_HANDLE)) {
            Release();
            return false;
        }
        RaiseOSError(error);
    }
    const bool existed = win::GetLastError() == win::ERROR_ALREADY_EXISTS;
    view_.reset(win::MapViewOfFile(mapping_.get(), win::FILE_MAP_ALL_ACCESS, 0, 0, 8));
    if (!view_) {
        return existed;
    }
    if (!existed) {
        WriteU32(view_.get(), 0, window);
        WriteU32(view_.get(), 4, 1);
        counted_ = true;
        return false;
    }
    std::int32_t count = ReadI32(view_.get(), 4);
    if (maxInstances > count) {
        WriteU32(view_.get(), 0, window);
        WriteU32(view_.get(), 4, static_cast<std::uint32_t>(count + 1));
        counted_ = true;
        return false;
    }
    // Only a window of this same program is shown or raised: a handle outlives its window and
    // is then reused by any other process.
    const auto previous = static_cast<win::HWND>(ReadI32(view_.get(), 0));
    if (WindowOfProgram(previous, image)) {
        if (win::IsIconic(previous)) {
            win::ShowWindow(previous, win::SW_RESTORE);
        }
        win::SetForegroundWindow(previous);
    } else if (!namespace_->Valid()) {
        Release();  // outside the namespace, a record whose window is not ours is not ours
        return false;
    }
    return true;
}

void InstanceGuard::Publish(win::HWND window) {
    if (counted_ && view_)
        WriteU32(view_.get(), 0, window);
}

void InstanceGuard::Release() {
    if (counted_ && view_) {
        WriteU32(view_.get(), 4, static_cast<std::uint32_t>(ReadI32(view_.get(), 4) - 1));
    }
    counted_ = false;
    view_.reset();
    mapping_.reset();
    namespace_.reset();
}

}  // namespace quellin::system
