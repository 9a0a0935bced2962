// Code-block encoder: statuses, pass structure, and round trips through our
// code-block decoder for random blocks over sizes, band kinds, mode flags and
// termination kinds, including truncation at every pass length and the
// distortion of every pass against the decoder's reconstruction.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "primitives/core/memory.h"
#include "primitives/j2k/codeblock/codeblock_decoder.h"
#include "primitives/j2k/codeblock/codeblock_encoder.h"
#include "primitives/j2k/codeblock/codeblock_encoder_context.h"

namespace {

struct Encoder {
    Encoder(int w = 64, int h = 64) { EXPECT_EQ(codeBlockEncoderCreate(&ctx, w, h), 0); }
    ~Encoder() { codeBlockEncoderFree(ctx); }
    Encoder(const Encoder&) = delete;
    Encoder& operator=(const Encoder&) = delete;
    CodeBlockEncoderContext* ctx = nullptr;
};

// A block of sign-magnitude words with a padded row step.
struct Block {
    Block(int w, int h) : width(w), height(h), stride(w + 5), words(size_t(stride) * h, 0) {}
    uint32_t& at(int x, int y) { return words[size_t(y) * stride + x]; }
    const int32_t* data() const { return reinterpret_cast<const int32_t*>(words.data()); }
    int32_t step() const { return stride * 4; }
    int width, height, stride;
    std::vector<uint32_t> words;
};

// Random magnitudes below 2^bits, a `zeros` share of them 0, random signs.
Block RandomBlock(std::mt19937& rng, int w, int h, int bits, double zeros) {
    Block b(w, h);
    std::uniform_real_distribution<double> u(0, 1);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            if (u(rng) < zeros)
                continue;
            // Skewed towards small values, as wavelet coefficients are.
            const int top = 1 + int(rng() % uint32_t(bits));
            uint32_t m = uint32_t(rng()) & ((top >= 32 ? 0u : (1u << top)) - 1u);
            if (bits == 31 && rng() % 8 == 0)
                m |= 0x40000000u;
            b.at(x, y) = m | (m && (rng() & 1) ? 0x80000000u : 0u);
        }
    return b;
}

struct Encoded {
    int32_t planes = -1, passes = -1, segments = -1;
    std::vector<uint8_t> bytes;
    std::vector<int32_t> lengths;
    std::vector<double> distortion;
    std::vector<int32_t> bytesPerPass, rawPerPass;
};

Encoded Encode(Encoder& e, const Block& b, int kind, int d, int term, uint32_t mode, int32_t piece = 1024) {
    Encoded r;
    EXPECT_EQ(codeBlockEncoderEncode(b.data(), b.step(), b.width, b.height, e.ctx, kind, d, term, 0, mode,
                                     &r.planes, &r.passes, &r.segments),
              0);
    std::vector<uint8_t> buf(static_cast<size_t>(piece));
    for (int calls = 0;; ++calls) {
        int32_t n = piece, more = -1;
        EXPECT_EQ(codeBlockEncoderGetStream(buf.data(), &n, e.ctx, &more), 0);
        r.bytes.insert(r.bytes.end(), buf.begin(), buf.begin() + n);
        if (!more)
            break;
        if (calls > 1000000) {
            ADD_FAILURE() << "GetStream never ends";
            break;
        }
    }
    for (int k = 0; k < r.passes; ++k) {
        int32_t len = -1;
        double dist = 0;
        EXPECT_EQ(codeBlockEncoderGetPassLength(e.ctx, k, &len), 0);
        EXPECT_EQ(codeBlockEncoderGetDistortion(e.ctx, k, &dist), 0);
        r.lengths.push_back(len);
        r.distortion.push_back(dist);
        r.bytesPerPass.push_back(e.ctx->state->bytesPerPass[k]);
        r.rawPerPass.push_back(e.ctx->state->rawPerPass[k]);
    }
    return r;
}

uint32_t DecoderFlags(uint32_t mode, int term) {
    return (mode & 0x1F) | (term == cbeTermPredictable ? cbdPredictableTerm : 0u);
}

// Decodes the first `passes` passes from data[0, limit) with our decoder;
// segments are located by the bytes each pass added.
std::vector<uint32_t> Decode(const Block& b, const Encoded& e, int kind, uint32_t mode, int term, int passes,
                             size_t limit, int32_t* status) {
    int32_t size = 0;
    EXPECT_EQ(codeBlockDecoderGetSize(b.width, b.height, &size), 0);
    std::vector<uint8_t> mem(size_t(size) + 32);
    void* ctx = mem.data();
    EXPECT_EQ(codeBlockDecoderInit(ctx), 0);
    std::vector<uint32_t> out(size_t(b.width) * b.height, 0x12345678u);
    EXPECT_EQ(codeBlockDecoderAttach(reinterpret_cast<int32_t*>(out.data()), b.width * 4, b.width, b.height, ctx,
                                     kind, e.planes, DecoderFlags(mode, term)),
              0);
    EXPECT_EQ(codeBlockDecoderSetPassCount(passes, ctx), 0);
    *status = 0;
    size_t start = 0, end = 0;
    for (int k = 0; k < e.passes; ++k) {
        end += size_t(e.bytesPerPass[size_t(k)]);
        const bool segmentEnd =
            (mode & cbeTermAll) || k + 1 == e.passes || e.rawPerPass[size_t(k)] != e.rawPerPass[size_t(k) + 1];
        if (!segmentEnd)
            continue;
        const size_t a = std::min(start, limit), z = std::min(end, limit);
        std::vector<uint8_t> seg(e.bytes.begin() + long(a), e.bytes.begin() + long(z));
        seg.reserve(1);
        *status = codeBlockDecoderDecodePass(seg.empty() ? reinterpret_cast<const uint8_t*>("") : seg.data(),
                                             int32_t(seg.size()), ctx);
        if (*status || k + 1 >= passes)
            break;
        start = end;
    }
    return out;
}

// Our decoder's reconstruction of a magnitude coded down to plane L.
uint32_t Reconstructed(uint32_t word, int L) {
    const uint32_t m = word & 0x7FFFFFFFu;
    if ((m >> L) == 0)
        return 0;
    return (word & 0x80000000u) | ((m >> L) << L) | ((1u << L) >> 1);
}

// Bytes per pass (r: raw) and the data, for failure messages.
std::string Dump(const Encoded& e) {
    std::string s = " planes " + std::to_string(e.planes) + ", bytes per pass";
    for (size_t k = 0; k < e.bytesPerPass.size(); ++k) {
        s += ' ';
        s += std::to_string(e.bytesPerPass[k]);
        s += e.rawPerPass[k] ? "r" : "";
    }
    s += ", data";
    for (uint8_t v : e.bytes) {
        s += ' ';
        s += std::to_string(v);
    }
    return s;
}

double Magnitude(uint32_t w) { return double(w & 0x7FFFFFFFu) * ((w >> 31) ? -1.0 : 1.0); }

} // namespace

TEST(CodeBlockEncoder, Statuses) {
    CodeBlockEncoderContext* c = nullptr;
    EXPECT_EQ(codeBlockEncoderCreate(nullptr, 4, 4), primErrNullPtr);
    EXPECT_EQ(codeBlockEncoderCreate(&c, 4, 0), primErrSize);
    EXPECT_EQ(codeBlockEncoderCreate(&c, 0, 4), primErrSize);
    EXPECT_EQ(codeBlockEncoderFree(nullptr), primErrNullPtr);

    Encoder e(8, 8);
    Block b(8, 8);
    int32_t m, p, s, n = 4, more;
    uint8_t buf[4];
    double dist;
    std::vector<uint32_t> wrong(64, 0);
    auto* bad = reinterpret_cast<CodeBlockEncoderContext*>(wrong.data());
    const auto enc = [&](CodeBlockEncoderContext* ctx, const int32_t* data, int32_t step, int w, int h, int d,
                         int32_t* pm, int32_t* pp, int32_t* ps) {
        return codeBlockEncoderEncode(data, step, w, h, ctx, 0, d, 1, 0, 0, pm, pp, ps);
    };
    EXPECT_EQ(enc(nullptr, b.data(), b.step(), 8, 8, 31, &m, &p, &s), primErrNullPtr);
    EXPECT_EQ(enc(bad, b.data(), b.step(), 8, 8, 31, &m, &p, &s), primErrContextMatch);
    EXPECT_EQ(enc(e.ctx, b.data(), b.step(), 8, 8, 31, nullptr, &p, &s), primErrNullPtr);
    EXPECT_EQ(enc(e.ctx, b.data(), b.step(), 8, 8, 31, &m, &p, nullptr), primErrNullPtr);
    EXPECT_EQ(enc(e.ctx, b.data(), b.step(), 8, 0, 31, &m, &p, &s), primErrSize);
    EXPECT_EQ(enc(e.ctx, b.data(), b.step(), 0, 8, 31, &m, &p, &s), primErrSize);
    EXPECT_EQ(enc(e.ctx, nullptr, b.step(), 8, 8, 31, &m, &p, &s), primErrNullPtr);
    EXPECT_EQ(enc(e.ctx, b.data(), 0, 8, 8, 31, &m, &p, &s), primErrStep);
    // Beyond the context's size, and a plane outside the words: refused.
    EXPECT_EQ(enc(e.ctx, b.data(), b.step(), 9, 8, 31, &m, &p, &s), primErrSize);
    EXPECT_EQ(enc(e.ctx, b.data(), b.step(), 8, 8, 32, &m, &p, &s), primErrSize);

    EXPECT_EQ(codeBlockEncoderGetStream(buf, &n, nullptr, &more), primErrNullPtr);
    EXPECT_EQ(codeBlockEncoderGetStream(buf, &n, bad, &more), primErrContextMatch);
    EXPECT_EQ(codeBlockEncoderGetStream(nullptr, &n, e.ctx, &more), primErrNullPtr);
    EXPECT_EQ(codeBlockEncoderGetStream(buf, &n, e.ctx, nullptr), primErrNullPtr);
    n = 0;
    EXPECT_EQ(codeBlockEncoderGetStream(buf, &n, e.ctx, &more), primErrSize);

    // An all-zero block: m 0, no pass, one segment (none when every pass
    // ends one), nothing delivered.
    EXPECT_EQ(enc(e.ctx, b.data(), b.step(), 8, 8, 31, &m, &p, &s), 0);
    EXPECT_EQ(m, 0);
    EXPECT_EQ(p, 0);
    EXPECT_EQ(s, 1);
    EXPECT_EQ(codeBlockEncoderEncode(b.data(), b.step(), 8, 8, e.ctx, 0, 31, 1, 0, cbeTermAll, &m, &p, &s), 0);
    EXPECT_EQ(s, 0);
    n = 4;
    more = -1;
    EXPECT_EQ(codeBlockEncoderGetStream(buf, &n, e.ctx, &more), 0);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(more, 0);
    EXPECT_EQ(codeBlockEncoderGetPassLength(e.ctx, 0, &n), primErrCodeBlockPass);
    EXPECT_EQ(codeBlockEncoderGetDistortion(e.ctx, 0, &dist), primErrCodeBlockPass);

    b.at(3, 3) = 5;
    EXPECT_EQ(enc(e.ctx, b.data(), b.step(), 8, 8, 31, &m, &p, &s), 0);
    EXPECT_EQ(m, 3);
    EXPECT_EQ(p, 7);
    EXPECT_EQ(codeBlockEncoderGetPassLength(e.ctx, -1, &n), primErrCodeBlockPass);
    EXPECT_EQ(codeBlockEncoderGetPassLength(e.ctx, 7, &n), primErrCodeBlockPass);
    EXPECT_EQ(codeBlockEncoderGetPassLength(e.ctx, 0, nullptr), primErrNullPtr);
    EXPECT_EQ(codeBlockEncoderGetDistortion(e.ctx, 0, nullptr), primErrNullPtr);
    EXPECT_EQ(codeBlockEncoderGetDistortion(bad, 0, &dist), primErrContextMatch);
    EXPECT_EQ(codeBlockEncoderGetPassLength(nullptr, 0, &n), primErrNullPtr);
    // A failed check leaves the recorded block alone.
    EXPECT_EQ(enc(e.ctx, b.data(), 0, 8, 8, 31, &m, &p, &s), primErrStep);
    EXPECT_EQ(e.ctx->state->passCount, 7);
}

TEST(CodeBlockEncoder, FailedAllocationLeavesNothing) {
    const UnderlyingAlloc saved = primUnderlyingAlloc;
    static int budget;
    primUnderlyingAlloc = [](std::size_t n) -> void* { return budget-- > 0 ? std::malloc(n) : nullptr; };
    for (int allowed = 0; allowed < 5; ++allowed) {
        budget = allowed;
        CodeBlockEncoderContext* c = reinterpret_cast<CodeBlockEncoderContext*>(&budget);
        EXPECT_EQ(codeBlockEncoderCreate(&c, 64, 64), primErrMemAlloc) << allowed;
        EXPECT_EQ(c, nullptr);
    }
    primUnderlyingAlloc = saved;
}

TEST(CodeBlockEncoder, PassStructure) {
    std::mt19937 rng(7);
    Encoder e(16, 16);
    struct Case {
        int d, top;  // lowest plane 31 - d, magnitude with top bit `top`
        uint32_t mode;
        int passes, segments;
    };
    const Case cases[] = {
        {31, 0, 0, 1, 1},                   // m - 1 = L: one cleanup pass
        {31, 7, 0, 22, 1},                  // 8 planes
        {29, 7, 0, 16, 1},                  // stops at plane 2
        {22, 7, 0, 0, 1},                   // m - 1 < L: no pass
        {31, 30, 0, 91, 1},                 // bit 30 set: m = 31
        {31, 7, cbeBypass, 22, 1 + 2 * 4},  // raw from the eleventh pass on
        {31, 3, cbeBypass, 10, 1},          // four planes: never raw
        {31, 7, cbeTermAll, 22, 22},
    };
    for (const Case& c : cases) {
        Block b = RandomBlock(rng, 16, 16, c.top > 0 ? c.top : 1, 0.3);
        b.at(5, 5) = (1u << c.top) | 1u;
        int32_t m, p, s;
        ASSERT_EQ(codeBlockEncoderEncode(b.data(), b.step(), 16, 16, e.ctx, 0, c.d, 1, 0, c.mode, &m, &p, &s), 0);
        EXPECT_EQ(m, c.top + 1);
        EXPECT_EQ(p, c.passes) << c.d << " " << c.top;
        EXPECT_EQ(s, c.segments) << c.d << " " << c.top;
        if (c.mode == cbeBypass && c.top == 7) {
            for (int k = 0; k < p; ++k) {
                EXPECT_EQ(e.ctx->state->rawPerPass[k], k < 10 ? 0 : (k - 10) % 3 == 2 ? 0 : 1) << k;
            }
        }
    }
}

// Round trips: every size class, band kind, mode and termination kind; the
// full data decodes to the coefficients (down to the lowest plane), each pass
// length decodes like that many passes, a one-byte capacity gives the same
// bytes and lengths, and each pass's distortion equals the squared error our
// decoder's reconstruction removes.
TEST(CodeBlockEncoder, RoundTripsThroughTheDecoder) {
    std::mt19937 rng(2024);
    const int sizes[][2] = {{1, 1}, {1, 7}, {7, 1}, {3, 5}, {4, 4}, {5, 9}, {16, 3}, {13, 17}, {32, 8}, {64, 64},
                            {64, 5}, {2, 64}, {33, 31}};
    const uint32_t modes[] = {0,
                              cbeVerticalCausal,
                              cbeBypass,
                              cbeTermAll,
                              cbeResetContexts,
                              cbeSegmentSymbol,
                              cbeBypass | cbeTermAll,
                              cbeBypass | cbeResetContexts | cbeSegmentSymbol | cbeVerticalCausal,
                              0x1F};
    Encoder e;
    for (const auto& sz : sizes)
        for (int kind = 0; kind < 4; ++kind)
            for (uint32_t mode : modes)
                for (int term = 0; term < 3; ++term) {
                    const int w = sz[0], h = sz[1];
                    const int bits = 1 + int(rng() % 14);
                    const double zeros = (rng() % 4) * 0.3;
                    const Block b = RandomBlock(rng, w, h, bits, zeros);
                    const int d = rng() % 4 == 0 ? 29 : 31;
                    const int L = 31 - d;
                    const Encoded full = Encode(e, b, kind, d, term, mode);
                    const std::string what = std::to_string(w) + "x" + std::to_string(h) + " kind " +
                                             std::to_string(kind) + " mode " + std::to_string(mode) + " term " +
                                             std::to_string(term) + " d " + std::to_string(d);
                    int32_t status = 0;
                    const std::vector<uint32_t> all =
                        Decode(b, full, kind, mode, term, full.passes, full.bytes.size(), &status);
                    ASSERT_EQ(status, 0) << what << Dump(full);
                    for (int y = 0; y < h; ++y)
                        for (int x = 0; x < w; ++x)
                            ASSERT_EQ(all[size_t(y) * w + x], Reconstructed(b.words[size_t(y) * b.stride + x], L))
                                << what << " at " << x << "," << y;

                    // The lengths only grow where no later exact length lowered them, and
                    // stay within the data.
                    for (int k = 0; k < full.passes; ++k) {
                        ASSERT_LE(size_t(full.lengths[size_t(k)]), full.bytes.size()) << what;
                        const std::vector<uint32_t> want =
                            Decode(b, full, kind, mode, term, k + 1, full.bytes.size(), &status);
                        ASSERT_EQ(status, 0) << what << " first " << k + 1 << " of " << full.passes << " passes";
                        const std::vector<uint32_t> cut =
                            Decode(b, full, kind, mode, term, k + 1, size_t(full.lengths[size_t(k)]), &status);
                        ASSERT_EQ(status, 0) << what << " pass " << k;
                        ASSERT_EQ(cut, want) << what << " truncated after pass " << k;
                    }
                    if (full.passes) {
                        EXPECT_EQ(size_t(full.lengths.back()) + (full.bytes.empty() || full.bytes.back() != 0xFF ? 0 : 1),
                                  full.bytes.size())
                            << what;
                    }

                    const Encoded single = Encode(e, b, kind, d, term, mode, 1);
                    EXPECT_EQ(single.bytes, full.bytes) << what;
                    EXPECT_EQ(single.lengths, full.lengths) << what;

                    // Distortion against the decoder's reconstruction: exact while the
                    // table index holds every bit below the plane (magnitudes below 2^7)
                    // and the lowest plane keeps a half step (L >= 1).
                    if (bits <= 7 && L >= 1 && !(mode & cbeBypass)) {
                        double before = 0;
                        for (int y = 0; y < h; ++y)
                            for (int x = 0; x < w; ++x) {
                                const double v = Magnitude(b.words[size_t(y) * b.stride + x]);
                                before += v * v;
                            }
                        for (int k = 0; k < full.passes; ++k) {
                            const std::vector<uint32_t> rec =
                                Decode(b, full, kind, mode, term, k + 1, full.bytes.size(), &status);
                            double after = 0;
                            for (int y = 0; y < h; ++y)
                                for (int x = 0; x < w; ++x) {
                                    const double v = Magnitude(b.words[size_t(y) * b.stride + x]) -
                                                     Magnitude(rec[size_t(y) * w + x]);
                                    after += v * v;
                                }
                            EXPECT_EQ(full.distortion[size_t(k)], (before - after) / double(1 << (2 * L)))
                                << what << " pass " << k;
                        }
                    }
                }
}

// With bypass the raw passes' distortion still follows the reconstruction;
// the exact-last-plane tables count the lowest plane as fully known.
TEST(CodeBlockEncoder, ExactLastPlaneCountsTheWholeError) {
    std::mt19937 rng(99);
    Encoder e;
    for (int trial = 0; trial < 20; ++trial) {
        const Block b = RandomBlock(rng, 17, 11, 7, 0.2);
        const Encoded r = Encode(e, b, trial % 4, 31, 1, cbeExactLastPlane | (trial & 1 ? uint32_t(cbeBypass) : 0u));
        if (!r.passes)
            continue;
        // Coded down to plane 0 with every bit below it in the table index,
        // the last pass leaves no error: the total is the block's energy.
        double energy = 0;
        for (uint32_t w : b.words) {
            const double v = Magnitude(w);
            energy += v * v;
        }
        EXPECT_EQ(r.distortion.back(), energy) << trial;
    }
}
