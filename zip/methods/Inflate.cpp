#include "zip/methods/Inflate.h"

#include "base/Budget.h"
#include "base/Crc32.h"
#include "zip/methods/InflateHuffman.h"
#include "zip/ZipErrors.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace addoscope::zip {

namespace {

constexpr size_t InputBufferSize = 16384;
constexpr size_t SlideSize = 32768;
// Bytes the fast match copy may write past a match's end.
constexpr size_t CopySlack = 16;

inline uint64_t LoadLE64(const uint8_t* p)
{
    uint64_t v;
    std::memcpy(&v, p, 8);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    v = __builtin_bswap64(v);
#endif
    return v;
}

[[noreturn]] void Corrupt(const char* message)
{
    throw EArcInternalInflateError(message);
}

// Copies a match of `length` bytes from `distance` back. Writes may run up
// to CopySlack bytes past the end; the window leaves room for that.
inline uint8_t* CopyMatch(uint8_t* out, size_t distance, size_t length)
{
    const uint8_t* src = out - distance;
    uint8_t* const end = out + length;
    if (distance >= 16) {
        do {
            std::memcpy(out, src, 16);
            out += 16;
            src += 16;
        } while (out < end);
    } else if (distance >= 8) {
        do {
            std::memcpy(out, src, 8);
            out += 8;
            src += 8;
        } while (out < end);
    } else if (distance == 1) {
        std::memset(out, *src, length);
    } else {
        // Short period: repeat the pattern byte by byte.
        do
            *out++ = *src++;
        while (out < end);
    }
    return end;
}

// The decoder state: the bit reader over a 16 KiB input buffer and the
// output window that slides by 32 KiB.
class TInflater {
public:
    TInflater(base::TStream& source, base::TStream& target, uint32_t options)
        : FSource(source), FTarget(target), FDeflate64((options & DeflateOptDeflate64) != 0),
          FChecksum((options & DeflateOptNoChecksum) == 0),
          FSlidePoint(FDeflate64 ? 0x18000 : 0x10000),
          FMaxMatch(FDeflate64 ? 65538 : 258)
    {
        const size_t windowSize = FSlidePoint + FMaxMatch + CopySlack;
        FCharge.Resize(static_cast<int64_t>(InputBufferSize + windowSize));
        FInput.reset(new uint8_t[InputBufferSize]);
        FWindow.reset(new uint8_t[windowSize]);
    }

    uint32_t Run();

private:
    // ---- bit reader (careful path) ----
    bool FillBuffer();
    // At least `count` (at most 32) bits in the buffer; past the input's
    // end, zero bits (counted in FPadBits).
    void NeedBits(unsigned count)
    {
        if (FBitCount >= count)
            return;
        if (FInEnd - FInPos >= 8) {
            // Whole bytes up to a full buffer at once; the bits above the
            // count stay zero, as the byte-wise path leaves them.
            const unsigned bytes = (63 - FBitCount) >> 3;
            FBitBuf |= LoadLE64(FInput.get() + FInPos) << FBitCount;
            FInPos += bytes;
            FBitCount += bytes * 8;
            FBitBuf &= (uint64_t(1) << FBitCount) - 1;
            return;
        }
        NeedBitsNearEnd(count);
    }
    void NeedBitsNearEnd(unsigned count);
    void CheckOverrun(const char* where) const
    {
        if (FBitCount < FPadBits)
            NoMoreData(where);
    }
    [[noreturn]] static void NoMoreData(const char* where);
    uint32_t ReadBits(unsigned count);
    uint32_t DecodeCareful(const TDfDecodeHuffmanTree& tree, bool& invalid);
    void Consume(unsigned count)
    {
        FBitBuf >>= count;
        FBitCount -= count;
    }

    // ---- window ----
    void Slide();
    void Flush(size_t count);

    // ---- blocks ----
    void StoredBlock();
    void DynamicTables();
    void HuffmanBlock();
    bool FastLoop();
    bool CarefulStep();

    base::TStream& FSource;
    base::TStream& FTarget;
    const bool FDeflate64;
    const bool FChecksum;
    const size_t FSlidePoint;
    const size_t FMaxMatch;

    base::TBudgetCharge FCharge; // the input buffer and the window
    std::unique_ptr<uint8_t[]> FInput;
    size_t FInPos = 0;
    size_t FInEnd = 0;
    bool FInEof = false;
    uint64_t FBitBuf = 0;
    unsigned FBitCount = 0;
    // Zero bits appended after the input ran out. Consuming any of them means
    // the stream ended too early: that is when FBitCount drops below it.
    unsigned FPadBits = 0;

    std::unique_ptr<uint8_t[]> FWindow;
    size_t FOutPos = 0;
    uint64_t FSlid = 0;
    uint32_t FCrc = 0xFFFFFFFFu;

    const TDfDecodeHuffmanTree* FLit = nullptr;
    const TDfDecodeHuffmanTree* FDist = nullptr;
    // Kept from block to block, so that their storage is reused.
    TDfDecodeHuffmanTree FCodeLengths;
    TDfDecodeHuffmanTree FDynLit;
    TDfDecodeHuffmanTree FDynDist;
};

void TInflater::NoMoreData(const char* where)
{
    std::string message = "no more compressed data in stream [TDfInBitStream.";
    message += where;
    message += "]";
    throw EArcInternalInflateError(message);
}

bool TInflater::FillBuffer()
{
    if (FInEof)
        return false;
    const size_t keep = FInEnd - FInPos;
    std::memmove(FInput.get(), FInput.get() + FInPos, keep);
    FInPos = 0;
    FInEnd = keep;
    while (FInEnd < InputBufferSize) {
        const int64_t n = FSource.Read(FInput.get() + FInEnd, static_cast<int64_t>(InputBufferSize - FInEnd));
        if (n <= 0) {
            FInEof = true;
            break;
        }
        FInEnd += static_cast<size_t>(n);
    }
    return FInEnd > keep;
}

void TInflater::NeedBitsNearEnd(unsigned count)
{
    while (FBitCount < count) {
        if (FInPos == FInEnd && !FillBuffer()) {
            FPadBits += 8; // a zero byte past the end
            FBitCount += 8;
            continue;
        }
        FBitBuf |= uint64_t(FInput[FInPos++]) << FBitCount;
        FBitCount += 8;
    }
}

uint32_t TInflater::ReadBits(unsigned count)
{
    NeedBits(count);
    const uint32_t value = static_cast<uint32_t>(FBitBuf & ((uint64_t(1) << count) - 1));
    Consume(count);
    CheckOverrun("ReadBits");
    return value;
}

// Looks a symbol up and consumes its code. An entry no code reaches is
// reported through `invalid` (nothing consumed) unless the lookup already
// ran past the input, which is then the error.
uint32_t TInflater::DecodeCareful(const TDfDecodeHuffmanTree& tree, bool& invalid)
{
    NeedBits(static_cast<unsigned>(tree.LongestCode()));
    const uint32_t entry = tree.Lookup(FBitBuf);
    const unsigned realBits = FBitCount - std::min(FBitCount, FPadBits);
    if (entry == TDfDecodeHuffmanTree::InvalidEntry) {
        if (realBits < static_cast<unsigned>(tree.LongestCode()))
            NoMoreData("ReadBits");
        invalid = true;
        return entry;
    }
    invalid = false;
    Consume(TDfDecodeHuffmanTree::CodeLength(entry));
    CheckOverrun("ReadBits");
    return entry;
}

void TInflater::Flush(size_t count)
{
    if (FChecksum)
        FCrc = base::Crc32Update(FCrc, FWindow.get(), count);
    FTarget.WriteBuffer(FWindow.get(), static_cast<int64_t>(count));
}

void TInflater::Slide()
{
    while (FOutPos >= FSlidePoint) {
        base::BudgetTick(256);
        Flush(SlideSize);
        std::memmove(FWindow.get(), FWindow.get() + SlideSize, FOutPos - SlideSize);
        FOutPos -= SlideSize;
        FSlid += SlideSize;
    }
}

void TInflater::StoredBlock()
{
    Consume(FBitCount & 7);
    const uint32_t length = ReadBits(16);
    const uint32_t complement = ReadBits(16);
    if ((length ^ 0xFFFF) != complement)
        Corrupt("invalid stored block (length and NOT length do not match) [InflateStoredBlock]");
    size_t remaining = length;
    while (remaining > 0) {
        Slide();
        size_t n = std::min(remaining, FSlidePoint - FOutPos);
        base::BudgetTick(1 + static_cast<int64_t>(n / 256));
        remaining -= n;
        // Whole bytes still in the bit buffer come first.
        while (n > 0 && FBitCount >= 8) {
            FWindow[FOutPos++] = static_cast<uint8_t>(FBitBuf);
            Consume(8);
            CheckOverrun("ReadBuffer");
            --n;
        }
        while (n > 0) {
            if (FInPos == FInEnd && !FillBuffer())
                NoMoreData("ReadBuffer");
            const size_t chunk = std::min(n, FInEnd - FInPos);
            std::memcpy(FWindow.get() + FOutPos, FInput.get() + FInPos, chunk);
            FInPos += chunk;
            FOutPos += chunk;
            n -= chunk;
        }
    }
}

void TInflater::DynamicTables()
{
    // Reading up to 316 code lengths and building three tables: about
    // what a microsecond or two of light work costs.
    base::BudgetTick(48);
    const unsigned hlit = ReadBits(5) + 257;
    const unsigned hdist = ReadBits(5) + 1;
    const unsigned hclen = ReadBits(4) + 4;
    if (hlit > 286)
        Corrupt("count of literal codes in dynamic block is greater than 286 [InflateDynamicBlock]");
    if (!FDeflate64 && hdist > 30)
        Corrupt("count of distance codes in dynamic block is greater than 30 [InflateDynamicBlock]");

    static const uint8_t Order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    uint8_t codeLengthLengths[19] = {};
    for (unsigned i = 0; i < hclen; ++i)
        codeLengthLengths[Order[i]] = static_cast<uint8_t>(ReadBits(3));
    TDfDecodeHuffmanTree& codeLengthTree = FCodeLengths;
    codeLengthTree.Build(codeLengthLengths, 19, nullptr, 7);

    uint8_t lengths[286 + 32] = {};
    const unsigned total = hlit + hdist;
    unsigned i = 0;
    while (i < total) {
        bool invalid;
        const uint32_t entry = DecodeCareful(codeLengthTree, invalid);
        const unsigned symbol = TDfDecodeHuffmanTree::Symbol(entry);
        if (invalid || symbol > 18)
            Corrupt("decoded a symbol not between 0 and 18 {ReadLitDistCodeLengths}");
        if (symbol < 16) {
            lengths[i++] = static_cast<uint8_t>(symbol);
            continue;
        }
        uint8_t value = 0;
        unsigned repeat;
        if (symbol == 16) {
            if (i == 0)
                Corrupt("repeat of the previous code length at the first position {ReadLitDistCodeLengths}");
            value = lengths[i - 1];
            repeat = 3 + ReadBits(2);
        } else if (symbol == 17) {
            repeat = 3 + ReadBits(3);
        } else {
            repeat = 11 + ReadBits(7);
        }
        if (repeat > total - i)
            Corrupt("code length repeat runs past the count of codes {ReadLitDistCodeLengths}");
        std::memset(lengths + i, value, repeat);
        i += repeat;
    }

    uint8_t extra[286] = {};
    std::memcpy(extra + 257, FDeflate64 ? LengthExtraBits64 : LengthExtraBits, 29);
    FDynLit.Build(lengths, static_cast<int>(hlit), extra, 15, &TDfDecodeHuffmanTree::Coding(true, FDeflate64));
    FDynDist.Build(lengths + hlit, static_cast<int>(hdist), DistanceExtraBits, 15,
                   &TDfDecodeHuffmanTree::Coding(false, FDeflate64));
    FLit = &FDynLit;
    FDist = &FDynDist;
}

// The hot loop: runs while at least 16 input bytes are buffered and the
// window has room, with the bit buffer and pointers in locals so that the
// compiler keeps them in registers. Answers true at the end of the block.
bool TInflater::FastLoop()
{
    const uint8_t* in = FInput.get() + FInPos;
    const uint8_t* const inLimit = FInput.get() + FInEnd - 16;
    uint8_t* const window = FWindow.get();
    uint8_t* out = window + FOutPos;
    uint8_t* const outLimit = window + FSlidePoint;
    uint64_t bitBuf = FBitBuf;
    unsigned bitCount = FBitCount;
    const uint32_t* const litFast = FLit->FastTable();
    const uint32_t litFastMask = FLit->FastMask();
    const uint32_t* const distFast = FDist->FastTable();
    const uint32_t distFastMask = FDist->FastMask();
    const TDfDecodeHuffmanTree& litTree = *FLit;
    const TDfDecodeHuffmanTree& distTree = *FDist;
    const uint64_t slid = FSlid;
    const char* error = nullptr;
    bool endOfBlock = false;
    constexpr uint32_t Invalid = TDfDecodeHuffmanTree::InvalidEntry;
    constexpr uint32_t LiteralFlag = TDfDecodeHuffmanTree::LiteralFlag;
    constexpr uint32_t KindMask = TDfDecodeHuffmanTree::LiteralFlag | TDfDecodeHuffmanTree::EndFlag;

    while (in <= inLimit && out < outLimit) {
        bitBuf |= LoadLE64(in) << bitCount;
        in += (63 - bitCount) >> 3;
        bitCount |= 56;

        uint32_t entry = litFast[bitBuf & litFastMask];
        if (entry == Invalid) {
            entry = litTree.FastEntry(litTree.Lookup(bitBuf));
            if (entry == Invalid) {
                error = "decoded an invalid length symbol: greater than 285 [DecodeData]";
                break;
            }
        }
        if ((entry & KindMask) == LiteralFlag) {
            const unsigned len = (entry >> 16) & 0xFF;
            bitBuf >>= len;
            bitCount -= len;
            *out++ = static_cast<uint8_t>(entry);
            // A second literal often fits in the bits already loaded (at
            // least 41 remain, enough for any code).
            entry = litFast[bitBuf & litFastMask];
            if ((entry & KindMask) != LiteralFlag)
                continue;
            const unsigned len2 = (entry >> 16) & 0xFF;
            bitBuf >>= len2;
            bitCount -= len2;
            *out++ = static_cast<uint8_t>(entry);
            continue;
        }
        unsigned len = (entry >> 16) & 0xFF;
        bitBuf >>= len;
        bitCount -= len;
        if (entry & TDfDecodeHuffmanTree::EndFlag) {
            endOfBlock = true;
            break;
        }
        unsigned extra = (entry >> 24) & 0x1F;
        const size_t length = (entry & 0xFFFF) + static_cast<size_t>(bitBuf & ((uint64_t(1) << extra) - 1));
        bitBuf >>= extra;
        bitCount -= extra;
        if (FDeflate64) {
            bitBuf |= LoadLE64(in) << bitCount;
            in += (63 - bitCount) >> 3;
            bitCount |= 56;
        }

        entry = distFast[bitBuf & distFastMask];
        if (entry == Invalid) {
            entry = distTree.FastEntry(distTree.Lookup(bitBuf));
            if (entry == Invalid) {
                error = FDeflate64 ? "decoded an invalid distance symbol: greater than 31 [DecodeData]"
                                   : "decoded an invalid distance symbol: greater than 29 [DecodeData]";
                break;
            }
        }
        len = (entry >> 16) & 0xFF;
        bitBuf >>= len;
        bitCount -= len;
        extra = (entry >> 24) & 0x1F;
        const size_t distance = (entry & 0xFFFF) + static_cast<size_t>(bitBuf & ((uint64_t(1) << extra) - 1));
        bitBuf >>= extra;
        bitCount -= extra;
        if (distance > static_cast<size_t>(out - window) && slid == 0) {
            error = "distance reaches back before the start of the output [DecodeData]";
            break;
        }
        out = CopyMatch(out, distance, length);
    }

    FInPos = static_cast<size_t>(in - FInput.get());
    FOutPos = static_cast<size_t>(out - window);
    // The refill leaves look-ahead bits above the count; the careful path
    // expects zeros there.
    FBitBuf = bitBuf & ((uint64_t(1) << bitCount) - 1);
    FBitCount = bitCount;
    if (error)
        Corrupt(error);
    return endOfBlock;
}

// One literal or match with every check of the input's end; used near the
// end of the input, where the fast loop may not read ahead.
bool TInflater::CarefulStep()
{
    bool invalid;
    uint32_t entry = DecodeCareful(*FLit, invalid);
    unsigned symbol = TDfDecodeHuffmanTree::Symbol(entry);
    if (invalid || symbol > 285)
        Corrupt("decoded an invalid length symbol: greater than 285 [DecodeData]");
    if (symbol < 256) {
        FWindow[FOutPos++] = static_cast<uint8_t>(symbol);
        return false;
    }
    if (symbol == 256)
        return true;
    const unsigned extra = TDfDecodeHuffmanTree::ExtraBits(entry);
    const size_t length = (FDeflate64 ? LengthBase64 : LengthBase)[symbol - 257] + (extra ? ReadBits(extra) : 0);

    entry = DecodeCareful(*FDist, invalid);
    symbol = TDfDecodeHuffmanTree::Symbol(entry);
    if (invalid || symbol > (FDeflate64 ? 31u : 29u))
        Corrupt(FDeflate64 ? "decoded an invalid distance symbol: greater than 31 [DecodeData]"
                           : "decoded an invalid distance symbol: greater than 29 [DecodeData]");
    const unsigned distExtra = TDfDecodeHuffmanTree::ExtraBits(entry);
    const size_t distance = DistanceBase[symbol] + (distExtra ? ReadBits(distExtra) : 0);
    if (distance > FOutPos && FSlid == 0)
        Corrupt("distance reaches back before the start of the output [DecodeData]");
    CopyMatch(FWindow.get() + FOutPos, distance, length);
    FOutPos += length;
    return false;
}

void TInflater::HuffmanBlock()
{
    for (;;) {
        base::BudgetTick();
        Slide();
        if (FInEnd - FInPos < 16)
            FillBuffer();
        if (FInEnd - FInPos >= 16) {
            if (FastLoop())
                return;
        } else if (CarefulStep()) {
            return;
        }
    }
}

uint32_t TInflater::Run()
{
    const TDfFixedTables& fixed = FixedTables();
    bool final = false;
    while (!final) {
        // A block may hold nothing but its header: each one is counted.
        base::BudgetTick();
        final = ReadBits(1) != 0;
        switch (ReadBits(2)) {
        case 0:
            StoredBlock();
            break;
        case 1:
            FLit = FDeflate64 ? &fixed.Literals64 : &fixed.Literals;
            FDist = FDeflate64 ? &fixed.Distances64 : &fixed.Distances;
            HuffmanBlock();
            break;
        case 2:
            DynamicTables();
            HuffmanBlock();
            break;
        default:
            Corrupt("starting new block, but invalid block type [Inflate]");
        }
    }
    Slide();
    if (FOutPos > 0)
        Flush(FOutPos);
    return FChecksum ? ~FCrc : 0;
}

} // namespace

uint32_t Inflate(base::TStream& source, base::TStream& target, TDeflateHelper* helper)
{
    const uint32_t options = helper ? helper->FOptions : TDeflateHelper().FOptions;
    const int64_t sourceStart = source.Position();
    const int64_t targetStart = target.Position();
    uint32_t result;
    try {
        TInflater inflater(source, target, options);
        result = inflater.Run();
    } catch (const EArcInternalInflateError& e) {
        throw EArcInflateError("Inflate error, possibly a corrupted compressed stream. (Internal cause: " +
                               e.Message() + ")");
    }
    if (helper) {
        helper->FSizeCompressed = source.Position() - sourceStart;
        helper->FSizeNormal = target.Position() - targetStart;
    }
    return result;
}

} // namespace addoscope::zip
