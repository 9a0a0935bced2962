// Whole-decoder tests on patched code-streams: segments the decoder must
// refuse or read past in tile-part headers, streams cut after an early layer,
// and a sweep of truncated and corrupted streams that must never crash.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "j2k/decode_harness.h"
#include "j2k/j2k_fixtures.h"

namespace {

using namespace j2ktest;

uint32_t Get32(const std::string& b, size_t at) {
    return uint32_t(uint8_t(b[at])) << 24 | uint32_t(uint8_t(b[at + 1])) << 16 | uint32_t(uint8_t(b[at + 2])) << 8 |
           uint8_t(b[at + 3]);
}
void Put32(std::string& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = char(v >> (24 - 8 * i));
}

// Inserts a marker segment right after the first SOT segment and grows that
// tile-part's length to match.
std::string InsertInFirstTilePart(std::string bytes, const std::string& segment) {
    const size_t sot = FindMarker(bytes, 0xFF90);
    EXPECT_NE(sot, std::string::npos);
    const uint32_t psot = Get32(bytes, sot + 6);
    if (psot)
        Put32(bytes, sot + 6, psot + uint32_t(segment.size()));
    bytes.insert(sot + 12, segment);
    return bytes;
}

size_t CountContaining(const std::vector<std::string>& list, const std::string& text) {
    size_t n = 0;
    for (const std::string& s : list)
        n += s.find(text) != std::string::npos;
    return n;
}

bool SameSamples(const DecodeResult& r, const RawImage& src) {
    return r.ok && r.planes.size() == 1 && r.planes[0] == src.planes[0];
}

std::string Bytes(std::initializer_list<int> v) {
    std::string s;
    for (int b : v)
        s.push_back(char(b));
    return s;
}

struct HeaderCase {
    const char* name;
    std::string segment;
    const char* error;    // text the refusal carries, or null when decoding goes on
    const char* warning;  // a warning that must be raised when decoding goes on
};

TEST(DecodeTilePartHeader, RefusesWhatItCannotDecodeAndReadsPastTheRest) {
    const std::string dir = TestDir();
    const RawImage src = MakeRaw(dir, "src", 21, 17, 1, 8, false, 3);
    const std::string stream = Compress(dir, src.path, "-F " + src.Format() + " -n 1");
    const DecodeResult plain = DecodeLowBands(stream);
    ASSERT_TRUE(SameSamples(plain, src));
    // A COC that restates the main header's coding style for component 0:
    // no decomposition levels, 64 x 64 code-blocks, default style, 5/3.
    const std::string coc0 = Bytes({0xFF, 0x53, 0, 9, 0, 0, 0, 4, 4, 0, 1});
    const std::vector<HeaderCase> cases = {
        {"RGN", Bytes({0xFF, 0x5E, 0, 5, 0, 0, 3}), "RGN", nullptr},
        {"PPT", Bytes({0xFF, 0x61, 0, 4, 0, 0x80}), "PPT", nullptr},
        {"PPM", Bytes({0xFF, 0x60, 0, 4, 0, 0x80}), "PPM", nullptr},
        {"COC past the components", Bytes({0xFF, 0x53, 0, 9, 1, 0, 0, 4, 4, 0, 1}), "COC", nullptr},
        {"QCC past the components", Bytes({0xFF, 0x5D, 0, 5, 5, 0x40, 0x48}), "QCC", nullptr},
        {"COC repeated", coc0 + coc0, nullptr, "Extra COC marker was found in tile-part header"},
        {"unknown marker", Bytes({0xFF, 0x70, 0, 4, 1, 2}), nullptr, "Unknown marker was found in tile-part header"},
        {"COM", Bytes({0xFF, 0x64, 0, 5, 0, 1, 'x'}), nullptr, "COM marker"},
    };
    for (const HeaderCase& k : cases) {
        SCOPED_TRACE(k.name);
        const DecodeResult r = DecodeLowBands(InsertInFirstTilePart(stream, k.segment));
        if (k.error) {
            EXPECT_FALSE(r.ok);
            EXPECT_NE(r.error.find(k.error), std::string::npos) << r.error;
        } else {
            EXPECT_TRUE(SameSamples(r, src)) << r.error;
            EXPECT_EQ(CountContaining(r.warnings, k.warning), CountContaining(plain.warnings, k.warning) + 1);
        }
    }
}

// Cuts a single-tile stream with one packet per layer (SOP on every packet)
// before packet `keep`, mends the tile-part length and ends it with EOC.
std::string KeepPackets(const std::string& bytes, int keep) {
    size_t at = 0;
    for (int i = 0; i <= keep; ++i) {
        at = FindMarker(bytes, 0xFF91, i ? at + 2 : 0);
        EXPECT_NE(at, std::string::npos);
        if (at == std::string::npos)
            return bytes;
    }
    std::string cut = bytes.substr(0, at);
    const size_t sot = FindMarker(cut, 0xFF90);
    Put32(cut, sot + 6, uint32_t(at - sot));
    return cut + Bytes({0xFF, 0xD9});
}

TEST(DecodeMissingLayers, DecodesTheLayersReceived) {
    const std::string dir = TestDir();
    const RawImage src = MakeRaw(dir, "src", 64, 48, 1, 8, false, 11);
    // One codeword segment over all layers, bypass segments, and segments
    // terminated on every pass: each decodes the layers it was given.
    for (const char* mode : {"", "-M 1", "-M 4", "-M 37"}) {
        SCOPED_TRACE(mode);
        const std::string full =
            Compress(dir, src.path, "-F " + src.Format() + " -n 1 -SOP -r 6,3,1 " + std::string(mode));
        ASSERT_TRUE(SameSamples(DecodeLowBands(full), src));
        // Coefficients left at zero would give a flat grey image.
        const double flat = Psnr(src.planes[0], std::vector<int32_t>(src.planes[0].size(), 128), 255);
        double previous = flat;
        for (int layers : {1, 2}) {
            SCOPED_TRACE(layers);
            const std::string cut = KeepPackets(full, layers);
            const DecodeResult r = DecodeLowBands(cut);
            ASSERT_TRUE(r.ok) << r.error;
            // The reference decoder reads the same cut stream; its
            // reconstruction of a cut pass may differ in the last bits.
            const std::vector<std::vector<int32_t>> ref = ReferenceDecode(dir, cut);
            ASSERT_EQ(ref.size(), 1u);
            EXPECT_GT(Psnr(ref[0], r.planes[0], 255), 35.0);
            // Each layer received brings the samples closer to the source.
            const double vsSrc = Psnr(src.planes[0], r.planes[0], 255);
            EXPECT_GT(vsSrc, previous + 0.5);
            previous = vsSrc;
        }
    }
}

// Every cut of the tile-part data and damaged bytes all over it: decoding
// ends with a result or a diagnostic, never out of bounds (the sanitizers
// watch every run). A stream that lost its end is refused.
void Sweep(const std::string& stream, DecodeResult (*decode)(const std::string&), size_t components) {
    const DecodeResult whole = decode(stream);
    ASSERT_TRUE(whole.ok) << whole.error;
    const size_t first = FindMarker(stream, 0xFF90);
    ASSERT_NE(first, std::string::npos);
    for (size_t n = first; n < stream.size(); ++n) {
        const DecodeResult r = decode(stream.substr(0, n));
        EXPECT_FALSE(r.ok) << "cut at " << n << " of " << stream.size();
    }
    std::mt19937 rng(5);
    for (size_t i = first; i < stream.size(); ++i)
        for (int k = 0; k < 2; ++k) {
            std::string damaged = stream;
            damaged[i] = char(k == 0 ? ~damaged[i] : damaged[i] ^ char(1 + rng() % 255));
            const DecodeResult r = decode(damaged);
            if (r.ok) {
                EXPECT_EQ(r.planes.size(), components);
            }
        }
}

TEST(DecodeDamagedStreams, NeverReadOutOfBounds) {
    const std::string dir = TestDir();
    const RawImage rgb = MakeRaw(dir, "rgb", 24, 20, 3, 8, false, 21);
    const RawImage grey = MakeRaw(dir, "grey", 24, 20, 1, 12, true, 22);
    const RawImage grey8 = MakeRaw(dir, "grey8", 24, 20, 1, 8, false, 23);
    Sweep(Compress(dir, rgb.path, "-F " + rgb.Format() + " -n 1 -mct 0 -t 16,16 -r 6,3,1 -SOP -EPH -b 8,8"),
          DecodeLowBands, 3);
    Sweep(Compress(dir, grey8.path, "-F " + grey8.Format() + " -n 1 -M 63 -r 4,2,1 -b 8,8"), DecodeLowBands, 1);
    Sweep(Compress(dir, grey.path,
                   "-F " + grey.Format() + " -n 1 -TP L -r 4,2,1 -PLT -TLM -p RPCL -c [8,8] -M 1"),
          DecodeLowBands, 1);
}

TEST(DecodeDamagedStreams, ThroughWaveletAndColourTransform) {
    const std::string dir = TestDir();
    const RawImage rgb = MakeRaw(dir, "rgb", 21, 18, 3, 8, false, 24);
    const RawImage rgba = MakeRaw(dir, "rgba", 20, 17, 4, 12, false, 25);
    Sweep(Compress(dir, rgb.path, "-F " + rgb.Format() + " -I -n 3 -r 8,3 -d 1,2 -t 12,12 -SOP"), DecodeCodestream,
          3);
    Sweep(Compress(dir, rgba.path, "-F " + rgba.Format() + " -n 4 -r 4,1 -M 9 -p PCRL"), DecodeCodestream, 4);
}

} // namespace
