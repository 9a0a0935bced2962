// Tier-1 decoding of one code-block: the segments of each layer are handed to
// the code-block decoder context as the coding mode allows. Under termination
// on every pass, or with a single layer, each layer is decoded as it arrives;
// under selective bypass the bytes wait for the end of their codeword segment;
// otherwise the whole block is one codeword segment, decoded at the last layer
// (or, when the code-stream ends early, with whatever layers arrived).
#include "j2k/decoder/codeblock.h"

#include <climits>

#include "j2k/byte_input.h"
#include "j2k/decoder/marker_records.h"
#include "primitives/core/set.h"
#include "primitives/j2k/codeblock/codeblock_decoder.h"

DJP2CodeBlock& DJP2CodeBlock::operator=(const DJP2CodeBlock& o) {
    if (this == &o)
        return *this;
    plane = o.plane;
    rect = o.rect;
    layers = o.layers;
    orientation = o.orientation;
    guardBits = o.guardBits;
    rangeBits = o.rangeBits;
    offset = o.offset;
    mode = o.mode;
    diag_ = o.diag_;
    passes = 0;
    zeroBitPlanes = 0;
    lblock = 3;
    layerSegments.clear();
    context_.reset();
    contextSize_ = 0;
    attached_ = false;
    bitPlanes_ = 0;
    buffer_.reset();
    bufferPasses_ = passesSinceDecode_ = 0;
    passesAtBoundary_ = -1;
    return *this;
}

void DJP2CodeBlock::Setup(const PlaneRef& coefficients, const J2KRect& r, uint32_t layerCount, uint32_t o,
                          uint32_t g, uint32_t rb, int32_t off, uint32_t m) {
    plane = coefficients;
    rect = r;
    layers = layerCount;
    orientation = o;
    guardBits = g;
    rangeBits = rb;
    offset = off;
    mode = m;
    passes = 0;
    zeroBitPlanes = 0;
    lblock = 3;
    // Layer records are made as segments arrive: a damaged layer count must
    // not size every block.
    layerSegments.clear();
    attached_ = false;
    bitPlanes_ = 0;
    buffer_.reset();
    bufferPasses_ = passesSinceDecode_ = 0;
    passesAtBoundary_ = -1;
    // The band planes are not cleared when allocated: each block clears its own area.
    if (plane.data && !rect.Empty())
        setRoi8uC1(0, plane.data, plane.step, PrimSize{int32_t(4 * rect.width), int32_t(rect.height)});
}

void DJP2CodeBlock::SetZeroBitPlanes(uint32_t z) {
    zeroBitPlanes = z;
    int64_t mb = int64_t(guardBits) + int64_t(rangeBits) + offset - int64_t(z) - 1;
    if (mb > 31) {
        diag_.Warn<DEBCOTWarning, 2>();
        mb = 31;
    } else if (mb < 0) {
        diag_.Warn<DEBCOTWarning, 3>();
        mb = 0;
    }
    bitPlanes_ = uint32_t(mb);
    if (!plane.data || rect.Empty())
        return;
    int32_t size = 0;
    if (codeBlockDecoderGetSize(int32_t(rect.width), int32_t(rect.height), &size) != 0 || size <= 0)
        ThrowDiagn<MemoryException, 0>();
    if (!context_ || contextSize_ != uint32_t(size)) {
        context_.reset(new (std::nothrow) uint8_t[size_t(size) + 32]);
        if (!context_)
            ThrowDiagn<MemoryException, 0>();
        contextSize_ = uint32_t(size);
    }
    codeBlockDecoderInit(context_.get());
    codeBlockDecoderAttach(reinterpret_cast<int32_t*>(plane.data), plane.step, int32_t(rect.width),
                           int32_t(rect.height), context_.get(), int32_t(orientation), int32_t(mb),
                           mode | cbdKeepCoefficients);
    attached_ = true;
    passesSinceDecode_ = 0;
    passesAtBoundary_ = -1;
    bufferPasses_ = 0;
    buffer_.reset();
}

void DJP2CodeBlock::AddSegment(uint32_t layer, uint32_t length, uint32_t n) {
    if (layer >= layerSegments.size())
        layerSegments.resize(size_t(layer) + 1);
    DJP2CodeBlockLayer& l = layerSegments[layer];
    l.segments.push_back(DJP2Segment{length, n});
    l.passes += n;
    l.bytes += length;
    passes += n;
}

void DJP2CodeBlock::DecodeBytes(const uint8_t* data, uint32_t length) {
    if (codeBlockDecoderDecodePass(data, int32_t(length), context_.get()) == primErrCodeBlockData)
        diag_.Warn<DEBCOTWarning, 0>();
}

void DJP2CodeBlock::CheckPassesLeft() {
    int32_t left = 0;
    if (codeBlockDecoderGetPassCount(context_.get(), &left) == 0 && left != 0)
        diag_.Warn<DEBCOTWarning, 1>();
}

void DJP2CodeBlock::DecodeBuffered(int32_t n, uint64_t bytes, std::vector<uint8_t>& scratch, bool checkLeft) {
    if (bytes > uint64_t(INT32_MAX))
        ThrowDiagn<ByteInputException, 0>();
    scratch.resize(size_t(bytes) + 1);
    if (buffer_->ReadOut(scratch.data(), bytes) != bytes)
        ThrowDiagn<ByteInputException, 0>();
    codeBlockDecoderSetPassCount(n, context_.get());
    DecodeBytes(scratch.data(), uint32_t(bytes));
    if (checkLeft)
        CheckPassesLeft();
}

template <class Input>
void DJP2CodeBlock::DecodeLayer(uint32_t l, Input& in, uint32_t lastLayer, std::vector<uint8_t>& scratch) {
    static const DJP2CodeBlockLayer kNoSegments;
    const DJP2CodeBlockLayer& layer = l < layerSegments.size() ? layerSegments[l] : kNoSegments;
    // Reads one segment's bytes; the length is checked against the input
    // before anything is sized by it.
    auto read = [&](uint32_t length) {
        if (length > in.Remaining())
            in.OnInputEnd();
        scratch.resize(size_t(length) + 1);
        in.ReadBytes(scratch.data(), length);
    };
    if (!attached_) {
        // Never included, or an empty block: its bytes (none in a sound
        // stream) are passed over.
        for (const DJP2Segment& s : layer.segments) {
            if (s.length > in.Remaining())
                in.OnInputEnd();
            in.Skip(s.length);
        }
        return;
    }

    if ((mode & kModeTermAll) || lastLayer == 0) {
        if (layer.segments.empty())
            return;
        codeBlockDecoderSetPassCount(int32_t(layer.passes), context_.get());
        for (const DJP2Segment& s : layer.segments) {
            read(s.length);
            DecodeBytes(scratch.data(), s.length);
        }
        CheckPassesLeft();
        return;
    }

    if (!buffer_)
        buffer_ = std::make_unique<CodestreamBuffer>();
    if (mode & kModeBypass) {
        for (const DJP2Segment& s : layer.segments) {
            read(s.length);
            buffer_->Append(scratch.data(), s.length);
            bufferPasses_ += s.passes;
            passesSinceDecode_ += s.passes;
            const uint32_t p = bufferPasses_;
            if (s.passes && p > 9 && p % 3 != 2) {
                passesAtBoundary_ = int32_t(p);
                passesSinceDecode_ = 0;
                DecodeBuffered(1024, buffer_->Size(), scratch, false);
            }
        }
        if (l == lastLayer && buffer_->Size() > 0) {
            const uint32_t n = passesSinceDecode_;
            passesSinceDecode_ = 0;
            DecodeBuffered(int32_t(n), buffer_->Size(), scratch, true);
        }
        return;
    }

    for (const DJP2Segment& s : layer.segments) {
        read(s.length);
        buffer_->Append(scratch.data(), s.length);
        passesSinceDecode_ += s.passes;
    }
    if (l == lastLayer && passesSinceDecode_ > 0) {
        const uint32_t n = passesSinceDecode_;
        passesSinceDecode_ = 0;
        DecodeBuffered(int32_t(n), buffer_->Size(), scratch, true);
    }
}

void DJP2CodeBlock::Finish(std::vector<uint8_t>& scratch) {
    if (!attached_ || !buffer_ || passesSinceDecode_ == 0)
        return;
    const uint32_t n = passesSinceDecode_;
    passesSinceDecode_ = 0;
    DecodeBuffered(int32_t(n), buffer_->Size(), scratch, true);
}

template void DJP2CodeBlock::DecodeLayer<MemoryBoundedInputBE>(uint32_t, MemoryBoundedInputBE&, uint32_t,
                                                                std::vector<uint8_t>&);
template void DJP2CodeBlock::DecodeLayer<BoundedInputBE>(uint32_t, BoundedInputBE&, uint32_t, std::vector<uint8_t>&);
