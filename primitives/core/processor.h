// Processor detection: feature mask, processor type, path selection, cache
// size and the floating-point control helpers the primitives use.
#pragma once

#include <cstdint>
#include <emmintrin.h>

#include "primitives/core/prim_types.h"

// Feature mask bits.
enum : uint64_t {
    cpuMMX = 0x1,
    cpuSSE = 0x2,
    cpuSSE2 = 0x4,
    cpuSSE3 = 0x8,
    cpuSSSE3 = 0x10,
    cpuMOVBE = 0x20,
    cpuSSE41 = 0x40,
    cpuSSE42 = 0x80,
    cpuAVX = 0x100,
    cpuAvxEnabledByOs = 0x200,
    cpuAES = 0x400,
    cpuCLMUL = 0x800,
};

struct CpuidRegisters {
    uint32_t eax, ebx, ecx, edx;
};

struct CpuSignature {
    int32_t family, stepping, model, extendedModel, extendedFamily;
    int32_t featureEdx;
    int32_t leaf2First, leaf2Last;
    int32_t hasMmx, hasSse, hasSse2, hasHyperThreading, hasSse3, has64BitExtensions;
    int32_t hasSsse3, hasSse41, hasSse42, hasMovbe, hasAvx, hasOsxsave;
    int32_t coreCount;
};

// One (descriptor, size in bytes) pair; a table ends with descriptor 0.
struct CacheDescriptor {
    uint32_t descriptor;
    uint32_t size;
};

extern const CacheDescriptor cacheDescriptorTable[56];

// Twelve characters of the vendor whose processors describe their caches
// through leaf-2 descriptors.
constexpr char kReferenceVendor[] = "GenuineIntel";

int32_t initProcessorDispatch();
int32_t initProcessorDispatchForType(int32_t type);
int32_t getProcessorType();
int32_t getCpuFeatures(uint64_t* mask, CpuidRegisters* leaf1);
int32_t getMaxCacheSize(int32_t* size);
uint32_t setSseRoundingMode(uint32_t mode);
void restoreSseControl(uint32_t saved);
int32_t readCpuFeatureMask(uint64_t* mask);
void readCpuSignature(CpuSignature* sig);
void cpuidQuery(CpuidRegisters* regs, uint32_t leaf, uint32_t subLeaf);
int32_t hasCpuid();
uint32_t getMaxCpuidLeaf();
int32_t isExpectedCpuVendor();
int32_t cacheSizeFromDescriptors(const CacheDescriptor* table);

// Truncation toward zero; values outside the 32-bit range (and NaN) give the
// most negative 32-bit integer, as the processor's own conversion does.
inline int32_t truncateToInt(double v) { return _mm_cvttsd_si32(_mm_set_sd(v)); }

// Highest path the running processor supports, whatever was forced.
int32_t hardwareProcessorPath();

// Forgets the cached feature mask and cache size, so a test that installs a
// fake CPUID source sees its answers. Tests only.
void resetProcessorCaches();
