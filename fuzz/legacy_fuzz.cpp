// Feeds arbitrary bytes to the shrink, reduce and implode decoders. The
// first byte picks the method (1-6) and the implode flag bits, the next two
// the expected uncompressed size (16 bytes to 1 MiB); the rest is the
// item's compressed data. Output goes to a sink that only counts.
#include "base/MemoryStream.h"
#include "base/Exception.h"
#include "zip/methods/Decoders.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

class TCountingSink : public addoscope::base::TStream {
public:
    int64_t Read(void*, int64_t) override { return 0; }
    int64_t Write(const void*, int64_t count) override
    {
        FPosition += count;
        if (FPosition > FSize)
            FSize = FPosition;
        return count;
    }
    int64_t Seek(int64_t offset, addoscope::base::TSeekOrigin origin) override
    {
        const int64_t from = origin == addoscope::base::TSeekOrigin::soBeginning ? 0
                             : origin == addoscope::base::TSeekOrigin::soCurrent ? FPosition
                                                                                 : FSize;
        FPosition = from + offset;
        return FPosition;
    }
    int64_t FPosition = 0;
    int64_t FSize = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 3)
        return 0;
    addoscope::zip::TDecodeParams params;
    params.Method = static_cast<uint8_t>(1 + (data[0] & 0x07) % 6);
    params.Flags = static_cast<uint16_t>((data[0] >> 2) & 0x06);
    params.UncompressedSize = (static_cast<int64_t>(data[1] << 8 | data[2]) + 1) * 16;
    params.CompressedSize = static_cast<int64_t>(size - 3);

    addoscope::base::TMemoryStream input;
    input.LoadFromBuffer(data + 3, size - 3);
    TCountingSink output;
    try {
        addoscope::zip::UnzipHelperDecode(input, output, params);
    } catch (const addoscope::base::Exception&) {
    }
    // The decoders never write past the size they were given.
    if (output.FSize > params.UncompressedSize)
        std::abort();
    return 0;
}
