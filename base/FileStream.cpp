#include "base/FileStream.h"

#include "base/Exception.h"
#include "base/Text.h"
#include "platform/Platform.h"

#include <algorithm>
#include <cstring>

namespace addoscope::base {

TFileStream::TFileStream(const std::u16string& fileName)
    : FFile(std::make_unique<platform::TFile>(fileName))
{
    if (!FFile->IsOpen())
        throw EFOpenError(FormatText("Cannot open file \"%s\". %s", Utf16ToUtf8(fileName).c_str(),
                                     FFile->ErrorText().c_str()));
    FBuffer.reset(new uint8_t[static_cast<size_t>(BufferSize)]);
}

TFileStream::~TFileStream() = default;

int64_t TFileStream::Read(void* buffer, int64_t count)
{
    auto* out = static_cast<uint8_t*>(buffer);
    int64_t done = 0;
    while (count > 0) {
        const int64_t offsetInBuffer = FPosition - FBufferStart;
        if (offsetInBuffer >= 0 && offsetInBuffer < FBufferCount) {
            const int64_t n = std::min(count, FBufferCount - offsetInBuffer);
            std::memcpy(out + done, FBuffer.get() + offsetInBuffer, static_cast<size_t>(n));
            done += n;
            count -= n;
            FPosition += n;
            continue;
        }
        // Reading on from where the last read ended needs no seek: the
        // saved call matters when a whole CRX is copied in large reads.
        if (FFilePosition != FPosition) {
            FFilePosition = -1;
            if (!FFile->SeekTo(FPosition))
                throw EReadError();
            FFilePosition = FPosition;
        }
        if (count >= BufferSize) {
            // Large reads bypass the buffer.
            const int64_t n = FFile->Read(out + done, count);
            if (n < 0) {
                FFilePosition = -1;
                throw EReadError();
            }
            done += n;
            FPosition += n;
            FFilePosition = FPosition;
            break;
        }
        const int64_t n = FFile->Read(FBuffer.get(), BufferSize);
        if (n < 0) {
            FFilePosition = -1;
            throw EReadError();
        }
        FFilePosition = FPosition + n;
        FBufferStart = FPosition;
        FBufferCount = n;
        if (n == 0)
            break;
    }
    return done;
}

int64_t TFileStream::Write(const void*, int64_t)
{
    throw EWriteError();
}

int64_t TFileStream::Seek(int64_t offset, TSeekOrigin origin)
{
    int64_t base = 0;
    if (origin == TSeekOrigin::soCurrent)
        base = FPosition;
    else if (origin == TSeekOrigin::soEnd)
        base = Size();
    FPosition = std::max<int64_t>(0, base + offset);
    return FPosition;
}

int64_t TFileStream::Size()
{
    // Measured once: readers ask for the size again and again, and reading
    // a package from the size it had when first asked keeps every offset
    // check consistent even when a writer appends meanwhile.
    if (FSize < 0) {
        const int64_t size = FFile->Size();
        if (size < 0)
            throw EReadError();
        FSize = size;
    }
    return FSize;
}

} // namespace addoscope::base
