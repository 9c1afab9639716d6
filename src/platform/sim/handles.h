// The simulated kernel's handle table: a handle is the address of a live object; lookups
// check that the object is still registered and of the wanted kind, so a stale or foreign
// handle fails with ERROR_INVALID_HANDLE instead of touching freed memory.
#pragma once

#include <memory>

namespace quellin::platform::sim {

struct Object {
    virtual ~Object() = default;
};

void* RegisterObject(std::unique_ptr<Object> object);
// Removes and destroys the object; false when the handle is not live.
bool ReleaseObject(const void* handle);

Object* LookupObject(const void* handle);

template <typename T>
T* Lookup(const void* handle) {
    return dynamic_cast<T*>(LookupObject(handle));
}

}  // namespace quellin::platform::sim
