#include "outputs/slide/jpeg_tables_builder.h"

#include "jpeg/jpeg_bridge.h"

namespace {

// Natural (row-major) index of each zigzag position.
constexpr uint8_t kZigzagToNatural[64] = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
    41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
    30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

void put16(std::vector<uint8_t>& out, unsigned v) {
    out.push_back(static_cast<uint8_t>(v >> 8));
    out.push_back(static_cast<uint8_t>(v));
}

} // namespace

void JpegTablesBuilder::appendQuantSegment(const JQUANT_TBL* table, int tableNumber) {
    bool wide = false;
    for (int i = 0; i < 64; ++i) wide = wide || table->quantval[i] > 255;
    bytes.push_back(0xFF);
    bytes.push_back(0xDB);
    put16(bytes, wide ? 131 : 67);
    // Precision in the high nibble; the low nibble names the table, which is
    // what a decoder matches against the frame header's table selectors.
    bytes.push_back(static_cast<uint8_t>((wide ? 0x10 : 0x00) | (tableNumber & 0x0F)));
    for (int k = 0; k < 64; ++k) {
        const unsigned v = table->quantval[kZigzagToNatural[k]];
        if (wide) bytes.push_back(static_cast<uint8_t>(v >> 8));
        bytes.push_back(static_cast<uint8_t>(v));
    }
}

void JpegTablesBuilder::appendHuffmanSegment(const JHUFF_TBL* table, uint8_t classAndIndex) {
    unsigned codes = 0;
    for (int i = 1; i <= 16; ++i) codes += table->bits[i];
    bytes.push_back(0xFF);
    bytes.push_back(0xC4);
    put16(bytes, 19 + codes);
    bytes.push_back(classAndIndex);
    for (int i = 1; i <= 16; ++i) bytes.push_back(table->bits[i]);
    for (unsigned i = 0; i < codes; ++i) bytes.push_back(table->huffval[i]);
}

void JpegTablesBuilder::appendQuantSegments(const jpeg_compress_struct& info) {
    quantTables.assign(4, {});
    const int components = info.num_components < 3 ? info.num_components : 3;
    bool quantDone[NUM_QUANT_TBLS] = {};
    for (int ci = 0; ci < components; ++ci) {
        const int t = info.comp_info[ci].quant_tbl_no;
        const JQUANT_TBL* table = info.quant_tbl_ptrs[t];
        if (table == nullptr || quantDone[t]) continue;
        quantDone[t] = true;
        appendQuantSegment(table, t);
        quantTables[ci].assign(table->quantval, table->quantval + 64);
    }
}

void JpegTablesBuilder::appendHuffmanSegments(const jpeg_compress_struct& info) {
    const int components = info.num_components < 3 ? info.num_components : 3;
    bool dcDone[NUM_HUFF_TBLS] = {}, acDone[NUM_HUFF_TBLS] = {};
    for (int ci = 0; ci < components; ++ci) {
        const int dc = info.comp_info[ci].dc_tbl_no, ac = info.comp_info[ci].ac_tbl_no;
        if (dcDone[dc] || info.dc_huff_tbl_ptrs[dc] == nullptr) continue;
        dcDone[dc] = true;
        appendHuffmanSegment(info.dc_huff_tbl_ptrs[dc], static_cast<uint8_t>(dc));
        if (acDone[ac] || info.ac_huff_tbl_ptrs[ac] == nullptr) continue;
        acDone[ac] = true;
        appendHuffmanSegment(info.ac_huff_tbl_ptrs[ac], static_cast<uint8_t>(16 + ac));
    }
}

bool JpegTablesBuilder::build(int quality, int colourSpace) {
    bytes.clear();
    quantTables.assign(4, {});
    JpegCompressor c;
    if (!createJpegCompress(c)) return false;
    bool ok = c.guarded([&] {
        c.info.in_color_space = JCS_RGB;
        c.info.input_components = 3;
        jpeg_set_defaults(&c.info);
        jpeg_set_colorspace(&c.info, colourSpace == 3 ? JCS_YCbCr : JCS_RGB);
        jpeg_set_quality(&c.info, quality, TRUE);
    });
    if (!ok) return false;

    bytes.push_back(0xFF);
    bytes.push_back(0xD8);
    appendQuantSegments(c.info);
    appendHuffmanSegments(c.info);
    bytes.push_back(0xFF);
    bytes.push_back(0xD9);
    return true;
}
