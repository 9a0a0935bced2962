// A growing byte buffer written at its end and read from its front, held in
// a chain of 512-byte chunks: the encoder assembles code-streams in it and
// the decoder collects the codeword segments of a code-block.
#pragma once

#include <cstdint>
#include <memory>

class CodestreamBuffer {
public:
    static constexpr uint32_t kChunkSize = 512;

    CodestreamBuffer();
    CodestreamBuffer(const CodestreamBuffer&) = delete;
    CodestreamBuffer& operator=(const CodestreamBuffer&) = delete;
    ~CodestreamBuffer();

    void PutByte(uint8_t b);
    void Put16(uint16_t v);
    void Put32(uint32_t v);
    void Append(const void* data, uint64_t n);
    // Moves up to n bytes from the front of source to the end of this buffer;
    // returns the number moved.
    uint64_t MoveFrom(CodestreamBuffer& source, uint64_t n);
    // Copies up to n bytes from the front into out; returns the number copied.
    uint64_t ReadOut(void* out, uint64_t n);
    uint64_t Size() const { return size_; }
    // Chunks in the chain (one at least).
    uint32_t ChunkCount() const;

private:
    struct Chunk {
        uint8_t bytes[kChunkSize];
        uint32_t read = 0;
        uint32_t write = 0;
        Chunk* next = nullptr;
    };
    Chunk* AppendRoom();
    void DropDrainedFront();

    Chunk* first_;
    Chunk* last_;
    uint64_t size_ = 0;
};
