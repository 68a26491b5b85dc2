#include "zip/methods/UnzipHelper.h"

#include "base/Budget.h"
#include "zip/methods/SlidingWindowStream.h"
#include "zip/ZipErrors.h"

#include <algorithm>
#include <cstring>
#include <memory>

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
    FPadBits = 0;

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

bool TUnzipHelper::RefillInput()
{
    if (FInEof)
        return false;
    FInPos = 0;
    FInCnt = std::max<int64_t>(0, FZStream.Read(FInBuf.data(), InBufSize));
    if (FInCnt == 0)
        FInEof = true;
    return FInCnt > 0;
}

void TUnzipHelper::WriteOutBuf()
{
    if (FOutPos == 0)
        return;
    FOutWriter->WriteBuffer(FOutBuf.data(), FOutPos);
    FOutSent += FOutPos;
    FOutPos = 0;
}

void TUnzipHelper::PutBytes(const uint8_t* data, int64_t count)
{
    while (count > 0 && !OutputDone()) {
        const int64_t n = std::min(count, OutRoom());
        base::BudgetTick(1 + n / 64);
        std::memcpy(FOutBuf.data() + FOutPos, data, static_cast<size_t>(n));
        FOutPos += n;
        data += n;
        count -= n;
        if (FOutPos == OutBufSize || OutputDone())
            WriteOutBuf();
    }
}

void TUnzipHelper::CopyMatch(int64_t distance, int64_t length)
{
    if (distance < 1)
        throw EZipException("Corrupt compressed data: back reference distance below one");
    std::array<uint8_t, 512> older; // filled before use: no clearing per match
    while (length > 0 && !OutputDone()) {
        base::BudgetTick();
        const int64_t from = FOutSent + FOutPos - distance;
        if (from >= FOutSent) {
            // Still in FOutBuf. Forward, byte by byte, so that a distance
            // shorter than the length repeats the bytes just produced.
            const int64_t n = std::min(length, OutRoom());
            const uint8_t* src = FOutBuf.data() + (from - FOutSent);
            uint8_t* dst = FOutBuf.data() + FOutPos;
            for (int64_t i = 0; i < n; ++i)
                dst[i] = src[i];
            FOutPos += n;
            length -= n;
            if (FOutPos == OutBufSize || OutputDone())
                WriteOutBuf();
        } else if (from < 0) {
            // Before the start of the output: zeros.
            const int64_t n = std::min({length, -from, OutRoom()});
            std::memset(FOutBuf.data() + FOutPos, 0, static_cast<size_t>(n));
            FOutPos += n;
            length -= n;
            if (FOutPos == OutBufSize || OutputDone())
                WriteOutBuf();
        } else {
            // Already handed to the window, which keeps the last 32 KiB.
            const int64_t n = std::min({length, FOutSent - from, static_cast<int64_t>(older.size())});
            FWindow->Seek(from, base::TSeekOrigin::soBeginning);
            FWindow->ReadBuffer(older.data(), n);
            FWindow->Seek(0, base::TSeekOrigin::soEnd);
            PutBytes(older.data(), n);
            length -= n;
        }
    }
}

void UnzipHelperDecode(base::TStream& input, base::TStream& output, const TDecodeParams& params)
{
    // About 40 KiB of buffers, kept off the caller's stack, and for the
    // methods that copy from earlier output the window's 40 KiB.
    base::TBudgetCharge charge;
    charge.Resize(static_cast<int64_t>(sizeof(TUnzipHelper) + 5 * 8192));
    auto helper = std::make_unique<TUnzipHelper>(input, output, params);
    helper->Execute();
}

} // namespace addoscope::zip
