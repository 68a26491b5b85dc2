#include "zip/methods/InflateHuffman.h"

#include "base/Exception.h"
#include "zip/methods/Inflate.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace addoscope::zip {

const uint8_t LengthExtraBits[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                     2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
const uint8_t LengthExtraBits64[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                       2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 16};
const uint16_t LengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                 31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
const uint16_t LengthBase64[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                   31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 3};
const uint8_t DistanceExtraBits[32] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,  6,
                                       7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13, 14, 14};
const uint32_t DistanceBase[32] = {1,    2,    3,    4,    5,    7,     9,     13,    17,    25,    33,
                                   49,   65,   97,   129,  193,  257,   385,   513,   769,   1025,  1537,
                                   2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577, 32769, 49153};

namespace {

// Bytes with their bits in reverse order.
constexpr auto ReversedBytes = [] {
    std::array<uint8_t, 256> table {};
    for (unsigned b = 0; b < 256; ++b) {
        unsigned r = 0;
        for (unsigned i = 0; i < 8; ++i)
            r |= ((b >> i) & 1) << (7 - i);
        table[b] = static_cast<uint8_t>(r);
    }
    return table;
}();

// The low `length` bits of `code` in reverse order: Huffman codes are
// packed starting with their most significant bit, tables are indexed by
// input bits in stream order.
inline uint32_t ReverseBits(uint32_t code, int length)
{
    const uint32_t reversed16 = uint32_t(ReversedBytes[code & 0xFF]) << 8 | ReversedBytes[(code >> 8) & 0xFF];
    return reversed16 >> (16 - length);
}

thread_local uint64_t EntriesBuiltCounter = 0;

// Entries of a two-level table with `rootBits` (root and its fast copy
// counted twice): the root, plus a subtable per root index that longer
// codes share, as wide as the longest of them needs. Canonical codes of
// one length are consecutive, so each group is a run of the code order.
size_t TableCost(const int* lengthCount, int longest, int rootBits)
{
    size_t cost = size_t(2) << rootBits;
    uint32_t code = 0;
    uint32_t groupPrefix = 0xFFFFFFFFu;
    int groupLength = 0;
    for (int len = 1; len <= longest; ++len) {
        for (int k = 0; k < lengthCount[len]; ++k, ++code) {
            if (len <= rootBits)
                continue;
            const uint32_t prefix = code >> (len - rootBits);
            if (prefix != groupPrefix) {
                if (groupLength)
                    cost += size_t(1) << (groupLength - rootBits);
                groupPrefix = prefix;
            }
            groupLength = len;
        }
        code <<= 1;
    }
    if (groupLength)
        cost += size_t(1) << (groupLength - rootBits);
    return cost;
}

// The widest root (up to RootBits) serves the decoder's hot loop best, but
// a code of a few symbols with a long one among them, which only a tiny or
// a hostile block declares, would cost the whole root for each block: such
// codes take the root with the fewest entries to build. Codes of more
// symbols keep the widest, whose lookups rarely leave the root.
int ChooseRootBits(const int* lengthCount, int longest)
{
    constexpr int FewSymbols = 16;
    const int widest = std::min(longest, TDfDecodeHuffmanTree::RootBits);
    int symbols = 0;
    for (int len = 1; len <= longest; ++len)
        symbols += lengthCount[len];
    if (symbols > FewSymbols || widest <= 6)
        return widest;
    int best = widest;
    size_t bestCost = TableCost(lengthCount, longest, widest);
    for (int rootBits = widest - 1; rootBits >= 6; --rootBits) {
        const size_t cost = TableCost(lengthCount, longest, rootBits);
        if (cost < bestCost) {
            best = rootBits;
            bestCost = cost;
        }
    }
    return best;
}

} // namespace

void TDfDecodeHuffmanTree::Build(const uint8_t* lengths, int count, const uint8_t* extraBits, int maxCodeLength,
                                 const TFastCoding* fast)
{
    // The symbols are counted and sorted in four lanes over four parts of
    // the alphabet, each with counters of its own: a header may give every
    // symbol the same length, and one shared counter would then make each
    // step wait for the one before it.
    constexpr int Lanes = 4;
    const int part = count / Lanes;
    const auto laneStart = [&](int lane) { return lane * part; };
    int laneCount[Lanes][17] = {};
    for (int i = 0; i < part; ++i)
        for (int lane = 0; lane < Lanes; ++lane)
            ++laneCount[lane][std::min<int>(lengths[laneStart(lane) + i], 16)];
    for (int i = Lanes * part; i < count; ++i)
        ++laneCount[Lanes - 1][std::min<int>(lengths[i], 16)];
    int lengthCount[17] = {};
    for (int lane = 0; lane < Lanes; ++lane)
        for (int len = 1; len <= 16; ++len)
            lengthCount[len] += laneCount[lane][len];
    int longest = 0;
    for (int len = 1; len <= 16; ++len)
        if (lengthCount[len] != 0)
            longest = len;
    if (longest > maxCodeLength)
        base::RaiseAssertion("Huffman code length above the table's maximum", __FILE__, __LINE__);

    // Kraft sum in units of 2^-15: above 2^15 the set is over-subscribed.
    int32_t kraft = 0;
    for (int len = 1; len <= 15; ++len)
        kraft += lengthCount[len] << (15 - len);
    if (kraft > (1 << 15))
        throw EArcInternalInflateError("over-subscribed set of Huffman code lengths [BuildHuffmanTree]");
    FLongest = longest;
    FRootBits = ChooseRootBits(lengthCount, longest);
    const size_t rootSize = size_t(1) << FRootBits;
    FMask = static_cast<uint32_t>(rootSize - 1);

    // Symbols in canonical order: by code length, then by symbol; each
    // lane places its part after the parts before it.
    int laneOffset[Lanes][17];
    for (int len = 1, offset = 0; len <= 15; ++len) {
        for (int lane = 0; lane < Lanes; ++lane) {
            laneOffset[lane][len] = offset;
            offset += laneCount[lane][len];
        }
    }
    int sorted[288];
    for (int i = 0; i < part; ++i) {
        for (int lane = 0; lane < Lanes; ++lane) {
            const int symbol = laneStart(lane) + i;
            if (const uint8_t len = lengths[symbol])
                sorted[laneOffset[lane][len]++] = symbol;
        }
    }
    for (int symbol = Lanes * part; symbol < count; ++symbol)
        if (const uint8_t len = lengths[symbol])
            sorted[laneOffset[Lanes - 1][len]++] = symbol;
    const auto entryOf = [&](int symbol, int len) {
        return uint32_t(symbol) | uint32_t(len) << 16 | uint32_t(extraBits ? extraBits[symbol] : 0) << 24;
    };

    // The root grows one bit at a time: doubling a table of 2^(len-1)
    // entries repeats every shorter code in the new half, and the codes of
    // length len then take their own entries, which no shorter code can
    // hold since the set is prefix-free. Entries that stay invalid are
    // reached by no code. This writes each entry about once, in order, and
    // the fast table, when asked for, grows alongside: each symbol is
    // converted once, not each entry.
    if (fast)
        FCoding = *fast;
    FTable.resize(rootSize);
    FFast.resize(fast ? rootSize : 0);
    FFastMask = fast ? FMask : 0;
    uint32_t* const table = FTable.data();
    uint32_t* const fastTable = FFast.data();
    table[0] = InvalidEntry;
    if (fast)
        fastTable[0] = InvalidEntry;
    uint32_t code = 0;
    int next = 0;
    for (int len = 1; len <= FRootBits; ++len) {
        const size_t half = size_t(1) << (len - 1);
        std::memcpy(table + half, table, half * sizeof(uint32_t));
        if (fast)
            std::memcpy(fastTable + half, fastTable, half * sizeof(uint32_t));
        for (int k = 0; k < lengthCount[len]; ++k, ++next, ++code) {
            const uint32_t index = ReverseBits(code, len);
            const uint32_t entry = entryOf(sorted[next], len);
            table[index] = entry;
            if (fast)
                fastTable[index] = fast->Templates[sorted[next]] | uint32_t(len) << 16;
        }
        code <<= 1;
    }
    size_t written = fast ? 2 * rootSize : rootSize;

    // Longer codes, still in canonical order, so those sharing a root index
    // (their first FRootBits bits) come one after the other, shortest first.
    // Each group gets a subtable as wide as its last, longest code needs.
    int longCodes = 0;
    uint32_t reversed[288];
    int codeLength[288];
    for (int len = FRootBits + 1; len <= longest; ++len) {
        for (int k = 0; k < lengthCount[len]; ++k, ++code, ++longCodes) {
            reversed[longCodes] = ReverseBits(code, len);
            codeLength[longCodes] = len;
        }
        code <<= 1;
    }
    for (int first = 0; first < longCodes;) {
        const uint32_t root = reversed[first] & FMask;
        int last = first;
        while (last + 1 < longCodes && (reversed[last + 1] & FMask) == root)
            ++last;
        const int subBits = codeLength[last] - FRootBits;
        const size_t subStart = FTable.size();
        const size_t subSize = size_t(1) << subBits;
        FTable.resize(subStart + subSize, InvalidEntry);
        FTable[root] = static_cast<uint32_t>(subStart) | uint32_t(subBits) << 24;
        if (fast)
            FFast[root] = InvalidEntry; // resolved through the subtable
        for (int i = first; i <= last; ++i) {
            const size_t step = size_t(1) << (codeLength[i] - FRootBits);
            const uint32_t entry = entryOf(sorted[next + i], codeLength[i]);
            for (size_t index = reversed[i] >> FRootBits; index < subSize; index += step)
                FTable[subStart + index] = entry;
        }
        written += subSize;
        first = last + 1;
    }
    EntriesBuiltCounter += written;
}

namespace {

// Literal/length symbols (the fixed code has 288) and distance symbols
// (32), as fast entries without their code length.
struct TFastTemplates {
    uint32_t Literals[288];
    uint32_t Literals64[288];
    uint32_t Distances[32];
    uint32_t Distances64[32];
};

TFastTemplates MakeFastTemplates()
{
    using Tree = TDfDecodeHuffmanTree;
    TFastTemplates t {};
    for (unsigned symbol = 0; symbol < 288; ++symbol) {
        if (symbol < 256) {
            t.Literals[symbol] = t.Literals64[symbol] = Tree::LiteralFlag | symbol;
        } else if (symbol == 256) {
            t.Literals[symbol] = t.Literals64[symbol] = Tree::EndFlag;
        } else if (symbol <= 285) {
            t.Literals[symbol] = LengthBase[symbol - 257] | uint32_t(LengthExtraBits[symbol - 257]) << 24;
            t.Literals64[symbol] = LengthBase64[symbol - 257] | uint32_t(LengthExtraBits64[symbol - 257]) << 24;
        } else {
            t.Literals[symbol] = t.Literals64[symbol] = Tree::InvalidEntry;
        }
    }
    for (unsigned symbol = 0; symbol < 32; ++symbol) {
        const uint32_t entry = DistanceBase[symbol] | uint32_t(DistanceExtraBits[symbol]) << 24;
        t.Distances[symbol] = symbol <= 29 ? entry : Tree::InvalidEntry;
        t.Distances64[symbol] = entry;
    }
    return t;
}

} // namespace

const TDfDecodeHuffmanTree::TFastCoding& TDfDecodeHuffmanTree::Coding(bool literals, bool deflate64)
{
    // Made on first use, which may come from the fixed tables' own
    // initialisation.
    static const TFastTemplates templates = MakeFastTemplates();
    static const TFastCoding codings[4] = {
        {templates.Distances}, {templates.Distances64}, {templates.Literals}, {templates.Literals64}};
    return codings[(literals ? 2 : 0) + (deflate64 ? 1 : 0)];
}

uint64_t TDfDecodeHuffmanTree::EntriesBuilt()
{
    return EntriesBuiltCounter;
}

namespace {

TDfFixedTables BuildFixedTables()
{
    TDfFixedTables tables;
    uint8_t lengths[288];
    std::fill(lengths, lengths + 144, 8);
    std::fill(lengths + 144, lengths + 256, 9);
    std::fill(lengths + 256, lengths + 280, 7);
    std::fill(lengths + 280, lengths + 288, 8);
    uint8_t extra[288] = {};
    std::memcpy(extra + 257, LengthExtraBits, sizeof LengthExtraBits);
    tables.Literals.Build(lengths, 288, extra, 15, &TDfDecodeHuffmanTree::Coding(true, false));
    std::memcpy(extra + 257, LengthExtraBits64, sizeof LengthExtraBits64);
    tables.Literals64.Build(lengths, 288, extra, 15, &TDfDecodeHuffmanTree::Coding(true, true));
    uint8_t distLengths[32];
    std::fill(distLengths, distLengths + 32, 5);
    tables.Distances.Build(distLengths, 32, DistanceExtraBits, 15, &TDfDecodeHuffmanTree::Coding(false, false));
    tables.Distances64.Build(distLengths, 32, DistanceExtraBits, 15, &TDfDecodeHuffmanTree::Coding(false, true));
    return tables;
}

// Built while the module loads and only read afterwards, so concurrent
// decodes share them without a lock.
const TDfFixedTables FixedTablesInstance = BuildFixedTables();

} // namespace

const TDfFixedTables& FixedTables()
{
    return FixedTablesInstance;
}

} // namespace addoscope::zip
