// The body of a TIFF JPEGTables field: its DQT and DHT segments without the
// SOI in front and the EOI behind, ready to sit between a tile's SOI and the
// rest of its stream.
#pragma once

#include <cstddef>
#include <cstdint>

struct JpegTablesBody {
    const uint8_t* data;
    size_t length;
};

inline JpegTablesBody jpegTablesBody(const uint8_t* t, size_t length) {
    size_t begin = 0, end = length;
    if (end - begin >= 2 && t[0] == 0xFF && t[1] == 0xD8) begin += 2;
    if (end - begin >= 2 && t[end - 2] == 0xFF && t[end - 1] == 0xD9) end -= 2;
    return {t + begin, end - begin};
}
