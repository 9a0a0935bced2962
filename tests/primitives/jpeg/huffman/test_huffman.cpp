// Huffman coding of blocks against the JPEG library: decoding the scans of
// files that cjpeg made equals jpeg_read_coefficients, re-encoding those
// coefficients gives the files' scans byte for byte, and optimal tables equal
// those of jpegtran -optimize. Every processor path against the generic one.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "primitives/jpeg/huffman/huffman.h"
#include "tests/jpeg/jpeg_fixtures.h"
#include "tests/support/path_harness.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Table {
    std::array<uint8_t, 16> bits{};
    Bytes values;
};

// The parts of a baseline JPEG file the coding needs: its Huffman tables by
// (class, id), its frame, the first scan's table choice and entropy-coded
// bytes (markers inside the scan kept).
struct Parsed {
    std::map<int, Table> tables;  // key: class * 16 + id
    int width = 0, height = 0, restart = 0;
    std::vector<int> h, v, dcId, acId;
    int hmax = 1, vmax = 1;
    Bytes scan;
};

Parsed parse(const std::string& file) {
    Parsed p;
    const auto* b = reinterpret_cast<const uint8_t*>(file.data());
    size_t i = 2;
    while (i + 4 <= file.size()) {
        EXPECT_EQ(b[i], 0xFF);
        const int m = b[i + 1];
        const size_t len = (b[i + 2] << 8) | b[i + 3];
        const uint8_t* s = b + i + 4;
        if (m == 0xC4) {
            for (size_t q = 0; q < len - 2;) {
                Table t;
                const int key = s[q];
                std::memcpy(t.bits.data(), s + q + 1, 16);
                int n = 0;
                for (uint8_t c : t.bits) n += c;
                t.values.assign(s + q + 17, s + q + 17 + n);
                p.tables[(key >> 4) * 16 + (key & 15)] = t;
                q += 17 + n;
            }
        } else if (m == 0xC0 || m == 0xC1) {  // baseline or extended sequential
            p.height = (s[1] << 8) | s[2];
            p.width = (s[3] << 8) | s[4];
            for (int c = 0; c < s[5]; ++c) {
                p.h.push_back(s[7 + 3 * c] >> 4);
                p.v.push_back(s[7 + 3 * c] & 15);
                p.hmax = std::max(p.hmax, p.h.back());
                p.vmax = std::max(p.vmax, p.v.back());
            }
        } else if (m == 0xDD) {
            p.restart = (s[0] << 8) | s[1];
        } else if (m == 0xDA) {
            for (int c = 0; c < s[0]; ++c) {
                p.dcId.push_back(s[2 + 2 * c] >> 4);
                p.acId.push_back(s[2 + 2 * c] & 15);
            }
            size_t e = i + 2 + len;
            const size_t start = e;
            while (e + 1 < file.size() && !(b[e] == 0xFF && b[e + 1] != 0 && (b[e + 1] < 0xD0 || b[e + 1] > 0xD7))) ++e;
            p.scan.assign(b + start, b + e);
            break;
        }
        i += 2 + len;
    }
    return p;
}

// The blocks of a scan in coding order: (component, block x, block y).
struct BlockRef {
    int c, bx, by;
};
std::vector<std::vector<BlockRef>> mcus(const Parsed& p, const jpegtest::Coefficients& k) {
    std::vector<std::vector<BlockRef>> out;
    if (p.h.size() == 1) {  // one component: not interleaved, one block per unit
        for (int by = 0; by < k.blocksDown[0]; ++by)
            for (int bx = 0; bx < k.blocksAcross[0]; ++bx) out.push_back({{0, bx, by}});
        return out;
    }
    const int across = (p.width + 8 * p.hmax - 1) / (8 * p.hmax), down = (p.height + 8 * p.vmax - 1) / (8 * p.vmax);
    for (int my = 0; my < down; ++my)
        for (int mx = 0; mx < across; ++mx) {
            std::vector<BlockRef> unit;
            for (size_t c = 0; c < p.h.size(); ++c)
                for (int y = 0; y < p.v[c]; ++y)
                    for (int x = 0; x < p.h[c]; ++x)
                        unit.push_back({static_cast<int>(c), mx * p.h[c] + x, my * p.v[c] + y});
            out.push_back(unit);
        }
    return out;
}

// The coding tables of each component of the scan, built on a path.
template <class Spec>
struct CodingTables {
    std::vector<Spec> dc, ac;
};
template <class Spec, class Init>
CodingTables<Spec> codingTables(Init init, const Parsed& p) {
    CodingTables<Spec> t;
    t.dc.resize(p.h.size());
    t.ac.resize(p.h.size());
    for (size_t c = 0; c < p.h.size(); ++c) {
        const Table& d = p.tables.at(p.dcId[c]);
        const Table& a = p.tables.at(16 + p.acId[c]);
        EXPECT_EQ(init(d.bits.data(), d.values.data(), &t.dc[c]), 0);
        EXPECT_EQ(init(a.bits.data(), a.values.data(), &t.ac[c]), 0);
    }
    return t;
}
CodingTables<HuffmanDecodeSpec> decodeTables(int path, const Parsed& p) {
    return codingTables<HuffmanDecodeSpec>(huffmanDecodeSpecInitTable[path], p);
}
CodingTables<HuffmanEncodeSpec> encodeTables(int path, const Parsed& p) {
    return codingTables<HuffmanEncodeSpec>(huffmanEncodeSpecInitTable[path], p);
}

// Files of several layouts, each with and without restart markers.
struct FileCase {
    std::string options;
    int w, h;
    bool grey;
};
const FileCase kFiles[] = {
    {"-sample 2x2", 96, 64, false},          {"-sample 2x2 -restart 1", 96, 64, false},
    {"-sample 1x1 -restart 5B", 75, 53, false}, {"-quality 98 -sample 1x1", 41, 23, false},
    {"-restart 2B", 77, 45, true},           {"-quality 20", 50, 50, true},
};

// Decodes the scan of a file on a path: every block equals the library's.
TEST(JpegHuffman, DecodingEqualsTheLibrarysCoefficients) {
    for (const FileCase& f : kFiles) {
        SCOPED_TRACE(f.options + (f.grey ? " grey" : ""));
        const std::string file = jpegtest::cjpeg(f.options, f.w, f.h, f.grey);
        const jpegtest::Coefficients k = jpegtest::readCoefficients(file);
        ASSERT_TRUE(k.ok);
        const Parsed p = parse(file);
        ASSERT_EQ(p.restart != 0, f.options.find("restart") != std::string::npos);
        const auto units = mcus(p, k);
        ASSERT_FALSE(units.empty());
        for (int path : vqtest::allPaths()) {
            SCOPED_TRACE(vqtest::pathName(path));
            const auto t = decodeTables(path, p);
            HuffmanDecodeState state;
            ASSERT_EQ(huffmanDecodeStateInit(&state), 0);
            int32_t pos = 0, marker = 0;
            std::vector<int16_t> pred(p.h.size(), 0);
            const int32_t len = static_cast<int32_t>(p.scan.size());
            int mismatches = 0, restarts = 0;
            for (size_t u = 0; u < units.size(); ++u) {
                if (p.restart && u > 0 && u % p.restart == 0) {
                    // The caller's restart: drop the bits held, pass the marker,
                    // reset the predictors.
                    if (marker == 0) {
                        while (pos + 1 < len && !(p.scan[pos] == 0xFF && p.scan[pos + 1] >= 0xD0 && p.scan[pos + 1] <= 0xD7)) ++pos;
                        ASSERT_LT(pos + 1, len);
                        marker = p.scan[pos + 1];
                        pos += 2;
                    }
                    EXPECT_EQ(marker, 0xD0 + (restarts++ & 7));
                    marker = 0;
                    huffmanDecodeStateInit(&state);
                    std::fill(pred.begin(), pred.end(), 0);
                }
                for (const BlockRef& r : units[u]) {
                    int16_t blk[64];
                    ASSERT_EQ(huffmanDecodeBlockTable[path](p.scan.data(), len, &pos, blk, &pred[r.c], &marker,
                                                            &t.dc[r.c], &t.ac[r.c], &state),
                              0)
                        << "unit " << u;
                    mismatches += std::memcmp(blk, jpegtest::block(k, r.c, r.bx, r.by), sizeof blk) != 0;
                }
            }
            EXPECT_EQ(mismatches, 0);
            EXPECT_EQ(marker, 0);
        }
    }
}

// Encodes the library's coefficients of a file with the file's own tables, as
// the library's encoder stage does (flush and marker at each restart).
Bytes encodeScan(int path, const Parsed& p, const jpegtest::Coefficients& k) {
    const auto t = encodeTables(path, p);
    const auto units = mcus(p, k);
    Bytes out(p.scan.size() + 4096);
    int32_t pos = 0;
    HuffmanEncodeState state;
    EXPECT_EQ(huffmanEncodeStateInitTable[path](&state), 0);
    std::vector<int16_t> pred(p.h.size(), 0);
    int restarts = 0;
    const int32_t cap = static_cast<int32_t>(out.size());
    for (size_t u = 0; u < units.size(); ++u) {
        if (p.restart && u > 0 && u % p.restart == 0) {
            EXPECT_EQ(huffmanEncodeBlockTable[path](nullptr, out.data(), cap, &pos, nullptr, nullptr, nullptr, &state, 1), 0);
            out[pos++] = 0xFF;
            out[pos++] = static_cast<uint8_t>(0xD0 + (restarts++ & 7));
            std::fill(pred.begin(), pred.end(), 0);
        }
        for (const BlockRef& r : units[u])
            EXPECT_EQ(huffmanEncodeBlockTable[path](jpegtest::block(k, r.c, r.bx, r.by), out.data(), cap, &pos,
                                                    &pred[r.c], &t.dc[r.c], &t.ac[r.c], &state, 0),
                      0);
    }
    EXPECT_EQ(huffmanEncodeBlockTable[path](nullptr, out.data(), cap, &pos, nullptr, nullptr, nullptr, &state, 1), 0);
    out.resize(pos);
    return out;
}

TEST(JpegHuffman, ReencodingGivesTheFilesScan) {
    for (const FileCase& f : kFiles) {
        SCOPED_TRACE(f.options + (f.grey ? " grey" : ""));
        const std::string file = jpegtest::cjpeg(f.options, f.w, f.h, f.grey);
        const jpegtest::Coefficients k = jpegtest::readCoefficients(file);
        ASSERT_TRUE(k.ok);
        const Parsed p = parse(file);
        for (int path : vqtest::allPaths()) {
            SCOPED_TRACE(vqtest::pathName(path));
            const Bytes ours = encodeScan(path, p, k);
            size_t i = 0;
            while (i < ours.size() && i < p.scan.size() && ours[i] == p.scan[i]) ++i;
            EXPECT_EQ(i, p.scan.size()) << "first difference; sizes " << ours.size() << " and " << p.scan.size();
        }
    }
}

// Statistics of every block with the predictors the scan has, then one
// optimal table per (class, id) of the optimised file: equal to its DHT.
TEST(JpegHuffman, OptimalTablesEqualJpegtranOptimize) {
    for (const FileCase& f : kFiles) {
        SCOPED_TRACE(f.options + (f.grey ? " grey" : ""));
        const std::string file = jpegtest::cjpeg(f.options, f.w, f.h, f.grey);
        const int restart = parse(file).restart;
        const std::string optimised = jpegtest::runTool(
            "jpegtran", "-optimize" + (restart ? " -restart " + std::to_string(restart) + "B" : std::string()), file);
        const jpegtest::Coefficients k = jpegtest::readCoefficients(file);
        ASSERT_TRUE(k.ok);
        const Parsed p = parse(optimised);
        ASSERT_EQ(p.restart, parse(file).restart);
        const auto units = mcus(p, k);
        for (int path : vqtest::allPaths()) {
            SCOPED_TRACE(vqtest::pathName(path));
            std::map<int, std::vector<int32_t>> counts;  // class * 16 + id
            std::vector<int16_t> pred(p.h.size(), 0);
            for (size_t u = 0; u < units.size(); ++u) {
                if (p.restart && u > 0 && u % p.restart == 0) std::fill(pred.begin(), pred.end(), 0);
                for (const BlockRef& r : units[u]) {
                    auto& dc = counts[p.dcId[r.c]];
                    auto& ac = counts[16 + p.acId[r.c]];
                    dc.resize(257);
                    ac.resize(257);
                    ASSERT_EQ(huffmanGatherBlockStatisticsTable[path](jpegtest::block(k, r.c, r.bx, r.by), dc.data(),
                                                                      ac.data(), &pred[r.c]),
                              0);
                }
            }
            ASSERT_EQ(counts.size(), p.tables.size());
            for (auto& [key, n] : counts) {
                SCOPED_TRACE(key);
                uint8_t bits[16];
                uint8_t values[256];
                ASSERT_EQ(huffmanBuildOptimalTableTable[path](n.data(), bits, values), 0);
                const Table& want = p.tables.at(key);
                EXPECT_EQ(0, std::memcmp(bits, want.bits.data(), 16));
                EXPECT_TRUE(Bytes(values, values + want.values.size()) == want.values);
            }
        }
    }
}

// The standard's luminance tables (ITU-T T.81, K.3).
const uint8_t kDcBits[16] = {0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0};
const uint8_t kDcValues[12] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
const uint8_t kAcBits[16] = {0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 0x7d};
const uint8_t kAcValues[162] = {
    0x01, 0x02, 0x03, 0x00, 0x04, 0x11, 0x05, 0x12, 0x21, 0x31, 0x41, 0x06, 0x13, 0x51, 0x61, 0x07, 0x22, 0x71,
    0x14, 0x32, 0x81, 0x91, 0xa1, 0x08, 0x23, 0x42, 0xb1, 0xc1, 0x15, 0x52, 0xd1, 0xf0, 0x24, 0x33, 0x62, 0x72,
    0x82, 0x09, 0x0a, 0x16, 0x17, 0x18, 0x19, 0x1a, 0x25, 0x26, 0x27, 0x28, 0x29, 0x2a, 0x34, 0x35, 0x36, 0x37,
    0x38, 0x39, 0x3a, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49, 0x4a, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59,
    0x5a, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x6a, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7a, 0x83,
    0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8a, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99, 0x9a, 0xa2, 0xa3,
    0xa4, 0xa5, 0xa6, 0xa7, 0xa8, 0xa9, 0xaa, 0xb2, 0xb3, 0xb4, 0xb5, 0xb6, 0xb7, 0xb8, 0xb9, 0xba, 0xc2, 0xc3,
    0xc4, 0xc5, 0xc6, 0xc7, 0xc8, 0xc9, 0xca, 0xd2, 0xd3, 0xd4, 0xd5, 0xd6, 0xd7, 0xd8, 0xd9, 0xda, 0xe1, 0xe2,
    0xe3, 0xe4, 0xe5, 0xe6, 0xe7, 0xe8, 0xe9, 0xea, 0xf1, 0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 0xf8, 0xf9, 0xfa};

struct Coders {
    HuffmanDecodeSpec dcD, acD;
    HuffmanEncodeSpec dcE, acE;
    explicit Coders(int path) {
        EXPECT_EQ(huffmanDecodeSpecInitTable[path](kDcBits, kDcValues, &dcD), 0);
        EXPECT_EQ(huffmanDecodeSpecInitTable[path](kAcBits, kAcValues, &acD), 0);
        EXPECT_EQ(huffmanEncodeSpecInitTable[path](kDcBits, kDcValues, &dcE), 0);
        EXPECT_EQ(huffmanEncodeSpecInitTable[path](kAcBits, kAcValues, &acE), 0);
    }
};

TEST(JpegHuffman, BadTablesAreRefused) {
    struct Case { std::vector<uint8_t> bits; int32_t status; };
    const Case cases[] = {
        {{2}, primErrHuffmanTable},     // two codes of length 1, the second all 1-bits
        {{1, 3}, primErrHuffmanTable},  // the third code of length 2 does not fit
        {{0, 0, 0, 0, 0, 0, 0, 255, 2}, primErrHuffmanTable},  // 257 codes
        {{1, 1}, 0},
        {{}, 0},  // no codes: a valid empty table
    };
    uint8_t values[256];
    for (int i = 0; i < 256; ++i) values[i] = static_cast<uint8_t>(i);
    for (int path : vqtest::allPaths())
        for (const Case& c : cases) {
            uint8_t bits[16] = {};
            std::copy(c.bits.begin(), c.bits.end(), bits);
            HuffmanDecodeSpec d;
            HuffmanEncodeSpec e;
            std::memset(&d, 0x5A, sizeof d);
            EXPECT_EQ(huffmanDecodeSpecInitTable[path](bits, values, &d), c.status);
            EXPECT_EQ(huffmanEncodeSpecInitTable[path](bits, values, &e), c.status);
            if (c.status != 0) {
                // A refused decoding table is left cleared.
                const auto* raw = reinterpret_cast<const uint8_t*>(&d);
                EXPECT_EQ(std::count(raw, raw + sizeof d, 0), static_cast<long>(sizeof d));
            }
            EXPECT_EQ(huffmanDecodeSpecInitTable[path](nullptr, values, &d), primErrNullPtr);
            EXPECT_EQ(huffmanEncodeSpecInitTable[path](bits, values, nullptr), primErrNullPtr);
        }
    // The empty table: every symbol fails with -63; encoding with it fails with -64.
    uint8_t none[16] = {};
    HuffmanDecodeSpec empty;
    ASSERT_EQ(huffmanDecodeSpecInit(none, values, &empty), 0);
    const uint8_t data[8] = {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0};
    HuffmanDecodeState st{};
    int32_t pos = 0, marker = 0;
    int16_t pred = 0, blk[64];
    EXPECT_EQ(huffmanDecodeBlock(data, 8, &pos, blk, &pred, &marker, &empty, &empty, &st), primErrHuffmanData);
    // A symbol listed twice keeps the code of its later place.
    const uint8_t twiceBits[16] = {0, 3};
    const uint8_t twice[3] = {7, 9, 7};
    HuffmanEncodeSpec e;
    ASSERT_EQ(huffmanEncodeSpecInit(twiceBits, twice, &e), 0);
    EXPECT_EQ(e.codes[7], (2u << 16) | 2u);
    EXPECT_EQ(e.codes[9], (2u << 16) | 1u);
}

// Bytes made by the encoder, decoded back; a few fixed blocks and random ones.
TEST(JpegHuffman, EncodedBlocksDecodeBackOnEveryPath) {
    std::mt19937 rng(14106);
    std::vector<std::array<int16_t, 64>> blocks(200);
    for (size_t b = 0; b < blocks.size(); ++b) {
        auto& blk = blocks[b];
        blk.fill(0);
        const int nonZero = static_cast<int>(rng() % 64);
        for (int i = 0; i < nonZero; ++i) {
            const int mag = static_cast<int>(rng() % (b % 3 == 0 ? 1024 : 20));
            blk[rng() % 64] = static_cast<int16_t>(rng() & 1 ? mag : -mag);
        }
        blk[0] = static_cast<int16_t>(static_cast<int>(rng() % 2048) - 1024);  // the tables' DC range
    }
    blocks[0].fill(0);
    blocks[1].fill(0);
    blocks[1][63] = 5;  // only the last zig-zag index: three ZRLs, no end of block
    blocks[2].fill(0);
    blocks[2][jpegZigzagToNatural[17]] = -1;  // exactly 16 zeros: one ZRL then run 0
    blocks[3].fill(0);
    blocks[3][jpegZigzagToNatural[62]] = 1023;  // ends with the end-of-block code
    Bytes first;
    for (int path : vqtest::allPaths()) {
        SCOPED_TRACE(vqtest::pathName(path));
        Coders k(path);
        Bytes out(64 * 1024);
        int32_t pos = 0;
        HuffmanEncodeState es;
        huffmanEncodeStateInitTable[path](&es);
        int16_t pred = 0;
        for (const auto& blk : blocks)
            ASSERT_EQ(huffmanEncodeBlockTable[path](blk.data(), out.data(), static_cast<int32_t>(out.size()), &pos,
                                                    &pred, &k.dcE, &k.acE, &es, 0),
                      0);
        ASSERT_EQ(huffmanEncodeBlockTable[path](nullptr, out.data(), static_cast<int32_t>(out.size()), &pos, nullptr,
                                                nullptr, nullptr, &es, 1),
                  0);
        out.resize(pos);
        if (first.empty()) first = out;
        EXPECT_TRUE(out == first);
        HuffmanDecodeState ds{};
        int32_t rpos = 0, marker = 0;
        int16_t dpred = 0;
        for (size_t b = 0; b < blocks.size(); ++b) {
            int16_t blk[64];
            ASSERT_EQ(huffmanDecodeBlockTable[path](out.data(), pos, &rpos, blk, &dpred, &marker, &k.dcD, &k.acD, &ds), 0)
                << b;
            ASSERT_EQ(0, std::memcmp(blk, blocks[b].data(), sizeof blk)) << b;
        }
    }
}

// Hand-made bit strings with the standard tables. DC category 0 is "00",
// AC end of block "1010", AC 0x01 (run 0, size 1) "00".
TEST(JpegHuffman, DecoderByteHandlingAndFailures) {
    for (int path : vqtest::allPaths()) {
        SCOPED_TRACE(vqtest::pathName(path));
        Coders k(path);
        auto decode = [&](const Bytes& data, int32_t* pos, int32_t* marker, HuffmanDecodeState* st, int16_t* pred,
                          int16_t* blk) {
            return huffmanDecodeBlockTable[path](data.data(), static_cast<int32_t>(data.size()), pos, blk, pred,
                                                 marker, &k.dcD, &k.acD, st);
        };
        int16_t blk[64];
        {   // 0xFF 0x00 is a data byte 0xFF, 0xFF 0xFF 0x00 a fill byte then
            // 0xFF: both decode alike, the second one byte further on.
            Bytes plain = {0xFF, 0x00, 0x12, 0x34};
            Bytes filled = {0xFF, 0xFF, 0x00, 0x12, 0x34};
            HuffmanDecodeState a{}, b{};
            int32_t pa = 0, pb = 0, ma = 0, mb = 0;
            int16_t ra = 0, rb = 0, blkB[64];
            const int32_t sa = decode(plain, &pa, &ma, &a, &ra, blk);
            const int32_t sb = decode(filled, &pb, &mb, &b, &rb, blkB);
            EXPECT_EQ(sa, sb);
            EXPECT_EQ(pb, pa + 1);
            EXPECT_EQ(0, std::memcmp(blk, blkB, sizeof blk));
            EXPECT_EQ(a.bits, b.bits);
        }
        {   // DC "00", EOB "1010", then padding 1-bits: one byte 0x2B, then a
            // marker. The block decodes; the marker is stored with the position
            // after it; a later block that needs more bits fails with -63 and
            // reads no byte.
            Bytes data = {0x2B, 0xFF, 0xD3, 0x00, 0x00};
            HuffmanDecodeState st{};
            int32_t pos = 0, marker = 0;
            int16_t pred = 77;
            ASSERT_EQ(decode(data, &pos, &marker, &st, &pred, blk), 0);
            EXPECT_EQ(marker, 0xD3);
            EXPECT_EQ(pos, 3);
            EXPECT_EQ(blk[0], 77);  // category 0 keeps the predictor
            EXPECT_EQ(std::count(blk + 1, blk + 64, 0), 63);
            EXPECT_EQ(decode(data, &pos, &marker, &st, &pred, blk), primErrHuffmanData);
            EXPECT_EQ(pos, 3);
        }
        {   // Data ending just after a 0xFF: -62 with the position at the end.
            Bytes data = {0xFF};
            HuffmanDecodeState st{};
            int32_t pos = 0, marker = 0;
            int16_t pred = 0;
            EXPECT_EQ(decode(data, &pos, &marker, &st, &pred, blk), primErrDataEnd);
            EXPECT_EQ(pos, 1);
        }
        {   // srcLen 0 with the block's bits already in the state.
            HuffmanDecodeState st{};
            st.count = 8;
            const uint8_t none = 0;
            int32_t pos = 0, marker = 0;
            int16_t pred = 32767;
            // DC category 1 is "010" and value bit "1": +1 wraps the predictor.
            st.bits = 0x5A;  // 010 1 1010 : category 1, value 1, end of block
            EXPECT_EQ(huffmanDecodeBlockTable[path](&none, 0, &pos, blk, &pred, &marker, &k.dcD, &k.acD, &st), 0);
            EXPECT_EQ(pred, -32768);
            EXPECT_EQ(blk[0], -32768);
            EXPECT_EQ(st.count, 0);
        }
        {   // Argument checks; nothing is written.
            const uint8_t data[4] = {0, 0, 0, 0};
            HuffmanDecodeState st{};
            int32_t pos = 0, marker = 0;
            int16_t pred = 0;
            std::fill(blk, blk + 64, 99);
            EXPECT_EQ(huffmanDecodeBlockTable[path](data, -1, &pos, blk, &pred, &marker, &k.dcD, &k.acD, &st),
                      primErrNegativeLength);
            EXPECT_EQ(huffmanDecodeBlockTable[path](nullptr, -1, &pos, blk, &pred, &marker, &k.dcD, &k.acD, &st),
                      primErrNullPtr);
            EXPECT_EQ(huffmanDecodeBlockTable[path](data, 4, &pos, blk, &pred, &marker, &k.dcD, &k.acD, nullptr),
                      primErrNullPtr);
            // A start position outside the data is refused before any read.
            for (int32_t bad : {-1, 5, 1 << 30}) {
                pos = bad;
                EXPECT_EQ(huffmanDecodeBlockTable[path](data, 4, &pos, blk, &pred, &marker, &k.dcD, &k.acD, &st),
                          primErrSize);
                EXPECT_EQ(pos, bad);
            }
            EXPECT_EQ(std::count(blk, blk + 64, 99), 64);
            EXPECT_EQ(st.count, 0);
        }
    }
}

// A run that passes index 63 writes its value to position 63; symbols 0x10
// to 0xE0 end a block like 0x00; a DC symbol above 15 uses its low 4 bits.
TEST(JpegHuffman, DecoderSymbolRules) {
    // A table of 4-bit codes for the symbols listed, code i for symbol i.
    const uint8_t bits[16] = {0, 0, 0, 15};
    for (int path : vqtest::allPaths()) {
        const uint8_t dcSyms[15] = {0x00, 0x11, 0x02};
        const uint8_t acSyms[15] = {0xF0, 0x00, 0x50, 0xF1, 0x01};
        HuffmanDecodeSpec dc, ac;
        ASSERT_EQ(huffmanDecodeSpecInitTable[path](bits, dcSyms, &dc), 0);
        ASSERT_EQ(huffmanDecodeSpecInitTable[path](bits, acSyms, &ac), 0);
        auto run = [&](const Bytes& data, int16_t* blk, int16_t* pred) {
            HuffmanDecodeState st{};
            int32_t pos = 0, marker = 0;
            return huffmanDecodeBlockTable[path](data.data(), static_cast<int32_t>(data.size()), &pos, blk, pred,
                                                 &marker, &dc, &ac, &st);
        };
        int16_t blk[64], pred = 0;
        // DC symbol 0x11 (code 1): size 1, bit "1" -> +1. Then ZRL x3 (code 0),
        // then 0xF1 (code 3): run 15 from index 49 passes 63, value bit "1".
        // Bits: 0001 1 0000 0000 0000 0011 1, padded with 1-bits.
        Bytes data = {0x18, 0x00, 0x1F, 0x00, 0x00};
        ASSERT_EQ(run(data, blk, &pred), 0);
        EXPECT_EQ(blk[0], 1);
        EXPECT_EQ(blk[63], 1);
        EXPECT_EQ(std::count(blk + 1, blk + 63, 0), 62);
        // DC 0x02 (code 2): size 2 bits "11" -> 3; then 0x50 (code 2) ends the
        // block. Bits: 0010 11 0010, padded with 1-bits.
        pred = 0;
        data = {0x2C, 0xBF, 0x00, 0x00};
        ASSERT_EQ(run(data, blk, &pred), 0);
        EXPECT_EQ(blk[0], 3);
        EXPECT_EQ(std::count(blk + 1, blk + 64, 0), 63);
    }
}

TEST(JpegHuffman, EncoderEdgeCases) {
    for (int path : vqtest::allPaths()) {
        SCOPED_TRACE(vqtest::pathName(path));
        Coders k(path);
        auto enc = [&](const int16_t* blk, Bytes& out, int32_t len, int32_t* pos, int16_t* pred,
                       HuffmanEncodeState* st, int32_t flush) {
            return huffmanEncodeBlockTable[path](blk, out.data(), len, pos, pred, &k.dcE, &k.acE, st, flush);
        };
        int16_t zero[64] = {};
        Bytes out(64, 0xEE);
        HuffmanEncodeState st;
        huffmanEncodeStateInitTable[path](&st);
        int32_t pos = 0;
        int16_t pred = 0;
        // All zero: DC "00" then EOB "1010": six bits waiting, nothing written.
        ASSERT_EQ(enc(zero, out, 64, &pos, &pred, &st, 0), 0);
        EXPECT_EQ(pos, 0);
        EXPECT_EQ(st.count, 6);
        // Flush: one byte 001010 + 11.
        ASSERT_EQ(enc(nullptr, out, 64, &pos, nullptr, &st, 1), 0);
        EXPECT_EQ(pos, 1);
        EXPECT_EQ(out[0], 0x2B);
        EXPECT_EQ(st.count, 0);
        ASSERT_EQ(enc(nullptr, out, 64, &pos, nullptr, &st, 1), 0);  // nothing waiting: nothing written
        EXPECT_EQ(pos, 1);
        EXPECT_EQ(enc(nullptr, out, 0, &pos, nullptr, &st, 1), primErrSize);
        // An AC coefficient of -32768 cannot be coded: refused, nothing moves.
        int16_t bad[64] = {};
        bad[0] = 40;
        bad[5] = -32768;
        pred = 3;
        const HuffmanEncodeState before = st;
        EXPECT_EQ(enc(bad, out, 64, &pos, &pred, &st, 0), primErrHuffmanTable);
        EXPECT_EQ(pred, 3);
        EXPECT_EQ(pos, 1);
        EXPECT_EQ(0, std::memcmp(&before, &st, sizeof st));
        // DC 100 after a predictor of 100: the category-0 code alone.
        int16_t dc100[64] = {};
        dc100[0] = 100;
        pred = 100;
        pos = 0;
        ASSERT_EQ(enc(dc100, out, 64, &pos, &pred, &st, 0), 0);
        EXPECT_EQ(st.count, 6);
        huffmanEncodeStateInitTable[path](&st);
        EXPECT_EQ(huffmanEncodeBlockTable[path](dc100, out.data(), 64, &pos, &pred, &k.dcE, nullptr, &st, 0),
                  primErrNullPtr);
        EXPECT_EQ(huffmanEncodeBlockTable[path](dc100, nullptr, 64, &pos, &pred, &k.dcE, &k.acE, &st, 0),
                  primErrNullPtr);
        pos = 65;
        EXPECT_EQ(enc(dc100, out, 64, &pos, &pred, &st, 0), primErrSize);  // position outside the buffer
    }
}

// When the destination fills up the call changes nothing the caller keeps:
// at every buffer length short of what a block needs, -62 with the position,
// the state and the predictor as before; retried with room it writes the
// bytes of an unhindered run. A 0xFF in the last byte is stored, still -62.
TEST(JpegHuffman, EncoderIsAllOrNothingWhenTheBufferFills) {
    std::mt19937 rng(3);
    int16_t blk[64] = {};
    for (int i = 0; i < 64; ++i) blk[i] = static_cast<int16_t>(static_cast<int>(rng() % 61) - 30);
    blk[0] = -900;
    for (int path : vqtest::allPaths()) {
        SCOPED_TRACE(vqtest::pathName(path));
        Coders k(path);
        Bytes whole(256);
        HuffmanEncodeState ref;
        huffmanEncodeStateInitTable[path](&ref);
        int32_t full = 0;
        int16_t pred = 17;
        ASSERT_EQ(huffmanEncodeBlockTable[path](blk, whole.data(), 256, &full, &pred, &k.dcE, &k.acE, &ref, 0), 0);
        ASSERT_GT(full, 8);
        for (int32_t len = 1; len < full; ++len) {
            Bytes out(256);
            HuffmanEncodeState st;
            huffmanEncodeStateInitTable[path](&st);
            const HuffmanEncodeState before = st;
            int32_t pos = 0;
            int16_t p = 17;
            ASSERT_EQ(huffmanEncodeBlockTable[path](blk, out.data(), len, &pos, &p, &k.dcE, &k.acE, &st, 0),
                      primErrDataEnd)
                << len;
            EXPECT_EQ(pos, 0);
            EXPECT_EQ(p, 17);
            EXPECT_EQ(0, std::memcmp(&before, &st, sizeof st));
            for (int32_t i = len; i < 256; ++i) ASSERT_EQ(out[i], 0) << "wrote past the buffer at " << i;
            ASSERT_EQ(huffmanEncodeBlockTable[path](blk, out.data(), 256, &pos, &p, &k.dcE, &k.acE, &st, 0), 0);
            EXPECT_EQ(pos, full);
            EXPECT_TRUE(std::equal(out.begin(), out.begin() + full, whole.begin()));
        }
        // A 0xFF filling the last byte: stored, and -62.
        HuffmanEncodeState st;
        huffmanEncodeStateInitTable[path](&st);
        st.count = 7;
        st.bits = 0x7Fu << 17;  // seven waiting 1-bits
        Bytes out(1);
        int32_t pos = 0;
        // Flushing completes 0xFF with a 1-bit and needs a 0x00 after it.
        EXPECT_EQ(huffmanEncodeBlockTable[path](nullptr, out.data(), 1, &pos, nullptr, nullptr, nullptr, &st, 1),
                  primErrDataEnd);
        EXPECT_EQ(out[0], 0xFF);
        EXPECT_EQ(pos, 0);
        EXPECT_EQ(st.count, 7);
    }
}

TEST(JpegHuffman, StatisticsEdgeCases) {
    for (int path : vqtest::allPaths()) {
        SCOPED_TRACE(vqtest::pathName(path));
        auto gather = huffmanGatherBlockStatisticsTable[path];
        std::vector<int32_t> dc(257), ac(257);
        int16_t blk[64] = {};
        int16_t pred = 0;
        ASSERT_EQ(gather(blk, dc.data(), ac.data(), &pred), 0);
        EXPECT_EQ(dc[0], 1);
        EXPECT_EQ(ac[0], 1);
        blk[63] = -3;
        ASSERT_EQ(gather(blk, dc.data(), ac.data(), &pred), 0);
        EXPECT_EQ(ac[0xF0], 3);
        EXPECT_EQ(ac[0xE2], 1);
        EXPECT_EQ(ac[0], 1);  // no end of block
        // DC difference 65535 (category 16): -63, predictor replaced, counts kept.
        int16_t dcOnly[64] = {};
        dcOnly[0] = 32767;
        pred = -32768;
        const std::vector<int32_t> dcBefore = dc, acBefore = ac;
        EXPECT_EQ(gather(dcOnly, dc.data(), ac.data(), &pred), primErrHuffmanData);
        EXPECT_EQ(pred, 32767);
        EXPECT_TRUE(dc == dcBefore && ac == acBefore);
        int16_t acBig[64] = {};
        acBig[1] = 16384;  // category 15
        EXPECT_EQ(gather(acBig, dc.data(), ac.data(), &pred), primErrHuffmanData);
        acBig[1] = -8192;  // category 14
        const int32_t before = ac[0x0E];
        EXPECT_EQ(gather(acBig, dc.data(), ac.data(), &pred), 0);
        EXPECT_EQ(ac[0x0E], before + 1);
        EXPECT_EQ(gather(nullptr, dc.data(), ac.data(), &pred), primErrNullPtr);
    }
}

TEST(JpegHuffman, OptimalTableEdgeCases) {
    struct Case {
        std::map<int, int32_t> counts;
        std::vector<uint8_t> bits;
        std::vector<uint8_t> values;
    };
    const Case cases[] = {
        {{{7, 12}}, {1}, {7}},
        {{{3, 5}, {9, 5}}, {1, 1}, {3, 9}},
        {{{1, 5}, {2, 5}, {3, 5}, {4, 5}}, {0, 3, 1}, {1, 2, 3, 4}},
        {{{0, 1000000001}, {1, 5}}, {1}, {1}},
        {{{5, 9}, {256, 1 << 30}}, {1}, {5}},  // entry 256 is ignored
    };
    for (int path : vqtest::allPaths())
        for (const Case& c : cases) {
            std::vector<int32_t> counts(257, 0);
            for (auto [s, n] : c.counts) counts[s] = n;
            uint8_t bits[16], values[256];
            std::memset(values, 0xAA, sizeof values);
            ASSERT_EQ(huffmanBuildOptimalTableTable[path](counts.data(), bits, values), 0);
            std::vector<uint8_t> want(16, 0);
            std::copy(c.bits.begin(), c.bits.end(), want.begin());
            EXPECT_TRUE(std::vector<uint8_t>(bits, bits + 16) == want) << path;
            EXPECT_TRUE(std::vector<uint8_t>(values, values + c.values.size()) == c.values) << path;
            EXPECT_EQ(values[c.values.size()], 0xAA);  // the rest of the list is left alone
        }
    // Fibonacci counts force code sizes above 16: folded to at most 16 bits,
    // every symbol listed once, and the table a complete prefix code once the
    // reserved point is added back.
    std::vector<int32_t> counts(257, 0);
    int32_t a = 1, b = 1;
    for (int s = 0; s < 30; ++s) {
        counts[s] = a;
        const int32_t n = a + b;
        a = b;
        b = n;
    }
    for (int path : vqtest::allPaths()) {
        uint8_t bits[16], values[256];
        ASSERT_EQ(huffmanBuildOptimalTableTable[path](counts.data(), bits, values), 0);
        int total = 0;
        double kraft = 0;
        for (int i = 0; i < 16; ++i) {
            total += bits[i];
            kraft += bits[i] * std::ldexp(1.0, -(i + 1));
        }
        EXPECT_EQ(total, 30);
        EXPECT_DOUBLE_EQ(kraft + std::ldexp(1.0, -16), 1.0);
        std::vector<uint8_t> listed(values, values + 30);
        std::sort(listed.begin(), listed.end());
        for (int i = 0; i < 30; ++i) EXPECT_EQ(listed[i], i);
        HuffmanEncodeSpec e;
        EXPECT_EQ(huffmanEncodeSpecInit(bits, values, &e), 0);
    }
}

TEST(JpegHuffman, SizesAndStateInit) {
    int32_t n = 0;
    EXPECT_EQ(huffmanDecodeSpecGetSize(&n), 0);
    EXPECT_EQ(n, 1644);
    EXPECT_EQ(huffmanDecodeStateGetSize(&n), 0);
    EXPECT_EQ(n, 24);
    EXPECT_EQ(huffmanEncodeSpecGetSize(&n), 0);
    EXPECT_EQ(n, 1024);
    EXPECT_EQ(huffmanEncodeStateGetSize(&n), 0);
    EXPECT_EQ(n, 1048);
    EXPECT_EQ(huffmanEncodeSpecGetSize(nullptr), primErrNullPtr);
    EXPECT_EQ(huffmanDecodeStateInit(nullptr), primErrNullPtr);
    for (int path : vqtest::allPaths()) {
        HuffmanEncodeState st;
        std::memset(&st, 0x77, sizeof st);
        ASSERT_EQ(huffmanEncodeStateInitTable[path](&st), 0);
        const auto* raw = reinterpret_cast<const uint8_t*>(&st);
        EXPECT_EQ(std::count(raw, raw + sizeof st - 4, 0), static_cast<long>(sizeof st - 4));
        EXPECT_EQ(raw[sizeof st - 1], 0x77);  // the last four bytes are kept
        EXPECT_EQ(huffmanEncodeStateInitTable[path](nullptr), primErrNullPtr);
    }
}

} // namespace
