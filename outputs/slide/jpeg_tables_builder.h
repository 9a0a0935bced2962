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

    // Per component index, the table it used first (natural order); empty
    // where no component used a new table.
    std::vector<std::vector<uint16_t>> quantTables;
    std::vector<uint8_t> bytes;

private:
    void appendQuantSegment(const JQUANT_TBL* table, int tableNumber);
};
