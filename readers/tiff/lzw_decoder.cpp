#include "readers/tiff/lzw_decoder.h"

#include <new>

bool LzwWorkBuffers::prepare(int capacity) {
    if (capacity < 0) return false;
    try {
        output.assign(static_cast<size_t>(capacity) + 16, 0);
        table.assign(4096, Entry{});
        codes.assign(static_cast<size_t>(capacity) + 6, 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    for (int i = 0; i < 256; ++i) table[i] = Entry{uint8_t(i), 1, 0xFFFF};
    produced = 0;
    return true;
}

bool LzwWorkBuffers::decode(uint8_t* data, uint32_t byteLength, int rowBytes, int rows) {
    if (data == nullptr || table.empty()) return false;
    int count = 0;
    if (!unpackCodes(data, byteLength, &count)) return false;
    return expandCodes(count, rowBytes * rows);
}

bool LzwWorkBuffers::unpackCodes(uint8_t* data, uint32_t byteLength, int* count) {
    *count = 0;
    if (byteLength < 2 || codes.empty()) {
        if (!codes.empty()) {
            codes[0] = 257;
            *count = 1;
        }
        return true;
    }
    // Words are taken in little-endian machine order; a stream that starts
    // with Clear is turned into big-endian words unless it already is.
    auto word = [&](uint32_t i) { return uint32_t(data[2 * i]) | uint32_t(data[2 * i + 1]) << 8; };
    if (((word(0) >> 7) & 0x1FF) != 256) {
        for (uint32_t i = 0; i < (byteLength + 1) / 2; ++i) {
            uint8_t t = data[2 * i];
            data[2 * i] = data[2 * i + 1];
            data[2 * i + 1] = t;
        }
    }
    const uint32_t nWords = byteLength / 2;
    uint32_t bitsLeft = 16, width = 9, counter = 258, limit = 512, mask = 0x1FF, w = 0;
    // The code list never grows past its capacity: a damaged stream that
    // unpacks to more codes is cut there.
    const size_t maxCodes = codes.size() - 1;
    size_t n = 0;
    for (;;) {
        uint32_t code;
        const uint32_t cur = w < nWords ? word(w) : 0;
        if (bitsLeft > width) {
            bitsLeft -= width;
            code = (cur >> bitsLeft) & mask;
        } else if (bitsLeft < width) {
            uint32_t t = width - bitsLeft;
            code = (cur << t) & mask;
            ++w;
            bitsLeft = 16 - t;
            code |= (w < nWords ? word(w) : 0) >> bitsLeft;
        } else {
            code = cur & mask;
            ++w;
            bitsLeft = 16;
        }
        if (w >= nWords && code != 257) code = 257;
        if (n >= maxCodes) code = 257;
        codes[n++] = static_cast<uint16_t>(code);
        if (code == 257) break;
        if (code == 256) {
            counter = 258;
            width = 9;
            limit = 512;
        } else if (++counter >= limit && width < 12) {
            ++width;
            limit *= 2;
        }
        mask = 0xFFFFu >> (16 - width);
    }
    *count = static_cast<int>(n);
    return true;
}

bool LzwWorkBuffers::expandCodes(int count, int /*expected*/) {
    produced = 0;
    if (count < 1 || codes[0] != 256) return false;
    const size_t capacity = output.size();
    uint32_t next = 258, previous = 0;
    uint8_t first = 0;
    size_t pos = 0;
    // Writes the string of `code` ending at output[end - 1]; false when it
    // would pass the output's end.
    auto writeString = [&](uint32_t code, size_t end) {
        size_t p = end;
        for (uint32_t c = code; c != 0xFFFF; c = table[c].prefix) {
            if (p == 0) return false;
            output[--p] = table[c].value;
        }
        return true;
    };
    int i = 0;
    while (i < count) {
        uint32_t code = codes[i++];
        if (code == 257) break;
        if (code == 256) {
            while (i < count && codes[i] == 256) ++i;
            if (i >= count || codes[i] == 257) break;
            code = codes[i++];
            if (pos >= capacity) return false;
            code &= 0xFF;
            output[pos++] = static_cast<uint8_t>(code);
            next = 258;
            previous = code;
            first = static_cast<uint8_t>(code);
            continue;
        }
        if (code > next) return false;
        const uint32_t length = code < next ? table[code].length : table[previous].length + 1u;
        if (pos + length > capacity) return false;
        if (code < next) {
            if (!writeString(code, pos + length)) return false;
        } else {
            output[pos + length - 1] = first;
            if (!writeString(previous, pos + length - 1)) return false;
        }
        first = output[pos];
        pos += length;
        // The table holds codes up to 4095; a stream that would add more
        // without a Clear code keeps decoding with the entries it has.
        if (next < 4096) {
            table[next] = Entry{first, static_cast<uint16_t>(table[previous].length + 1), static_cast<uint16_t>(previous)};
            ++next;
        }
        previous = code;
        produced = pos;
    }
    produced = pos;
    return true;
}
