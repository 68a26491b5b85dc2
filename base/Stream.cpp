#include "base/Stream.h"

#include "base/Exception.h"

#include <algorithm>
#include <vector>

namespace addoscope::base {

int64_t TStream::Size()
{
    const int64_t position = Seek(0, TSeekOrigin::soCurrent);
    const int64_t size = Seek(0, TSeekOrigin::soEnd);
    Seek(position, TSeekOrigin::soBeginning);
    return size;
}

void TStream::ReadBuffer(void* buffer, int64_t count)
{
    if (count > 0 && Read(buffer, count) != count)
        throw EReadError();
}

void TStream::WriteBuffer(const void* buffer, int64_t count)
{
    if (count > 0 && Write(buffer, count) != count)
        throw EWriteError();
}

void TStream::CopyFrom(TStream& source, int64_t count, int64_t bufferSize)
{
    if (count <= 0)
        return;
    std::vector<uint8_t> buffer(static_cast<size_t>(std::min(count, std::max<int64_t>(bufferSize, 1))));
    while (count > 0) {
        const int64_t chunk = std::min<int64_t>(count, static_cast<int64_t>(buffer.size()));
        source.ReadBuffer(buffer.data(), chunk);
        WriteBuffer(buffer.data(), chunk);
        count -= chunk;
    }
}

} // namespace addoscope::base
