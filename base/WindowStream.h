#pragma once
#include "base/Stream.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace addoscope::base {

// A read-only view of part of a stream, seen as a stream of its own that
// begins at 0: from `start` to the stream's end (a large CRX's zip part,
// read in place instead of being copied into memory), or `length` bytes
// from `start` (one zip item's compressed data, so that no decoder reads
// past it). The window keeps its own position: nothing else may move the
// stream meanwhile. Seeks are clamped into the window; a window to the end
// clamps only below it and answers where the stream went. Writing writes
// nothing.
class TWindowStream : public TStream {
public:
    TWindowStream(TStream& stream, int64_t start) : FStream(stream), FStart(start), FPosition(stream.Position()) {}
    // A length no stream can hold is clamped so that the end stays
    // representable.
    TWindowStream(TStream& stream, int64_t start, uint64_t length)
        : FStream(stream), FStart(start), FPosition(stream.Position()), FBounded(true)
    {
        const uint64_t room = static_cast<uint64_t>(std::numeric_limits<int64_t>::max() - start);
        FEnd = start + static_cast<int64_t>(std::min(length, room));
    }

    int64_t Read(void* buffer, int64_t count) override
    {
        if (FBounded)
            count = std::min(count, FEnd - FPosition);
        if (count <= 0)
            return 0;
        const int64_t n = FStream.Read(buffer, count);
        if (n > 0)
            FPosition += n;
        return std::max<int64_t>(n, 0);
    }
    int64_t Write(const void*, int64_t) override { return 0; }
    int64_t Seek(int64_t offset, TSeekOrigin origin) override
    {
        // Offsets relative to the window, so that no sum can overflow.
        const int64_t length = Size();
        int64_t from = 0;
        if (origin == TSeekOrigin::soCurrent)
            from = FPosition - FStart;
        else if (origin == TSeekOrigin::soEnd)
            from = length;
        int64_t target;
        if (offset > 0)
            target = FBounded && offset > length - from ? length : from + offset;
        else
            target = offset < -from ? 0 : from + offset;
        if (FStart + target != FPosition) {
            const int64_t reached = FStream.Seek(FStart + target, TSeekOrigin::soBeginning);
            FPosition = FBounded ? FStart + target : reached;
        }
        return FPosition - FStart;
    }
    int64_t Size() override { return FBounded ? FEnd - FStart : std::max<int64_t>(0, FStream.Size() - FStart); }
    // What is read next is read from the stream at the same place; a
    // bounded window never announces more than it holds.
    void ExpectRead(int64_t count) override
    {
        FStream.ExpectRead(FBounded ? std::min(count, FEnd - FPosition) : count);
    }

private:
    TStream& FStream;
    int64_t FStart;
    int64_t FPosition; // of the stream
    bool FBounded = false;
    int64_t FEnd = 0; // of a bounded window, in the stream
};

} // namespace addoscope::base
