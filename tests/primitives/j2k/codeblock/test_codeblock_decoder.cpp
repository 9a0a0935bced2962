// Code-block decoder: statuses, the pass state machine, and exact decoding of
// code-blocks that opj_compress made from images the test writes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "j2k/byte_input.h"
#include "j2k/decoder/main_header.h"
#include "j2k/j2k_fixtures.h"
#include "primitives/j2k/codeblock/codeblock_decoder.h"
#include "support/test_env.h"

namespace {

// Context memory of the size GetSize asks for, at an odd offset so the
// alignment gap is exercised; ASan sees any write past its end.
// Context memory of exactly the size GetSize asks for, starting `offset`
// bytes past a 32-byte boundary and ending where the allocation ends, so ASan
// sees any write past it.
struct ContextMemory {
    explicit ContextMemory(int w, int h, int offset = 8) {
        int32_t size = 0;
        EXPECT_EQ(codeBlockDecoderGetSize(w, h, &size), 0);
        void* p = nullptr;
        EXPECT_EQ(posix_memalign(&p, 32, size_t(size) + offset), 0);
        base = static_cast<uint8_t*>(p);
        mem = base + offset;
        end = mem + size;
        EXPECT_EQ(codeBlockDecoderInit(mem), 0);
    }
    ~ContextMemory() { std::free(base); }
    ContextMemory(const ContextMemory&) = delete;
    ContextMemory& operator=(const ContextMemory&) = delete;
    CodeBlockDecoderContext* ctx() { return reinterpret_cast<CodeBlockDecoderContext*>(mem); }
    uint8_t* base;
    uint8_t* mem;
    uint8_t* end;
};

struct Coefficients {
    Coefficients(int w, int h, int pad = 3) : width(w), height(h), stride(w + pad), v(size_t(stride) * h, 0xDEADBEEF) {}
    int32_t* data() { return reinterpret_cast<int32_t*>(v.data()); }
    int32_t step() const { return stride * 4; }
    uint32_t at(int x, int y) const { return v[size_t(y) * stride + x]; }
    int width, height, stride;
    std::vector<uint32_t> v;
};

// ---- A minimal reader of one-packet code-streams ----

class BitReader {
public:
    BitReader(const std::string& s, size_t at) : s_(s), pos_(at) {}
    int Bit() {
        if (bits_ == 0) {
            const bool stuffed = last_ == 0xFF;
            last_ = uint8_t(s_.at(pos_++));
            cur_ = last_;
            bits_ = stuffed ? 7 : 8;
        }
        return (cur_ >> --bits_) & 1;
    }
    uint32_t Bits(int n) {
        uint32_t v = 0;
        while (n--)
            v = (v << 1) | uint32_t(Bit());
        return v;
    }
    size_t End() const { return pos_ + (last_ == 0xFF ? 1 : 0); }

private:
    const std::string& s_;
    size_t pos_;
    uint8_t last_ = 0, cur_ = 0;
    int bits_ = 0;
};

int FloorLog2(int v) {
    int r = 0;
    while (v >>= 1)
        ++r;
    return r;
}

struct OneBlock {
    int nbp = 0;
    int passes = 0;
    std::vector<std::string> segments;
    std::vector<int> segmentPasses;
};

// Passes per codeword segment for a block of nbp bit-planes under the mode.
std::vector<int> SegmentPlan(int passes, int nbp, int cbsty) {
    std::vector<int> plan;
    const bool termAll = cbsty & 4, bypass = cbsty & 1;
    int current = 0;
    for (int i = 0; i < passes; ++i) {
        ++current;
        const int kind = i == 0 ? 2 : (i - 1) % 3;  // 0 significance, 1 refinement, 2 cleanup
        const int plane = nbp - 1 - (i + 2) / 3;
        const bool rawRegion = bypass && plane < nbp - 4;
        bool end = termAll || i == passes - 1;
        if (bypass && !termAll) {
            // MQ up to the cleanup of plane nbp - 4, then raw pairs and single cleanups.
            if (kind == 2 && plane == nbp - 4)
                end = true;
            if (rawRegion && kind == 1)
                end = true;
            if (rawRegion && kind == 2)
                end = true;
        }
        if (end) {
            plan.push_back(current);
            current = 0;
        }
    }
    return plan;
}

// Reads the single packet of a one-tile, one-component, no-wavelet,
// one-layer, one-code-block stream.
OneBlock ReadOneBlock(const std::string& bytes, int guardBits, int epsilon, int cbsty) {
    OneBlock b;
    const size_t sod = j2ktest::FindMarker(bytes, kMarkerSOD);
    EXPECT_NE(sod, std::string::npos);
    BitReader r(bytes, sod + 2);
    EXPECT_EQ(r.Bit(), 1);  // packet not empty
    EXPECT_EQ(r.Bit(), 1);  // the block is included in layer 0
    int zero = 0;
    while (r.Bit() == 0)
        ++zero;
    b.nbp = guardBits + epsilon - 1 - zero;
    int n;
    if (!r.Bit()) n = 1;
    else if (!r.Bit()) n = 2;
    else if ((n = int(r.Bits(2))) < 3) n += 3;
    else if ((n = int(r.Bits(5))) < 31) n += 6;
    else n = int(r.Bits(7)) + 37;
    b.passes = n;
    int lblock = 3;
    while (r.Bit())
        ++lblock;
    b.segmentPasses = SegmentPlan(n, b.nbp, cbsty);
    std::vector<int> lengths;
    for (int p : b.segmentPasses)
        lengths.push_back(int(r.Bits(lblock + FloorLog2(p))));
    size_t at = r.End();
    for (int len : lengths) {
        b.segments.push_back(bytes.substr(at, len));
        at += len;
    }
    return b;
}

struct Fixture {
    std::vector<uint8_t> pixels;
    OneBlock block;
    int width, height;
};

Fixture MakeBlock(const std::string& name, int w, int h, const std::string& mode, uint32_t seed) {
    const std::string dir = vqtest::scratchDir("cbd_" + name);
    Fixture f;
    f.width = w;
    f.height = h;
    std::mt19937 rng(seed);
    f.pixels.resize(size_t(w) * h);
    for (size_t i = 0; i < f.pixels.size(); ++i) {
        // Smooth areas with noise and a few extremes, so every pass has work.
        const int base = int((i % w) * 3 + (i / w) * 2) % 256;
        f.pixels[i] = uint8_t(i % 13 == 0 ? (rng() & 1) * 255 : (base + int(rng() % 9)) & 0xFF);
    }
    const std::string pgm = dir + "/img.pgm";
    vqtest::writeFile(pgm, "P5\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n" +
                               std::string(f.pixels.begin(), f.pixels.end()));
    int cbw = 4, cbh = 4;
    while (cbw < w) cbw *= 2;
    while (cbh < h) cbh *= 2;
    if (cbw * cbh > 4096) cbh = 4096 / cbw;
    const std::string bytes = j2ktest::Compress(
        dir, pgm, "-n 1 -b " + std::to_string(cbw) + "," + std::to_string(cbh) + (mode.empty() ? "" : " -M " + mode));
    DJP2MainHeader h2;
    MemoryBoundedInputBE in;
    in.Attach(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    EXPECT_TRUE(h2.Read(in));
    const DJP2QuantParams& q = h2.Quant(0);
    f.block = ReadOneBlock(bytes, int(q.guardBits), q.llStep.second, mode.empty() ? 0 : std::stoi(mode));
    return f;
}

uint32_t ExpectedAfterPlane(int value, int p) {
    const uint32_t m = uint32_t(value < 0 ? -value : value);
    if ((m >> p) == 0)
        return 0;
    return (value < 0 ? 0x80000000u : 0) | ((m >> p) << p) | ((1u << p) >> 1);
}

uint32_t ModeFlags(int cbsty) {
    uint32_t f = 0x20000;
    if (cbsty & 1) f |= cbdBypass;
    if (cbsty & 2) f |= cbdResetContexts;
    if (cbsty & 4) f |= cbdTermAll;
    if (cbsty & 8) f |= cbdVerticalCausal;
    if (cbsty & 16) f |= cbdPredictableTerm;
    if (cbsty & 32) f |= cbdSegmentSymbol;
    return f & ~0x20000u;
}

// Decodes the block's segments; returns the last status.
int32_t DecodeAll(ContextMemory& m, Coefficients& c, const OneBlock& b, uint32_t flags, int passLimit = -1) {
    EXPECT_EQ(codeBlockDecoderAttach(c.data(), c.step(), c.width, c.height, m.ctx(), 0, b.nbp, flags), 0);
    EXPECT_EQ(codeBlockDecoderSetPassCount(passLimit < 0 ? b.passes : passLimit, m.ctx()), 0);
    int32_t status = 0;
    for (const std::string& s : b.segments) {
        // Each segment in an exact-size block, so a read past it is seen.
        std::vector<uint8_t> data(s.begin(), s.end());
        data.reserve(1);
        status = codeBlockDecoderDecodePass(data.empty() ? reinterpret_cast<const uint8_t*>("") : data.data(),
                                            int32_t(data.size()), m.ctx());
        if (status != 0)
            break;
    }
    return status;
}

struct ModeCase {
    const char* name;
    int w, h;
    const char* mode;
};

void PrintTo(const ModeCase& c, std::ostream* os) { *os << c.name; }

class CodeBlockDecoderOpj : public ::testing::TestWithParam<ModeCase> {};

} // namespace

TEST_P(CodeBlockDecoderOpj, DecodesTheEncodersBlockExactly) {
    const ModeCase& mc = GetParam();
    const Fixture f = MakeBlock(mc.name, mc.w, mc.h, mc.mode, 11);
    ASSERT_FALSE(f.block.segments.empty());
    const int cbsty = std::string(mc.mode).empty() ? 0 : std::stoi(mc.mode);
    ContextMemory m(mc.w, mc.h);
    Coefficients c(mc.w, mc.h);
    EXPECT_EQ(DecodeAll(m, c, f.block, ModeFlags(cbsty)), 0);
    int32_t left = -1;
    EXPECT_EQ(codeBlockDecoderGetPassCount(m.ctx(), &left), 0);
    EXPECT_EQ(left, 0);
    for (int y = 0; y < mc.h; ++y)
        for (int x = 0; x < mc.w; ++x)
            ASSERT_EQ(c.at(x, y), ExpectedAfterPlane(int(f.pixels[size_t(y) * mc.w + x]) - 128, 0))
                << x << "," << y;
    for (int y = 0; y < mc.h; ++y)
        EXPECT_EQ(c.at(mc.w, y), 0xDEADBEEFu);  // beyond the width: untouched

    if (cbsty & 8) {
        // Vertically causal: no coefficient in the last row of a stripe has
        // seen a significant coefficient of the next stripe.
        const CodeBlockDecoderContext* x = m.ctx();
        const uint8_t* rows = reinterpret_cast<const uint8_t*>(x->stateArea) + x->stateStride + 4;
        bool anyBelow = false;
        for (int y = 3; y + 1 < mc.h; y += 4)
            for (int col = 0; col < mc.w; ++col) {
                const uint32_t w = *reinterpret_cast<const uint32_t*>(rows + (y >> 1) * x->stateStride + 4 * col);
                EXPECT_EQ((w >> 16) & 0x13, 0u) << col << "," << y;
                anyBelow |= (c.at(col, y + 1) != 0);
            }
        EXPECT_TRUE(anyBelow || mc.h <= 4);
    }
}

TEST(CodeBlockDecoder, PartialDecodesHoldHalfTheLowestPlane) {
    // Segment mode cut by the pass count after the cleanup pass of plane p.
    for (const ModeCase& mc : {ModeCase{"p_plain", 64, 64, ""}, ModeCase{"p_odd", 17, 9, ""},
                               ModeCase{"p_reset", 32, 32, "2"}, ModeCase{"p_vsc", 30, 27, "8"},
                               ModeCase{"p_segsym", 19, 23, "32"}}) {
        SCOPED_TRACE(mc.name);
        const int cbsty = std::string(mc.mode).empty() ? 0 : std::stoi(mc.mode);
        const Fixture f = MakeBlock(mc.name, mc.w, mc.h, mc.mode, 11);
        ContextMemory m(mc.w, mc.h);
        for (int p = f.block.nbp - 1; p >= 1; --p) {
            Coefficients c(mc.w, mc.h);
            const int passes = 1 + 3 * (f.block.nbp - 1 - p);
            EXPECT_EQ(DecodeAll(m, c, f.block, ModeFlags(cbsty), passes), 0);
            for (int y = 0; y < mc.h; ++y)
                for (int x = 0; x < mc.w; ++x)
                    ASSERT_EQ(c.at(x, y), ExpectedAfterPlane(int(f.pixels[size_t(y) * mc.w + x]) - 128, p))
                        << "plane " << p << " at " << x << "," << y;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, CodeBlockDecoderOpj,
                         ::testing::Values(ModeCase{"plain_64", 64, 64, ""}, ModeCase{"plain_odd", 17, 9, ""},
                                           ModeCase{"tiny", 3, 2, ""}, ModeCase{"single", 1, 1, ""},
                                           ModeCase{"bypass", 40, 33, "1"}, ModeCase{"reset", 32, 32, "2"},
                                           ModeCase{"termall", 21, 18, "4"}, ModeCase{"vsc", 30, 27, "8"},
                                           ModeCase{"pterm", 32, 16, "16"}, ModeCase{"segsym", 19, 23, "32"},
                                           ModeCase{"bypass_termall", 32, 32, "5"},
                                           ModeCase{"bypass_pterm", 31, 29, "17"}, ModeCase{"all", 64, 64, "63"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CodeBlockDecoder, TruncatedAndDamagedSegmentsNeverReadOutside) {
    for (const char* mode : {"", "1", "5", "63"}) {
        const Fixture f = MakeBlock(std::string("trunc") + mode, 24, 20, mode, 3);
        const int cbsty = std::string(mode).empty() ? 0 : std::stoi(mode);
        ContextMemory m(24, 20);
        std::mt19937 rng(9);
        for (size_t cut = 0; cut <= f.block.segments[0].size(); ++cut) {
            OneBlock b = f.block;
            b.segments[0].resize(cut);
            if (cut % 3 == 1 && !b.segments[0].empty())
                b.segments[0][rng() % cut] ^= char(1 << (rng() % 8));
            Coefficients c(24, 20);
            const int32_t status = DecodeAll(m, c, b, ModeFlags(cbsty));
            EXPECT_TRUE(status == 0 || status == primErrCodeBlockData) << status;
        }
    }
}

TEST(CodeBlockDecoder, ContextSizeFollowsTheRealHeader) {
    // Rows of state words, 32-byte strides, plus the header and its alignment gap.
    struct Case { int w, h, stride, rows; };
    for (const Case& k : {Case{64, 64, 288, 34}, Case{32, 32, 160, 18}, Case{1, 1, 32, 3}, Case{1024, 4, 4128, 4},
                          Case{4, 1024, 32, 514}}) {
        int32_t size = 0;
        ASSERT_EQ(codeBlockDecoderGetSize(k.w, k.h, &size), 0);
        EXPECT_EQ(size, k.stride * k.rows + int32_t(sizeof(CodeBlockDecoderContext)) + 31) << k.w << "x" << k.h;
    }
    // The largest block fits in memory of exactly that size at every offset.
    for (int misalign = 0; misalign < 32; misalign += 8) {
        ContextMemory m(64, 64, misalign);
        Coefficients c(64, 64);
        EXPECT_EQ(codeBlockDecoderAttach(c.data(), c.step(), 64, 64, m.ctx(), 0, 8, 0), 0);
        const uint8_t* stateEnd = reinterpret_cast<const uint8_t*>(m.ctx()->stateArea) + 288 * 34;
        EXPECT_LE(stateEnd, m.end);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(m.ctx()->stateArea) % 32, 0u);
    }
}

TEST(CodeBlockDecoder, StatusTable) {
    int32_t size = 0;
    EXPECT_EQ(codeBlockDecoderGetSize(0, 0, nullptr), primErrSize);
    EXPECT_EQ(codeBlockDecoderGetSize(4, 0, &size), primErrSize);
    EXPECT_EQ(codeBlockDecoderGetSize(0, 4, &size), primErrSize);
    EXPECT_EQ(codeBlockDecoderGetSize(4, 4, nullptr), primErrNullPtr);
    EXPECT_EQ(codeBlockDecoderInit(nullptr), primErrNullPtr);

    ContextMemory m(8, 8);
    Coefficients c(8, 8);
    const uint8_t data[2] = {0, 0};
    // Before any Attach.
    EXPECT_EQ(codeBlockDecoderSetPassCount(3, m.ctx()), 0);
    EXPECT_EQ(codeBlockDecoderDecodePass(data, 2, m.ctx()), primErrCodeBlockNotAttached);
    EXPECT_EQ(codeBlockDecoderDecodePass(nullptr, 2, m.ctx()), primErrNullPtr);
    EXPECT_EQ(codeBlockDecoderDecodePass(data, 2, nullptr), primErrNullPtr);
    EXPECT_EQ(codeBlockDecoderGetPassCount(m.ctx(), nullptr), primErrNullPtr);
    EXPECT_EQ(codeBlockDecoderGetPassCount(nullptr, &size), primErrNullPtr);
    // Attach checks, in order.
    EXPECT_EQ(codeBlockDecoderAttach(c.data(), 32, 8, 8, nullptr, 0, 4, 0), primErrNullPtr);
    std::vector<uint8_t> wrong(size_t(m.end - m.mem), 0);
    EXPECT_EQ(codeBlockDecoderAttach(nullptr, 32, 8, 8, wrong.data(), 0, 4, 0), primErrContextMatch);
    EXPECT_EQ(codeBlockDecoderSetPassCount(1, wrong.data()), primErrContextMatch);
    EXPECT_EQ(codeBlockDecoderGetPassCount(wrong.data(), &size), primErrContextMatch);
    EXPECT_EQ(codeBlockDecoderDecodePass(data, 2, wrong.data()), primErrContextMatch);
    EXPECT_EQ(codeBlockDecoderAttach(nullptr, 32, 8, 8, m.ctx(), 0, 4, 0), primErrNullPtr);
    EXPECT_EQ(codeBlockDecoderAttach(c.data(), 0, 0, 8, m.ctx(), 0, 4, 0), primErrStep);
    EXPECT_EQ(codeBlockDecoderAttach(c.data(), 32, 0, 0, m.ctx(), 0, 4, 0), primErrSize);
    EXPECT_EQ(codeBlockDecoderAttach(c.data(), 32, 8, 0, m.ctx(), 0, 4, 0), primErrSize);

    // Attach clears exactly 4 x width bytes of each row.
    EXPECT_EQ(codeBlockDecoderAttach(c.data(), c.step(), 8, 8, m.ctx(), 0, 0, 0), 0);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x)
            EXPECT_EQ(c.at(x, y), 0u);
        EXPECT_EQ(c.at(8, y), 0xDEADBEEFu);
    }
    // nbp 0: nothing to decode.
    EXPECT_EQ(codeBlockDecoderSetPassCount(5, m.ctx()), 0);
    EXPECT_EQ(codeBlockDecoderDecodePass(data, 2, m.ctx()), 0);
    EXPECT_EQ(codeBlockDecoderGetPassCount(m.ctx(), &size), 0);
    EXPECT_EQ(size, 5);
    // With flag 0x20000 the buffer is left as it is.
    c.v.assign(c.v.size(), 7);
    EXPECT_EQ(codeBlockDecoderAttach(c.data(), c.step(), 8, 8, m.ctx(), 0, 3, cbdKeepCoefficients), 0);
    EXPECT_EQ(c.at(0, 0), 7u);
    // Passes left 0: nothing written.
    EXPECT_EQ(codeBlockDecoderDecodePass(data, 2, m.ctx()), 0);
    EXPECT_EQ(c.at(0, 0), 7u);
}

TEST(CodeBlockDecoder, ZeroCodingTablesBySubbandKind) {
    ContextMemory m(4, 4);
    Coefficients c(4, 4);
    const uint32_t upperLower = (1u << 4) | (1u << 5), leftRight = (1u << 6) | (1u << 7), diagonals = 0xF;
    struct Case { int kind; uint32_t bits; int ctx; };
    for (const Case& k : {Case{2, upperLower, 10}, Case{0, upperLower, 6}, Case{1, upperLower, 6},
                          Case{0, leftRight, 10}, Case{2, leftRight, 6}, Case{3, diagonals, 10},
                          Case{3, upperLower, 4}, Case{0, 1, 3}, Case{0, 0, 2}, Case{0, 3, 4}}) {
        ASSERT_EQ(codeBlockDecoderAttach(c.data(), c.step(), 4, 4, m.ctx(), k.kind, 3, 0), 0);
        EXPECT_EQ(m.ctx()->zeroCodingTable[k.bits], k.ctx) << k.kind << " " << k.bits;
    }
}

namespace {

// Runs DecodePass calls of a block with arbitrary data and records the pass
// state, bit-plane and passes left after each call.
struct Step { int32_t status, passesLeft, state, plane; };

std::vector<Step> Walk(uint32_t flags, int nbp, int passes, int calls) {
    ContextMemory m(16, 16);
    Coefficients c(16, 16);
    EXPECT_EQ(codeBlockDecoderAttach(c.data(), c.step(), 16, 16, m.ctx(), 0, nbp, flags), 0);
    EXPECT_EQ(codeBlockDecoderSetPassCount(passes, m.ctx()), 0);
    std::vector<uint8_t> data(40);
    std::mt19937 rng(1);
    for (auto& b : data)
        b = uint8_t(rng() & 0x7F);
    std::vector<Step> steps;
    for (int i = 0; i < calls; ++i) {
        Step s{codeBlockDecoderDecodePass(data.data(), int32_t(data.size()), m.ctx()), 0, m.ctx()->passState,
               m.ctx()->bitPlane};
        codeBlockDecoderGetPassCount(m.ctx(), &s.passesLeft);
        steps.push_back(s);
    }
    return steps;
}

} // namespace

TEST(CodeBlockDecoder, PassStateMachine) {
    {   // Termination on each pass, nbp 3: seven calls, then nothing. After the
        // last cleanup the bit-plane is below the threshold 0.
        const auto s = Walk(cbdTermAll, 3, 100, 8);
        const int states[8] = {2, 1, 0, 2, 1, 0, 5, 5};
        const int planes[8] = {1, 1, 1, 0, 0, 0, -1, -1};
        for (int i = 0; i < 8; ++i) {
            EXPECT_EQ(s[i].status, 0) << i;
            EXPECT_EQ(s[i].state, states[i]) << i;
            EXPECT_EQ(s[i].plane, planes[i]) << i;
            EXPECT_EQ(s[i].passesLeft, 100 - (i < 7 ? i + 1 : 7)) << i;
        }
    }
    {   // Segment mode without bypass: one call runs the block to its end.
        const auto s = Walk(0, 3, 1024, 2);
        EXPECT_EQ(s[0].passesLeft, 1017);
        EXPECT_EQ(s[1].passesLeft, 1017);
        EXPECT_EQ(s[0].plane, -1);
    }
    {   // Two passes from state 0: cleanup of plane 2 and significance of plane 1.
        const auto s = Walk(0, 3, 2, 1);
        EXPECT_EQ(s[0].passesLeft, 0);
        EXPECT_EQ(s[0].state, 0);
        EXPECT_EQ(s[0].plane, 1);
    }
    {   // Bypass with nbp 4: the threshold is 0, nothing is ever raw.
        const auto s = Walk(cbdBypass, 4, 1000, 1);
        EXPECT_EQ(s[0].passesLeft, 990);
        EXPECT_EQ(s[0].status, 0);
    }
}

TEST(CodeBlockDecoder, BypassSegmentsAlternateRawPairsAndCleanups) {
    // Real segments, so every raw termination check passes.
    for (const char* mode : {"1", "5"}) {
        const bool termAll = std::string(mode) == "5";
        const Fixture f = MakeBlock(std::string("walk") + mode, 40, 33, mode, 11);
        const int nbp = f.block.nbp;
        ASSERT_GE(nbp, 6);
        ContextMemory m(40, 33);
        Coefficients c(40, 33);
        ASSERT_EQ(codeBlockDecoderAttach(c.data(), c.step(), 40, 33, m.ctx(), 0, nbp, ModeFlags(std::stoi(mode))), 0);
        ASSERT_EQ(codeBlockDecoderSetPassCount(f.block.passes, m.ctx()), 0);
        int32_t before = f.block.passes;
        for (size_t i = 0; i < f.block.segments.size(); ++i) {
            SCOPED_TRACE(std::string(mode) + " segment " + std::to_string(i));
            const std::string& seg = f.block.segments[i];
            ASSERT_EQ(codeBlockDecoderDecodePass(reinterpret_cast<const uint8_t*>(seg.data()), int32_t(seg.size()),
                                                 m.ctx()),
                      0);
            int32_t left = 0;
            codeBlockDecoderGetPassCount(m.ctx(), &left);
            EXPECT_EQ(before - left, f.block.segmentPasses[i]);
            before = left;
            if (!termAll && i == 0) {
                EXPECT_EQ(before, f.block.passes - 10);  // cleanup and three full MQ planes
                EXPECT_EQ(m.ctx()->passState, 5);
                EXPECT_EQ(m.ctx()->bitPlane, nbp - 5);
            } else if (!termAll && left > 0) {
                EXPECT_EQ(m.ctx()->passState, i % 2 == 1 ? 3 : 5);
            }
        }
        EXPECT_EQ(before, 0);
    }
}

TEST(CodeBlockDecoder, SegmentationSymbolFailureSticksUntilAttach) {
    ContextMemory m(8, 8);
    Coefficients c(8, 8);
    const uint8_t zeros[16] = {};
    ASSERT_EQ(codeBlockDecoderAttach(c.data(), c.step(), 8, 8, m.ctx(), 0, 1, cbdSegmentSymbol), 0);
    ASSERT_EQ(codeBlockDecoderSetPassCount(1, m.ctx()), 0);
    // Zero bytes make every uniform decision the same, never 1, 0, 1, 0.
    EXPECT_EQ(codeBlockDecoderDecodePass(zeros, 16, m.ctx()), primErrCodeBlockData);
    int32_t left = -1;
    codeBlockDecoderGetPassCount(m.ctx(), &left);
    EXPECT_EQ(left, 1);  // segment mode counts only passes that succeeded
    ASSERT_EQ(codeBlockDecoderSetPassCount(1, m.ctx()), 0);
    EXPECT_EQ(codeBlockDecoderDecodePass(zeros, 16, m.ctx()), primErrCodeBlockData);
    ASSERT_EQ(codeBlockDecoderAttach(c.data(), c.step(), 8, 8, m.ctx(), 0, 1, 0), 0);
    ASSERT_EQ(codeBlockDecoderSetPassCount(1, m.ctx()), 0);
    EXPECT_EQ(codeBlockDecoderDecodePass(zeros, 16, m.ctx()), 0);
}

TEST(CodeBlockDecoder, RawRefinementTerminationCheck) {
    // Five significant coefficients in one row: the raw refinement pass reads
    // five bits, and the three unread bits must be 0, 1, 0.
    struct Case { uint8_t byte; int32_t status; };
    for (const Case& k : {Case{0xFA, 0}, Case{0xFE, primErrCodeBlockData}, Case{0x02, 0}}) {
        ContextMemory m(5, 1);
        Coefficients c(5, 1);
        ASSERT_EQ(codeBlockDecoderAttach(c.data(), c.step(), 5, 1, m.ctx(), 0, 6, cbdTermAll | cbdBypass), 0);
        CodeBlockDecoderContext* x = m.ctx();
        uint8_t* row = reinterpret_cast<uint8_t*>(x->stateArea) + x->stateStride + 4;
        for (int col = 0; col < 5; ++col) {
            reinterpret_cast<uint32_t*>(row)[col] = 0x8000;  // significant, not visited
            c.v[col] = 0x30;
        }
        x->passState = 4;
        x->bitPlane = 1;
        ASSERT_EQ(codeBlockDecoderSetPassCount(1, x), 0);
        EXPECT_EQ(codeBlockDecoderDecodePass(&k.byte, 1, x), k.status) << int(k.byte);
        if (k.status == 0)
            for (int col = 0; col < 5; ++col)  // bit 1 from the byte, half of bit 0 below
                EXPECT_EQ(c.v[col], 0x30u | ((k.byte >> (7 - col)) & 1) << 1 | 1u) << col;
        EXPECT_EQ(x->passState, 3);
    }
}
