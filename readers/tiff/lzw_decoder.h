// TIFF LZW (compression 5) for the slide readers and writers, independent of
// the TIFF library's codec: codes of 9 to 12 bits, most significant bit first,
// with the early width change of TIFF writers. Decoding runs in two passes:
// the bit stream is unpacked into a list of codes, then the codes are expanded
// through a string table. Encoding builds the codes over a dictionary whose
// children of one string form a binary tree by their last byte, then packs
// them. Predictors are the caller's business.
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

    // Sizes the buffers for encoding `length` input bytes.
    bool prepareEncode(int64_t length);
    // Encodes the input; the packed bytes are then at data().
    bool encode(int64_t length, const uint8_t* input, int64_t* packedLength);
    void resetDictionary();
    bool encodeCodes(const uint8_t* input, int64_t length, int64_t* codeCount);
    bool packCodes(int64_t codeCount, int64_t* byteCount);

private:
    // One dictionary entry: the last byte of its string and the codes of its
    // first child and of its lesser and greater siblings (0: none).
    struct DictEntry {
        uint8_t value = 0;
        uint8_t unused = 0;
        uint16_t child = 0;
        uint16_t lesser = 0;
        uint16_t greater = 0;
    };
    std::vector<DictEntry> dictionary;

    std::vector<uint8_t> output;
    std::vector<Entry> table;
    std::vector<uint16_t> codes;
    size_t produced = 0;
};
