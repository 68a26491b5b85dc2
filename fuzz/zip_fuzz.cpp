// Loads a zip archive from the input and extracts every item into memory.
// Odd-sized inputs get the password "secret" so that the decryption path
// runs too. Output per item and in total is capped: Deflate alone expands
// a thousandfold, and an archive may point many entries at the same data.
// The input is also decoded as a bare Deflate (or, by its size, Deflate64)
// stream, so that block headers and Huffman tables are explored directly.
// Inputs whose size has bit 2 set read at most a few KiB of each item's
// data (from the last byte), and every item is also looked up by its name
// and by the name with ASCII letters in upper case.
#include "base/Exception.h"
#include "base/MemoryStream.h"
#include "zip/methods/Inflate.h"
#include "zip/ZipArchive.h"

#include <cstddef>
#include <cstdint>
#include <string>

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
    if (size & 4)
        archive->SetCompressedReadLimit(1 + int64_t(data[size - 1]) * 37);
    try {
        archive->Load();
    } catch (const base::Exception&) {
        return 0;
    }
    int64_t total = 0;
    for (int i = 0; i < archive->Count() && total < TotalCap; ++i) {
        std::u16string upper = archive->ItemName(i);
        for (char16_t& c : upper)
            if (c >= u'a' && c <= u'z')
                c = static_cast<char16_t>(c - 32);
        if (archive->FindFile(archive->ItemName(i)) < 0 || archive->FindFile(upper) < 0)
            __builtin_trap(); // every item's own name finds an item
        TCappedMemoryStream target;
        archive->ExtractToStream(archive->ItemName(i), target);
        total += target.Size() + 1;
    }
    return 0;
}
