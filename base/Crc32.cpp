#include "base/Crc32.h"

#include <array>

namespace addoscope::base {

namespace {

// Slicing-by-8 tables: eight bytes per step keep the check from dominating
// extraction time.
struct TCrcTables {
    std::array<std::array<uint32_t, 256>, 8> T {};
    constexpr TCrcTables()
    {
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            T[0][i] = c;
        }
        for (uint32_t i = 0; i < 256; ++i)
            for (size_t s = 1; s < 8; ++s)
                T[s][i] = (T[s - 1][i] >> 8) ^ T[0][T[s - 1][i] & 0xFF];
    }
};

constexpr TCrcTables Tables;

} // namespace

uint32_t Crc32Update(uint32_t crc, const void* data, size_t count)
{
    const auto* p = static_cast<const uint8_t*>(data);
    const auto& t = Tables.T;
    while (count >= 8) {
        const uint32_t lo = crc ^ (uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24);
        const uint32_t hi = uint32_t(p[4]) | uint32_t(p[5]) << 8 | uint32_t(p[6]) << 16 | uint32_t(p[7]) << 24;
        crc = t[7][lo & 0xFF] ^ t[6][(lo >> 8) & 0xFF] ^ t[5][(lo >> 16) & 0xFF] ^ t[4][lo >> 24] ^
              t[3][hi & 0xFF] ^ t[2][(hi >> 8) & 0xFF] ^ t[1][(hi >> 16) & 0xFF] ^ t[0][hi >> 24];
        p += 8;
        count -= 8;
    }
    while (count--)
        crc = t[0][(crc ^ *p++) & 0xFF] ^ (crc >> 8);
    return crc;
}

uint32_t Crc32(const void* data, size_t count)
{
    return ~Crc32Update(0xFFFFFFFFu, data, count);
}

} // namespace addoscope::base
