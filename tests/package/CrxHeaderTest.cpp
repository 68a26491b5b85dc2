// The Chrome ID of keys, manifest keys and CRX headers. The expected IDs
// come from openssl, not from this code:
//   openssl dgst -sha256 -binary KEY.der | head -c16 | xxd -p | tr 0-9a-f a-p
// for the sample keys in examples/keys, and for "abc" (whose SHA-256 begins
// ba7816bf8f01cfea414140de5dae2223, per sha256sum).
#include "package/ChromeId.h"
#include "package/CrxHeader.h"

#include "base/LittleEndian.h"
#include "base/MemoryStream.h"

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <iterator>
#include <string>
#include <vector>

namespace addoscope::package {
namespace {

const char16_t* const Crx2KeyId = u"djhkcpoibgplkkdchkganhnecikdndcc";
const char16_t* const Crx3KeyId = u"khkbghnbjnjdgijikcflnpgkjcgacijb";
const char16_t* const AbcId = u"lkhibglpipabmpok";

std::string ReadKey(const char* name)
{
    std::ifstream in(std::string(ADDOSCOPE_TEST_DATA) + "/../../examples/keys/" + name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::span<const uint8_t> Bytes(const std::string& text)
{
    return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

// Protobuf wire format, written independently of the reader.
std::string Varint(uint64_t value)
{
    std::string out;
    do {
        uint8_t byte = value & 0x7F;
        value >>= 7;
        out += static_cast<char>(value ? byte | 0x80 : byte);
    } while (value);
    return out;
}

std::string Field(uint64_t number, const std::string& payload)
{
    return Varint(number << 3 | 2) + Varint(payload.size()) + payload;
}

std::string Proof(const std::string& key)
{
    return Field(1, key) + Field(2, std::string(256, 's'));
}

std::string SignedData(const std::string& id)
{
    return Field(10000, Field(1, id));
}

TEST(ChromeId, KeysHashToTheIdsOpensslGives)
{
    const std::string crx2 = ReadKey("crx2-test-public.der");
    const std::string crx3 = ReadKey("crx3-test-public.der");
    ASSERT_EQ(crx2.size(), 162u);
    ASSERT_EQ(crx3.size(), 294u);
    EXPECT_EQ(ChromeIdOfKey(Bytes(crx2)), Crx2KeyId);
    EXPECT_EQ(ChromeIdOfKey(Bytes(crx3)), Crx3KeyId);
    EXPECT_EQ(ChromeIdOfKey(Bytes("abc")).substr(0, 16), AbcId);
    EXPECT_EQ(ChromeIdOfKey({}), u"");

    // The manifest's "key" is the same key in base64 (base64 -w0), also
    // broken over lines.
    const std::u16string base64 =
        u"MIGfMA0GCSqGSIb3DQEBAQUAA4GNADCBiQKBgQDecR3iJPGcEOT5fGnvT4C4+eRTpaqGft1nIcf6XQ4YhAZ4OjoJDBXfg3FPkv8rKZtn"
        u"AbEVlip2zupxa4ECUq4omKHVevZPGIoL9o9Is28RLu30PYwCd9O2/RRy7s2FEkXB0NPF7wrhxGjuPDiIIRp71MR248Uhtjfxn62E8yi"
        u"N3wIDAQAB";
    EXPECT_EQ(ChromeIdOfBase64Key(base64), Crx2KeyId);
    std::u16string wrapped = base64;
    wrapped.insert(64, u"\r\n ");
    EXPECT_EQ(ChromeIdOfBase64Key(wrapped), Crx2KeyId);
    EXPECT_EQ(ChromeIdOfBase64Key(u"not base64!"), u"");
}

TEST(ChromeId, Base64Decoding)
{
    std::string bytes;
    EXPECT_TRUE(DecodeBase64(u"YWJj", bytes));
    EXPECT_EQ(bytes, "abc");
    EXPECT_TRUE(DecodeBase64(u"YWI=", bytes));
    EXPECT_EQ(bytes, "ab");
    EXPECT_TRUE(DecodeBase64(u"YQ==", bytes));
    EXPECT_EQ(bytes, "a");
    EXPECT_TRUE(DecodeBase64(u"YQ", bytes)); // padding may be left out
    EXPECT_EQ(bytes, "a");
    EXPECT_TRUE(DecodeBase64(u"+/+/", bytes));
    EXPECT_EQ(bytes, "\xFB\xFF\xBF");
    for (const char16_t* bad : {u"Y", u"YQ=", u"Y===", u"YQ==YQ", u"=YWJ", u"YW-j", u"YWJjY"})
        EXPECT_FALSE(DecodeBase64(bad, bytes)) << std::u16string(bad).size();
}

TEST(CrxHeader, IdFromSignedDataThenRsaThenEcdsaProof)
{
    const std::string id(16, '\x01'); // each half-byte 0 and 1: "ab"
    const std::u16string idText = u"abababababababababababababababab";
    const std::string rsa = ReadKey("crx3-test-public.der");
    const std::string ecdsa = ReadKey("crx2-test-public.der"); // any key will do

    // A header as Chrome writes it: the proofs, then the signed data.
    EXPECT_EQ(Crx3HeaderId(Bytes(Field(2, Proof(rsa)) + SignedData(id))), idText);
    // The signed data wins over the proofs, wherever it stands, and the
    // last crx_id of it counts.
    EXPECT_EQ(Crx3HeaderId(Bytes(Field(10000, Field(1, "x") + Field(1, id)) + Field(2, Proof(rsa)))), idText);
    // An ID of the wrong length gives way to the first RSA proof.
    EXPECT_EQ(Crx3HeaderId(Bytes(SignedData("short") + Field(2, Proof(rsa)) + Field(2, Proof(ecdsa)))), Crx3KeyId);
    EXPECT_EQ(Crx3HeaderId(Bytes(Field(3, Proof(ecdsa)) + Field(2, Proof(rsa)))), Crx3KeyId);
    EXPECT_EQ(Crx3HeaderId(Bytes(Field(3, Proof(ecdsa)) + Field(3, Proof(rsa)))), Crx2KeyId);
    // Unknown fields of every wire type are passed over.
    const std::string unknown = Varint(7 << 3 | 0) + Varint(300) + Varint(8 << 3 | 1) + std::string(8, 'f') +
                                Varint(9 << 3 | 5) + std::string(4, 'f') + Field(11, "zz");
    EXPECT_EQ(Crx3HeaderId(Bytes(unknown + Field(3, Proof(ecdsa)))), Crx2KeyId);
    EXPECT_EQ(Crx3HeaderId(Bytes(unknown)), u"");
    EXPECT_EQ(Crx3HeaderId({}), u"");
    // A proof without a key gives nothing.
    EXPECT_EQ(Crx3HeaderId(Bytes(Field(2, Field(2, "sig")))), u"");
}

TEST(CrxHeader, MalformedHeadersGiveNoId)
{
    const std::string good = Field(2, Proof(ReadKey("crx3-test-public.der"))) + SignedData(std::string(16, 'i'));
    ASSERT_NE(Crx3HeaderId(Bytes(good)), u"");
    const std::string cases[] = {
        good.substr(0, good.size() - 1),                        // the last field cut short
        good + "\x92",                                          // a key without its end
        good + std::string(10, '\x80') + "\x01",                // an eleven-byte varint
        good + "\x10" + std::string(9, '\xFF') + "\x02",        // a ten-byte varint past 64 bits
        good + Varint(12 << 3 | 2) + Varint(uint64_t(1) << 40), // a length far past the end
        good + Varint(12 << 3 | 2) + Varint(UINT64_MAX),        // one that wraps an offset
        good + Varint(12 << 3 | 3),                             // a group
        good + Varint(12 << 3 | 7),                             // no such wire type
        good + Varint(0 << 3 | 2) + Varint(0),                  // field number 0
        Field(2, "\x0A\x05" "ab") + good,                       // a proof whose key runs out
        good + Field(10000, "\x0A"),                            // the last signed data cut short
    };
    for (const std::string& header : cases)
        EXPECT_EQ(Crx3HeaderId(Bytes(header)), u"") << header.size();
}

std::unique_ptr<base::TMemoryStream> Package(const std::string& bytes)
{
    auto stream = std::make_unique<base::TMemoryStream>();
    stream->LoadFromBuffer(bytes.data(), bytes.size());
    return stream;
}

std::string Le32(uint32_t value)
{
    return std::string{static_cast<char>(value), static_cast<char>(value >> 8), static_cast<char>(value >> 16),
                       static_cast<char>(value >> 24)};
}

// The ID as the opener asks for it: the first bytes already read, the zip
// part where the header says it begins.
std::u16string IdOf(const std::string& bytes)
{
    auto stream = Package(bytes);
    const std::string start = bytes.substr(0, 16);
    const auto* data = reinterpret_cast<const uint8_t*>(start.data());
    int64_t zipStart = 0;
    if (start.size() == 16)
        zipStart = start[4] >= 3 ? 12 + int64_t(base::GetLE32(data + 8))
                                 : 16 + int64_t(base::GetLE32(data + 8)) + base::GetLE32(data + 12);
    return CrxExtensionId(*stream, std::span<const uint8_t>(data, start.size()), zipStart);
}

TEST(CrxHeader, IdFromTheFile)
{
    const std::string key = ReadKey("crx2-test-public.der");
    EXPECT_EQ(IdOf("Cr24" + Le32(2) + Le32(key.size()) + Le32(4) + key + "sigsPK.."), Crx2KeyId);
    const std::string header = Field(2, Proof(key));
    EXPECT_EQ(IdOf("Cr24" + Le32(3) + Le32(header.size()) + header + "PK.."), Crx2KeyId);
    // A signature too long to fetch along with the key, and one that says
    // the zip part starts before the key ends: the key is read alike.
    EXPECT_EQ(IdOf("Cr24" + Le32(2) + Le32(key.size()) + Le32(70000) + key + std::string(70000, 's') + "PK.."),
              Crx2KeyId);
    EXPECT_EQ(IdOf("Cr24" + Le32(2) + Le32(key.size()) + Le32(0xFFFFFFF0u) + key + "PK.."), Crx2KeyId);

    // Lengths past the end of the file, or beyond what is read, give none.
    EXPECT_EQ(IdOf("Cr24" + Le32(2) + Le32(key.size() + 10) + Le32(0) + key), u"");
    EXPECT_EQ(IdOf("Cr24" + Le32(3) + Le32(MaxCrxHeaderRead + 1) + std::string(MaxCrxHeaderRead + 8, '\0')), u"");
    EXPECT_EQ(IdOf("Cr24" + Le32(2) + Le32(0) + Le32(0) + "PK"), u"");
    EXPECT_EQ(IdOf("Cr24" + Le32(3)), u"");
}

} // namespace
} // namespace addoscope::package
