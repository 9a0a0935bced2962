// Row addressing shared by the image primitives: a row step is a signed byte
// distance, so row y of an image starts y x step bytes from its first row.
// Internal linkage on purpose: every translation unit (generic or path) keeps
// its own copy, compiled with its own instruction set.
#pragma once

#include <cstddef>
#include <cstdint>

namespace {

template <class T>
inline T* rowAt(T* origin, int64_t y, int32_t step) {
    return reinterpret_cast<T*>(reinterpret_cast<uintptr_t>(origin) + static_cast<uintptr_t>(y * step));
}

// Typed pixel pointers as the byte pointers that the forms take.
template <class T>
inline const uint8_t* bytes(const T* p) { return reinterpret_cast<const uint8_t*>(p); }
template <class T>
inline uint8_t* bytes(T* p) { return reinterpret_cast<uint8_t*>(p); }

} // namespace
