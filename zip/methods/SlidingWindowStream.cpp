#include "zip/methods/SlidingWindowStream.h"

#include "base/Exception.h"

#include <algorithm>
#include <cstring>

namespace addoscope::zip {

TSlidingWindowStream::TSlidingWindowStream(base::TStream& target)
    : FTarget(target), FBasePos(target.Seek(0, base::TSeekOrigin::soCurrent))
{
}

int64_t TSlidingWindowStream::Read(void* buffer, int64_t count)
{
    int64_t n = std::min({count, MaxTransfer, FSize - FPosition});
    if (n <= 0)
        return 0;
    auto* out = static_cast<uint8_t*>(buffer);
    const int64_t total = n;
    while (n > 0) {
        const int64_t slot = (FPosition / ChunkSize) % ChunkCount;
        const int64_t offset = FPosition % ChunkSize;
        const int64_t part = std::min(n, ChunkSize - offset);
        std::memcpy(out, FChunks.data() + slot * ChunkSize + offset, static_cast<size_t>(part));
        out += part;
        FPosition += part;
        n -= part;
    }
    return total;
}

int64_t TSlidingWindowStream::Write(const void* buffer, int64_t count)
{
    if (FPosition != FSize)
        throw base::Exception("TSlidingWindowStream.Write: Not at end of stream");
    int64_t n = std::min(count, MaxTransfer);
    if (n <= 0)
        return 0;
    const auto* in = static_cast<const uint8_t*>(buffer);
    const int64_t total = n;
    while (n > 0) {
        const int64_t chunk = FSize / ChunkSize;
        const int64_t offset = FSize % ChunkSize;
        if (offset == 0 && chunk >= ChunkCount) {
            // This slot still holds the chunk five back: it must reach the
            // target before it is overwritten.
            const int64_t oldEnd = (chunk - ChunkCount + 1) * ChunkSize;
            FlushUpTo(oldEnd);
            FWindowStart = oldEnd;
        }
        const int64_t part = std::min(n, ChunkSize - offset);
        std::memcpy(FChunks.data() + (chunk % ChunkCount) * ChunkSize + offset, in, static_cast<size_t>(part));
        in += part;
        FSize += part;
        n -= part;
    }
    FPosition = FSize;
    return total;
}

int64_t TSlidingWindowStream::Seek(int64_t offset, base::TSeekOrigin origin)
{
    int64_t from = 0;
    switch (origin) {
    case base::TSeekOrigin::soBeginning:
        from = 0;
        break;
    case base::TSeekOrigin::soCurrent:
        from = FPosition;
        break;
    case base::TSeekOrigin::soEnd:
        from = FSize;
        break;
    default:
        throw base::Exception("TSlidingWindowStream.Seek: invalid origin");
    }
    // Both bases lie in [0, FSize], so the sum is only out of range when
    // the offset is, and the comparisons below need no overflowing addition.
    if (offset < FWindowStart - from || offset > FSize - from)
        throw base::Exception("TSlidingWindowStream.Seek: invalid new position");
    FPosition = from + offset;
    return FPosition;
}

void TSlidingWindowStream::Flush()
{
    FlushUpTo(FSize);
}

void TSlidingWindowStream::FlushUpTo(int64_t upTo)
{
    while (FFlushed < upTo) {
        const int64_t chunkEnd = (FFlushed / ChunkSize + 1) * ChunkSize;
        const int64_t count = std::min(upTo, chunkEnd) - FFlushed;
        bsWriteChunk(FFlushed, count);
        FFlushed += count;
    }
}

void TSlidingWindowStream::bsWriteChunk(int64_t from, int64_t count)
{
    const int64_t targetPos = FBasePos + from;
    if (FTarget.Seek(targetPos, base::TSeekOrigin::soBeginning) != targetPos)
        throw base::Exception("TSlidingWindowStream.bsWriteChunk: seek failed");
    const int64_t slot = (from / ChunkSize) % ChunkCount;
    const uint8_t* data = FChunks.data() + slot * ChunkSize + from % ChunkSize;
    if (FTarget.Write(data, count) != count)
        throw base::Exception("TSlidingWindowStream.bsWriteChunk: write failed");
}

} // namespace addoscope::zip
