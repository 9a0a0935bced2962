// Processor-path dispatch. Every public primitive is a one-line lookup in a
// six-entry table of its forms, indexed by the path chosen once at start-up:
// 0 generic, 1 SSE2, 2 SSE3, 3 SSSE3, 4 SSE4.1, 5 AVX-capable.
//
// How a family is laid out:
//   - the generic form and any templates live in the family's header;
//   - each path's forms live in files named <family>_p<N>.cpp, compiled with
//     that path's instruction-set flag only, inside namespace prim::p<N>;
//     templates shared by several paths are instantiated in each path's own
//     namespace so no path's instructions leak into another's code. Path
//     files use no standard-library templates that could be emitted out of
//     line (std::min, std::vector ...): only plain code and intrinsics;
//   - a path that behaves exactly like another points at the same body;
//   - the table is `const Fn name##Table[6]`, declared in the family header
//     so tests can call entry k directly.
#pragma once

#include <cstdint>

// The chosen path; 0 until initProcessorDispatch runs, then fixed.
extern int32_t processorDispatchIndex;

constexpr int kProcessorPathCount = 6;

// The form of a primitive for the current path.
#define VQ_DISPATCH(table) ((table)[processorDispatchIndex])

// A table whose six entries are one body.
#define VQ_ONE_BODY(fn) { fn, fn, fn, fn, fn, fn }
