#include "base/MemoryStream.h"

#include <algorithm>
#include <cstring>

namespace addoscope::base {

int64_t TMemoryStream::Read(void* buffer, int64_t count)
{
    const int64_t size = Size();
    if (count <= 0 || FPosition >= size)
        return 0;
    const int64_t n = std::min(count, size - FPosition);
    std::memcpy(buffer, FData.data() + FPosition, static_cast<size_t>(n));
    FPosition += n;
    return n;
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count)
{
    if (count <= 0)
        return 0;
    const int64_t end = FPosition + count;
    if (end > Size()) {
        if (static_cast<uint64_t>(end) > FData.capacity())
            FData.reserve(std::max<size_t>(static_cast<size_t>(end), FData.capacity() * 2));
        FData.resize(static_cast<size_t>(end));
    }
    std::memcpy(FData.data() + FPosition, buffer, static_cast<size_t>(count));
    FPosition = end;
    return count;
}

int64_t TMemoryStream::Seek(int64_t offset, TSeekOrigin origin)
{
    int64_t base = 0;
    if (origin == TSeekOrigin::soCurrent)
        base = FPosition;
    else if (origin == TSeekOrigin::soEnd)
        base = Size();
    FPosition = std::max<int64_t>(0, base + offset);
    return FPosition;
}

void TMemoryStream::SetSize(int64_t size)
{
    FData.resize(static_cast<size_t>(std::max<int64_t>(0, size)));
    FPosition = std::min(FPosition, Size());
}

void TMemoryStream::Clear()
{
    FData.clear();
    FData.shrink_to_fit();
    FPosition = 0;
}

void TMemoryStream::LoadFromBuffer(const void* buffer, size_t count)
{
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    FData.assign(bytes, bytes + count);
    FPosition = 0;
}

} // namespace addoscope::base
