// Huffman forms of processor path 3, over the path's own block kernels.
#include "primitives/jpeg/huffman/huffman.h"

#include "primitives/core/block_kernels.h"

namespace prim::p3 {
#include "primitives/jpeg/huffman/huffman_body.inl"
} // namespace prim::p3
