#include "base/MemoryStream.h"

#include "base/Exception.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace addoscope::base {

void TMemoryStream::Grow(int64_t needed)
{
    if (needed <= FCapacity)
        return;
    if (static_cast<uint64_t>(needed) > SIZE_MAX / 2)
        throw std::bad_alloc();
    const int64_t capacity = std::max<int64_t>({needed, FCapacity + FCapacity / 2, 256});
    // While the copy is made both blocks are held.
    FCharge.Resize(FCapacity + capacity);
    // Not value-initialised: untouched pages cost nothing until written.
    std::unique_ptr<uint8_t[]> memory(new uint8_t[static_cast<size_t>(capacity)]);
    if (FSize > 0)
        std::memcpy(memory.get(), FMemory.get(), static_cast<size_t>(FSize));
    FMemory = std::move(memory);
    FCapacity = capacity;
    FCharge.Resize(capacity);
}

void TMemoryStream::GrowForWrite(int64_t end)
{
    Grow(end);
    if (FPosition > FSize)
        std::memset(FMemory.get() + FSize, 0, static_cast<size_t>(FPosition - FSize));
}

int64_t TMemoryStream::Read(void* buffer, int64_t count)
{
    if (count <= 0 || FPosition >= FSize)
        return 0;
    const int64_t n = std::min(count, FSize - FPosition);
    std::memcpy(buffer, FMemory.get() + FPosition, static_cast<size_t>(n));
    FPosition += n;
    return n;
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count)
{
    if (FMaxSize > 0 && FPosition + count > FMaxSize)
        count = std::max<int64_t>(0, FMaxSize - FPosition);
    if (count <= 0)
        return 0;
    const int64_t end = FPosition + count;
    if (end > FSize) {
        GrowForWrite(end);
        FSize = end;
    }
    std::memcpy(FMemory.get() + FPosition, buffer, static_cast<size_t>(count));
    FPosition = end;
    return count;
}

int64_t TMemoryStream::Seek(int64_t offset, TSeekOrigin origin)
{
    int64_t base = 0;
    if (origin == TSeekOrigin::soCurrent)
        base = FPosition;
    else if (origin == TSeekOrigin::soEnd)
        base = FSize;
    FPosition = std::max<int64_t>(0, base + offset);
    return FPosition;
}

void TMemoryStream::SetSize(int64_t size)
{
    size = std::max<int64_t>(0, size);
    if (size > FSize) {
        Grow(size);
        std::memset(FMemory.get() + FSize, 0, static_cast<size_t>(size - FSize));
    }
    FSize = size;
    FPosition = std::min(FPosition, FSize);
}

void TMemoryStream::Reserve(int64_t capacity)
{
    Grow(capacity);
}

void TMemoryStream::Clear()
{
    FMemory.reset();
    FCharge.Release();
    FSize = FCapacity = FPosition = 0;
}

void TMemoryStream::LoadFromBuffer(const void* buffer, size_t count)
{
    Clear();
    Grow(static_cast<int64_t>(count));
    if (count > 0)
        std::memcpy(FMemory.get(), buffer, count);
    FSize = static_cast<int64_t>(count);
}

int64_t TMemoryStream::CopyFrom(TStream& source, int64_t count, int64_t chunk)
{
    if (count <= 0)
        return 0;
    if (FMaxSize > 0 && count > FMaxSize - FPosition)
        throw EWriteError();
    chunk = std::max<int64_t>(1, chunk);
    GrowForWrite(FPosition + count);
    int64_t copied = 0;
    while (copied < count) {
        const int64_t n = source.Read(FMemory.get() + FPosition, std::min(chunk, count - copied));
        if (n <= 0)
            break;
        FPosition += n;
        FSize = std::max(FSize, FPosition);
        copied += n;
    }
    return copied;
}

} // namespace addoscope::base
