// Feeds arbitrary item data to the bzip2, LZMA and WavPack decoders.
// Byte 0 picks the method, bytes 1-3 the stated uncompressed size (24 bits,
// little-endian), byte 4 the flag word's low byte; the rest is the item's
// compressed data. The output goes to a sink that accepts at most 8 MiB.
#include "base/Exception.h"
#include "base/MemoryStream.h"
#include "zip/methods/Decoders.h"

#include <cstddef>
#include <cstdint>
#include <new>

namespace {

using namespace addoscope;

class TBoundedSink : public base::TStream {
public:
    int64_t Read(void*, int64_t) override { return 0; }
    int64_t Write(const void*, int64_t count) override
    {
        const int64_t room = Limit - FSize;
        const int64_t taken = count < room ? count : room;
        FSize += taken;
        return taken;
    }
    int64_t Seek(int64_t, base::TSeekOrigin) override { return FSize; }

private:
    static constexpr int64_t Limit = 8 << 20;
    int64_t FSize = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 5)
        return 0;
    zip::TDecodeParams params;
    static constexpr uint8_t Methods[] = {12, 14, 97};
    params.Method = Methods[data[0] % 3];
    params.UncompressedSize = data[1] | (data[2] << 8) | (data[3] << 16);
    params.Flags = data[4];
    params.CompressedSize = static_cast<int64_t>(size - 5);

    base::TMemoryStream input;
    input.LoadFromBuffer(data + 5, size - 5);
    TBoundedSink output;
    try {
        switch (params.Method) {
        case 12: zip::BZip2Decode(input, output, params); break;
        case 14: zip::LzmaDecode(input, output, params); break;
        default: zip::WavPackDecode(input, output, params); break;
        }
    } catch (const base::Exception&) {
    } catch (const std::bad_alloc&) {
    }
    return 0;
}
