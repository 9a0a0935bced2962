// Main-header reading: streams made by opj_compress parse to what opj_dump
// prints, and hand-made or patched headers give their diagnostics.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "j2k/byte_input.h"
#include "j2k/decoder/main_header.h"
#include "j2k/j2k_fixtures.h"
#include "support/test_env.h"

namespace {

class RecordingOutput : public BDiagnOutput {
public:
    void Warning(const BDiagnDescr& d) override { warnings.push_back(d.Message().c_str()); }
    std::vector<std::string> warnings;
};

template <class E, int N>
std::string Text() {
    return DiagnDescrCT<E, N>().Message().c_str();
}

// The mode word each code-block style bit stands for.
uint32_t ExpectedModeWord(int style) {
    const uint32_t flags[6] = {0x02, 0x08, 0x04, 0x01, 0x100000, 0x10};
    uint32_t m = 0;
    for (int b = 0; b < 6; ++b)
        if (style & (1 << b))
            m |= flags[b];
    return m;
}

struct Parsed {
    bool ok = false;
    bool reachedSot = false;
    std::string error;
    std::vector<std::string> warnings;
};

Parsed Parse(const std::string& bytes, DJP2MainHeader& header) {
    Parsed p;
    RecordingOutput out;
    header.diag.SetOutput(&out);
    MemoryBoundedInputBE in;
    in.Attach(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    try {
        p.reachedSot = header.Read(in);
        p.ok = true;
    } catch (const BDiagnDescr& d) {
        p.error = d.Message().c_str();
    }
    p.warnings = out.warnings;
    header.diag.SetOutput(nullptr);
    return p;
}

// Hand-made main headers.
std::string Be16(uint32_t v) { return std::string{char(v >> 8), char(v)}; }
std::string Be32(uint32_t v) { return Be16(v >> 16) + Be16(v & 0xFFFF); }
std::string Seg(uint16_t marker, const std::string& body) { return Be16(marker) + Be16(body.size() + 2) + body; }

struct Siz {
    uint32_t rsiz = 0, xsiz = 64, ysiz = 48, xo = 0, yo = 0, xt = 64, yt = 48, xto = 0, yto = 0;
    uint32_t csiz = 3;
    uint8_t ssiz = 7, xr = 1, yr = 1;
    std::string Bytes() const {
        std::string b = Be16(rsiz) + Be32(xsiz) + Be32(ysiz) + Be32(xo) + Be32(yo) + Be32(xt) + Be32(yt) +
                        Be32(xto) + Be32(yto) + Be16(csiz);
        for (uint32_t c = 0; c < csiz; ++c)
            b += std::string{char(ssiz), char(xr), char(yr)};
        return Seg(kMarkerSIZ, b);
    }
};

// COD: Scod, order, layers, MCT, then SPcod (levels, xcb, ycb, style, transform).
std::string Cod(uint8_t order = 0, uint16_t layers = 1, uint8_t mct = 0, uint8_t levels = 5, uint8_t xcb = 4,
                uint8_t ycb = 4, uint8_t style = 0, uint8_t transform = 1) {
    return Seg(kMarkerCOD, std::string{0, char(order)} + Be16(layers) +
                               std::string{char(mct), char(levels), char(xcb), char(ycb), char(style), char(transform)});
}
// QCD with no quantisation for `levels` levels: guard bits 2, exponents 8 + k.
std::string Qcd(int levels = 5, uint16_t marker = kMarkerQCD, std::string prefix = {}) {
    std::string b = prefix + std::string(1, char(0x40));
    for (int k = 0; k < 1 + 3 * levels; ++k)
        b += char((8 + k % 4) << 3);
    return Seg(marker, b);
}
const std::string kSot = Be16(kMarkerSOT);
std::string Header(const std::string& segments, const Siz& siz = Siz()) {
    return Be16(kMarkerSOC) + siz.Bytes() + segments + kSot + Be16(10) + std::string(8, '\0');
}

} // namespace

struct OpjCase {
    const char* name;
    int width, height, components, bits;  // bits 0: an 8-bit PGM/PPM
    const char* rawSuffix;                 // sampling of raw components, after the format
    const char* options;
};

void PrintTo(const OpjCase& c, std::ostream* os) { *os << c.name; }

class J2KMainHeaderOpj : public ::testing::TestWithParam<OpjCase> {};

TEST_P(J2KMainHeaderOpj, ParsesToWhatOpjDumpPrints) {
    const OpjCase& c = GetParam();
    const std::string dir = vqtest::scratchDir(std::string("j2k_mh_") + c.name);
    std::string input, options = c.options;
    if (c.bits == 0) {
        input = j2ktest::WritePnm(dir, "img", c.width, c.height, c.components, 7);
    } else {
        input = j2ktest::WriteRaw(dir, "img", c.width, c.height, c.components, c.bits < 0 ? -c.bits : c.bits, 7);
        options += " -F " + std::to_string(c.width) + "," + std::to_string(c.height) + "," +
                   std::to_string(c.components) + "," + std::to_string(c.bits < 0 ? -c.bits : c.bits) +
                   (c.bits < 0 ? ",s" : ",u") + c.rawSuffix;
    }
    const std::string bytes = j2ktest::Compress(dir, input, options);
    ASSERT_FALSE(bytes.empty());
    const j2ktest::Dump d = j2ktest::DumpHeader(dir, bytes);

    DJP2MainHeader h;
    const Parsed p = Parse(bytes, h);
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_TRUE(p.reachedSot);
    // opj_compress writes one comment segment and nothing else to warn about.
    EXPECT_EQ(p.warnings, std::vector<std::string>{(Text<DJP2CSWarning, 22>())});

    EXPECT_EQ(h.imageRect, J2KRect(d.x0, d.y0, d.x1 - d.x0, d.y1 - d.y0));
    EXPECT_EQ(h.tileOrigin, IntPair(d.tx0, d.ty0));
    EXPECT_EQ(h.tileSize, IntPair(d.tdx, d.tdy));
    EXPECT_EQ(h.TileGrid(), IntPair(d.tw, d.th));
    ASSERT_EQ(h.componentCount, d.numcomps);
    EXPECT_EQ(h.cod.progression, uint32_t(d.prg));
    EXPECT_EQ(h.cod.layers, uint32_t(d.numlayers));
    EXPECT_EQ(h.cod.mct, d.mct);
    EXPECT_EQ(h.cod.sop, (d.csty & 2) ? 1 : 0);
    EXPECT_EQ(h.cod.eph, (d.csty & 4) ? 1 : 0);
    for (int i = 0; i < d.numcomps; ++i) {
        SCOPED_TRACE(i);
        const j2ktest::DumpComponent& dc = d.comps[i];
        EXPECT_EQ(h.sampling[i], IntPair(dc.dx, dc.dy));
        EXPECT_EQ((h.ssiz[i] & 0x7F) + 1, dc.prec);
        EXPECT_EQ(h.ssiz[i] >> 7, dc.sgnd);
        const DJP2CodingStyle& s = h.Style(i);
        EXPECT_EQ(int(s.levels) + 1, dc.numresolutions);
        EXPECT_EQ(s.codeBlockExp, IntPair(dc.cblkw, dc.cblkh));
        EXPECT_EQ(s.modeFlags, ExpectedModeWord(dc.cblksty));
        EXPECT_EQ(int(s.transform), dc.qmfbid);
        ASSERT_EQ(s.precinctExp.Count(), dc.precincts.size());
        for (uint32_t r = 0; r < s.precinctExp.Count(); ++r)
            EXPECT_EQ(s.precinctExp[r], IntPair(dc.precincts[r].first, dc.precincts[r].second)) << r;
        const DJP2QuantParams& q = h.Quant(i);
        EXPECT_EQ(int(q.style), dc.qntsty);
        EXPECT_EQ(int(q.guardBits), dc.numgbits);
        // Steps in segment order: LL, then HL, LH, HH from the coarsest level.
        std::vector<std::pair<int, int>> steps{{q.llStep.first, q.llStep.second}};
        for (uint32_t k = q.levelCount; k-- > 0;)
            for (const IntPair& st : {q.levelSteps[k].hl, q.levelSteps[k].lh, q.levelSteps[k].hh})
                steps.emplace_back(st.first, st.second);
        EXPECT_EQ(steps, dc.stepsizes);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Streams, J2KMainHeaderOpj,
    ::testing::Values(
        OpjCase{"rgb_default", 70, 50, 3, 0, "", ""},
        OpjCase{"rgb_tiles_offsets", 70, 50, 3, 0, "",
                "-t 32,16 -d 3,5 -n 3 -b 16,32 -c [64,64],[32,32] -p RPCL -M 9 -r 20,10"},
        OpjCase{"gray_grid_origin", 70, 50, 1, 0, "", "-t 40,30 -d 17,19 -T 7,9 -n 4 -p PCRL -I"},
        OpjCase{"gray_subsampled", 71, 45, 1, 0, "", "-s 2,3 -n 2 -p RLCP -SOP -EPH"},
        OpjCase{"raw_chroma_subsampled", 70, 50, 3, 8, "@1x1:2x2:2x2", "-p CPRL -M 63 -n 4 -r 30,15,5"},
        OpjCase{"raw_four_signed_12", 40, 30, 4, -12, "", "-n 2 -b 4,64 -p LRCP -M 2"},
        OpjCase{"raw_one_16", 33, 65, 1, 16, "", "-n 5 -I -t 32,32 -c [256,256],[128,128],[64,64]"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(J2KMainHeader, PocFromOptionsParsesToItsValues) {
    const std::string dir = vqtest::scratchDir("j2k_mh_poc");
    const std::string input = j2ktest::WritePnm(dir, "img", 70, 50, 3, 3);
    const std::string bytes =
        j2ktest::Compress(dir, input, "-n 4 -r 40,20,10 -POC T1=0,0,1,3,3,CPRL/T1=1,1,3,4,2,RPCL/T1=0,0,3,4,3,LRCP");
    ASSERT_FALSE(bytes.empty());
    // The encoder writes the POC segment in the first tile-part header: move
    // it into the main header, just before the first SOT.
    const size_t sot = j2ktest::FindMarker(bytes, kMarkerSOT, 2);
    const size_t pocAt = j2ktest::FindMarker(bytes, kMarkerPOC, sot);
    ASSERT_NE(pocAt, std::string::npos);
    const size_t len = (uint8_t(bytes[pocAt + 2]) << 8 | uint8_t(bytes[pocAt + 3])) + 2;
    const std::string moved =
        bytes.substr(0, sot) + bytes.substr(pocAt, len) + bytes.substr(sot, pocAt - sot) + bytes.substr(pocAt + len);
    DJP2MainHeader h;
    const Parsed p = Parse(moved, h);
    ASSERT_TRUE(p.ok) << p.error;
    ASSERT_EQ(h.poc.Size(), 3u);
    struct Want { uint32_t rs, cs, lye, re, ce, order; };
    const Want want[3] = {{0, 0, 1, 3, 3, kProgCPRL}, {1, 1, 3, 4, 2, kProgRPCL}, {0, 0, 3, 4, 3, kProgLRCP}};
    for (int i = 0; i < 3; ++i) {
        const DJP2PocEntry& e = h.poc[i];
        EXPECT_EQ(e.resolutions.first, want[i].rs);
        EXPECT_EQ(e.resolutions.end, want[i].re);
        EXPECT_EQ(e.components.first, want[i].cs);
        EXPECT_EQ(e.components.end, want[i].ce);
        EXPECT_EQ(e.layerEnd, want[i].lye);
        EXPECT_EQ(e.progression, want[i].order);
    }
}

TEST(J2KMainHeader, PlainHeaderHasDefaultsForEveryComponent) {
    DJP2MainHeader h;
    const Parsed p = Parse(Header(Cod(0, 1, 0, 4, 4, 4) + Qcd(4)), h);
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_TRUE(p.reachedSot);
    EXPECT_TRUE(p.warnings.empty());
    EXPECT_EQ(h.Style(0).codeBlockExp, IntPair(6, 6));
    for (uint32_t c = 0; c < 3; ++c) {
        EXPECT_FALSE(h.HasOwnStyle(c));
        EXPECT_FALSE(h.HasOwnQuant(c));
    }
    EXPECT_EQ(h.Quant(0).levelCount, 4u);
    EXPECT_EQ(h.Style(0).precinctExp[4], IntPair(15, 15));
    EXPECT_EQ(h.TileCount(), 1u);
}

// Each case: the header, the error text expected ("" for none) and the
// warnings expected in order.
struct DiagCase {
    const char* name;
    std::function<std::string()> header;
    std::string error;
    std::vector<std::string> warnings;
    std::function<void(const DJP2MainHeader&)> check;
};

TEST(J2KMainHeader, DamagedAndUnsupportedHeaders) {
    const std::string base = Cod() + Qcd();
    auto siz = [](std::function<void(Siz&)> f) {
        Siz s;
        f(s);
        return s;
    };
    const std::string noData = Text<ByteInputException, 0>();
    const std::vector<DiagCase> cases = {
        {"no SOC", [] { return Be16(0xFF4E) + Siz().Bytes(); }, Text<DJP2CSException, 1>(), {}, nullptr},
        {"no SIZ", [&] { return Be16(kMarkerSOC) + base; }, Text<DJP2CSException, 2>(), {}, nullptr},
        {"COD missing", [] { return Header(Qcd()); }, Text<DJP2CSException, 5>(), {}, nullptr},
        {"QCD missing", [] { return Header(Cod()); }, Text<DJP2CSException, 6>(), {}, nullptr},
        {"COC for Csiz", [&] { return Header(base + Seg(kMarkerCOC, std::string{3, 0, 5, 4, 4, 0, 1})); },
         Text<DJP2CSException, 3>(), {}, nullptr},
        {"QCC for Csiz", [&] { return Header(base + Qcd(5, kMarkerQCC, std::string(1, 3))); },
         Text<DJP2CSException, 4>(), {}, nullptr},
        {"PPM", [&] { return Header(base + Seg(kMarkerPPM, "ab")); }, Text<DJP2CSUnsuppException, 2>(), {}, nullptr},
        {"RGN", [&] { return Header(base + Seg(kMarkerRGN, std::string{0, 0, 5})); },
         Text<DJP2CSUnsuppException, 4>(), {}, nullptr},
        {"Part 2 capabilities", [&] { return Header(base, siz([](Siz& s) { s.rsiz = 0x8000; })); },
         Text<DJP2CSUnsuppException, 19>(), {}, nullptr},
        {"HT capabilities", [&] { return Header(base, siz([](Siz& s) { s.rsiz = 0x4000; })); },
         Text<DJP2CSUnsuppException, 20>(), {}, nullptr},
        {"HT code-block style", [] { return Header(Cod(0, 1, 0, 5, 4, 4, 0x40) + Qcd()); },
         Text<DJP2CSUnsuppException, 20>(), {}, nullptr},
        {"profile capabilities", [&] { return Header(base, siz([](Siz& s) { s.rsiz = 2; })); }, "",
         {Text<DJP2MarkerWarning, 3>()}, nullptr},
        {"length below 2", [&] { return Header(base + Be16(kMarkerCOM) + Be16(1)); }, Text<DJP2MarkerException, 0>(),
         {}, nullptr},
        {"SIZ value above 2^31-1", [&] { return Header(base, siz([](Siz& s) { s.xsiz = 0x80000000u; })); },
         Text<DJP2MarkerException, 1>(), {}, nullptr},
        {"origin beyond size", [&] { return Header(base, siz([](Siz& s) { s.yo = 49; })); },
         Text<DJP2MarkerException, 2>(), {}, nullptr},
        {"origin equal to size", [&] { return Header(base, siz([](Siz& s) { s.xo = 64; })); }, "", {},
         [](const DJP2MainHeader& h) { EXPECT_EQ(h.imageRect.width, 0u); }},
        {"zero tile width", [&] { return Header(base, siz([](Siz& s) { s.xt = 0; })); },
         Text<DJP2MarkerException, 12>(), {}, nullptr},
        {"zero tile height", [&] { return Header(base, siz([](Siz& s) { s.yt = 0; })); },
         Text<DJP2MarkerException, 12>(), {}, nullptr},
        {"zero XRsiz", [&] { return Header(base, siz([](Siz& s) { s.xr = 0; })); },
         Text<DJP2MarkerException, 13>(), {}, nullptr},
        {"zero YRsiz", [&] { return Header(base, siz([](Siz& s) { s.yr = 0; })); },
         Text<DJP2MarkerException, 13>(), {}, nullptr},
        {"zero components", [&] { return Header(base, siz([](Siz& s) { s.csiz = 0; })); },
         Text<DJP2MarkerException, 14>(), {}, nullptr},
        {"too many tiles",
         [&] { return Header(base, siz([](Siz& s) { s.xsiz = s.ysiz = 100000; s.xt = s.yt = 1; })); },
         Text<DJP2MarkerException, 16>(), {}, nullptr},
        {"65535 tiles", [&] { return Header(base, siz([](Siz& s) { s.xsiz = 65535; s.ysiz = 1; s.xt = s.yt = 1; })); },
         "", {}, [](const DJP2MainHeader& h) { EXPECT_EQ(h.TileCount(), 65535u); }},
        {"grid origin right of image origin",
         [&] { return Header(base, siz([](Siz& s) { s.xsiz = 700; s.xo = 100; s.xto = 300; s.xt = 256; })); }, "",
         {Text<DJP2MarkerWarning, 4>()},
         [](const DJP2MainHeader& h) {
             EXPECT_EQ(h.tileOrigin.first, 44);
             EXPECT_EQ(h.TileGrid().first, 3);  // ceil((700 - 44) / 256)
         }},
        {"grid origin moved below zero",
         [&] { return Header(base, siz([](Siz& s) { s.yo = 10; s.yto = 40; s.yt = 64; })); }, "",
         {Text<DJP2MarkerWarning, 4>()},
         [](const DJP2MainHeader& h) {
             EXPECT_EQ(h.tileOrigin.second, -24);
             EXPECT_EQ(h.TileGrid().second, 2);  // ceil((48 + 24) / 64)
         }},
        {"precision above 38 bits", [&] { return Header(base, siz([](Siz& s) { s.ssiz = 38; })); }, "",
         {Text<DJP2MarkerWarning, 5>(), Text<DJP2MarkerWarning, 5>(), Text<DJP2MarkerWarning, 5>()}, nullptr},
        {"unknown progression", [] { return Header(Cod(5) + Qcd()); }, Text<DJP2MarkerException, 3>(), {}, nullptr},
        {"33 levels", [] { return Header(Cod(0, 1, 0, 33) + Qcd()); }, Text<DJP2MarkerException, 4>(), {}, nullptr},
        {"code-block width 2^11", [] { return Header(Cod(0, 1, 0, 5, 9, 4) + Qcd()); },
         Text<DJP2MarkerException, 5>(), {}, nullptr},
        {"code-block height 2^11", [] { return Header(Cod(0, 1, 0, 5, 4, 9) + Qcd()); },
         Text<DJP2MarkerException, 6>(), {}, nullptr},
        {"code-blocks 1024 x 1024", [] { return Header(Cod(0, 1, 0, 5, 0xF8, 8) + Qcd()); }, "", {},
         [](const DJP2MainHeader& h) { EXPECT_EQ(h.Style(1).codeBlockExp, IntPair(10, 10)); }},
        {"unknown transform", [] { return Header(Cod(0, 1, 0, 5, 4, 4, 0, 2) + Qcd()); },
         Text<DJP2MarkerException, 7>(), {}, nullptr},
        {"zero layers", [] { return Header(Cod(0, 0) + Qcd()); }, "", {Text<DJP2MarkerWarning, 2>()}, nullptr},
        {"unknown MCT", [] { return Header(Cod(0, 1, 3) + Qcd()); }, "", {Text<DJP2MarkerWarning, 6>()},
         [](const DJP2MainHeader& h) { EXPECT_EQ(h.cod.mct, 0); }},
        {"second COD", [] { return Header(Cod() + Qcd() + Cod(2, 7)); }, "", {Text<DJP2CSWarning, 5>()},
         [](const DJP2MainHeader& h) { EXPECT_EQ(h.cod.layers, 7u); }},
        {"second QCD", [] { return Header(Cod() + Qcd() + Qcd(2)); }, "", {Text<DJP2CSWarning, 6>()},
         [](const DJP2MainHeader& h) { EXPECT_EQ(h.Quant(2).levelCount, 2u); }},
        {"second COC of component 2",
         [&] {
             return Header(base + Seg(kMarkerCOC, std::string{2, 0, 3, 4, 4, 0, 1}) +
                           Seg(kMarkerCOC, std::string{2, 0, 2, 4, 4, 0, 0}));
         },
         "", {Text<DJP2CSWarning, 7>()},
         [](const DJP2MainHeader& h) {
             EXPECT_EQ(h.Style(2).levels, 2u);
             EXPECT_EQ(h.Style(2).transform, 0u);
             EXPECT_FALSE(h.HasOwnStyle(0));
             EXPECT_EQ(h.Style(1).levels, 5u);
         }},
        {"second QCC of component 1",
         [&] { return Header(base + Qcd(3, kMarkerQCC, std::string(1, 1)) + Qcd(1, kMarkerQCC, std::string(1, 1))); },
         "", {Text<DJP2CSWarning, 8>()},
         [](const DJP2MainHeader& h) {
             EXPECT_EQ(h.Quant(1).levelCount, 1u);
             EXPECT_EQ(h.Quant(0).levelCount, 5u);
         }},
        {"unknown quantisation style",
         [] { return Header(Cod() + Seg(kMarkerQCD, std::string{0x43, 0x40, 0x48, 0x48, 0x50})); }, "",
         {Text<DJP2CSWarning, 0>()}, [](const DJP2MainHeader& h) { EXPECT_EQ(h.Quant(0).style, 0u); }},
        {"QCD body without steps (expounded)", [] { return Header(Cod() + Seg(kMarkerQCD, std::string{0x42})); },
         Text<DJP2MarkerException, 15>(), {}, nullptr},
        {"QCD body with half a step (expounded)",
         [] { return Header(Cod() + Seg(kMarkerQCD, std::string{0x42, 0x01})); }, Text<DJP2MarkerException, 15>(),
         {}, nullptr},
        {"QCD body without steps (none)", [] { return Header(Cod() + Seg(kMarkerQCD, std::string{0x40})); },
         Text<DJP2MarkerException, 15>(), {}, nullptr},
        {"QCC body without steps", [&] { return Header(base + Seg(kMarkerQCC, std::string{0, 0x42})); },
         Text<DJP2MarkerException, 15>(), {}, nullptr},
        {"expounded QCD with LL step only", [] { return Header(Cod() + Seg(kMarkerQCD, std::string{0x42, 0x48, 0})); },
         "", {}, [](const DJP2MainHeader& h) { EXPECT_EQ(h.Quant(0).levelCount, 0u); }},
        {"derived QCD", [] { return Header(Cod() + Seg(kMarkerQCD, std::string{0x21, 0x4A, 0x05})); }, "", {},
         [](const DJP2MainHeader& h) {
             EXPECT_EQ(h.Quant(0).style, 1u);
             EXPECT_EQ(h.Quant(0).derivedStep, IntPair(0x205, 9));
             EXPECT_EQ(h.Quant(0).guardBits, 1u);
         }},
        {"COD longer than its fields",
         [] { return Header(Seg(kMarkerCOD, std::string{0, 0, 0, 1, 0, 5, 4, 4, 0, 1} + std::string(8, 'x')) + Qcd()); },
         "", {Text<DJP2CSWarning, 17>()}, nullptr},
        {"segment running past the input",
         [&] { return Be16(kMarkerSOC) + Siz().Bytes() + base + Be16(kMarkerCOM) + Be16(40) + "abc"; }, noData,
         {Text<DJP2CSWarning, 18>(), Text<DJP2CSWarning, 22>()}, nullptr},
        {"skipped segments",
         [&] {
             return Header(base + Seg(kMarkerTLM, "ab") + Seg(kMarkerPLM, "c") + Seg(kMarkerCRG, "dddd") +
                           Seg(kMarkerCOM, "e") + Seg(0xFF70, "ff") + Seg(kMarkerSIZ, "g"));
         },
         "",
         {Text<DJP2CSWarning, 19>(), Text<DJP2CSWarning, 20>(), Text<DJP2CSWarning, 21>(),
          Text<DJP2CSWarning, 22>(), Text<DJP2CSWarning, 4>(), Text<DJP2CSWarning, 4>()},
         nullptr},
        {"EOC before SOT", [] { return Be16(kMarkerSOC) + Siz().Bytes() + Be16(kMarkerEOC); }, "",
         {Text<DJP2CSWarning, 10>()}, nullptr},
        {"POC of one entry",
         [&] { return Header(base + Seg(kMarkerPOC, std::string{1, 0, 0, 2, 3, 0, 2})); }, "", {},
         [](const DJP2MainHeader& h) {
             ASSERT_EQ(h.poc.Size(), 1u);
             EXPECT_EQ(h.poc[0].components.count, 256u);  // CEpoc 0 stands for 256
             EXPECT_EQ(h.poc[0].resolutions.first, 1u);
             EXPECT_EQ(h.poc[0].resolutions.count, 2u);
             EXPECT_EQ(h.poc[0].progression, kProgRPCL);
         }},
        {"POC with leftover bytes and zero layers",
         [&] { return Header(base + Seg(kMarkerPOC, std::string{0, 0, 0, 0, 3, 3, 1, 9, 9})); }, "",
         {Text<DJP2MarkerWarning, 2>(), Text<DJP2CSWarning, 17>()}, nullptr},
        {"second POC",
         [&] {
             return Header(base + Seg(kMarkerPOC, std::string{0, 0, 0, 1, 3, 3, 1}) +
                           Seg(kMarkerPOC, std::string{0, 0, 0, 1, 2, 3, 1, 2, 1, 0, 1, 3, 3, 0}));
         },
         "", {Text<DJP2CSWarning, 9>()}, [](const DJP2MainHeader& h) { EXPECT_EQ(h.poc.Size(), 2u); }},
        {"POC resolution above 33", [&] { return Header(base + Seg(kMarkerPOC, std::string{34, 0, 0, 1, 34, 3, 0})); },
         Text<DJP2MarkerException, 8>(), {}, nullptr},
        {"POC end resolution above 33", [&] { return Header(base + Seg(kMarkerPOC, std::string{0, 0, 0, 1, 34, 3, 0})); },
         Text<DJP2MarkerException, 8>(), {}, nullptr},
        {"POC component start at Csiz", [&] { return Header(base + Seg(kMarkerPOC, std::string{0, 3, 0, 1, 2, 3, 0})); },
         Text<DJP2MarkerException, 9>(), {}, nullptr},
        {"POC component end above Csiz",
         [&] { return Header(base + Seg(kMarkerPOC, std::string{0, 0, 0, 1, 2, 4, 0})); },
         Text<DJP2MarkerException, 9>(), {}, nullptr},
        {"POC resolutions reversed", [&] { return Header(base + Seg(kMarkerPOC, std::string{3, 0, 0, 1, 2, 3, 0})); },
         Text<DJP2MarkerException, 10>(), {}, nullptr},
        {"POC components reversed", [&] { return Header(base + Seg(kMarkerPOC, std::string{0, 2, 0, 1, 2, 1, 0})); },
         Text<DJP2MarkerException, 11>(), {}, nullptr},
    };
    for (const DiagCase& c : cases) {
        SCOPED_TRACE(c.name);
        DJP2MainHeader h;
        const Parsed p = Parse(c.header(), h);
        EXPECT_EQ(p.error, c.error);
        EXPECT_EQ(p.warnings, c.warnings);
        if (c.check && p.ok)
            c.check(h);
    }
}

TEST(J2KMainHeader, EocFirstSkipsTheCodAndQcdChecks) {
    DJP2MainHeader h;
    const Parsed p = Parse(Be16(kMarkerSOC) + Siz().Bytes() + Be16(kMarkerEOC), h);
    EXPECT_TRUE(p.ok);
    EXPECT_FALSE(p.reachedSot);
    EXPECT_EQ(h.codMissing, 1);
}

TEST(J2KMainHeader, TruncationSweepNeverReadsOutsideTheInput) {
    const std::string dir = vqtest::scratchDir("j2k_mh_trunc");
    const std::string input = j2ktest::WritePnm(dir, "img", 40, 30, 3, 5);
    const std::string full = j2ktest::Compress(dir, input, "-t 16,16 -n 3 -c [32,32] -p PCRL");
    const std::string poc = Header(Cod() + Qcd() + Seg(kMarkerPOC, std::string{0, 0, 0, 1, 2, 3, 1}) +
                                   Qcd(2, kMarkerQCC, std::string(1, 2)));
    for (const std::string& bytes : {full, poc}) {
        const size_t sot = j2ktest::FindMarker(bytes, kMarkerSOT, 2);
        ASSERT_NE(sot, std::string::npos);
        for (size_t n = 0; n < sot + 2; ++n) {
            // Each prefix in its own exact-size block, so ASan sees any overrun.
            std::vector<uint8_t> block(bytes.begin(), bytes.begin() + n);
            DJP2MainHeader h;
            MemoryBoundedInputBE in;
            in.Attach(block.data(), block.size());
            bool threw = false;
            try {
                h.Read(in);
            } catch (const BDiagnDescr&) {
                // Mostly the end of input; a cut quantisation body is refused
                // as too short instead.
                threw = true;
            }
            EXPECT_TRUE(threw) << n;
        }
    }
}

TEST(J2KMainHeader, PatchedEncoderStreams) {
    const std::string dir = vqtest::scratchDir("j2k_mh_patch");
    const std::string input = j2ktest::WritePnm(dir, "img", 40, 30, 3, 4);
    const std::string good = j2ktest::Compress(dir, input, "-n 3");
    ASSERT_GT(good.size(), 60u);
    const size_t cod = j2ktest::FindMarker(good, kMarkerCOD, 2);
    const size_t qcd = j2ktest::FindMarker(good, kMarkerQCD, 2);
    ASSERT_NE(cod, std::string::npos);
    ASSERT_NE(qcd, std::string::npos);
    struct Patch {
        const char* name;
        size_t at;
        std::string bytes;
        std::string error;
    };
    // SIZ: Rsiz at 6, XTsiz at 24, Csiz at 40, the first XRsiz at 43.
    // COD after marker and length: Scod, order, layers (2), MCT, levels, xcb,
    // ycb, style at 12, transform at 13.
    const std::vector<Patch> patches = {
        {"Part 2 capabilities", 6, Be16(0x8002), Text<DJP2CSUnsuppException, 19>()},
        {"HT capabilities", 6, Be16(0x4000), Text<DJP2CSUnsuppException, 20>()},
        {"zero tile width", 24, Be32(0), Text<DJP2MarkerException, 12>()},
        {"zero components", 40, Be16(0), Text<DJP2MarkerException, 14>()},
        {"zero XRsiz", 43, std::string(1, '\0'), Text<DJP2MarkerException, 13>()},
        {"HT code-block style", cod + 12, std::string(1, char(0x40)), Text<DJP2CSUnsuppException, 20>()},
        {"wavelet of Part 2", cod + 13, std::string(1, char(2)), Text<DJP2MarkerException, 7>()},
        {"QCD shortened to its style byte", qcd + 2, Be16(3), Text<DJP2MarkerException, 15>()},
        {"SOC damaged", 1, std::string(1, char(0x4E)), Text<DJP2CSException, 1>()},
    };
    for (const Patch& p : patches) {
        SCOPED_TRACE(p.name);
        std::string bytes = good;
        bytes.replace(p.at, p.bytes.size(), p.bytes);
        DJP2MainHeader h;
        const Parsed r = Parse(bytes, h);
        EXPECT_EQ(r.error, p.error);
    }
    DJP2MainHeader h;
    EXPECT_TRUE(Parse(good, h).ok);
}
