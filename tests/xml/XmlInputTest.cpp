// The input layer (encodings, line ends, reading primitives) and the string
// table.
#include "XmlTestSupport.h"

#include "xml/XmlParser.h"
#include "xml/XmlStreams.h"
#include "xml/XmlStringTable.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace addoscope;
using namespace addoscope::xml;
using namespace addoscope::xml::xmltest;

namespace {

// A stream that hands out at most FStep bytes per read, so that chunk
// boundaries fall inside CR LF pairs, UTF-16 units and surrogate pairs.
class TDribbleStream : public base::TMemoryStream {
public:
    explicit TDribbleStream(int64_t step) : FStep(step) {}
    int64_t Read(void* buffer, int64_t count) override
    {
        return base::TMemoryStream::Read(buffer, std::min(count, FStep));
    }

private:
    int64_t FStep;
};

// Everything the parser decodes from the bytes, read byte by byte.
std::string Decoded(const std::string& bytes, int64_t step = 1 << 20, size_t chunk = 256)
{
    TDribbleStream stream(step);
    stream.LoadFromBuffer(bytes.data(), bytes.size());
    TxDiagnostics none;
    TxXmlParser parser(stream, chunk, none);
    parser.ReadBOM();
    std::string text;
    for (int c = parser.NextChar(); c != TxXmlParser::EndOfInput; c = parser.NextChar())
        text.push_back(static_cast<char>(c));
    return text;
}

const std::string Sample = "<a x=\"\xC3\xA9\">\xE2\x82\xAC \xF0\x9F\x98\x80\r\nline\rnext\n\r\n</a>";
const std::string SampleDecoded = "<a x=\"\xC3\xA9\">\xE2\x82\xAC \xF0\x9F\x98\x80\nline\nnext\n\n</a>";

} // namespace

TEST(XmlInput, SignaturesChooseTheDecoding)
{
    EXPECT_EQ(Decoded(Sample), SampleDecoded);
    EXPECT_EQ(Decoded("\xEF\xBB\xBF" + Sample), SampleDecoded);
    EXPECT_EQ(Decoded("\xFF\xFE" + Utf16Bytes(Sample, false)), SampleDecoded);
    EXPECT_EQ(Decoded("\xFE\xFF" + Utf16Bytes(Sample, true)), SampleDecoded);
    // Without a byte-order mark, UTF-16 is recognised from "<?".
    EXPECT_EQ(Decoded(Utf16Bytes("<?xml?><a/>", false)), "<?xml?><a/>");
    EXPECT_EQ(Decoded(Utf16Bytes("<?xml?><a/>", true)), "<?xml?><a/>");
    // A declared 8-bit encoding is not applied: the bytes pass unchanged.
    const std::string latin = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a>\xE9</a>";
    EXPECT_EQ(Decoded(latin), latin);
}

TEST(XmlInput, UnsupportedOrTinyInputDecodesNothing)
{
    const std::string bodies[] = {
        std::string("\x00\x00\xFE\xFF\x00\x00\x00<", 8),  // UTF-32BE with mark
        std::string("\xFF\xFE\x00\x00<\x00\x00\x00", 8),  // UTF-32LE with mark
        std::string("\x00\x00\x00<\x00\x00\x00\x61", 8),  // UTF-32BE
        std::string("<\x00\x00\x00\x61\x00\x00\x00", 8),  // UTF-32LE
        std::string("\x00\x00<\x00\x00\x00\x61\x00", 8),  // UCS-4 2143
        std::string("\x00<\x00\x00\x00\x61\x00\x00", 8),  // UCS-4 3412
        std::string("\x4C\x6F\xA7\x94\x40\x40", 6),       // EBCDIC "<?xm"
        "<a/>", "", "\xEF\xBB\xBF<"};
    for (const std::string& body : bodies)
        EXPECT_EQ(Decoded(body), "") << ::testing::PrintToString(body);
}

TEST(XmlInput, ChunkBoundariesSplitNothing)
{
    // Every split of CR LF, of a UTF-16 unit and of a surrogate pair across
    // reads decodes as the whole input does.
    std::string long8;
    for (int i = 0; i < 40; ++i)
        long8 += "ab\r\n\xC3\xA9\r\xF0\x9F\x98\x80\n";
    std::string expected;
    for (int i = 0; i < 40; ++i)
        expected += "ab\n\xC3\xA9\n\xF0\x9F\x98\x80\n";
    const std::string mark16le = "\xFF\xFE" + Utf16Bytes(long8, false);
    const std::string mark16be = "\xFE\xFF" + Utf16Bytes(long8, true);
    for (int64_t step : {1, 2, 3, 5, 7, 255, 256}) {
        EXPECT_EQ(Decoded(long8, step, 16), expected) << step;
        EXPECT_EQ(Decoded(mark16le, step, 16), expected) << step;
        EXPECT_EQ(Decoded(mark16be, step, 16), expected) << step;
    }
    // The CR closes the first 256-byte chunk and its LF opens the second.
    std::string split(255, 'x');
    split += "\r\nyz";
    EXPECT_EQ(Decoded(split), std::string(255, 'x') + "\nyz");
}

TEST(XmlInput, UnpairedSurrogatesBecomeReplacementCharacters)
{
    const std::string lone = std::string("\xFF\xFE", 2) + std::string("<\x00\x00\xD8x\x00\x00\xDC", 8);
    EXPECT_EQ(Decoded(lone), "<\xEF\xBF\xBDx\xEF\xBF\xBD");
    // A high surrogate cut off by the end of the input.
    EXPECT_EQ(Decoded(std::string("\xFF\xFE<\x00\x3D\xD8", 6)), "<\xEF\xBF\xBD");
}

TEST(XmlInput, ReadingPrimitives)
{
    auto stream = StreamOf("<![CData[x]]> tail\t\n<b  c>end");
    TxDiagnostics diagnostics;
    std::vector<std::string> said;
    diagnostics.SetHandler([&](const std::string& text, TxWarnStyle) { said.push_back(text); });
    TxXmlParser parser(*stream, 8, diagnostics);
    parser.ReadBOM();
    EXPECT_EQ(said, std::vector<std::string> {"unknown encoding"}); // read as UTF-8
    said.clear();
    EXPECT_EQ(parser.NextChar(), '<');
    EXPECT_FALSE(parser.CheckString("!--"));
    EXPECT_TRUE(parser.CheckString("![cdata["));
    EXPECT_EQ(parser.ReadStringUntil("]]>"), "x");
    std::string blanks;
    EXPECT_EQ(parser.NextCharSkipBlanks(blanks), 't');
    EXPECT_EQ(blanks, " ");
    parser.MoveBack();
    EXPECT_EQ(parser.ReadStringUntilBlankOrEndTag(), "tail");
    EXPECT_EQ(parser.GetLineNumber(), 0);
    EXPECT_EQ(parser.ReadStringUntilChar('<'), "\t\n");
    EXPECT_EQ(parser.GetLineNumber(), 1);
    const int64_t position = parser.GetPosition();
    parser.Flush();
    EXPECT_EQ(parser.GetPosition(), position);
    EXPECT_EQ(parser.GetLineNumber(), 1);
    EXPECT_EQ(parser.ReadStringUntilBlankOrEndTag(), "b");
    EXPECT_TRUE(said.empty());
    // A terminator that never comes: empty text, a diagnostic, input used up.
    EXPECT_EQ(parser.ReadStringUntil("-->"), "");
    ASSERT_EQ(said.size(), 1u);
    EXPECT_EQ(said[0].rfind("stream terminated prematurely at pos ", 0), 0u);
    EXPECT_EQ(parser.NextChar(), TxXmlParser::EndOfInput);
    EXPECT_FALSE(parser.CheckString("x"));
}

// Text before the current chunk is dropped only once a few KiB have
// gathered; position and line number read the same whether or not a flush
// came between, and whenever they are asked.
TEST(XmlInput, FlushesKeepPositionsAndLineNumbers)
{
    std::string text;
    for (int i = 0; i < 3000; ++i)
        text += std::string(i % 7, ' ') + "line\n";
    TxDiagnostics none;
    auto flushed = StreamOf(text);
    auto kept = StreamOf(text);
    TxXmlParser flushing(*flushed, 256, none);
    TxXmlParser keeping(*kept, 256, none);
    flushing.ReadBOM();
    keeping.ReadBOM();
    for (int i = 0; i < 3000; ++i) {
        const std::string line = flushing.ReadStringUntilChar('\n');
        ASSERT_EQ(line, keeping.ReadStringUntilChar('\n'));
        flushing.Flush();
        // Asked now and then, so the counted part runs on over several
        // flushes in between.
        if (i % 97 == 0 || i > 2990) {
            ASSERT_EQ(flushing.GetPosition(), keeping.GetPosition()) << i;
            ASSERT_EQ(flushing.GetLineNumber(), i + 1) << i;
            ASSERT_EQ(keeping.GetLineNumber(), i + 1) << i;
        }
    }
    EXPECT_EQ(flushing.GetPosition(), static_cast<int64_t>(text.size()));
    EXPECT_TRUE(flushing.AtEnd());
}

TEST(XmlInput, NulBytesAreText)
{
    EXPECT_EQ(Decoded(std::string("<a>\0b</a>", 9)), std::string("<a>\0b</a>", 9));
}

TEST(XmlSymbolTable, IdsFollowFirstInsertion)
{
    TxSymbolTable table;
    EXPECT_EQ(table.AddString(""), 0u);
    EXPECT_EQ(table.AddString("em:id"), 1u);
    EXPECT_EQ(table.AddString("em:name"), 2u);
    EXPECT_EQ(table.AddString("em:id"), 1u);
    EXPECT_EQ(table.AddString("EM:ID"), 3u);
    EXPECT_EQ(table.AddString(std::string("a\0b", 3)), 4u);
    EXPECT_EQ(table.AddString("a"), 5u);
    EXPECT_EQ(table.GetString(0), "");
    EXPECT_EQ(table.GetString(2), "em:name");
    EXPECT_EQ(table.GetString(4), std::string("a\0b", 3));

    TxDiagnostics diagnostics;
    std::string said;
    diagnostics.SetHandler([&](const std::string& text, TxWarnStyle) { said = text; });
    table.SetDiagnostics(&diagnostics);
    EXPECT_EQ(table.GetString(6), "");
    EXPECT_EQ(said, "string ID not found");
    table.Clear();
    EXPECT_EQ(table.Count(), 0u);
    EXPECT_EQ(table.AddString("em:name"), 1u);
}

TEST(XmlSymbolTable, ManyStringsKeepTheirIds)
{
    // Grows the index through many rehashes; short strings sit inside their
    // string objects, so this also catches views left dangling by growth.
    TxSymbolTable table;
    const uint32_t count = 200000;
    for (uint32_t i = 0; i < count; ++i)
        ASSERT_EQ(table.AddString(std::to_string(i)), i + 1);
    for (uint32_t i = 0; i < count; i += 997) {
        EXPECT_EQ(table.AddString(std::to_string(i)), i + 1);
        EXPECT_EQ(table.GetString(i + 1), std::to_string(i));
    }
}

TEST(XmlFastMemStream, GrowsInFibonacciSteps)
{
    TxFastMemStream stream(10);
    EXPECT_EQ(stream.Capacity(), 10u);
    stream.Write("0123456789A", 11); // 10 + 5
    EXPECT_EQ(stream.Capacity(), 15u);
    stream.Write("0123456789012345678", 19); // 30 bytes: 15+10=25, 25+15=40
    EXPECT_EQ(stream.Capacity(), 40u);
    EXPECT_EQ(std::string(stream.Memory(), stream.Size()), "0123456789A0123456789012345678");
    stream.Seek(3);
    char part[4] = {};
    EXPECT_EQ(stream.Read(part, 3), 3u);
    EXPECT_EQ(std::string(part), "345");
    stream.SetSize(2);
    EXPECT_EQ(stream.Position(), 2u);
    EXPECT_EQ(stream.Read(part, 3), 0u);
}
