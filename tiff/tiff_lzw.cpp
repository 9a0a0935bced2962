// The LZW codec (Compression 5): codes of 9 to 12 bits packed most
// significant bit first, and the older streams packed least significant bit
// first whose width grows one code later, recognised by a strip's first bytes.
#include "tiff/vqtiff_internal.h"

namespace vqtiff {

namespace {

constexpr int kBitsMin = 9;
constexpr int kBitsMax = 12;
constexpr int kCodeClear = 256;
constexpr int kCodeEOI = 257;
constexpr int kCodeFirst = 258;
constexpr int kCodeMax = (1 << kBitsMax) - 1;
// 4095 codes plus spare entries for streams that never send Clear.
constexpr int kTableSize = kCodeMax + 1024;
constexpr int kHashSize = 9001;
constexpr int kCheckGap = 10000;

struct CodeEntry {
    int32_t next; // entry of the string without its last character; -1 none
    uint16_t length;
    uint8_t value;
    uint8_t firstChar;
};

struct HashEntry {
    int32_t key; // negative: empty
    uint16_t code;
};

enum DecoderKind { kNone, kNewStyle, kOldStyle };

struct LZWState {
    PredictorState predictor; // must come first
    int nbits;
    int maxCode;
    int freeEnt;
    uint64_t nextData;
    int nextBits;
    int openMode;
    // decoder
    int mask;
    int64_t restart;
    int64_t bitsLeft;
    DecoderKind kind;
    int32_t restartCode;
    int32_t oldCode;
    int32_t freeEntry;
    int32_t maxCodeEntry;
    CodeEntry* table;
    // encoder
    int prevCode; // -1 none
    int64_t checkpoint;
    int64_t ratio;
    int64_t inCount;
    int64_t outCount;
    uint8_t* limit;
    HashEntry* hash;
};

LZWState* lzw(TIFFHandle* h) { return static_cast<LZWState*>(h->codecState); }

int setupDecode(TIFFHandle* h);
int decodeNew(TIFFHandle* h, uint8_t* op, int64_t occ, uint16_t);
int decodeOld(TIFFHandle* h, uint8_t* op, int64_t occ, uint16_t);
int preDecode(TIFFHandle* h, uint16_t);
int setupEncode(TIFFHandle* h);
int preEncode(TIFFHandle* h, uint16_t);
int encode(TIFFHandle* h, uint8_t* bp, int64_t cc, uint16_t);
int postEncode(TIFFHandle* h);
void cleanup(TIFFHandle* h);

bool allocateState(TIFFHandle* h, const char* module) {
    auto* sp = static_cast<LZWState*>(memAlloc(sizeof(LZWState)));
    if (!sp) {
        errorExt(h, module, "No space for LZW state block");
        return false;
    }
    memFill(sp, 0, sizeof(LZWState));
    sp->table = nullptr;
    sp->hash = nullptr;
    sp->kind = kNone;
    sp->openMode = h->openMode;
    sp->prevCode = -1;
    h->codecState = sp;
    return true;
}

int setupDecode(TIFFHandle* h) {
    static const char module[] = " LZWSetupDecode";
    if (!h->codecState) {
        if (!allocateState(h, "LZWPreDecode")) return 0;
        predictorInit(h);
    }
    LZWState* sp = lzw(h);
    if (!sp->table) {
        sp->table = static_cast<CodeEntry*>(memAlloc(sizeof(CodeEntry) * kTableSize));
        if (!sp->table) {
            errorExt(h, module, "No space for LZW code table");
            return 0;
        }
        memFill(sp->table, 0, sizeof(CodeEntry) * kTableSize);
        for (int i = 0; i < 256; ++i) {
            sp->table[i].value = uint8_t(i);
            sp->table[i].firstChar = uint8_t(i);
            sp->table[i].length = 1;
            sp->table[i].next = -1;
        }
    }
    return 1;
}

int preDecode(TIFFHandle* h, uint16_t) {
    LZWState* sp = lzw(h);
    if (!sp || !sp->table) {
        if (!h->setupDecode(h)) return 0;
        sp = lzw(h);
    }
    bool oldStyle = h->rawCount >= 2 && h->rawCursor[0] == 0 && (h->rawCursor[1] & 0x1);
    if (sp->kind == kNone) {
        if (oldStyle) {
            warningExt(h, h->fileName, "Old-style LZW codes, convert file");
            h->decodeRow = decodeOld;
            h->decodeStrip = decodeOld;
            h->decodeTile = decodeOld;
            if (!h->setupDecode(h)) return 0;
            sp = lzw(h);
            sp->kind = kOldStyle;
        } else {
            sp->kind = kNewStyle;
        }
    }
    sp->nbits = kBitsMin;
    sp->nextBits = 0;
    sp->nextData = 0;
    sp->restart = 0;
    sp->mask = (1 << kBitsMin) - 1;
    sp->bitsLeft = h->rawCount * 8;
    sp->freeEntry = kCodeFirst;
    memFill(sp->table + kCodeFirst, 0, sizeof(CodeEntry) * (kTableSize - kCodeFirst));
    sp->oldCode = -1; // before entry 0: a strip that does not begin with Clear fails
    sp->maxCodeEntry = sp->mask - 1;
    return 1;
}

// Delivers the next characters of a string cut short by the previous call.
// Returns false when the request is used up.
bool deliverRestart(LZWState* sp, uint8_t*& op, int64_t& occ) {
    if (sp->restart == 0) return true;
    int32_t code = sp->restartCode;
    int64_t residue = int64_t(sp->table[code].length) - sp->restart;
    if (residue > occ) {
        // Skip the tail that a later call delivers, then write occ characters.
        sp->restart += occ;
        do {
            code = sp->table[code].next;
        } while (--residue > occ && code >= 0);
        if (code >= 0) {
            uint8_t* tp = op + occ;
            do {
                *--tp = sp->table[code].value;
                code = sp->table[code].next;
            } while (--occ && code >= 0);
        }
        occ = 0;
        return false;
    }
    op += residue;
    occ -= residue;
    uint8_t* tp = op;
    do {
        *--tp = sp->table[code].value;
        code = sp->table[code].next;
    } while (--residue && code >= 0);
    sp->restart = 0;
    return true;
}

template <bool OldStyle>
int decodeImpl(TIFFHandle* h, uint8_t* op, int64_t occ) {
    const char* name = OldStyle ? "LZWDecodeCompat" : "LZWDecode";
    LZWState* sp = lzw(h);
    if (!sp || !sp->table) return 0;
    if (!deliverRestart(sp, op, occ)) return 1;

    const uint8_t* bp = h->rawCursor;
    uint64_t nextData = sp->nextData;
    int nextBits = sp->nextBits;
    int nbits = sp->nbits;
    int mask = sp->mask;
    int32_t freeEntry = sp->freeEntry;
    int32_t maxCodeEntry = sp->maxCodeEntry;
    int32_t oldCode = sp->oldCode;
    CodeEntry* table = sp->table;

    auto getCode = [&]() -> int {
        if (sp->bitsLeft < nbits) {
            warningExt(h, h->fileName, "LZWDecode: Strip %d not terminated with EOI code", int(h->curStrip));
            return kCodeEOI;
        }
        int code;
        if (OldStyle) {
            nextData |= uint64_t(*bp++) << nextBits;
            nextBits += 8;
            if (nextBits < nbits) {
                nextData |= uint64_t(*bp++) << nextBits;
                nextBits += 8;
            }
            code = int(nextData & uint64_t(mask));
            nextData >>= nbits;
        } else {
            nextData = (nextData << 8) | *bp++;
            nextBits += 8;
            if (nextBits < nbits) {
                nextData = (nextData << 8) | *bp++;
                nextBits += 8;
            }
            code = int((nextData >> (nextBits - nbits)) & uint64_t(mask));
        }
        nextBits -= nbits;
        sp->bitsLeft -= nbits;
        return code;
    };

    while (occ > 0) {
        int code = getCode();
        if (code == kCodeEOI) break;
        if (code == kCodeClear) {
            freeEntry = kCodeFirst;
            memFill(table + kCodeFirst, 0, sizeof(CodeEntry) * (kTableSize - kCodeFirst));
            nbits = kBitsMin;
            mask = (1 << kBitsMin) - 1;
            maxCodeEntry = OldStyle ? mask : mask - 1;
            code = getCode();
            if (code == kCodeEOI) break;
            if (code == kCodeClear) {
                errorExt(h, h->fileName, "LZWDecode: Corrupted LZW table at scanline %d", int(h->curRow));
                return 0;
            }
            *op++ = uint8_t(code);
            occ--;
            oldCode = code;
            continue;
        }
        if (freeEntry < 0 || freeEntry >= kTableSize || oldCode < 0 || oldCode >= kTableSize) {
            errorExt(h, h->fileName, "%s: Corrupted LZW table at scanline %d", name, int(h->curRow));
            return 0;
        }
        CodeEntry& fresh = table[freeEntry];
        fresh.next = oldCode;
        fresh.firstChar = table[oldCode].firstChar;
        fresh.length = uint16_t(table[oldCode].length + 1);
        fresh.value = code < freeEntry ? table[code].firstChar : fresh.firstChar;
        if (++freeEntry > maxCodeEntry) {
            if (++nbits > kBitsMax) nbits = kBitsMax;
            mask = (1 << nbits) - 1;
            maxCodeEntry = OldStyle ? mask : mask - 1;
        }
        oldCode = code;
        if (code < 256) {
            *op++ = uint8_t(code);
            occ--;
            continue;
        }
        int32_t cp = code;
        int64_t length = table[cp].length;
        if (length == 0) {
            errorExt(h, h->fileName, "%s: Wrong length of decoded string: data probably corrupted at scanline %d",
                     name, int(h->curRow));
            return 0;
        }
        if (length > occ) {
            // The string does not fit: deliver its head now, the rest next call.
            sp->restartCode = cp;
            do {
                cp = table[cp].next;
            } while (cp >= 0 && table[cp].length > occ);
            if (cp >= 0) {
                sp->restart = occ;
                uint8_t* tp = op + occ;
                do {
                    *--tp = table[cp].value;
                    cp = table[cp].next;
                } while (--occ && cp >= 0);
                if (cp >= 0 && !OldStyle)
                    errorExt(h, h->fileName, "LZWDecode: Bogus encoding, loop in the code table; scanline %d",
                             int(h->curRow));
            }
            break;
        }
        uint8_t* tp = op + length;
        do {
            *--tp = table[cp].value;
            cp = table[cp].next;
        } while (cp >= 0 && tp > op);
        if (!OldStyle && cp >= 0) {
            errorExt(h, h->fileName, "LZWDecode: Bogus encoding, loop in the code table; scanline %d",
                     int(h->curRow));
            break;
        }
        op += length;
        occ -= length;
    }

    h->rawCount -= bp - h->rawCursor;
    h->rawCursor = const_cast<uint8_t*>(bp);
    sp->nbits = nbits;
    sp->nextData = nextData;
    sp->nextBits = nextBits;
    sp->mask = mask;
    sp->oldCode = oldCode;
    sp->freeEntry = freeEntry;
    sp->maxCodeEntry = maxCodeEntry;
    if (occ > 0) {
        errorExt(h, h->fileName, "%s: Not enough data at scanline %d (short %ld bytes)", name, int(h->curRow),
                 long(occ));
        return 0;
    }
    return 1;
}

int decodeNew(TIFFHandle* h, uint8_t* op, int64_t occ, uint16_t) { return decodeImpl<false>(h, op, occ); }
int decodeOld(TIFFHandle* h, uint8_t* op, int64_t occ, uint16_t) { return decodeImpl<true>(h, op, occ); }

int setupEncode(TIFFHandle* h) {
    LZWState* sp = lzw(h);
    if (!sp->hash) {
        sp->hash = static_cast<HashEntry*>(memAlloc(sizeof(HashEntry) * kHashSize));
        if (!sp->hash) {
            errorExt(h, "LZWSetupEncode", "No space for LZW hash table");
            return 0;
        }
    }
    return 1;
}

void clearHash(LZWState* sp) {
    for (int i = 0; i < kHashSize; ++i) sp->hash[i].key = -1;
}

int preEncode(TIFFHandle* h, uint16_t) {
    LZWState* sp = lzw(h);
    if (!sp->hash && !h->setupEncode(h)) return 0;
    sp = lzw(h);
    sp->nbits = kBitsMin;
    sp->maxCode = (1 << kBitsMin) - 1;
    sp->freeEnt = kCodeFirst;
    sp->nextBits = 0;
    sp->nextData = 0;
    sp->checkpoint = kCheckGap;
    sp->ratio = 0;
    sp->inCount = 0;
    sp->outCount = 0;
    sp->limit = h->rawData + h->rawDataSize - 5;
    clearHash(sp);
    sp->prevCode = -1;
    return 1;
}

void putCode(LZWState* sp, uint8_t*& op, int code) {
    sp->nextData = (sp->nextData << sp->nbits) | uint64_t(code);
    sp->nextBits += sp->nbits;
    *op++ = uint8_t(sp->nextData >> (sp->nextBits - 8));
    sp->nextBits -= 8;
    if (sp->nextBits >= 8) {
        *op++ = uint8_t(sp->nextData >> (sp->nextBits - 8));
        sp->nextBits -= 8;
    }
    sp->outCount += sp->nbits;
}

void restartTable(LZWState* sp, uint8_t*& op) {
    clearHash(sp);
    sp->ratio = 0;
    sp->inCount = 0;
    sp->outCount = 0;
    sp->freeEnt = kCodeFirst;
    putCode(sp, op, kCodeClear);
    sp->nbits = kBitsMin;
    sp->maxCode = (1 << kBitsMin) - 1;
}

// A failed flush of the raw buffer fails the encoding (-1).
int encode(TIFFHandle* h, uint8_t* bp, int64_t cc, uint16_t) {
    LZWState* sp = lzw(h);
    if (!sp || !sp->hash) return 0;
    uint8_t* op = h->rawCursor;
    int ent = sp->prevCode;
    if (ent == -1 && cc > 0) {
        putCode(sp, op, kCodeClear);
        ent = *bp++;
        cc--;
        sp->inCount++;
    }
    while (cc > 0) {
        int c = *bp++;
        cc--;
        sp->inCount++;
        int32_t key = (int32_t(c) << kBitsMax) + ent;
        int hi = (c << 5) ^ ent;
        if (sp->hash[hi].key == key) {
            ent = sp->hash[hi].code;
            continue;
        }
        bool found = false;
        if (sp->hash[hi].key >= 0) {
            int disp = hi == 0 ? 1 : kHashSize - hi;
            do {
                if ((hi -= disp) < 0) hi += kHashSize;
                if (sp->hash[hi].key == key) {
                    ent = sp->hash[hi].code;
                    found = true;
                    break;
                }
            } while (sp->hash[hi].key >= 0);
        }
        if (found) continue;
        if (op > sp->limit) {
            h->rawCount = op - h->rawData;
            if (!TIFFFlushRawBuffer(h)) return -1;
            op = h->rawData;
        }
        putCode(sp, op, ent);
        ent = c;
        sp->hash[hi].code = uint16_t(sp->freeEnt++);
        sp->hash[hi].key = key;
        if (sp->freeEnt == kCodeMax - 1) {
            restartTable(sp, op);
        } else if (sp->freeEnt > sp->maxCode) {
            sp->nbits++;
            sp->maxCode = (1 << sp->nbits) - 1;
        } else if (sp->inCount >= sp->checkpoint) {
            sp->checkpoint = sp->inCount + kCheckGap;
            int64_t rat;
            if (sp->inCount > 0x007FFFFF) {
                int64_t d = sp->outCount >> 8;
                rat = d == 0 ? 0x7FFFFFFF : sp->inCount / d;
            } else {
                rat = sp->outCount ? (sp->inCount << 8) / sp->outCount : 0x7FFFFFFF;
            }
            if (rat <= sp->ratio)
                restartTable(sp, op);
            else
                sp->ratio = rat;
        }
    }
    sp->prevCode = ent;
    h->rawCursor = op;
    return 1;
}

int postEncode(TIFFHandle* h) {
    LZWState* sp = lzw(h);
    uint8_t* op = h->rawCursor;
    if (op > sp->limit) {
        h->rawCount = op - h->rawData;
        if (!TIFFFlushRawBuffer(h)) return 0;
        op = h->rawData;
    }
    if (sp->prevCode != -1) {
        putCode(sp, op, sp->prevCode);
        sp->prevCode = -1;
    }
    putCode(sp, op, kCodeEOI);
    if (sp->nextBits > 0) *op++ = uint8_t(sp->nextData << (8 - sp->nextBits));
    h->rawCount = op - h->rawData;
    h->rawCursor = op;
    return 1;
}

void cleanup(TIFFHandle* h) {
    LZWState* sp = lzw(h);
    if (sp) {
        predictorCleanup(h);
        memFree(sp->table);
        memFree(sp->hash);
        memFree(sp);
        h->codecState = nullptr;
    }
    TIFFResetCodecMethods(h);
}

} // namespace

int TIFFInitLZW(TIFFHandle* h, int) {
    if (!allocateState(h, "TIFFInitLZW")) return 0;
    h->setupDecode = setupDecode;
    h->preDecode = preDecode;
    h->decodeRow = decodeNew;
    h->decodeStrip = decodeNew;
    h->decodeTile = decodeNew;
    h->setupEncode = setupEncode;
    h->preEncode = preEncode;
    h->postEncode = postEncode;
    h->encodeRow = encode;
    h->encodeStrip = encode;
    h->encodeTile = encode;
    h->cleanup = cleanup;
    predictorInit(h);
    return 1;
}

} // namespace vqtiff
