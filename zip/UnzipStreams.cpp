#include "zip/UnzipStreams.h"

#include "base/Crc32.h"
#include "zip/ZipErrors.h"

#include <algorithm>
#include <limits>

namespace addoscope::zip {

// ---- TUnzipSubsetStream ----------------------------------------------------

TUnzipSubsetStream::TUnzipSubsetStream(base::TStream& stream, uint64_t size)
    : FStream(stream), FStartPos(stream.Position()), FCurPos(FStartPos)
{
    const uint64_t room = static_cast<uint64_t>(std::numeric_limits<int64_t>::max() - FStartPos);
    FEndPos = FStartPos + static_cast<int64_t>(std::min(size, room));
}

int64_t TUnzipSubsetStream::Read(void* buffer, int64_t count)
{
    count = std::min(count, FEndPos - FCurPos);
    if (count <= 0)
        return 0;
    const int64_t n = FStream.Read(buffer, count);
    if (n > 0)
        FCurPos += n;
    return std::max<int64_t>(n, 0);
}

int64_t TUnzipSubsetStream::Write(const void*, int64_t)
{
    throw EArcException("TUnzipSubsetStream.Write not supported");
}

int64_t TUnzipSubsetStream::Seek(int64_t offset, base::TSeekOrigin origin)
{
    // Work in offsets relative to the window so that no sum can overflow.
    const int64_t length = FEndPos - FStartPos;
    int64_t base = 0;
    if (origin == base::TSeekOrigin::soCurrent)
        base = FCurPos - FStartPos;
    else if (origin == base::TSeekOrigin::soEnd)
        base = length;
    int64_t target;
    if (offset > 0)
        target = offset > length - base ? length : base + offset;
    else
        target = offset < -base ? 0 : base + offset;
    if (FStartPos + target != FCurPos) {
        FCurPos = FStartPos + target;
        FStream.Seek(FCurPos, base::TSeekOrigin::soBeginning);
    }
    return target;
}

// ---- TUnzipOutputStream ----------------------------------------------------

TUnzipOutputStream::TUnzipOutputStream(base::TStream& target, uint64_t uncompressedSize, TOnUnzipProgress onProgress)
    : FStream(target), FUncompressedSize(uncompressedSize), FOnProgress(std::move(onProgress))
{
}

int64_t TUnzipOutputStream::Read(void*, int64_t)
{
    throw EArcException("TUnzipOutputStream.Read not supported");
}

int64_t TUnzipOutputStream::Write(const void* buffer, int64_t count)
{
    if (count <= 0)
        return 0;
    FCRC32 = base::Crc32Update(FCRC32, buffer, static_cast<size_t>(count));
    const int64_t written = FStream.Write(buffer, count);
    if (written > 0)
        FBytesWritten += static_cast<uint64_t>(written);
    if (FOnProgress) {
        int percent;
        if (FUncompressedSize == 0)
            percent = 0;
        else if (FBytesWritten >= FUncompressedSize)
            percent = 100;
        else
            percent = static_cast<int>(FBytesWritten * 100.0 / static_cast<double>(FUncompressedSize));
        if (percent != FCurrentProgress) {
            FCurrentProgress = percent;
            bool abort = false;
            FOnProgress(static_cast<uint8_t>(percent), abort);
            if (abort)
                throw EArcUserAbort();
        }
    }
    return written;
}

int64_t TUnzipOutputStream::Seek(int64_t offset, base::TSeekOrigin origin)
{
    return FStream.Seek(offset, origin);
}

} // namespace addoscope::zip
