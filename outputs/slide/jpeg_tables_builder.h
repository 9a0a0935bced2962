// The value of a TIFF JPEGTables field: a tables-only JPEG stream holding
// exactly the quantisation and Huffman tables that the JPEG tile encoder uses
// for a quality and colour space, so that its abbreviated tiles decode.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

extern "C" {
#include <jpeglib.h>
}

class JpegTablesBuilder {
public:
    // Colour space 3 builds the tables of a YCbCr stream, any other value
    // those of an RGB stream.
    bool build(int quality, int colourSpace);
    void appendHuffmanSegment(const JHUFF_TBL* table, uint8_t classAndIndex);
    // The DQT segments of a set-up compressor's first three components, each
    // table once, in component order (recorded in quantTables).
    void appendQuantSegments(const jpeg_compress_struct& info);
    // Its DHT segments: per component its DC table, then its AC table, each
    // once; a component whose DC table was written already adds neither.
    void appendHuffmanSegments(const jpeg_compress_struct& info);

    // Per component index, the table it used first (natural order); empty
    // where no component used a new table.
    std::vector<std::vector<uint16_t>> quantTables;
    std::vector<uint8_t> bytes;

private:
    void appendQuantSegment(const JQUANT_TBL* table, int tableNumber);
};
