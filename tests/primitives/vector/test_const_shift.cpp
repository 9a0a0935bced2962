// Constant add and subtract and the shifts: worked values, the rounding
// oracle, every path against the generic one, the order of the checks and
// the shortcuts, and the shift kernels that no entry calls.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include "primitives/vector/const_shift.h"
#include "vector_harness.h"

namespace {

using vqtest::getAt;
using vqtest::oracleScale;

// One constant primitive through its path table: the array `a` is the
// source (the in-place forms write it, the others write `d`).
struct ConstOp {
    const char* name;
    int size;
    bool sub, inPlace;
    int32_t (*call)(int path, void* a, int32_t c, void* d, int32_t n, int32_t sf);
};

const ConstOp kConstOps[] = {
    {"subVectorConstInPlace32sScaled", 4, true, true,
     [](int p, void* a, int32_t c, void*, int32_t n, int32_t sf) {
         return subVectorConstInPlace32sScaledTable[p](c, static_cast<int32_t*>(a), n, sf);
     }},
    {"addVectorConst32sScaled", 4, false, false,
     [](int p, void* a, int32_t c, void* d, int32_t n, int32_t sf) {
         return addVectorConst32sScaledTable[p](static_cast<int32_t*>(a), c, static_cast<int32_t*>(d), n, sf);
     }},
    {"addVectorConstInPlace32sScaled", 4, false, true,
     [](int p, void* a, int32_t c, void*, int32_t n, int32_t sf) {
         return addVectorConstInPlace32sScaledTable[p](c, static_cast<int32_t*>(a), n, sf);
     }},
    {"addVectorConst16sScaled", 2, false, false,
     [](int p, void* a, int32_t c, void* d, int32_t n, int32_t sf) {
         return addVectorConst16sScaledTable[p](static_cast<int16_t*>(a), c, static_cast<int16_t*>(d), n, sf);
     }},
    {"addVectorConstInPlace16sScaled", 2, false, true,
     [](int p, void* a, int32_t c, void*, int32_t n, int32_t sf) {
         return addVectorConstInPlace16sScaledTable[p](c, static_cast<int16_t*>(a), n, sf);
     }},
};


// x at every position of a vector, one call, the results of `path`.
std::vector<int64_t> runConst(const ConstOp& op, int path, const std::vector<int64_t>& x, int32_t c, int32_t sf,
                              int32_t* status = nullptr) {
    const int n = static_cast<int>(x.size());
    std::vector<uint8_t> a(n * op.size + 3), d(n * op.size + 3, 0xEE);
    for (int i = 0; i < n; ++i)
        vqtest::setIntAt(a.data() + 3, op.size, i, x[i]);
    const int32_t s = op.call(path, a.data() + 3, c, d.data() + 3, n, sf);
    if (status)
        *status = s;
    std::vector<int64_t> out(n);
    for (int i = 0; i < n; ++i)
        out[i] = vqtest::intAt(op.inPlace ? a.data() + 3 : d.data() + 3, op.size, i);
    return out;
}

struct ConstWorked {
    int size;
    bool sub;
    int32_t sf;
    int64_t x;
    int32_t c;
    int64_t want;
};

const ConstWorked kConstWorked[] = {
    // 32-bit: subtraction (x - c) and addition
    {4, true, 0, INT32_MIN, 1, INT32_MIN}, {4, true, 0, INT32_MAX, -1, INT32_MAX},
    {4, true, 0, 0, INT32_MIN, INT32_MAX}, {4, true, 0, INT32_MIN, INT32_MIN, 0},
    {4, false, 0, INT32_MAX, 1, INT32_MAX}, {4, false, 0, INT32_MIN, -1, INT32_MIN},
    {4, false, 1, 3, 0, 2}, {4, false, 1, 5, 0, 2}, {4, false, 1, -3, 0, -2}, {4, false, 1, -1, 0, 0},
    {4, false, 1, 1, 0, 0}, {4, false, 1, INT32_MAX, 0, 1073741824}, {4, false, 1, INT32_MIN, 0, -1073741824},
    {4, true, 1, INT32_MAX, INT32_MIN, INT32_MAX}, {4, true, 1, INT32_MAX, -INT32_MAX, INT32_MAX},
    {4, true, 1, INT32_MAX - 2, INT32_MIN, 2147483646}, {4, true, 1, INT32_MIN, INT32_MAX, INT32_MIN},
    {4, true, 1, 7, 2, 2}, {4, true, 1, 4, 1, 2}, {4, false, 1, INT32_MAX, INT32_MAX, INT32_MAX},
    {4, false, 1, INT32_MIN, INT32_MIN, INT32_MIN}, {4, false, 2, 2, 0, 0}, {4, false, 2, 6, 0, 2},
    {4, false, 2, 10, 0, 2}, {4, false, 2, -2, 0, 0}, {4, false, 2, -6, 0, -2}, {4, false, 2, 7, 0, 2},
    {4, true, 2, 8, 3, 1}, {4, true, 32, INT32_MAX, INT32_MIN, 1}, {4, true, 32, 0, INT32_MIN, 0},
    {4, true, 32, INT32_MIN, 1, -1}, {4, false, 32, INT32_MAX, 1, 0}, {4, false, 32, INT32_MAX, 2, 1},
    {4, false, 32, INT32_MIN, INT32_MIN, -1}, {4, false, 32, INT32_MIN, 0, 0}, {4, false, 33, INT32_MAX, 5, 0},
    {4, true, INT32_MAX, INT32_MIN, 5, 0}, {4, false, -1, 1073741824, 0, INT32_MAX},
    {4, false, -1, -1073741824, 0, INT32_MIN}, {4, false, -1, -(1 << 30) - 1, 0, INT32_MIN},
    {4, false, -1, 100, 1, 202}, {4, false, -30, 1, 0, 1073741824}, {4, false, -30, 2, 0, INT32_MAX},
    {4, false, -30, -2, 0, INT32_MIN}, {4, false, -30, -3, 0, INT32_MIN}, {4, true, -31, 5, 4, INT32_MAX},
    {4, true, INT32_MIN, 4, 5, INT32_MIN}, {4, false, -31, -5, 5, 0},
    // 16-bit addition
    {2, false, 0, 32767, 1, 32767}, {2, false, 0, -32768, -1, -32768}, {2, false, 0, 100, -100, 0},
    {2, false, 1, 3, 0, 2}, {2, false, 1, 5, 0, 2}, {2, false, 1, -3, 0, -2}, {2, false, 1, -1, 0, 0},
    {2, false, 1, 1, 0, 0}, {2, false, 1, 32767, 0, 16384}, {2, false, 1, -32768, 0, -16384},
    {2, false, 2, 2, 0, 0}, {2, false, 2, 6, 0, 2}, {2, false, 2, 10, 0, 2}, {2, false, 2, -2, 0, 0},
    {2, false, 2, -6, 0, -2}, {2, false, 2, 7, 0, 2}, {2, false, 16, 32767, 1, 0}, {2, false, 16, 32767, 16385, 1},
    {2, false, 16, -32768, -32768, -1}, {2, false, 16, -32768, 0, 0}, {2, false, 17, 32767, 32767, 0},
    {2, false, 1000, -32768, -32768, 0}, {2, false, -1, 16384, 0, 32767}, {2, false, -1, -16384, 0, -32768},
    {2, false, -1, 100, 1, 202}, {2, false, -16, 3, 0, 32767}, {2, false, -1000, -3, 0, -32768},
    {2, false, -16, 5, -5, 0},
    // only the low 16 bits of the constant count
    {2, false, 0, 0, 32768, -32768}, {2, false, 0, 10, 65535, 9}, {2, false, 0, 10, 131073, 11},
    {2, false, 0, 10, 65536, 10},
};

TEST(VectorConst, WorkedValuesOnEveryPath) {
    for (const ConstOp& op : kConstOps)
        for (const ConstWorked& w : kConstWorked) {
            if (w.size != op.size || w.sub != op.sub)
                continue;
            for (int path : vqtest::allPaths()) {
                int32_t status = -1;
                const auto got = runConst(op, path, std::vector<int64_t>(37, w.x), w.c, w.sf, &status);
                ASSERT_EQ(status, primNoErr);
                for (int i = 0; i < 37; ++i)
                    ASSERT_EQ(got[i], w.want) << op.name << " " << vqtest::pathName(path) << " sf " << w.sf << " x "
                                              << w.x << " c " << w.c << " at " << i;
            }
        }
}

TEST(VectorConst, MatchesRoundingOracleForEveryScaleFactor) {
    std::vector<int32_t> factors{INT32_MIN, -1000, 1000, INT32_MAX};
    for (int32_t sf = -40; sf <= 40; ++sf)
        factors.push_back(sf);
    std::mt19937 rng(5);
    for (const ConstOp& op : kConstOps) {
        const int64_t lo = op.size == 2 ? INT16_MIN : INT32_MIN, hi = op.size == 2 ? INT16_MAX : INT32_MAX;
        std::vector<int64_t> x(45);
        for (auto& v : x)
            v = rng() % 5 == 0 ? (rng() % 2 ? lo : hi) : lo + int64_t(rng() % uint64_t(hi - lo + 1));
        for (int32_t c : {0, 1, -1, 3, static_cast<int32_t>(lo), static_cast<int32_t>(hi), 12345})
            for (int32_t sf : factors)
                for (int path : {0, vqtest::allPaths().back()}) {
                    const auto got = runConst(op, path, x, c, sf);
                    for (size_t i = 0; i < x.size(); ++i)
                        ASSERT_EQ(got[i], oracleScale(op.sub ? x[i] - c : x[i] + c, sf, lo, hi))
                            << op.name << " " << vqtest::pathName(path) << " c " << c << " sf " << sf;
                }
    }
}

TEST(VectorConst, EveryPathMatchesGeneric) {
    struct Param {
        int32_t c, sf;
    };
    const Param params32[] = {{7, 0}, {INT32_MIN, 0}, {-3, 1}, {INT32_MIN, 1}, {2, 2}, {9, 3}, {1, 32}, {5, -1},
                              {-2, -30}, {0, -31}, {0, 0}, {4, 33}};
    const Param params16[] = {{7, 0}, {-32768, 0}, {3, 1}, {-2, 2}, {1, 16}, {5, -1}, {-2, -15}, {0, -16},
                              {0, 0}, {4, 17}};
    const auto lengths = vqtest::lengthsUpTo(40, {47, 100});
    for (const ConstOp& op : kConstOps) {
        const auto fill = [&](int, void* p, int n, std::mt19937& rng) {
            if (op.size == 2)
                vqtest::fillMixed<int16_t>(p, n, rng, {INT16_MIN, INT16_MAX, 0, 1, -1, 2, -2});
            else
                vqtest::fillMixed<int32_t>(p, n, rng, {INT32_MIN, INT32_MAX, 0, 1, -1, 2, -2, 1 << 30});
        };
        const Param* begin = op.size == 2 ? params16 : params32;
        const size_t count = op.size == 2 ? std::size(params16) : std::size(params32);
        for (size_t k = 0; k < count; ++k) {
            const Param p = begin[k];
            vqtest::expectVectorPathsMatch(
                {op.size, op.size}, lengths, fill,
                [&](int path, uint8_t* const* b, int n) { return op.call(path, b[0], p.c, b[1], n, p.sf); },
                std::string(op.name) + " c " + std::to_string(p.c) + " sf " + std::to_string(p.sf));
        }
        if (!op.inPlace)
            vqtest::expectVectorPathsMatch(
                {op.size}, {1, 9, 23, 40}, fill,
                [&](int path, uint8_t* const* b, int n) { return op.call(path, b[0], -5, b[0], n, 1); },
                std::string(op.name) + " source = destination");
    }
}

// Constant 0 without scaling: a copy; in place nothing is touched.
// Above the width: zeros, the source unread. Checks before anything else.
TEST(VectorConst, ShortcutsAndChecks) {
    for (const ConstOp& op : kConstOps)
        for (int path : vqtest::allPaths()) {
            std::vector<uint8_t> a(12 * op.size), d(12 * op.size, 0x5A);
            for (size_t i = 0; i < a.size(); ++i)
                a[i] = static_cast<uint8_t>(i * 37 + 11);
            const auto original = a;
            const int32_t zeroConst = op.size == 2 ? 65536 : 0;
            ASSERT_EQ(op.call(path, a.data(), zeroConst, d.data(), 12, 0), primNoErr);
            EXPECT_EQ(op.inPlace ? a : d, original) << op.name;
            const int32_t beyond = op.size == 2 ? 17 : 33;
            ASSERT_EQ(op.call(path, a.data(), 9, d.data(), 12, beyond), primNoErr);
            EXPECT_EQ(op.inPlace ? a : d, std::vector<uint8_t>(a.size(), 0)) << op.name;
            std::fill(d.begin(), d.end(), 0x5A);
            a = original;
            EXPECT_EQ(op.call(path, nullptr, 1, d.data(), 0, 0), primErrNullPtr);
            if (!op.inPlace) {
                EXPECT_EQ(op.call(path, a.data(), 1, nullptr, 4, 0), primErrNullPtr);
            }
            EXPECT_EQ(op.call(path, a.data(), 1, d.data(), 0, 0), primErrSize);
            EXPECT_EQ(op.call(path, a.data(), 0, d.data(), -1, 0), primErrSize);
            EXPECT_EQ(a, original);
            EXPECT_EQ(d, std::vector<uint8_t>(d.size(), 0x5A));
        }
}

// ---- shifts ----------------------------------------------------------------------

// The shift by an independent rule: exact arithmetic on 64-bit values.
int64_t oracleShift(int64_t x, int bits, bool left, bool logical, int64_t s) {
    const uint64_t mask = (uint64_t(1) << bits) - 1;
    if (left) {
        const uint64_t u = s >= 64 ? 0 : (uint64_t(x) << s) & mask;
        const uint64_t top = uint64_t(1) << (bits - 1);
        return logical ? int64_t(u) : int64_t(u ^ top) - int64_t(top);
    }
    if (logical)
        return s >= bits ? 0 : int64_t((uint64_t(x) & mask) >> s);
    return x >> (s > 62 ? 62 : s);
}

struct ShiftOp {
    const char* name;
    int size;
    bool left, inPlace;
    int32_t (*call)(int path, void* a, int32_t s, void* d, int32_t n);
};

const ShiftOp kShiftOps[] = {
    {"shiftLeftVectorConst32s", 4, true, false,
     [](int p, void* a, int32_t s, void* d, int32_t n) {
         return shiftLeftVectorConst32sTable[p](static_cast<int32_t*>(a), s, static_cast<int32_t*>(d), n);
     }},
    {"shiftRightVectorConstInPlace32s", 4, false, true,
     [](int p, void* a, int32_t s, void*, int32_t n) {
         return shiftRightVectorConstInPlace32sTable[p](s, static_cast<int32_t*>(a), n);
     }},
    {"shiftRightVectorConst32s", 4, false, false,
     [](int p, void* a, int32_t s, void* d, int32_t n) {
         return shiftRightVectorConst32sTable[p](static_cast<int32_t*>(a), s, static_cast<int32_t*>(d), n);
     }},
    {"shiftLeftVectorConstInPlace16s", 2, true, true,
     [](int p, void* a, int32_t s, void*, int32_t n) {
         return shiftLeftVectorConstInPlace16sTable[p](s, static_cast<int16_t*>(a), n);
     }},
    {"shiftRightVectorConst16s", 2, false, false,
     [](int p, void* a, int32_t s, void* d, int32_t n) {
         return shiftRightVectorConst16sTable[p](static_cast<int16_t*>(a), s, static_cast<int16_t*>(d), n);
     }},
    {"shiftRightVectorConstInPlace16s", 2, false, true,
     [](int p, void* a, int32_t s, void*, int32_t n) {
         return shiftRightVectorConstInPlace16sTable[p](s, static_cast<int16_t*>(a), n);
     }},
};

TEST(VectorShift, WorkedValuesAndOracleOnEveryPath) {
    struct Worked {
        int size;
        bool left;
        int32_t s;
        int64_t x, want;
    };
    const Worked worked[] = {
        {4, true, 31, 1, INT32_MIN},          {4, true, 31, -1, INT32_MIN},       {4, true, 1, 1073741824, INT32_MIN},
        {4, true, 1, -(1 << 30) - 1, 2147483646}, {4, true, 3, -3, -24},         {4, false, 1, -1, -1},
        {4, false, 1, -5, -3},                {4, false, 1, 5, 2},                {4, false, 31, INT32_MIN, -1},
        {4, false, 31, INT32_MAX, 0},         {4, false, 32, -7, -1},             {4, false, 1000, 0, 0},
        {4, true, 32, 5, 0},                  {4, true, 1000, -5, 0},             {2, true, 4, 4095, -16},
        {2, true, 4, 2047, 32752},            {2, true, 4, -1, -16},              {2, true, 15, 1, -32768},
        {2, true, 1, 16384, -32768},          {2, false, 1, -1, -1},              {2, false, 1, -3, -2},
        {2, false, 1, 3, 1},                  {2, false, 15, -32768, -1},         {2, false, 15, 32767, 0},
        {2, false, 4, -16, -1},               {2, false, 16, -2, -1},             {2, false, 31, 5, 0},
        {2, true, 16, 7, 0},                  {2, true, 1000, -7, 0},
    };
    for (const ShiftOp& op : kShiftOps)
        for (int path : vqtest::allPaths()) {
            for (const Worked& w : worked) {
                if (w.size != op.size || w.left != op.left)
                    continue;
                std::vector<uint8_t> a(21 * op.size), d(21 * op.size);
                for (int i = 0; i < 21; ++i)
                    vqtest::setIntAt(a.data(), op.size, i, w.x);
                ASSERT_EQ(op.call(path, a.data(), w.s, d.data(), 21), primNoErr);
                for (int i = 0; i < 21; ++i)
                    ASSERT_EQ(vqtest::intAt(op.inPlace ? a.data() : d.data(), op.size, i), w.want)
                        << op.name << " " << vqtest::pathName(path) << " " << w.x << " by " << w.s;
            }
            std::mt19937 rng(path);
            for (int32_t s : {0, 1, 2, 5, 15, 16, 17, 30, 31, 32, 33, 1000, INT32_MAX}) {
                std::vector<uint8_t> a(33 * op.size), d(33 * op.size);
                for (auto& b : a)
                    b = static_cast<uint8_t>(rng());
                std::vector<int64_t> x(33);
                for (int i = 0; i < 33; ++i)
                    x[i] = vqtest::intAt(a.data(), op.size, i);
                ASSERT_EQ(op.call(path, a.data(), s, d.data(), 33), primNoErr);
                for (int i = 0; i < 33; ++i)
                    ASSERT_EQ(vqtest::intAt(op.inPlace ? a.data() : d.data(), op.size, i),
                              oracleShift(x[i], op.size * 8, op.left, false, s))
                        << op.name << " " << vqtest::pathName(path) << " " << x[i] << " by " << s;
            }
        }
}

TEST(VectorShift, EveryPathMatchesGeneric) {
    const auto lengths = vqtest::lengthsUpTo(40, {63, 100});
    for (const ShiftOp& op : kShiftOps) {
        const auto fill = [&](int, void* p, int n, std::mt19937& rng) {
            if (op.size == 2)
                vqtest::fillMixed<int16_t>(p, n, rng, {INT16_MIN, INT16_MAX, 0, -1});
            else
                vqtest::fillMixed<int32_t>(p, n, rng, {INT32_MIN, INT32_MAX, 0, -1});
        };
        for (int32_t s : {0, 1, 4, 15, 16, 31, 32, 1000}) {
            vqtest::expectVectorPathsMatch(
                {op.size, op.size}, lengths, fill,
                [&](int path, uint8_t* const* b, int n) { return op.call(path, b[0], s, b[1], n); },
                std::string(op.name) + " by " + std::to_string(s));
        }
        if (!op.inPlace)
            vqtest::expectVectorPathsMatch(
                {op.size}, {1, 17, 40}, fill,
                [&](int path, uint8_t* const* b, int n) { return op.call(path, b[0], 3, b[0], n); },
                std::string(op.name) + " in place");
    }
}

// Null pointer before length before negative count; the width and zero
// shortcuts go first where the entries hand them on.
TEST(VectorShift, ChecksInOrder) {
    for (const ShiftOp& op : kShiftOps)
        for (int path : vqtest::allPaths()) {
            std::vector<uint8_t> a(8 * op.size, 0x41), d(8 * op.size, 0x42);
            const auto a0 = a, d0 = d;
            const std::string what = std::string(op.name) + " " + vqtest::pathName(path);
            for (int32_t s : {0, 1, 16, 32, -1}) {
                EXPECT_EQ(op.call(path, nullptr, s, d.data(), 0), primErrNullPtr) << what << " " << s;
                EXPECT_EQ(op.call(path, a.data(), s, d.data(), 0), primErrSize) << what << " " << s;
                EXPECT_EQ(op.call(path, a.data(), s, d.data(), -4), primErrSize) << what << " " << s;
                if (!op.inPlace) {
                    EXPECT_EQ(op.call(path, a.data(), s, nullptr, 3), primErrNullPtr) << what << " " << s;
                }
            }
            EXPECT_EQ(op.call(path, a.data(), -1, d.data(), 3), primErrShift) << what;
            EXPECT_EQ(op.call(path, a.data(), INT32_MIN, d.data(), 3), primErrShift) << what;
            EXPECT_EQ(a, a0) << what;
            EXPECT_EQ(d, d0) << what;
        }
}

template <class T>
void invokeKernel(void (*f)(int32_t, T*, int32_t), const void*, int32_t c, void* d, int32_t n) {
    f(c, static_cast<T*>(d), n);
}
template <class T>
void invokeKernel(void (*f)(const T*, int32_t, T*, int32_t), const void* s, int32_t c, void* d, int32_t n) {
    f(static_cast<const T*>(s), c, static_cast<T*>(d), n);
}

// The kernels of the sets that no entry calls, against the element rule, at
// every length 1..40 and destination and source offset.
TEST(VectorShift, KernelSetMembers) {
    struct Kernel {
        const char* name;
        int size;
        bool left, logical, inPlace;
        void (*call)(int path, const void* src, int32_t s, void* dst, int32_t n);
    };
#define VQ_KERNEL_ROW(fn, sz, left, logical, inPlace)                                                      \
    {#fn, sz, left, logical, inPlace, [](int p, const void* s, int32_t c, void* d, int32_t n) {                \
         const decltype(&prim::p1::fn) forms[6] = {nullptr,      prim::p1::fn, prim::p2::fn,                  \
                                                   prim::p3::fn, prim::p4::fn, prim::p5::fn};                 \
         invokeKernel(forms[p], s, c, d, n);                                                                  \
     }}
    const Kernel kernels[] = {
        VQ_KERNEL_ROW(shiftLeftInPlace32s, 4, true, false, true),
        VQ_KERNEL_ROW(shiftRightInPlace32s, 4, false, false, true),
        VQ_KERNEL_ROW(shiftLeft32s, 4, true, false, false),
        VQ_KERNEL_ROW(shiftRight32s, 4, false, false, false),
        VQ_KERNEL_ROW(shiftLeftInPlace16s, 2, true, false, true),
        VQ_KERNEL_ROW(shiftRightInPlace16s, 2, false, false, true),
        VQ_KERNEL_ROW(shiftRightInPlace16u, 2, false, true, true),
        VQ_KERNEL_ROW(shiftLeft16s, 2, true, false, false),
        VQ_KERNEL_ROW(shiftRight16s, 2, false, false, false),
        VQ_KERNEL_ROW(shiftRight16u, 2, false, true, false),
        VQ_KERNEL_ROW(shiftLeftInPlace8u, 1, true, true, true),
        VQ_KERNEL_ROW(shiftRightInPlace8u, 1, false, true, true),
        VQ_KERNEL_ROW(shiftLeft8u, 1, true, true, false),
        VQ_KERNEL_ROW(shiftRight8u, 1, false, true, false),
    };
#undef VQ_KERNEL_ROW
    const auto value = [](const void* p, const Kernel& k, int i) -> int64_t {
        if (k.size == 1)
            return getAt<uint8_t>(p, i);
        if (k.size == 2)
            return k.logical ? int64_t(getAt<uint16_t>(p, i)) : int64_t(getAt<int16_t>(p, i));
        return getAt<int32_t>(p, i);
    };
    for (const Kernel& k : kernels)
        for (int path : vqtest::supportedPaths())
            for (int32_t s : {1, 3, 7, 8, 9, 15, 16, 17, 31})
                for (int n = 1; n <= 40; ++n)
                    for (int off = 0; off < 16; ++off) {
                        vqtest::GuardedImage src(n * k.size, 1, (off * 5 + n) % 16), dst(n * k.size, 1, off);
                        std::mt19937 rng(n * 131 + off + s);
                        src.fillRandom(rng);
                        if (k.inPlace)
                            dst.setPixels(src.pixels());
                        k.call(path, src.origin(), s, dst.origin(), n);
                        for (int i = 0; i < n; ++i)
                            ASSERT_EQ(value(dst.origin(), k, i),
                                      oracleShift(value(src.origin(), k, i), k.size * 8, k.left, k.logical, s))
                                << k.name << " " << vqtest::pathName(path) << " by " << s << " n " << n << " at " << i;
                        ASSERT_TRUE(dst.guardsIntact()) << k.name << " " << vqtest::pathName(path);
                    }
}

} // namespace
