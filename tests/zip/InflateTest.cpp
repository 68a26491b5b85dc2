#include "zip/methods/Inflate.h"

#include "DeflateTestEncoder.h"
#include "base/Crc32.h"
#include "base/MemoryStream.h"
#include "zip/methods/InflateHuffman.h"
#include "zip/ZipErrors.h"

#include <gtest/gtest.h>

#include <random>

using namespace addoscope;
using namespace addoscope::zip;
using namespace addoscope::ziptest;

namespace {

struct TResult {
    std::string Output;
    std::string Error; // empty on success
    uint32_t Crc = 0;
    TDeflateHelper Helper;
};

TResult RunInflate(const std::string& compressed, bool deflate64 = false)
{
    base::TMemoryStream source;
    source.LoadFromBuffer(compressed.data(), compressed.size());
    base::TMemoryStream target;
    TResult r;
    if (deflate64)
        r.Helper.FOptions |= DeflateOptDeflate64;
    try {
        r.Crc = Inflate(source, target, &r.Helper);
    } catch (const EArcInflateError& e) {
        r.Error = e.Message();
    }
    r.Output.assign(reinterpret_cast<const char*>(target.Memory()), static_cast<size_t>(target.Size()));
    return r;
}

const std::string Prefix = "Inflate error, possibly a corrupted compressed stream. (Internal cause: ";

std::string Wrapped(const std::string& cause)
{
    return Prefix + cause + ")";
}

TToken Lit(int c)
{
    return TToken {c, 0, 0};
}
TToken Match(uint32_t length, uint32_t distance)
{
    return TToken {-1, length, distance};
}

// Random tokens whose matches stay inside what was produced; long matches
// and short periods (distances below 8 and 16) are favoured since they take
// different copy paths.
std::vector<TToken> RandomTokens(std::mt19937& rng, size_t outputSize, bool deflate64, size_t produced)
{
    std::vector<TToken> tokens;
    const uint32_t maxDistance = deflate64 ? 65536 : 32768;
    const uint32_t maxLength = deflate64 ? 65538 : 258;
    size_t made = 0;
    while (made < outputSize) {
        const uint32_t kind = rng() % 10;
        const size_t history = produced + made;
        if (kind < 4 || history == 0) {
            tokens.push_back(Lit(static_cast<int>(rng() % 256)));
            ++made;
            continue;
        }
        uint32_t distance;
        if (kind < 6)
            distance = 1 + rng() % 16;
        else
            distance = 1 + rng() % maxDistance;
        distance = static_cast<uint32_t>(std::min<size_t>(distance, history));
        uint32_t length = 3 + rng() % 256;
        if (kind == 9)
            length = deflate64 ? 3 + rng() % (maxLength - 2) : 258;
        tokens.push_back(Match(length, distance));
        made += length;
    }
    return tokens;
}

// Random code lengths of 1-15 bits for `count` symbols, every symbol coded:
// a complete or incomplete prefix code with many codes longer than the
// decoder's first table level.
std::vector<uint8_t> RandomLengths(std::mt19937& rng, size_t count)
{
    std::vector<uint8_t> lengths(count);
    int64_t budget = int64_t(1) << 15; // Kraft sum left, in units of 2^-15
    for (size_t i = 0; i < count; ++i) {
        const int64_t reserve = static_cast<int64_t>(count - i - 1); // one 15-bit code each
        int len = 1 + static_cast<int>(rng() % 15);
        while ((int64_t(1) << (15 - len)) > budget - reserve)
            ++len;
        lengths[i] = static_cast<uint8_t>(len);
        budget -= int64_t(1) << (15 - len);
    }
    std::shuffle(lengths.begin(), lengths.end(), rng);
    return lengths;
}

} // namespace

// Mixed stored, fixed and dynamic blocks, long enough for several window
// slides, decoded byte for byte under both methods; the answer is the CRC.
TEST(InflateTest, RandomBlocksRoundTripUnderBothMethods)
{
    for (bool deflate64 : {false, true}) {
        std::mt19937 rng(deflate64 ? 64 : 8);
        TDeflateTestEncoder enc(deflate64);
        std::string expected;
        std::vector<uint8_t> lit(286, 9), dist(deflate64 ? 32 : 30, 5);
        for (int i = 256; i < 286; ++i)
            lit[i] = 6; // 256/512 + 30/64: an incomplete but valid code
        for (int block = 0; block < 12; ++block) {
            const bool final = block == 11;
            if (block % 3 == 0) {
                std::string raw;
                for (int i = 0; i < 3000 + block * 100; ++i)
                    raw += static_cast<char>(rng());
                enc.StoredBlock(raw, final);
                expected += raw;
                continue;
            }
            const auto tokens = RandomTokens(rng, 40000, deflate64, expected.size());
            if (block % 3 == 1)
                enc.FixedBlock(tokens, final);
            else if (block == 2)
                enc.DynamicBlock(lit, dist, tokens, final);
            else // codes up to 15 bits, through the second table level
                enc.DynamicBlock(RandomLengths(rng, 286), RandomLengths(rng, dist.size()), tokens, final);
            ApplyTokens(expected, tokens);
        }
        const TResult r = RunInflate(enc.Finish(), deflate64);
        ASSERT_EQ(r.Error, "") << deflate64;
        ASSERT_EQ(r.Output.size(), expected.size());
        EXPECT_TRUE(r.Output == expected) << deflate64;
        EXPECT_EQ(r.Crc, base::Crc32(expected.data(), expected.size()));
        EXPECT_EQ(r.Helper.FSizeNormal, static_cast<int64_t>(expected.size()));
        EXPECT_GT(r.Helper.FSizeCompressed, 0);
    }
}

TEST(InflateTest, EmptyFinalBlocksOfEachType)
{
    {
        TDeflateTestEncoder enc;
        enc.StoredBlock("", true);
        EXPECT_EQ(RunInflate(enc.Finish()).Output, "");
    }
    {
        TDeflateTestEncoder enc;
        enc.FixedBlock({}, true);
        const TResult r = RunInflate(enc.Finish());
        EXPECT_EQ(r.Error, "");
        EXPECT_EQ(r.Crc, 0u);
    }
}

TEST(InflateTest, LengthSymbol285DependsOnTheMethod)
{
    {
        TDeflateTestEncoder enc;
        enc.FixedBlock({Lit('a'), Match(258, 1)}, true);
        const TResult r = RunInflate(enc.Finish());
        EXPECT_EQ(r.Output, std::string(259, 'a'));
    }
    for (uint32_t length : {3u, 1003u, 65538u}) {
        // Symbol 285 followed by 16 extra bits: length 3 + extra.
        TDeflateTestEncoder enc(true);
        enc.FixedBlock({}, true, false);
        enc.Symbol('x');
        enc.Symbol(285);
        enc.W.Bits(length - 3, 16);
        enc.DistanceSymbol(0);
        enc.Symbol(256);
        const TResult r = RunInflate(enc.Finish(), true);
        EXPECT_EQ(r.Error, "");
        EXPECT_EQ(r.Output, std::string(length + 1, 'x')) << length;
    }
}

TEST(InflateTest, Deflate64DistancesBeyond32K)
{
    std::mt19937 rng(1);
    std::string block(35000, '\0');
    for (auto& c : block)
        c = static_cast<char>(rng());
    TDeflateTestEncoder enc(true);
    enc.StoredBlock(block, false);
    enc.StoredBlock(block, false);
    block += block;
    enc.FixedBlock({Match(300, 50000), Match(10, 65536)}, true);
    std::string expected = block;
    ApplyTokens(expected, {Match(300, 50000), Match(10, 65536)});
    const TResult r = RunInflate(enc.Finish(), true);
    EXPECT_EQ(r.Error, "");
    EXPECT_TRUE(r.Output == expected);

    // The same distance symbol is not Deflate.
    TDeflateTestEncoder plain;
    plain.StoredBlock(block.substr(0, 35000), false);
    plain.FixedBlock({}, true, false);
    plain.Symbol(257);
    plain.DistanceSymbol(30);
    EXPECT_EQ(RunInflate(plain.Finish()).Error,
              Wrapped("decoded an invalid distance symbol: greater than 29 [DecodeData]"));
}

TEST(InflateTest, MissingFinalBlockKeepsTheFlushedSlides)
{
    // 100,000 bytes in non-final blocks and nothing after them.
    std::string expected;
    TDeflateTestEncoder enc;
    std::vector<TToken> tokens {Lit('z')};
    for (int i = 0; i < 387; ++i)
        tokens.push_back(Match(258, 1));
    ApplyTokens(expected, tokens);
    enc.FixedBlock(tokens, false);
    const TResult r = RunInflate(enc.Finish());
    EXPECT_EQ(r.Error.rfind(Prefix + "no more compressed data in stream [TDfInBitStream.", 0), 0u) << r.Error;
    // Only whole 32 KiB slides reached the target.
    EXPECT_EQ(r.Output.size() % 32768, 0u);
    EXPECT_GE(r.Output.size(), 32768u);
    EXPECT_EQ(r.Output, expected.substr(0, r.Output.size()));

    // Cut inside a stored block, and after a block header.
    TDeflateTestEncoder stored;
    stored.StoredBlock(std::string(1000, 's'), true);
    const std::string bytes = stored.Finish();
    EXPECT_EQ(RunInflate(bytes.substr(0, 500)).Error,
              Wrapped("no more compressed data in stream [TDfInBitStream.ReadBuffer]"));
    EXPECT_NE(RunInflate(bytes.substr(0, 3)).Error.find("no more compressed data"), std::string::npos);
    EXPECT_NE(RunInflate("").Error.find("no more compressed data"), std::string::npos);
}

TEST(InflateTest, CorruptBlockHeaders)
{
    {
        TBitWriter w;
        w.Bits(1, 1);
        w.Bits(3, 2);
        EXPECT_EQ(RunInflate(w.Finish()).Error, Wrapped("starting new block, but invalid block type [Inflate]"));
    }
    {
        TBitWriter w;
        w.Bits(1, 1);
        w.Bits(0, 2);
        w.AlignToByte();
        w.Bits(5, 16);
        w.Bits(5, 16);
        EXPECT_EQ(RunInflate(w.Finish()).Error,
                  Wrapped("invalid stored block (length and NOT length do not match) [InflateStoredBlock]"));
    }
    {
        TBitWriter w; // HLIT 30 + 257 = 287
        w.Bits(1, 1);
        w.Bits(2, 2);
        w.Bits(30, 5);
        w.Bits(0, 5);
        w.Bits(0, 4);
        EXPECT_EQ(RunInflate(w.Finish()).Error,
                  Wrapped("count of literal codes in dynamic block is greater than 286 [InflateDynamicBlock]"));
    }
    {
        // 32 distance codes: refused by Deflate, accepted by Deflate64.
        std::vector<uint8_t> lit(286, 9), dist(32, 5);
        for (int i = 256; i < 286; ++i)
            lit[i] = 6;
        for (bool deflate64 : {false, true}) {
            TDeflateTestEncoder enc(deflate64);
            enc.DynamicBlock(lit, dist, {Lit('q'), Match(4, 1)}, true);
            const TResult r = RunInflate(enc.Finish(), deflate64);
            if (deflate64)
                EXPECT_EQ(r.Output, "qqqqq");
            else
                EXPECT_EQ(r.Error, Wrapped("count of distance codes in dynamic block is greater than 30 "
                                           "[InflateDynamicBlock]"));
        }
    }
}

TEST(InflateTest, CorruptCodeLengths)
{
    std::vector<uint8_t> lit(286, 9), dist(30, 5);
    for (int i = 256; i < 286; ++i)
        lit[i] = 6;
    auto header = [](TBitWriter& w, std::vector<uint8_t> clLengths) {
        w.Bits(1, 1);
        w.Bits(2, 2);
        w.Bits(286 - 257, 5);
        w.Bits(30 - 1, 5);
        w.Bits(19 - 4, 4);
        static const int order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
        for (int i = 0; i < 19; ++i)
            w.Bits(clLengths[order[i]], 3);
    };
    {
        // Only symbols 0 and 1 have codes (00 and 01): 11 reaches nothing.
        TBitWriter w;
        std::vector<uint8_t> cl(19, 0);
        cl[0] = 2;
        cl[1] = 2;
        header(w, cl);
        w.Code(3, 2);
        EXPECT_EQ(RunInflate(w.Finish() + std::string(8, '\xFF')).Error,
                  Wrapped("decoded a symbol not between 0 and 18 {ReadLitDistCodeLengths}"));
    }
    auto repeatCase = [&](int symbol, uint32_t extra, int extraBits, int before) {
        TDeflateTestEncoder enc;
        TBitWriter& w = enc.W;
        w.Bits(1, 1);
        w.Bits(2, 2);
        w.Bits(286 - 257, 5);
        w.Bits(30 - 1, 5);
        w.Bits(19 - 4, 4);
        for (int i = 0; i < 19; ++i)
            w.Bits(5, 3);
        const auto codes = CanonicalCodes(std::vector<uint8_t>(19, 5));
        for (int i = 0; i < before; ++i)
            w.Code(codes[8], 5);
        w.Code(codes[symbol], 5);
        w.Bits(extra, extraBits);
        return RunInflate(w.Finish() + std::string(64, '\0'));
    };
    EXPECT_NE(repeatCase(16, 0, 2, 0).Error.find("{ReadLitDistCodeLengths}"), std::string::npos);
    EXPECT_NE(repeatCase(18, 127, 7, 200).Error.find("{ReadLitDistCodeLengths}"), std::string::npos);
    EXPECT_NE(repeatCase(16, 3, 2, 311).Error.find("{ReadLitDistCodeLengths}"), std::string::npos);
    // Exactly reaching the end is fine: the failure then comes later.
    EXPECT_EQ(repeatCase(16, 3, 2, 310).Error.find("{ReadLitDistCodeLengths}"), std::string::npos);

    {
        // Over-subscribed literal lengths: every symbol with 1 bit.
        std::vector<uint8_t> bad(286, 1);
        TDeflateTestEncoder enc;
        enc.DynamicHeader(bad, dist, true);
        EXPECT_NE(RunInflate(enc.Finish() + std::string(8, '\0')).Error.find("over-subscribed"), std::string::npos);
    }
}

TEST(InflateTest, UnreachableSymbolsAndDistances)
{
    std::vector<uint8_t> dist(30, 5);
    {
        // Only 'a' (1 bit) and end-of-block (2 bits): code 11 is unreached.
        std::vector<uint8_t> lit(257, 0);
        lit['a'] = 1;
        lit[256] = 2;
        TDeflateTestEncoder enc;
        enc.DynamicBlock(lit, dist, {Lit('a')}, true, false);
        enc.W.Code(3, 2);
        const TResult r = RunInflate(enc.Finish() + std::string(32, '\xFF'));
        EXPECT_EQ(r.Error, Wrapped("decoded an invalid length symbol: greater than 285 [DecodeData]"));
    }
    {
        // A match in a block whose distance code is empty.
        std::vector<uint8_t> lit(258, 0), noDist(1, 0);
        lit['a'] = 1;
        lit[256] = 2;
        lit[257] = 2;
        TDeflateTestEncoder enc;
        enc.DynamicBlock(lit, noDist, {Lit('a')}, true, false);
        enc.Symbol(257);
        EXPECT_EQ(RunInflate(enc.Finish() + std::string(32, '\0')).Error,
                  Wrapped("decoded an invalid distance symbol: greater than 29 [DecodeData]"));
    }
    {
        // Fixed codes 286 and 287 exist but mean nothing.
        TDeflateTestEncoder enc;
        enc.FixedBlock({}, true, false);
        enc.Symbol(286);
        EXPECT_EQ(RunInflate(enc.Finish() + std::string(32, '\0')).Error,
                  Wrapped("decoded an invalid length symbol: greater than 285 [DecodeData]"));
    }
}

TEST(InflateTest, DistanceBeforeTheStartOfTheOutput)
{
    for (bool padded : {false, true}) {
        TDeflateTestEncoder enc;
        enc.FixedBlock({Lit('a'), Lit('b'), Match(3, 3)}, true);
        // Padded input runs the fast path, unpadded the careful one.
        const TResult r = RunInflate(enc.Finish() + (padded ? std::string(64, '\0') : ""));
        EXPECT_NE(r.Error.find("[DecodeData]"), std::string::npos) << padded;
        EXPECT_EQ(r.Output, "");
    }
    // Exactly the bytes produced is allowed.
    TDeflateTestEncoder enc;
    enc.FixedBlock({Lit('a'), Lit('b'), Match(3, 2)}, true);
    EXPECT_EQ(RunInflate(enc.Finish()).Output, "ababa");
}

TEST(InflateTest, TablesFollowTheCanonicalCode)
{
    // Lengths 2,1,3,3 give codes 10, 0, 110, 111 (RFC 1951's example).
    const uint8_t lengths[4] = {2, 1, 3, 3};
    const uint8_t extra[4] = {0, 0, 7, 9};
    TDfDecodeHuffmanTree tree;
    tree.Build(lengths, 4, extra, 15);
    EXPECT_EQ(tree.LongestCode(), 3);
    // Input bits in stream order: code 110 arrives as bits 1,1,0 = index 0b011.
    EXPECT_EQ(TDfDecodeHuffmanTree::Symbol(tree.Lookup(0b011)), 2);
    EXPECT_EQ(TDfDecodeHuffmanTree::ExtraBits(tree.Lookup(0b011)), 7u);
    EXPECT_EQ(TDfDecodeHuffmanTree::Symbol(tree.Lookup(0b111)), 3);
    EXPECT_EQ(TDfDecodeHuffmanTree::Symbol(tree.Lookup(0b001)), 0);
    EXPECT_EQ(TDfDecodeHuffmanTree::CodeLength(tree.Lookup(0b001)), 2u);
    for (uint32_t bits : {0b000u, 0b010u, 0b100u, 0b110u})
        EXPECT_EQ(TDfDecodeHuffmanTree::Symbol(tree.Lookup(bits)), 1);
    // An incomplete code leaves invalid entries; a too-long code is a
    // programming error.
    const uint8_t single[2] = {1, 0};
    tree.Build(single, 2, nullptr, 15);
    EXPECT_EQ(tree.Lookup(1), TDfDecodeHuffmanTree::InvalidEntry);
    const uint8_t tooLong[1] = {8};
    EXPECT_THROW(tree.Build(tooLong, 1, nullptr, 7), base::EAssertionFailed);
}

// Every 15-bit input, looked up through both table levels, against a flat
// table filled code by code.
TEST(InflateTest, TwoLevelLookupMatchesAFlatTable)
{
    std::mt19937 rng(15);
    for (int round = 0; round < 40; ++round) {
        const size_t count = round % 2 ? 286 : 2 + rng() % 40;
        std::vector<uint8_t> lengths = RandomLengths(rng, count);
        for (size_t i = 0; i < count; ++i)
            if (rng() % 5 == 0)
                lengths[i] = 0; // unused symbols leave the code incomplete
        std::vector<uint8_t> extra(count);
        for (auto& e : extra)
            e = static_cast<uint8_t>(rng() % 17);
        TDfDecodeHuffmanTree tree;
        tree.Build(lengths.data(), static_cast<int>(count), extra.data(), 15);

        std::vector<uint32_t> flat(1u << 15, TDfDecodeHuffmanTree::InvalidEntry);
        const std::vector<uint32_t> codes = CanonicalCodes(lengths);
        for (size_t symbol = 0; symbol < count; ++symbol) {
            const int len = lengths[symbol];
            if (len == 0)
                continue;
            uint32_t reversed = 0;
            for (int b = 0; b < len; ++b)
                reversed |= ((codes[symbol] >> (len - 1 - b)) & 1) << b;
            for (uint32_t high = 0; high < (1u << (15 - len)); ++high)
                flat[reversed | high << len] = uint32_t(symbol) | uint32_t(len) << 16 | uint32_t(extra[symbol]) << 24;
        }
        for (uint32_t bits = 0; bits < flat.size(); ++bits)
            ASSERT_EQ(tree.Lookup(bits | 0xABCD0000u << 3), flat[bits]) << round << " " << bits;
    }
}

// Block headers of a few bytes may declare 15-bit codes; building their
// tables must cost a bounded number of entries per block, not 2^15, or a
// small package of such blocks would take seconds to decode.
TEST(InflateTest, TinyBlocksWithLongCodesCostBoundedWork)
{
    std::vector<uint8_t> lit(257, 0), dist(1, 15);
    lit['a'] = 1;
    lit[256] = 2;
    lit['b'] = 15;
    constexpr int Blocks = 3000;
    TDeflateTestEncoder enc;
    for (int i = 0; i < Blocks; ++i)
        enc.DynamicBlock(lit, dist, {Lit(i % 100 ? 'a' : 'b')}, i == Blocks - 1);
    const std::string compressed = enc.Finish();
    const uint64_t before = TDfDecodeHuffmanTree::EntriesBuilt();
    const TResult r = RunInflate(compressed);
    const uint64_t built = TDfDecodeHuffmanTree::EntriesBuilt() - before;
    ASSERT_EQ(r.Error, "");
    ASSERT_EQ(r.Output.size(), size_t(Blocks));
    EXPECT_EQ(r.Output[100], 'b');
    EXPECT_EQ(r.Output[101], 'a');
    // Per block: code-length table, then root, fast copy and one small
    // subtable for each of the literal and distance codes.
    const uint64_t perBlock = 32 + 2 * (2 * (1u << TDfDecodeHuffmanTree::RootBits) + 32);
    EXPECT_LE(built, Blocks * perBlock);
    EXPECT_LT(compressed.size(), size_t(Blocks) * 200);
}

namespace {

// Lengths of a complete prefix code of `count` symbols in which as many
// codes as possible have `longest` bits: what a header does that wants its
// tables as large as they can be.
std::vector<uint8_t> LongCompleteLengths(size_t count, int longest)
{
    std::vector<uint8_t> lengths;
    int64_t units = (int64_t(1) << longest) - static_cast<int64_t>(count); // Kraft room left
    for (size_t i = 0; i < count; ++i) {
        int len = 1;
        while (((int64_t(1) << (longest - len)) - 1) > units)
            ++len;
        units -= (int64_t(1) << (longest - len)) - 1;
        lengths.push_back(static_cast<uint8_t>(len));
    }
    return lengths;
}

} // namespace

// Blocks that hold nothing but their header, of every type, in long runs:
// the output and the end are those of the one literal after them, and a
// dynamic header costs table entries in proportion to the symbols it
// declares and the root, whatever code lengths it declares.
TEST(InflateTest, RunsOfEmptyBlocksOfEachType)
{
    constexpr int Blocks = 2000;
    const std::vector<uint8_t> lit = LongCompleteLengths(286, 15), dist = LongCompleteLengths(30, 15);
    for (int type = 0; type < 3; ++type) {
        for (bool deflate64 : {false, true}) {
            TDeflateTestEncoder enc(deflate64);
            for (int i = 0; i < Blocks; ++i) {
                if (type == 0)
                    enc.StoredBlock("", false);
                else if (type == 1)
                    enc.FixedBlock({}, false);
                else
                    enc.DynamicBlock(lit, dist, {}, false);
            }
            enc.FixedBlock({Lit('z')}, true);
            const std::string compressed = enc.Finish();
            const uint64_t before = TDfDecodeHuffmanTree::EntriesBuilt();
            const TResult r = RunInflate(compressed, deflate64);
            const uint64_t built = TDfDecodeHuffmanTree::EntriesBuilt() - before;
            EXPECT_EQ(r.Error, "") << type;
            EXPECT_EQ(r.Output, "z") << type;
            if (type < 2) {
                EXPECT_EQ(built, 0u) << type; // the fixed tables are shared
                continue;
            }
            // Per block: the code-length table, and for each of the other
            // two the root, its fast copy and subtables no larger in all
            // than two entries per declared symbol beyond a few hundred.
            const uint64_t root = 1u << TDfDecodeHuffmanTree::RootBits;
            const uint64_t perBlock = 128 + 2 * (2 * root + 512) + 2 * (286 + 30);
            EXPECT_LE(built, Blocks * perBlock);
        }
    }
    // The same header with one of its longest codes a bit shorter is
    // over-subscribed and refused at its first block.
    std::vector<uint8_t> tooMany = lit;
    ASSERT_EQ(tooMany.back(), 15);
    tooMany.back() = 14;
    TDeflateTestEncoder enc;
    enc.DynamicHeader(tooMany, dist, true);
    EXPECT_EQ(RunInflate(enc.Finish() + std::string(8, '\0')).Error,
              Wrapped("over-subscribed set of Huffman code lengths [BuildHuffmanTree]"));
}
