#include "zip/UnzipHelper.h"

#include "zip/SlidingWindowStream.h"
#include "zip/ZipErrors.h"

#include <algorithm>

namespace addoscope::zip {

TUnzipHelper::TUnzipHelper(base::TStream& input, base::TStream& output, const TDecodeParams& params)
    : FOutStream(output),
      FUnCompressedSize(params.UncompressedSize),
      FCompressionMethod(params.Method),
      FDictionarySize((params.Flags & 0x02) != 0 ? TZipDictionarySize::ds8K : TZipDictionarySize::ds4K),
      FShannonFanoTreeCount((params.Flags & 0x04) != 0 ? 3 : 2),
      FZStream(input)
{
}

TUnzipHelper::~TUnzipHelper() = default;

void TUnzipHelper::Execute()
{
    FOutSent = 0;
    FOutPos = 0;
    FInPos = 0;
    FInCnt = 0;
    FInEof = false;
    FBitSValid = true;
    FCurByte = 0;
    FBitsLeft = 0;

    if (FCompressionMethod < 1 || FCompressionMethod > 6)
        throw EZipInvalidMethod();
    if (FCompressionMethod == 1) {
        FOutWriter = &FOutStream;
    } else {
        // Reduce and implode copy from earlier output, which may already
        // have left FOutBuf: the window keeps it readable.
        FWindow = std::make_unique<TSlidingWindowStream>(FOutStream);
        FOutWriter = FWindow.get();
    }

    try {
        if (FUnCompressedSize > 0) {
            if (FCompressionMethod == 1)
                Unshrink();
            else if (FCompressionMethod == 6)
                Explode();
            else
                Unreduce(FCompressionMethod - 1);
        }
    } catch (...) {
        // Whatever was decoded before the fault still reaches the output;
        // a failure while doing so must not hide the original error.
        try {
            WriteOutBuf();
            if (FWindow)
                FWindow->Flush();
        } catch (...) {
        }
        throw;
    }
    WriteOutBuf();
    if (FWindow)
        FWindow->Flush();
}

bool TUnzipHelper::FetchByte(uint8_t& value)
{
    if (FInPos >= FInCnt) {
        if (FInEof)
            return false;
        FInPos = 0;
        FInCnt = std::max<int64_t>(0, FZStream.Read(FInBuf.data(), InBufSize));
        if (FInCnt == 0) {
            FInEof = true;
            return false;
        }
    }
    value = FInBuf[static_cast<size_t>(FInPos++)];
    return true;
}

uint32_t TUnzipHelper::ReadBits(int count)
{
    while (FBitsLeft < count) {
        uint8_t next = 0;
        if (!FetchByte(next))
            FBitSValid = false;
        FCurByte |= static_cast<uint32_t>(next) << FBitsLeft;
        FBitsLeft += 8;
    }
    const uint32_t value = FCurByte & ((1u << count) - 1);
    FCurByte >>= count;
    FBitsLeft -= count;
    return value;
}

void TUnzipHelper::WriteOutBuf()
{
    if (FOutPos == 0)
        return;
    FOutWriter->WriteBuffer(FOutBuf.data(), FOutPos);
    FOutSent += FOutPos;
    FOutPos = 0;
}

void TUnzipHelper::CopyMatch(int64_t distance, int64_t length)
{
    if (distance < 1)
        throw EZipException("Corrupt compressed data: back reference distance below one");
    std::array<uint8_t, 512> older{};
    while (length > 0 && !OutputDone()) {
        const int64_t from = FOutSent + FOutPos - distance;
        if (from < 0) {
            PutByte(0);
            --length;
        } else if (from >= FOutSent) {
            // Still in FOutBuf; byte by byte so that a distance shorter
            // than the length repeats the bytes just produced.
            PutByte(FOutBuf[static_cast<size_t>(from - FOutSent)]);
            --length;
        } else {
            const int64_t n = std::min({length, FOutSent - from, static_cast<int64_t>(older.size())});
            FWindow->Seek(from, base::TSeekOrigin::soBeginning);
            FWindow->ReadBuffer(older.data(), n);
            FWindow->Seek(0, base::TSeekOrigin::soEnd);
            for (int64_t i = 0; i < n && !OutputDone(); ++i)
                PutByte(older[static_cast<size_t>(i)]);
            length -= n;
        }
    }
}

void UnzipHelperDecode(base::TStream& input, base::TStream& output, const TDecodeParams& params)
{
    TUnzipHelper helper(input, output, params);
    helper.Execute();
}

} // namespace addoscope::zip
