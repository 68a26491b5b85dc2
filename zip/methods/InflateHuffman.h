#pragma once
// Two-level Huffman decoding tables for Deflate and Deflate64.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace addoscope::zip {

// A root table of 2^min(longest code length, RootBits) entries (fewer for a
// code of a few symbols with a long one among them), indexed by
// the next input bits in stream order (least significant bit first), and
// for each root index that longer codes share, a subtable indexed by the
// bits after the root's, just large enough for the longest code under it.
// A block header of a few bytes can declare a 15-bit code; sizing one table
// by the longest code would make every such header cost 32,768 entries,
// while this way building costs at most the root plus the entries the
// declared long codes actually need.
//
// Lookup answers the entry of the code the bits start with: the symbol in
// bits 0-15, the code length in bits 16-23 and the symbol's count of extra
// bits in bits 24-31; bits no code reaches answer InvalidEntry.
class TDfDecodeHuffmanTree {
public:
    static constexpr uint32_t InvalidEntry = 0xFFFFFFFFu;
    static constexpr uint16_t InvalidSymbol = 0xFFFF;
    static constexpr int RootBits = 10;

    struct TFastCoding;
    // Builds the canonical code of RFC 1951 from the code lengths (0 = not
    // used). `extraBits` gives each symbol's extra-bit count (may be null).
    // Incomplete codes are accepted (unreached entries stay invalid); an
    // over-subscribed set raises EArcInternalInflateError, since no encoder
    // can have produced it and its table would be garbage. Lengths above
    // `maxCodeLength` are a programming error. With `fast`, the fast table
    // (below) is built in the same pass; without it, FastTable() is empty.
    void Build(const uint8_t* lengths, int count, const uint8_t* extraBits, int maxCodeLength,
               const TFastCoding* fast = nullptr);

    uint32_t Lookup(uint64_t bits) const
    {
        const uint32_t entry = FTable[static_cast<size_t>(bits & FMask)];
        if (!IsLink(entry))
            return entry;
        const uint64_t subIndex = (bits >> FRootBits) & ((uint64_t(1) << (entry >> 24)) - 1);
        return FTable[(entry & 0xFFFF) + static_cast<size_t>(subIndex)];
    }

    // The root entries again, rewritten for the decoder's hot loop and
    // small enough to stay in the processor's nearest cache: a literal
    // carries LiteralFlag and its byte, end-of-block EndFlag, a length or
    // distance its base value in place of the symbol (bits 0-15) with code
    // length and extra bits where the full entry has them. Codes longer
    // than the root and symbols the method does not allow are
    // InvalidEntry: the decoder then converts the full table's entry with
    // FastEntry, so every symbol is still resolved by the table that
    // defines it.
    static constexpr int FastBits = 10;
    static constexpr uint32_t LiteralFlag = 1u << 29;
    static constexpr uint32_t EndFlag = 1u << 30;
    const uint32_t* FastTable() const { return FFast.data(); }
    uint32_t FastMask() const { return FFastMask; }

    // How symbols become fast entries: for each symbol, its fast entry
    // without the code length (bits 16-23 clear), or InvalidEntry for
    // symbols the method does not allow. Coding() gives the four the
    // decoder uses.
    struct TFastCoding {
        const uint32_t* Templates;
    };
    static const TFastCoding& Coding(bool literals, bool deflate64);
    uint32_t FastEntry(uint32_t entry) const
    {
        return entry == InvalidEntry ? InvalidEntry : FCoding.Templates[Symbol(entry)] | (entry & 0x00FF0000u);
    }

    // The longest code length in use (0 for an empty code).
    int LongestCode() const { return FLongest; }

    static uint16_t Symbol(uint32_t entry) { return static_cast<uint16_t>(entry); }
    static unsigned CodeLength(uint32_t entry) { return (entry >> 16) & 0xFF; }
    static unsigned ExtraBits(uint32_t entry) { return entry >> 24; }

    // Table entries written by Build on this thread since it
    // started: lets tests check that building stays proportional to the
    // codes declared.
    static uint64_t EntriesBuilt();

private:
    // A root entry for codes longer than the root: code length 0, the
    // subtable's offset in bits 0-15 and its index width in bits 24-31.
    static bool IsLink(uint32_t entry) { return (entry & 0x00FF0000u) == 0; }

    // Root and subtables, one after the other.
    std::vector<uint32_t> FTable;
    uint32_t FMask = 0; // of the root
    int FRootBits = 0;
    std::vector<uint32_t> FFast;
    uint32_t FFastMask = 0;
    TFastCoding FCoding {};
    int FLongest = 0;
};

// The fixed codes of RFC 1951, built once and shared by every decode.
struct TDfFixedTables {
    TDfDecodeHuffmanTree Literals;        // Deflate: symbol 285 has no extra bits
    TDfDecodeHuffmanTree Literals64;      // Deflate64: symbol 285 has 16 extra bits
    TDfDecodeHuffmanTree Distances;       // 32 symbols of 5 bits; Deflate stops at 29
    TDfDecodeHuffmanTree Distances64;     // the same, all 32 valid
};
const TDfFixedTables& FixedTables();

// Per-symbol extra bits and bases (lengths from symbol 257, distances from 0).
extern const uint8_t LengthExtraBits[29];
extern const uint8_t LengthExtraBits64[29];
extern const uint16_t LengthBase[29];
extern const uint16_t LengthBase64[29];
extern const uint8_t DistanceExtraBits[32];
extern const uint32_t DistanceBase[32];

} // namespace addoscope::zip
