// Move-only owners for handles that are released by a single call.
#pragma once

#include <utility>

#include "platform/types.h"

namespace quellin::platform {

template <typename H, auto Close, auto Invalid>
class UniqueResource {
  public:
    UniqueResource() = default;
    explicit UniqueResource(H h) : h_(h) {}
    UniqueResource(UniqueResource&& other) noexcept : h_(std::exchange(other.h_, Invalid())) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept {
        if (this != &other) {
            reset();
            h_ = std::exchange(other.h_, Invalid());
        }
        return *this;
    }
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;
    ~UniqueResource() { reset(); }

    H get() const { return h_; }
    H* put() {
        reset();
        return &h_;
    }
    H release() { return std::exchange(h_, Invalid()); }
    bool valid() const { return h_ != Invalid() && h_ != H{}; }
    explicit operator bool() const { return valid(); }
    void reset(H h = Invalid()) {
        if (valid()) {
            Close(h_);
        }
        h_ = h;
    }

  private:
    H h_ = Invalid();
};

// The failure value of handle types that Windows reports as null.
template <typename H>
H NullOf() {
    return nullptr;
}

inline HANDLE NullHandle() {
    return nullptr;
}
inline HANDLE InvalidHandle() {
    return INVALID_HANDLE_VALUE;
}

// Handles whose failure value is null (tokens, processes, mappings).
using UniqueHandle = UniqueResource<HANDLE, CloseHandle, NullHandle>;
// Handles whose failure value is INVALID_HANDLE_VALUE (CreateFileA).
using UniqueFileHandle = UniqueResource<HANDLE, CloseHandle, InvalidHandle>;

}  // namespace quellin::platform
