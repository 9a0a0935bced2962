// Encoder code-block stage: the structure over a tile's bands and the coded
// blocks, each decoded back by our code-block decoder.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "j2k/decoder/tile.h"
#include "j2k/encoder/codeblock_stage.h"
#include "primitives/j2k/codeblock/codeblock_decoder.h"

namespace {

// An expounded quantisation record: LL exponent and per level (0 finest)
// the HL, LH and HH exponents.
DJP2QuantParams Quant(uint32_t levels, int32_t ll, const std::vector<std::array<int32_t, 3>>& perLevel) {
    DJP2QuantParams q;
    q.style = 2;
    q.levelCount = levels;
    q.tableLevels = levels;
    q.llStep = IntPair(0, ll);
    q.levelSteps.Resize(levels);
    for (uint32_t i = 0; i < levels; ++i)
        q.levelSteps[i] = DJP2QuantTriple{IntPair(0, perLevel[i][0]), IntPair(0, perLevel[i][1]),
                                         IntPair(0, perLevel[i][2])};
    q.missing = 0;
    return q;
}

std::array<uint32_t, 33> Filled(uint32_t v) {
    std::array<uint32_t, 33> a;
    a.fill(v);
    return a;
}

// Decodes every pass of a coded block into sign-magnitude words.
std::vector<uint32_t> DecodeBlock(const EncoderCodeBlock& cb, uint32_t w, uint32_t h, uint32_t code, int32_t planes) {
    int32_t size = 0;
    EXPECT_EQ(codeBlockDecoderGetSize(int32_t(w), int32_t(h), &size), 0);
    std::vector<uint8_t> mem(size_t(size) + 32);
    EXPECT_EQ(codeBlockDecoderInit(mem.data()), 0);
    std::vector<uint32_t> out(size_t(w) * h, 0xABABABABu);
    EXPECT_EQ(codeBlockDecoderAttach(reinterpret_cast<int32_t*>(out.data()), int32_t(4 * w), int32_t(w), int32_t(h),
                                     mem.data(), int32_t(code), planes, 0),
              0);
    EXPECT_EQ(codeBlockDecoderSetPassCount(int32_t(cb.passCount), mem.data()), 0);
    std::vector<uint8_t> data(cb.bytes);
    data.reserve(1);
    EXPECT_EQ(codeBlockDecoderDecodePass(data.empty() ? reinterpret_cast<const uint8_t*>("") : data.data(),
                                         int32_t(data.size()), mem.data()),
              0);
    return out;
}

uint32_t SignMagnitude(int64_t v) { return v < 0 ? 0x80000000u | uint32_t(-v) : uint32_t(v); }

} // namespace

// Band sizes, code-block grids, ranges and shifts for sizes with odd sides
// and up to five levels; every band is one precinct.
TEST(EncoderCodeBlockStage, SetupFollowsTheBands) {
    struct Case {
        uint32_t w, h, levels, depth;
    };
    const Case cases[] = {{1, 1, 0, 8}, {1, 1, 3, 8}, {65, 3, 2, 8}, {130, 64, 5, 9}, {200, 129, 4, 12}};
    for (const Case& k : cases) {
        std::vector<std::array<int32_t, 3>> ex;
        for (uint32_t i = 0; i < k.levels; ++i)
            ex.push_back({int32_t(10 + i), int32_t(11 + i), int32_t(12 + i)});
        const DJP2QuantParams q = Quant(k.levels, 7, ex);
        const J2KRect rect(0, 0, k.w, k.h);
        const auto p15 = Filled(15), b6 = Filled(6);
        EncoderTile tile;
        tile.setup(&rect, &p15, &p15, &b6, &b6, &k.depth, &q, &k.levels, 1);
        ASSERT_EQ(tile.componentCount(), 1u);
        EXPECT_EQ(tile.resolutionCount(0), k.levels + 1);
        SubbandPlanes reference;  // the decoder's band geometry
        reference.rect = rect;
        reference.levels = k.levels;
        for (uint32_t r = 0; r <= k.levels; ++r) {
            EXPECT_EQ(tile.precinctCount(0, r), 1u);
            EncoderBand* bands[3];
            const uint32_t n = tile.bandsOf(0, r, bands);
            ASSERT_EQ(n, r == 0 ? 1u : 3u);
            for (uint32_t b = 0; b < n; ++b) {
                const EncoderBand& band = *bands[b];
                const uint32_t i = k.levels - r;  // level index of resolution r >= 1
                const uint32_t code = r == 0 ? 0 : b == 0 ? 2 : b == 1 ? 1 : 3;
                const J2KRect want = r == 0 ? reference.LLRect() : reference.BandRectOf(i, code);
                const std::string what = std::to_string(k.w) + "x" + std::to_string(k.h) + " r " +
                                         std::to_string(r) + " band " + std::to_string(code);
                EXPECT_EQ(band.code, code) << what;
                EXPECT_EQ(band.rect.width, want.width) << what;
                EXPECT_EQ(band.rect.height, want.height) << what;
                EXPECT_EQ(band.rangeBits, int32_t(k.depth + (code == 0 ? 0 : code == 3 ? 2 : 1))) << what;
                const int32_t exponent = r == 0 ? 7 : ex[i][code == 2 ? 0 : code == 1 ? 1 : 2];
                EXPECT_EQ(band.shift, band.rangeBits - exponent) << what;
                if (want.Empty()) {
                    EXPECT_TRUE(band.precincts.empty()) << what;
                    continue;
                }
                ASSERT_EQ(band.precincts.size(), 1u) << what;
                const EncoderPrecinct& p = band.precincts[0];
                const uint32_t cols = (want.width + 63) / 64, rows = (want.height + 63) / 64;
                EXPECT_EQ(p.blocks.size(), size_t(cols) * rows) << what;
                EXPECT_EQ(p.inclusion.columns, cols) << what;
                EXPECT_EQ(p.zeroPlanes.rows, rows) << what;
                // The last block of the grid holds the band's remainder.
                const J2KRect last = p.blockPartition.Cell(cols * rows - 1);
                EXPECT_EQ(last.x0 + last.width, want.width) << what;
                EXPECT_EQ(last.y0 + last.height, want.height) << what;
                EXPECT_EQ(last.width, want.width - 64 * (cols - 1)) << what;
            }
        }
    }
}

// Every block of a two-component tile decodes back to its shifted samples;
// pass records chain their lengths over the coded bytes; all-zero blocks
// have no pass and every plane missing.
TEST(EncoderCodeBlockStage, CodedBlocksDecodeBack) {
    std::mt19937 rng(8);
    const uint32_t levels[2] = {2, 0};
    const uint32_t depths[2] = {8, 9};
    const J2KRect rects[2] = {J2KRect(0, 0, 150, 70), J2KRect(0, 0, 33, 1)};
    // Shifts: LL s = 0, HL left by 2, LH right by 1, HH 0; the second
    // component's LL left by 1.
    const DJP2QuantParams quant[2] = {Quant(2, 8, {{7, 10, 10}, {7, 10, 10}}), Quant(0, 8, {})};
    const auto p15 = Filled(15), b6 = Filled(6);
    const std::array<uint32_t, 33> px[2] = {p15, p15}, bx[2] = {b6, b6};
    EncoderTile tile;
    tile.setup(rects, px, px, bx, bx, depths, quant, levels, 2);

    SubbandPlanes planes[2];
    std::vector<std::vector<int32_t>> originals;  // per plane, in encoding order
    auto fill = [&](const DJP2PlaneBuffer& p, bool zero) {
        std::vector<int32_t> v;
        for (int32_t y = 0; y < p.Size().second; ++y)
            for (int32_t x = 0; x < p.Size().first; ++x) {
                const int32_t s = zero ? 0 : int32_t(rng() % 401) - 200;
                p.Row(y)[x] = s;
                v.push_back(s);
            }
        originals.push_back(v);
    };
    for (int c = 0; c < 2; ++c) {
        planes[c].Build(rects[c], levels[c]);
        fill(planes[c].ll, false);
        for (uint32_t i = 0; i < levels[c]; ++i) {
            fill(planes[c].level[i].hl, false);
            fill(planes[c].level[i].lh, i == 1);  // a band of zeros
            fill(planes[c].level[i].hh, false);
        }
    }
    EncoderBlockCoder coder;
    tile.encodeCodeBlocks(coder, planes);

    size_t plane = 0;
    auto check = [&](const EncoderBand& band, const std::string& what) {
        const std::vector<int32_t>& orig = originals[plane++];
        for (const EncoderPrecinct& p : band.precincts)
            for (uint32_t k = 0; k < p.blocks.size(); ++k) {
                const EncoderCodeBlock& cb = p.blocks[k];
                const J2KRect r = p.blockPartition.Cell(k);
                const std::string at = what + " block " + std::to_string(k);
                ASSERT_EQ(cb.passes.size(), cb.passCount) << at;
                uint32_t start = 0;
                for (const CodingPass& pass : cb.passes) {
                    EXPECT_EQ(pass.start, start) << at;
                    EXPECT_EQ(pass.data, cb.bytes.data() + pass.start) << at;
                    EXPECT_EQ(pass.layer, 0) << at;
                    EXPECT_EQ(pass.slope, -1.0) << at;
                    start = pass.end;
                }
                if (cb.passCount) {
                    EXPECT_LE(cb.passes.back().end, cb.bytes.size()) << at;
                }
                const int32_t m = band.rangeBits + coder.guardBits - 1 - int32_t(cb.missingPlanes);
                bool allZero = true;
                for (uint32_t y = 0; y < r.height; ++y)
                    for (uint32_t x = 0; x < r.width; ++x)
                        allZero = allZero && orig[size_t(r.y0 + y) * band.rect.width + r.x0 + x] == 0;
                if (allZero) {
                    EXPECT_EQ(cb.passCount, 0u) << at;
                    EXPECT_EQ(cb.missingPlanes, uint32_t(band.rangeBits + coder.guardBits - 1)) << at;
                    continue;
                }
                const std::vector<uint32_t> got = DecodeBlock(cb, r.width, r.height, band.code, m);
                for (uint32_t y = 0; y < r.height; ++y)
                    for (uint32_t x = 0; x < r.width; ++x) {
                        const int64_t v = orig[size_t(r.y0 + y) * band.rect.width + r.x0 + x];
                        const int32_t s = band.shift;
                        // Left shifts are coded down to plane s, where the decoder adds
                        // half a step; right shifts drop the low bits first.
                        uint32_t want;
                        if (s > 0) {
                            want = v == 0 ? 0 : SignMagnitude(v * (int64_t(1) << s)) | (1u << (s - 1));
                        } else {
                            const int64_t shifted = v >> -s;
                            want = SignMagnitude(shifted);
                        }
                        ASSERT_EQ(got[size_t(y) * r.width + x], want) << at << " at " << x << "," << y;
                    }
            }
    };
    for (int c = 0; c < 2; ++c) {
        const EncoderComponent& comp = tile.components[c];
        const std::string component = std::string("component ") += std::to_string(c);
        check(comp.ll, component + " LL");
        for (uint32_t i = 0; i < levels[c]; ++i) {
            const std::string level = component + " level " + std::to_string(i);
            check(comp.resolutions[i].hl, level + " HL");
            check(comp.resolutions[i].lh, level + " LH");
            check(comp.resolutions[i].hh, level + " HH");
        }
    }
    EXPECT_EQ(plane, originals.size());

    // The packet writer's positions go back to the first pass.
    tile.components[0].ll.precincts[0].blocks[0].nextPass = 3;
    tile.components[0].resolutions[1].hh.precincts[0].blocks[0].nextPass = 2;
    tile.resetPassPositions();
    EXPECT_EQ(tile.components[0].ll.precincts[0].blocks[0].nextPass, 0u);
    EXPECT_EQ(tile.components[0].resolutions[1].hh.precincts[0].blocks[0].nextPass, 0u);
}
