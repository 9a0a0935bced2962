// Byte inputs: a source of bytes under a stack of nested length bounds. A
// marker segment, tile-part or box is read inside a bound of its declared
// length; a read that would pass the innermost bound throws
// ByteInputException 0 instead of running into the next segment. Values are
// big-endian. Positions and lengths are 64-bit throughout, so inputs above
// 4 GiB are measured and bounded exactly.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/base/stream.h"
#include "j2k/diagnostics.h"

// Source over a caller's block of memory; never frees it.
class MemoryInput {
protected:
    void Init(const uint8_t* data, uint64_t length) {
        cur_ = data;
        start_ = data;
        size_ = length;
    }
    uint8_t ReadByte() { return *cur_++; }
    bool Read(void* out, uint64_t n) {
        if (n)
            std::memcpy(out, cur_, n);
        cur_ += n;
        return true;
    }
    void Advance(uint64_t n) { cur_ += n; }
    // The next n bytes without moving.
    bool PeekBytes(uint8_t* out, uint32_t n) {
        std::memcpy(out, cur_, n);
        return true;
    }
    bool SourceOk() const { return true; }

    const uint8_t* cur_ = nullptr;
    const uint8_t* start_ = nullptr;
    uint64_t size_ = 0;
};

// The memory source of the tiles of TIFF and SVS files.
class TIFFTileInput : public MemoryInput {};

// Source over a vq_stream, held by reference.
class vq_streamInput {
protected:
    void AttachSource(vq_stream* stream) {
        stream_ = stream;
        if (stream_)
            stream_->seek(0, vq_seekStart);
        failed_ = false;
    }
    void DetachSource() { stream_ = vq_ptr<vq_stream>(); }
    // A short or failed stream read marks the source failed; the bound layer
    // turns that into the end of input.
    uint8_t ReadByte() {
        uint8_t b = 0;
        if (stream_ && stream_->read(&b, 1) != 1)
            failed_ = true;
        return b;
    }
    bool Read(void* out, uint64_t n) {
        auto* p = static_cast<uint8_t*>(out);
        while (n && stream_) {
            const uint32_t chunk = n > 0x40000000u ? 0x40000000u : static_cast<uint32_t>(n);
            const int32_t got = stream_->read(p, chunk);
            if (got != static_cast<int32_t>(chunk)) {
                failed_ = true;
                return false;
            }
            p += chunk;
            n -= chunk;
        }
        return true;
    }
    void Advance(uint64_t n) {
        if (stream_ && n)
            stream_->seek(static_cast<int64_t>(n), vq_seekCurrent);
    }
    void SkipByte() { Advance(1); }
    // The next n bytes without moving: read, then seek back.
    bool PeekBytes(uint8_t* out, uint32_t n) {
        if (!stream_)
            return false;
        const int32_t got = stream_->read(out, n);
        if (got > 0)
            stream_->seek(-int64_t(got), vq_seekCurrent);
        return got == int32_t(n);
    }
    bool SourceOk() const { return !failed_; }
    void ClearFailure() { failed_ = false; }
    // Length of the stream; the position is kept.
    uint64_t Length() {
        if (!stream_)
            return 0;
        const int64_t here = stream_->tell();
        stream_->seek(0, vq_seekEnd);
        const int64_t end = stream_->tell();
        stream_->seek(here, vq_seekStart);
        return end > 0 ? static_cast<uint64_t>(end) : 0;
    }
    vq_stream* Stream() const { return stream_.get(); }

private:
    vq_ptr<vq_stream> stream_;
    bool failed_ = false;
};

// Big-endian values over a source.
template <class Source>
class ByteInputBE : public Source {
protected:
    uint16_t Compose16() {
        const uint32_t b0 = this->ReadByte();
        const uint32_t b1 = this->ReadByte();
        return static_cast<uint16_t>((b0 << 8) | b1);
    }
    uint32_t Compose32() {
        const uint32_t hi = Compose16();
        return (hi << 16) | Compose16();
    }
};

// One bound: bytes consumed inside it since it was pushed, and its length.
struct InputBound {
    uint64_t consumed = 0;
    uint64_t length = 0;
    uint64_t Remaining() const { return length - consumed; }
};

// The bound stack and every checked read.
template <class BE>
class ByteInputBoundService : public BE {
public:
    virtual ~ByteInputBoundService() = default;
    // Called when a read passes the innermost bound; does not return.
    [[noreturn]] virtual void OnInputEnd() { ThrowDiagn<ByteInputException, 0>(); }

    uint8_t Read8() {
        CheckAvailable(1);
        const uint8_t v = this->ReadByte();
        Verify(1);
        return v;
    }
    uint16_t Read16() {
        CheckAvailable(2);
        const uint16_t v = this->Compose16();
        Verify(2);
        return v;
    }
    uint32_t Read32() {
        CheckAvailable(4);
        const uint32_t v = this->Compose32();
        Verify(4);
        return v;
    }
    void ReadBytes(void* out, uint64_t n) {
        CheckAvailable(n);
        this->Read(out, n);
        Verify(n);
    }
    void Skip(uint64_t n) {
        CheckAvailable(n);
        this->Advance(n);
    }

    // Opens a nested bound, never longer than what the enclosing bound has
    // left; returns the length pushed.
    uint64_t PushBound(uint64_t length) {
        if (!bounds_.empty() && length > bounds_.back().Remaining())
            length = bounds_.back().Remaining();
        bounds_.push_back(InputBound{0, length});
        return length;
    }
    // Closes the top bound, skipping its unread rest; returns the bytes
    // skipped. The enclosing bound then counts the whole closed length.
    uint64_t PopBound() {
        if (bounds_.empty())
            return 0;
        const uint64_t rest = bounds_.back().Remaining();
        if (rest)
            this->Advance(rest);
        const uint64_t length = bounds_.back().length;
        bounds_.pop_back();
        if (!bounds_.empty() && length <= bounds_.back().Remaining())
            bounds_.back().consumed += length;
        return rest;
    }
    // The next 16-bit value inside the top bound, without consuming it; false
    // when fewer than two bytes are left.
    bool Peek16(uint16_t& value) {
        uint8_t b[2];
        if (Remaining() < 2 || !this->PeekBytes(b, 2))
            return false;
        value = static_cast<uint16_t>((b[0] << 8) | b[1]);
        return true;
    }
    uint64_t Remaining() const { return bounds_.empty() ? 0 : bounds_.back().Remaining(); }
    uint64_t Consumed() const { return bounds_.empty() ? 0 : bounds_.back().consumed; }
    size_t BoundDepth() const { return bounds_.size(); }

    // Claims n bytes from the top bound, or ends the input.
    void CheckAvailable(uint64_t n) {
        if (bounds_.empty() || n > bounds_.back().Remaining())
            OnInputEnd();
        bounds_.back().consumed += n;
    }

protected:
    // A source that could not deliver the claimed bytes gives them back and
    // ends the input.
    void Verify(uint64_t n) {
        if (!this->SourceOk()) {
            bounds_.back().consumed -= n;
            OnInputEnd();
        }
    }

    std::vector<InputBound> bounds_;
};

// Input over a memory block that the caller owns.
class MemoryBoundedInputBE : public ByteInputBoundService<ByteInputBE<TIFFTileInput>> {
public:
    void Attach(const uint8_t* data, uint64_t length) {
        Init(data, length);
        PushBound(length);
    }
};

// Input over a vq_stream, with random access for recorded tile-parts and the
// 64-bit values of JP2 boxes.
class BoundedInputBE : public ByteInputBoundService<ByteInputBE<vq_streamInput>> {
public:
    void Attach(vq_stream* stream) {
        AttachSource(stream);
        PushBound(Length());
    }
    void Detach() {
        DetachSource();
        PopBound();
    }
    uint64_t Read64() {
        const uint64_t hi = Read32();
        return (hi << 32) | Read32();
    }
    // The stream position; no bound is touched.
    uint64_t Position() {
        vq_stream* s = Stream();
        const int64_t p = s ? s->tell() : 0;
        return p > 0 ? static_cast<uint64_t>(p) : 0;
    }
    void SeekTo(uint64_t position) {
        if (vq_stream* s = Stream())
            s->seek(static_cast<int64_t>(position), vq_seekStart);
        ClearFailure();
    }
    // Seeks and pushes a bound of exactly `length`, not clamped to the
    // enclosing bound: a recorded tile-part lies anywhere in the stream.
    void SeekAndPushBound(uint64_t position, uint64_t length) {
        SeekTo(position);
        bounds_.push_back(InputBound{0, length});
    }
    // Drops the top bound without skipping or counting it, then seeks.
    void PopBoundAndSeek(uint64_t position) {
        if (!bounds_.empty())
            bounds_.pop_back();
        SeekTo(position);
    }
};
