// The marker parser against streams written by the JPEG library and its tools.
#include <csetjmp>
#include <cstring>

#include <gtest/gtest.h>

extern "C" {
#include <jpeglib.h>
}

#include "engine/base/raw_tile.h"
#include "tests/jpeg/jpeg_fixtures.h"
#include "jpeg/jpeg_stream_parser.h"

using namespace jpegtest;

namespace {

std::vector<uint8_t> bytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

void parseInto(JpegStreamParser& p, std::vector<uint8_t>& data, bool rewrite = false) {
    p.source = data.data();
    p.sourceLength = static_cast<uint32_t>(data.size());
    p.parse(rewrite);
}

// Offset of the first marker `code` (FF code) in the header part of a stream.
size_t findMarker(const std::vector<uint8_t>& s, uint8_t code) {
    for (size_t i = 0; i + 1 < s.size(); ++i)
        if (s[i] == 0xFF && s[i + 1] == code) return i;
    return std::string::npos;
}

struct Segment {
    uint8_t code;
    std::vector<uint8_t> body;  // length field and payload
};

// Splits the header of a stream (up to SOS) into its segments.
std::vector<Segment> headerSegments(const std::vector<uint8_t>& s, size_t* sosOffset) {
    std::vector<Segment> out;
    size_t i = 2;
    while (i + 4 <= s.size() && s[i] == 0xFF && s[i + 1] != 0xDA) {
        size_t len = (static_cast<size_t>(s[i + 2]) << 8) | s[i + 3];
        out.push_back({s[i + 1], std::vector<uint8_t>(s.begin() + i + 2, s.begin() + i + 2 + len)});
        i += 2 + len;
    }
    *sosOffset = i;
    return out;
}

std::vector<uint8_t> joinSegments(const std::vector<Segment>& segs, const std::vector<uint8_t>& tail) {
    std::vector<uint8_t> out = {0xFF, 0xD8};
    for (const Segment& s : segs) {
        out.push_back(0xFF);
        out.push_back(s.code);
        out.insert(out.end(), s.body.begin(), s.body.end());
    }
    out.insert(out.end(), tail.begin(), tail.end());
    return out;
}

// One segment holding the payloads of all segments of `code`, in place of the first.
std::vector<Segment> mergeSegments(const std::vector<Segment>& segs, uint8_t code) {
    std::vector<Segment> out;
    std::vector<uint8_t> payload;
    size_t at = 0;
    bool placed = false;
    for (const Segment& s : segs) {
        if (s.code != code) {
            out.push_back(s);
            continue;
        }
        payload.insert(payload.end(), s.body.begin() + 2, s.body.end());
        if (!placed) {
            at = out.size();
            out.push_back({code, {}});
            placed = true;
        }
    }
    size_t len = payload.size() + 2;
    out[at].body = {static_cast<uint8_t>(len >> 8), static_cast<uint8_t>(len & 0xFF)};
    out[at].body.insert(out[at].body.end(), payload.begin(), payload.end());
    return out;
}

struct TestErr {
    jpeg_error_mgr pub;
    jmp_buf jump;
};
extern "C" void testExit(j_common_ptr c) { longjmp(reinterpret_cast<TestErr*>(c->err)->jump, 1); }

// What jpeg_write_tables writes for a YCbCr image at the quality.
std::vector<uint8_t> libraryTables(int quality) {
    jpeg_compress_struct c;
    TestErr err;
    c.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = testExit;
    unsigned char* buf = nullptr;
    unsigned long size = 0;
    std::vector<uint8_t> out;
    jpeg_create_compress(&c);
    if (setjmp(err.jump) == 0) {
        jpeg_mem_dest(&c, &buf, &size);
        c.in_color_space = JCS_RGB;
        c.input_components = 3;
        jpeg_set_defaults(&c);
        jpeg_set_quality(&c, quality, TRUE);
        jpeg_write_tables(&c);
        out.assign(buf, buf + size);
    }
    jpeg_destroy_compress(&c);
    free(buf);
    return out;
}

// Decodes an abbreviated stream after loading its tables; RGB pixels.
std::string decodeWithTables(const std::vector<uint8_t>& tables, const std::vector<uint8_t>& stream) {
    jpeg_decompress_struct d;
    TestErr err;
    d.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = testExit;
    jpeg_create_decompress(&d);
    std::string pixels;
    if (setjmp(err.jump) == 0) {
        if (!tables.empty()) {
            jpeg_mem_src(&d, tables.data(), tables.size());
            if (jpeg_read_header(&d, FALSE) != JPEG_HEADER_TABLES_ONLY) longjmp(err.jump, 1);
        }
        jpeg_mem_src(&d, stream.data(), stream.size());
        jpeg_read_header(&d, TRUE);
        d.out_color_space = JCS_RGB;
        jpeg_start_decompress(&d);
        std::string row(d.output_width * 3, '\0');
        while (d.output_scanline < d.output_height) {
            JSAMPROW r = reinterpret_cast<JSAMPROW>(row.data());
            jpeg_read_scanlines(&d, &r, 1);
            pixels += row;
        }
        jpeg_finish_decompress(&d);
    }
    jpeg_destroy_decompress(&d);
    return pixels;
}

} // namespace

TEST(JpegStreamParser, BaselineTileGivesColourSpaceSubsamplingAndTables) {
    std::vector<uint8_t> s = bytes(cjpeg("-quality 75 -sample 2x2", 48, 32));
    JpegStreamParser p;
    parseInto(p, s);
    ASSERT_TRUE(p.parsed);
    EXPECT_EQ(p.getColourSpace(), 3);
    EXPECT_EQ(p.getSubsampling(), 4);
    EXPECT_EQ(p.componentCount, 3);
    // Table 0 at quality 75 in natural order: the standard table halved.
    const int firstRow[8] = {8, 6, 5, 8, 12, 20, 26, 31};
    std::vector<uint16_t> q0 = p.getQuantTable(0);
    ASSERT_EQ(q0.size(), 64u);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(q0[i], firstRow[i]) << i;
    EXPECT_EQ(q0[8], 6);  // row 1, column 0: 12 halved
    EXPECT_EQ(p.getQuantTable(1).size(), 64u);
    EXPECT_TRUE(p.getQuantTable(2).empty());
    EXPECT_TRUE(p.getQuantTable(4).empty());
    // DC and AC tables 0 and 1: 16 counts and their symbols.
    EXPECT_EQ(p.dcTables[0].size(), 16u + 12u);
    EXPECT_EQ(p.acTables[0].size(), 16u + 162u);
    EXPECT_FALSE(p.dcTables[1].empty());
    EXPECT_TRUE(p.dcTables[2].empty());
}

TEST(JpegStreamParser, SubsamplingAndColourSpaceFromFrameHeader) {
    struct Case {
        const char* options;
        bool grey;
        int subsampling;
        int colourSpace;
    } cases[] = {
        {"-sample 1x1", false, 1, 3}, {"-sample 2x1", false, 2, 3}, {"-sample 1x2", false, 3, 3},
        {"-sample 2x2", false, 4, 3}, {"-sample 4x1", false, 5, 3}, {"", true, 1, -1},
        {"-rgb", false, 1, 4},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> s = bytes(cjpeg(c.options, 40, 24, c.grey));
        JpegStreamParser p;
        parseInto(p, s);
        EXPECT_TRUE(p.parsed) << c.options;
        EXPECT_EQ(p.getSubsampling(), c.subsampling) << c.options;
        EXPECT_EQ(p.getColourSpace(), c.colourSpace) << c.options;
        // The light walk agrees and leaves the tables alone.
        JpegStreamParser light;
        light.readFrameHeader(s.data(), static_cast<uint32_t>(s.size()));
        EXPECT_TRUE(light.parsed);
        EXPECT_EQ(light.getSubsampling(), c.subsampling) << c.options;
        EXPECT_TRUE(light.dqtBytes.empty());
        EXPECT_TRUE(light.getQuantTable(0).empty());
    }
}

TEST(JpegStreamParser, FixComponentIdsRewritesFrameAndScanHeaders) {
    struct Case {
        const char* sample;
        uint8_t ids[3];
        int colourSpace;
    } cases[] = {{"-sample 1x1", {'R', 'G', 'B'}, 4}, {"-sample 2x1", {1, 2, 3}, 3}};
    for (const Case& c : cases) {
        std::vector<uint8_t> s = bytes(cjpeg(c.sample, 32, 16));
        size_t sof = findMarker(s, 0xC0), sos = findMarker(s, 0xDA);
        ASSERT_NE(sof, std::string::npos);
        for (int i = 0; i < 3; ++i) {
            s[sof + 10 + 3 * i] = static_cast<uint8_t>(i);
            s[sos + 5 + 2 * i] = static_cast<uint8_t>(i);
        }
        JpegStreamParser p;
        parseInto(p, s);
        EXPECT_EQ(p.getColourSpace(), c.colourSpace) << c.sample;
        p.fixComponentIds();
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(s[sof + 10 + 3 * i], c.ids[i]) << c.sample << " frame component " << i;
            EXPECT_EQ(s[sos + 5 + 2 * i], c.ids[i]) << c.sample << " scan component " << i;
            EXPECT_EQ(p.componentIds[i], i);
        }
        EXPECT_EQ(p.getColourSpace(), c.colourSpace);
    }
    // Ids 1, 2, 3 and a single component stay as they are.
    for (bool grey : {false, true}) {
        std::vector<uint8_t> s = bytes(cjpeg("", 16, 16, grey));
        const std::vector<uint8_t> before = s;
        JpegStreamParser p;
        parseInto(p, s);
        p.fixComponentIds();
        EXPECT_EQ(s, before);
    }
}

TEST(JpegStreamParser, TablesStreamEqualsLibraryTablesAndServesAbbreviatedTiles) {
    for (int quality : {30, 75, 95}) {
        std::vector<uint8_t> full = bytes(cjpeg("-baseline -quality " + std::to_string(quality), 64, 48));
        JpegStreamParser p;
        parseInto(p, full);
        ASSERT_TRUE(p.buildTablesStream());
        EXPECT_EQ(p.tablesStream(), libraryTables(quality)) << quality;

        // The tile without its tables, decoded after the tables, equals the full stream.
        vq_ptr<vq_raw_tile> src, dst;
        ASSERT_TRUE(createRawTile(src.put()));
        ASSERT_TRUE(createRawTile(dst.put()));
        ASSERT_TRUE(src->allocate(static_cast<int32_t>(full.size()), IntPair(64, 48)));
        ASSERT_TRUE(dst->allocate(static_cast<int32_t>(full.size()), IntPair(64, 48)));
        std::memcpy(src->getData(), full.data(), full.size());
        ASSERT_TRUE(stripJpegTables(src.get(), dst.get()));
        std::vector<uint8_t> abbreviated(dst->getData(), dst->getData() + dst->getDataLength());
        EXPECT_EQ(findMarker(abbreviated, 0xDB), std::string::npos);
        EXPECT_EQ(findMarker(abbreviated, 0xC4), std::string::npos);
        const std::string expected = decodeWithTables({}, full);
        ASSERT_FALSE(expected.empty());
        EXPECT_EQ(decodeWithTables(p.tablesStream(), abbreviated), expected);
    }
}

TEST(JpegStreamParser, TablesOnlyStreamRoundTripsAndNeedsQuantisationTables) {
    std::vector<uint8_t> tables = libraryTables(60);
    JpegStreamParser p;
    parseInto(p, tables);
    ASSERT_TRUE(p.parsed);
    ASSERT_TRUE(p.buildTablesStream());
    EXPECT_EQ(p.tablesStream(), tables);

    // Without DQT segments there is no tables stream.
    size_t sos = 0;
    std::vector<Segment> segs = headerSegments(tables, &sos);
    std::vector<Segment> noDqt;
    for (const Segment& s : segs)
        if (s.code != 0xDB) noDqt.push_back(s);
    std::vector<uint8_t> stream = joinSegments(noDqt, {0xFF, 0xD9});
    JpegStreamParser q;
    parseInto(q, stream);
    EXPECT_TRUE(q.parsed);
    EXPECT_FALSE(q.buildTablesStream());
    EXPECT_EQ(q.tablesStream(), (std::vector<uint8_t>{0xFF, 0xD8}));
}

TEST(JpegStreamParser, SameTablesComparesHuffmanByContentAndQuantisationByBytes) {
    std::vector<uint8_t> a = bytes(cjpeg("-quality 80", 48, 32, false, 1));
    std::vector<uint8_t> b = bytes(cjpeg("-quality 80", 64, 16, false, 2));
    std::vector<uint8_t> c = bytes(cjpeg("-quality 50", 48, 32, false, 1));
    JpegStreamParser p;
    parseInto(p, a);
    EXPECT_TRUE(p.sameTablesAs(b.data(), static_cast<uint32_t>(b.size())));
    EXPECT_FALSE(p.sameTablesAs(c.data(), static_cast<uint32_t>(c.size())));

    size_t sos = 0;
    std::vector<Segment> segs = headerSegments(b, &sos);
    std::vector<uint8_t> tail(b.begin() + static_cast<long>(sos), b.end());
    std::vector<uint8_t> oneDht = joinSegments(mergeSegments(segs, 0xC4), tail);
    std::vector<uint8_t> oneDqt = joinSegments(mergeSegments(segs, 0xDB), tail);
    EXPECT_TRUE(p.sameTablesAs(oneDht.data(), static_cast<uint32_t>(oneDht.size())));
    EXPECT_FALSE(p.sameTablesAs(oneDqt.data(), static_cast<uint32_t>(oneDqt.size())));

    JpegStreamParser unparsed;
    EXPECT_FALSE(unparsed.sameTablesAs(b.data(), static_cast<uint32_t>(b.size())));
}

TEST(JpegStreamParser, SixteenBitQuantisationTablesKeepLargeValues) {
    // Quality 1 without forced baseline writes 16-bit tables.
    std::vector<uint8_t> s = bytes(cjpeg("-quality 1", 16, 16));
    JpegStreamParser p;
    parseInto(p, s);
    ASSERT_TRUE(p.parsed);
    std::vector<uint16_t> q0 = p.getQuantTable(0);
    ASSERT_EQ(q0.size(), 64u);
    EXPECT_EQ(q0[0], 800);  // 16 x 5000 / 100
    EXPECT_EQ(q0[63], 4950);
}

TEST(JpegStreamParser, EndOfDataDecidesWhetherAStreamParsed) {
    std::vector<uint8_t> full = bytes(cjpeg("", 16, 16));
    size_t sos = findMarker(full, 0xDA);
    // Ending right after FF DA: parsed when a DHT segment came before.
    std::vector<uint8_t> cut(full.begin(), full.begin() + static_cast<long>(sos) + 2);
    JpegStreamParser p;
    parseInto(p, cut);
    EXPECT_TRUE(p.parsed);

    size_t at = 0;
    std::vector<Segment> segs = headerSegments(full, &at);
    std::vector<Segment> noDht;
    for (const Segment& s : segs)
        if (s.code != 0xC4) noDht.push_back(s);
    std::vector<uint8_t> bare = joinSegments(noDht, {0xFF, 0xDA});
    JpegStreamParser q;
    parseInto(q, bare);
    EXPECT_FALSE(q.parsed);

    // A DQT segment longer than the data, a Huffman table slot above 3.
    std::vector<uint8_t> longDqt = {0xFF, 0xD8, 0xFF, 0xDB, 0x00, 0x43, 0x00, 1, 2, 3};
    JpegStreamParser r;
    parseInto(r, longDqt);
    EXPECT_FALSE(r.parsed);
    EXPECT_TRUE(r.dqtBytes.empty());
    std::vector<uint8_t> badSlot = {0xFF, 0xD8, 0xFF, 0xC4, 0x00, 0x13, 0x05};
    badSlot.insert(badSlot.end(), 16, 0);
    badSlot.insert(badSlot.end(), {0xFF, 0xD9});
    JpegStreamParser t;
    parseInto(t, badSlot);
    EXPECT_FALSE(t.parsed);
    JpegStreamParser empty;
    empty.parse(false);
    EXPECT_FALSE(empty.parsed);
}

TEST(JpegStreamParser, StripTablesKeepsOtherSegmentsAndDropsFillBytes) {
    std::vector<uint8_t> s = bytes(cjpeg("-restart 1", 32, 32));
    // A comment after SOI, and fill bytes before the frame header.
    const std::vector<uint8_t> com = {0xFF, 0xFE, 0x00, 0x06, 'n', 'o', 't', 'e'};
    s.insert(s.begin() + 2, com.begin(), com.end());
    size_t sof = findMarker(s, 0xC0);
    s.insert(s.begin() + static_cast<long>(sof), {0xFF, 0xFF, 0xFF});
    vq_ptr<vq_raw_tile> src, dst;
    ASSERT_TRUE(createRawTile(src.put()));
    ASSERT_TRUE(createRawTile(dst.put()));
    ASSERT_TRUE(src->allocate(static_cast<int32_t>(s.size()), IntPair(32, 32)));
    ASSERT_TRUE(dst->allocate(static_cast<int32_t>(s.size()), IntPair(32, 32)));
    std::memcpy(src->getData(), s.data(), s.size());
    ASSERT_TRUE(stripJpegTables(src.get(), dst.get()));
    std::vector<uint8_t> out(dst->getData(), dst->getData() + dst->getDataLength());

    JpegStreamParser p;
    parseInto(p, s);
    const size_t removed = p.dqtBytes.size() + p.dhtBytes.size() + 3;
    EXPECT_EQ(out.size(), s.size() - removed);
    size_t outSos = 0;
    std::vector<Segment> segs = headerSegments(out, &outSos);
    std::vector<uint8_t> codes;
    for (const Segment& seg : segs) codes.push_back(seg.code);
    EXPECT_EQ(codes, (std::vector<uint8_t>{0xFE, 0xE0, 0xC0, 0xDD}));
    EXPECT_TRUE(std::equal(out.begin() + static_cast<long>(outSos), out.end(), s.end() - static_cast<long>(out.size() - outSos)));

    // A stream without SOS or EOI fails and leaves the length alone.
    ASSERT_TRUE(src->allocate(6, IntPair(1, 1)));
    const uint8_t noScan[6] = {0xFF, 0xD8, 0xFF, 0xFE, 0x00, 0x02};
    std::memcpy(src->getData(), noScan, 6);
    const int32_t before = dst->getDataLength();
    EXPECT_FALSE(stripJpegTables(src.get(), dst.get()));
    EXPECT_EQ(dst->getDataLength(), before);
    EXPECT_FALSE(stripJpegTables(nullptr, dst.get()));
}
