// Ownership of xcb's malloc'd replies and errors, so that no early return leaks one.
#pragma once

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>

namespace tallowmere::x11 {

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};

template <typename T>
using XcbPtr = std::unique_ptr<T, FreeDeleter>;

// Takes ownership of a reply (or error) that xcb handed over.
template <typename T>
XcbPtr<T> own(T* p) {
    return XcbPtr<T>(p);
}

}  // namespace tallowmere::x11
