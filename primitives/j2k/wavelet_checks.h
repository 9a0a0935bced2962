// Argument checks and row addressing shared by the wavelet primitives.
#pragma once

#include <cstdint>
#include <type_traits>

#include "primitives/core/prim_types.h"

namespace j2k_wavelet {
namespace {

// Rows: a null among the three row pointers (-8), a step <= 0 (-14), then
// height and width <= 0 (-6).
inline int32_t checkRows(const void* a, const void* b, const void* c, int32_t stepA, int32_t stepB, int32_t stepC,
                         int32_t width, int32_t height) {
    if (!a || !b || !c)
        return primErrNullPtr;
    if (stepA <= 0 || stepB <= 0 || stepC <= 0)
        return primErrStep;
    if (height <= 0 || width <= 0)
        return primErrSize;
    return primNoErr;
}

// A column window: every row pointer non-null (-8), then the count (-6).
template <class... P>
inline int32_t checkWindow(int32_t len, const P*... rows) {
    if (((rows == nullptr) || ...))
        return primErrNullPtr;
    return len <= 0 ? primErrSize : primNoErr;
}

template <class T>
inline T* rowAt(T* base, int32_t step, int32_t r) {
    using Byte = std::conditional_t<std::is_const_v<T>, const uint8_t, uint8_t>;
    return reinterpret_cast<T*>(reinterpret_cast<Byte*>(base) + static_cast<intptr_t>(r) * step);
}

} // namespace
} // namespace j2k_wavelet
