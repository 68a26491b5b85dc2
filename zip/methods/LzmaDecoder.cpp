#include "base/Budget.h"
#include "zip/methods/CountedMemory.h"
#include "zip/methods/Decoders.h"
#include "zip/methods/LzmaErrors.h"

#include "LzmaDec.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace addoscope::zip {

namespace {

constexpr size_t InputBlockSize = 65536;
constexpr size_t OutputBlockSize = 65536;
// The smallest dictionary the format knows.
constexpr uint64_t MinDictionary = 4096;
constexpr uint64_t InitialDictionary = 1 << 20;

// The SDK's allocator interface, with the memory counted against the
// reading's budget; the interface is the first member, so the SDK's
// pointer to it leads back to the counter.
struct TSdkAllocator {
    ISzAlloc Interface;
    TCountedMemory Memory;
};

void* SdkAlloc(void* p, size_t size)
{
    return static_cast<TSdkAllocator*>(p)->Memory.Allocate(size);
}
void SdkFree(void* p, void* address)
{
    static_cast<TSdkAllocator*>(p)->Memory.Free(address);
}

// Owns the decoder's probability tables and its dictionary buffer.
class TLzmaState {
public:
    TLzmaState() { LzmaDec_Construct(&FDec); }
    ~TLzmaState()
    {
        LzmaDec_FreeProbs(&FDec, &FAllocator.Interface);
        std::free(FDec.dic);
    }
    TLzmaState(const TLzmaState&) = delete;
    TLzmaState& operator=(const TLzmaState&) = delete;

    CLzmaDec& Dec() { return FDec; }
    ISzAlloc* Allocator() { return &FAllocator.Interface; }
    // Counts the dictionary buffer, which the decoder here grows itself.
    base::TBudgetCharge DictionaryCharge;

private:
    TSdkAllocator FAllocator {{SdkAlloc, SdkFree}, {}};
    CLzmaDec FDec;
};

void Check(SRes result)
{
    if (result != SZ_OK)
        throw EArcLZMAException(result);
}

} // namespace

void LzmaDecode(base::TStream& input, base::TStream& output, const TDecodeParams& params)
{
    // Zip's framing: SDK version (2 bytes), properties size (16 bits,
    // little-endian), the properties, then the raw LZMA stream. The flag
    // telling whether an end marker follows is not needed: decoding stops
    // at the uncompressed size, and a marker met earlier is a data error.
    uint8_t header[4];
    input.ReadBuffer(header, sizeof header);
    const unsigned propsSize = header[2] | (header[3] << 8);
    std::vector<Byte> props(propsSize);
    input.ReadBuffer(props.data(), propsSize);

    TLzmaState state;
    CLzmaDec& dec = state.Dec();
    // Rejects fewer than 5 property bytes and lc/lp/pb out of range with
    // SZ_ERROR_UNSUPPORTED.
    Check(LzmaDec_AllocateProbs(&dec, props.data(), propsSize, state.Allocator()));

    const uint64_t outSize = params.UncompressedSize > 0 ? static_cast<uint64_t>(params.UncompressedSize) : 0;
    if (outSize == 0)
        return;

    // The dictionary size comes from the file and may claim up to 4 GiB.
    // When the item is smaller, no match can reach further back than its
    // own start, so a buffer of the item's size holds every possible
    // reference and is never wrapped.
    const uint64_t dictionary = std::min<uint64_t>(dec.prop.dicSize, std::max(outSize, MinDictionary));
    if (dictionary > SIZE_MAX)
        throw EArcLZMAException(SZ_ERROR_MEM);
    // The item's size is only declared, so the buffer starts small and
    // doubles as output arrives, up to the dictionary size: until then it
    // holds all output so far and no match can reach outside it. Memory then
    // follows what is really decoded (which the output stream may bound),
    // not what a few header bytes claim.
    state.DictionaryCharge.Resize(static_cast<int64_t>(std::min(dictionary, InitialDictionary)));
    dec.dic = static_cast<Byte*>(std::malloc(static_cast<size_t>(std::min(dictionary, InitialDictionary))));
    if (dec.dic == nullptr)
        throw EArcLZMAException(SZ_ERROR_MEM);
    dec.dicBufSize = static_cast<SizeT>(std::min(dictionary, InitialDictionary));
    LzmaDec_Init(&dec);

    base::TBudgetCharge inputCharge;
    inputCharge.Resize(InputBlockSize);
    std::vector<Byte> inBuf(InputBlockSize);
    size_t inPos = 0;
    size_t inSize = 0;
    uint64_t remaining = outSize;
    for (;;) {
        if (inPos == inSize) {
            const int64_t got = input.Read(inBuf.data(), static_cast<int64_t>(inBuf.size()));
            inSize = got > 0 ? static_cast<size_t>(got) : 0;
            inPos = 0;
        }
        if (dec.dicPos == dec.dicBufSize) {
            if (dec.dicBufSize < dictionary) {
                const SizeT grown = static_cast<SizeT>(std::min<uint64_t>(dictionary, uint64_t(dec.dicBufSize) * 2));
                state.DictionaryCharge.Resize(static_cast<int64_t>(grown));
                Byte* moved = static_cast<Byte*>(std::realloc(dec.dic, grown));
                if (moved == nullptr)
                    throw EArcLZMAException(SZ_ERROR_MEM);
                dec.dic = moved;
                dec.dicBufSize = grown;
            } else {
                dec.dicPos = 0;
            }
        }
        const size_t start = dec.dicPos;
        const size_t step = static_cast<size_t>(
            std::min<uint64_t>({remaining, OutputBlockSize, static_cast<uint64_t>(dec.dicBufSize - start)}));
        SizeT consumed = inSize - inPos;
        ELzmaStatus status;
        const SRes result = LzmaDec_DecodeToDic(&dec, start + step, inBuf.data() + inPos, &consumed,
                                                LZMA_FINISH_ANY, &status);
        inPos += consumed;
        const size_t produced = dec.dicPos - start;
        base::BudgetTick(1 + static_cast<int64_t>(produced / 8 + consumed / 2));
        if (produced > 0 && output.Write(dec.dic + start, static_cast<int64_t>(produced)) != static_cast<int64_t>(produced))
            throw EArcLZMAException(SZ_ERROR_WRITE);
        remaining -= produced;
        Check(result);
        if (remaining == 0)
            break;
        if (consumed == 0 && produced == 0) {
            // Input exhausted before the size was reached: stop; the CRC-32
            // check reports the shortfall. Otherwise the decoder is stuck
            // (an end marker before the size, say).
            if (inSize == 0)
                break;
            throw EArcLZMAException(SZ_ERROR_DATA);
        }
    }
}

} // namespace addoscope::zip
