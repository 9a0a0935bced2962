// SSE2 forms of the vector primitives.
#define VQ_PATH_LEVEL 1
#define VQ_PATH_NS p1
#include "primitives/core/simd_path.h"

#include "primitives/vector/copy.h"
#include "primitives/vector/lanes.h"

namespace prim::p1 {
#include "primitives/vector/copy_forms.inl"
} // namespace prim::p1

#include "primitives/vector/add_sub_simd.inl"
#include "primitives/vector/const_shift_simd.inl"
#include "primitives/vector/bitwise_simd.inl"
#include "primitives/vector/threshold_simd.inl"
#include "primitives/vector/convert_simd.inl"
#include "primitives/vector/convert_sets_simd.inl"
