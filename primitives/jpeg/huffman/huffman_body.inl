// The Huffman forms of one processor path, included inside that path's
// namespace: the table clearing and copying go through the path's own block
// kernels (zeroBytes, copyBytes, zeroVector8u of the same namespace). The
// coding itself is plain integer code, the same on every path.

namespace {

using namespace prim::jpeg_huffman;

// The canonical codes of a table: the length and code of each list position.
// Returns the number of symbols, or -64 for a bad table.
inline int32_t canonicalCodes(const uint8_t* bits, uint8_t* lengths, uint16_t* codes) {
    int32_t total = 0;
    for (int32_t len = 1; len <= 16; ++len) {
        const int32_t n = bits[len - 1];
        if (total + n > 256) return primErrHuffmanTable;
        for (int32_t i = 0; i < n; ++i) lengths[total + i] = static_cast<uint8_t>(len);
        total += n;
    }
    uint32_t code = 0;
    int32_t p = 0;
    for (int32_t len = 1; len <= 16; ++len) {
        for (; p < total && lengths[p] == len; ++p) codes[p] = static_cast<uint16_t>(code++);
        // The next code must stay below 2^len: this also refuses a code made
        // only of 1-bits.
        if (code >= (1u << len)) return primErrHuffmanTable;
        code <<= 1;
    }
    return total;
}

// Bit reader of one decoding call over the caller's data and state.
struct BitReader {
    const uint8_t* src;
    int32_t srcLen;
    int32_t pos;
    uint32_t bits;
    int32_t count;
    int32_t* marker;

    // Moves bytes into the buffer while it holds fewer than 25 bits; fails
    // when the bits needed cannot be had.
    int32_t fill(int32_t need) {
        if (*marker != 0) return need > count ? primErrHuffmanData : primNoErr;
        while (count < 25) {
            if (pos >= srcLen) return need > count ? primErrDataEnd : primNoErr;
            uint32_t byte = src[pos++];
            if (byte == 0xFF) {
                for (;;) {
                    if (pos >= srcLen) return primErrDataEnd;
                    const uint32_t next = src[pos++];
                    if (next == 0x00) break;  // a stuffed data byte 0xFF
                    if (next == 0xFF) continue;  // a fill byte
                    *marker = static_cast<int32_t>(next);
                    return need > count ? primErrHuffmanData : primNoErr;
                }
            }
            bits = (bits << 8) | byte;
            count += 8;
        }
        return primNoErr;
    }
    uint32_t peek(int32_t n) const { return (bits >> (count - n)) & ((1u << n) - 1u); }
    uint32_t take(int32_t n) {
        const uint32_t v = peek(n);
        count -= n;
        return v;
    }
    // One symbol of a table, or a failing status.
    int32_t decode(const HuffmanDecodeSpec& spec, int32_t* symbol) {
        int32_t st;
        if (count < 8 && (st = fill(0)) != primNoErr) return st;
        int32_t len = 1;
        if (count >= 8) {
            const uint32_t entry = spec.lookahead[peek(8)];
            if (entry != 0) {
                count -= static_cast<int32_t>(entry >> 16);
                *symbol = static_cast<int32_t>(entry & 0xFFFF);
                return primNoErr;
            }
            len = 9;
        }
        if (count < len && (st = fill(len)) != primNoErr) return st;
        uint32_t code = take(len);
        for (;;) {
            const uint32_t last = spec.lastCode[len];
            if (last != 0xFFFF && code <= last) {
                *symbol = spec.symbols[spec.firstIndex[len] - spec.firstCode[len] + code];
                return primNoErr;
            }
            if (count == 0 && (st = fill(1)) != primNoErr) return st;
            code = (code << 1) | take(1);
            if (++len > 16) {
                *symbol = 0;
                return primErrHuffmanData;
            }
        }
    }
    // s extra bits, extended to a signed value.
    int32_t value(int32_t s, int32_t* v) {
        int32_t st;
        if (count < s && (st = fill(s)) != primNoErr) return st;
        *v = extend(static_cast<int32_t>(take(s)), s);
        return primNoErr;
    }
};

inline int32_t decodeBlockSteps(BitReader& in, int16_t* block, int16_t* lastDc, const HuffmanDecodeSpec& dc,
                                const HuffmanDecodeSpec& ac) {
    int32_t symbol = 0, st;
    if ((st = in.decode(dc, &symbol)) != primNoErr) return st;
    int32_t diff = 0;
    const int32_t s = symbol & 15;
    if (s != 0 && (st = in.value(s, &diff)) != primNoErr) return st;
    *lastDc = static_cast<int16_t>(static_cast<uint16_t>(*lastDc + diff));
    block[0] = *lastDc;
    int32_t k = 1, remaining = 63;
    while (remaining > 0) {
        if ((st = in.decode(ac, &symbol)) != primNoErr) return st;
        const int32_t run = symbol >> 4, size = symbol & 15;
        if (size == 0) {
            if (run != 15) break;  // end of block
            k += 16;
            remaining -= 16;
            continue;
        }
        int32_t v = 0;
        if ((st = in.value(size, &v)) != primNoErr) return st;
        k += run;
        block[jpegZigzagToNatural[k > 63 ? 63 : k]] = static_cast<int16_t>(v);
        ++k;
        remaining -= run + 1;
    }
    return primNoErr;
}

// Bit writer of one encoding call; the caller commits it only on success.
struct BitWriter {
    uint8_t* dst;
    int32_t dstLen;
    int32_t pos;
    uint32_t bits;
    int32_t count;

    int32_t emit(int32_t len, uint32_t value) {
        if (len == 0) return primErrHuffmanTable;
        bits |= (value & ((1u << len) - 1u)) << (24 - count - len);
        count += len;
        while (count >= 8) {
            const uint8_t byte = static_cast<uint8_t>(bits >> 16);
            if (pos >= dstLen) return primErrDataEnd;
            dst[pos++] = byte;
            if (byte == 0xFF) {
                if (pos >= dstLen) return primErrDataEnd;
                dst[pos++] = 0;
            }
            bits <<= 8;
            count -= 8;
        }
        return primNoErr;
    }
    int32_t emitCode(const HuffmanEncodeSpec& spec, int32_t symbol) {
        const uint32_t entry = spec.codes[symbol];
        return emit(static_cast<int32_t>(entry >> 16), entry & 0xFFFF);
    }
    // The value bits of v of category s: v, or v - 1 when negative.
    int32_t emitValue(int32_t v, int32_t s) {
        return emit(s, static_cast<uint32_t>(v < 0 ? v - 1 : v));
    }
};

inline int32_t encodeBlockSteps(BitWriter& out, const int16_t* block, int32_t predictor,
                                const HuffmanEncodeSpec& dc, const HuffmanEncodeSpec& ac) {
    int32_t st;
    const int32_t d = block[0] - predictor;
    const int32_t dcCat = category(d);
    if ((st = out.emitCode(dc, dcCat)) != primNoErr) return st;
    if (dcCat != 0 && (st = out.emitValue(d, dcCat)) != primNoErr) return st;
    int32_t run = 0;
    for (int32_t k = 1; k < 64; ++k) {
        const int32_t v = block[jpegZigzagToNatural[k]];
        if (v == 0) {
            ++run;
            continue;
        }
        // Category 16 does not fit the size nibble of a run/size symbol.
        if (v == -32768) return primErrHuffmanTable;
        for (; run > 15; run -= 16)
            if ((st = out.emitCode(ac, 0xF0)) != primNoErr) return st;
        const int32_t s = category(v);
        if ((st = out.emitCode(ac, (run << 4) + s)) != primNoErr) return st;
        if ((st = out.emitValue(v, s)) != primNoErr) return st;
        run = 0;
    }
    if (run != 0) return out.emitCode(ac, 0x00);
    return primNoErr;
}

} // namespace

int32_t huffmanDecodeSpecInit(const uint8_t* bits, const uint8_t* values, HuffmanDecodeSpec* spec) {
    if (!bits || !values || !spec) return primErrNullPtr;
    zeroBytes(spec, static_cast<int32_t>(sizeof(HuffmanDecodeSpec)));
    uint8_t lengths[256];
    uint16_t codes[256];
    const int32_t total = canonicalCodes(bits, lengths, codes);
    if (total < 0) {
        zeroBytes(spec, static_cast<int32_t>(sizeof(HuffmanDecodeSpec)));
        return total;
    }
    int32_t p = 0;
    for (int32_t len = 1; len <= 16; ++len) {
        const int32_t n = bits[len - 1];
        if (n == 0) {
            spec->lastCode[len] = 0xFFFF;
            continue;
        }
        spec->firstIndex[len] = static_cast<uint16_t>(p);
        spec->firstCode[len] = codes[p];
        spec->lastCode[len] = codes[p + n - 1];
        p += n;
    }
    spec->lastCode[17] = 0xFFFF;
    for (int32_t i = 0; i < total; ++i) {
        spec->symbols[i] = values[i];
        if (lengths[i] <= 8) {
            const int32_t shift = 8 - lengths[i];
            const uint32_t entry = (static_cast<uint32_t>(lengths[i]) << 16) | values[i];
            for (int32_t j = 0; j < (1 << shift); ++j) spec->lookahead[(codes[i] << shift) + j] = entry;
        }
    }
    return primNoErr;
}

int32_t huffmanDecodeBlock(const uint8_t* src, int32_t srcLen, int32_t* pos, int16_t* block, int16_t* lastDc,
                           int32_t* marker, const HuffmanDecodeSpec* dcSpec, const HuffmanDecodeSpec* acSpec,
                           HuffmanDecodeState* state) {
    if (!src) return primErrNullPtr;
    if (srcLen < 0) return primErrNegativeLength;
    if (!pos || !block || !lastDc || !marker || !dcSpec || !acSpec || !state) return primErrNullPtr;
    // A start outside the data would read before or past it.
    if (*pos < 0 || *pos > srcLen) return primErrSize;
    zeroBytes(block, 64 * static_cast<int32_t>(sizeof(int16_t)));
    BitReader in{src, srcLen, *pos, state->bits, state->count, marker};
    const int32_t st = decodeBlockSteps(in, block, lastDc, *dcSpec, *acSpec);
    *pos = in.pos;
    state->bits = in.bits;
    state->count = in.count;
    return st;
}

int32_t huffmanEncodeSpecInit(const uint8_t* bits, const uint8_t* values, HuffmanEncodeSpec* spec) {
    if (!bits || !values || !spec) return primErrNullPtr;
    zeroBytes(spec, static_cast<int32_t>(sizeof(HuffmanEncodeSpec)));
    uint8_t lengths[256];
    uint16_t codes[256];
    const int32_t total = canonicalCodes(bits, lengths, codes);
    if (total < 0) return total;
    for (int32_t i = 0; i < total; ++i) spec->codes[values[i]] = (static_cast<uint32_t>(lengths[i]) << 16) | codes[i];
    return primNoErr;
}

namespace {
inline void clearEncodeState(HuffmanEncodeState* state) {
    state->bits = 0;
    state->count = 0;
    zeroVector8u(state->work, static_cast<int32_t>(sizeof(state->work)));
    zeroBytes(state->reserved, static_cast<int32_t>(sizeof(state->reserved)) - 4);
}
} // namespace

int32_t huffmanEncodeStateInit(HuffmanEncodeState* state) {
    if (!state) return primErrNullPtr;
    clearEncodeState(state);
    return primNoErr;
}

int32_t huffmanEncodeBlock(const int16_t* block, uint8_t* dst, int32_t dstLen, int32_t* pos, int16_t* lastDc,
                           const HuffmanEncodeSpec* dcSpec, const HuffmanEncodeSpec* acSpec,
                           HuffmanEncodeState* state, int32_t flush) {
    if (!dst) return primErrNullPtr;
    if (dstLen <= 0) return primErrSize;
    if (!pos || !state) return primErrNullPtr;
    if (*pos < 0 || *pos > dstLen) return primErrSize;
    BitWriter out{dst, dstLen, *pos, state->bits, state->count};
    if (flush != 0) {
        const int32_t st = out.emit(7, 0x7F);
        if (st != primNoErr) return st;
        *pos = out.pos;
        clearEncodeState(state);
        return primNoErr;
    }
    if (!block || !lastDc || !dcSpec || !acSpec) return primErrNullPtr;
    const int32_t st = encodeBlockSteps(out, block, *lastDc, *dcSpec, *acSpec);
    if (st != primNoErr) return st;
    *lastDc = block[0];
    *pos = out.pos;
    state->bits = out.bits;
    state->count = out.count;
    return primNoErr;
}

int32_t huffmanGatherBlockStatistics(const int16_t* block, int32_t* dcCounts, int32_t* acCounts, int16_t* lastDc) {
    if (!block || !dcCounts || !acCounts || !lastDc) return primErrNullPtr;
    const int32_t d = block[0] - *lastDc;
    *lastDc = block[0];
    const int32_t dcCat = category(d);
    if (dcCat > 15) return primErrHuffmanData;
    ++dcCounts[dcCat];
    int32_t run = 0;
    for (int32_t k = 1; k < 64; ++k) {
        const int32_t v = block[jpegZigzagToNatural[k]];
        if (v == 0) {
            ++run;
            continue;
        }
        for (; run > 15; run -= 16) ++acCounts[0xF0];
        const int32_t s = category(v);
        if (s > 14) return primErrHuffmanData;
        ++acCounts[(run << 4) + s];
        run = 0;
    }
    if (run != 0) ++acCounts[0x00];
    return primNoErr;
}

int32_t huffmanBuildOptimalTable(const int32_t* counts, uint8_t* bits, uint8_t* values) {
    if (!counts || !bits || !values) return primErrNullPtr;
    int32_t freq[257];
    int32_t codeSize[257];
    int32_t others[257];
    uint8_t sizeCount[33];
    copyBytes(counts, freq, static_cast<int32_t>(sizeof(freq)));
    freq[256] = 1;  // a reserved code point: no real symbol gets the all-ones code
    zeroBytes(codeSize, static_cast<int32_t>(sizeof(codeSize)));
    zeroBytes(sizeCount, static_cast<int32_t>(sizeof(sizeCount)));
    for (int32_t& o : others) o = -1;
    for (;;) {
        // The two smallest non-zero counts; the higher entry wins a tie.
        int32_t c1 = -1, c2 = -1;
        int32_t v = 1000000000;
        for (int32_t i = 0; i <= 256; ++i)
            if (freq[i] != 0 && freq[i] <= v) {
                v = freq[i];
                c1 = i;
            }
        v = 1000000000;
        for (int32_t i = 0; i <= 256; ++i)
            if (freq[i] != 0 && freq[i] <= v && i != c1) {
                v = freq[i];
                c2 = i;
            }
        if (c2 < 0) break;
        freq[c1] += freq[c2];
        freq[c2] = 0;
        ++codeSize[c1];
        while (others[c1] >= 0) {
            c1 = others[c1];
            ++codeSize[c1];
        }
        others[c1] = c2;
        ++codeSize[c2];
        while (others[c2] >= 0) {
            c2 = others[c2];
            ++codeSize[c2];
        }
    }
    for (int32_t i = 0; i <= 256; ++i) {
        if (codeSize[i] == 0) continue;
        if (codeSize[i] > 32) return primErrHuffmanTable;
        ++sizeCount[codeSize[i]];
    }
    // Fold code sizes above 16 bits into shorter ones.
    for (int32_t i = 32; i > 16; --i)
        while (sizeCount[i] > 0) {
            int32_t j = i - 2;
            while (sizeCount[j] == 0) --j;
            sizeCount[i] = static_cast<uint8_t>(sizeCount[i] - 2);
            ++sizeCount[i - 1];
            sizeCount[j + 1] = static_cast<uint8_t>(sizeCount[j + 1] + 2);
            --sizeCount[j];
        }
    // Take the reserved code point out of the longest size in use.
    int32_t longest = 16;
    while (longest > 0 && sizeCount[longest] == 0) --longest;
    if (longest > 0) --sizeCount[longest];
    copyBytes(sizeCount + 1, bits, 16);
    int32_t p = 0;
    for (int32_t size = 1; size <= 32; ++size)
        for (int32_t s = 0; s < 256; ++s)
            if (codeSize[s] == size) values[p++] = static_cast<uint8_t>(s);
    return primNoErr;
}
