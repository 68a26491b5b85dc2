// Method 6, implode: LZ77 over a 4 KiB or 8 KiB dictionary whose lengths,
// distance high bits and (optionally) literals are coded with Shannon-Fano
// trees stored at the start of the item.
#include "base/Budget.h"
#include "zip/methods/UnzipHelper.h"
#include "zip/ZipErrors.h"

#include <algorithm>
#include <array>
#include <memory>
#include <numeric>
#include <string>

namespace addoscope::zip {

namespace {

constexpr int MaxCodeLength = 16;

[[noreturn]] void CorruptImplode(const char* what)
{
    throw EZipException(std::string("Corrupt imploded data: ") + what);
}

} // namespace

// Decoding form of one tree. Within each length the codes are consecutive,
// so a code is found by comparing the bits read so far, most significant
// first, with the range of codes of that length.
struct TShannonFanoTree {
    std::array<uint32_t, MaxCodeLength + 1> First{};
    std::array<uint16_t, MaxCodeLength + 1> Count{};
    std::array<uint16_t, MaxCodeLength + 1> Offset{};
    std::array<uint8_t, 256> Symbols{}; // by length, then by code
    // Indexed by the next 8 input bits: code length << 8 | value for the
    // codes of up to 8 bits, 0 where a longer code starts.
    std::array<uint16_t, 256> Fast{};
};

namespace {

constexpr int FastBits = 8;

uint32_t ReverseBits(uint32_t code, int length)
{
    uint32_t reversed = 0;
    for (int i = 0; i < length; ++i, code >>= 1)
        reversed = reversed << 1 | (code & 1);
    return reversed;
}

} // namespace

// The tree description is a byte count less one, then bytes whose low
// nibble is a code length less one and whose high nibble is how many
// successive values (less one) have that length.
bool TUnzipHelper::ReadShannonFanoTree(TShannonFanoTree& tree, int valueCount)
{
    std::array<uint8_t, 256> lengths{};
    const int bytes = static_cast<int>(ReadBits(8)) + 1;
    int filled = 0;
    for (int i = 0; i < bytes; ++i) {
        const int b = static_cast<int>(ReadBits(8));
        const int length = (b & 0x0F) + 1;
        const int count = (b >> 4) + 1;
        if (!FBitSValid)
            return false;
        if (filled + count > valueCount)
            CorruptImplode("tree describes too many values");
        std::fill_n(lengths.begin() + filled, count, static_cast<uint8_t>(length));
        filled += count;
    }
    if (filled != valueCount)
        CorruptImplode("tree describes too few values");

    // Values in ascending order of length (stable); codes are handed out
    // from the longest to the shortest, left-aligned in 16 bits, each
    // length's codes counting up from where the longer ones ended.
    std::array<uint8_t, 256> order{};
    std::iota(order.begin(), order.begin() + valueCount, 0);
    std::stable_sort(order.begin(), order.begin() + valueCount,
                     [&](uint8_t a, uint8_t b) { return lengths[a] < lengths[b]; });
    tree.Count.fill(0);
    tree.Fast.fill(0);
    uint32_t code = 0;
    uint32_t increment = 0;
    int lastLength = 0;
    int symbol = 0;
    for (int i = valueCount - 1; i >= 0; --i) {
        const int value = order[static_cast<size_t>(i)];
        const int length = lengths[static_cast<size_t>(value)];
        code += increment;
        if (length != lastLength) {
            lastLength = length;
            increment = 1u << (MaxCodeLength - length);
            tree.First[static_cast<size_t>(length)] = code >> (MaxCodeLength - length);
            tree.Offset[static_cast<size_t>(length)] = static_cast<uint16_t>(symbol);
        }
        if (code > 0xFFFF)
            CorruptImplode("over-subscribed tree");
        tree.Symbols[static_cast<size_t>(symbol++)] = static_cast<uint8_t>(value);
        ++tree.Count[static_cast<size_t>(length)];
        if (length <= FastBits) {
            // The code's first bit is its most significant one. Longer
            // codes come first, so in a damaged tree a shorter code wins, as
            // it does in the bit-by-bit search.
            const uint32_t first = ReverseBits(code >> (MaxCodeLength - length), length);
            for (uint32_t rest = 0; rest < (1u << (FastBits - length)); ++rest)
                tree.Fast[static_cast<size_t>(first | rest << length)] = static_cast<uint16_t>(length << 8 | value);
        }
    }
    return true;
}

int TUnzipHelper::DecodeShannonFano(const TShannonFanoTree& tree)
{
    const uint16_t fast = tree.Fast[PeekBits(FastBits)];
    if (fast != 0) {
        DropBits(fast >> 8);
        return fast & 0xFF;
    }
    uint32_t code = 0;
    for (int length = 1; length <= MaxCodeLength; ++length) {
        code = (code << 1) | ReadBits(1);
        const uint32_t index = code - tree.First[static_cast<size_t>(length)];
        if (code >= tree.First[static_cast<size_t>(length)] && index < tree.Count[static_cast<size_t>(length)])
            return tree.Symbols[tree.Offset[static_cast<size_t>(length)] + index];
    }
    if (!FBitSValid)
        return 0;
    CorruptImplode("no code matches the input");
}

void TUnzipHelper::Explode()
{
    const bool literalTree = FShannonFanoTreeCount == 3;
    const int minMatch = literalTree ? 3 : 2;
    const int lowDistanceBits = FDictionarySize == TZipDictionarySize::ds8K ? 7 : 6;

    auto literals = std::make_unique<TShannonFanoTree>();
    auto lengths = std::make_unique<TShannonFanoTree>();
    auto distances = std::make_unique<TShannonFanoTree>();
    if (literalTree && !ReadShannonFanoTree(*literals, 256))
        return;
    if (!ReadShannonFanoTree(*lengths, 64) || !ReadShannonFanoTree(*distances, 64))
        return;

    while (!OutputDone()) {
        base::BudgetTick();
        if (ReadBits(1) != 0) {
            const int literal = literalTree ? DecodeShannonFano(*literals) : static_cast<int>(ReadBits(8));
            if (!FBitSValid)
                break;
            PutByte(static_cast<uint8_t>(literal));
        } else {
            const int low = static_cast<int>(ReadBits(lowDistanceBits));
            const int high = DecodeShannonFano(*distances);
            int length = DecodeShannonFano(*lengths);
            if (length == 63)
                length += static_cast<int>(ReadBits(8));
            if (!FBitSValid)
                break;
            CopyMatch((high << lowDistanceBits | low) + 1, length + minMatch);
        }
    }
}

} // namespace addoscope::zip
