#pragma once
#include "base/Stream.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace addoscope::base {

// A stream in memory that grows as it is written. Seeking past the end is
// allowed; a write there fills the gap with zeros.
class TMemoryStream : public TStream {
public:
    TMemoryStream() = default;

    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    int64_t Size() override { return static_cast<int64_t>(FData.size()); }

    void SetSize(int64_t size);
    void Clear();
    // Replaces the content with a copy of the given bytes, position 0.
    void LoadFromBuffer(const void* buffer, size_t count);

    const uint8_t* Memory() const { return FData.data(); }
    uint8_t* Memory() { return FData.data(); }

private:
    std::vector<uint8_t> FData;
    int64_t FPosition = 0;
};

} // namespace addoscope::base
