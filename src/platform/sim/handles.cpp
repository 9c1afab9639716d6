#include "platform/sim/handles.h"

#include <mutex>
#include <unordered_map>

namespace quellin::platform::sim {

namespace {
std::mutex g_mutex;
std::unordered_map<const void*, std::unique_ptr<Object>>& Table() {
    static auto* table = new std::unordered_map<const void*, std::unique_ptr<Object>>();
    return *table;
}
}  // namespace

void* RegisterObject(std::unique_ptr<Object> object) {
    std::lock_guard lock(g_mutex);
    void* handle = object.get();
    Table().emplace(handle, std::move(object));
    return handle;
}

bool ReleaseObject(const void* handle) {
    std::unique_ptr<Object> doomed;
    {
        std::lock_guard lock(g_mutex);
        auto it = Table().find(handle);
        if (it == Table().end()) {
            return false;
        }
        doomed = std::move(it->second);
        Table().erase(it);
    }
    return true;  // destroyed outside the lock, so closing may itself use the table
}

Object* LookupObject(const void* handle) {
    std::lock_guard lock(g_mutex);
    auto it = Table().find(handle);
    return it == Table().end() ? nullptr : it->second.get();
}

}  // namespace quellin::platform::sim
