// Crop, halving, cells, merge and rotation of JPEG tiles on their quantised
// DCT coefficients: whole 8 x 8 blocks are copied between coefficient arrays,
// so no pixel is decoded and no coefficient changes. Crops, halves and merges
// keep the source's Huffman tables (tiles can keep sharing one JPEGTables
// field); no output carries a restart interval.
#include <algorithm>
#include <cstring>

#include <turbojpeg.h>

#include "engine/base/raw_tile.h"
#include "engine/base/stream.h"
#include "engine/base/reader_messages.h"
#include "jpeg/jpeg_bridge.h"
#include "jpeg/jpeg_tile_decoder.h"

namespace {

constexpr int kMaxComponents = 4;

// A source tile opened for coefficient access.
struct SourceTile {
    vq_ptr<vq_stream> stream;
    JpegDecompressor d;
    jvirt_barray_ptr* coefficients = nullptr;

    bool open(vq_raw_tile* tile) {
        if (tile == nullptr || tile->getData() == nullptr || tile->getDataLength() <= 0) return false;
        if (openMemoryStream(tile->getData(), static_cast<uint64_t>(tile->getDataLength()), stream.put()) != 0)
            return false;
        jvirt_barray_ptr* arrays = nullptr;
        bool ok = d.guarded([&] {
            jpegStreamSource(&d.info, stream.get());
            jcopyMarkersSetup(&d.info, JpegCopyMarkers::None);
            jpeg_read_header(&d.info, TRUE);
            // Nothing is sized from a frame larger than its data can hold.
            checkJpegFrame(&d.info, static_cast<uint64_t>(tile->getDataLength()));
            arrays = jpeg_read_coefficients(&d.info);
        });
        if (!ok || d.damaged()) {
            reportJpegFailure(d, -1);
            arrays = nullptr;
        }
        coefficients = arrays;
        return coefficients != nullptr && d.info.num_components <= kMaxComponents;
    }
    int components() const { return d.info.num_components; }
    const jpeg_component_info& comp(int c) const { return d.info.comp_info[c]; }
    int blocksAcross(int c) const { return static_cast<int>(comp(c).width_in_blocks); }
    int blocksDown(int c) const { return static_cast<int>(comp(c).height_in_blocks); }
};

// An output stream with its compressor, framed like the source.
struct OutputPiece {
    vq_ptr<vq_stream> stream;
    JpegCompressor c;
    jvirt_barray_ptr arrays[kMaxComponents] = {};

    bool createStream() { return createMemoryWriteStream(4096, stream.put()) == 0; }

    bool begin(SourceTile& src, int width, int height, bool keepHuffmanTables) {
        if (stream == nullptr && !createStream()) return false;
        if (!createJpegCompress(c)) return false;
        return c.guarded([&] {
            jpegStreamDestination(&c.info, stream.get());
            jpeg_copy_critical_parameters(&src.d.info, &c.info);
            c.info.image_width = static_cast<JDIMENSION>(width);
            c.info.image_height = static_cast<JDIMENSION>(height);
            if (keepHuffmanTables) copyHuffmanTables(&src.d.info, &c.info);
        });
    }

    static void copyTable(JHUFF_TBL* from, JHUFF_TBL** to, j_compress_ptr dst) {
        if (from == nullptr) {
            *to = nullptr;
            return;
        }
        if (*to == nullptr) *to = jpeg_alloc_huff_table(reinterpret_cast<j_common_ptr>(dst));
        std::memcpy((*to)->bits, from->bits, sizeof(from->bits));
        std::memcpy((*to)->huffval, from->huffval, sizeof(from->huffval));
        (*to)->sent_table = FALSE;
    }

    static void copyHuffmanTables(j_decompress_ptr src, j_compress_ptr dst) {
        for (int i = 0; i < NUM_HUFF_TBLS; ++i) {
            copyTable(src->dc_huff_tbl_ptrs[i], &dst->dc_huff_tbl_ptrs[i], dst);
            copyTable(src->ac_huff_tbl_ptrs[i], &dst->ac_huff_tbl_ptrs[i], dst);
        }
    }

    // Requests pre-zeroed arrays in `owner`'s image pool, at least the blocks
    // given per component and never fewer than the output frame codes (whole
    // MCUs), so no block the library reads is left unwritten or lies outside.
    bool requestArrays(j_common_ptr owner, JpegErrorManager& ownerErr, const SourceTile& src,
                       const int* blocksAcross, const int* blocksDown) {
        const int n = src.components();
        const int maxH = src.d.info.max_h_samp_factor, maxV = src.d.info.max_v_samp_factor;
        const long width = static_cast<long>(c.info.image_width), height = static_cast<long>(c.info.image_height);
        return jpegGuarded(ownerErr, [&] {
            for (int ci = 0; ci < n; ++ci) {
                const int h = src.comp(ci).h_samp_factor, v = src.comp(ci).v_samp_factor;
                long needAcross = (width + 8L * maxH - 1) / (8L * maxH) * h;
                long needDown = (height + 8L * maxV - 1) / (8L * maxV) * v;
                long across = std::max<long>(needAcross, (blocksAcross[ci] + h - 1) / h * h);
                long down = std::max<long>(needDown, (blocksDown[ci] + v - 1) / v * v);
                arrays[ci] = (*owner->mem->request_virt_barray)(owner, JPOOL_IMAGE, TRUE,
                                                                static_cast<JDIMENSION>(across),
                                                                static_cast<JDIMENSION>(down),
                                                                static_cast<JDIMENSION>(v));
            }
            (*owner->mem->realize_virt_arrays)(owner);
        });
    }

    // Writes the coefficient arrays and finishes the stream.
    bool write(jvirt_barray_ptr* coefficients) {
        return c.guarded([&] {
            jpeg_write_coefficients(&c.info, coefficients);
            jpeg_finish_compress(&c.info);
        });
    }
};

// Copies rows x cols blocks of component c from src at (srcRow, srcCol) to dst
// at (dstRow, dstCol), v block rows at a time; the copy is clipped to both
// arrays.
void copyBlocks(j_common_ptr cinfo, jvirt_barray_ptr srcArray, int srcRows, int srcCols, int srcRow,
                int srcCol, jvirt_barray_ptr dstArray, int dstRows, int dstCols, int dstRow, int dstCol,
                int rows, int cols, int v) {
    rows = std::min({rows, srcRows - srcRow, dstRows - dstRow});
    cols = std::min({cols, srcCols - srcCol, dstCols - dstCol});
    if (rows <= 0 || cols <= 0) return;
    for (int r = 0; r < rows; r += v) {
        int n = std::min({v, rows - r, srcRows - (srcRow + r), dstRows - (dstRow + r)});
        JBLOCKARRAY s = (*cinfo->mem->access_virt_barray)(cinfo, srcArray, static_cast<JDIMENSION>(srcRow + r),
                                                           static_cast<JDIMENSION>(n), FALSE);
        JBLOCKARRAY d = (*cinfo->mem->access_virt_barray)(cinfo, dstArray, static_cast<JDIMENSION>(dstRow + r),
                                                           static_cast<JDIMENSION>(n), TRUE);
        for (int i = 0; i < n; ++i)
            std::memcpy(d[i][dstCol], s[i][srcCol], sizeof(JBLOCK) * static_cast<size_t>(cols));
    }
}

// Rows and columns of blocks an array holds (as requested).
struct ArrayShape {
    int rows = 0;
    int cols = 0;
};

ArrayShape sourceShape(const SourceTile& s, int c) {
    const jpeg_component_info& ci = s.comp(c);
    return {static_cast<int>((ci.height_in_blocks + ci.v_samp_factor - 1) / ci.v_samp_factor * ci.v_samp_factor),
            static_cast<int>((ci.width_in_blocks + ci.h_samp_factor - 1) / ci.h_samp_factor * ci.h_samp_factor)};
}

ArrayShape outputShape(const OutputPiece& o, const SourceTile& s, int c, const int* across, const int* down) {
    const int maxH = s.d.info.max_h_samp_factor, maxV = s.d.info.max_v_samp_factor;
    const int h = s.comp(c).h_samp_factor, v = s.comp(c).v_samp_factor;
    const long width = o.c.info.image_width, height = o.c.info.image_height;
    long needAcross = (width + 8L * maxH - 1) / (8L * maxH) * h;
    long needDown = (height + 8L * maxV - 1) / (8L * maxV) * v;
    return {static_cast<int>(std::max<long>(needDown, (down[c] + v - 1) / v * v)),
            static_cast<int>(std::max<long>(needAcross, (across[c] + h - 1) / h * h))};
}

// A raw JPEG tile of the given pixel size from everything the stream holds.
bool rawTileFromStream(vq_stream* stream, const IntPair& size, vq_raw_tile** out) {
    vq_ptr<vq_raw_tile> tile;
    if (!createRawTile(tile.put())) return false;
    stream->seek(0, vq_seekEnd);
    int64_t length = stream->tell();
    if (length <= 0 || length > INT32_MAX) return false;
    if (!tile->allocate(static_cast<int32_t>(length), size)) return false;
    tile->setCompression(7);
    stream->seek(0, vq_seekStart);
    if (stream->read(tile->getData(), static_cast<uint32_t>(length)) != static_cast<int32_t>(length)) return false;
    *out = tile.get();
    (*out)->addRef();
    return true;
}

bool finishSource(SourceTile& src) {
    return src.d.guarded([&] { jpeg_finish_decompress(&src.d.info); });
}

} // namespace

void copyHuffmanTables(j_decompress_ptr src, j_compress_ptr dst) { OutputPiece::copyHuffmanTables(src, dst); }

bool vq_TIFFJPEGTileDecoder::cropTile(vq_raw_tile* tile, vq_raw_tile** out, const IntPair& size) {
    if (out == nullptr) return false;
    *out = nullptr;
    if (tile == nullptr || !tile->hasData()) return false;
    SourceTile src;
    if (!src.open(tile)) {
        if (src.stream == nullptr) reportReaderMessage("Unable to open JPEG memory stream\n");
        return false;
    }
    // The crop keeps the source's blocks: it cannot grow the frame.
    if (size.first <= 0 || size.second <= 0 || size.first > static_cast<int>(src.d.info.image_width) ||
        size.second > static_cast<int>(src.d.info.image_height))
        return false;
    OutputPiece piece;
    if (!piece.createStream()) {
        reportReaderMessage("Unable to create JPEG output memory stream\n");
        return false;
    }
    if (!piece.begin(src, size.first, size.second, true)) return false;
    if (!piece.write(src.coefficients)) return false;
    if (!finishSource(src)) return false;
    return rawTileFromStream(piece.stream.get(), size, out);
}

bool vq_TIFFJPEGTileDecoder::splitHalves(vq_raw_tile* tile, bool leftRight, vq_raw_tile** first,
                                         vq_raw_tile** second) {
    if (first == nullptr || second == nullptr) return false;
    *first = *second = nullptr;
    SourceTile src;
    if (!src.open(tile)) return false;
    const int n = src.components();
    for (int c = 0; c < n; ++c) {
        int blocks = leftRight ? src.blocksAcross(c) : src.blocksDown(c);
        if (blocks % 2 != 0) return false;
    }
    const int width = static_cast<int>(src.d.info.image_width);
    const int height = static_cast<int>(src.d.info.image_height);
    const IntPair pieceSize = leftRight ? IntPair(width / 2, height) : IntPair(width, height / 2);
    int across[kMaxComponents], down[kMaxComponents];
    for (int c = 0; c < n; ++c) {
        across[c] = leftRight ? src.blocksAcross(c) / 2 : src.blocksAcross(c);
        down[c] = leftRight ? src.blocksDown(c) : src.blocksDown(c) / 2;
    }
    OutputPiece pieces[2];
    for (int half = 0; half < 2; ++half) {
        OutputPiece& p = pieces[half];
        if (!p.begin(src, pieceSize.first, pieceSize.second, true)) return false;
        if (!p.requestArrays(src.d.common(), src.d.err, src, across, down)) return false;
        bool ok = src.d.guarded([&] {
            for (int c = 0; c < n; ++c) {
                ArrayShape s = sourceShape(src, c);
                ArrayShape o = outputShape(p, src, c, across, down);
                int rowOffset = leftRight ? 0 : half * down[c];
                int colOffset = leftRight ? half * across[c] : 0;
                copyBlocks(src.d.common(), src.coefficients[c], s.rows, s.cols, rowOffset, colOffset, p.arrays[c],
                           o.rows, o.cols, 0, 0, down[c], across[c], src.comp(c).v_samp_factor);
            }
        });
        if (!ok || !p.write(p.arrays)) return false;
    }
    if (!finishSource(src)) return false;
    if (!rawTileFromStream(pieces[0].stream.get(), pieceSize, first)) return false;
    return rawTileFromStream(pieces[1].stream.get(), pieceSize, second);
}

bool vq_TIFFJPEGTileDecoder::splitLeftRight(vq_raw_tile* tile, vq_raw_tile** left, vq_raw_tile** right) {
    return splitHalves(tile, true, left, right);
}

bool vq_TIFFJPEGTileDecoder::splitTopBottom(vq_raw_tile* tile, vq_raw_tile** top, vq_raw_tile** bottom) {
    return splitHalves(tile, false, top, bottom);
}

bool vq_TIFFJPEGTileDecoder::splitIntoTiles(int x, int y, vq_rawTileMap& cells, vq_raw_tile* tile) {
    SourceTile src;
    if (!src.open(tile)) return false;
    const int cellsAcross = static_cast<int>(src.d.info.image_width) / 16;
    const int cellsDown = static_cast<int>(src.d.info.image_height) / 16;
    if (cellsAcross == 0 || cellsDown == 0) return false;
    const int n = src.components();
    int across[kMaxComponents], down[kMaxComponents];
    for (int c = 0; c < n; ++c) {
        if (src.blocksAcross(c) % cellsAcross != 0 || src.blocksDown(c) % cellsDown != 0) return false;
        across[c] = src.blocksAcross(c) / cellsAcross;
        down[c] = src.blocksDown(c) / cellsDown;
    }
    for (int row = 0; row < cellsDown; ++row) {
        for (int col = 0; col < cellsAcross; ++col) {
            OutputPiece cell;
            if (!cell.begin(src, 16, 16, false)) return false;
            if (!cell.requestArrays(cell.c.common(), cell.c.err, src, across, down)) return false;
            bool ok = src.d.guarded([&] {
                for (int c = 0; c < n; ++c) {
                    ArrayShape s = sourceShape(src, c);
                    ArrayShape o = outputShape(cell, src, c, across, down);
                    copyBlocks(src.d.common(), src.coefficients[c], s.rows, s.cols, row * down[c], col * across[c],
                               cell.arrays[c], o.rows, o.cols, 0, 0, down[c], across[c], src.comp(c).v_samp_factor);
                }
            });
            if (!ok || !cell.write(cell.arrays)) return false;
            vq_ptr<vq_raw_tile> piece;
            if (!rawTileFromStream(cell.stream.get(), IntPair(16, 16), piece.put())) return false;
            cells.emplace(IntPair(x * cellsAcross + col, y * cellsDown + row), piece);
        }
    }
    return true;
}

bool vq_TIFFJPEGTileDecoder::mergeTiles(vq_raw_tile* topLeft, vq_raw_tile* topRight, vq_raw_tile* bottomLeft,
                                        vq_raw_tile* bottomRight, vq_raw_tile** out) {
    if (out == nullptr) return false;
    *out = nullptr;
    if (topLeft == nullptr) return false;
    if (topRight == nullptr && bottomLeft == nullptr && bottomRight == nullptr) {
        reportReaderMessage("Trying to merge single tile\n");
        return false;
    }
    // The width counts the right column only through the top-right tile.
    if (bottomRight != nullptr && topRight == nullptr) return false;
    OutputPiece merged;
    if (!merged.createStream()) {
        reportReaderMessage("Unable to create JPEG output memory stream\n");
        return false;
    }
    vq_raw_tile* members[4] = {topLeft, topRight, bottomLeft, bottomRight};
    SourceTile sources[4];
    for (int i = 0; i < 4; ++i) {
        if (members[i] == nullptr) continue;
        if (!sources[i].open(members[i])) {
            if (sources[i].stream == nullptr) reportReaderMessage("Unable to open JPEG memory stream\n");
            return false;
        }
    }
    SourceTile& tl = sources[0];
    const int n = tl.components();
    // Every member must be coded like the top-left tile.
    for (int i = 1; i < 4; ++i) {
        if (members[i] == nullptr) continue;
        if (sources[i].components() != n) return false;
        for (int c = 0; c < n; ++c)
            if (sources[i].comp(c).h_samp_factor != tl.comp(c).h_samp_factor ||
                sources[i].comp(c).v_samp_factor != tl.comp(c).v_samp_factor)
                return false;
    }
    int across[kMaxComponents], down[kMaxComponents];
    int width = static_cast<int>(tl.d.info.image_width), height = static_cast<int>(tl.d.info.image_height);
    for (int c = 0; c < n; ++c) {
        across[c] = tl.blocksAcross(c);
        down[c] = tl.blocksDown(c);
    }
    if (topRight != nullptr) {
        for (int c = 0; c < n; ++c) across[c] += sources[1].blocksAcross(c);
        width += static_cast<int>(sources[1].d.info.image_width);
    }
    SourceTile* bottom = bottomLeft ? &sources[2] : bottomRight ? &sources[3] : nullptr;
    if (bottom != nullptr) {
        for (int c = 0; c < n; ++c) down[c] += bottom->blocksDown(c);
        height += static_cast<int>(bottom->d.info.image_height);
    }
    if (!merged.begin(tl, width, height, true)) return false;
    if (!merged.requestArrays(tl.d.common(), tl.d.err, tl, across, down)) return false;
    bool ok = tl.d.guarded([&] {
        for (int i = 0; i < 4; ++i) {
            if (members[i] == nullptr) continue;
            SourceTile& s = sources[i];
            for (int c = 0; c < n; ++c) {
                ArrayShape shape = sourceShape(s, c);
                ArrayShape o = outputShape(merged, tl, c, across, down);
                int colOffset = (i == 1 || i == 3) ? tl.blocksAcross(c) : 0;
                int rowOffset = (i == 2 || i == 3) ? tl.blocksDown(c) : 0;
                copyBlocks(tl.d.common(), s.coefficients[c], shape.rows, shape.cols, 0, 0, merged.arrays[c], o.rows,
                           o.cols, rowOffset, colOffset, s.blocksDown(c), s.blocksAcross(c), s.comp(c).v_samp_factor);
            }
        }
    });
    if (!ok || !merged.write(merged.arrays)) return false;
    for (auto& s : sources)
        if (s.coefficients != nullptr && !finishSource(s)) return false;
    return rawTileFromStream(merged.stream.get(), IntPair(width, height), out);
}

bool vq_TIFFJPEGTileDecoder::rotateTile(vq_raw_tile* tile, int rotation, vq_raw_tile** out) {
    if (tile == nullptr || out == nullptr) return false;
    *out = nullptr;
    if (tile->getData() == nullptr || tile->getDataLength() <= 0) return false;
    static const int kOps[3] = {TJXOP_ROT90, TJXOP_ROT180, TJXOP_ROT270};
    if (rotation < 0 || rotation > 2) return false;
    if (!jpegFrameFits(tile->getData(), tile->getDataLength(), IntPair(0, 0))) return false;
    tjhandle handle = tjInitTransform();
    if (handle == nullptr) return false;
    tjtransform transform;
    std::memset(&transform, 0, sizeof(transform));
    transform.op = kOps[rotation];
    unsigned char* buffer = nullptr;
    unsigned long length = 0;
    bool ok = tjTransform(handle, tile->getData(), static_cast<unsigned long>(tile->getDataLength()), 1,
                          &buffer, &length, &transform, TJFLAG_STOPONWARNING) == 0;
    int width = 0, height = 0, subsampling = 0, colourspace = 0;
    ok = ok && tjDecompressHeader3(handle, buffer, length, &width, &height, &subsampling, &colourspace) == 0;
    tjDestroy(handle);
    vq_ptr<vq_raw_tile> rotated;
    ok = ok && length <= static_cast<unsigned long>(INT32_MAX) && createRawTile(rotated.put()) &&
         rotated->allocate(static_cast<int32_t>(length), IntPair(width, height));
    if (ok) {
        std::memcpy(rotated->getData(), buffer, length);
        rotated->setCompression(7);
        *out = rotated.get();
        (*out)->addRef();
    }
    tjFree(buffer);
    return ok;
}
