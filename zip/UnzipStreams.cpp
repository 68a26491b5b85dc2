#include "zip/UnzipStreams.h"

#include "base/Crc32.h"
#include "zip/ZipErrors.h"

#include <algorithm>
#include <limits>

namespace addoscope::zip {

// ---- TUnzipSubsetStream ----------------------------------------------------

int64_t TUnzipSubsetStream::Write(const void*, int64_t)
{
    throw EArcException("TUnzipSubsetStream.Write not supported");
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
