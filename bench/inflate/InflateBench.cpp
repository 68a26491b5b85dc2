// Decoding speed of our Inflate against zlib's inflate. The corpus is made
// here, reproducibly: 12 MB of text-like and 12 MB of binary-like data, each
// compressed by zlib (raw Deflate) at levels 1, 6 and 9. Both decoders
// write into memory; ours keeps a CRC-32 of its output as the zip reader
// needs, so the peer's figure includes zlib's crc32 over the same output.
// A line "zlib bare" shows zlib without that check, for reference.
#include "base/Stream.h"
#include "zip/methods/Inflate.h"

#include <zlib.h>

#include <algorithm>
#include <ctime>
#include <cstdio>
#include <cstring>
#include <random>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

using namespace addoscope;

namespace {

// A source over a byte range and a sink into a preallocated buffer, so that
// neither side pays for growing memory.
class TRangeStream : public base::TStream {
public:
    TRangeStream(const uint8_t* data, size_t size) : FData(data), FSize(size) {}
    int64_t Read(void* buffer, int64_t count) override
    {
        const size_t n = std::min<size_t>(static_cast<size_t>(count), FSize - FPos);
        std::memcpy(buffer, FData + FPos, n);
        FPos += n;
        return static_cast<int64_t>(n);
    }
    int64_t Write(const void*, int64_t) override { return 0; }
    int64_t Seek(int64_t offset, base::TSeekOrigin origin) override
    {
        const int64_t from = origin == base::TSeekOrigin::soBeginning ? 0
                             : origin == base::TSeekOrigin::soCurrent ? static_cast<int64_t>(FPos)
                                                                      : static_cast<int64_t>(FSize);
        FPos = static_cast<size_t>(std::clamp<int64_t>(from + offset, 0, static_cast<int64_t>(FSize)));
        return static_cast<int64_t>(FPos);
    }

private:
    const uint8_t* FData;
    size_t FSize;
    size_t FPos = 0;
};

class TBufferSink : public base::TStream {
public:
    explicit TBufferSink(std::vector<uint8_t>& buffer) : FBuffer(buffer) {}
    int64_t Read(void*, int64_t) override { return 0; }
    int64_t Write(const void* data, int64_t count) override
    {
        if (FPos + static_cast<size_t>(count) > FBuffer.size())
            throw std::runtime_error("sink overflow");
        std::memcpy(FBuffer.data() + FPos, data, static_cast<size_t>(count));
        FPos += static_cast<size_t>(count);
        return count;
    }
    int64_t Seek(int64_t, base::TSeekOrigin) override { return static_cast<int64_t>(FPos); }
    size_t Written() const { return FPos; }

private:
    std::vector<uint8_t>& FBuffer;
    size_t FPos = 0;
};

std::vector<uint8_t> TextLike(size_t size)
{
    // Words drawn with a skewed distribution from a generated vocabulary,
    // with punctuation and line breaks: compresses roughly like prose.
    std::mt19937 rng(12345);
    std::vector<std::string> words;
    for (int i = 0; i < 5000; ++i) {
        std::string w;
        const int len = 2 + static_cast<int>(rng() % 9);
        for (int k = 0; k < len; ++k)
            w += static_cast<char>('a' + rng() % 26);
        words.push_back(w);
    }
    std::vector<uint8_t> out;
    out.reserve(size);
    int column = 0;
    while (out.size() < size) {
        const double u = std::generate_canonical<double, 32>(rng);
        const std::string& w = words[static_cast<size_t>(u * u * u * words.size())];
        out.insert(out.end(), w.begin(), w.end());
        column += static_cast<int>(w.size()) + 1;
        const unsigned r = rng() % 20;
        if (r == 0)
            out.push_back(',');
        if (r == 1)
            out.push_back('.');
        if (column > 70) {
            out.push_back('\r');
            out.push_back('\n');
            column = 0;
        } else {
            out.push_back(' ');
        }
    }
    out.resize(size);
    return out;
}

std::vector<uint8_t> BinaryLike(size_t size)
{
    // Records of small integers, floats, repeated headers and noise: like
    // program files, images and tables rather than text.
    std::mt19937 rng(6789);
    std::vector<uint8_t> out;
    out.reserve(size);
    uint32_t counter = 0;
    while (out.size() < size) {
        const unsigned kind = rng() % 8;
        if (kind < 3) {
            for (int i = 0; i < 16; ++i) {
                const uint32_t v = counter++ * 7 + (rng() % 4);
                out.insert(out.end(), {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), 0});
            }
        } else if (kind < 5) {
            for (int i = 0; i < 8; ++i) {
                float f = static_cast<float>(rng() % 1000) / 8.0f;
                uint8_t b[4];
                std::memcpy(b, &f, 4);
                out.insert(out.end(), b, b + 4);
            }
        } else if (kind < 6) {
            static const char header[] = "\x7F" "ELF\x02\x01\x01\0\0\0\0\0\0\0\0\0\x03\0\x3E\0";
            out.insert(out.end(), header, header + sizeof header - 1);
        } else {
            const int n = 8 + static_cast<int>(rng() % 56);
            for (int i = 0; i < n; ++i)
                out.push_back(static_cast<uint8_t>(rng()));
        }
    }
    out.resize(size);
    return out;
}

std::vector<uint8_t> Compress(const std::vector<uint8_t>& data, int level)
{
    z_stream z {};
    if (deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("deflateInit2");
    std::vector<uint8_t> out(deflateBound(&z, data.size()));
    z.next_in = const_cast<Bytef*>(data.data());
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    if (deflate(&z, Z_FINISH) != Z_STREAM_END)
        throw std::runtime_error("deflate");
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

uint32_t ZlibInflate(const std::vector<uint8_t>& compressed, std::vector<uint8_t>& out, bool withCrc)
{
    z_stream z {};
    if (inflateInit2(&z, -15) != Z_OK)
        throw std::runtime_error("inflateInit2");
    z.next_in = const_cast<Bytef*>(compressed.data());
    z.avail_in = static_cast<uInt>(compressed.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    if (inflate(&z, Z_FINISH) != Z_STREAM_END)
        throw std::runtime_error("inflate");
    const size_t produced = z.total_out;
    inflateEnd(&z);
    return withCrc ? static_cast<uint32_t>(crc32(0, out.data(), static_cast<uInt>(produced))) : 0;
}

template <class F>
double BestSeconds(int runs, F&& f)
{
    double best = 1e9;
    for (int i = 0; i < runs; ++i) {
        // Processor time rather than wall time: the machine is shared, and
        // the measurement should not depend on what else runs.
        const std::clock_t t0 = std::clock();
        f();
        const std::clock_t t1 = std::clock();
        best = std::min(best, static_cast<double>(t1 - t0) / CLOCKS_PER_SEC);
    }
    return best;
}

// Blocks that hold only a header declaring every symbol, with codes as
// long as a complete code allows, and their end-of-block code: the input a
// hostile package fills its data with, as it makes every block build its
// tables and produce nothing. Complete codes, so that zlib takes them too.
class THeaderOnlyBlocks {
public:
    static std::vector<uint8_t> Make(size_t size)
    {
        THeaderOnlyBlocks w;
        const std::vector<uint8_t> lit = LongCode(286), dist = LongCode(30);
        while (w.FOut.size() < size)
            w.Block(lit, dist, false);
        w.Block(lit, dist, true);
        if (w.FCount > 0)
            w.FOut.push_back(static_cast<uint8_t>(w.FBits));
        return w.FOut;
    }

private:
    // A complete code of `count` symbols with as many 15-bit codes as fit.
    static std::vector<uint8_t> LongCode(size_t count)
    {
        std::vector<uint8_t> lengths;
        int64_t units = (int64_t(1) << 15) - static_cast<int64_t>(count);
        for (size_t i = 0; i < count; ++i) {
            int len = 1;
            while (((int64_t(1) << (15 - len)) - 1) > units)
                ++len;
            units -= (int64_t(1) << (15 - len)) - 1;
            lengths.push_back(static_cast<uint8_t>(len));
        }
        return lengths;
    }
    static std::vector<uint32_t> Canonical(const std::vector<uint8_t>& lengths)
    {
        uint32_t count[17] = {}, next[17] = {};
        for (uint8_t l : lengths)
            ++count[l];
        count[0] = 0;
        for (int len = 1, code = 0; len <= 16; ++len) {
            code = (code + static_cast<int>(count[len - 1])) << 1;
            next[len] = static_cast<uint32_t>(code);
        }
        std::vector<uint32_t> codes(lengths.size());
        for (size_t i = 0; i < lengths.size(); ++i)
            if (lengths[i])
                codes[i] = next[lengths[i]]++;
        return codes;
    }
    void Put(uint32_t value, int count)
    {
        FBits |= uint64_t(value) << FCount;
        FCount += count;
        while (FCount >= 8) {
            FOut.push_back(static_cast<uint8_t>(FBits));
            FBits >>= 8;
            FCount -= 8;
        }
    }
    void PutCode(uint32_t code, int length)
    {
        for (int i = length - 1; i >= 0; --i)
            Put((code >> i) & 1, 1);
    }
    void Block(const std::vector<uint8_t>& lit, const std::vector<uint8_t>& dist, bool final)
    {
        // Code lengths as runs: a length, then repeats of it (16) of up to 6.
        std::vector<uint8_t> all(lit);
        all.insert(all.end(), dist.begin(), dist.end());
        std::vector<std::pair<int, int>> runs; // symbol, repeat extra (-1: none)
        for (size_t i = 0; i < all.size();) {
            size_t j = i;
            while (j < all.size() && all[j] == all[i])
                ++j;
            size_t run = j - i - 1;
            runs.push_back({all[i], -1});
            for (; run >= 3; run -= std::min<size_t>(run, 6))
                runs.push_back({16, static_cast<int>(std::min<size_t>(run, 6) - 3)});
            for (; run > 0; --run)
                runs.push_back({all[i], -1});
            i = j;
        }
        // The code-length code: 16 with 1 bit, the lengths 0-15 with 5.
        std::vector<uint8_t> cl(19, 0);
        cl[16] = 1;
        for (int len = 0; len <= 15; ++len)
            cl[static_cast<size_t>(len)] = 5;
        const std::vector<uint32_t> clCodes = Canonical(cl);
        static const int order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
        Put(final ? 1 : 0, 1);
        Put(2, 2);
        Put(static_cast<uint32_t>(lit.size() - 257), 5);
        Put(static_cast<uint32_t>(dist.size() - 1), 5);
        Put(19 - 4, 4);
        for (int symbol : order)
            Put(cl[static_cast<size_t>(symbol)], 3);
        for (const auto& [symbol, extra] : runs) {
            PutCode(clCodes[static_cast<size_t>(symbol)], cl[static_cast<size_t>(symbol)]);
            if (extra >= 0)
                Put(static_cast<uint32_t>(extra), 2);
        }
        const std::vector<uint32_t> litCodes = Canonical(lit);
        PutCode(litCodes[256], lit[256]);
    }

    std::vector<uint8_t> FOut;
    uint64_t FBits = 0;
    int FCount = 0;
};

} // namespace

int main(int argc, char** argv)
{
    // Arguments: repetitions (best one counts), and optionally "only" to
    // time our decoder alone on binary level 9, for profiling.
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const bool profileOnly = argc > 2 && std::strcmp(argv[2], "only") == 0;
    const size_t size = 12u << 20;
    struct TInput {
        const char* Name;
        std::vector<uint8_t> Data;
    };
    TInput inputs[] = {{"text", TextLike(size)}, {"binary", BinaryLike(size)}};

    std::printf("%-26s %12s %12s %8s\n", "what (MB/s of output)", "Inflate", "zlib", "ratio");
    double oursTotal = 0, zlibTotal = 0, bareTotal = 0, bytesTotal = 0;
    for (const auto& input : inputs) {
        for (int level : {1, 6, 9}) {
            if (profileOnly && (level != 9 || std::strcmp(input.Name, "binary") != 0))
                continue;
            const std::vector<uint8_t> compressed = Compress(input.Data, level);
            std::vector<uint8_t> out(input.Data.size());
            uint32_t ourCrc = 0;
            const double ours = BestSeconds(runs, [&] {
                TRangeStream source(compressed.data(), compressed.size());
                TBufferSink sink(out);
                ourCrc = zip::Inflate(source, sink);
                if (sink.Written() != input.Data.size())
                    throw std::runtime_error("short output");
            });
            if (std::memcmp(out.data(), input.Data.data(), out.size()) != 0)
                throw std::runtime_error("output differs");
            if (profileOnly) {
                zip::TDeflateHelper noCrc;
                noCrc.FOptions |= zip::DeflateOptNoChecksum;
                const double bare = BestSeconds(runs, [&] {
                    TRangeStream source(compressed.data(), compressed.size());
                    TBufferSink sink(out);
                    zip::Inflate(source, sink, &noCrc);
                });
                const double mb = static_cast<double>(input.Data.size()) / 1e6;
                std::printf("binary level 9: %.1f MB/s, without CRC %.1f MB/s\n", mb / ours, mb / bare);
                continue;
            }
            uint32_t zlibCrc = 0;
            const double peer = BestSeconds(runs, [&] { zlibCrc = ZlibInflate(compressed, out, true); });
            const double bare = BestSeconds(runs, [&] { ZlibInflate(compressed, out, false); });
            if (zlibCrc != ourCrc)
                throw std::runtime_error("CRC differs");
            const double mb = static_cast<double>(input.Data.size()) / 1e6;
            char what[64];
            std::snprintf(what, sizeof what, "%s level %d (%.0f%%)", input.Name, level,
                          100.0 * static_cast<double>(compressed.size()) / static_cast<double>(input.Data.size()));
            std::printf("%-26s %12.1f %12.1f %8.2f\n", what, mb / ours, mb / peer, peer / ours);
            std::printf("%-26s %12.1f %12.1f %8.2f\n", "  vs zlib bare (no CRC)", mb / ours, mb / bare, bare / ours);
            oursTotal += ours;
            zlibTotal += peer;
            bareTotal += bare;
            bytesTotal += mb;
        }
    }
    // Header-only blocks: no output, so the figures are nanoseconds per
    // input byte (lower is better); the ratio is still zlib's time over ours.
    if (!profileOnly) {
        const std::vector<uint8_t> blocks = THeaderOnlyBlocks::Make(4u << 20);
        std::vector<uint8_t> none(16);
        const double ours = BestSeconds(runs, [&] {
            TRangeStream source(blocks.data(), blocks.size());
            TBufferSink sink(none);
            zip::Inflate(source, sink);
            if (sink.Written() != 0)
                throw std::runtime_error("output from empty blocks");
        });
        const double peer = BestSeconds(runs, [&] { ZlibInflate(blocks, none, false); });
        const double bytes = static_cast<double>(blocks.size());
        std::printf("%-26s %12.1f %12.1f %8.2f\n", "header-only blocks (ns/B)", ours / bytes * 1e9,
                    peer / bytes * 1e9, peer / ours);
    }
    std::printf("%-26s %12.1f %12.1f %8.2f\n", "all streams", bytesTotal / oursTotal, bytesTotal / zlibTotal,
                zlibTotal / oursTotal);
    std::printf("%-26s %12.1f %12.1f %8.2f\n", "all streams vs zlib bare", bytesTotal / oursTotal,
                bytesTotal / bareTotal, bareTotal / oursTotal);
    return 0;
}
