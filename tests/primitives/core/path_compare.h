// Path comparison drivers for the data movement primitives: every path the
// processor supports is run against the generic path over the harness's
// random sizes, alignments, gaps and step signs, and must leave identical
// bytes (region and gaps) and return the same status.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <random>

#include "platform/cpu.h"
#include "primitives/core/processor.h"
#include "support/path_harness.h"

namespace vqtest {

// call(path, src, dst, case) -> status. Source `srcBpp` and destination
// `dstBpp` bytes per pixel.
template <class Call>
void expectPathsMatchSrcDst(int srcBpp, int dstBpp, Call call, uint32_t seed, int count = 96, int maxSize = 70) {
    for (int path : supportedPaths()) {
        for (const SweepCase& c : sweepCases(seed + path, count, maxSize)) {
            GuardedImage src(c.width * srcBpp, c.height, c.srcAlign, c.srcGap, c.srcNegative);
            GuardedImage ref(c.width * dstBpp, c.height, c.dstAlign, c.dstGap, c.dstNegative);
            GuardedImage out(c.width * dstBpp, c.height, c.dstAlign, c.dstGap, c.dstNegative);
            std::mt19937 rng(seed ^ (c.width * 131 + c.height));
            src.fillRandom(rng);
            ref.fillRandom(rng);
            out.copyAllFrom(ref);
            const int32_t want = call(0, src, ref, c);
            const int32_t got = call(path, src, out, c);
            ASSERT_EQ(got, want) << pathName(path) << " " << c.describe();
            ASSERT_TRUE(ref.guardsIntact()) << "generic " << c.describe();
            ASSERT_TRUE(src.guardsIntact()) << pathName(path) << " " << c.describe();
            ASSERT_TRUE(out.sameAllAs(ref)) << pathName(path) << " " << c.describe();
        }
    }
}

// call(path, image, case) -> status, for primitives that work in place.
template <class Call>
void expectPathsMatchInPlace(int bpp, Call call, uint32_t seed, int count = 96, int maxSize = 70) {
    for (int path : supportedPaths()) {
        for (const SweepCase& c : sweepCases(seed + path, count, maxSize)) {
            GuardedImage ref(c.width * bpp, c.height, c.dstAlign, c.dstGap, c.dstNegative);
            GuardedImage out(c.width * bpp, c.height, c.dstAlign, c.dstGap, c.dstNegative);
            std::mt19937 rng(seed ^ (c.width * 131 + c.height));
            ref.fillRandom(rng);
            out.copyAllFrom(ref);
            const int32_t want = call(0, ref, c);
            const int32_t got = call(path, out, c);
            ASSERT_EQ(got, want) << pathName(path) << " " << c.describe();
            ASSERT_TRUE(ref.guardsIntact()) << "generic " << c.describe();
            ASSERT_TRUE(out.sameAllAs(ref)) << pathName(path) << " " << c.describe();
        }
    }
}

// A processor of the reference vendor whose leaf-2 descriptors name one cache
// (leaf 4 absent), so both the cached largest cache size and the long-block
// lookup of the block kernels see that size. Installed for the lifetime of
// the object; the processor caches are forgotten on both ends.
class FakeCacheCpu : public vq::platform::CpuidSource {
public:
    explicit FakeCacheCpu(uint8_t descriptor, const char* vendor = "GenuineIntel") {
        std::memcpy(vendor_, vendor, 12);
        descriptor_ = descriptor;
        vq::platform::setCpuidSource(this);
        resetProcessorCaches();
    }
    ~FakeCacheCpu() override {
        vq::platform::setCpuidSource(nullptr);
        resetProcessorCaches();
    }
    bool hasCpuid() override { return true; }
    vq::platform::CpuidResult cpuid(uint32_t leaf, uint32_t) override {
        vq::platform::CpuidResult r;
        if (leaf == 0) {
            r.eax = 2;
            std::memcpy(&r.ebx, vendor_, 4);
            std::memcpy(&r.edx, vendor_ + 4, 4);
            std::memcpy(&r.ecx, vendor_ + 8, 4);
        } else if (leaf == 1) {
            // Whatever the real processor has, so paths stay runnable.
            r = vq::platform::hardwareCpuidSource().cpuid(1, 0);
        } else if (leaf == 2) {
            r.eax = 0x01u | (uint32_t(descriptor_) << 8);
        }
        return r;
    }
    uint64_t xgetbv(uint32_t index) override { return vq::platform::hardwareCpuidSource().xgetbv(index); }

private:
    char vendor_[12];
    uint8_t descriptor_;
};

} // namespace vqtest
