#include "xml/XmlParser.h"

#include "base/Exception.h"
#include "base/Text.h"
#include "base/Utf8.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace addoscope::xml {

namespace {

// Tried in this order; the first entry whose counted bytes all match wins.
const TxBomInfo BomTable[] = {
    {{0x3C, 0x3F, 0x78, 0x6D}, 4, seAnsi, false},
    {{0xEF, 0xBB, 0xBF, 0x00}, 3, seUTF8, true},
    {{0x00, 0x00, 0xFE, 0xFF}, 4, seUTF32BE, true},
    {{0xFF, 0xFE, 0x00, 0x00}, 4, seUTF32LE, true},
    {{0x00, 0x00, 0xFF, 0xFE}, 4, seUCS4_2143, true},
    {{0xFE, 0xFF, 0x00, 0x00}, 4, seUCS4_3412, true},
    {{0xFE, 0xFF, 0x00, 0x00}, 2, seUTF16BE, true},
    {{0xFF, 0xFE, 0x00, 0x00}, 2, seUTF16LE, true},
    {{0x00, 0x00, 0x00, 0x3C}, 4, seUTF32BE, false},
    {{0x3C, 0x00, 0x00, 0x00}, 4, seUTF32LE, false},
    {{0x00, 0x00, 0x3C, 0x00}, 4, seUCS4_2143, false},
    {{0x00, 0x3C, 0x00, 0x00}, 4, seUCS4_3412, false},
    {{0x00, 0x3C, 0x00, 0x3F}, 4, seUTF16BE, false},
    {{0x3C, 0x00, 0x3F, 0x00}, 4, seUTF16LE, false},
    {{0x4C, 0x6F, 0xA7, 0x94}, 4, seEBCDIC, false},
};

constexpr size_t FlushThreshold = 4096;

// LF bytes in the text. Counted in runs of at most 255 into a byte, which
// the compiler does sixteen or more at a time; a count of a wider type is
// done byte by byte.
int64_t CountLineEnds(const char* text, size_t count)
{
    int64_t lines = 0;
    while (count > 0) {
        const size_t run = std::min<size_t>(count, 255);
        uint8_t inRun = 0;
        for (size_t i = 0; i < run; ++i)
            inRun = static_cast<uint8_t>(inRun + (text[i] == '\n'));
        lines += inRun;
        text += run;
        count -= run;
    }
    return lines;
}

inline char LowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}


} // namespace

TxXmlParser::TxXmlParser(base::TStream& source, size_t chunkSize, const TxDiagnostics& diagnostics)
    : FSource(source), FChunkSize(std::max<size_t>(chunkSize, 8)), FDiagnostics(diagnostics),
      FRawBuffer(FChunkSize)
{
    // Room for a small document's whole text, taken at once.
    FUtf8Buffer.reserve(4 * FChunkSize);
    // The signature needs the first bytes together, so a stream that hands
    // out less than asked is read until the first chunk is full.
    while (FRawLastIdx < FChunkSize) {
        const int64_t n = FSource.Read(FRawBuffer.data() + FRawLastIdx, static_cast<int64_t>(FChunkSize - FRawLastIdx));
        if (n <= 0)
            break;
        FRawLastIdx += static_cast<size_t>(n);
    }
}

void TxXmlParser::Report(const char* message, TxWarnStyle style) const
{
    FDiagnostics.Send(message, style);
}

void TxXmlParser::ReportTerminated() const
{
    if (FDiagnostics.Enabled())
        FDiagnostics.Send(base::FormatText("stream terminated prematurely at pos %lld",
                                           static_cast<long long>(GetPosition())),
                          wsWarn);
}

bool TxXmlParser::IsBinaryXml() const
{
    return FRawLastIdx >= 5 && std::memcmp(FRawBuffer.data(), "$BXM", 4) == 0;
}

void TxXmlParser::ReadBOM()
{
    if (FRawLastIdx <= 4) {
        ReportTerminated();
        FEndOfStream = true;
        return;
    }
    FBomInfo = nullptr;
    for (const TxBomInfo& entry : BomTable) {
        if (std::memcmp(FRawBuffer.data(), entry.Bytes, static_cast<size_t>(entry.Count)) == 0) {
            FBomInfo = &entry;
            break;
        }
    }
    if (!FBomInfo) {
        Report("unknown encoding", wsWarn);
        FEncoding = seUTF8;
    } else {
        FEncoding = FBomInfo->Encoding;
        if (FEncoding != seAnsi && FEncoding != seUTF8 && FEncoding != seUTF16BE && FEncoding != seUTF16LE) {
            if (FDiagnostics.Enabled())
                FDiagnostics.Send(base::FormatText("unsupported encoding (%s)", EncodingName(FEncoding)), wsFail);
            FEndOfStream = true;
            return;
        }
        if (FBomInfo->IsByteOrderMark) {
            FRawFirstIdx = static_cast<size_t>(FBomInfo->Count);
            if (FDiagnostics.Enabled())
                FDiagnostics.Send(base::FormatText("BOM with encoding %s", EncodingName(FEncoding)), wsInfo);
        }
    }
    FDecoding = true;
    FUtf8FirstIdx = FUtf8Buffer.size();
    Decode(FRawBuffer.data() + FRawFirstIdx, FRawLastIdx - FRawFirstIdx);
    ChunkDecoded();
}

// Every decoded byte is scanned a bounded number of times by the reading
// primitives, so a tick per chunk pays for their loops.
void TxXmlParser::ChunkDecoded()
{
    base::BudgetTick(static_cast<int64_t>(FChunkSize / 16));
    if (FUtf8Buffer.capacity() != static_cast<size_t>(FBufferCharge.Bytes()))
        FBufferCharge.Resize(static_cast<int64_t>(FUtf8Buffer.capacity()));
}

void TxXmlParser::ReadChunk()
{
    if (!FDecoding || FEndOfStream) {
        FEndOfStream = true;
        return;
    }
    FUtf8FirstIdx = FUtf8Buffer.size();
    const int64_t n = FSource.Read(FRawBuffer.data(), static_cast<int64_t>(FChunkSize));
    if (n <= 0) {
        FRawFirstIdx = FRawLastIdx = 0;
        FinishDecoding();
        FEndOfStream = true;
        return;
    }
    FRawFirstIdx = 0;
    FRawLastIdx = static_cast<size_t>(n);
    Decode(FRawBuffer.data(), FRawLastIdx);
    ChunkDecoded();
}

void TxXmlParser::Decode(const uint8_t* data, size_t count)
{
    if (FEncoding == seUTF16BE || FEncoding == seUTF16LE)
        DecodeUtf16(data, count);
    else
        DecodeBytes(data, count);
}

// UTF-8 and code-page-less ANSI are copied as they are; only line ends
// change: CR LF, CR and LF all become one LF, also when a chunk ends
// between the CR and the LF.
void TxXmlParser::DecodeBytes(const uint8_t* data, size_t count)
{
    if (count == 0)
        return;
    size_t i = 0;
    if (FLastChar0D && data[0] == '\n')
        i = 1;
    FLastChar0D = false;
    const char* text = reinterpret_cast<const char*>(data);
    while (i < count) {
        const void* cr = std::memchr(text + i, '\r', count - i);
        if (!cr) {
            FUtf8Buffer.append(text + i, count - i);
            return;
        }
        const size_t at = static_cast<size_t>(static_cast<const char*>(cr) - text);
        FUtf8Buffer.append(text + i, at - i);
        FUtf8Buffer.push_back('\n');
        if (at + 1 == count) {
            FLastChar0D = true;
            return;
        }
        i = data[at + 1] == '\n' ? at + 2 : at + 1;
    }
}

void TxXmlParser::AppendUnit(uint32_t cp)
{
    char out[4];
    FUtf8Buffer.append(out, base::EncodeUtf8(cp, out));
}

// Surrogate pairs become one four-byte sequence, so characters beyond the
// Basic Multilingual Plane survive; an unpaired surrogate becomes U+FFFD.
void TxXmlParser::DecodeUtf16(const uint8_t* data, size_t count)
{
    const bool bigEndian = FEncoding == seUTF16BE;
    size_t i = 0;
    while (i < count) {
        uint8_t b0;
        uint8_t b1;
        if (FPendingByte >= 0) {
            b0 = static_cast<uint8_t>(FPendingByte);
            b1 = data[i++];
            FPendingByte = -1;
        } else if (i + 1 < count) {
            b0 = data[i];
            b1 = data[i + 1];
            i += 2;
        } else {
            FPendingByte = data[i++];
            break;
        }
        const uint32_t unit = bigEndian ? (uint32_t(b0) << 8 | b1) : (uint32_t(b1) << 8 | b0);
        if (FPendingHigh != 0) {
            const uint32_t high = FPendingHigh;
            FPendingHigh = 0;
            if (unit >= 0xDC00 && unit <= 0xDFFF) {
                AppendUnit(0x10000 + ((high - 0xD800) << 10) + (unit - 0xDC00));
                FLastChar0D = false;
                continue;
            }
            AppendUnit(0xFFFD);
        }
        if (unit == '\n' && FLastChar0D) {
            FLastChar0D = false;
            continue;
        }
        FLastChar0D = unit == '\r';
        if (unit >= 0xD800 && unit <= 0xDBFF)
            FPendingHigh = unit;
        else if (unit >= 0xDC00 && unit <= 0xDFFF)
            AppendUnit(0xFFFD);
        else
            AppendUnit(unit == '\r' ? '\n' : unit);
    }
}

void TxXmlParser::FinishDecoding()
{
    if (FPendingHigh != 0)
        AppendUnit(0xFFFD);
    FPendingHigh = 0;
    FPendingByte = -1;
}

size_t TxXmlParser::ReadMoreData()
{
    while (FUtf8CurrentIdx >= FUtf8Buffer.size() && !FEndOfStream)
        ReadChunk();
    return FUtf8Buffer.size() - std::min(FUtf8CurrentIdx, FUtf8Buffer.size());
}

bool TxXmlParser::Ensure(size_t count)
{
    while (FUtf8Buffer.size() - FUtf8CurrentIdx < count && !FEndOfStream)
        ReadChunk();
    return FUtf8Buffer.size() - FUtf8CurrentIdx >= count;
}

int TxXmlParser::NextCharAfterReading()
{
    if (ReadMoreData() == 0)
        return EndOfInput;
    return static_cast<unsigned char>(FUtf8Buffer[FUtf8CurrentIdx++]);
}

void TxXmlParser::MoveBackFailed()
{
    base::RaiseAssertion("MoveBack at the start of the buffer", __FILE__, __LINE__);
}

bool TxXmlParser::CheckString(std::string_view text)
{
    if (!Ensure(text.size()))
        return false;
    const char* at = FUtf8Buffer.data() + FUtf8CurrentIdx;
    for (size_t i = 0; i < text.size(); ++i)
        if (LowerAscii(at[i]) != LowerAscii(text[i]))
            return false;
    FUtf8CurrentIdx += text.size();
    return true;
}

std::string_view TxXmlParser::ReadViewUntilCharAcrossChunks(char terminator, bool* found, std::string& spill)
{
    spill.clear();
    bool spilled = false;
    while (size_t available = MakeDataAvailable()) {
        const char* start = FUtf8Buffer.data() + FUtf8CurrentIdx;
        const void* hit = std::memchr(start, terminator, available);
        if (hit) {
            const size_t length = static_cast<size_t>(static_cast<const char*>(hit) - start);
            FUtf8CurrentIdx += length + 1;
            if (found)
                *found = true;
            if (!spilled)
                return std::string_view(start, length);
            spill.append(start, length);
            return spill;
        }
        spill.append(start, available);
        spilled = true;
        FUtf8CurrentIdx += available;
    }
    if (found)
        *found = false;
    return spill;
}

std::string TxXmlParser::ReadStringUntilChar(char terminator, bool* found)
{
    std::string spill;
    return std::string(ReadViewUntilChar(terminator, found, spill));
}

std::string TxXmlParser::ReadStringUntilCharOutsideQuotes(char terminator, bool* found)
{
    std::string result;
    char quote = 0; // the open literal's quote, which may span chunks
    while (size_t available = MakeDataAvailable()) {
        const char* start = FUtf8Buffer.data() + FUtf8CurrentIdx;
        for (size_t i = 0; i < available; ++i) {
            const char c = start[i];
            if (quote != 0) {
                if (c == quote)
                    quote = 0;
            } else if (c == terminator) {
                result.append(start, i);
                FUtf8CurrentIdx += i + 1;
                if (found)
                    *found = true;
                return result;
            } else if (c == '"' || c == '\'') {
                quote = c;
            }
        }
        result.append(start, available);
        FUtf8CurrentIdx += available;
    }
    if (found)
        *found = false;
    return result;
}

std::string TxXmlParser::ReadStringUntilEither(char first, char second, int& hit)
{
    std::string result;
    while (size_t available = MakeDataAvailable()) {
        const char* start = FUtf8Buffer.data() + FUtf8CurrentIdx;
        for (size_t i = 0; i < available; ++i) {
            if (start[i] == first || start[i] == second) {
                hit = static_cast<unsigned char>(start[i]);
                result.append(start, i);
                FUtf8CurrentIdx += i + 1;
                return result;
            }
        }
        result.append(start, available);
        FUtf8CurrentIdx += available;
    }
    hit = EndOfInput;
    return result;
}

std::string TxXmlParser::ReadStringUntil(std::string_view terminator, bool* found)
{
    std::string result;
    if (terminator.empty()) {
        if (found)
            *found = true;
        return result;
    }
    const char lead = LowerAscii(terminator[0]);
    while (size_t available = MakeDataAvailable()) {
        const char* start = FUtf8Buffer.data() + FUtf8CurrentIdx;
        size_t i = 0;
        while (i < available && LowerAscii(start[i]) != lead)
            ++i;
        result.append(start, i);
        FUtf8CurrentIdx += i;
        if (i == available)
            continue;
        // A possible terminator starts here; the comparison may need the
        // next chunk, which Ensure appends without moving our position.
        if (!Ensure(terminator.size()))
            break;
        if (CheckString(terminator)) {
            if (found)
                *found = true;
            return result;
        }
        result.push_back(FUtf8Buffer[FUtf8CurrentIdx++]);
    }
    FUtf8CurrentIdx = FUtf8Buffer.size();
    ReportTerminated();
    if (found)
        *found = false;
    return {};
}

std::string_view TxXmlParser::ReadViewUntilBlankOrEndTagAcrossChunks(std::string& spill)
{
    spill.clear();
    bool spilled = false;
    while (size_t available = MakeDataAvailable()) {
        const char* start = FUtf8Buffer.data() + FUtf8CurrentIdx;
        for (size_t i = 0; i < available; ++i) {
            if (NameEnds[static_cast<unsigned char>(start[i])]) {
                FUtf8CurrentIdx += i;
                if (!spilled)
                    return std::string_view(start, i);
                spill.append(start, i);
                return spill;
            }
        }
        spill.append(start, available);
        spilled = true;
        FUtf8CurrentIdx += available;
    }
    ReportTerminated();
    spill.clear();
    return spill;
}

std::string TxXmlParser::ReadStringUntilBlankOrEndTag()
{
    std::string spill;
    return std::string(ReadViewUntilBlankOrEndTag(spill));
}

int TxXmlParser::SkipBlanksThenNextChar(std::string& blanks)
{
    for (;;) {
        const int c = NextChar();
        if (c == EndOfInput || !base::IsBlank(static_cast<uint32_t>(c)))
            return c;
        blanks.push_back(static_cast<char>(c));
    }
}

void TxXmlParser::Flush()
{
    // Only a few chunks' worth is worth moving the rest of the buffer for:
    // a small document is never moved, and a large one keeps the buffer
    // this small all the same.
    if (FUtf8CurrentIdx <= FUtf8FirstIdx || FUtf8FirstIdx < FlushThreshold)
        return;
    const size_t discarded = FUtf8FirstIdx;
    FUtf8BasePosition += static_cast<int64_t>(discarded);
    const int64_t discardedLines = CountLineEnds(FUtf8Buffer.data(), discarded);
    FBaseLineNumber += discardedLines;
    if (FLinesCountedIdx >= discarded) {
        FLinesCountedIdx -= discarded;
        FLinesCounted -= discardedLines;
    } else {
        FLinesCountedIdx = 0;
        FLinesCounted = 0;
    }
    FUtf8Buffer.erase(0, discarded);
    FUtf8CurrentIdx -= discarded;
    FUtf8FirstIdx = 0;
}

int64_t TxXmlParser::GetPosition() const
{
    return FUtf8BasePosition + static_cast<int64_t>(FUtf8CurrentIdx);
}

int64_t TxXmlParser::GetLineNumber() const
{
    const size_t end = std::min(FUtf8CurrentIdx, FUtf8Buffer.size());
    const char* text = FUtf8Buffer.data();
    if (end >= FLinesCountedIdx)
        FLinesCounted += CountLineEnds(text + FLinesCountedIdx, end - FLinesCountedIdx);
    else
        FLinesCounted -= CountLineEnds(text + end, FLinesCountedIdx - end);
    FLinesCountedIdx = end;
    return FBaseLineNumber + FLinesCounted;
}

} // namespace addoscope::xml
