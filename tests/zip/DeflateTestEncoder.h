#pragma once
// A Deflate writer for tests: blocks built from explicit tokens (literals
// and matches) with the fixed codes or with chosen code lengths, so that
// every block type, symbol and malformation can be produced on purpose.
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace addoscope::ziptest {

class TBitWriter {
public:
    // Value bits, least significant first (header fields, extra bits).
    void Bits(uint32_t value, int count)
    {
        for (int i = 0; i < count; ++i)
            Bit((value >> i) & 1);
    }
    // A Huffman code, most significant bit first.
    void Code(uint32_t code, int length)
    {
        for (int i = length - 1; i >= 0; --i)
            Bit((code >> i) & 1);
    }
    void AlignToByte()
    {
        while (FCount != 0)
            Bit(0);
    }
    void Byte(uint8_t b)
    {
        Bits(b, 8);
    }
    std::string Finish()
    {
        AlignToByte();
        return FOut;
    }

private:
    void Bit(uint32_t bit)
    {
        if (FCount == 0)
            FOut += '\0';
        FOut.back() = static_cast<char>(static_cast<uint8_t>(FOut.back()) | (bit << FCount));
        FCount = (FCount + 1) & 7;
    }
    std::string FOut;
    int FCount = 0;
};

// Canonical codes (RFC 1951, 3.2.2) from code lengths.
inline std::vector<uint32_t> CanonicalCodes(const std::vector<uint8_t>& lengths)
{
    int count[16] = {};
    for (uint8_t l : lengths)
        ++count[l];
    count[0] = 0;
    uint32_t next[16] = {};
    uint32_t code = 0;
    for (int bits = 1; bits < 16; ++bits) {
        code = (code + count[bits - 1]) << 1;
        next[bits] = code;
    }
    std::vector<uint32_t> codes(lengths.size());
    for (size_t i = 0; i < lengths.size(); ++i)
        if (lengths[i])
            codes[i] = next[lengths[i]]++;
    return codes;
}

struct TToken {
    int Literal = -1;  // 0-255, or -1 for a match
    uint32_t Length = 0;
    uint32_t Distance = 0;
};

class TDeflateTestEncoder {
public:
    explicit TDeflateTestEncoder(bool deflate64 = false) : FDeflate64(deflate64) {}

    static std::vector<uint8_t> FixedLiteralLengths()
    {
        std::vector<uint8_t> l(288);
        for (int i = 0; i < 288; ++i)
            l[i] = i < 144 ? 8 : i < 256 ? 9 : i < 280 ? 7 : 8;
        return l;
    }

    void StoredBlock(const std::string& data, bool final)
    {
        W.Bits(final, 1);
        W.Bits(0, 2);
        W.AlignToByte();
        W.Bits(static_cast<uint32_t>(data.size()), 16);
        W.Bits(static_cast<uint32_t>(~data.size()) & 0xFFFF, 16);
        for (char c : data)
            W.Byte(static_cast<uint8_t>(c));
    }

    void FixedBlock(const std::vector<TToken>& tokens, bool final, bool endOfBlock = true)
    {
        W.Bits(final, 1);
        W.Bits(1, 2);
        FLit = CanonicalCodes(FLitLengths = FixedLiteralLengths());
        FDistLengths.assign(32, 5);
        FDist = CanonicalCodes(FDistLengths);
        Tokens(tokens, endOfBlock);
    }

    // Dynamic block with the given lengths (HLIT = litLengths.size(), HDIST =
    // distLengths.size()); the code-length code gives each of its 19 symbols
    // 5 bits and every length is sent as itself.
    void DynamicBlock(const std::vector<uint8_t>& litLengths, const std::vector<uint8_t>& distLengths,
                      const std::vector<TToken>& tokens, bool final, bool endOfBlock = true)
    {
        DynamicHeader(litLengths, distLengths, final);
        FLitLengths = litLengths;
        FDistLengths = distLengths;
        FLit = CanonicalCodes(litLengths);
        FDist = CanonicalCodes(distLengths);
        Tokens(tokens, endOfBlock);
    }

    void DynamicHeader(const std::vector<uint8_t>& litLengths, const std::vector<uint8_t>& distLengths, bool final)
    {
        W.Bits(final, 1);
        W.Bits(2, 2);
        W.Bits(static_cast<uint32_t>(litLengths.size() - 257), 5);
        W.Bits(static_cast<uint32_t>(distLengths.size() - 1), 5);
        W.Bits(19 - 4, 4);
        for (int i = 0; i < 19; ++i)
            W.Bits(5, 3);
        FClCodes = CanonicalCodes(std::vector<uint8_t>(19, 5));
        for (uint8_t l : litLengths)
            CodeLengthSymbol(l);
        for (uint8_t l : distLengths)
            CodeLengthSymbol(l);
    }

    // A symbol of the code-length alphabet (with the 5-bit code above) and
    // its extra bits, for hand-made malformed sequences.
    void CodeLengthSymbol(int symbol, uint32_t extra = 0, int extraBits = 0)
    {
        W.Code(FClCodes[symbol], 5);
        W.Bits(extra, extraBits);
    }

    void Tokens(const std::vector<TToken>& tokens, bool endOfBlock)
    {
        for (const TToken& t : tokens) {
            if (t.Literal >= 0)
                Symbol(t.Literal);
            else
                Match(t.Length, t.Distance);
        }
        if (endOfBlock)
            Symbol(256);
    }

    void Symbol(int symbol)
    {
        if (FLitLengths.at(symbol) == 0)
            throw std::logic_error("symbol without a code");
        W.Code(FLit[symbol], FLitLengths[symbol]);
    }
    void DistanceSymbol(int symbol)
    {
        W.Code(FDist.at(symbol), FDistLengths.at(symbol));
    }

    void Match(uint32_t length, uint32_t distance)
    {
        static const uint16_t lengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                                31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
        static const uint8_t lengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
        static const uint32_t distBase[32] = {1,    2,    3,    4,     5,     7,     9,     13,    17,  25,   33,
                                              49,   65,   97,   129,   193,   257,   385,   513,   769, 1025, 1537,
                                              2049, 3073, 4097, 6145,  8193,  12289, 16385, 24577, 32769, 49153};
        static const uint8_t distExtra[32] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,  6,
                                              7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13, 14, 14};
        if (FDeflate64 && length > 258) {
            Symbol(285);
            W.Bits(length - 3, 16);
        } else {
            int s = 27;
            if (length == 258 && !FDeflate64)
                s = 28;
            else
                while (lengthBase[s] > length)
                    --s;
            Symbol(257 + s);
            W.Bits(length - lengthBase[s], lengthExtra[s]);
        }
        int d = 31;
        while (distBase[d] > distance)
            --d;
        DistanceSymbol(d);
        W.Bits(distance - distBase[d], distExtra[d]);
    }

    std::string Finish() { return W.Finish(); }

    TBitWriter W;

private:
    bool FDeflate64;
    std::vector<uint8_t> FLitLengths, FDistLengths;
    std::vector<uint32_t> FLit, FDist, FClCodes;
};

// Applies tokens to an output buffer: the decoder's expected result.
inline void ApplyTokens(std::string& out, const std::vector<TToken>& tokens)
{
    for (const TToken& t : tokens) {
        if (t.Literal >= 0) {
            out += static_cast<char>(t.Literal);
        } else {
            const size_t from = out.size() - t.Distance;
            for (uint32_t i = 0; i < t.Length; ++i)
                out += out[from + i];
        }
    }
}

} // namespace addoscope::ziptest
