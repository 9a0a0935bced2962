#include "j2k/codestream_buffer.h"

#include <cstring>

CodestreamBuffer::CodestreamBuffer() : first_(new Chunk()), last_(first_) {}

CodestreamBuffer::~CodestreamBuffer() {
    while (first_) {
        Chunk* next = first_->next;
        delete first_;
        first_ = next;
    }
}

uint32_t CodestreamBuffer::ChunkCount() const {
    uint32_t n = 0;
    for (const Chunk* c = first_; c; c = c->next)
        ++n;
    return n;
}

// The last chunk, or a new one chained after it when it is full.
CodestreamBuffer::Chunk* CodestreamBuffer::AppendRoom() {
    if (last_->write == kChunkSize) {
        Chunk* c = new Chunk();
        last_->next = c;
        last_ = c;
    }
    return last_;
}

void CodestreamBuffer::PutByte(uint8_t b) {
    Chunk* c = AppendRoom();
    c->bytes[c->write++] = b;
    ++size_;
}

void CodestreamBuffer::Put16(uint16_t v) {
    PutByte(static_cast<uint8_t>(v >> 8));
    PutByte(static_cast<uint8_t>(v));
}

void CodestreamBuffer::Put32(uint32_t v) {
    Put16(static_cast<uint16_t>(v >> 16));
    Put16(static_cast<uint16_t>(v));
}

void CodestreamBuffer::Append(const void* data, uint64_t n) {
    const auto* p = static_cast<const uint8_t*>(data);
    while (n) {
        Chunk* c = AppendRoom();
        uint32_t room = kChunkSize - c->write;
        const uint32_t take = n < room ? static_cast<uint32_t>(n) : room;
        std::memcpy(c->bytes + c->write, p, take);
        c->write += take;
        size_ += take;
        p += take;
        n -= take;
    }
}

// Releases a drained first chunk when a later one exists.
void CodestreamBuffer::DropDrainedFront() {
    while (first_->read == first_->write && first_->next) {
        Chunk* next = first_->next;
        delete first_;
        first_ = next;
    }
    if (first_ == last_ && first_->read == first_->write) {
        first_->read = 0;
        first_->write = 0;
    }
}

uint64_t CodestreamBuffer::ReadOut(void* out, uint64_t n) {
    auto* p = static_cast<uint8_t*>(out);
    uint64_t done = 0;
    while (done < n && size_) {
        DropDrainedFront();
        Chunk* c = first_;
        const uint32_t held = c->write - c->read;
        const uint32_t take = n - done < held ? static_cast<uint32_t>(n - done) : held;
        std::memcpy(p + done, c->bytes + c->read, take);
        c->read += take;
        size_ -= take;
        done += take;
    }
    DropDrainedFront();
    return done;
}

uint64_t CodestreamBuffer::MoveFrom(CodestreamBuffer& source, uint64_t n) {
    uint64_t done = 0;
    while (done < n && source.size_) {
        source.DropDrainedFront();
        Chunk* c = source.first_;
        const uint32_t held = c->write - c->read;
        const uint32_t take = n - done < held ? static_cast<uint32_t>(n - done) : held;
        Append(c->bytes + c->read, take);
        c->read += take;
        source.size_ -= take;
        done += take;
    }
    source.DropDrainedFront();
    return done;
}
