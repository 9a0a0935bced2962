// The primitive layer's aligned allocator: blocks start on a 32-byte boundary
// and image buffers have row steps that are multiples of 32 bytes.
#pragma once

#include <cstdint>

#include "primitives/core/dispatch.h"

void* alignedMalloc(int32_t size);
void alignedFree(void* block);

uint8_t* allocVector8u(int32_t n);
int16_t* allocVector16s(int32_t n);
int32_t* allocVector32s(int32_t n);
void freeVector(void* block);
void freeImage(void* block);

uint8_t* allocImage8uC1(int32_t width, int32_t height, int32_t* step);
uint8_t* allocImage8uC3(int32_t width, int32_t height, int32_t* step);
uint8_t* allocImage8uC4(int32_t width, int32_t height, int32_t* step);
uint16_t* allocImage16uC1(int32_t width, int32_t height, int32_t* step);
uint16_t* allocImage16uC3(int32_t width, int32_t height, int32_t* step);

using AllocVector8uFn = uint8_t* (*)(int32_t);
using FreeBlockFn = void (*)(void*);
using AllocImage8uFn = uint8_t* (*)(int32_t, int32_t, int32_t*);
using AllocImage16uFn = uint16_t* (*)(int32_t, int32_t, int32_t*);

extern const AllocVector8uFn allocVector8uTable[6];
extern const FreeBlockFn freeVectorTable[6];
extern const FreeBlockFn freeImageTable[6];
extern const AllocImage8uFn allocImage8uC1Table[6];
extern const AllocImage8uFn allocImage8uC3Table[6];
extern const AllocImage8uFn allocImage8uC4Table[6];
extern const AllocImage16uFn allocImage16uC1Table[6];
extern const AllocImage16uFn allocImage16uC3Table[6];

namespace prim::generic {
uint8_t* allocVector8u(int32_t n);
void freeBlock(void* block);
} // namespace prim::generic

// Underlying allocator; holds the C runtime's functions. Tests may replace
// them to see failures.
using UnderlyingAlloc = void* (*)(std::size_t);
using UnderlyingFree = void (*)(void*);
extern UnderlyingAlloc primUnderlyingAlloc;
extern UnderlyingFree primUnderlyingFree;
