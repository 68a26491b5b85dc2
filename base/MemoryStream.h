#pragma once
#include "base/Budget.h"
#include "base/Stream.h"

#include <cstddef>
#include <cstdint>
#include <memory>

namespace addoscope::base {

// A stream in memory that grows as it is written. Seeking past the end is
// allowed; a write there fills the gap with zeros. Growing does not clear
// the new memory first: bytes are only ever exposed after being written.
class TMemoryStream : public TStream {
public:
    TMemoryStream() = default;

    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    int64_t Size() override { return FSize; }

    // Bounds what writes may make of the stream: a write that would grow it
    // past `maxSize` bytes stores what fits and reports the short count, so
    // WriteBuffer raises EWriteError. 0 (the default) means no bound.
    void SetMaxSize(int64_t maxSize) { FMaxSize = maxSize; }

    // Sets the size; bytes added at the end are zeros.
    void SetSize(int64_t size);
    // Makes room for `capacity` bytes without changing the size.
    void Reserve(int64_t capacity);
    void Clear();
    // Replaces the content with a copy of the given bytes, position 0.
    void LoadFromBuffer(const void* buffer, size_t count);
    // Writes up to `count` bytes from the source's position at the stream's
    // position, reading at most `chunk` bytes at a time straight into the
    // stream's memory (no bounce buffer); stops early where the source ends
    // and answers the bytes copied. When the bound (SetMaxSize) leaves no
    // room for `count` bytes, raises EWriteError before reading anything.
    int64_t CopyFrom(TStream& source, int64_t count, int64_t chunk);

    const uint8_t* Memory() const { return FMemory.get(); }
    uint8_t* Memory() { return FMemory.get(); }

private:
    void Grow(int64_t needed);
    // Room up to `end` for a write at the position, with the gap between the
    // old end and the position zero-filled.
    void GrowForWrite(int64_t end);

    // The memory counts against the reading's budget.
    TBudgetCharge FCharge;
    std::unique_ptr<uint8_t[]> FMemory;
    int64_t FSize = 0;
    int64_t FCapacity = 0;
    int64_t FPosition = 0;
    int64_t FMaxSize = 0;
};

} // namespace addoscope::base
