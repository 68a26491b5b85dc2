#pragma once
// A growable scratch buffer whose capacity grows in Fibonacci steps.
#include <cstddef>
#include <cstdint>
#include <memory>

namespace addoscope::xml {

class TxFastMemStream {
public:
    explicit TxFastMemStream(size_t initialCapacity);

    void Write(const void* data, size_t count);
    void WriteByte(uint8_t value) { Write(&value, 1); }
    // Copies up to count bytes from the position; answers the count copied.
    size_t Read(void* data, size_t count);
    // Absolute positioning; the position may not pass the size.
    void Seek(size_t position);
    // Shrinks or grows the content (new bytes are zero); the position stays
    // within the new size.
    void SetSize(size_t size);

    size_t Size() const { return FSize; }
    size_t Position() const { return FPosition; }
    size_t Capacity() const { return FCapacity; }
    const char* Memory() const { return FData.get(); }

private:
    void Reserve(size_t needed);

    std::unique_ptr<char[]> FData;
    size_t FCapacity;
    size_t FSize = 0;
    size_t FPosition = 0;
    size_t FFib1;
};

} // namespace addoscope::xml
