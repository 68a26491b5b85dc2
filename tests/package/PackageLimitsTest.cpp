// What the package opener lets one item cost: its output is capped, and so
// is the compressed input it may consume for that output.
#include "base/MemoryStream.h"
#include "package/Package.h"
#include "tests/zip/ZipTestWriter.h"

#include <gtest/gtest.h>

namespace {

using namespace addoscope;

// A Deflate stream of `padding` bytes of empty stored blocks (five bytes
// each, no output) and then the text in one final stored block.
std::string PaddedDeflate(const std::string& text, size_t padding)
{
    std::string out;
    out.reserve(padding + text.size() + 5);
    for (size_t i = 0; i + 5 <= padding; i += 5)
        out.append("\x00\x00\x00\xFF\xFF", 5);
    out += '\x01';
    out += static_cast<char>(text.size() & 0xFF);
    out += static_cast<char>(text.size() >> 8);
    out += static_cast<char>(~text.size() & 0xFF);
    out += static_cast<char>((~text.size() >> 8) & 0xFF);
    return out + text;
}

std::u16string NameOf(size_t padding)
{
    ziptest::TTestZip zip;
    ziptest::TTestEntry entry;
    entry.Name = "manifest.json";
    entry.Content = R"({"name":"Padded"})";
    entry.Data = PaddedDeflate(entry.Content, padding);
    entry.Method = 8;
    zip.Entries.push_back(entry);
    const std::string bytes = zip.Build();
    base::TMemoryStream stream;
    stream.LoadFromBuffer(bytes.data(), bytes.size());
    package::TAddoscope record;
    if (!package::ReadPackageStream(stream, u"padded.xpi", u"", record))
        return u"(not valid)";
    return record.Name;
}

} // namespace

TEST(PackageLimits, AnItemMayConsumeNoMoreInputThanItsOutputCapNeeds)
{
    // A megabyte of empty blocks is within what a 4 MiB description may
    // honestly take; six are not, and the reading stops before the text.
    EXPECT_EQ(NameOf(1 << 20), u"Padded");
    EXPECT_EQ(NameOf(6 << 20), u"(not valid)");
}
