#include "base/Text.h"

#include <cstdint>
#include <cstring>

#include "base/Utf8.h"

#include "base/Simd.h"

namespace addoscope::base {

namespace {

constexpr char16_t Replacement = 0xFFFD;

} // namespace

std::u16string Utf8ToUtf16(std::string_view text)
{
    std::u16string out;
    out.reserve(text.size());
    const auto* p = reinterpret_cast<const uint8_t*>(text.data());
    const auto* end = p + text.size();
    while (p < end) {
        if (*p < 0x80) {
            out.push_back(*p++);
            continue;
        }
        const TUtf8Sequence sequence = DecodeUtf8(p, end);
        if (!sequence.Valid()) {
            out.push_back(Replacement);
            ++p;
            continue;
        }
        char16_t units[2];
        out.append(units, EncodeUtf16(sequence.CodePoint, units));
        p += sequence.Length;
    }
    return out;
}

bool IsValidUtf8(std::string_view bytes)
{
    const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
    const auto* end = p + bytes.size();
    while (p < end) {
        if (*p < 0x80) {
            ++p;
            continue;
        }
        const TUtf8Sequence sequence = DecodeUtf8(p, end);
        if (!sequence.Valid())
            return false;
        p += sequence.Length;
    }
    return true;
}

std::string Utf16ToUtf8(std::u16string_view text)
{
    std::string out;
    Utf16ToUtf8(text, out);
    return out;
}

void Utf16ToUtf8(std::u16string_view text, std::string& out)
{
    const size_t n = text.size();
    // The ASCII run at the start (often the whole text: every request's
    // path) goes over eight units at a time into a string sized once.
    out.resize(n);
    const char16_t* from = text.data();
    char* to = out.data();
    size_t ascii = 0;
#if ADDOSCOPE_SSE2
    const auto asciiBlock = [from, to](size_t at) {
        const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + at));
        const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + at + 8));
        const __m128i outside = _mm_and_si128(_mm_or_si128(low, high), _mm_set1_epi16(static_cast<short>(0xFF80)));
        if (_mm_movemask_epi8(_mm_cmpeq_epi16(outside, _mm_setzero_si128())) != 0xFFFF)
            return false;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to + at), _mm_packus_epi16(low, high));
        return true;
    };
    while (n - ascii >= 16 && asciiBlock(ascii))
        ascii += 16;
    // The last units as one block that overlaps those already written.
    if (n >= 16 && n - ascii < 16 && asciiBlock(n - 16))
        ascii = n;
#endif
    while (n - ascii >= 8) {
        char16_t any = 0;
        for (size_t k = 0; k < 8; ++k)
            any |= from[ascii + k];
        if (any >= 0x80)
            break;
        for (size_t k = 0; k < 8; ++k)
            to[ascii + k] = static_cast<char>(from[ascii + k]);
        ascii += 8;
    }
    while (ascii < n && from[ascii] < 0x80) {
        to[ascii] = static_cast<char>(from[ascii]);
        ++ascii;
    }
    if (ascii == n)
        return;
    out.resize(ascii);
    out.reserve(ascii + 3 * (n - ascii));
    for (size_t i = ascii; i < n; ++i) {
        uint32_t cp = text[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < n && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = Replacement;
        }
        char bytes[4];
        out.append(bytes, EncodeUtf8(cp, bytes));
    }
}

void WidenBytes(const uint8_t* from, size_t length, char16_t* to)
{
#ifdef ADDOSCOPE_SSE2
    const __m128i zero = _mm_setzero_si128();
    auto store8 = [&](size_t at) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to + at),
                         _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(from + at)), zero));
    };
    if (length >= 8) {
        size_t i = 0;
        for (; length - i >= 16; i += 16) {
            const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(to + i), _mm_unpacklo_epi8(block, zero));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(to + i + 8), _mm_unpackhi_epi8(block, zero));
        }
        if (length - i >= 8) {
            store8(i);
            i += 8;
        }
        // The last units once more, so that no single bytes are left.
        if (i < length)
            store8(length - 8);
        return;
    }
    if (length >= 4) {
        // Two overlapping quarters of a block: names are mostly this short.
        auto store4 = [&](size_t at) {
            uint32_t bytes;
            std::memcpy(&bytes, from + at, 4);
            _mm_storel_epi64(reinterpret_cast<__m128i*>(to + at),
                             _mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(bytes)), zero));
        };
        store4(0);
        store4(length - 4);
        return;
    }
#endif
    for (size_t i = 0; i < length; ++i)
        to[i] = from[i];
}

std::u16string Latin1ToUtf16(std::string_view text)
{
    std::u16string out(text.size(), u'\0');
    WidenBytes(reinterpret_cast<const uint8_t*>(text.data()), text.size(), out.data());
    return out;
}

char16_t AsciiUpper(char16_t c)
{
    return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c;
}

char16_t AsciiLower(char16_t c)
{
    return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
}

bool SameTextAscii(std::u16string_view a, std::u16string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (AsciiUpper(a[i]) != AsciiUpper(b[i]))
            return false;
    return true;
}

// The aligned search reads past the terminator inside its last block,
// which only GCC and clang can tell the address sanitizer about.
#if ADDOSCOPE_SSE2 && (defined(__GNUC__) || defined(__clang__))
#define ADDOSCOPE_ALIGNED_WIDE_LENGTH 1
namespace {

// Aligned 16-byte loads never cross a page, so reading the rest of the
// block that holds the terminator cannot fault; those bytes are not looked
// at, and the address sanitizer is told not to count them as an overread.
__attribute__((no_sanitize("address"))) size_t AlignedWideLength(const char16_t* text)
{
    const char16_t* p = text;
    while (reinterpret_cast<uintptr_t>(p) & 15) {
        if (*p == 0)
            return static_cast<size_t>(p - text);
        ++p;
    }
    for (;; p += 8) {
        const __m128i block = _mm_load_si128(reinterpret_cast<const __m128i*>(p));
        const int zeros = _mm_movemask_epi8(_mm_cmpeq_epi16(block, _mm_setzero_si128()));
        if (zeros != 0)
            return static_cast<size_t>(p - text) + static_cast<size_t>(__builtin_ctz(static_cast<unsigned>(zeros))) / 2;
    }
}

} // namespace
#endif

size_t WideLength(const char16_t* text)
{
    if (!text)
        return 0;
#if ADDOSCOPE_ALIGNED_WIDE_LENGTH
    // The host's names: every request measures one.
    if ((reinterpret_cast<uintptr_t>(text) & 1) == 0)
        return AlignedWideLength(text);
#endif
    size_t n = 0;
    while (text[n])
        ++n;
    return n;
}

} // namespace addoscope::base
