// Feeds arbitrary bytes to the PPMd decoder as an item's data. The first
// byte picks the model: the parameter word is built from it so that the
// model memory stays small (1-4 MiB) and every order and restoration
// method is reached; the rest is the range-coded data.
#include "base/MemoryStream.h"
#include "zip/methods/Decoders.h"

#include <cstddef>
#include <cstdint>
#include <exception>

using namespace addoscope;

namespace {
// Output beyond this is thrown away, so that long runs stay cheap.
class TBoundedSink : public base::TStream {
public:
    int64_t Read(void*, int64_t) override { return 0; }
    int64_t Write(const void*, int64_t count) override
    {
        FSize += count;
        return FSize > (int64_t(8) << 20) ? 0 : count;
    }
    int64_t Seek(int64_t, base::TSeekOrigin) override { return FSize; }

private:
    int64_t FSize = 0;
};
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    unsigned pick = data[0];
    unsigned order = 1 + (pick & 0x0F);          // 2..16 once 1 is mapped up
    if (order < 2)
        order = 2;
    unsigned memory = (pick >> 4) & 0x03;        // 1..4 MiB
    unsigned restore = (pick >> 6) % 3;
    uint8_t word[2] = {uint8_t((order - 1) | (memory << 4)), uint8_t(restore << 4)};
    base::TMemoryStream in;
    in.WriteBuffer(word, 2);
    if (size > 1)
        in.WriteBuffer(data + 1, int64_t(size - 1));
    in.SetPosition(0);
    TBoundedSink out;
    try {
        zip::PpmdDecode(in, out, zip::TDecodeParams{});
    } catch (const std::exception&) {
    }
    return 0;
}
