// Huffman forms of processor path 1, over the path's own block kernels.
#include "primitives/jpeg/huffman/huffman.h"

#include "primitives/core/block_kernels.h"

namespace prim::p1 {
#include "primitives/jpeg/huffman/huffman_body.inl"
} // namespace prim::p1
