#pragma once
// A write-at-the-end stream that keeps the most recent output in memory so
// that a decoder can read back what it has already produced (back
// references of reduce and implode), while everything older goes on to the
// real output stream.
//
// The window is five chunks of 8,192 bytes. A chunk is handed to the target
// only when a sixth one is needed, so at least the last 32 KiB written stay
// readable. Writes are accepted only at the end of the stream; a single Read
// or Write moves at most 32,768 bytes. Flush hands every byte still held to
// the target; the window stays readable afterwards.
#include "base/Stream.h"

#include <array>
#include <cstdint>

namespace addoscope::zip {

class TSlidingWindowStream : public base::TStream {
public:
    static constexpr int64_t ChunkSize = 8192;
    static constexpr int ChunkCount = 5;
    static constexpr int64_t MaxTransfer = 32768;

    // The target is borrowed; its current position is where the first byte
    // written here lands.
    explicit TSlidingWindowStream(base::TStream& target);

    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, base::TSeekOrigin origin) override;
    int64_t Size() override { return FSize; }

    // Writes every byte not yet handed to the target.
    void Flush();
    // The first position that can still be read back.
    int64_t WindowStart() const { return FWindowStart; }

private:
    // Hands the bytes [FFlushed, upTo) to the target, one chunk at a time.
    void FlushUpTo(int64_t upTo);
    void bsWriteChunk(int64_t from, int64_t count);

    base::TStream& FTarget;
    int64_t FBasePos;
    int64_t FSize = 0;
    int64_t FPosition = 0;
    int64_t FFlushed = 0;     // bytes already written to the target
    int64_t FWindowStart = 0; // oldest byte still held in memory
    std::array<uint8_t, ChunkSize * ChunkCount> FChunks{};
};

} // namespace addoscope::zip
