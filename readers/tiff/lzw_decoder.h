// TIFF LZW (compression 5) decoding for the slide readers, independent of the
// TIFF library's codec: codes of 9 to 12 bits, most significant bit first,
// with the early width change of TIFF writers. Two passes: the bit stream is
// unpacked into a list of codes, then the codes are expanded through a string
// table. Predictors are the caller's business.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class LzwWorkBuffers {
public:
    struct Entry {
        uint8_t value = 0;
        uint16_t length = 0;
        uint16_t prefix = 0xFFFF;
    };

    LzwWorkBuffers() = default;
    ~LzwWorkBuffers() = default;

    // Sizes the buffers for at most `capacity` decoded bytes.
    bool prepare(int capacity);
    // Decodes byteLength bytes of data. The data is modified in place (its
    // byte pairs may be exchanged) and must hold one byte after byteLength.
    bool decode(uint8_t* data, uint32_t byteLength, int rowBytes, int rows);
    bool unpackCodes(uint8_t* data, uint32_t byteLength, int* count);
    bool expandCodes(int count, int expected);
    const uint8_t* data() const { return output.data(); }
    // Bytes written by the last expansion.
    size_t decodedLength() const { return produced; }

private:
    std::vector<uint8_t> output;
    std::vector<Entry> table;
    std::vector<uint16_t> codes;
    size_t produced = 0;
};
