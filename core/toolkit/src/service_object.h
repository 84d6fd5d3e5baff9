// Service objects: one heap block whose first field is the object's own destroy routine.
//
// The routine doubles as the type tag: an operation accepts a handle only when it is not null
// and its first field is the destroy routine of the expected type. A destroy routine releases
// what the object owns and wipes the secrets inside the object; it never frees the block.
#pragma once

#include <cstddef>

namespace qor::toolkit {

using DestroyRoutine = void (*)(void* object);

// The common head of every service object.
struct ServiceHeader {
    DestroyRoutine destroy;
};

// Allocates a zero-filled block of `size` bytes with `destroy` stored in its first field.
// Returns null when memory is short.
void* AllocateObject(size_t size, DestroyRoutine destroy);

// If *handle is not null: runs the object's destroy routine, wipes and frees the block and
// sets *handle to null. A null handle is ignored, so destroying twice is harmless.
void ReleaseObject(void** handle);

// True when `handle` is a live object of the type whose destroy routine is `destroy`.
inline bool HasTag(const void* handle, DestroyRoutine destroy) {
    return handle != nullptr && static_cast<const ServiceHeader*>(handle)->destroy == destroy;
}

// Typed helpers for objects whose first member is the DestroyRoutine.
template <typename T>
T* AllocateObject(DestroyRoutine destroy) {
    return static_cast<T*>(AllocateObject(sizeof(T), destroy));
}

template <typename T>
void ReleaseObject(T** handle) {
    void* h = *handle;
    ReleaseObject(&h);
    *handle = nullptr;
}

}  // namespace qor::toolkit
