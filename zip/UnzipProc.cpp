// Extraction of one item: its local header, the window over its data, the
// decryption, the method dispatch and the CRC-32 check.
#include "base/Budget.h"
#include "base/Exception.h"
#include "zip/methods/Decoders.h"
#include "zip/methods/Inflate.h"
#include "zip/UnzipStreams.h"
#include "zip/ZipArchive.h"
#include "zip/ZipCrypt.h"
#include "zip/ZipErrors.h"

#include <algorithm>
#include <limits>
#include <vector>

namespace addoscope::zip {

void TZipArchive::UnzipToStreamProc(TArchiveItem& item, base::TStream* outStream)
{
    if (!outStream)
        throw EArcBadStream();
    auto& zipItem = static_cast<TZipItem&>(item);
    std::unique_ptr<base::TStream> input = OpenItemData(zipItem);
    DecodeItemData(zipItem, *input, *outStream);
}

std::unique_ptr<base::TStream> TZipArchive::OpenItemData(TZipItem& item)
{
    if ((item.GetVersionNeededToExtract() & 0xFF) > 63)
        throw EZipVersion();
    // Offsets are absolute positions in the stream given; spanned archives
    // never get this far.
    if (item.GetRelativeOffset() > static_cast<uint64_t>(std::numeric_limits<int64_t>::max()))
        throw EZipInvalid();
    FStream->Seek(static_cast<int64_t>(item.GetRelativeOffset()), base::TSeekOrigin::soBeginning);
    // Header and data in one read when the local header is as long as the
    // central entry suggests (a little room for a longer extra field).
    uint64_t expected = item.GetCompressedSize();
    if (FCompressedReadLimit > 0)
        expected = std::min(expected, static_cast<uint64_t>(FCompressedReadLimit));
    FStream->ExpectRead(static_cast<int64_t>(std::min<uint64_t>(expected, uint64_t(1) << 40)) +
                        item.GetLocalHeaderGuess() + 64);
    TZipLocalFileHeader local;
    local.LoadFromStream(*FStream);

    const uint32_t checkValue =
        local.HasDataDescriptor() ? uint32_t(local.FLastModFileTime) << 16 : item.GetCRC32();
    // Every method reads its input through this window, so the read limit
    // holds for all of them (and counts the encryption header too).
    uint64_t dataSize = item.GetCompressedSize();
    if (FCompressedReadLimit > 0)
        dataSize = std::min(dataSize, static_cast<uint64_t>(FCompressedReadLimit));
    auto subset = std::make_unique<TUnzipSubsetStream>(*FStream, dataSize);
    if (!item.GetIsEncrypted())
        return subset;

    int tries = 0;
    bool abort = false;
    auto askPassword = [&] {
        std::u16string answer = FPassword;
        FOnNeedPassword(answer);
        if (answer.empty())
            abort = true;
        else
            FPassword = answer;
    };
    if (FPassword.empty()) {
        if (FOnNeedPassword)
            askPassword();
        ++tries;
    }
    if (FPassword.empty())
        throw EZipInvalidPassword();
    for (;;) {
        if (abort)
            throw EArcUserAbort();
        auto decrypt = std::make_unique<TDfDecryptStream>(*subset, checkValue, FPassword);
        if (decrypt->VerifyHeader()) {
            decrypt->TakeOwnership(std::move(subset));
            return decrypt;
        }
        if (++tries > FPasswordRetries)
            throw EZipInvalidPassword();
        if (FOnNeedPassword)
            askPassword();
        else
            throw EZipInvalidPassword(); // nobody to ask for another one
    }
}

namespace {

void CopyStored(base::TStream& input, base::TStream& output, uint64_t size)
{
    constexpr uint64_t Chunk = 1048576;
    std::vector<uint8_t> buffer(static_cast<size_t>(std::min(size, Chunk)));
    while (size > 0) {
        const auto n = static_cast<int64_t>(std::min(size, Chunk));
        base::BudgetTick(1 + n / 128);
        input.ReadBuffer(buffer.data(), n);
        output.WriteBuffer(buffer.data(), n);
        size -= static_cast<uint64_t>(n);
    }
}

} // namespace

void TZipArchive::DecodeItemData(TZipItem& item, base::TStream& input, base::TStream& target)
{
    if (item.GetUncompressedSize() == 0)
        return;
    TUnzipOutputStream output(target, item.GetUncompressedSize());
    TDecodeParams params;
    params.Method = item.GetCompressionMethod();
    params.Flags = item.GetGeneralPurposeBitFlag();
    params.CompressedSize = static_cast<int64_t>(
        std::min<uint64_t>(item.GetCompressedSize(), std::numeric_limits<int64_t>::max()));
    params.UncompressedSize = static_cast<int64_t>(
        std::min<uint64_t>(item.GetUncompressedSize(), std::numeric_limits<int64_t>::max()));

    switch (params.Method) {
    case 0:
        CopyStored(input, output, item.GetUncompressedSize());
        break;
    case 1:
    case 2:
    case 3:
    case 4:
    case 5:
    case 6:
        UnzipHelperDecode(input, output, params);
        break;
    case 8:
    case 9: {
        TDeflateHelper helper;
        helper.FStreamSize = params.CompressedSize;
        // The output stream keeps the CRC-32 that is checked below.
        helper.FOptions |= DeflateOptNoChecksum;
        if (params.Method == 9)
            helper.FOptions |= DeflateOptDeflate64;
        Inflate(input, output, &helper);
        break;
    }
    case 12:
        BZip2Decode(input, output, params);
        break;
    case 14:
        LzmaDecode(input, output, params);
        break;
    case 97:
        WavPackDecode(input, output, params);
        break;
    case 98:
        PpmdDecode(input, output, params);
        break;
    default:
        throw EZipInvalidMethod();
    }

    if (output.CRC32() != item.GetCRC32()) {
        if (FOnProcessItemFailure)
            FOnProcessItemFailure(item, TProcessType::ptExtract, TErrorClass::ecArchive, EZipBadCRC::Code_);
        else
            throw EZipBadCRC();
    }
}

} // namespace addoscope::zip
