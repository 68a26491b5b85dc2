#include "base/Crc32.h"

#include "base/LittleEndian.h"

#include <array>
#include <cstring>

// Carry-less multiplication folds 64 bytes per step where the processor has
// it (x86 with PCLMULQDQ, checked at run time); elsewhere, and for short
// runs, eight bytes per step through tables.
#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__)) && \
    __has_include(<cpuid.h>) && __has_include(<wmmintrin.h>) && __has_include(<emmintrin.h>)
#define ADDOSCOPE_CRC_CLMUL 1
#include <cpuid.h>
#include <emmintrin.h>
#include <wmmintrin.h>
#endif

namespace addoscope::base {

namespace {

constexpr uint32_t Polynomial = 0xEDB88320u; // reflected

// Slicing-by-8 tables.
struct TCrcTables {
    std::array<std::array<uint32_t, 256>, 8> T {};
    constexpr TCrcTables()
    {
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? Polynomial ^ (c >> 1) : c >> 1;
            T[0][i] = c;
        }
        for (uint32_t i = 0; i < 256; ++i)
            for (size_t s = 1; s < 8; ++s)
                T[s][i] = (T[s - 1][i] >> 8) ^ T[0][T[s - 1][i] & 0xFF];
    }
};

constexpr TCrcTables Tables;

uint32_t TableUpdate(uint32_t crc, const uint8_t* p, size_t count)
{
    const auto& t = Tables.T;
    while (count >= 8) {
        const uint32_t lo = crc ^ GetLE32(p);
        const uint32_t hi = GetLE32(p + 4);
        crc = t[7][lo & 0xFF] ^ t[6][(lo >> 8) & 0xFF] ^ t[5][(lo >> 16) & 0xFF] ^ t[4][lo >> 24] ^
              t[3][hi & 0xFF] ^ t[2][(hi >> 8) & 0xFF] ^ t[1][(hi >> 16) & 0xFF] ^ t[0][hi >> 24];
        p += 8;
        count -= 8;
    }
    while (count--)
        crc = t[0][(crc ^ *p++) & 0xFF] ^ (crc >> 8);
    return crc;
}

#ifdef ADDOSCOPE_CRC_CLMUL

// A 16-byte block in stream order is a polynomial of degree 127, its first
// bit the highest term; the running CRC is XORed into the first four bytes.
// Folding multiplies a block by x^D modulo the CRC polynomial and adds it to
// the block D bits further on, which keeps the remainder unchanged. The last
// 16 bytes left are congruent to the whole input, so the table code turns
// them into the CRC.
//
// The constants are x^e mod P, bit-reflected into the high half of a
// quadword. Multiplying such a constant by a reflected quadword yields the
// product times x in a 128-bit block, so e is one less than the shift
// wanted: D for the block's second quadword, D + 64 for its first.
constexpr uint64_t PowerOfX(int e)
{
    uint32_t r = 0x80000000u; // x^0, reflected
    for (int i = 0; i < e; ++i)
        r = (r & 1) ? (r >> 1) ^ Polynomial : r >> 1;
    return uint64_t(r) << 32;
}

constexpr uint64_t Fold512Lo = PowerOfX(512 + 64 - 1);
constexpr uint64_t Fold512Hi = PowerOfX(512 - 1);
constexpr uint64_t Fold128Lo = PowerOfX(128 + 64 - 1);
constexpr uint64_t Fold128Hi = PowerOfX(128 - 1);

__attribute__((target("pclmul,sse2"))) inline __m128i Fold(__m128i block, __m128i constants, __m128i next)
{
    const __m128i lo = _mm_clmulepi64_si128(block, constants, 0x00);
    const __m128i hi = _mm_clmulepi64_si128(block, constants, 0x11);
    return _mm_xor_si128(_mm_xor_si128(lo, hi), next);
}

__attribute__((target("pclmul,sse2"))) inline __m128i Load(const uint8_t* p)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// Needs count >= 64; leaves the final count % 16 bytes to the caller.
__attribute__((target("pclmul,sse2"))) uint32_t ClmulUpdate(uint32_t crc, const uint8_t*& p, size_t& count)
{
    const __m128i k512 = _mm_set_epi64x(static_cast<long long>(Fold512Hi), static_cast<long long>(Fold512Lo));
    const __m128i k128 = _mm_set_epi64x(static_cast<long long>(Fold128Hi), static_cast<long long>(Fold128Lo));
    __m128i x0 = _mm_xor_si128(Load(p), _mm_cvtsi32_si128(static_cast<int>(crc)));
    __m128i x1 = Load(p + 16);
    __m128i x2 = Load(p + 32);
    __m128i x3 = Load(p + 48);
    p += 64;
    count -= 64;
    while (count >= 64) {
        x0 = Fold(x0, k512, Load(p));
        x1 = Fold(x1, k512, Load(p + 16));
        x2 = Fold(x2, k512, Load(p + 32));
        x3 = Fold(x3, k512, Load(p + 48));
        p += 64;
        count -= 64;
    }
    __m128i x = Fold(Fold(Fold(x0, k128, x1), k128, x2), k128, x3);
    while (count >= 16) {
        x = Fold(x, k128, Load(p));
        p += 16;
        count -= 16;
    }
    uint8_t rest[16];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(rest), x);
    return TableUpdate(0, rest, 16);
}

bool DetectClmul()
{
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (!__get_cpuid(1, &a, &b, &c, &d))
        return false;
    return (c & bit_PCLMUL) != 0 && (d & bit_SSE2) != 0;
}

bool HasClmul()
{
    static const bool has = DetectClmul();
    return has;
}

#endif

} // namespace

uint32_t Crc32Update(uint32_t crc, const void* data, size_t count)
{
    const auto* p = static_cast<const uint8_t*>(data);
#ifdef ADDOSCOPE_CRC_CLMUL
    if (count >= 64 && HasClmul())
        crc = ClmulUpdate(crc, p, count);
#endif
    return TableUpdate(crc, p, count);
}

uint32_t Crc32(const void* data, size_t count)
{
    return ~Crc32Update(0xFFFFFFFFu, data, count);
}

} // namespace addoscope::base
