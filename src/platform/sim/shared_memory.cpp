// Named mappings are files in the sandbox's "objects" folder. Every handle holds a shared lock
// on its file; the first creator takes an exclusive lock to initialise it. A file whose lock
// nobody holds is left over from processes that ended, so it counts as absent, just as a
// Windows mapping disappears with its last handle.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <mutex>
#include <thread>

#include "platform/processes.h"
#include "platform/shared_memory.h"
#include "platform/sim/handles.h"
#include "platform/sim/sandbox.h"

namespace quellin::platform {

namespace {

struct MappingObject : sim::Object {
    int fd = -1;
    std::size_t size = 0;
    ~MappingObject() override {
        if (fd >= 0)
            ::close(fd);  // closing drops the shared lock
    }
};

std::mutex g_viewMutex;
std::map<const void*, std::size_t>& Views() {
    static auto* views = new std::map<const void*, std::size_t>();
    return *views;
}

std::string ObjectPath(const std::string& name) {
    static const char* hex = "0123456789abcdef";
    std::string encoded;
    for (unsigned char c : name) {
        encoded += hex[c >> 4];
        encoded += hex[c & 15];
    }
    auto folder = sim::SandboxRoot() / "objects";
    ::mkdir(folder.c_str(), 0777);
    return (folder / ("mapping-" + encoded.substr(0, 200))).string();
}

HANDLE Wrap(int fd, std::size_t size) {
    auto mapping = std::make_unique<MappingObject>();
    mapping->fd = fd;
    mapping->size = size;
    return static_cast<HANDLE>(sim::RegisterObject(std::move(mapping)));
}

}  // namespace

HANDLE CreateFileMappingA(HANDLE file, DWORD protect, DWORD sizeHigh, DWORD sizeLow,
                          const std::string& name) {
    if (file != INVALID_HANDLE_VALUE || protect != PAGE_READWRITE || sizeHigh != 0 ||
        sizeLow == 0 || name.empty() || name.find('\\') != std::string::npos) {
        SetLastError(name.find('\\') != std::string::npos ? ERROR_PATH_NOT_FOUND
                                                          : ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    int fd = ::open(ObjectPath(name).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
        // Nobody holds it: a new mapping, zero-filled.
        if (::ftruncate(fd, 0) != 0 || ::ftruncate(fd, sizeLow) != 0) {
            ::close(fd);
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
        ::flock(fd, LOCK_SH);
        SetLastError(ERROR_SUCCESS);
        return Wrap(fd, sizeLow);
    }
    ::flock(fd, LOCK_SH);
    struct stat st;
    ::fstat(fd, &st);
    SetLastError(ERROR_ALREADY_EXISTS);
    return Wrap(fd, static_cast<std::size_t>(st.st_size));
}

HANDLE OpenFileMappingA(DWORD, BOOL, const std::string& name) {
    int fd = ::open(ObjectPath(name).c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return nullptr;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
        ::close(fd);  // a leftover that no live process holds
        SetLastError(ERROR_FILE_NOT_FOUND);
        return nullptr;
    }
    ::flock(fd, LOCK_SH);
    struct stat st;
    ::fstat(fd, &st);
    SetLastError(ERROR_SUCCESS);
    return Wrap(fd, static_cast<std::size_t>(st.st_size));
}

void* MapViewOfFile(HANDLE mapping, DWORD, DWORD offsetHigh, DWORD offsetLow, std::size_t bytes) {
    auto* object = sim::Lookup<MappingObject>(mapping);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    std::size_t size = bytes ? bytes : object->size;
    if (offsetHigh != 0 || offsetLow != 0 || size > object->size || size == 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    void* view = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, object->fd, 0);
    if (view == MAP_FAILED) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    std::lock_guard lock(g_viewMutex);
    Views()[view] = size;
    return view;
}

BOOL UnmapViewOfFile(const void* view) {
    std::size_t size = 0;
    {
        std::lock_guard lock(g_viewMutex);
        auto it = Views().find(view);
        if (it == Views().end()) {
            SetLastError(ERROR_INVALID_ADDRESS);
            return false;
        }
        size = it->second;
        Views().erase(it);
    }
    ::munmap(const_cast<void*>(view), size);
    return true;
}

// A named mutex is a file beside the mappings; owning it is holding an exclusive lock on it
// through the handle's own open file, so two handles in one process exclude each other as two
// processes do, and a process that ends releases what it held, as Windows abandons it.
namespace {

struct MutexObject : sim::Object {
    int fd = -1;
    bool owned = false;
    ~MutexObject() override {
        if (fd >= 0)
            ::close(fd);
    }
};

}  // namespace

HANDLE CreateMutexA(const std::string& name) {
    if (name.empty()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    int fd = ::open(ObjectPath("mutex:" + name).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    auto mutex = std::make_unique<MutexObject>();
    mutex->fd = fd;
    SetLastError(ERROR_SUCCESS);
    return static_cast<HANDLE>(sim::RegisterObject(std::move(mutex)));
}

DWORD WaitForMutex(HANDLE handle, DWORD milliseconds) {
    auto* mutex = sim::Lookup<MutexObject>(handle);
    if (!mutex) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    if (mutex->owned)
        return WAIT_OBJECT_0;  // a Windows mutex is re-entered by its owner
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        if (::flock(mutex->fd, LOCK_EX | LOCK_NB) == 0) {
            mutex->owned = true;
            return WAIT_OBJECT_0;
        }
        if (milliseconds != INFINITE && std::chrono::steady_clock::now() >= deadline)
            return WAIT_TIMEOUT;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

BOOL ReleaseMutex(HANDLE handle) {
    auto* mutex = sim::Lookup<MutexObject>(handle);
    if (!mutex || !mutex->owned) {
        SetLastError(mutex ? ERROR_NOT_OWNER : ERROR_INVALID_HANDLE);
        return false;
    }
    ::flock(mutex->fd, LOCK_UN);
    mutex->owned = false;
    return true;
}

}  // namespace quellin::platform
