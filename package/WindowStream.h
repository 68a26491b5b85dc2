#pragma once
#include "base/Stream.h"

#include <algorithm>

namespace addoscope::package {

// A read-only view of a stream from `start` to its end, seen as a stream of
// its own that begins at 0. Lets a CRX's zip part be read in place instead
// of being copied into memory.
class TWindowStream : public base::TStream {
public:
    TWindowStream(base::TStream& stream, int64_t start) : FStream(stream), FStart(start) {}

    int64_t Read(void* buffer, int64_t count) override { return FStream.Read(buffer, count); }
    int64_t Write(const void*, int64_t) override { return 0; }
    int64_t Seek(int64_t offset, base::TSeekOrigin origin) override
    {
        int64_t target = offset;
        if (origin == base::TSeekOrigin::soCurrent)
            target += FStream.Position() - FStart;
        else if (origin == base::TSeekOrigin::soEnd)
            target += Size();
        return FStream.Seek(FStart + std::max<int64_t>(0, target), base::TSeekOrigin::soBeginning) - FStart;
    }
    int64_t Size() override { return std::max<int64_t>(0, FStream.Size() - FStart); }
    void ExpectRead(int64_t count) override { FStream.ExpectRead(count); }

private:
    base::TStream& FStream;
    int64_t FStart;
};

} // namespace addoscope::package
