#include "xml/XmlStreams.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

namespace addoscope::xml {

TxFastMemStream::TxFastMemStream(size_t initialCapacity)
    : FCapacity(std::max<size_t>(initialCapacity, 4)), FFib1(std::max<size_t>(initialCapacity / 2, 4))
{
    FData.reset(new char[FCapacity]);
}

void TxFastMemStream::Reserve(size_t needed)
{
    if (needed <= FCapacity)
        return;
    size_t capacity = FCapacity;
    while (capacity < needed) {
        if (capacity > std::numeric_limits<size_t>::max() - FFib1)
            throw std::bad_alloc();
        const size_t grown = capacity + FFib1;
        FFib1 = capacity;
        capacity = grown;
    }
    std::unique_ptr<char[]> data(new char[capacity]);
    if (FSize > 0)
        std::memcpy(data.get(), FData.get(), FSize);
    FData = std::move(data);
    FCapacity = capacity;
}

void TxFastMemStream::Write(const void* data, size_t count)
{
    if (count == 0)
        return;
    if (count > std::numeric_limits<size_t>::max() - FPosition)
        throw std::bad_alloc();
    Reserve(FPosition + count);
    if (FPosition > FSize)
        std::memset(FData.get() + FSize, 0, FPosition - FSize);
    std::memcpy(FData.get() + FPosition, data, count);
    FPosition += count;
    FSize = std::max(FSize, FPosition);
}

size_t TxFastMemStream::Read(void* data, size_t count)
{
    const size_t available = FPosition < FSize ? FSize - FPosition : 0;
    const size_t n = std::min(count, available);
    if (n > 0)
        std::memcpy(data, FData.get() + FPosition, n);
    FPosition += n;
    return n;
}

void TxFastMemStream::Seek(size_t position)
{
    FPosition = std::min(position, FSize);
}

void TxFastMemStream::SetSize(size_t size)
{
    Reserve(size);
    if (size > FSize)
        std::memset(FData.get() + FSize, 0, size - FSize);
    FSize = size;
    FPosition = std::min(FPosition, FSize);
}

} // namespace addoscope::xml
