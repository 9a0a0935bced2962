#include "tests/readers/tiff/slide_fixture.h"

#include <gtest/gtest.h>

#include "tests/jpeg/jpeg_fixtures.h"

namespace slidetest {

Bytes toBytes(const std::string& s) { return Bytes(s.begin(), s.end()); }
std::string toString(const Bytes& b) { return std::string(b.begin(), b.end()); }

MemorySource::MemorySource(Bytes bytes) : data(std::move(bytes)) {
    openMemoryStream(data.data(), data.size(), stream.put());
}

std::unique_ptr<MemorySource> source(const Bytes& bytes) { return std::make_unique<MemorySource>(bytes); }

SplitJpeg splitJpeg(const std::string& jpeg) {
    SplitJpeg out;
    out.full = toBytes(jpeg);
    const Bytes& j = out.full;
    out.tables = {0xFF, 0xD8};
    out.abbreviated = {0xFF, 0xD8};
    size_t p = 2;
    while (p + 4 <= j.size()) {
        const uint8_t marker = j[p + 1];
        const size_t length = size_t(j[p + 2]) << 8 | j[p + 3];
        Bytes& to = (marker == 0xDB || marker == 0xC4) ? out.tables : out.abbreviated;
        if (marker == 0xDA) {
            out.abbreviated.insert(out.abbreviated.end(), j.begin() + long(p), j.end());
            break;
        }
        to.insert(to.end(), j.begin() + long(p), j.begin() + long(p + 2 + length));
        p += 2 + length;
    }
    out.tables.push_back(0xFF);
    out.tables.push_back(0xD9);
    return out;
}

std::string makeJpeg(int width, int height, int seed, const std::string& options) {
    return jpegtest::runTool("cjpeg", options, jpegtest::pnmBytes(width, height, false, seed));
}

std::string djpeg(const Bytes& jpeg) { return jpegtest::runTool("djpeg", "-ppm", toString(jpeg)); }

using namespace tifftest;

void addDir(TiffBuilder& b, const DirSpec& d) {
    std::vector<uint32_t> offsets, counts;
    for (const Bytes& p : d.pieces) {
        offsets.push_back(uint32_t(b.addData(p)));
        counts.push_back(uint32_t(p.size()));
    }
    std::vector<Entry> e = {longs(256, {uint32_t(d.width)}), longs(257, {uint32_t(d.height)}),
                            shorts(258, std::vector<uint16_t>(size_t(d.samples), 8)),
                            shorts(259, {uint16_t(d.compression)}), shorts(262, {uint16_t(d.photometric)}),
                            shorts(277, {uint16_t(d.samples)})};
    if (d.tileWidth) {
        e.push_back(longs(322, {uint32_t(d.tileWidth)}));
        e.push_back(longs(323, {uint32_t(d.tileHeight)}));
        e.push_back(longs(324, offsets));
        e.push_back(longs(325, counts));
    } else {
        e.push_back(longs(273, offsets));
        e.push_back(longs(278, {uint32_t(d.rowsPerStrip)}));
        e.push_back(longs(279, counts));
    }
    if (!d.tables.empty()) e.push_back(bytes(347, 7, d.tables));
    for (const Entry& x : d.extra) e.push_back(x);
    b.addIfd(e);
}

// Deterministic RGB bytes.
Bytes rgb(int w, int h, uint32_t seed) { return pattern(size_t(w) * h * 3, seed); }

// A tiled JPEG level: every tile an abbreviated stream of one cjpeg picture
// sharing the tables of the first.
DirSpec jpegLevel(int w, int h, int tile, int seed, std::vector<SplitJpeg>* keep, const std::string& options) {
    DirSpec d;
    d.width = w;
    d.height = h;
    d.tileWidth = d.tileHeight = tile;
    d.compression = 7;
    const int across = (w + tile - 1) / tile, down = (h + tile - 1) / tile;
    for (int i = 0; i < across * down; ++i) {
        SplitJpeg s = splitJpeg(makeJpeg(tile, tile, seed + i, options));
        // Tiles alternate between keeping their own SOI and not.
        Bytes stored = s.abbreviated;
        if (i % 2 == 1) stored.erase(stored.begin(), stored.begin() + 2);
        d.pieces.push_back(stored);
        if (d.tables.empty()) d.tables = s.tables;
        if (keep) keep->push_back(s);
    }
    return d;
}

DirSpec rawLevel(int w, int h, int tile, int compression, uint32_t seed, std::vector<Bytes>* plain) {
    DirSpec d;
    d.width = w;
    d.height = h;
    d.tileWidth = d.tileHeight = tile;
    d.compression = compression;
    const int n = ((w + tile - 1) / tile) * ((h + tile - 1) / tile);
    for (int i = 0; i < n; ++i) {
        Bytes px = rgb(tile, tile, seed + uint32_t(i));
        if (plain) plain->push_back(px);
        d.pieces.push_back(compression == 5 ? lzwEncode(px, false) : px);
    }
    return d;
}

// JPEG strips of one picture: each strip its own cjpeg stream of rps rows
// sharing the tables of the first.
DirSpec jpegStrips(int w, int h, int rps, int seed, const std::string& options, std::vector<SplitJpeg>* keep) {
    DirSpec d;
    d.width = w;
    d.height = h;
    d.rowsPerStrip = rps;
    d.compression = 7;
    for (int y = 0, i = 0; y < h; y += rps, ++i) {
        SplitJpeg s = splitJpeg(makeJpeg(w, std::min(rps, h - y), seed + i, options));
        d.pieces.push_back(s.abbreviated);
        if (d.tables.empty()) d.tables = s.tables;
        if (keep) keep->push_back(s);
    }
    return d;
}

} // namespace slidetest
