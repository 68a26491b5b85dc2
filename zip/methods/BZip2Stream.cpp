#include "zip/methods/BZip2Stream.h"

#include "base/Budget.h"
#include "zip/methods/BZip2Errors.h"

#include <algorithm>
#include <climits>

namespace addoscope::zip {

namespace {

void* CountedAlloc(void* opaque, int items, int size)
{
    if (items < 0 || size < 0)
        return nullptr;
    return static_cast<TCountedMemory*>(opaque)->Allocate(size_t(items) * size_t(size));
}

void CountedFree(void* opaque, void* address)
{
    static_cast<TCountedMemory*>(opaque)->Free(address);
}

[[noreturn]] void InvalidOperation()
{
    throw EBZDecompressionError("Invalid stream operation");
}

} // namespace

TBZDecompressionStream::TBZDecompressionStream(base::TStream& source)
    : FStream(source), FStartPos(source.Position()), FStreamPos(FStartPos)
{
    FBufferCharge.Resize(InputBufferSize);
    FBuffer.resize(InputBufferSize);
    Start();
}

TBZDecompressionStream::~TBZDecompressionStream()
{
    Finish();
}

void TBZDecompressionStream::Start()
{
    FRec = bz_stream{};
    FRec.bzalloc = CountedAlloc;
    FRec.bzfree = CountedFree;
    FRec.opaque = &FMemory;
    const int rc = BZ2_bzDecompressInit(&FRec, 0, 0);
    if (rc != BZ_OK)
        throw EBZDecompressionError(base::FormatText("error %d", rc));
    FActive = true;
    FPosition = 0;
    FStreamPos = FStartPos;
    FInputEnded = false;
    FStreamEnded = false;
}

void TBZDecompressionStream::Finish() noexcept
{
    if (FActive) {
        BZ2_bzDecompressEnd(&FRec);
        FActive = false;
    }
}

int64_t TBZDecompressionStream::Read(void* buffer, int64_t count)
{
    if (count <= 0 || FStreamEnded || !FActive)
        return 0;
    char* out = static_cast<char*>(buffer);
    int64_t done = 0;
    while (done < count) {
        if (FRec.avail_in == 0 && !FInputEnded) {
            if (FStream.Position() != FStreamPos)
                FStream.Seek(FStreamPos, base::TSeekOrigin::soBeginning);
            const int64_t got = FStream.Read(FBuffer.data(), static_cast<int64_t>(FBuffer.size()));
            if (got <= 0) {
                FInputEnded = true;
            } else {
                FStreamPos += got;
                FRec.next_in = FBuffer.data();
                FRec.avail_in = static_cast<unsigned>(got);
            }
        }
        // With the source exhausted the decompressor still gets called: it
        // may hold decoded bytes of its last block.
        const unsigned room = static_cast<unsigned>(std::min<int64_t>(count - done, UINT_MAX));
        const unsigned inBefore = FRec.avail_in;
        FRec.next_out = out + done;
        FRec.avail_out = room;
        const int rc = BZ2_bzDecompress(&FRec);
        const unsigned produced = room - FRec.avail_out;
        // A few nanoseconds of the library's work for each byte out or in.
        base::BudgetTick(1 + static_cast<int64_t>(produced / 8 + (inBefore - FRec.avail_in) / 2));
        done += produced;
        FPosition += produced;
        if (rc < 0)
            throw EBZCompressionError(base::FormatText("error %d", rc));
        if (rc == BZ_STREAM_END) {
            // Calling the library again after its end would be a sequence
            // error; the stream simply has no more bytes.
            FStreamEnded = true;
            break;
        }
        if (produced == 0 && FRec.avail_in == inBefore)
            break; // nothing left to decode from the input we have
    }
    return done;
}

int64_t TBZDecompressionStream::Write(const void*, int64_t)
{
    InvalidOperation();
}

void TBZDecompressionStream::Skip(int64_t count)
{
    char scratch[8192];
    while (count > 0) {
        const int64_t got = Read(scratch, std::min<int64_t>(count, sizeof scratch));
        if (got <= 0)
            break;
        count -= got;
    }
}

int64_t TBZDecompressionStream::Seek(int64_t offset, base::TSeekOrigin origin)
{
    if (origin == base::TSeekOrigin::soBeginning && offset == 0) {
        Finish();
        Start();
        return 0;
    }
    int64_t forward;
    if (origin == base::TSeekOrigin::soCurrent && offset >= 0)
        forward = offset;
    else if (origin == base::TSeekOrigin::soBeginning && offset >= FPosition)
        forward = offset - FPosition;
    else
        InvalidOperation();
    Skip(forward);
    return FPosition;
}

} // namespace addoscope::zip
