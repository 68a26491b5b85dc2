#include "base/FileStream.h"

#include "base/Exception.h"
#include "base/Text.h"
#include "platform/Platform.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace addoscope::base {

TFileStream::TFileStream(const std::u16string& fileName)
    : FFile(std::make_unique<platform::TFile>(fileName))
{
    if (!FFile->IsOpen())
        throw EFOpenError(FormatText("Cannot open file \"%s\". %s", Utf16ToUtf8(fileName).c_str(),
                                     FFile->ErrorText().c_str()));
}

TFileStream::~TFileStream() = default;

void TFileStream::ExpectRead(int64_t count)
{
    // A position near the largest offset (a crafted one) must not make the
    // end wrap around.
    FExpectedStart = FPosition;
    FExpectedEnd = FPosition + std::min(std::clamp<int64_t>(count, 0, MaxExpectedRead),
                                        std::numeric_limits<int64_t>::max() - FPosition);
}

int64_t TFileStream::Fill(int64_t count)
{
    if (FBufferCapacity < count) {
        // Grown to what is asked (the expected range is bounded), never shrunk.
        const int64_t capacity = std::max(count, BufferSize);
        FBuffer.reset();
        FBufferCount = 0;
        FBufferCapacity = 0;
        FBufferCharge.Resize(capacity);
        FBuffer.reset(new uint8_t[static_cast<size_t>(capacity)]);
        FBufferCapacity = capacity;
    }
    const int64_t n = FFile->ReadAt(FBuffer.get(), count, FPosition);
    if (n < 0) {
        FBufferCount = 0;
        throw EReadError();
    }
    FBufferStart = FPosition;
    FBufferCount = n;
    return n;
}

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
        // Inside an announced range, the rest of that range is read (or at
        // least what is asked); elsewhere a whole buffer. Small reads stay
        // in the buffer, as readers often read a record twice (the end
        // record: found, then loaded); large ones go straight to the caller.
        int64_t fill = BufferSize;
        if (FPosition >= FExpectedStart && FPosition < FExpectedEnd)
            fill = std::max(count, FExpectedEnd - FPosition);
        if (count >= BufferSize && count >= fill) {
            const int64_t n = FFile->ReadAt(out + done, count, FPosition);
            if (n < 0)
                throw EReadError();
            done += n;
            FPosition += n;
            break;
        }
        if (Fill(fill) == 0)
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
    // a package from the size it had when it was opened keeps every offset
    // check consistent even when a writer appends meanwhile.
    if (FSize < 0) {
        const int64_t size = FFile->SizeAtOpen();
        if (size < 0)
            throw EReadError();
        FSize = size;
    }
    return FSize;
}

} // namespace addoscope::base
