// Bitwise kernels of the path sets against the element rule: every count
// 1..40 and 129, every destination and source offset, guards untouched,
// high constant bits ignored, destinations equal to a source.
#include <gtest/gtest.h>

#include "primitives/vector/bitwise.h"
#include "vector_harness.h"

namespace {

using vqtest::GuardedImage;

enum Form { kConstInPlace, kConst, kVecInPlace, kVec };

struct BitKernel {
    std::string name;
    int size, op;  // op: 0 and, 1 or, 2 xor
    Form form;
    // Paths holding the member; the call (a, b, value, dst, n) maps onto the
    // member's own argument order.
    std::vector<int> paths;
    std::function<void(int path, const void* a, const void* b, int32_t value, void* dst, int32_t n)> call;
};

template <class T>
T* as(void* p) {
    return static_cast<T*>(p);
}
template <class T>
const T* as(const void* p) {
    return static_cast<const T*>(p);
}

#define VQ_FORMS6(fn) {nullptr, prim::p1::fn, prim::p2::fn, prim::p3::fn, prim::p4::fn, prim::p5::fn}
#define VQ_FORMS_NO(fn, missing)                                                                  \
    {nullptr,                                                                                     \
     (missing) == 1 ? nullptr : prim::p1::fn, (missing) == 2 ? nullptr : prim::p2::fn, prim::p3::fn, \
     prim::p4::fn, prim::p5::fn}

std::vector<BitKernel> allKernels() {
    std::vector<BitKernel> v;
#define VQ_ROWS(op, opIndex, sfx, T, missing)                                                                   \
    v.push_back({#op "VectorConstInPlace" #sfx, sizeof(T), opIndex, kConstInPlace, {1, 2, 3, 4, 5},             \
                 [](int p, const void*, const void*, int32_t value, void* d, int32_t n) {                      \
                     decltype(&prim::p1::op##VectorConstInPlace##sfx) f[6] = VQ_FORMS6(op##VectorConstInPlace##sfx); \
                     f[p](value, as<T>(d), n);                                                                 \
                 }});                                                                                          \
    v.push_back({#op "VectorConst" #sfx, sizeof(T), opIndex, kConst, {1, 2, 3, 4, 5},                           \
                 [](int p, const void* a, const void*, int32_t value, void* d, int32_t n) {                    \
                     decltype(&prim::p1::op##VectorConst##sfx) f[6] = VQ_FORMS6(op##VectorConst##sfx);         \
                     f[p](as<T>(a), value, as<T>(d), n);                                                       \
                 }});                                                                                          \
    v.push_back({#op "VectorInPlace" #sfx, sizeof(T), opIndex, kVecInPlace, {},                                 \
                 [](int p, const void* a, const void*, int32_t, void* d, int32_t n) {                          \
                     decltype(&prim::p1::op##VectorInPlace##sfx) f[6] = VQ_FORMS_NO(op##VectorInPlace##sfx, missing); \
                     f[p](as<T>(a), as<T>(d), n);                                                              \
                 }});                                                                                          \
    v.push_back({#op "Vector" #sfx, sizeof(T), opIndex, kVec, {},                                               \
                 [](int p, const void* a, const void* b, int32_t, void* d, int32_t n) {                        \
                     decltype(&prim::p1::op##Vector##sfx) f[6] = VQ_FORMS_NO(op##Vector##sfx, missing);        \
                     f[p](as<T>(a), as<T>(b), as<T>(d), n);                                                    \
                 }});                                                                                          \
    for (int p = 1; p <= 5; ++p)                                                                                \
        if (p != (missing)) {                                                                                   \
            v[v.size() - 1].paths.push_back(p);                                                                 \
            v[v.size() - 2].paths.push_back(p);                                                                 \
        }
#define VQ_OP_ROWS(op, opIndex)              \
    VQ_ROWS(op, opIndex, 8u, uint8_t, 2)     \
    VQ_ROWS(op, opIndex, 16u, uint16_t, 2)   \
    VQ_ROWS(op, opIndex, 32s, int32_t, 1)
    VQ_OP_ROWS(and, 0)
    VQ_OP_ROWS(or, 1)
    VQ_OP_ROWS(xor, 2)
#undef VQ_OP_ROWS
#undef VQ_ROWS
    return v;
}

uint64_t element(const void* p, int size, int i) {
    if (size == 1)
        return vqtest::getAt<uint8_t>(p, i);
    if (size == 2)
        return vqtest::getAt<uint16_t>(p, i);
    return vqtest::getAt<uint32_t>(p, i);
}

uint64_t apply(int op, uint64_t a, uint64_t b) { return op == 0 ? (a & b) : (op == 1 ? (a | b) : (a ^ b)); }

TEST(VectorBitwise, EveryMemberGivesTheElementRule) {
    std::vector<int> counts = vqtest::lengthsUpTo(40, {129});
    for (const BitKernel& k : allKernels())
        for (int path : k.paths) {
            if (path > vqtest::allPaths().back())
                continue;
            for (int n : counts)
                for (int off = 0; off < 16; ++off) {
                    const int bytes = n * k.size;
                    GuardedImage a(bytes, 1, (off * 3 + 1) % 16), b(bytes, 1, (off * 7 + 2) % 16), d(bytes, 1, off);
                    std::mt19937 rng(n * 16 + off);
                    a.fillRandom(rng);
                    b.fillRandom(rng);
                    d.fillRandom(rng);
                    // High bits beyond the element width must not count.
                    const int32_t value = static_cast<int32_t>(rng()) | (k.size < 4 ? 0x7F000000 : 0);
                    const uint64_t mask = k.size == 4 ? 0xFFFFFFFFu : ((1u << (8 * k.size)) - 1);
                    std::vector<uint64_t> want(n);
                    for (int i = 0; i < n; ++i) {
                        const uint64_t x = element(a.origin(), k.size, i);
                        switch (k.form) {
                        case kConstInPlace:
                            want[i] = apply(k.op, element(d.origin(), k.size, i), uint32_t(value) & mask);
                            break;
                        case kConst:
                            want[i] = apply(k.op, x, uint32_t(value) & mask);
                            break;
                        case kVecInPlace:
                            want[i] = apply(k.op, x, element(d.origin(), k.size, i));
                            break;
                        case kVec:
                            want[i] = apply(k.op, x, element(b.origin(), k.size, i));
                            break;
                        }
                    }
                    k.call(path, a.origin(), b.origin(), value, d.origin(), n);
                    for (int i = 0; i < n; ++i)
                        ASSERT_EQ(element(d.origin(), k.size, i), want[i])
                            << k.name << " " << vqtest::pathName(path) << " n " << n << " off " << off << " at " << i;
                    ASSERT_TRUE(d.guardsIntact()) << k.name << " " << vqtest::pathName(path) << " n " << n;
                    ASSERT_TRUE(a.guardsIntact() && b.guardsIntact());
                }
        }
}

// A destination that is a source: x op x leaves x for AND and OR and gives 0
// for XOR.
TEST(VectorBitwise, DestinationEqualToSource) {
    for (const BitKernel& k : allKernels()) {
        if (k.form != kVec && k.form != kVecInPlace)
            continue;
        for (int path : k.paths) {
            if (path > vqtest::allPaths().back())
                continue;
            std::vector<uint8_t> buf(37 * k.size);
            for (size_t i = 0; i < buf.size(); ++i)
                buf[i] = static_cast<uint8_t>(i * 29 + 3);
            const auto before = buf;
            k.call(path, buf.data(), buf.data(), 0, buf.data(), 37);
            EXPECT_EQ(buf, k.op == 2 ? std::vector<uint8_t>(buf.size(), 0) : before) << k.name;
        }
    }
}

} // namespace
