#pragma once
// The input layer of the XML reader: reads a stream in chunks, recognises the
// encoding from the first bytes, decodes everything into one UTF-8 buffer
// with line ends normalised to LF, and offers the reading primitives the
// markup parser is built from. It never raises for bad input; an error of
// the stream itself passes through.
#include "base/Budget.h"
#include "base/Stream.h"
#include "base/Text.h"
#include "xml/XmlTypes.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace addoscope::xml {

// One entry of the signature table tried on the first four bytes.
struct TxBomInfo {
    uint8_t Bytes[4];
    int Count;                 // how many of the bytes must match
    TxStringEncoding Encoding;
    bool IsByteOrderMark;      // the matched bytes are dropped
};

class TxXmlParser {
public:
    // What NextChar and friends answer once the input is exhausted. Kept
    // apart from every byte value, so a NUL in the text is just a byte.
    static constexpr int EndOfInput = -1;

    // Reads the first chunk, undecoded.
    TxXmlParser(base::TStream& source, size_t chunkSize, const TxDiagnostics& diagnostics);
    TxXmlParser(const TxXmlParser&) = delete;
    TxXmlParser& operator=(const TxXmlParser&) = delete;

    // At least five bytes were read and the first four are "$BXM".
    bool IsBinaryXml() const;
    // Decides the encoding and decodes the first chunk. After an input of
    // four bytes or fewer, or an unsupported encoding, nothing is decoded.
    void ReadBOM();

    // Decoded bytes after the read position, reading further chunks when
    // none are left; 0 means the input is exhausted.
    size_t MakeDataAvailable()
    {
        if (FUtf8CurrentIdx < FUtf8Buffer.size())
            return FUtf8Buffer.size() - FUtf8CurrentIdx;
        return ReadMoreData();
    }
    bool AtEnd() { return MakeDataAvailable() == 0; }

    // The byte at the read position, advancing; EndOfInput at the end.
    int NextChar()
    {
        if (FUtf8CurrentIdx < FUtf8Buffer.size())
            return static_cast<unsigned char>(FUtf8Buffer[FUtf8CurrentIdx++]);
        return NextCharAfterReading();
    }
    // One byte back; only after a NextChar that answered a byte.
    void MoveBack()
    {
        if (FUtf8CurrentIdx == 0)
            MoveBackFailed();
        --FUtf8CurrentIdx;
    }
    // Consumes text when the next bytes equal it, ASCII letters compared
    // without regard to case; otherwise leaves the position as it was.
    bool CheckString(std::string_view text);
    // Text up to the byte, which is consumed; at the end, all that is left.
    std::string ReadStringUntilChar(char terminator, bool* found = nullptr);
    // Text up to the terminator (matched as by CheckString), consumed. If
    // the input ends first: empty text and a diagnostic.
    std::string ReadStringUntil(std::string_view terminator, bool* found = nullptr);
    std::string ReadQuotedString(char quote) { return ReadStringUntilChar(quote); }
    // As ReadStringUntilChar, but a terminator inside a quoted literal
    // ("..." or '...', the quotes kept in the text) does not count: a
    // markup declaration's value may hold markup.
    std::string ReadStringUntilCharOutsideQuotes(char terminator, bool* found = nullptr);
    // As ReadStringUntilChar, as a view: of the buffer when the text lies
    // within it (valid until the next call), else of spill.
    std::string_view ReadViewUntilChar(char terminator, bool* found, std::string& spill)
    {
        // Inline the usual case: the terminator within the decoded bytes.
        spill.clear();
        if (FUtf8CurrentIdx < FUtf8Buffer.size()) {
            const char* start = FUtf8Buffer.data() + FUtf8CurrentIdx;
            if (const void* hit = std::memchr(start, terminator, FUtf8Buffer.size() - FUtf8CurrentIdx)) {
                const size_t length = static_cast<size_t>(static_cast<const char*>(hit) - start);
                FUtf8CurrentIdx += length + 1;
                if (found)
                    *found = true;
                return std::string_view(start, length);
            }
        }
        return ReadViewUntilCharAcrossChunks(terminator, found, spill);
    }
    // Text up to whichever of the two bytes comes first; that byte is
    // consumed and reported in hit (EndOfInput when neither came).
    std::string ReadStringUntilEither(char first, char second, int& hit);
    // Text up to TAB, LF, CR, SPACE, "/", ">" or "[", not consumed. If the
    // input ends first: empty text and a diagnostic.
    std::string ReadStringUntilBlankOrEndTag();
    std::string_view ReadViewUntilBlankOrEndTag(std::string& spill)
    {
        spill.clear();
        if (FUtf8CurrentIdx < FUtf8Buffer.size()) {
            const char* start = FUtf8Buffer.data() + FUtf8CurrentIdx;
            const size_t available = FUtf8Buffer.size() - FUtf8CurrentIdx;
            for (size_t i = 0; i < available; ++i) {
                if (NameEnds[static_cast<unsigned char>(start[i])]) {
                    FUtf8CurrentIdx += i;
                    return std::string_view(start, i);
                }
            }
        }
        return ReadViewUntilBlankOrEndTagAcrossChunks(spill);
    }
    // Skips TAB, LF, CR and SPACE into blanks; answers the next byte,
    // consumed, or EndOfInput.
    int NextCharSkipBlanks(std::string& blanks)
    {
        if (FUtf8CurrentIdx < FUtf8Buffer.size()) {
            const unsigned char c = static_cast<unsigned char>(FUtf8Buffer[FUtf8CurrentIdx]);
            if (!base::IsBlank(c)) {
                ++FUtf8CurrentIdx;
                return c;
            }
        }
        return SkipBlanksThenNextChar(blanks);
    }

    // Discards the decoded data before the most recently read chunk once
    // there are a few KiB of it, so the buffer does not grow with the
    // document.
    void Flush();

    // Byte offset in the decoded text, and the count of LF before it; for
    // diagnostics.
    int64_t GetPosition() const;
    int64_t GetLineNumber() const;

    TxStringEncoding Encoding() const { return FEncoding; }
    bool EndOfStream() const { return FEndOfStream; }

private:
    // The slow halves of MakeDataAvailable and NextChar: no decoded byte is
    // left, so chunks are read until one is or the input ends.
    size_t ReadMoreData();
    int NextCharAfterReading();
    [[noreturn]] static void MoveBackFailed();
    // The general halves of the reading primitives, for text that runs on
    // past the decoded bytes.
    std::string_view ReadViewUntilCharAcrossChunks(char terminator, bool* found, std::string& spill);
    std::string_view ReadViewUntilBlankOrEndTagAcrossChunks(std::string& spill);
    int SkipBlanksThenNextChar(std::string& blanks);

    // The bytes that end a name: TAB, LF, CR, SPACE, "/", ">" and "[".
    static constexpr std::array<bool, 256> NameEnds = [] {
        std::array<bool, 256> ends {};
        for (const unsigned char c : {'\t', '\n', '\r', ' ', '/', '>', '['})
            ends[c] = true;
        return ends;
    }();
    void ReadChunk();
    void Decode(const uint8_t* data, size_t count);
    void DecodeBytes(const uint8_t* data, size_t count);
    void DecodeUtf16(const uint8_t* data, size_t count);
    void AppendUnit(uint32_t codePoint);
    void FinishDecoding();
    // Accounts the work and memory of a decoded chunk.
    void ChunkDecoded();
    // Makes count decoded bytes available after the read position when the
    // input has them.
    bool Ensure(size_t count);
    void Report(const char* message, TxWarnStyle style) const;
    void ReportTerminated() const;

    base::TStream& FSource;
    size_t FChunkSize;
    const TxDiagnostics& FDiagnostics;

    std::vector<uint8_t> FRawBuffer;
    size_t FRawFirstIdx = 0;
    size_t FRawLastIdx = 0;

    std::string FUtf8Buffer; // its size is the end of the decoded data
    base::TBudgetCharge FBufferCharge;
    size_t FUtf8FirstIdx = 0;
    size_t FUtf8CurrentIdx = 0;
    int64_t FUtf8BasePosition = 0;
    int64_t FBaseLineNumber = 0;
    // Line ends in FUtf8Buffer before FLinesCountedIdx: line numbers are
    // asked for at every warning, and recounting the buffer each time would
    // make a document of many faults cost quadratic time.
    mutable size_t FLinesCountedIdx = 0;
    mutable int64_t FLinesCounted = 0;

    TxStringEncoding FEncoding = seUTF8;
    const TxBomInfo* FBomInfo = nullptr;
    bool FDecoding = false;    // an encoding we can read was recognised
    bool FLastChar0D = false;  // carried from chunk to chunk
    bool FEndOfStream = false;
    int FPendingByte = -1;     // odd byte of a UTF-16 unit split by a chunk end
    uint32_t FPendingHigh = 0; // high surrogate waiting for its partner
};

} // namespace addoscope::xml
