// Vector addition and subtraction: worked values and an independent rounding
// oracle for every scale-factor case, every path against the generic one,
// argument checks, aliasing, and the float special values.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>

#include "primitives/vector/add_sub.h"
#include "vector_harness.h"

namespace {

using vqtest::oracleScale;

// One of the eight integer primitives, called through its path table with
// (x, y) meaning x + y or x - y; `alias` 0 separate destination, 1 the
// destination is the first operand's array, 2 the second's.
struct IntOp {
    const char* name;
    int size;
    bool sub, inPlace;
    int32_t (*call)(int path, const void* a, const void* b, void* d, int32_t n, int32_t sf);
};

template <class T>
const T* cp(const void* p) {
    return static_cast<const T*>(p);
}
template <class T>
T* mp(void* p) {
    return static_cast<T*>(p);
}

// For the in-place forms d is ignored: the result goes to the array that the
// primitive writes (srcDst), which is b for additions and a for subtractions.
const IntOp kIntOps[] = {
    {"addVector16sScaled", 2, false, false,
     [](int p, const void* a, const void* b, void* d, int32_t n, int32_t sf) {
         return addVector16sScaledTable[p](cp<int16_t>(a), cp<int16_t>(b), mp<int16_t>(d), n, sf);
     }},
    {"addVectorInPlace16sScaled", 2, false, true,
     [](int p, const void* a, const void* b, void*, int32_t n, int32_t sf) {
         return addVectorInPlace16sScaledTable[p](cp<int16_t>(a), mp<int16_t>(const_cast<void*>(b)), n, sf);
     }},
    {"subVector16sScaled", 2, true, false,
     [](int p, const void* a, const void* b, void* d, int32_t n, int32_t sf) {
         return subVector16sScaledTable[p](cp<int16_t>(b), cp<int16_t>(a), mp<int16_t>(d), n, sf);
     }},
    {"subVectorInPlace16sScaled", 2, true, true,
     [](int p, const void* a, const void* b, void*, int32_t n, int32_t sf) {
         return subVectorInPlace16sScaledTable[p](cp<int16_t>(b), mp<int16_t>(const_cast<void*>(a)), n, sf);
     }},
    {"addVector32sScaled", 4, false, false,
     [](int p, const void* a, const void* b, void* d, int32_t n, int32_t sf) {
         return addVector32sScaledTable[p](cp<int32_t>(a), cp<int32_t>(b), mp<int32_t>(d), n, sf);
     }},
    {"addVectorInPlace32sScaled", 4, false, true,
     [](int p, const void* a, const void* b, void*, int32_t n, int32_t sf) {
         return addVectorInPlace32sScaledTable[p](cp<int32_t>(a), mp<int32_t>(const_cast<void*>(b)), n, sf);
     }},
    {"subVector32sScaled", 4, true, false,
     [](int p, const void* a, const void* b, void* d, int32_t n, int32_t sf) {
         return subVector32sScaledTable[p](cp<int32_t>(b), cp<int32_t>(a), mp<int32_t>(d), n, sf);
     }},
    {"subVectorInPlace32sScaled", 4, true, true,
     [](int p, const void* a, const void* b, void*, int32_t n, int32_t sf) {
         return subVectorInPlace32sScaledTable[p](cp<int32_t>(b), mp<int32_t>(const_cast<void*>(a)), n, sf);
     }},
};

int64_t lowOf(int size) { return size == 2 ? INT16_MIN : INT32_MIN; }
int64_t highOf(int size) { return size == 2 ? INT16_MAX : INT32_MAX; }


// Runs one call of `op` on every path with operands a (minuend or first
// addend) and b, and returns the results of path `path`.
std::vector<int64_t> runOp(const IntOp& op, int path, const std::vector<int64_t>& a, const std::vector<int64_t>& b,
                           int32_t sf, int32_t* status = nullptr) {
    const int n = static_cast<int>(a.size());
    std::vector<uint8_t> ba(n * op.size + 1), bb(n * op.size + 1), bd(n * op.size + 1);
    // Odd byte offsets on purpose: vectors need no alignment.
    for (int i = 0; i < n; ++i) {
        vqtest::setIntAt(ba.data() + 1, op.size, i, a[i]);
        vqtest::setIntAt(bb.data() + 1, op.size, i, b[i]);
    }
    const int32_t s = op.call(path, ba.data() + 1, bb.data() + 1, bd.data() + 1, n, sf);
    if (status)
        *status = s;
    const uint8_t* res = !op.inPlace ? bd.data() + 1 : (op.sub ? ba.data() + 1 : bb.data() + 1);
    std::vector<int64_t> out(n);
    for (int i = 0; i < n; ++i)
        out[i] = vqtest::intAt(res, op.size, i);
    return out;
}

struct Worked {
    bool sub;
    int size;
    int32_t sf;
    int64_t a, b, want;
};

// Values from the worked tables: a + b, or a - b.
const Worked kWorked[] = {
    // 16-bit addition
    {false, 2, 1, 1, 2, 2}, {false, 2, 1, 5, 0, 2}, {false, 2, 1, -1, 0, 0}, {false, 2, 1, -3, 0, -2},
    {false, 2, 1, 32767, 32767, 32767}, {false, 2, 1, -32768, -32768, -32768},
    {false, 2, 2, 2, 0, 0}, {false, 2, 2, 6, 0, 2}, {false, 2, 2, 10, 0, 2}, {false, 2, 2, -6, 0, -2},
    {false, 2, 2, -10, 0, -2}, {false, 2, 16, 32767, 1, 0}, {false, 2, 16, 32767, 2, 1},
    {false, 2, 16, 32767, 32767, 1}, {false, 2, 16, -32768, 0, 0}, {false, 2, 16, -32768, -1, -1},
    {false, 2, 16, -32768, -32768, -1}, {false, 2, -1, 20000, 20000, 32767}, {false, 2, -1, -20000, -20000, -32768},
    {false, 2, -1, 100, 23, 246}, {false, 2, -15, 1, 0, 32767}, {false, 2, -15, -1, 0, -32768},
    {false, 2, -16, 1, 0, 32767}, {false, 2, -16, -1, 0, -32768}, {false, 2, -16, 5, -5, 0},
    {false, 2, 0, 32767, 1, 32767}, {false, 2, 0, -32768, -1, -32768}, {false, 2, 0, -32768, -32768, -32768},
    {false, 2, 0, 100, -300, -200}, {false, 2, 17, -32768, -32768, 0}, {false, 2, INT32_MAX, 5, 5, 0},
    {false, 2, INT32_MIN, -3, 1, -32768},
    // 16-bit subtraction
    {true, 2, 0, -32768, 1, -32768}, {true, 2, 0, 32767, -1, 32767}, {true, 2, 0, -5, 3, -8},
    {true, 2, 1, 32767, -32768, 32767}, {true, 2, 1, -32768, 32767, -32768}, {true, 2, 1, 3, 0, 2},
    {true, 2, 1, 1, 0, 0}, {true, 2, 1, -1, 0, 0}, {true, 2, 1, -3, 0, -2}, {true, 2, 2, 2, 0, 0},
    {true, 2, 2, 6, 0, 2}, {true, 2, 2, -2, 0, 0}, {true, 2, 2, -6, 0, -2}, {true, 2, 2, 3, 0, 1},
    {true, 2, 16, 32767, -1, 0}, {true, 2, 16, 32767, -2, 1}, {true, 2, 16, -32768, 0, 0},
    {true, 2, 16, -32768, 1, -1}, {true, 2, 16, 32767, -32768, 1}, {true, 2, 16, -32768, 32767, -1},
    {true, 2, -1, 16384, 0, 32767}, {true, 2, -1, -16384, 0, -32768}, {true, 2, -1, 16383, 0, 32766},
    {true, 2, -15, 1, 0, 32767}, {true, 2, -15, -1, 0, -32768}, {true, 2, -1000, 7, 7, 0},
    // 32-bit addition
    {false, 4, 0, INT32_MAX, 1, INT32_MAX}, {false, 4, 0, INT32_MIN, -1, INT32_MIN},
    {false, 4, 0, INT32_MAX, INT32_MIN, -1}, {false, 4, 1, 1, 2, 2}, {false, 4, 1, 1, 0, 0},
    {false, 4, 1, -1, 0, 0}, {false, 4, 1, -3, 0, -2}, {false, 4, 1, INT32_MAX, 1, 1073741824},
    {false, 4, 1, INT32_MIN, -1, -1073741824}, {false, 4, 1, INT32_MAX, INT32_MAX, INT32_MAX},
    {false, 4, 1, INT32_MIN, INT32_MIN, INT32_MIN}, {false, 4, 2, 2, 0, 0}, {false, 4, 2, 6, 0, 2},
    {false, 4, 2, 10, 0, 2}, {false, 4, 2, 14, 0, 4}, {false, 4, 2, 3, 3, 2}, {false, 4, 2, -2, 0, 0},
    {false, 4, 2, -6, 0, -2}, {false, 4, 3, 5, 5, 1}, {false, 4, 3, 6, 6, 2},
    {false, 4, 32, INT32_MIN, 0, 0}, {false, 4, 32, 1 << 30, 1 << 30, 0}, {false, 4, 32, 1 << 30, (1 << 30) + 1, 1},
    {false, 4, 32, INT32_MIN, -1, -1}, {false, 4, 32, INT32_MIN, INT32_MIN, -1},
    {false, 4, 32, INT32_MAX, INT32_MAX, 1}, {false, 4, 33, INT32_MAX, INT32_MAX, 0},
    {false, 4, INT32_MAX, -7, 0, 0}, {false, 4, -1, 1 << 29, 1 << 29, INT32_MAX},
    {false, 4, -1, -(1 << 29), -(1 << 29), INT32_MIN}, {false, 4, -30, 1, 0, 1073741824},
    {false, 4, -30, 2, 0, INT32_MAX}, {false, 4, -30, -2, 0, INT32_MIN}, {false, 4, -30, -3, 0, INT32_MIN},
    {false, 4, -31, 1, 0, INT32_MAX}, {false, 4, -31, 0, 0, 0}, {false, 4, -31, -1, 0, INT32_MIN},
    {false, 4, INT32_MIN, 1, 0, INT32_MAX},
    // 32-bit subtraction
    {true, 4, 0, INT32_MAX, -1, INT32_MAX}, {true, 4, 0, INT32_MIN, 1, INT32_MIN},
    {true, 4, 0, 0, INT32_MIN, INT32_MAX}, {true, 4, 0, -1, INT32_MAX, INT32_MIN}, {true, 4, 1, 1, 0, 0},
    {true, 4, 1, 3, 0, 2}, {true, 4, 1, 5, 0, 2}, {true, 4, 1, -1, 0, 0}, {true, 4, 1, -3, 0, -2},
    {true, 4, 1, INT32_MAX, INT32_MIN, INT32_MAX}, {true, 4, 1, INT32_MIN, INT32_MAX, INT32_MIN},
    {true, 4, 2, 2, 0, 0}, {true, 4, 2, 6, 0, 2}, {true, 4, 2, 7, 0, 2}, {true, 4, 2, -2, 0, 0},
    {true, 4, 2, -6, 0, -2}, {true, 4, 32, 0, INT32_MIN, 0}, {true, 4, 32, 1, INT32_MIN, 1},
    {true, 4, 32, INT32_MIN, 0, 0}, {true, 4, 32, INT32_MIN, 1, -1}, {true, 4, 32, INT32_MAX, INT32_MIN, 1},
    {true, 4, 33, INT32_MAX, INT32_MIN, 0}, {true, 4, -1, 1 << 30, 0, INT32_MAX},
    {true, 4, -1, -(1 << 30), 0, INT32_MIN}, {true, 4, -30, 1, 0, 1 << 30}, {true, 4, -30, 2, 0, INT32_MAX},
    {true, 4, -30, -2, 0, INT32_MIN}, {true, 4, -30, -3, 0, INT32_MIN}, {true, 4, -31, 5, 4, INT32_MAX},
    {true, 4, INT32_MIN, 4, 5, INT32_MIN}, {true, 4, -40, 9, 9, 0},
};

TEST(VectorAddSub, WorkedValuesOnEveryPathAndForm) {
    for (const IntOp& op : kIntOps)
        for (const Worked& w : kWorked) {
            if (w.sub != op.sub || w.size != op.size)
                continue;
            // The value at every position of a vector long enough for the
            // blocked steps of every path.
            const std::vector<int64_t> a(37, w.a), b(37, w.b);
            for (int path : vqtest::allPaths()) {
                int32_t status = -1;
                const auto got = runOp(op, path, a, b, w.sf, &status);
                ASSERT_EQ(status, primNoErr) << op.name;
                for (int i = 0; i < 37; ++i)
                    ASSERT_EQ(got[i], w.want) << op.name << " " << vqtest::pathName(path) << " sf " << w.sf << " "
                                              << w.a << ", " << w.b << " at " << i;
            }
        }
}

// Random operands with the extremes mixed in, every scale factor from -40 to
// 40 and the far ends: the generic form and one SIMD path against the
// oracle (the other paths are held to the generic form below).
TEST(VectorAddSub, MatchesRoundingOracleForEveryScaleFactor) {
    std::vector<int32_t> factors{INT32_MIN, -1000, 1000, INT32_MAX};
    for (int32_t sf = -40; sf <= 40; ++sf)
        factors.push_back(sf);
    std::mt19937 rng(77);
    const int paths[] = {0, vqtest::allPaths().back()};
    for (const IntOp& op : kIntOps) {
        const int64_t lo = lowOf(op.size), hi = highOf(op.size);
        std::vector<int64_t> a(64), b(64);
        for (int i = 0; i < 64; ++i) {
            const int64_t special[] = {lo, hi, 0, 1, -1, lo + 1, hi - 1, 2, -2, 3};
            a[i] = rng() % 4 == 0 ? special[rng() % 10] : lo + int64_t(rng() % uint64_t(hi - lo + 1));
            b[i] = rng() % 4 == 0 ? special[rng() % 10] : lo + int64_t(rng() % uint64_t(hi - lo + 1));
        }
        for (int32_t sf : factors)
            for (int path : paths) {
                const auto got = runOp(op, path, a, b, sf);
                for (int i = 0; i < 64; ++i)
                    ASSERT_EQ(got[i], oracleScale(op.sub ? a[i] - b[i] : a[i] + b[i], sf, lo, hi))
                        << op.name << " " << vqtest::pathName(path) << " sf " << sf << " " << a[i] << ", " << b[i];
            }
    }
}

TEST(VectorAddSub, EveryPathMatchesGeneric) {
    const std::vector<int32_t> factors16{0, 1, 2, 7, 16, 17, -1, -15, -16, INT32_MIN};
    const std::vector<int32_t> factors32{0, 1, 2, 3, 31, 32, 33, -1, -30, -31};
    const auto lengths = vqtest::lengthsUpTo(40, {46, 47, 100});
    for (const IntOp& op : kIntOps) {
        const auto fill = [&](int, void* p, int n, std::mt19937& rng) {
            if (op.size == 2)
                vqtest::fillMixed<int16_t>(p, n, rng, {INT16_MIN, INT16_MAX, 0, 1, -1, 2, -2, 3});
            else
                vqtest::fillMixed<int32_t>(p, n, rng, {INT32_MIN, INT32_MAX, 0, 1, -1, 2, -2, 3, 1 << 30});
        };
        for (int32_t sf : op.size == 2 ? factors16 : factors32) {
            // Separate destination (three buffers), or the destination
            // standing for one operand.
            vqtest::expectVectorPathsMatch(
                {op.size, op.size, op.size}, lengths, fill,
                [&](int path, uint8_t* const* b, int n) { return op.call(path, b[0], b[1], b[2], n, sf); },
                std::string(op.name) + " sf " + std::to_string(sf));
            if (!op.inPlace && (sf == 0 || sf == 1)) {
                vqtest::expectVectorPathsMatch(
                    {op.size, op.size}, {1, 7, 23, 40},
                    fill, [&](int path, uint8_t* const* b, int n) { return op.call(path, b[0], b[1], b[0], n, sf); },
                    std::string(op.name) + " dst = first operand");
                vqtest::expectVectorPathsMatch(
                    {op.size}, {1, 7, 23, 40}, fill,
                    [&](int path, uint8_t* const* b, int n) { return op.call(path, b[0], b[0], b[0], n, sf); },
                    std::string(op.name) + " all one array");
            }
        }
    }
}

// Identical arrays as operands: a + a doubles, a - a is zero, at every scale.
TEST(VectorAddSub, SameArrayForEveryOperand) {
    for (const IntOp& op : kIntOps)
        for (int path : vqtest::allPaths())
            for (int32_t sf : {-3, 0, 1, 2}) {
                std::vector<uint8_t> buf(29 * op.size);
                for (int i = 0; i < 29; ++i)
                    vqtest::setIntAt(buf.data(), op.size, i, (i * 2654435761u) >> (op.size == 2 ? 17 : 1));
                std::vector<int64_t> before(29);
                for (int i = 0; i < 29; ++i)
                    before[i] = vqtest::intAt(buf.data(), op.size, i);
                ASSERT_EQ(op.call(path, buf.data(), buf.data(), buf.data(), 29, sf), primNoErr);
                for (int i = 0; i < 29; ++i)
                    ASSERT_EQ(vqtest::intAt(buf.data(), op.size, i),
                              oracleScale(op.sub ? 0 : 2 * before[i], sf, lowOf(op.size), highOf(op.size)))
                        << op.name << " " << vqtest::pathName(path) << " sf " << sf;
            }
}

TEST(VectorAddSub, ChecksComeFirstAndWriteNothing) {
    for (const IntOp& op : kIntOps)
        for (int path : vqtest::allPaths()) {
            std::vector<uint8_t> a(8 * op.size, 0x11), b(8 * op.size, 0x22), d(8 * op.size, 0x33);
            const auto before = std::make_tuple(a, b, d);
            for (int32_t sf : {0, 17, 33, INT32_MAX}) {
                EXPECT_EQ(op.call(path, nullptr, b.data(), d.data(), 0, sf), primErrNullPtr) << op.name;
                EXPECT_EQ(op.call(path, a.data(), nullptr, d.data(), 4, sf), primErrNullPtr) << op.name;
                if (!op.inPlace) {
                    EXPECT_EQ(op.call(path, a.data(), b.data(), nullptr, 4, sf), primErrNullPtr) << op.name;
                }
                EXPECT_EQ(op.call(path, a.data(), b.data(), d.data(), 0, sf), primErrSize) << op.name;
                EXPECT_EQ(op.call(path, a.data(), b.data(), d.data(), -1, sf), primErrSize) << op.name;
            }
            EXPECT_TRUE(std::make_tuple(a, b, d) == before) << op.name << " " << vqtest::pathName(path);
        }
}

// ---- float ---------------------------------------------------------------------

using vqtest::bitsOf;
using vqtest::fromBits;

const std::vector<float> kFloatSpecials{0.0f, -0.0f, 1.0f, -1.0f, INFINITY, -INFINITY, fromBits(0x00000001),
                                        fromBits(0x807FFFFF), fromBits(0x7F7FFFFF), 3.0e38f, 1e-38f};

// NaNs only in the first operand's array, so no element meets two different
// NaNs (which NaN then wins is the processor's choice).
void fillFloats(int buffer, void* p, int n, std::mt19937& rng) {
    std::vector<float> specials = kFloatSpecials;
    if (buffer == 0) {
        specials.push_back(fromBits(0x7FC00123));
        specials.push_back(fromBits(0xFF800001));
    }
    vqtest::fillMixed<float>(p, n, rng, specials);
}

// Beside a NaN constant no element may be a NaN of its own: which of two
// NaNs a multiply returns depends on the operand order, which the compiler
// may choose for the generic form.
void fillFloatsWithoutNaN(int buffer, void* p, int n, std::mt19937& rng) {
    fillFloats(buffer, p, n, rng);
    // Buffers sit at every byte offset: elements are moved with memcpy.
    auto* bytes = static_cast<uint8_t*>(p);
    for (int i = 0; i < n; ++i) {
        float v;
        std::memcpy(&v, bytes + sizeof v * size_t(i), sizeof v);
        if (std::isnan(v)) {
            v = 1.0f;
            std::memcpy(bytes + sizeof v * size_t(i), &v, sizeof v);
        }
    }
}

TEST(VectorFloat, EveryPathMatchesGeneric) {
    const auto lengths = vqtest::lengthsUpTo(40, {47, 100});
    const auto f = [](void* p) { return static_cast<float*>(p); };
    vqtest::expectVectorPathsMatch({4, 4, 4}, lengths, fillFloats, [&](int path, uint8_t* const* b, int n) {
        return addVector32fTable[path](f(b[0]), f(b[1]), f(b[2]), n);
    }, "addVector32f");
    vqtest::expectVectorPathsMatch({4, 4, 4}, lengths, fillFloats, [&](int path, uint8_t* const* b, int n) {
        return subVector32fTable[path](f(b[0]), f(b[1]), f(b[2]), n);
    }, "subVector32f");
    vqtest::expectVectorPathsMatch({4, 4}, lengths, fillFloats, [&](int path, uint8_t* const* b, int n) {
        return addVectorInPlace32fTable[path](f(b[0]), f(b[1]), n);
    }, "addVectorInPlace32f");
    vqtest::expectVectorPathsMatch({4, 4}, lengths, fillFloats, [&](int path, uint8_t* const* b, int n) {
        return subVectorInPlace32fTable[path](f(b[0]), f(b[1]), n);
    }, "subVectorInPlace32f");
    vqtest::expectVectorPathsMatch({4, 4}, lengths, fillFloats, [&](int path, uint8_t* const* b, int n) {
        return addVector32fTable[path](f(b[0]), f(b[1]), f(b[0]), n);
    }, "addVector32f dst = src1");
    for (float value : {2.5f, -1.0f, 1e-30f, 1.0f, 0.0f, -0.0f, NAN, INFINITY}) {
        const vqtest::BufferFill fill = std::isnan(value) ? vqtest::BufferFill(fillFloatsWithoutNaN)
                                                          : vqtest::BufferFill(fillFloats);
        vqtest::expectVectorPathsMatch({4, 4}, lengths, fill, [&](int path, uint8_t* const* b, int n) {
            return mulVectorConst32fTable[path](f(b[0]), value, f(b[1]), n);
        }, "mulVectorConst32f " + std::to_string(value));
        vqtest::expectVectorPathsMatch({4}, lengths, fill, [&](int path, uint8_t* const* b, int n) {
            return mulVectorConstInPlace32fTable[path](value, f(b[0]), n);
        }, "mulVectorConstInPlace32f " + std::to_string(value));
    }
}

TEST(VectorFloat, OperandOrderAndIeeeResults) {
    for (int path : vqtest::allPaths()) {
        const float a[3] = {1.0f, INFINITY, 3.0e38f}, b[3] = {4.0f, -INFINITY, 3.0e38f};
        float d[3];
        ASSERT_EQ(subVector32fTable[path](a, b, d, 3), primNoErr);
        EXPECT_EQ(d[0], 3.0f);  // the second source minus the first
        EXPECT_EQ(bitsOf(d[1]), 0xFF800000u);
        EXPECT_EQ(d[2], 0.0f);
        ASSERT_EQ(addVector32fTable[path](a, b, d, 3), primNoErr);
        EXPECT_EQ(d[0], 5.0f);
        EXPECT_EQ(bitsOf(d[1]), 0xFFC00000u) << vqtest::pathName(path);  // the default NaN
        EXPECT_EQ(d[2], INFINITY);
        float v[2] = {10.0f, 1.0f};
        ASSERT_EQ(subVectorInPlace32fTable[path](a, v, 2), primNoErr);
        EXPECT_EQ(v[0], 9.0f);
        // A product in the subnormal range is kept, not flushed.
        float s = 0x1p-100f;
        ASSERT_EQ(mulVectorConstInPlace32fTable[path](0x1p-40f, &s, 1), primNoErr);
        EXPECT_EQ(bitsOf(s), bitsOf(0x1p-140f));
        // Two different NaNs: one of them, made quiet.
        const float n1 = fromBits(0x7F800001), n2 = fromBits(0xFFC00002);
        float r;
        ASSERT_EQ(addVector32fTable[path](&n1, &n2, &r, 1), primNoErr);
        EXPECT_TRUE(bitsOf(r) == 0x7FC00001u || bitsOf(r) == 0xFFC00002u) << std::hex << bitsOf(r);
    }
}

TEST(VectorFloat, MultiplySpecialValues) {
    const uint32_t src[6] = {0x7F800001u, 0x80000000u, 0xFF800000u, 0x3F800000u, 0xC0400000u, 0x7FC00005u};
    for (int path : vqtest::allPaths()) {
        float s[6], d[6];
        std::memcpy(s, src, sizeof src);
        // 1: a bit copy, signalling NaN and -0 included.
        ASSERT_EQ(mulVectorConst32fTable[path](s, 1.0f, d, 6), primNoErr);
        EXPECT_EQ(std::memcmp(d, src, sizeof src), 0) << vqtest::pathName(path);
        ASSERT_EQ(mulVectorConstInPlace32fTable[path](1.0f, s, 6), primNoErr);
        EXPECT_EQ(std::memcmp(s, src, sizeof src), 0);
        // +0 and -0: +0.0 everywhere, NaN and infinite elements included.
        for (float zero : {0.0f, -0.0f}) {
            std::memcpy(s, src, sizeof src);
            ASSERT_EQ(mulVectorConst32fTable[path](s, zero, d, 6), primNoErr);
            ASSERT_EQ(mulVectorConstInPlace32fTable[path](zero, s, 6), primNoErr);
            for (int i = 0; i < 6; ++i) {
                EXPECT_EQ(bitsOf(d[i]), 0u);
                EXPECT_EQ(bitsOf(s[i]), 0u);
            }
        }
        // -1 flips every sign, zeros included; a NaN keeps its sign, quieted.
        std::memcpy(s, src, sizeof src);
        ASSERT_EQ(mulVectorConst32fTable[path](s, -1.0f, d, 6), primNoErr);
        const uint32_t flipped[6] = {0x7FC00001u, 0x00000000u, 0x7F800000u, 0xBF800000u, 0x40400000u, 0x7FC00005u};
        for (int i = 0; i < 6; ++i)
            EXPECT_EQ(bitsOf(d[i]), flipped[i]) << vqtest::pathName(path) << " " << i;
        // NaN value: every element NaN; infinity times zero: the default NaN.
        ASSERT_EQ(mulVectorConst32fTable[path](s, NAN, d, 6), primNoErr);
        for (float x : d)
            EXPECT_TRUE(std::isnan(x));
        const float zero = 0.0f;
        ASSERT_EQ(mulVectorConst32fTable[path](&zero, INFINITY, d, 1), primNoErr);
        EXPECT_EQ(bitsOf(d[0]), 0xFFC00000u);
    }
}

TEST(VectorFloat, ChecksComeFirstAndWriteNothing) {
    for (int path : vqtest::allPaths()) {
        float a[4] = {1, 2, 3, 4}, b[4] = {5, 6, 7, 8}, d[4] = {9, 9, 9, 9};
        EXPECT_EQ(addVector32fTable[path](nullptr, b, d, 0), primErrNullPtr);
        EXPECT_EQ(subVector32fTable[path](a, b, nullptr, 4), primErrNullPtr);
        EXPECT_EQ(addVectorInPlace32fTable[path](a, nullptr, 4), primErrNullPtr);
        EXPECT_EQ(subVectorInPlace32fTable[path](nullptr, b, -1), primErrNullPtr);
        EXPECT_EQ(mulVectorConst32fTable[path](nullptr, 1.0f, d, 4), primErrNullPtr);
        EXPECT_EQ(mulVectorConstInPlace32fTable[path](0.0f, nullptr, 4), primErrNullPtr);
        EXPECT_EQ(addVector32fTable[path](a, b, d, 0), primErrSize);
        EXPECT_EQ(subVectorInPlace32fTable[path](a, b, -1), primErrSize);
        EXPECT_EQ(mulVectorConst32fTable[path](a, 0.0f, d, 0), primErrSize);
        EXPECT_EQ(mulVectorConstInPlace32fTable[path](1.0f, b, -5), primErrSize);
        EXPECT_EQ(d[0], 9.0f);
        EXPECT_EQ(b[3], 8.0f);
    }
}

// The public entries follow the dispatch index.
TEST(VectorAddSub, EntriesDispatch) {
    const int16_t a[3] = {1, 2, 3};
    int16_t b[3] = {10, 20, 30};
    ASSERT_EQ(addVectorInPlace16sScaled(a, b, 3, 0), primNoErr);
    EXPECT_EQ(b[2], 33);
    float f[2] = {1.5f, 2.5f};
    ASSERT_EQ(mulVectorConstInPlace32f(2.0f, f, 2), primNoErr);
    EXPECT_EQ(f[1], 5.0f);
}

} // namespace
