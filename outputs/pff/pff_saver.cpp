// The PFF saver's settings, level declarations, header chunks, the file's
// fixed part, finish and abort. Tile jobs and workers: pff_tile_writer.cpp.
#include "outputs/pff/pff_saver.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <unistd.h>

#include "engine/base/vq_global.h"
#include "jpeg/jpeg_bridge.h"
#include "outputs/slide/jpeg_tables_builder.h"
#include "outputs/slide/jpeg_tile_encoder.h"
#include "readers/pff/pff_format.h"

namespace {

// Version 1.01, no density unit, density 1 x 1, no thumbnail.
constexpr uint8_t kJfifSegment[18] = {0xFF, 0xE0, 0x00, 0x10, 0x4A, 0x46, 0x49, 0x46, 0x00,
                                      0x01, 0x01, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00};
// Version 100, no flags, transform 0: the components are R, G, B as they
// stand, which JPEG decoders assume for JFIF streams only after a YCbCr
// conversion.
constexpr uint8_t kAdobeSegment[16] = {0xFF, 0xEE, 0x00, 0x0E, 0x41, 0x64, 0x6F, 0x62,
                                       0x65, 0x00, 0x64, 0x00, 0x00, 0x00, 0x00, 0x00};

void put16(std::vector<uint8_t>& out, unsigned v) {
    out.push_back(static_cast<uint8_t>(v >> 8));
    out.push_back(static_cast<uint8_t>(v));
}

bool writeAll(vq_stream* s, const void* data, size_t length) {
    const auto* p = static_cast<const uint8_t*>(data);
    while (length > 0) {
        const uint32_t piece = static_cast<uint32_t>(std::min<size_t>(length, 1u << 20));
        if (s->write(p, piece) != static_cast<int32_t>(piece)) return false;
        p += piece;
        length -= piece;
    }
    return true;
}

} // namespace

bool createPffSaver(vq_stream* stream, vq_svs_saver_base** out) {
    if (out == nullptr) return false;
    auto* saver = new (std::nothrow) vq_pff_saver(stream);
    if (saver == nullptr) return false;
    saver->addRef();
    *out = saver;
    return true;
}

vq_pff_saver::vq_pff_saver(vq_stream* output) : output_(output) {
    vq_ptr<vq_global_base> global;
    getGlobal(global.put());
    if (global != nullptr) pool_.setThreadLimit(global->isMultiThreaded() ? global->getEncoderThreadCount() : 0);
    // Each worker keeps one encoder for its life.
    pool_.setWorkerFactory([this]() -> EncoderPool<vq_pfftile_saver>::Worker {
        vq_jpeg_tileEncoder* e = nullptr;
        if (!createJpegTileEncoder(&e)) return {};
        auto encoder = vq_ptr<vq_jpeg_tileEncoder>::adopt(e);
        return [this, encoder](vq_pfftile_saver& job) { workOn(encoder.get(), job); };
    });
}

vq_pff_saver::~vq_pff_saver() {
    // A saver released without finish or abort still lets no worker outlive it.
    pool_.stop(true);
    std::lock_guard<std::mutex> lock(writerMutex_);
    deleteTemporaryFile();
}

void vq_pff_saver::createTemporaryFile() {
    deleteTemporaryFile();
    const char* folder = std::getenv("TMPDIR");
    std::string name = std::string(folder != nullptr && folder[0] != '\0' ? folder : "/tmp") + "/opathXXXXXX";
    const int fd = mkstemp(name.data());
    if (fd < 0) return;
    ::close(fd);
    // The name is ours alone now; the stream reopens it for reading and writing.
    if (openWriteStream(name.c_str(), temporary_.put()) != 0 || temporary_ == nullptr) {
        temporary_.reset();
        ::unlink(name.c_str());
        return;
    }
    temporaryPath_ = name;
}

void vq_pff_saver::deleteTemporaryFile() {
    if (temporary_ != nullptr) temporary_->close();
    temporary_.reset();
    if (!temporaryPath_.empty()) ::unlink(temporaryPath_.c_str());
    temporaryPath_.clear();
}

void vq_pff_saver::setBaseLevel(IntPair size, int level, int quality, vq_raw_tile*) {
    std::lock_guard<std::mutex> lock(writerMutex_);
    createTemporaryFile();
    baseSize_ = size;
    const int t = std::max(tileSize_, 1);
    const IntPair grid(pff::tilesFor(size.first, t), pff::tilesFor(size.second, t));
    const IntPair edge(pff::edgeExtent(size.first, t), pff::edgeExtent(size.second, t));
    levelNumbers_.assign(1, level);
    levelQualities_.assign(1, quality);
    levelEdges_.assign(1, edge);
    levelGrids_.assign(1, grid);
    levelFirstTile_.assign(1, 0);
    tileCount_ = static_cast<uint32_t>(grid.first) * static_cast<uint32_t>(grid.second);
    chunkBlockLength_ = 4;
    chunks_.clear();
    addLevelChunks(quality, grid, edge);
}

void vq_pff_saver::addLevel(int level, IntPair size, int quality, vq_raw_tile*) {
    std::lock_guard<std::mutex> lock(writerMutex_);
    const int t = std::max(tileSize_, 1);
    const IntPair grid(pff::tilesFor(size.first, t), pff::tilesFor(size.second, t));
    const IntPair edge(pff::edgeExtent(size.first, t), pff::edgeExtent(size.second, t));
    levelNumbers_.push_back(level);
    levelQualities_.push_back(quality);
    levelEdges_.push_back(edge);
    levelGrids_.push_back(grid);
    levelFirstTile_.push_back(tileCount_);
    tileCount_ += static_cast<uint32_t>(grid.first) * static_cast<uint32_t>(grid.second);
    addLevelChunks(quality, grid, edge);
}

// Every tile size the level can have: interior T x T, last column ew x T,
// last row T x eh, corner ew x eh.
void vq_pff_saver::addLevelChunks(int quality, IntPair grid, IntPair edge) {
    const int t = tileSize_;
    std::vector<ChunkKey> keys{{quality, edge.first, edge.second}};
    if (grid.first != 1 || grid.second != 1) {
        keys.push_back({quality, edge.first, t});
        keys.push_back({quality, t, edge.second});
    }
    if (grid.first != 1 && grid.second != 1) keys.push_back({quality, t, t});
    for (const ChunkKey& key : keys) {
        if (chunks_.count(key) != 0) continue;
        HeaderChunk chunk;
        if (!buildHeaderChunk(key, colourSpace_, subsampling_, chunk)) continue;
        chunkBlockLength_ += 4 + static_cast<uint32_t>(chunk.bytes.size());
        chunks_.emplace(key, std::move(chunk));
    }
}

bool vq_pff_saver::buildHeaderChunk(const ChunkKey& key, int colourSpace, int subsampling, HeaderChunk& out) {
    if (key.width < 1 || key.height < 1 || key.width > 65535 || key.height > 65535) return false;
    JpegCompressor c;
    if (!createJpegCompress(c)) return false;
    // Set up exactly as the tile encoder sets up its compressor.
    const bool ok = c.guarded([&] {
        c.info.in_color_space = JCS_RGB;
        c.info.input_components = 3;
        jpeg_set_defaults(&c.info);
        setJpegColorSpace(&c.info, colourSpace);
        jpeg_set_quality(&c.info, key.quality, TRUE);
        setJpegSubsampling(&c.info, subsampling);
    });
    if (!ok || c.info.num_components != 3) return false;
    const jpeg_compress_struct& info = c.info;

    JpegTablesBuilder tables;
    std::vector<uint8_t>& b = tables.bytes;
    b = {0xFF, 0xD8};
    if (info.jpeg_color_space == JCS_YCbCr) b.insert(b.end(), std::begin(kJfifSegment), std::end(kJfifSegment));
    else b.insert(b.end(), std::begin(kAdobeSegment), std::end(kAdobeSegment));
    tables.appendQuantSegments(info);
    b.insert(b.end(), {0xFF, 0xC0});
    put16(b, 8 + 3 * 3);
    b.push_back(8);
    put16(b, static_cast<unsigned>(key.height));
    put16(b, static_cast<unsigned>(key.width));
    b.push_back(3);
    for (int ci = 0; ci < 3; ++ci) {
        const jpeg_component_info& comp = info.comp_info[ci];
        b.push_back(static_cast<uint8_t>(comp.component_id));
        b.push_back(static_cast<uint8_t>(comp.h_samp_factor * 16 + comp.v_samp_factor));
        b.push_back(static_cast<uint8_t>(comp.quant_tbl_no));
    }
    tables.appendHuffmanSegments(info);
    b.insert(b.end(), {0xFF, 0xDA});
    out.bytes = std::move(b);
    out.quantTables = std::move(tables.quantTables);
    return true;
}

bool vq_pff_saver::writeHeaderAndRecords() {
    std::vector<uint8_t> header(pff::kHeaderLength, 0);
    pff::put32(&header[pff::kVersionOffset], pff::kVersion);
    pff::put32(&header[pff::kTileSizeOffset], static_cast<uint32_t>(tileSize_));
    pff::put32(&header[pff::kChunkBlockLengthOffset], chunkBlockLength_);
    pff::put32(&header[pff::kPairCountOffset], 1);
    pff::put32(&header[pff::kTileCountOffset], tileCount_);
    const std::vector<uint8_t> records = pff::recordBytes(tileCount_, static_cast<uint32_t>(baseSize_.first),
                                                          static_cast<uint32_t>(baseSize_.second));
    return output_->seek(0, vq_seekStart) == 0 && writeAll(output_.get(), header.data(), header.size()) &&
           writeAll(output_.get(), records.data(), records.size());
}

bool vq_pff_saver::writeFixedPart() {
    {
        std::lock_guard<std::mutex> lock(writerMutex_);
        if (failed_) return false;
        if (tablePosition_ != 0) return true;
        if (output_ == nullptr) {
            markFailed("there is no output file");
            return false;
        }
        tileEnds_.assign(tileCount_, 0);
        bool ok = writeHeaderAndRecords();
        uint8_t word[4];
        pff::put32(word, static_cast<uint32_t>(chunks_.size()));
        ok = ok && writeAll(output_.get(), word, 4);
        int number = 0;
        for (auto& [key, chunk] : chunks_) {
            chunk.number = number++;
            pff::put32(word, static_cast<uint32_t>(chunk.bytes.size()));
            ok = ok && writeAll(output_.get(), word, 4) &&
                 writeAll(output_.get(), chunk.bytes.data(), chunk.bytes.size());
        }
        const int64_t table = ok ? output_->tell() : -1;
        const std::vector<uint8_t> zeros(std::min<size_t>(size_t{8} * tileCount_, size_t{1} << 16), 0);
        for (size_t left = size_t{8} * tileCount_; ok && left > 0;) {
            const size_t piece = std::min(left, zeros.size());
            ok = writeAll(output_.get(), zeros.data(), piece);
            left -= piece;
        }
        if (!ok || table <= 0) {
            markFailed("the start of the file could not be written");
            return false;
        }
        tablePosition_ = table;
        appendPosition_ = table + int64_t{8} * tileCount_;
    }
    // The first worker starts with the first tile; more only under pressure.
    pool_.startThread();
    return true;
}

bool vq_pff_saver::finish() {
    pool_.stop(false);
    std::lock_guard<std::mutex> lock(writerMutex_);
    bool ok = !failed_;
    const bool written = [&] {
        if (output_ == nullptr) {
            markFailed("there is no output file");
            return false;
        }
        if (tablePosition_ == 0) {
            markFailed("no tile was written");
            return false;
        }
        // Tiles are appended as soon as their turn comes, so a parked tile
        // means the tile before it never arrived.
        if (!parked_.empty()) {
            char text[128];
            std::snprintf(text, sizeof text, "tile %lld is missing and %zu later tiles wait for it",
                          static_cast<long long>(nextTileIndex_), parked_.size());
            markFailed(text);
            return false;
        }
        return true;
    }();
    if (written) {
        if (nextTileIndex_ < static_cast<int64_t>(tileCount_)) {
            char text[96];
            std::snprintf(text, sizeof text, "only %lld of %u tiles were written",
                          static_cast<long long>(nextTileIndex_), tileCount_);
            markFailed(text);
        }
        std::vector<uint8_t> table(tileEnds_.size() * 8);
        for (size_t i = 0; i < tileEnds_.size(); ++i) pff::put64(&table[8 * i], tileEnds_[i]);
        if (!writeHeaderAndRecords() || output_->seek(tablePosition_, vq_seekStart) != 0 ||
            !writeAll(output_.get(), table.data(), table.size()) || output_->flush() != 0)
            markFailed("the header and tile table could not be written");
    }
    parked_.clear();
    deleteTemporaryFile();
    return ok && written && !failed_;
}

void vq_pff_saver::abort() {
    pool_.stop(true);
    std::lock_guard<std::mutex> lock(writerMutex_);
    parked_.clear();
    deleteTemporaryFile();
}

void vq_pff_saver::markFailed(const std::string& why) {
    if (!failed_) failure_ = why;
    failed_ = true;
}
