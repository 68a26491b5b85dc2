#include "package/CrxHeader.h"

#include "base/Budget.h"
#include "package/ChromeId.h"
#include "base/LittleEndian.h"

#include <cstring>
#include <optional>
#include <vector>

namespace addoscope::package {

namespace {

// The protobuf wire format, as far as the header needs it. Every read
// checks what is left, so a length or varint running past the end makes
// the message malformed rather than reading beyond it.
class TProtoReader {
public:
    enum TWireType : uint8_t { wtVarint = 0, wtFixed64 = 1, wtBytes = 2, wtFixed32 = 5 };

    struct TField {
        uint64_t Number;
        uint8_t WireType;
        std::span<const uint8_t> Bytes; // for wtBytes
    };

    explicit TProtoReader(std::span<const uint8_t> data) : FData(data) {}

    bool AtEnd() const { return FPos == FData.size(); }

    // The next field; none when the message is malformed there.
    std::optional<TField> Next()
    {
        base::BudgetTick();
        const std::optional<uint64_t> key = Varint();
        if (!key)
            return std::nullopt;
        TField field{*key >> 3, static_cast<uint8_t>(*key & 7), {}};
        if (field.Number == 0 || field.Number > MaxFieldNumber)
            return std::nullopt;
        switch (field.WireType) {
        case wtVarint:
            if (!Varint())
                return std::nullopt;
            break;
        case wtFixed64:
            if (!Skip(8))
                return std::nullopt;
            break;
        case wtFixed32:
            if (!Skip(4))
                return std::nullopt;
            break;
        case wtBytes: {
            const std::optional<uint64_t> length = Varint();
            if (!length || *length > FData.size() - FPos)
                return std::nullopt;
            field.Bytes = FData.subspan(FPos, static_cast<size_t>(*length));
            FPos += static_cast<size_t>(*length);
            break;
        }
        default: // groups (3, 4) and the unused types 6, 7
            return std::nullopt;
        }
        return field;
    }

private:
    static constexpr uint64_t MaxFieldNumber = (uint64_t(1) << 29) - 1;
    static constexpr int MaxVarintBytes = 10;

    std::optional<uint64_t> Varint()
    {
        uint64_t value = 0;
        for (int i = 0; i < MaxVarintBytes; ++i) {
            if (FPos == FData.size())
                return std::nullopt;
            const uint8_t byte = FData[FPos++];
            // The tenth byte holds bit 63 only.
            if (i == MaxVarintBytes - 1 && byte > 1)
                return std::nullopt;
            value |= uint64_t(byte & 0x7F) << (7 * i);
            if ((byte & 0x80) == 0)
                return value;
        }
        return std::nullopt;
    }

    bool Skip(size_t count)
    {
        if (count > FData.size() - FPos)
            return false;
        FPos += count;
        return true;
    }

    std::span<const uint8_t> FData;
    size_t FPos = 0;
};

constexpr uint64_t HeaderRsaProof = 2;
constexpr uint64_t HeaderEcdsaProof = 3;
constexpr uint64_t HeaderSignedData = 10000;
constexpr uint64_t ProofPublicKey = 1;
constexpr uint64_t SignedDataCrxId = 1;

// The last `number` field of wire type bytes in a message, as protobuf
// keeps the last of a repeated singular field. False when the message is
// malformed.
bool LastBytesField(std::span<const uint8_t> message, uint64_t number, std::optional<std::span<const uint8_t>>& found)
{
    found.reset();
    TProtoReader reader(message);
    while (!reader.AtEnd()) {
        const auto field = reader.Next();
        if (!field)
            return false;
        if (field->Number == number && field->WireType == TProtoReader::wtBytes)
            found = field->Bytes;
    }
    return true;
}

} // namespace

std::u16string Crx3HeaderId(std::span<const uint8_t> header)
{
    std::optional<std::span<const uint8_t>> rsa;
    std::optional<std::span<const uint8_t>> ecdsa;
    std::optional<std::span<const uint8_t>> signedData;
    TProtoReader reader(header);
    while (!reader.AtEnd()) {
        const auto field = reader.Next();
        if (!field)
            return {};
        if (field->WireType != TProtoReader::wtBytes)
            continue;
        if (field->Number == HeaderRsaProof && !rsa)
            rsa = field->Bytes;
        else if (field->Number == HeaderEcdsaProof && !ecdsa)
            ecdsa = field->Bytes;
        else if (field->Number == HeaderSignedData)
            signedData = field->Bytes;
    }
    // The nested messages are read one level deep and no further, so the
    // nesting a header can cost is fixed; each must be well-formed too.
    std::optional<std::span<const uint8_t>> crxId;
    if (signedData && !LastBytesField(*signedData, SignedDataCrxId, crxId))
        return {};
    std::optional<std::span<const uint8_t>> rsaKey;
    if (rsa && !LastBytesField(*rsa, ProofPublicKey, rsaKey))
        return {};
    std::optional<std::span<const uint8_t>> ecdsaKey;
    if (ecdsa && !LastBytesField(*ecdsa, ProofPublicKey, ecdsaKey))
        return {};

    if (crxId && crxId->size() == ChromeIdBytes)
        return ChromeIdText(std::span<const uint8_t, ChromeIdBytes>(crxId->data(), ChromeIdBytes));
    if (rsaKey && !rsaKey->empty())
        return ChromeIdOfKey(*rsaKey);
    if (ecdsaKey && !ecdsaKey->empty())
        return ChromeIdOfKey(*ecdsaKey);
    return {};
}

std::u16string CrxExtensionId(base::TStream& file, std::span<const uint8_t> start, int64_t zipStart)
{
    try {
        if (start.size() < 12 || std::memcmp(start.data(), "Cr24", 4) != 0)
            return {};
        const uint32_t version = base::GetLE32(start.data() + 4);
        const uint32_t length = base::GetLE32(start.data() + 8);
        // Version 2 and below: the key follows a second length, that of
        // the signature. Version 3 and above: the header follows at once.
        const int64_t offset = version >= 3 ? 12 : 16;
        if (length == 0 || length > MaxCrxHeaderRead || offset + int64_t(length) > file.Size())
            return {};
        // A CRX2 signature lies between the key and the zip part; taking it
        // along is cheaper than a second read, up to a point.
        constexpr int64_t MaxGap = 65536;
        const int64_t keyEnd = offset + int64_t(length);
        const int64_t through = zipStart >= keyEnd && zipStart - keyEnd <= MaxGap ? zipStart + 4 : keyEnd;
        base::TBudgetCharge charge;
        charge.Resize(length);
        std::vector<uint8_t> bytes(length);
        file.SetPosition(offset);
        file.ExpectRead(through - offset);
        file.ReadBuffer(bytes.data(), length);
        if (version >= 3)
            return Crx3HeaderId(bytes);
        return ChromeIdOfKey(bytes);
    } catch (...) {
        return {};
    }
}

} // namespace addoscope::package
