#pragma once
// The two streams around one item's extraction: a read-only window over the
// archive stream that ends where the item's compressed data ends, and a
// write-only stream around the caller's target that keeps the CRC-32 of
// everything written.
#include "base/Stream.h"
#include "base/WindowStream.h"

#include <cstdint>
#include <functional>

namespace addoscope::zip {

// The window over one item's compressed data, from the archive stream's
// current position, `size` bytes long.
class TUnzipSubsetStream : public base::TWindowStream {
public:
    TUnzipSubsetStream(base::TStream& stream, uint64_t size) : TWindowStream(stream, stream.Position(), size) {}

    // Raises EArcException: the window is read-only.
    int64_t Write(const void* buffer, int64_t count) override;
};

// Percentage callback of the output stream; setting abort raises
// EArcUserAbort.
using TOnUnzipProgress = std::function<void(uint8_t percent, bool& abort)>;

class TUnzipOutputStream : public base::TStream {
public:
    TUnzipOutputStream(base::TStream& target, uint64_t uncompressedSize, TOnUnzipProgress onProgress = {});

    // Raises EArcException: the stream is write-only.
    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, base::TSeekOrigin origin) override;

    uint32_t CRC32() const { return ~FCRC32; }
    uint64_t BytesWritten() const { return FBytesWritten; }

private:
    uint64_t FBytesWritten = 0;
    uint32_t FCRC32 = 0xFFFFFFFFu;
    int FCurrentProgress = -1;
    base::TStream& FStream;
    uint64_t FUncompressedSize;
    TOnUnzipProgress FOnProgress;
};

} // namespace addoscope::zip
