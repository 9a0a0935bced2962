// TIFF LZW encoding of one strip held in memory (see lzw_decoder.h).
#include <algorithm>
#include <new>

#include "readers/tiff/lzw_decoder.h"

namespace {
constexpr uint16_t kClear = 256;
constexpr uint16_t kEnd = 257;
constexpr uint16_t kFirstFree = 258;
// The last code handed out before the dictionary starts afresh is 4093, so
// that a decoder's table never needs a 13th bit.
constexpr int kDictionaryLimit = 4094;
} // namespace

bool LzwWorkBuffers::prepareEncode(int64_t length) {
    if (length < 0) return false;
    // Worst case one code per input byte, in cycles of one Clear at 12 bits,
    // then 254 codes at 9 bits, 512 at 10, 1024 at 11 and 2048 at 12.
    static const int cycle[4][2] = {{254, 9}, {512, 10}, {1024, 11}, {2048, 12}};
    int64_t bits = 0, codeTotal = 0, left = length;
    while (left > 0) {
        bits += 12;
        ++codeTotal;
        for (const auto& c : cycle) {
            const int64_t n = std::min<int64_t>(left, c[0]);
            bits += n * c[1];
            codeTotal += n;
            left -= n;
        }
    }
    bits += 12 + 12;  // the first Clear and EndOfInformation
    codeTotal += 2;
    const int64_t estimate = (bits + 7) / 8;
    try {
        dictionary.assign(4096, DictEntry{});
        codes.clear();
        codes.reserve(static_cast<size_t>(codeTotal));
        output.assign(static_cast<size_t>((estimate + 1) / 2 * 2 + 2), 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

void LzwWorkBuffers::resetDictionary() {
    dictionary.assign(4096, DictEntry{});
    for (int i = 0; i < 256; ++i) dictionary[static_cast<size_t>(i)].value = static_cast<uint8_t>(i);
}

bool LzwWorkBuffers::encodeCodes(const uint8_t* input, int64_t length, int64_t* codeCount) {
    if ((input == nullptr && length > 0) || length < 0 || codeCount == nullptr) return false;
    try {
        codes.clear();
        resetDictionary();
        codes.push_back(kClear);
        int next = kFirstFree;
        int current = -1;
        for (int64_t i = 0; i < length; ++i) {
            const uint8_t b = input[i];
            if (current < 0) {
                current = b;
                continue;
            }
            uint16_t* link = &dictionary[static_cast<size_t>(current)].child;
            while (*link != 0) {
                const DictEntry& e = dictionary[*link];
                if (b == e.value) break;
                link = b < e.value ? &dictionary[*link].lesser : &dictionary[*link].greater;
            }
            if (*link != 0) {
                current = *link;
                continue;
            }
            *link = static_cast<uint16_t>(next);
            codes.push_back(static_cast<uint16_t>(current));
            dictionary[static_cast<size_t>(next)] = DictEntry{b, 0, 0, 0, 0};
            current = b;
            if (++next == kDictionaryLimit) {
                codes.push_back(static_cast<uint16_t>(current));
                resetDictionary();
                codes.push_back(kClear);
                next = kFirstFree;
                current = -1;
            }
        }
        if (current >= 0) codes.push_back(static_cast<uint16_t>(current));
        codes.push_back(kEnd);
    } catch (const std::bad_alloc&) {
        return false;
    }
    *codeCount = static_cast<int64_t>(codes.size());
    return true;
}

bool LzwWorkBuffers::packCodes(int64_t codeCount, int64_t* byteCount) {
    if (codeCount < 0 || codeCount > static_cast<int64_t>(codes.size()) || byteCount == nullptr) return false;
    int width = 9;
    int next = kFirstFree;
    uint32_t accumulator = 0;
    int held = 0;
    int64_t bits = 0;
    try {
        output.clear();
        for (int64_t i = 0; i < codeCount; ++i) {
            const uint16_t code = codes[static_cast<size_t>(i)];
            // Most significant bit first: the buffer is a big-endian bit stream.
            accumulator = (accumulator << width) | code;
            held += width;
            bits += width;
            while (held >= 8) {
                held -= 8;
                output.push_back(static_cast<uint8_t>(accumulator >> held));
            }
            accumulator &= (1u << held) - 1;
            if (code == kClear) {
                width = 9;
                next = kFirstFree;
            } else {
                ++next;
                // The width grows one code before the table needs it, as TIFF
                // readers expect.
                if (next == 512 || next == 1024 || next == 2048) ++width;
                if (width > 12) return false;
            }
        }
        if (held > 0) output.push_back(static_cast<uint8_t>(accumulator << (8 - held)));
    } catch (const std::bad_alloc&) {
        return false;
    }
    *byteCount = (bits + 7) / 8;
    return true;
}

bool LzwWorkBuffers::encode(int64_t length, const uint8_t* input, int64_t* packedLength) {
    int64_t count = 0;
    if (!encodeCodes(input, length, &count)) return false;
    return packCodes(count, packedLength);
}
