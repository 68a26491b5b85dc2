#pragma once
// Decoder of the oldest zip methods: shrink (1), reduce (2-5) and implode
// (6). One helper decodes one item: Execute reads the compressed bytes from
// the input stream and writes the uncompressed bytes to the output stream,
// stopping when the input ends or the expected size has been produced.
// Corrupt data raises an EZipException; what was decoded before stays
// written.
#include "base/Stream.h"
#include "zip/methods/Decoders.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>

namespace addoscope::zip {

class TSlidingWindowStream;
struct TShannonFanoTree;

enum class TZipDictionarySize { dsInvalid, ds4K, ds8K };

class TUnzipHelper {
public:
    static constexpr int64_t InBufSize = 4096;
    static constexpr int64_t OutBufSize = 32768;

    TUnzipHelper(base::TStream& input, base::TStream& output, const TDecodeParams& params);
    ~TUnzipHelper();
    TUnzipHelper(const TUnzipHelper&) = delete;
    TUnzipHelper& operator=(const TUnzipHelper&) = delete;

    void Execute();

private:
    // Bits are taken LSB-first. Past the end of the input they read as zero
    // and FBitSValid turns false once such a bit is consumed; every
    // decoding loop checks it.
    void FillBits(int count)
    {
        while (FBitsLeft < count) {
            uint8_t next = 0;
            if (!FetchByte(next))
                FPadBits += 8;
            FCurByte |= static_cast<uint32_t>(next) << FBitsLeft;
            FBitsLeft += 8;
        }
    }
    // The next `count` (at most 16) bits without consuming them.
    uint32_t PeekBits(int count)
    {
        FillBits(count);
        return FCurByte & ((1u << count) - 1);
    }
    void DropBits(int count)
    {
        FCurByte >>= count;
        FBitsLeft -= count;
        if (FBitsLeft < FPadBits) {
            FBitSValid = false;
            FPadBits = FBitsLeft;
        }
    }
    uint32_t ReadBits(int count)
    {
        const uint32_t value = PeekBits(count);
        DropBits(count);
        return value;
    }
    bool FetchByte(uint8_t& value)
    {
        if (FInPos >= FInCnt && !RefillInput())
            return false;
        value = FInBuf[static_cast<size_t>(FInPos++)];
        return true;
    }
    bool RefillInput();

    // Output through FOutBuf.
    bool OutputDone() const { return FOutSent + FOutPos >= FUnCompressedSize; }
    void PutByte(uint8_t value)
    {
        FOutBuf[static_cast<size_t>(FOutPos++)] = value;
        if (FOutPos == OutBufSize || OutputDone())
            WriteOutBuf();
    }
    void WriteOutBuf();
    // Room in FOutBuf before it must be written out.
    int64_t OutRoom() const { return std::min(OutBufSize - FOutPos, FUnCompressedSize - FOutSent - FOutPos); }
    void PutBytes(const uint8_t* data, int64_t count);
    // Repeats `length` bytes from `distance` back; positions before the
    // start of the output read as zero.
    void CopyMatch(int64_t distance, int64_t length);

    void Unshrink();
    void Unreduce(int factor);
    void Explode();
    // False when the input ends inside the tree.
    bool ReadShannonFanoTree(TShannonFanoTree& tree, int valueCount);
    int DecodeShannonFano(const TShannonFanoTree& tree);

    base::TStream* FOutWriter = nullptr;
    base::TStream& FOutStream;
    std::unique_ptr<TSlidingWindowStream> FWindow;
    int64_t FUnCompressedSize;
    uint8_t FCompressionMethod;
    TZipDictionarySize FDictionarySize;
    int FShannonFanoTreeCount;

    std::array<uint8_t, OutBufSize> FOutBuf{};
    int64_t FOutSent = 0; // bytes handed to FOutWriter
    int64_t FOutPos = 0;  // bytes waiting in FOutBuf

    bool FBitSValid = true;
    std::array<uint8_t, InBufSize> FInBuf{};
    int64_t FInPos = 0;
    int64_t FInCnt = 0;
    bool FInEof = false;
    uint32_t FCurByte = 0; // pending input bits, next bit lowest
    int FBitsLeft = 0;     // count of pending bits in FCurByte
    int FPadBits = 0;      // of those, zeros standing in past the input's end
    base::TStream& FZStream;
};

} // namespace addoscope::zip
