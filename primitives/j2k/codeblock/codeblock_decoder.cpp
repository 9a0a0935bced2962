// The code-block decoder: context set-up, the MQ decoder, the raw reader and
// the significance propagation, magnitude refinement and cleanup passes.
//
// State words: one 32-bit word per column per pair of rows; the low half
// describes row 2r, the high half row 2r + 1. Per coefficient (16 bits):
//   0-3 diagonal neighbours significant (lower-right, lower-left,
//       upper-right, upper-left), 4-7 lower, upper, right, left significant,
//   8 refined by an MQ refinement pass, 9-12 lower, upper, right, left
//   negative, 13 some neighbour significant, 14 visited, 15 significant.
#include "primitives/j2k/codeblock/codeblock_decoder.h"

#include <cstdint>
#include <cstring>

#include "primitives/core/block_kernels.h"
#include "primitives/core/prim_types.h"
#include "primitives/j2k/codeblock/mq_states.h"

namespace {

using vq_j2k_mq::kMq;
using vq_j2k_mq::MqState;

enum : uint32_t {
    kSigLowerRight = 1u << 0,
    kSigLowerLeft = 1u << 1,
    kSigUpperRight = 1u << 2,
    kSigUpperLeft = 1u << 3,
    kSigLower = 1u << 4,
    kSigUpper = 1u << 5,
    kSigRight = 1u << 6,
    kSigLeft = 1u << 7,
    kRefined = 1u << 8,
    kNegLower = 1u << 9,
    kNegUpper = 1u << 10,
    kNegRight = 1u << 11,
    kNegLeft = 1u << 12,
    kAnyNeighbour = 1u << 13,
    kVisited = 1u << 14,
    kSignificant = 1u << 15,
};

// Contexts: 0 uniform, 1 run-length, 2-10 zero coding, 11-15 sign, 16-18 refinement.
constexpr int kCtxUniform = 0, kCtxRunLength = 1;
constexpr int32_t kInitialStates[kCodeBlockContexts] = {46, 3, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};


// Lookup tables, built once.
struct Tables {
    uint8_t zeroCoding[3][256];  // 0 LL/LH, 1 HL, 2 HH
    uint32_t sign[512];          // context | xor bit << 31
    uint8_t refinement[512];

    Tables() {
        for (int s = 0; s < 256; ++s) {
            const int h = ((s & kSigRight) != 0) + ((s & kSigLeft) != 0);
            const int v = ((s & kSigLower) != 0) + ((s & kSigUpper) != 0);
            const int d = ((s & kSigLowerRight) != 0) + ((s & kSigLowerLeft) != 0) + ((s & kSigUpperRight) != 0) +
                          ((s & kSigUpperLeft) != 0);
            zeroCoding[0][s] = static_cast<uint8_t>(2 + HorizontalFirst(h, v, d));
            zeroCoding[1][s] = static_cast<uint8_t>(2 + HorizontalFirst(v, h, d));
            zeroCoding[2][s] = static_cast<uint8_t>(2 + Diagonal(h + v, d));
        }
        for (int i = 0; i < 512; ++i) {
            const uint32_t s = static_cast<uint32_t>(i) << 4;
            auto contribution = [&](uint32_t sig, uint32_t neg) { return (s & sig) ? ((s & neg) ? -1 : 1) : 0; };
            int hc = contribution(kSigRight, kNegRight) + contribution(kSigLeft, kNegLeft);
            int vc = contribution(kSigLower, kNegLower) + contribution(kSigUpper, kNegUpper);
            hc = hc > 1 ? 1 : hc < -1 ? -1 : hc;
            vc = vc > 1 ? 1 : vc < -1 ? -1 : vc;
            // The standard's sign contexts 9-13 with their XOR bits.
            int ctx;
            uint32_t x = 0;
            if (hc == 0) {
                ctx = vc == 0 ? 9 : 10;
                x = vc < 0;
            } else {
                ctx = vc == 0 ? 12 : (vc == hc ? 13 : 11);
                x = hc < 0;
            }
            sign[i] = static_cast<uint32_t>(ctx + 2) | (x << 31);
        }
        for (int s = 0; s < 512; ++s)
            refinement[s] = (s & kRefined) ? 18 : (s & 0xFF) ? 17 : 16;
    }
    static int HorizontalFirst(int h, int v, int d) {
        if (h == 2) return 8;
        if (h == 1) return v >= 1 ? 7 : d >= 1 ? 6 : 5;
        if (v == 2) return 4;
        if (v == 1) return 3;
        return d >= 2 ? 2 : d;
    }
    static int Diagonal(int hv, int d) {
        if (d >= 3) return 8;
        if (d == 2) return hv >= 1 ? 7 : 6;
        if (d == 1) return hv >= 2 ? 5 : hv == 1 ? 4 : 3;
        return hv >= 2 ? 2 : hv;
    }
};

const Tables& T() {
    static const Tables tables;
    return tables;
}

int32_t StateStride(int32_t width) { return (4 * width + 8 + 31) & ~31; }

// ---- MQ decoder ----

inline uint32_t MqByte(const CodeBlockDecoderContext* c, int32_t i) {
    return i < c->mqLength ? c->mqData[i] : 0xFFu;
}

void MqByteIn(CodeBlockDecoderContext* c) {
    if (c->markerReached) {
        c->CT = 8;
        return;
    }
    const uint32_t b = MqByte(c, c->mqPosition), b1 = MqByte(c, c->mqPosition + 1);
    if (b != 0xFF) {
        ++c->mqPosition;
        c->C += 0xFF00u - (b1 << 8);
        c->CT = 8;
    } else if (b1 > 0x8F) {
        c->markerReached = 1;
        c->CT = 8;
    } else {
        ++c->mqPosition;
        c->C += 0xFE00u - (b1 << 9);
        c->CT = 7;
    }
}

void MqStart(CodeBlockDecoderContext* c, const uint8_t* data, int32_t length) {
    c->mqData = data;
    c->mqLength = length;
    c->mqPosition = 0;
    c->markerReached = 0;
    const uint32_t b = MqByte(c, 0), b1 = MqByte(c, 1);
    c->C = (b ^ 0xFFu) << 16;
    if (b != 0xFF) {
        c->mqPosition = 1;
        c->C += 0xFF00u - (b1 << 8);
        c->CT = 8;
    } else if (b1 <= 0x8F) {
        c->mqPosition = 1;
        c->C += 0xFE00u - (b1 << 9);
        c->CT = 7;
    } else {
        c->markerReached = 1;
        c->CT = 8;
    }
    c->A = 0x8000;
    c->C <<= 7;
    c->CT -= 7;
}

int MqDecide(CodeBlockDecoderContext* c, int cx) {
    int32_t& state = c->contextState[cx];
    int32_t& mps = c->contextMps[cx];
    const MqState& q = kMq[state];
    c->A -= q.qe;
    int d;
    if ((c->C >> 16) < c->A) {
        if (c->A & 0x8000)
            return mps;
        if (c->A < q.qe) {
            d = 1 - mps;
            if (q.sw)
                mps = 1 - mps;
            state = static_cast<int32_t>(q.nlps);
        } else {
            d = mps;
            state = static_cast<int32_t>(q.nmps);
        }
    } else {
        c->C -= c->A << 16;
        if (c->A < q.qe) {
            d = mps;
            state = static_cast<int32_t>(q.nmps);
        } else {
            d = 1 - mps;
            if (q.sw)
                mps = 1 - mps;
            state = static_cast<int32_t>(q.nlps);
        }
        c->A = q.qe;
    }
    do {
        if (c->CT == 0)
            MqByteIn(c);
        c->A <<= 1;
        c->C <<= 1;
        --c->CT;
    } while (!(c->A & 0x8000));
    return d;
}

// Predictable termination of the segment just decoded.
bool MqTerminationOk(const CodeBlockDecoderContext* c) {
    const uint32_t b = MqByte(c, c->mqPosition);
    int32_t t = c->CT;
    if (b != 0xFF && !c->markerReached)
        return false;
    if (t != 0) {
        if (!c->markerReached)
            return false;
        if (t == 1)
            return true;
    }
    if (t == 0 && !c->markerReached && MqByte(c, c->mqPosition + 1) <= 0x8F)
        return false;
    if (t == 0)
        t = 8;
    return c->A - (0x8000u >> (t - 1)) <= (c->C >> 16);
}

void ResetContexts(CodeBlockDecoderContext* c) {
    std::memcpy(c->contextState, kInitialStates, sizeof kInitialStates);
    std::memset(c->contextMps, 0, sizeof c->contextMps);
}

// ---- raw reader ----

void RawStart(CodeBlockDecoderContext* c, const uint8_t* data, int32_t length) {
    c->rawData = data;
    c->rawLength = length;
    c->rawPosition = 0;
    c->rawBitIndex = -1;
    c->rawByte = 0;
}

int RawBit(CodeBlockDecoderContext* c) {
    if (c->rawBitIndex < 0) {
        c->rawBitIndex = c->rawByte == 0xFF ? 6 : 7;
        c->rawByte = c->rawPosition < c->rawLength ? c->rawData[c->rawPosition] : 0xFF;
        ++c->rawPosition;
    }
    return (c->rawByte >> c->rawBitIndex--) & 1;
}

// The unread bits of the current byte must read 0, 1, 0, 1, ...
bool RawTerminationOk(const CodeBlockDecoderContext* c) {
    const int32_t bi = c->rawBitIndex;
    if (bi < 0)
        return true;
    const uint32_t mask = (1u << (bi + 1)) - 1;
    return (c->rawByte & mask) == (0x55u >> (7 - bi));
}

// ---- coefficients and states ----

struct Block {
    CodeBlockDecoderContext* c;
    uint8_t* coef;
    int32_t step;
    uint8_t* states;  // first state row (below the guard row), first column (after the guard)
    int32_t stride;

    explicit Block(CodeBlockDecoderContext* ctx)
        : c(ctx), coef(reinterpret_cast<uint8_t*>(ctx->coefficients)), step(ctx->rowStep),
          states(reinterpret_cast<uint8_t*>(ctx->stateArea) + ctx->stateStride + 4), stride(ctx->stateStride) {}

    uint32_t* Word(int32_t x, int32_t y) const {
        return reinterpret_cast<uint32_t*>(states + static_cast<intptr_t>(y >> 1) * stride + 4 * x);
    }
    uint32_t State(int32_t x, int32_t y) const { return (*Word(x, y) >> ((y & 1) * 16)) & 0xFFFF; }
    void Set(int32_t x, int32_t y, uint32_t bits) const { *Word(x, y) |= bits << ((y & 1) * 16); }
    void Clear(int32_t x, int32_t y, uint32_t bits) const { *Word(x, y) &= ~(bits << ((y & 1) * 16)); }
    uint32_t& Coef(int32_t x, int32_t y) const {
        return *reinterpret_cast<uint32_t*>(coef + static_cast<intptr_t>(y) * step + 4 * x);
    }

    void MakeSignificant(int32_t x, int32_t y, uint32_t negative) const {
        Coef(x, y) = (negative << 31) | c->significanceValue;
        Set(x, y, kSignificant | kVisited);
        const bool causal = (c->modeFlags & cbdVerticalCausal) && (y & 3) == 0;
        Set(x, y + 1, kAnyNeighbour | kSigUpper | (negative ? uint32_t(kNegUpper) : 0u));
        Set(x + 1, y + 1, kAnyNeighbour | kSigUpperLeft);
        Set(x - 1, y + 1, kAnyNeighbour | kSigUpperRight);
        Set(x + 1, y, kAnyNeighbour | kSigLeft | (negative ? uint32_t(kNegLeft) : 0u));
        Set(x - 1, y, kAnyNeighbour | kSigRight | (negative ? uint32_t(kNegRight) : 0u));
        if (!causal) {
            Set(x, y - 1, kAnyNeighbour | kSigLower | (negative ? uint32_t(kNegLower) : 0u));
            Set(x + 1, y - 1, kAnyNeighbour | kSigLowerLeft);
            Set(x - 1, y - 1, kAnyNeighbour | kSigLowerRight);
        }
    }

    void Refine(int32_t x, int32_t y, uint32_t bit) const {
        uint32_t& v = Coef(x, y);
        const uint32_t mag = v & 0x7FFFFFFFu;
        v = (v & 0x80000000u) | (mag & c->higherMask) | (bit ? c->planeBit : 0) | c->halfStep;
    }
};

void SetPlaneValues(CodeBlockDecoderContext* c) {
    const int32_t p = c->bitPlane;
    c->planeBit = 1u << p;
    c->significanceValue = (3u << p) >> 1;
    c->halfStep = (1u << p) >> 1;
    c->higherMask = p >= 31 ? 0 : ~0u << (p + 1);
}

int DecodeSign(CodeBlockDecoderContext* c, uint32_t state) {
    const uint32_t e = T().sign[(state >> 4) & 0x1FF];
    return MqDecide(c, static_cast<int>(e & 0xF)) ^ static_cast<int>(e >> 31);
}

template <class F>
void ForEachInScanOrder(const CodeBlockDecoderContext* c, F&& f) {
    for (int32_t y0 = 0; y0 < c->height; y0 += 4) {
        const int32_t y1 = y0 + 4 < c->height ? y0 + 4 : c->height;
        for (int32_t x = 0; x < c->width; ++x)
            for (int32_t y = y0; y < y1; ++y)
                f(x, y);
    }
}

void SignificancePass(CodeBlockDecoderContext* c, bool raw) {
    SetPlaneValues(c);
    const Block b(c);
    ForEachInScanOrder(c, [&](int32_t x, int32_t y) {
        const uint32_t s = b.State(x, y);
        if ((s & kSignificant) || !(s & kAnyNeighbour))
            return;
        const int bit = raw ? RawBit(c) : MqDecide(c, c->zeroCodingTable[s & 0xFF]);
        if (bit) {
            const int negative = raw ? RawBit(c) : DecodeSign(c, s);
            b.MakeSignificant(x, y, static_cast<uint32_t>(negative));
        } else {
            b.Set(x, y, kVisited);
        }
    });
}

void RefinementPass(CodeBlockDecoderContext* c, bool raw) {
    SetPlaneValues(c);
    const Block b(c);
    ForEachInScanOrder(c, [&](int32_t x, int32_t y) {
        const uint32_t s = b.State(x, y);
        if ((s & (kSignificant | kVisited)) != kSignificant)
            return;
        const int bit = raw ? RawBit(c) : MqDecide(c, T().refinement[s & 0x1FF]);
        b.Refine(x, y, static_cast<uint32_t>(bit));
        if (!raw)
            b.Set(x, y, kRefined);
    });
}

// Returns the four segmentation decisions (0 without flag 0x10).
uint32_t CleanupPass(CodeBlockDecoderContext* c) {
    SetPlaneValues(c);
    const Block b(c);
    for (int32_t y0 = 0; y0 < c->height; y0 += 4) {
        const int32_t y1 = y0 + 4 < c->height ? y0 + 4 : c->height;
        for (int32_t x = 0; x < c->width; ++x) {
            int32_t y = y0;
            if (y1 - y0 == 4 && *b.Word(x, y0) == 0 && *b.Word(x, y0 + 2) == 0) {
                if (!MqDecide(c, kCtxRunLength))
                    continue;  // the four stay insignificant; no visited bits were set
                int32_t r = MqDecide(c, kCtxUniform) << 1;
                r |= MqDecide(c, kCtxUniform);
                y = y0 + r;
                b.MakeSignificant(x, y, static_cast<uint32_t>(DecodeSign(c, b.State(x, y))));
                ++y;
            }
            for (; y < y1; ++y) {
                const uint32_t s = b.State(x, y);
                if (s & (kSignificant | kVisited))
                    continue;
                if (MqDecide(c, c->zeroCodingTable[s & 0xFF]))
                    b.MakeSignificant(x, y, static_cast<uint32_t>(DecodeSign(c, s)));
            }
            for (y = y0; y < y1; ++y)
                b.Clear(x, y, kVisited);
        }
    }
    uint32_t symbol = 0;
    if (c->modeFlags & cbdSegmentSymbol)
        for (int i = 0; i < 4; ++i)
            symbol = (symbol << 1) | static_cast<uint32_t>(MqDecide(c, kCtxUniform));
    return symbol;
}

// End of an MQ pass: the termination check when it applies, the segmentation
// symbol of a cleanup pass otherwise, then the context reset. True on success.
bool EndMqPass(CodeBlockDecoderContext* c, bool check, bool cleanup, uint32_t symbol) {
    bool ok = true;
    if (check)
        ok = MqTerminationOk(c);
    else if (cleanup && (c->modeFlags & cbdSegmentSymbol))
        ok = symbol == 0xA;
    if (c->modeFlags & cbdResetContexts)
        ResetContexts(c);
    return ok;
}

bool MqCleanup(CodeBlockDecoderContext* c, bool check) {
    const uint32_t symbol = CleanupPass(c);
    return EndMqPass(c, check, true, symbol);
}

bool MqSignificance(CodeBlockDecoderContext* c, bool check) {
    SignificancePass(c, false);
    return EndMqPass(c, check, false, 0);
}

bool MqRefinement(CodeBlockDecoderContext* c, bool check) {
    RefinementPass(c, false);
    return EndMqPass(c, check, false, 0);
}

CodeBlockDecoderContext* Checked(void* context, int32_t* status) {
    auto* c = static_cast<CodeBlockDecoderContext*>(context);
    if (!c) {
        *status = primErrNullPtr;
        return nullptr;
    }
    if (c->magic != kCodeBlockDecoderMagic) {
        *status = primErrContextMatch;
        return nullptr;
    }
    return c;
}

// One pass under termination on each pass.
bool DecodeOnePass(CodeBlockDecoderContext* c, const uint8_t* data, int32_t length) {
    const bool check = (c->modeFlags & cbdPredictableTerm) != 0;
    bool ok;
    switch (c->passState) {
    case 1:
        MqStart(c, data, length);
        ok = MqRefinement(c, check);
        c->passState = 0;
        break;
    case 2:
        MqStart(c, data, length);
        ok = MqSignificance(c, check);
        c->passState = 1;
        break;
    case 3:
        MqStart(c, data, length);
        ok = MqCleanup(c, check);
        if (ok) {
            --c->bitPlane;
            c->passState = 5;
        }
        break;
    case 4:
        RawStart(c, data, length);
        RefinementPass(c, true);
        ok = RawTerminationOk(c);
        c->passState = 3;
        break;
    case 5:
        RawStart(c, data, length);
        SignificancePass(c, true);
        ok = RawTerminationOk(c);
        c->passState = 4;
        break;
    default:
        MqStart(c, data, length);
        ok = MqCleanup(c, check);
        if (ok) {
            --c->bitPlane;
            c->passState = c->bitPlane < c->bypassThreshold ? 5 : 2;
        }
        break;
    }
    --c->passesLeft;
    return ok;
}

// The passes of one codeword segment, within the passes left.
bool DecodeSegment(CodeBlockDecoderContext* c, const uint8_t* data, int32_t length) {
    const bool predictable = (c->modeFlags & cbdPredictableTerm) != 0;
    if (c->passState == 3) {
        MqStart(c, data, length);
        if (!MqCleanup(c, predictable))
            return false;
        if (--c->passesLeft > 0) {
            --c->bitPlane;
            c->passState = 5;
        }
        return true;
    }
    if (c->passState == 5) {
        RawStart(c, data, length);
        SignificancePass(c, true);
        if (--c->passesLeft <= 0)
            return true;
        RefinementPass(c, true);
        if (!RawTerminationOk(c))
            return false;
        c->passState = 3;
        --c->passesLeft;
        return true;
    }
    MqStart(c, data, length);
    for (;;) {
        if (!MqCleanup(c, predictable && c->bitPlane == c->bypassThreshold))
            return false;
        --c->passesLeft;
        if (c->bitPlane > c->bypassThreshold) {
            if (c->passesLeft <= 0)
                return true;
            --c->bitPlane;
            if (!MqSignificance(c, false))
                return false;
            if (--c->passesLeft <= 0)
                return true;
            if (!MqRefinement(c, false))
                return false;
            if (--c->passesLeft <= 0)
                return true;
            continue;
        }
        if (c->passesLeft > 0) {
            --c->bitPlane;
            c->passState = 5;
        }
        return true;
    }
}

} // namespace

namespace prim::generic {

int32_t codeBlockDecoderGetSize(int32_t width, int32_t height, int32_t* size) {
    if (height <= 0 || width <= 0)
        return primErrSize;
    if (!size)
        return primErrNullPtr;
    const int64_t bytes = int64_t(StateStride(width)) * ((height + 1) / 2 + 2) + kCodeBlockDecoderFixedBytes;
    if (bytes > INT32_MAX)
        return primErrSize;
    *size = static_cast<int32_t>(bytes);
    return primNoErr;
}

int32_t codeBlockDecoderInit(void* memory) {
    if (!memory)
        return primErrNullPtr;
    auto* c = static_cast<CodeBlockDecoderContext*>(memory);
    c->magic = kCodeBlockDecoderMagic;
    const uintptr_t end = reinterpret_cast<uintptr_t>(c + 1);
    c->alignedStateArea = reinterpret_cast<uint32_t*>((end + 31) & ~uintptr_t(31));
    c->attached = 0;
    return primNoErr;
}

int32_t codeBlockDecoderAttach(int32_t* coefficients, int32_t rowStep, int32_t width, int32_t height, void* context,
                               int32_t bandKind, int32_t nbp, uint32_t flags) {
    int32_t status = primNoErr;
    CodeBlockDecoderContext* c = Checked(context, &status);
    if (!c)
        return status;
    if (!coefficients)
        return primErrNullPtr;
    if (rowStep <= 0)
        return primErrStep;
    if (height <= 0 || width <= 0)
        return primErrSize;
    c->coefficients = coefficients;
    c->width = width;
    c->height = height;
    c->rowStep = rowStep;
    c->modeFlags = flags;
    if (!(flags & cbdKeepCoefficients))
        for (int32_t y = 0; y < height; ++y)
            zeroVector8u(reinterpret_cast<uint8_t*>(coefficients) + static_cast<intptr_t>(y) * rowStep, 4 * width);
    c->stateArea = c->alignedStateArea;
    c->stateStride = StateStride(width);
    if (!(flags & cbdKeepStates))
        for (int32_t r = 0; r < (height + 1) / 2 + 2; ++r)
            zeroVector8u(reinterpret_cast<uint8_t*>(c->stateArea) + static_cast<intptr_t>(r) * c->stateStride,
                         4 * width + 8);
    ResetContexts(c);
    c->stripeStep = 4 * rowStep;
    const int32_t s = c->stateStride;
    const int32_t offsets[6] = {-s, s, -s - 4, -s + 4, s - 4, s + 4};
    std::memcpy(c->neighbourOffsets, offsets, sizeof offsets);
    c->zeroCodingTable = T().zeroCoding[bandKind == 2 ? 1 : bandKind == 3 ? 2 : 0];
    c->bypassThreshold = (flags & cbdBypass) && nbp - 4 > 0 ? nbp - 4 : 0;
    c->bitPlane = nbp - 1;
    c->passState = 0;
    c->passesLeft = 0;
    c->failed = 0;
    c->attached = 1;
    return primNoErr;
}

int32_t codeBlockDecoderSetPassCount(int32_t passes, void* context) {
    int32_t status = primNoErr;
    CodeBlockDecoderContext* c = Checked(context, &status);
    if (!c)
        return status;
    c->passesLeft = passes;
    return primNoErr;
}

int32_t codeBlockDecoderGetPassCount(const void* context, int32_t* passes) {
    if (!context || !passes)
        return primErrNullPtr;
    int32_t status = primNoErr;
    const CodeBlockDecoderContext* c = Checked(const_cast<void*>(context), &status);
    if (!c)
        return status;
    *passes = c->passesLeft;
    return primNoErr;
}

int32_t codeBlockDecoderDecodePass(const uint8_t* data, int32_t length, void* context) {
    if (!data || !context)
        return primErrNullPtr;
    int32_t status = primNoErr;
    CodeBlockDecoderContext* c = Checked(context, &status);
    if (!c)
        return status;
    if (!c->attached)
        return primErrCodeBlockNotAttached;
    if (c->failed)
        return primErrCodeBlockData;
    if (c->passesLeft <= 0 || c->bitPlane < 0)
        return primNoErr;
    if (length < 0)
        length = 0;
    const bool ok = (c->modeFlags & cbdTermAll) ? DecodeOnePass(c, data, length) : DecodeSegment(c, data, length);
    if (!ok) {
        c->failed = 1;
        return primErrCodeBlockData;
    }
    return primNoErr;
}

} // namespace prim::generic

const CodeBlockDecoderGetSizeFn codeBlockDecoderGetSizeTable[6] = VQ_ONE_BODY(prim::generic::codeBlockDecoderGetSize);
const CodeBlockDecoderInitFn codeBlockDecoderInitTable[6] = VQ_ONE_BODY(prim::generic::codeBlockDecoderInit);
const CodeBlockDecoderAttachFn codeBlockDecoderAttachTable[6] = VQ_ONE_BODY(prim::generic::codeBlockDecoderAttach);
const CodeBlockDecoderSetPassCountFn codeBlockDecoderSetPassCountTable[6] =
    VQ_ONE_BODY(prim::generic::codeBlockDecoderSetPassCount);
const CodeBlockDecoderGetPassCountFn codeBlockDecoderGetPassCountTable[6] =
    VQ_ONE_BODY(prim::generic::codeBlockDecoderGetPassCount);
const CodeBlockDecoderDecodePassFn codeBlockDecoderDecodePassTable[6] =
    VQ_ONE_BODY(prim::generic::codeBlockDecoderDecodePass);

int32_t codeBlockDecoderGetSize(int32_t width, int32_t height, int32_t* size) {
    return VQ_DISPATCH(codeBlockDecoderGetSizeTable)(width, height, size);
}
int32_t codeBlockDecoderInit(void* memory) { return VQ_DISPATCH(codeBlockDecoderInitTable)(memory); }
int32_t codeBlockDecoderAttach(int32_t* coefficients, int32_t rowStep, int32_t width, int32_t height, void* context,
                               int32_t bandKind, int32_t nbp, uint32_t flags) {
    return VQ_DISPATCH(codeBlockDecoderAttachTable)(coefficients, rowStep, width, height, context, bandKind, nbp,
                                                     flags);
}
int32_t codeBlockDecoderSetPassCount(int32_t passes, void* context) {
    return VQ_DISPATCH(codeBlockDecoderSetPassCountTable)(passes, context);
}
int32_t codeBlockDecoderGetPassCount(const void* context, int32_t* passes) {
    return VQ_DISPATCH(codeBlockDecoderGetPassCountTable)(context, passes);
}
int32_t codeBlockDecoderDecodePass(const uint8_t* data, int32_t length, void* context) {
    return VQ_DISPATCH(codeBlockDecoderDecodePassTable)(data, length, context);
}
