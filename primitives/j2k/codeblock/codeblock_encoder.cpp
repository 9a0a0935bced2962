// Tier-1 code-block encoder: bit-plane modelling into recorded decisions,
// then MQ and raw coding of the recorded passes with segment termination and
// per-pass truncation lengths.
#include "primitives/j2k/codeblock/codeblock_encoder.h"

#include <cmath>
#include <cstring>

#include "primitives/core/memory.h"
#include "primitives/j2k/codeblock/codeblock_encoder_context.h"
#include "primitives/j2k/codeblock/mq_states.h"

namespace {

using vq_j2k_mq::kMq;
using vq_j2k_mq::MqState;

// Flag bits of a sample.
constexpr uint16_t kSig = 1u << 15;
constexpr uint16_t kVisited = 1u << 14;
constexpr uint16_t kNeighbour = 1u << 13;
constexpr uint16_t kRefined = 1u << 8;

// Decisions recorded per column of a stripe of four rows, with room for every
// plane of a 31-plane block.
constexpr int64_t kDecisionsPerStripeColumn = 1090;


// Lookup tables indexed by flag bits.
struct Tables {
    uint8_t zeroCoding[3][256];  // LL and LH, HL, HH: context 2..10 from bits 0-7
    uint32_t sign[512];          // bits 4-12: context 11..15, bit 31 the XOR bit
    uint8_t refinement[512];     // bits 0-8: context 16..18
    int32_t sigNormal[64], sigExact[64], refNormal[128], refExact[128];

    Tables() {
        for (int f = 0; f < 256; ++f) {
            const int d = (f & 1) + ((f >> 1) & 1) + ((f >> 2) & 1) + ((f >> 3) & 1);
            const int v = ((f >> 4) & 1) + ((f >> 5) & 1);
            const int h = ((f >> 6) & 1) + ((f >> 7) & 1);
            zeroCoding[0][f] = uint8_t(2 + HorizontalFirst(h, v, d));
            zeroCoding[1][f] = uint8_t(2 + HorizontalFirst(v, h, d));
            zeroCoding[2][f] = uint8_t(2 + Diagonal(h + v, d));
        }
        for (int i = 0; i < 512; ++i) {
            const int f = i << 4;
            const int hc = Contribution(f, 1 << 6, 1 << 11) + Contribution(f, 1 << 7, 1 << 12);
            const int vc = Contribution(f, 1 << 4, 1 << 9) + Contribution(f, 1 << 5, 1 << 10);
            const int H = hc > 0 ? 1 : hc < 0 ? -1 : 0, V = vc > 0 ? 1 : vc < 0 ? -1 : 0;
            int ctx, x;
            if (H == 0) {
                ctx = V == 0 ? 9 : 10;
                x = V < 0;
            } else {
                ctx = V == 0 ? 12 : (V == H ? 13 : 11);
                x = H < 0;
            }
            sign[i] = uint32_t(ctx + 2) | (uint32_t(x) << 31);
        }
        for (int i = 0; i < 512; ++i)
            refinement[i] = uint8_t((i & 0x100) ? 18 : (i & 0xFF) ? 17 : 16);
        for (int i = 0; i < 64; ++i) {
            sigNormal[i] = 6144 + 384 * i;
            sigExact[i] = 8192 + 256 * i + 2 * i * i;
        }
        for (int i = 0; i < 128; ++i) {
            refNormal[i] = i < 64 ? 6144 - 128 * i : 128 * i - 10240;
            refExact[i] = 2 * (i - 64) * (i - 64);
        }
    }
    static int HorizontalFirst(int h, int v, int d) {
        if (h == 2)
            return 8;
        if (h == 1)
            return v ? 7 : d ? 6 : 5;
        return v == 2 ? 4 : v == 1 ? 3 : d >= 2 ? 2 : d;
    }
    static int Diagonal(int hv, int d) {
        if (d >= 3)
            return 8;
        if (d == 2)
            return hv ? 7 : 6;
        if (d == 1)
            return hv >= 2 ? 5 : hv == 1 ? 4 : 3;
        return hv >= 2 ? 2 : hv;
    }
    // +1 for a significant positive neighbour, -1 for a negative one.
    static int Contribution(int f, int sig, int neg) { return (f & sig) ? ((f & neg) ? -1 : 1) : 0; }
};
const Tables& T() {
    static const Tables t;
    return t;
}

void ResetContexts(CodeBlockEncoderState* s) {
    for (int i = 0; i < kCodeBlockEncoderContexts; ++i) {
        s->contextState[i] = 0;
        s->contextMps[i] = 0;
    }
    s->contextState[0] = 46;
    s->contextState[1] = 3;
    s->contextState[2] = 4;
}

void InitRegisters(CodeBlockEncoderState* s) {
    s->A = 0x8000;
    s->C = 0;
    s->CT = 12;
    s->B = 0;
    s->byteOuts = 0;
    s->queueFill = s->queueRead = 0;
    s->discardFirst = 1;
}

CodeBlockEncoderContext* Checked(CodeBlockEncoderContext* c, int32_t* status) {
    if (!c) {
        *status = primErrNullPtr;
        return nullptr;
    }
    if (c->magic != kCodeBlockEncoderMagic) {
        *status = primErrContextMatch;
        return nullptr;
    }
    return c;
}

// ---- Modelling ----

class Model {
public:
    Model(CodeBlockEncoderContext* c, const int32_t* coefficients, int32_t step, int32_t w, int32_t h,
          int32_t bandKind, uint32_t mode)
        : c_(c), s_(c->state), base_(reinterpret_cast<const uint8_t*>(coefficients)), step_(step), w_(w), h_(h),
          stride_(w + 2), causal_((mode & cbeVerticalCausal) != 0), segmentSymbol_((mode & cbeSegmentSymbol) != 0),
          zc_(T().zeroCoding[bandKind == 2 ? 1 : bandKind == 3 ? 2 : 0]) {}

    uint32_t Word(int x, int y) const {
        return reinterpret_cast<const uint32_t*>(base_ + static_cast<intptr_t>(y) * step_)[x];
    }
    uint16_t& F(int x, int y) { return c_->flags[(y + 1) * stride_ + x + 1]; }

    void BeginPass(int p, bool refinementPass) {
        c_->indexRightShift = p > 6 ? p - 6 : 0;
        c_->indexLeftShift = p < 6 ? 6 - p : 0;
        const bool exact = c_->exactLastPlane && p == c_->lowestPlane;
        const Tables& t = T();
        if (refinementPass) {
            c_->distortionTable = exact ? t.refExact : t.refNormal;
            c_->tableMask = 127;
        } else {
            c_->distortionTable = exact ? t.sigExact : t.sigNormal;
            c_->tableMask = 63;
        }
    }
    void EndPass(bool raw) {
        const int k = c_->recordedPasses;
        s_->decisionsPerPass[k] = s_->decisionsRecorded - s_->passStart;
        s_->passStart = s_->decisionsRecorded;
        s_->rawPerPass[k] = raw ? 1 : 0;
        c_->passExponent[k] = c_->currentExponent;
        ++c_->recordedPasses;
        ++s_->passCount;
        c_->passDistortion[k + 1] = 0;
    }

    void Significance(int p, bool raw) {
        BeginPass(p, false);
        for (int y0 = 0; y0 < h_; y0 += 4)
            for (int x = 0; x < w_; ++x)
                for (int y = y0; y < y0 + 4 && y < h_; ++y) {
                    uint16_t& f = F(x, y);
                    if ((f & kSig) || !(f & kNeighbour))
                        continue;
                    const uint32_t word = Word(x, y);
                    const int bit = (word >> p) & 1;
                    if (raw)
                        RecordRaw(bit);
                    else
                        Record(bit, zc_[f & 0xFF]);
                    if (bit)
                        BecomeSignificant(x, y, word, raw);
                    else
                        f |= kVisited;
                }
        EndPass(raw);
    }

    void Refinement(int p, bool raw) {
        BeginPass(p, true);
        for (int y0 = 0; y0 < h_; y0 += 4)
            for (int x = 0; x < w_; ++x)
                for (int y = y0; y < y0 + 4 && y < h_; ++y) {
                    uint16_t& f = F(x, y);
                    if ((f & (kSig | kVisited)) != kSig)
                        continue;
                    const uint32_t word = Word(x, y);
                    const int bit = (word >> p) & 1;
                    if (raw) {
                        RecordRaw(bit);
                    } else {
                        Record(bit, T().refinement[f & 0x1FF]);
                        f |= kRefined;
                    }
                    AddDistortion(word);
                }
        EndPass(raw);
    }

    void Cleanup(int p) {
        BeginPass(p, false);
        for (int y0 = 0; y0 < h_; y0 += 4) {
            const int rows = h_ - y0 < 4 ? h_ - y0 : 4;
            for (int x = 0; x < w_; ++x) {
                int first = 0;
                if (rows == 4 && !F(x, y0) && !F(x, y0 + 1) && !F(x, y0 + 2) && !F(x, y0 + 3)) {
                    int r = 0;
                    while (r < 4 && !((Word(x, y0 + r) >> p) & 1))
                        ++r;
                    if (r == 4) {
                        Record(0, 1);
                        continue;
                    }
                    Record(1, 1);
                    Record(r >> 1, 0);
                    Record(r & 1, 0);
                    BecomeSignificant(x, y0 + r, Word(x, y0 + r), false);
                    first = r + 1;
                }
                for (int y = y0 + first; y < y0 + rows; ++y) {
                    const uint16_t f = F(x, y);
                    if (f & (kSig | kVisited))
                        continue;
                    const uint32_t word = Word(x, y);
                    const int bit = (word >> p) & 1;
                    Record(bit, zc_[f & 0xFF]);
                    if (bit)
                        BecomeSignificant(x, y, word, false);
                }
                for (int y = y0; y < y0 + rows; ++y)
                    F(x, y) &= uint16_t(~kVisited);
            }
        }
        if (segmentSymbol_) {
            Record(1, 0);
            Record(0, 0);
            Record(1, 0);
            Record(0, 0);
        }
        EndPass(false);
    }

private:
    void Record(int v, int ctx) {
        s_->decisionBuffer[s_->decisionsRecorded] = uint8_t(v);
        s_->contextBuffer[s_->decisionsRecorded] = uint8_t(ctx);
        ++s_->decisionsRecorded;
    }
    void RecordRaw(int v) { s_->decisionBuffer[s_->decisionsRecorded++] = uint8_t(v); }

    int32_t Index(uint32_t word) const {
        return ((int32_t(word) >> c_->indexRightShift) << c_->indexLeftShift) & int32_t(c_->tableMask);
    }
    void AddDistortion(uint32_t word) { c_->passDistortion[c_->recordedPasses] += c_->distortionTable[Index(word)]; }

    // Codes the sign of a sample whose bit at the plane is 1, adds its
    // distortion and updates its own and its neighbours' flags.
    void BecomeSignificant(int x, int y, uint32_t word, bool raw) {
        const int neg = int(word >> 31);
        if (raw) {
            RecordRaw(neg);
        } else {
            const uint32_t e = T().sign[(F(x, y) >> 4) & 0x1FF];
            Record(neg ^ int(e >> 31), int(e & 15));
        }
        AddDistortion(word);
        F(x, y) |= kSig | kVisited;
        const uint16_t n = kNeighbour;
        if (!(causal_ && (y & 3) == 0)) {
            F(x, y - 1) |= uint16_t(n | (1u << 4) | (neg ? 1u << 9 : 0));
            F(x - 1, y - 1) |= uint16_t(n | (1u << 0));
            F(x + 1, y - 1) |= uint16_t(n | (1u << 1));
        }
        F(x, y + 1) |= uint16_t(n | (1u << 5) | (neg ? 1u << 10 : 0));
        F(x - 1, y + 1) |= uint16_t(n | (1u << 2));
        F(x + 1, y + 1) |= uint16_t(n | (1u << 3));
        F(x - 1, y) |= uint16_t(n | (1u << 6) | (neg ? 1u << 11 : 0));
        F(x + 1, y) |= uint16_t(n | (1u << 7) | (neg ? 1u << 12 : 0));
    }

    CodeBlockEncoderContext* c_;
    CodeBlockEncoderState* s_;
    const uint8_t* base_;
    int32_t step_;
    int w_, h_, stride_;
    bool causal_, segmentSymbol_;
    const uint8_t* zc_;
};

// ---- Coding ----

class Coder {
public:
    explicit Coder(CodeBlockEncoderContext* c) : c_(c), s_(c->state) {}

    // Puts an MQ byte into the queue; the placeholder before a segment is
    // dropped instead.
    void Emit(uint32_t b) {
        if (s_->discardFirst) {
            s_->discardFirst = 0;
            return;
        }
        Queue(b);
    }

    // Puts a byte into the queue, counted for the current pass. A 0xFF that
    // ends an earlier pass's length shortens that length by one.
    void Queue(uint32_t b) {
        const int32_t position = s_->bytesBeforePass + s_->bytesInPass;
        s_->queue[s_->queueFill++] = uint8_t(b);
        ++s_->bytesInPass;
        s_->lastEmitted = b & 0xFF;
        if ((b & 0xFF) == 0xFF)
            for (int32_t k = 0; k < s_->currentPass; ++k)
                if (s_->passLength[k] == position + 1)
                    --s_->passLength[k];
    }

    void ByteOut() {
        ++s_->byteOuts;
        if (s_->B == 0xFF) {
            Emit(s_->B);
            s_->B = (s_->C >> 20) & 0xFF;
            s_->C &= 0xFFFFF;
            s_->CT = 7;
        } else if (s_->C < 0x8000000) {
            Emit(s_->B);
            s_->B = (s_->C >> 19) & 0xFF;
            s_->C &= 0x7FFFF;
            s_->CT = 8;
        } else {
            ++s_->B;
            s_->C &= 0x7FFFFFF;
            Emit(s_->B);
            if (s_->B == 0xFF) {
                s_->B = (s_->C >> 20) & 0x7F;
                s_->C &= 0xFFFFF;
                s_->CT = 7;
            } else {
                s_->B = (s_->C >> 19) & 0xFF;
                s_->C &= 0x7FFFF;
                s_->CT = 8;
            }
        }
    }

    void Renormalise() {
        do {
            s_->A <<= 1;
            s_->C <<= 1;
            if (--s_->CT == 0)
                ByteOut();
        } while (!(s_->A & 0x8000));
    }

    void EncodeMq(int d, int cx) {
        int32_t& index = s_->contextState[cx];
        int32_t& mps = s_->contextMps[cx];
        const MqState& st = kMq[index];
        s_->A -= st.qe;
        if (d == mps) {
            if (!(s_->A & 0x8000)) {
                if (s_->A < st.qe)
                    s_->A = st.qe;
                else
                    s_->C += st.qe;
                index = st.nmps;
                Renormalise();
            } else {
                s_->C += st.qe;
            }
        } else {
            if (s_->A < st.qe)
                s_->C += st.qe;
            else
                s_->A = st.qe;
            if (st.sw)
                mps = 1 - mps;
            index = st.nlps;
            Renormalise();
        }
        s_->codedSinceInit = 1;
    }

    bool RawHasBits() const { return s_->rawBitPosition != (s_->rawStuffing ? 6 : 7); }

    void EncodeRaw(int d) {
        s_->rawAccumulator |= uint32_t(d & 1) << s_->rawBitPosition;
        if (s_->rawBitPosition > 0) {
            --s_->rawBitPosition;
            return;
        }
        const uint32_t b = s_->rawAccumulator;
        Queue(b);
        s_->rawStuffing = b == 0xFF;
        s_->rawBitPosition = s_->rawStuffing ? 6 : 7;
        s_->rawAccumulator = 0;
    }

    void TerminateRaw() {
        if (RawHasBits())
            Queue(s_->rawAccumulator | (0x2Au >> (6 - s_->rawBitPosition)));
        s_->rawBitPosition = 7;
        s_->rawStuffing = 0;
        s_->rawAccumulator = 0;
    }

    void TerminateMq() {
        if (!s_->codedSinceInit)
            return;
        if (s_->termination == cbeTermShortest)
            Shortest();
        else if (s_->termination == cbeTermPredictable)
            Predictable();
        else
            Flush();
        s_->codedSinceInit = 0;
    }

private:
    // Bytes of the lower end of the final interval, stopping as soon as those
    // bytes followed by endless 1 bits lie inside it.
    void Shortest() {
        constexpr uint32_t kCarry = 1u << 27;
        uint32_t lo = s_->C << s_->CT, up = (s_->C + s_->A) << s_->CT;
        uint32_t l, u;
        bool any = false;
        auto put = [&](uint32_t v) {
            ++s_->byteOuts;
            if (any)
                Emit(s_->B);
            s_->B = v & 0xFF;
            any = true;
        };
        int step;
        if (s_->B == 0xFF && (lo & kCarry)) {
            l = lo >> 20;
            u = up >> 20;
            lo = (lo & 0xFFFFF) << 7;
            up = (up & 0xFFFFF) << 7;
            if (up & kCarry) {
                ++u;
                up &= ~kCarry;
            }
            put(0xFF);
            step = l == 0xFF ? 5 : 6;
        } else {
            if ((lo & kCarry) && s_->B != 0xFF) {
                l = s_->B + 1;
                lo &= ~kCarry;
            } else {
                l = s_->B;
            }
            if (up & kCarry) {
                u = s_->B + 1;
                up &= ~kCarry;
            } else {
                u = s_->B;
            }
            step = 4;
        }
        for (;;) {
            if (step == 4) {
                if (u > 0xFF)
                    break;
                step = 5;
            }
            if (step == 5) {
                if (l == 0xFF) {
                    const uint32_t u7 = ((u - 0xFF) << 7) | ((up >> 20) & 0x7F);
                    const uint32_t l7 = (lo >> 20) & 0x7F;
                    lo = (lo & 0xFFFFF) << 7;
                    up = (up & 0xFFFFF) << 7;
                    if (u7 > 0x7F)
                        break;
                    put(0xFF);
                    l = l7;
                    u = u7;
                }
                step = 6;
            }
            put(l);
            u = ((u - l) << 8) | ((up >> 19) & 0xFF);
            l = (lo >> 19) & 0xFF;
            lo = (lo & 0x7FFFF) << 8;
            up = (up & 0x7FFFF) << 8;
            step = 4;
        }
        if (any) {
            Emit(s_->B);
            s_->B = 0xFF;
        }
    }

    void Predictable() {
        int32_t k = 12 - s_->CT;
        while (k > 0) {
            s_->C <<= s_->CT;
            ByteOut();
            k -= s_->CT;
        }
        if (s_->B != 0xFF) {
            s_->C <<= s_->CT;
            ByteOut();
        }
    }

    void Flush() {
        const uint32_t t = s_->C + s_->A;
        s_->C |= 0xFFFF;
        if (s_->C >= t)
            s_->C -= 0x8000;
        s_->C <<= s_->CT;
        ByteOut();
        s_->C |= 0x7FFF;
        s_->C <<= s_->CT;
        ByteOut();
        s_->C |= 0x7FFF;
        if (s_->B != 0xFF) {
            s_->C <<= s_->CT;
            ByteOut();
        }
    }

    CodeBlockEncoderContext* c_;
    CodeBlockEncoderState* s_;
};

bool EndsSegment(const CodeBlockEncoderState* s) {
    const int32_t k = s->currentPass;
    return s->terminateEveryPass || k + 1 == s->passCount || s->rawPerPass[k + 1] != s->rawPerPass[k];
}

// Records the length of the completed current pass and moves to the next.
void RecordPass(CodeBlockEncoderState* s, const Coder& coder, bool segmentEnd) {
    const int32_t k = s->currentPass;
    s->bytesBeforePass += s->bytesInPass;
    int32_t estimate;
    if (s->passIsRaw) {
        estimate = coder.RawHasBits() ? 1 : 0;
    } else if (!s->codedSinceInit) {
        estimate = 0;
    } else {
        estimate = 4;
        if ((s->CT < 4 && s->B < 0xFE) || (s->CT < 5 && s->B >= 0xFE))
            ++estimate;
        if (s->byteOuts == 0)
            --estimate;
    }
    int32_t length = s->bytesBeforePass + estimate;
    s->passLength[k] = length;
    if (estimate == 0) {
        for (int32_t j = k - 1; j >= 0 && s->passLength[j] > length; --j)
            s->passLength[j] = length;
        // A length that ends on an emitted 0xFF leaves that byte out.
        if (length > 0 && s->lastEmitted == 0xFF)
            for (int32_t j = 0; j <= k; ++j)
                if (s->passLength[j] == length)
                    --s->passLength[j];
    }
    s->bytesPerPass[k] = s->bytesInPass;
    if (segmentEnd && !s->passIsRaw)
        InitRegisters(s);
    s->terminated = 0;
    s->passStart += s->decisionsInPass;
    ++s->currentPass;
    if (s->currentPass < s->passCount) {
        s->decisionsInPass = s->decisionsPerPass[s->currentPass];
        s->passIsRaw = uint32_t(s->rawPerPass[s->currentPass]);
    } else {
        s->decisionsInPass = 0;
    }
    s->decisionsCoded = 0;
    s->bytesInPass = 0;
    if (s->resetContexts)
        ResetContexts(s);
}

} // namespace

namespace prim::generic {

int32_t codeBlockEncoderCreate(CodeBlockEncoderContext** context, int32_t maxWidth, int32_t maxHeight) {
    if (!context)
        return primErrNullPtr;
    if (maxHeight <= 0 || maxWidth <= 0)
        return primErrSize;
    const int64_t decisionBytes = int64_t(maxWidth) * kDecisionsPerStripeColumn * ((int64_t(maxHeight) + 3) / 4);
    const int64_t flagBytes = 2 * (int64_t(maxWidth) + 2) * (int64_t(maxHeight) + 2);
    auto* c = static_cast<CodeBlockEncoderContext*>(alignedMalloc(sizeof(CodeBlockEncoderContext)));
    auto* s = static_cast<CodeBlockEncoderState*>(alignedMalloc(sizeof(CodeBlockEncoderState)));
    uint8_t* decisions = nullptr;
    uint8_t* contexts = nullptr;
    uint16_t* flags = nullptr;
    if (c && s && decisionBytes <= INT32_MAX && flagBytes <= INT32_MAX) {
        decisions = static_cast<uint8_t*>(alignedMalloc(int32_t(decisionBytes)));
        contexts = decisions ? static_cast<uint8_t*>(alignedMalloc(int32_t(decisionBytes))) : nullptr;
        flags = contexts ? static_cast<uint16_t*>(alignedMalloc(int32_t(flagBytes))) : nullptr;
    }
    if (!flags) {
        alignedFree(contexts);
        alignedFree(decisions);
        alignedFree(s);
        alignedFree(c);
        *context = nullptr;
        return primErrMemAlloc;
    }
    std::memset(c, 0, sizeof *c);
    std::memset(s, 0, sizeof *s);
    c->magic = kCodeBlockEncoderMagic;
    c->state = s;
    c->flags = flags;
    c->maxWidth = maxWidth;
    c->maxHeight = maxHeight;
    s->decisionBuffer = decisions;
    s->contextBuffer = contexts;
    *context = c;
    return primNoErr;
}

int32_t codeBlockEncoderFree(CodeBlockEncoderContext* context) {
    if (!context)
        return primErrNullPtr;
    alignedFree(context->flags);
    alignedFree(context->state->decisionBuffer);
    alignedFree(context->state->contextBuffer);
    alignedFree(context->state);
    alignedFree(context);
    return primNoErr;
}

int32_t codeBlockEncoderEncode(const int32_t* coefficients, int32_t step, int32_t width, int32_t height,
                               CodeBlockEncoderContext* context, int32_t bandKind, int32_t d, int32_t termination,
                               int32_t /*reserved*/, uint32_t mode, int32_t* planes, int32_t* passes,
                               int32_t* segments) {
    int32_t status = primNoErr;
    CodeBlockEncoderContext* c = Checked(context, &status);
    if (!c)
        return status;
    if (!planes || !passes || !segments)
        return primErrNullPtr;
    if (height < 1 || width < 1)
        return primErrSize;
    if (!coefficients)
        return primErrNullPtr;
    if (step < 1)
        return primErrStep;
    // A block beyond the context's buffers, or a plane outside the words,
    // would be written or shifted out of bounds: refused.
    if (width > c->maxWidth || height > c->maxHeight || d < 0 || d > 31)
        return primErrSize;

    CodeBlockEncoderState* s = c->state;
    std::memset(c->flags, 0, size_t(width + 2) * size_t(height + 2) * sizeof(uint16_t));

    s->passCount = 0;
    s->decisionsRecorded = 0;
    s->passStart = 0;
    s->currentPass = 0;
    s->resetContexts = (mode & cbeResetContexts) ? 1 : 0;
    s->terminateEveryPass = (mode & cbeTermAll) ? 1 : 0;
    InitRegisters(s);
    ResetContexts(s);
    s->rawBitPosition = 7;
    s->rawStuffing = 0;
    s->rawAccumulator = 0;
    s->codedSinceInit = 0;
    s->terminated = 0;
    s->lastEmitted = 0;
    s->termination = termination;

    uint32_t largest = 0;
    for (int32_t y = 0; y < height; ++y) {
        const auto* row = reinterpret_cast<const uint32_t*>(reinterpret_cast<const uint8_t*>(coefficients) +
                                                            static_cast<intptr_t>(y) * step);
        for (int32_t x = 0; x < width; ++x) {
            const uint32_t m = row[x] & 0x7FFFFFFFu;
            largest = m > largest ? m : largest;
        }
    }
    int32_t m = 0;
    while (m < 31 && (largest >> m))
        ++m;
    *planes = m;

    c->recordedPasses = 0;
    c->passDistortion[0] = 0;
    c->exactLastPlane = (mode & cbeExactLastPlane) ? 1 : 0;
    const int32_t L = 31 - d;
    c->lowestPlane = L;
    c->currentExponent = 2 * (m - 1 - L) - 13;
    if (m - 1 >= L) {
        Model model(c, coefficients, step, width, height, bandKind, mode);
        model.Cleanup(m - 1);
        c->currentExponent -= 2;
        for (int32_t p = m - 2; p >= L; --p) {
            const bool raw = (mode & cbeBypass) && p < m - 4;
            model.Significance(p, raw);
            model.Refinement(p, raw);
            model.Cleanup(p);
            c->currentExponent -= 2;
        }
    }
    *passes = s->passCount;
    if (s->terminateEveryPass) {
        *segments = s->passCount;
    } else {
        int32_t n = 1;
        for (int32_t k = 0; k + 1 < s->passCount; ++k)
            n += s->rawPerPass[k] != s->rawPerPass[k + 1];
        *segments = n;
    }

    s->bytesBeforePass = 0;
    s->passStart = 0;
    s->currentPass = 0;
    s->decisionsCoded = 0;
    s->bytesInPass = 0;
    if (s->passCount > 0) {
        s->decisionsInPass = s->decisionsPerPass[0];
        s->passIsRaw = uint32_t(s->rawPerPass[0]);
    }
    return primNoErr;
}

int32_t codeBlockEncoderGetStream(uint8_t* buffer, int32_t* length, CodeBlockEncoderContext* context,
                                  int32_t* more) {
    int32_t status = primNoErr;
    CodeBlockEncoderContext* c = Checked(context, &status);
    if (!c)
        return status;
    if (!buffer || !length || !more)
        return primErrNullPtr;
    if (*length < 1)
        return primErrSize;
    CodeBlockEncoderState* s = c->state;
    const int32_t capacity = *length;
    int32_t written = 0;
    auto deliver = [&] {
        while (s->queueRead < s->queueFill && written < capacity)
            buffer[written++] = s->queue[s->queueRead++];
        if (s->queueRead == s->queueFill)
            s->queueRead = s->queueFill = 0;
    };
    Coder coder(c);
    while (s->currentPass < s->passCount) {
        deliver();
        if (written == capacity)
            break;
        const bool segmentEnd = EndsSegment(s);
        const uint8_t* decisions = s->decisionBuffer + s->passStart;
        const uint8_t* contexts = s->contextBuffer + s->passStart;
        if (s->passIsRaw) {
            while (s->decisionsCoded < s->decisionsInPass && written < capacity) {
                coder.EncodeRaw(decisions[s->decisionsCoded++]);
                deliver();
            }
        } else {
            while (s->decisionsCoded < s->decisionsInPass && written < capacity) {
                coder.EncodeMq(decisions[s->decisionsCoded], contexts[s->decisionsCoded]);
                ++s->decisionsCoded;
                deliver();
            }
        }
        if (s->decisionsCoded < s->decisionsInPass)
            break;
        if (segmentEnd) {
            if (!s->terminated) {
                if (written == capacity)
                    break;
                if (s->passIsRaw)
                    coder.TerminateRaw();
                else
                    coder.TerminateMq();
                s->terminated = 1;
                deliver();
            }
            if (s->queueFill != s->queueRead)
                break;
        }
        RecordPass(s, coder, segmentEnd);
    }
    *length = written;
    *more = s->currentPass < s->passCount ? 1 : 0;
    return primNoErr;
}

int32_t codeBlockEncoderGetPassLength(const CodeBlockEncoderContext* context, int32_t pass, int32_t* length) {
    int32_t status = primNoErr;
    const CodeBlockEncoderContext* c = Checked(const_cast<CodeBlockEncoderContext*>(context), &status);
    if (!c)
        return status;
    if (!length)
        return primErrNullPtr;
    if (pass < 0 || pass >= c->state->passCount)
        return primErrCodeBlockPass;
    *length = c->state->passLength[pass];
    return primNoErr;
}

int32_t codeBlockEncoderGetDistortion(const CodeBlockEncoderContext* context, int32_t pass, double* value) {
    int32_t status = primNoErr;
    const CodeBlockEncoderContext* c = Checked(const_cast<CodeBlockEncoderContext*>(context), &status);
    if (!c)
        return status;
    if (!value)
        return primErrNullPtr;
    if (pass < 0 || pass >= c->state->passCount)
        return primErrCodeBlockPass;
    double sum = 0.0;
    for (int32_t k = 0; k <= pass; ++k)
        sum += double(c->passDistortion[k]) * std::ldexp(1.0, c->passExponent[k]);
    *value = sum;
    return primNoErr;
}

} // namespace prim::generic

const CodeBlockEncoderCreateFn codeBlockEncoderCreateTable[6] = VQ_ONE_BODY(prim::generic::codeBlockEncoderCreate);
const CodeBlockEncoderFreeFn codeBlockEncoderFreeTable[6] = VQ_ONE_BODY(prim::generic::codeBlockEncoderFree);
const CodeBlockEncoderEncodeFn codeBlockEncoderEncodeTable[6] = VQ_ONE_BODY(prim::generic::codeBlockEncoderEncode);
const CodeBlockEncoderGetStreamFn codeBlockEncoderGetStreamTable[6] =
    VQ_ONE_BODY(prim::generic::codeBlockEncoderGetStream);
const CodeBlockEncoderGetPassLengthFn codeBlockEncoderGetPassLengthTable[6] =
    VQ_ONE_BODY(prim::generic::codeBlockEncoderGetPassLength);
const CodeBlockEncoderGetDistortionFn codeBlockEncoderGetDistortionTable[6] =
    VQ_ONE_BODY(prim::generic::codeBlockEncoderGetDistortion);

int32_t codeBlockEncoderCreate(CodeBlockEncoderContext** context, int32_t maxWidth, int32_t maxHeight) {
    return VQ_DISPATCH(codeBlockEncoderCreateTable)(context, maxWidth, maxHeight);
}
int32_t codeBlockEncoderFree(CodeBlockEncoderContext* context) {
    return VQ_DISPATCH(codeBlockEncoderFreeTable)(context);
}
int32_t codeBlockEncoderEncode(const int32_t* coefficients, int32_t step, int32_t width, int32_t height,
                               CodeBlockEncoderContext* context, int32_t bandKind, int32_t d, int32_t termination,
                               int32_t reserved, uint32_t mode, int32_t* planes, int32_t* passes,
                               int32_t* segments) {
    return VQ_DISPATCH(codeBlockEncoderEncodeTable)(coefficients, step, width, height, context, bandKind, d,
                                                    termination, reserved, mode, planes, passes, segments);
}
int32_t codeBlockEncoderGetStream(uint8_t* buffer, int32_t* length, CodeBlockEncoderContext* context,
                                  int32_t* more) {
    return VQ_DISPATCH(codeBlockEncoderGetStreamTable)(buffer, length, context, more);
}
int32_t codeBlockEncoderGetPassLength(const CodeBlockEncoderContext* context, int32_t pass, int32_t* length) {
    return VQ_DISPATCH(codeBlockEncoderGetPassLengthTable)(context, pass, length);
}
int32_t codeBlockEncoderGetDistortion(const CodeBlockEncoderContext* context, int32_t pass, double* value) {
    return VQ_DISPATCH(codeBlockEncoderGetDistortionTable)(context, pass, value);
}
