// The JPEG tile decoder: decoding with edge crops, probes, and the operations
// on DCT coefficients compared block by block with jpegtran.
#include <cstring>
#include <thread>

#include <gtest/gtest.h>

#include "engine/base/imageContainer.h"
#include "engine/base/raw_tile.h"
#include "engine/base/stream.h"
#include "tests/jpeg/jpeg_fixtures.h"
#include "jpeg/jpeg_bridge.h"
#include "jpeg/jpeg_stream_parser.h"
#include "jpeg/jpeg_tile_decoder.h"

using namespace jpegtest;

namespace {

vq_ptr<vq_raw_tile> rawTile(const std::string& jpeg, IntPair size) {
    vq_ptr<vq_raw_tile> t;
    EXPECT_TRUE(createRawTile(t.put()));
    EXPECT_TRUE(t->allocate(static_cast<int32_t>(jpeg.size()), size));
    std::memcpy(t->getData(), jpeg.data(), jpeg.size());
    t->setCompression(7);
    return t;
}

std::string bytesOf(vq_raw_tile* t) {
    return t ? std::string(reinterpret_cast<const char*>(t->getData()), static_cast<size_t>(t->getDataLength())) : "";
}

vq_ptr<vq_TIFFJPEGTileDecoder> decoder() { return vq_ptr<vq_TIFFJPEGTileDecoder>::adopt(createTIFFJPEGTileDecoder()); }

std::string crop(const std::string& jpeg, int w, int h, int x, int y) {
    return runTool("jpegtran", "-crop " + std::to_string(w) + "x" + std::to_string(h) + "+" + std::to_string(x) + "+" +
                                   std::to_string(y),
                   jpeg);
}

// The piece's coefficients equal jpegtran's piece, and its frame size is `size`.
void expectSameCoefficients(vq_raw_tile* piece, const std::string& expected, IntPair size) {
    ASSERT_TRUE(piece != nullptr);
    EXPECT_EQ(piece->getSize(), size);
    EXPECT_EQ(piece->getCompression(), 7);
    Coefficients got = readCoefficients(bytesOf(piece)), want = readCoefficients(expected);
    ASSERT_TRUE(got.ok && want.ok);
    EXPECT_EQ(got.width, size.first);
    EXPECT_EQ(got.height, size.second);
    EXPECT_EQ(want.width, size.first);
    std::string why;
    EXPECT_TRUE(sameBlocks(got, want, 0, 0, &why)) << why;
    EXPECT_EQ(got.blocksAcross, want.blocksAcross);
}

JpegStreamParser parsed(std::vector<uint8_t>& bytes) {
    JpegStreamParser p;
    p.source = bytes.data();
    p.sourceLength = static_cast<uint32_t>(bytes.size());
    p.parse(false);
    return p;
}

// The Huffman tables of a stream equal those of another.
bool sameHuffmanTables(const std::string& a, const std::string& b) {
    std::vector<uint8_t> va(a.begin(), a.end()), vb(b.begin(), b.end());
    JpegStreamParser pa = parsed(va), pb = parsed(vb);
    for (int i = 0; i < 4; ++i)
        if (pa.dcTables[i] != pb.dcTables[i] || pa.acTables[i] != pb.acTables[i]) return false;
    return pa.parsed && pb.parsed;
}

// No restart interval and no restart marker anywhere in the stream.
bool hasNoRestarts(const std::string& jpeg) {
    for (size_t i = 0; i + 1 < jpeg.size(); ++i) {
        uint8_t m = static_cast<uint8_t>(jpeg[i + 1]);
        if (static_cast<uint8_t>(jpeg[i]) == 0xFF && ((m >= 0xD0 && m <= 0xD7) || m == 0xDD)) return false;
    }
    return readCoefficients(jpeg).restartInterval == 0;
}

} // namespace

TEST(JpegTileDecoder, DecodeCropsEdgeTilesOfALevel) {
    const std::string jpeg = cjpeg("-sample 2x2", 256, 256);
    vq_ptr<vq_TIFFJPEGTileDecoder> d = decoder();
    d->tileSize = IntPair(256, 256);
    d->edgeSizes = {IntPair(232, 40)};
    d->tileCounts = {IntPair(4, 3)};
    struct Case {
        IntPair position;
        IntPair size;
    } cases[] = {{{3, 0}, {232, 256}}, {{0, 0}, {256, 256}}, {{0, 2}, {256, 40}}, {{3, 2}, {232, 40}}};
    auto c = vq_ptr<imageContainer>::adopt(imageContainer::create());
    for (const Case& k : cases) {
        ASSERT_TRUE(d->decodeTile(k.position, 0, reinterpret_cast<const uint8_t*>(jpeg.data()),
                                  static_cast<int32_t>(jpeg.size()), c.get()));
        EXPECT_EQ(c->getFormat(), 4);
        EXPECT_EQ(IntPair(c->getWidth(), c->getHeight()), k.size);
        EXPECT_EQ(c->getFullSize(), IntPair(256, 256));
    }
    // Without a tile size nothing is cropped; planes are never cropped.
    vq_ptr<vq_TIFFJPEGTileDecoder> plain = decoder();
    ASSERT_TRUE(plain->decodeTile(IntPair(3, 2), 0, reinterpret_cast<const uint8_t*>(jpeg.data()),
                                  static_cast<int32_t>(jpeg.size()), c.get()));
    EXPECT_EQ(IntPair(c->getWidth(), c->getHeight()), IntPair(256, 256));
    auto y = vq_ptr<imageContainer>::adopt(imageContainer::create());
    auto cb = vq_ptr<imageContainer>::adopt(imageContainer::create());
    auto cr = vq_ptr<imageContainer>::adopt(imageContainer::create());
    ASSERT_TRUE(d->decodeTileYCbCr(IntPair(3, 2), 0, reinterpret_cast<const uint8_t*>(jpeg.data()),
                                   static_cast<int32_t>(jpeg.size()), y.get(), cb.get(), cr.get()));
    EXPECT_EQ(IntPair(y->getWidth(), y->getHeight()), IntPair(256, 256));
    EXPECT_EQ(IntPair(cr->getWidth(), cr->getHeight()), IntPair(128, 128));

    const std::string grey = cjpeg("", 32, 32, true);
    EXPECT_FALSE(d->decodeTileYCbCr(IntPair(0, 0), 0, reinterpret_cast<const uint8_t*>(grey.data()),
                                    static_cast<int32_t>(grey.size()), y.get(), cb.get(), cr.get()));
    testing::internal::CaptureStderr();
    EXPECT_FALSE(d->decodeTile(IntPair(0, 0), 0, nullptr, 0, c.get()));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Unable to open JPEG memory stream\n");
}

TEST(JpegTileDecoder, ProbesOfTheFrame) {
    vq_ptr<vq_TIFFJPEGTileDecoder> d = decoder();
    struct Case {
        std::string jpeg;
        bool aligned, leftRight, topBottom;
    } cases[] = {
        {cjpeg("-sample 2x2", 256, 256), true, true, true},
        {cjpeg("-sample 2x2", 250, 256), false, true, true},  // luma 32 blocks across, chroma 16
        {cjpeg("-sample 2x2", 16, 32), true, false, true},    // chroma 1 block across
        {cjpeg("-sample 2x2", 32, 48), true, true, false},    // chroma 3 blocks down
        {componentsJpeg(32, 32, 5), false, false, false},
    };
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
        vq_ptr<vq_raw_tile> t = rawTile(cases[i].jpeg, IntPair(0, 0));
        EXPECT_EQ(d->isMcuAligned(t.get()), cases[i].aligned) << i;
        EXPECT_EQ(d->canSplitLeftRight(t.get()), cases[i].leftRight) << i;
        EXPECT_EQ(d->canSplitTopBottom(t.get()), cases[i].topBottom) << i;
    }
    EXPECT_FALSE(d->isMcuAligned(nullptr));

    // The tile dimensions leave the stream at its start, also after an error.
    const std::string jpeg = cjpeg("", 40, 24);
    for (const std::string& bytes : {jpeg, jpeg.substr(0, 30), std::string("junk")}) {
        vq_ptr<vq_stream> s;
        ASSERT_EQ(openMemoryStream(bytes.data(), bytes.size(), s.put()), 0);
        s->seek(5, vq_seekStart);
        IntPair size = d->getTileDimensions(s.get());
        EXPECT_EQ(size, bytes == jpeg ? IntPair(40, 24) : IntPair(0, 0));
        EXPECT_EQ(s->tell(), 0);
    }
    EXPECT_EQ(d->getTileDimensions(nullptr), IntPair(0, 0));
}

TEST(JpegTileTranscode, CropEqualsJpegtranCrop) {
    struct Case {
        std::string options;
        bool grey;
        int w, h;
        IntPair size;
    } cases[] = {
        {"-sample 2x2", false, 256, 256, {232, 256}}, {"-sample 2x2", false, 256, 256, {256, 200}},
        {"-sample 2x2", false, 256, 256, {17, 9}},    {"-sample 2x2", false, 256, 256, {256, 256}},
        {"-sample 2x1", false, 96, 64, {40, 64}},     {"", true, 64, 64, {33, 50}},
        {"-sample 1x1", false, 250, 120, {100, 100}},
    };
    vq_ptr<vq_TIFFJPEGTileDecoder> d = decoder();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options + " " + std::to_string(c.size.first) + "x" + std::to_string(c.size.second));
        const std::string jpeg = cjpeg(c.options, c.w, c.h, c.grey);
        vq_ptr<vq_raw_tile> out;
        ASSERT_TRUE(d->cropTile(rawTile(jpeg, IntPair(c.w, c.h)).get(), out.put(), c.size));
        expectSameCoefficients(out.get(), crop(jpeg, c.size.first, c.size.second, 0, 0), c.size);
    }
    const std::string jpeg = cjpeg("", 64, 64);
    vq_ptr<vq_raw_tile> out;
    EXPECT_FALSE(d->cropTile(rawTile(jpeg, IntPair(64, 64)).get(), out.put(), IntPair(65, 64)));
    EXPECT_TRUE(out == nullptr);
    vq_ptr<vq_raw_tile> empty;
    ASSERT_TRUE(createRawTile(empty.put()));
    EXPECT_FALSE(d->cropTile(empty.get(), out.put(), IntPair(8, 8)));
}

TEST(JpegTileTranscode, HalvesEqualCropsAndNeedEvenBlockCounts) {
    vq_ptr<vq_TIFFJPEGTileDecoder> d = decoder();
    const std::string wide = cjpeg("-sample 2x2", 512, 256);
    vq_ptr<vq_raw_tile> a, b;
    ASSERT_TRUE(d->splitLeftRight(rawTile(wide, IntPair(512, 256)).get(), a.put(), b.put()));
    expectSameCoefficients(a.get(), crop(wide, 256, 256, 0, 0), IntPair(256, 256));
    expectSameCoefficients(b.get(), crop(wide, 256, 256, 256, 0), IntPair(256, 256));
    EXPECT_NE(a->getData(), b->getData());

    const std::string tall = cjpeg("-sample 1x2", 256, 512);
    ASSERT_TRUE(d->splitTopBottom(rawTile(tall, IntPair(256, 512)).get(), a.put(), b.put()));
    expectSameCoefficients(a.get(), crop(tall, 256, 256, 0, 0), IntPair(256, 256));
    expectSameCoefficients(b.get(), crop(tall, 256, 256, 0, 256), IntPair(256, 256));

    // Chroma three blocks across or down cannot be halved.
    const std::string odd = cjpeg("-sample 2x2", 48, 48);
    EXPECT_FALSE(d->splitLeftRight(rawTile(odd, IntPair(48, 48)).get(), a.put(), b.put()));
    EXPECT_FALSE(d->splitTopBottom(rawTile(odd, IntPair(48, 48)).get(), a.put(), b.put()));
    EXPECT_TRUE(a == nullptr && b == nullptr);
}

TEST(JpegTileTranscode, CellsOf16PixelsEqualCropsAndAreKeyedInTheLevel) {
    vq_ptr<vq_TIFFJPEGTileDecoder> d = decoder();
    const std::string jpeg = cjpeg("-sample 2x2", 64, 32);
    vq_rawTileMap cells;
    ASSERT_TRUE(d->splitIntoTiles(1, 2, cells, rawTile(jpeg, IntPair(64, 32)).get()));
    ASSERT_EQ(cells.size(), 8u);
    std::vector<IntPair> keys;
    for (const auto& [key, cell] : cells) keys.push_back(key);
    EXPECT_EQ(keys, (std::vector<IntPair>{{4, 4}, {5, 4}, {6, 4}, {7, 4}, {4, 5}, {5, 5}, {6, 5}, {7, 5}}));
    const std::string standardTables = cjpeg("", 16, 16);
    for (const auto& [key, cell] : cells) {
        SCOPED_TRACE(std::to_string(key.first) + "," + std::to_string(key.second));
        const int x = (key.first - 4) * 16, y = (key.second - 4) * 16;
        expectSameCoefficients(cell.get(), crop(jpeg, 16, 16, x, y), IntPair(16, 16));
        EXPECT_TRUE(sameHuffmanTables(bytesOf(cell.get()), standardTables));
    }
    // A key already present keeps its tile.
    vq_raw_tile* first = cells.begin()->second.get();
    ASSERT_TRUE(d->splitIntoTiles(1, 2, cells, rawTile(jpeg, IntPair(64, 32)).get()));
    EXPECT_EQ(cells.begin()->second.get(), first);
    // A frame that is no whole number of cells per block grid is refused.
    vq_rawTileMap none;
    EXPECT_FALSE(d->splitIntoTiles(0, 0, none, rawTile(cjpeg("-sample 2x2", 56, 32), IntPair(56, 32)).get()));
    EXPECT_FALSE(d->splitIntoTiles(0, 0, none, rawTile(cjpeg("", 8, 8), IntPair(8, 8)).get()));
}

TEST(JpegTileTranscode, MergingQuartersGivesTheOriginalBack) {
    vq_ptr<vq_TIFFJPEGTileDecoder> d = decoder();
    // The right and bottom members of the second case are not whole MCUs.
    for (IntPair size : {IntPair(512, 512), IntPair(488, 496)}) {
        SCOPED_TRACE(std::to_string(size.first) + "x" + std::to_string(size.second));
        const std::string whole = cjpeg("-sample 2x2", size.first, size.second);
        const int rw = size.first - 256, bh = size.second - 256;
        vq_ptr<vq_raw_tile> tl = rawTile(crop(whole, 256, 256, 0, 0), IntPair(256, 256));
        vq_ptr<vq_raw_tile> tr = rawTile(crop(whole, rw, 256, 256, 0), IntPair(rw, 256));
        vq_ptr<vq_raw_tile> bl = rawTile(crop(whole, 256, bh, 0, 256), IntPair(256, bh));
        vq_ptr<vq_raw_tile> br = rawTile(crop(whole, rw, bh, 256, 256), IntPair(rw, bh));
        vq_ptr<vq_raw_tile> merged;
        ASSERT_TRUE(d->mergeTiles(tl.get(), tr.get(), bl.get(), br.get(), merged.put()));
        expectSameCoefficients(merged.get(), whole, size);
        // Kept Huffman tables: the members' (those of jpegtran).
        EXPECT_TRUE(sameHuffmanTables(bytesOf(merged.get()), bytesOf(tl.get())));

        // The left column alone.
        ASSERT_TRUE(d->mergeTiles(tl.get(), nullptr, bl.get(), nullptr, merged.put()));
        expectSameCoefficients(merged.get(), crop(whole, 256, size.second, 0, 0), IntPair(256, size.second));
    }
    const std::string jpeg = cjpeg("", 32, 32);
    vq_ptr<vq_raw_tile> one = rawTile(jpeg, IntPair(32, 32)), out;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(d->mergeTiles(one.get(), nullptr, nullptr, nullptr, out.put()));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Trying to merge single tile\n");
    EXPECT_FALSE(d->mergeTiles(nullptr, one.get(), one.get(), one.get(), out.put()));
    // Members coded differently from the top-left tile are refused.
    vq_ptr<vq_raw_tile> other = rawTile(cjpeg("-sample 1x1", 32, 32), IntPair(32, 32));
    EXPECT_FALSE(d->mergeTiles(one.get(), other.get(), nullptr, nullptr, out.put()));
    EXPECT_TRUE(out == nullptr);
}

TEST(JpegTileTranscode, RotationEqualsJpegtranRotate) {
    vq_ptr<vq_TIFFJPEGTileDecoder> d = decoder();
    const char* degrees[3] = {"90", "180", "270"};
    for (IntPair size : {IntPair(256, 128), IntPair(250, 120)}) {
        const std::string jpeg = cjpeg("-sample 2x2", size.first, size.second);
        for (int code = 0; code < 3; ++code) {
            SCOPED_TRACE(std::string(degrees[code]) + " " + std::to_string(size.first));
            vq_ptr<vq_raw_tile> out;
            ASSERT_TRUE(d->rotateTile(rawTile(jpeg, size).get(), code, out.put()));
            const IntPair rotated = code == 1 ? size : IntPair(size.second, size.first);
            expectSameCoefficients(out.get(), runTool("jpegtran", std::string("-rotate ") + degrees[code], jpeg),
                                   rotated);
        }
    }
    vq_ptr<vq_raw_tile> out;
    const std::string jpeg = cjpeg("", 16, 16);
    EXPECT_FALSE(d->rotateTile(rawTile(jpeg, IntPair(16, 16)).get(), 3, out.put()));
    EXPECT_FALSE(d->rotateTile(nullptr, 0, out.put()));
}

TEST(JpegTileTranscode, PiecesDropRestartMarkersAndKeepOrReplaceHuffmanTables) {
    vq_ptr<vq_TIFFJPEGTileDecoder> d = decoder();
    // Optimised tables differ from the standard ones, so keeping them shows.
    const std::string jpeg = cjpeg("-sample 2x2 -optimize -restart 1", 64, 64);
    ASSERT_FALSE(hasNoRestarts(jpeg));
    const std::string standard = cjpeg("", 16, 16);
    ASSERT_FALSE(sameHuffmanTables(jpeg, standard));
    vq_ptr<vq_raw_tile> src = rawTile(jpeg, IntPair(64, 64));
    std::vector<std::pair<std::string, std::string>> kept, replaced;
    vq_ptr<vq_raw_tile> a, b, m;
    ASSERT_TRUE(d->cropTile(src.get(), a.put(), IntPair(48, 40)));
    kept.emplace_back("crop", bytesOf(a.get()));
    ASSERT_TRUE(d->splitLeftRight(src.get(), a.put(), b.put()));
    kept.emplace_back("left", bytesOf(a.get()));
    kept.emplace_back("right", bytesOf(b.get()));
    ASSERT_TRUE(d->splitTopBottom(src.get(), a.put(), b.put()));
    kept.emplace_back("bottom", bytesOf(b.get()));
    ASSERT_TRUE(d->mergeTiles(src.get(), src.get(), src.get(), src.get(), m.put()));
    kept.emplace_back("merge", bytesOf(m.get()));
    vq_rawTileMap cells;
    ASSERT_TRUE(d->splitIntoTiles(0, 0, cells, src.get()));
    replaced.emplace_back("cell", bytesOf(cells.begin()->second.get()));
    ASSERT_TRUE(d->rotateTile(src.get(), 1, a.put()));
    replaced.emplace_back("rotation", bytesOf(a.get()));
    for (const auto& [name, piece] : kept) {
        EXPECT_TRUE(hasNoRestarts(piece)) << name;
        EXPECT_TRUE(sameHuffmanTables(piece, jpeg)) << name;
    }
    for (const auto& [name, piece] : replaced) {
        EXPECT_TRUE(hasNoRestarts(piece)) << name;
        EXPECT_TRUE(sameHuffmanTables(piece, standard)) << name;
    }
}

TEST(JpegTileTranscode, CoefficientReaderHoldsTheTilesBlocks) {
    const std::string jpeg = cjpeg("-sample 2x1", 48, 32);
    vq_ptr<vq_raw_tile> tile = rawTile(jpeg, IntPair(48, 32));
    JpegCoefficientReader reader;
    EXPECT_FALSE(reader.read());
    reader.setTile(tile.get());
    ASSERT_TRUE(reader.read());
    Coefficients want = readCoefficients(jpeg);
    for (int c = 0; c < 3; ++c) {
        const jpeg_component_info& ci = reader.decompressor.info.comp_info[c];
        ASSERT_EQ(static_cast<int>(ci.width_in_blocks), want.blocksAcross[c]);
        for (int by = 0; by < want.blocksDown[c]; ++by) {
            JBLOCKARRAY row = (*reader.decompressor.info.mem->access_virt_barray)(
                reader.decompressor.common(), reader.coefficients[c], static_cast<JDIMENSION>(by), 1, FALSE);
            for (int bx = 0; bx < want.blocksAcross[c]; ++bx)
                ASSERT_EQ(std::memcmp(row[0][bx], block(want, c, bx, by), 128), 0) << c << " " << bx << "," << by;
        }
    }
    JpegCoefficientReader broken;
    vq_ptr<vq_raw_tile> cut = rawTile(jpeg.substr(0, 100), IntPair(48, 32));
    broken.setTile(cut.get());
    EXPECT_FALSE(broken.read());
}

TEST(JpegTileTranscode, ThreadsWorkOnTilesAtOnceAndFailAlone) {
    // Library errors end only the call that met them, on its own thread.
    const std::string good = cjpeg("-sample 2x2", 64, 64);
    std::string bad = good;
    bad[good.find("\xFF\xC0") + 9] = 9;  // nine components in a frame of three
    const std::string expected = bytesOf([&] {
        vq_ptr<vq_raw_tile> out;
        vq_ptr<vq_raw_tile> t = rawTile(good, IntPair(64, 64));
        decoder()->mergeTiles(t.get(), t.get(), t.get(), t.get(), out.put());
        return out;
    }().get());
    ASSERT_FALSE(expected.empty());
    std::vector<std::thread> threads;
    std::vector<int> failures(6, 0);
    for (int i = 0; i < 6; ++i) {
        threads.emplace_back([&, i] {
            vq_ptr<vq_TIFFJPEGTileDecoder> d = decoder();
            vq_ptr<vq_raw_tile> g = rawTile(good, IntPair(64, 64)), b = rawTile(bad, IntPair(64, 64));
            for (int n = 0; n < 20; ++n) {
                vq_ptr<vq_raw_tile> out;
                const bool useBad = (n + i) % 3 == 0;
                vq_raw_tile* t = useBad ? b.get() : g.get();
                const bool ok = d->mergeTiles(t, t, t, t, out.put());
                if (ok == useBad || (ok && bytesOf(out.get()) != expected)) ++failures[i];
            }
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(failures, std::vector<int>(6, 0));
}
