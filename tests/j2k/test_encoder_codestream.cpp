// Main-header segments of the encoder against the bytes of a 256 x 256 tile
// (quality 50, and full chroma), the quality step table's clipping and level
// selection, the decomposition levels, and the sample preparation and
// quantisation around the wavelet.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "j2k/encoder/codestream_writer.h"
#include "j2k/encoder/sample_prep.h"

namespace {

std::string Hex(CodestreamBuffer& b) {
    std::string out;
    char t[4];
    uint8_t c;
    while (b.ReadOut(&c, 1) == 1) {
        std::snprintf(t, sizeof t, "%02X ", c);
        out += t;
    }
    if (!out.empty())
        out.pop_back();
    return out;
}

const uint8_t kSsiz[3] = {7, 7, 7};

std::string MainHeader(const J2KEncodeParams& params, uint32_t w, uint32_t h, uint16_t n, uint8_t levels) {
    CodestreamBuffer b;
    writeSOC(b);
    writeSIZ(b, h, w, n, kSsiz, params.reversible != 0);
    writeCOD(b, 0, 1, n == 3 ? params.useComponentTransform : 0, params.reversible, levels, 0, nullptr);
    writeQCD(b, levels, params, 8);
    return Hex(b);
}

TEST(EncoderCodestream, WorkedExampleQuality50) {
    J2KEncodeParams params(false);
    params.quality = 50;
    const std::string expect =
        "FF 4F "
        "FF 51 00 2F 00 00 00 00 01 00 00 00 01 00 00 00 00 00 00 00 00 00 00 00 01 00 00 00 01 00 00 00 00 00 00 "
        "00 00 00 00 03 07 01 01 07 02 01 07 02 01 "
        "FF 52 00 0C 00 00 00 01 00 05 04 04 00 00 "
        "FF 5C 00 23 22 5E 51 56 57 56 57 4E 2B 4E 6C 4E 6C 46 4F 46 B5 46 B5 3E CC 3F 68 3F 68 37 E7 37 36 37 36 2E "
        "CA";
    const std::string got = MainHeader(params, 256, 256, 3, encoderLevels(256, 256, params.maxLevels));
    EXPECT_EQ(got, expect);
    EXPECT_EQ((got.size() + 1) / 3, 102u);

    CodestreamBuffer b;
    writeSOT(b, 0, 0, 0, 1);
    writeSOD(b);
    writeEOC(b);
    // Lsot 10 covers Isot (2), Psot (4), TPsot and TNsot after the marker.
    EXPECT_EQ(Hex(b), "FF 90 00 0A 00 00 00 00 00 00 00 01 FF 93 FF D9");
}

TEST(EncoderCodestream, WorkedExampleFullChroma) {
    J2KEncodeParams params(true);
    params.quality = 50;
    std::string qcd = "FF 5C 00 13 40 40";
    for (int i = 0; i < 5; ++i)
        qcd += " 48 48 50";
    const std::string got = MainHeader(params, 256, 256, 3, 5);
    EXPECT_NE(got.find("03 07 01 01 07 01 01 07 01 01 FF 52"), std::string::npos) << got;
    EXPECT_NE(got.find("FF 52 00 0C 00 00 00 01 01 05 04 04 00 01 " + qcd), std::string::npos) << got;
    EXPECT_EQ(got.substr(got.size() - qcd.size()), qcd);
}

TEST(EncoderCodestream, OneComponentAndUnitSteps) {
    // One component: Lsiz 41, no component transform even when asked for.
    J2KEncodeParams full(true);
    const std::string one = MainHeader(full, 7, 5, 1, 2);
    EXPECT_EQ(one.substr(0, 17), "FF 4F FF 51 00 29");
    EXPECT_NE(one.find("01 07 01 01 FF 52 00 0C 00 00 00 01 00 02 04 04 00 01 FF 5C 00 0A 40 40 48 48 50 48 48 50"),
              std::string::npos)
        << one;
    // Irreversible without the table: unit steps, 2 guard bits.
    J2KEncodeParams plain;
    plain.useQualityTable = 0;
    const std::string unit = MainHeader(plain, 7, 5, 1, 1);
    EXPECT_NE(unit.find("FF 5C 00 0B 42 40 00 48 00 48 00 50 00"), std::string::npos) << unit;
}

TEST(EncoderCodestream, QualityTableClippingAndLevels) {
    auto steps = [](int32_t q, uint32_t levels) {
        J2KEncodeParams p;
        p.quality = q;
        DJP2QuantParams r;
        EXPECT_TRUE(setQualityTableSteps(p, r, levels));
        return r;
    };
    auto same = [](const DJP2QuantParams& a, const DJP2QuantParams& b) {
        if (a.tableLevels != b.tableLevels || a.llStep != b.llStep)
            return false;
        for (uint32_t i = 0; i < a.tableLevels; ++i)
            if (a.levelSteps[i].hl != b.levelSteps[i].hl || a.levelSteps[i].lh != b.levelSteps[i].lh ||
                a.levelSteps[i].hh != b.levelSteps[i].hh)
                return false;
        return true;
    };
    EXPECT_TRUE(same(steps(0, 5), steps(1, 5)));
    EXPECT_TRUE(same(steps(-7, 5), steps(3, 5)));
    EXPECT_TRUE(same(steps(101, 5), steps(100, 5)));
    EXPECT_FALSE(same(steps(99, 5), steps(100, 5)));
    for (int q = 91; q <= 99; ++q)
        EXPECT_TRUE(same(steps(90, 5), steps(q, 5))) << q;
    EXPECT_FALSE(same(steps(89, 5), steps(90, 5)));
    EXPECT_EQ(steps(1, 5).llStep, IntPair(930, 7));
    EXPECT_EQ(steps(100, 5).levelSteps[0].hh, IntPair(1233, 7));  // finest HH of the last row

    // Four levels take the first 13 pairs of the row; the coarsest triple is level index 3.
    const DJP2QuantParams four = steps(50, 4);
    EXPECT_EQ(four.tableLevels, 4u);
    EXPECT_EQ(four.levelSteps[3].hl, IntPair(1623, 10));
    EXPECT_EQ(four.levelSteps[0].hh, IntPair(2023, 6));
    J2KEncodeParams p;
    p.quality = 50;
    CodestreamBuffer b;
    writeQCD(b, 4, p, 8);
    EXPECT_EQ(Hex(b), "FF 5C 00 1D 22 5E 51 56 57 56 57 4E 2B 4E 6C 4E 6C 46 4F 46 B5 46 B5 3E CC 3F 68 3F 68 37 E7");

    J2KEncodeParams off;
    off.useQualityTable = 0;
    DJP2QuantParams untouched;
    EXPECT_FALSE(setQualityTableSteps(off, untouched, 5));
    EXPECT_EQ(untouched.tableLevels, 0u);
}

TEST(EncoderCodestream, DecompositionLevels) {
    const struct {
        uint32_t w, h;
        uint8_t levels;
    } cases[] = {{256, 256, 5}, {32, 40, 5}, {16, 300, 4}, {300, 15, 4}, {3, 3, 2},
                 {2, 9, 1},     {1, 1, 1},   {7, 5, 3},    {128, 255, 5}};
    for (const auto& c : cases)
        EXPECT_EQ(encoderLevels(c.w, c.h, 5), c.levels) << c.w << "x" << c.h;
    EXPECT_EQ(encoderLevels(256, 256, 3), 3);
}

// A 32-bit plane set with the given samples in plane c, row by row.
void Fill(ComponentPlanes& planes, uint32_t c, const std::vector<int32_t>& v) {
    const IntPair s = planes.Size(c);
    for (int32_t y = 0; y < s.second; ++y)
        for (int32_t x = 0; x < s.first; ++x)
            reinterpret_cast<int32_t*>(reinterpret_cast<uint8_t*>(planes.Data(c)) + y * planes.Step(c))[x] =
                v[size_t(y * s.first + x)];
}
int32_t At(const ComponentPlanes& planes, uint32_t c, int32_t x, int32_t y) {
    return reinterpret_cast<const int32_t*>(reinterpret_cast<const uint8_t*>(planes.Data(c)) + y * planes.Step(c))[x];
}

TEST(EncoderSamples, ShiftAndReversibleComponentTransform) {
    const IntPair sizes[3] = {IntPair(3, 2), IntPair(3, 2), IntPair(3, 2)};
    ComponentPlanes planes;
    planes.Allocate(sizes, 3);
    Fill(planes, 0, {0, 255, 7, 200, 10, 128});
    Fill(planes, 1, {0, 255, 7, 13, 250, 128});
    Fill(planes, 2, {0, 255, 7, 99, 3, 129});
    prepareSamples(planes, J2KEncodeParams(true), 7);
    const int32_t r[6] = {0, 255, 7, 200, 10, 128}, g[6] = {0, 255, 7, 13, 250, 128}, b[6] = {0, 255, 7, 99, 3, 129};
    for (int i = 0; i < 6; ++i) {
        const int32_t R = r[i] - 128, G = g[i] - 128, B = b[i] - 128;
        EXPECT_EQ(At(planes, 0, i % 3, i / 3), int32_t(std::floor((R + 2 * G + B) / 4.0))) << i;
        EXPECT_EQ(At(planes, 1, i % 3, i / 3), B - G) << i;
        EXPECT_EQ(At(planes, 2, i % 3, i / 3), R - G) << i;
    }
    // Equal rows: Y is the shifted sample, U = V = 0.
    EXPECT_EQ(At(planes, 0, 0, 0), -128);
    EXPECT_EQ(At(planes, 0, 1, 0), 127);
    EXPECT_EQ(At(planes, 1, 1, 0), 0);

    // One component: shifted only, and converted to float on the 9/7 path.
    const IntPair one(2, 1);
    ComponentPlanes grey;
    grey.Allocate(&one, 1);
    Fill(grey, 0, {0, 255});
    prepareSamples(grey, J2KEncodeParams(true), 7);
    EXPECT_EQ(At(grey, 0, 0, 0), -128);
    EXPECT_EQ(At(grey, 0, 1, 0), 127);
    Fill(grey, 0, {0, 255});
    prepareSamples(grey, J2KEncodeParams(false), 7);
    const float* f = reinterpret_cast<const float*>(grey.Data(0));
    EXPECT_EQ(f[0], -128.0f);
    EXPECT_EQ(f[1], 127.0f);
    // Signed samples keep their values.
    Fill(grey, 0, {-5, 9});
    prepareSamples(grey, J2KEncodeParams(true), 0x87);
    EXPECT_EQ(At(grey, 0, 0, 0), -5);
    EXPECT_EQ(At(grey, 0, 1, 0), 9);
}

TEST(EncoderSamples, StepSizesScalingAndRounding) {
    EXPECT_DOUBLE_EQ(bandStepSize(IntPair(1617, 11), 8), std::ldexp(1.0 + 1617 / 2048.0, -3));
    EXPECT_DOUBLE_EQ(bandStepSize(IntPair(0, 9), 9), 1.0);

    SubbandPlanes bands;
    bands.Build(J2KRect(0, 0, 4, 2), 1);  // LL 2x1, HL 2x1, LH 2x1, HH 2x1
    auto put = [](DJP2PlaneBuffer& p, float a, float b) {
        reinterpret_cast<float*>(p.Row(0))[0] = a;
        reinterpret_cast<float*>(p.Row(0))[1] = b;
    };
    const double step = bandStepSize(IntPair(0, 7), 8);  // 2
    put(bands.ll, float(2.5 * step), float(3.5 * step));
    put(bands.level[0].hl, -2.5f, 1e12f);
    put(bands.level[0].lh, 0.49f, -0.5f);
    put(bands.level[0].hh, 4.0f, -7.9f);
    DJP2QuantParams q;
    setDefaultSteps(q, 8, 1);  // unit steps for the detail bands
    q.llStep = IntPair(0, 7);
    scaleBandsBySteps(bands, q, 8);
    quantiseBands(bands);
    EXPECT_EQ(bands.ll.Row(0)[0], 2);  // ties to even
    EXPECT_EQ(bands.ll.Row(0)[1], 4);
    EXPECT_EQ(bands.level[0].hl.Row(0)[0], -2);
    EXPECT_EQ(bands.level[0].hl.Row(0)[1], INT32_MAX);  // saturated
    EXPECT_EQ(bands.level[0].lh.Row(0)[0], 0);
    EXPECT_EQ(bands.level[0].lh.Row(0)[1], 0);
    EXPECT_EQ(bands.level[0].hh.Row(0)[0], 4);
    EXPECT_EQ(bands.level[0].hh.Row(0)[1], -8);
}

} // namespace
