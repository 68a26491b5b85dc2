#include "zip/methods/Decoders.h"

#include "base/Budget.h"
#include "base/Exception.h"

#include <wavpack/wavpack.h>

#include <algorithm>
#include <cstring>
#include <exception>
#include <vector>

namespace addoscope::zip {

namespace {

constexpr uint32_t SamplesPerCall = 4096;
constexpr size_t OutputBufferSize = 256 * 1024;

// The library reads through these callbacks. They must not let an exception
// run through the library's C frames: a failure of the stream is kept and
// raised again once the library call has returned.
struct TReaderContext {
    base::TStream* Stream;
    std::exception_ptr Failure;
};

template <typename F>
auto Guarded(void* id, F&& action, decltype(action()) failed) -> decltype(action())
{
    auto* context = static_cast<TReaderContext*>(id);
    if (context->Failure)
        return failed;
    try {
        return action();
    } catch (...) {
        context->Failure = std::current_exception();
        return failed;
    }
}

base::TStream& StreamOf(void* id) { return *static_cast<TReaderContext*>(id)->Stream; }

int32_t ReadBytes(void* id, void* data, int32_t count)
{
    if (count <= 0)
        return 0;
    return Guarded(id, [&] { return static_cast<int32_t>(StreamOf(id).Read(data, count)); }, 0);
}

int32_t WriteBytes(void*, void*, int32_t) { return 0; }

int64_t GetPos(void* id)
{
    return Guarded(id, [&] { return StreamOf(id).Position(); }, int64_t(-1));
}

int SetPosAbs(void* id, int64_t pos)
{
    return Guarded(id, [&] {
        return StreamOf(id).Seek(pos, base::TSeekOrigin::soBeginning) == pos ? 0 : -1;
    }, -1);
}

int SetPosRel(void* id, int64_t delta, int mode)
{
    return Guarded(id, [&] {
        base::TStream& stream = StreamOf(id);
        int64_t target;
        switch (mode) {
        case SEEK_SET: target = delta; break;
        case SEEK_CUR: target = stream.Position() + delta; break;
        case SEEK_END: target = stream.Size() + delta; break;
        default: return -1;
        }
        if (target < 0)
            return -1;
        return stream.Seek(target, base::TSeekOrigin::soBeginning) == target ? 0 : -1;
    }, -1);
}

// The library only pushes back the byte it has just read.
int PushBackByte(void* id, int c)
{
    return Guarded(id, [&] {
        base::TStream& stream = StreamOf(id);
        const int64_t position = stream.Position();
        if (position <= 0)
            return EOF;
        stream.Seek(position - 1, base::TSeekOrigin::soBeginning);
        return c;
    }, EOF);
}

int64_t GetLength(void* id)
{
    return Guarded(id, [&] { return StreamOf(id).Size(); }, int64_t(0));
}

int CanSeek(void*) { return 1; }
int TruncateHere(void*) { return -1; }
int CloseStream(void*) { return 0; }

WavpackStreamReader64 StreamReader = {ReadBytes, WriteBytes, GetPos,    SetPosAbs,    SetPosRel,
                                      PushBackByte, GetLength, CanSeek, TruncateHere, CloseStream};

class TWavpackFile {
public:
    explicit TWavpackFile(WavpackContext* context) : FContext(context) {}
    ~TWavpackFile() { WavpackCloseFile(FContext); }
    TWavpackFile(const TWavpackFile&) = delete;
    TWavpackFile& operator=(const TWavpackFile&) = delete;
    WavpackContext* Get() const { return FContext; }

private:
    WavpackContext* FContext;
};

void RethrowFailure(TReaderContext& context)
{
    if (context.Failure)
        std::rethrow_exception(context.Failure);
}

// Stores `count` samples in little-endian order with `width` bytes each;
// 8-bit WAV data is unsigned.
uint8_t* PackSamples(const int32_t* samples, size_t count, int width, uint8_t* out)
{
    switch (width) {
    case 1:
        for (size_t i = 0; i < count; ++i)
            *out++ = static_cast<uint8_t>(samples[i] + 128);
        break;
    case 2:
        for (size_t i = 0; i < count; ++i) {
            const uint32_t v = static_cast<uint32_t>(samples[i]);
            out[0] = static_cast<uint8_t>(v);
            out[1] = static_cast<uint8_t>(v >> 8);
            out += 2;
        }
        break;
    case 3:
        for (size_t i = 0; i < count; ++i) {
            const uint32_t v = static_cast<uint32_t>(samples[i]);
            out[0] = static_cast<uint8_t>(v);
            out[1] = static_cast<uint8_t>(v >> 8);
            out[2] = static_cast<uint8_t>(v >> 16);
            out += 3;
        }
        break;
    default:
        for (size_t i = 0; i < count; ++i) {
            const uint32_t v = static_cast<uint32_t>(samples[i]);
            out[0] = static_cast<uint8_t>(v);
            out[1] = static_cast<uint8_t>(v >> 8);
            out[2] = static_cast<uint8_t>(v >> 16);
            out[3] = static_cast<uint8_t>(v >> 24);
            out += 4;
        }
        break;
    }
    return out;
}

} // namespace

void WavPackDecode(base::TStream& input, base::TStream& output, const TDecodeParams&)
{
    TReaderContext context{&input, nullptr};
    char error[80] = {};
    WavpackContext* opened = WavpackOpenFileInputEx64(&StreamReader, &context, nullptr, error, OPEN_WRAPPER, 0);
    RethrowFailure(context);
    if (opened == nullptr) {
        error[sizeof error - 1] = '\0';
        throw base::Exception(std::string("WavPack decompression failed: ") + error);
    }
    TWavpackFile file(opened);
    WavpackContext* wpc = file.Get();

    // The wrapper is the WAV file's header; afterwards the context keeps
    // only what follows the audio, so the same call gives the trailer.
    output.WriteBuffer(WavpackGetWrapperData(wpc), WavpackGetWrapperBytes(wpc));
    WavpackFreeWrapper(wpc);

    const int channels = WavpackGetNumChannels(wpc);
    const int width = WavpackGetBytesPerSample(wpc);
    if (channels <= 0 || width < 1 || width > 4)
        throw base::Exception("WavPack decompression failed: unsupported sample format");
    const size_t frameBytes = static_cast<size_t>(channels) * static_cast<size_t>(width);
    // Many channels shrink the batch so that one always fits the buffer.
    const uint32_t samplesPerCall =
        static_cast<uint32_t>(std::clamp<size_t>(OutputBufferSize / frameBytes, 1, SamplesPerCall));
    const size_t batchBytes = samplesPerCall * frameBytes;
    base::TBudgetCharge buffersCharge;
    buffersCharge.Resize(static_cast<int64_t>(samplesPerCall) * channels * 4 +
                         static_cast<int64_t>(std::max(OutputBufferSize, batchBytes)));
    std::vector<int32_t> samples(static_cast<size_t>(samplesPerCall) * static_cast<size_t>(channels));
    std::vector<uint8_t> buffer(std::max(OutputBufferSize, batchBytes));
    size_t filled = 0;
    for (;;) {
        const uint32_t got = WavpackUnpackSamples(wpc, samples.data(), samplesPerCall);
        RethrowFailure(context);
        base::BudgetTick(1 + static_cast<int64_t>(got) * channels / 4);
        if (got == 0)
            break;
        if (filled + batchBytes > buffer.size()) {
            output.WriteBuffer(buffer.data(), static_cast<int64_t>(filled));
            filled = 0;
        }
        uint8_t* end = PackSamples(samples.data(), static_cast<size_t>(got) * static_cast<size_t>(channels), width,
                                   buffer.data() + filled);
        filled = static_cast<size_t>(end - buffer.data());
    }
    output.WriteBuffer(buffer.data(), static_cast<int64_t>(filled));

    const uint32_t trailer = WavpackGetWrapperBytes(wpc);
    if (trailer > 0)
        output.WriteBuffer(WavpackGetWrapperData(wpc), trailer);
}

} // namespace addoscope::zip
