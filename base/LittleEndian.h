#pragma once
// Little-endian integers read from bytes in memory: the zip records, the
// CRX header and the CRC-32 slices.
#include <cstdint>

namespace addoscope::base {

inline uint16_t GetLE16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

inline uint32_t GetLE32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

inline uint64_t GetLE64(const uint8_t* p)
{
    return uint64_t(GetLE32(p)) | uint64_t(GetLE32(p + 4)) << 32;
}

} // namespace addoscope::base
