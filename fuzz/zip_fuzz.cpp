// Loads a zip archive from the input and extracts every item into memory.
// Odd-sized inputs get the password "secret" so that the decryption path
// runs too. Output per item and in total is capped: Deflate alone expands
// a thousandfold, and an archive may point many entries at the same data.
// The input is also decoded as a bare Deflate (or, by its size, Deflate64)
// stream, so that block headers and Huffman tables are explored directly.
#include "base/Exception.h"
#include "base/MemoryStream.h"
#include "zip/Inflate.h"
#include "zip/ZipArchive.h"

#include <cstddef>
#include <cstdint>

namespace {

constexpr int64_t ItemCap = 16 << 20;
constexpr int64_t TotalCap = 64 << 20;

class TCappedMemoryStream : public addoscope::base::TMemoryStream {
public:
    int64_t Write(const void* buffer, int64_t count) override
    {
        if (Size() + count > ItemCap)
            throw addoscope::base::EWriteError();
        return TMemoryStream::Write(buffer, count);
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace addoscope;
    base::TMemoryStream stream;
    stream.LoadFromBuffer(data, size);
    {
        TCappedMemoryStream target;
        zip::TDeflateHelper helper;
        if (size & 2)
            helper.FOptions |= zip::DeflateOptDeflate64;
        try {
            zip::Inflate(stream, target, &helper);
        } catch (const base::Exception&) {
        }
        stream.SetPosition(0);
    }
    auto archive = zip::TZipArchive::CreateFromStream(stream, u"fuzz.zip");
    archive->SetupExtraction();
    if (size & 1)
        archive->SetPassword(u"secret");
    try {
        archive->Load();
    } catch (const base::Exception&) {
        return 0;
    }
    int64_t total = 0;
    for (int i = 0; i < archive->Count() && total < TotalCap; ++i) {
        TCappedMemoryStream target;
        archive->ExtractToStream(archive->ItemName(i), target);
        total += target.Size() + 1;
    }
    return 0;
}
