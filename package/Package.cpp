#include "package/Package.h"

#include "base/Exception.h"
#include "base/FileStream.h"
#include "base/LittleEndian.h"
#include "base/WindowStream.h"
#include "package/CrxHeader.h"
#include "package/InstallRdf.h"
#include "package/LocaleMessages.h"
#include "package/ManifestJson.h"
#include "platform/Platform.h"
#include "zip/ZipArchive.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

namespace addoscope::package {

namespace {

// Real descriptions and messages files are a few kilobytes; the largest
// messages files seen in the wild are a few hundred. Extraction into memory
// stops at this size, so a small package that declares gigabytes of output
// cannot exhaust the host's memory; the stream keeps what was written and the
// readers decide what to make of it. The bound is well below what the zip
// reader could hold because the readers' trees, the record's UTF-16 texts
// and the cached copy of the record each cost several times the text: at
// this size a description and a messages file together stay far below the
// memory and time a host can spare for one file.
constexpr int64_t MaxExtractedSize = 4 * 1048576;
// The messages file is parsed while the description's tree is still held,
// so it gets half the bound.
constexpr int64_t MaxMessagesSize = 2 * 1048576;


// Skips a CRX or CRX3 header, takes the extension ID from it, and answers
// where the zip part begins. `file` stands at offset 0.
int64_t SkipCrxHeader(base::TStream& file, std::u16string& containerKind, std::u16string& extensionId)
{
    uint8_t header[16];
    file.ReadBuffer(header, sizeof(header));
    if (std::memcmp(header, "Cr24", 4) != 0)
        throw base::Exception("Not a CRX file (header is not a \"Cr24\")");
    const uint32_t version = base::GetLE32(header + 4);
    // The sums wrap in 32 bits, as the header fields are 32-bit.
    uint32_t start = base::GetLE32(header + 8) + base::GetLE32(header + 12) + 16u;
    if (version >= 3) {
        start = base::GetLE32(header + 8) + 12u;
        containerKind = u"CRX3";
    }
    const int64_t size = file.Size();
    if (static_cast<int64_t>(start) >= size)
        throw base::Exception("Not a CRX file or file is broken/truncated");
    extensionId = CrxExtensionId(file, header, start);
    file.SetPosition(start);
    // The zip reader's first look at its part reads these bytes again.
    file.ExpectRead(4);
    uint8_t signature[3] = {0, 0, 0};
    file.Read(signature, sizeof(signature));
    if (signature[0] != 'P' || signature[1] != 'K')
        throw base::Exception("Not a CRX file");
    file.SetPosition(start);
    return start;
}

// Extracts the item into the stream, which holds at most `cap` bytes. The
// item may consume no more compressed input than an honest encoder needs
// for that much output with its method: past it, the data are padding or a
// decoder made to spin (millions of empty Deflate blocks) and would only
// cost time for output that cannot be kept.
// `index` is the item's, as the look-up by its name found it.
void ExtractCapped(zip::TZipArchive& archive, int index, const std::u16string& name, base::TMemoryStream& stream,
                   int64_t cap)
{
    const auto* item = dynamic_cast<const zip::TZipItem*>(&archive.Item(index));
    const uint8_t method = item ? item->GetCompressionMethod() : 0xFF;
    archive.SetCompressedReadLimit(zip::TZipArchive::CompressedReadBound(method, cap));
    // The size the directory states, bounded by the cap, sizes the stream
    // once: a large messages file is then not copied again at every
    // growth. A size that lies costs at most the cap, in memory that is
    // not touched until written.
    if (item)
        stream.Reserve(static_cast<int64_t>(std::min<uint64_t>(item->GetUncompressedSize(), static_cast<uint64_t>(cap))));
    archive.ExtractToStream(name, stream);
}

} // namespace

const zip::TZipNameFilter& PackageNameFilter()
{
    static const zip::TZipNameFilter filter = [] {
        zip::TZipNameFilter names;
        names.Exact("install.rdf").Exact("manifest.json").Around("_locales/", "/messages.json");
        return names;
    }();
    return filter;
}

std::unique_ptr<base::TMemoryStream> OpenPackage(const std::u16string& fileName, const std::u16string& preferredLocale,
                                                 TOpenedPackage& opened)
{
    opened = TOpenedPackage();
    try {
        // A missing file fails to open like any unreadable one: a test for
        // its existence first would only repeat the look-up.
        base::TFileStream file(fileName);
        return OpenPackageStream(file, fileName, preferredLocale, opened);
    } catch (...) {
        opened = TOpenedPackage();
        return nullptr;
    }
}

std::unique_ptr<base::TMemoryStream> OpenPackageStream(base::TStream& file, const std::u16string& fileName,
                                                       const std::u16string& preferredLocale, TOpenedPackage& opened)
{
    opened = TOpenedPackage();
    try {
        file.SetPosition(0);
        // Enough for a CRX header and a zip's first bytes, read in one piece.
        file.ExpectRead(16);
        uint8_t start[3] = {0, 0, 0};
        file.Read(start, sizeof(start));
        file.SetPosition(0);

        if (start[0] == 'P' && start[1] == 'K')
            opened.ContainerKind = u"ZIP";
        else if (start[0] == 'C' && start[1] == 'r')
            opened.ContainerKind = u"CRX";
        else
            opened.ContainerKind = u"ZIP ext";

        std::unique_ptr<base::TStream> zipPart;
        if (opened.ContainerKind == u"CRX") {
            // The zip part is read in place, whatever its size: the archive
            // sees offsets from its first byte, and only the ranges it
            // reads are fetched from the file.
            const int64_t zipStart = SkipCrxHeader(file, opened.ContainerKind, opened.ExtensionId);
            zipPart = std::make_unique<base::TWindowStream>(file, zipStart);
        }
        base::TStream& archiveStream = zipPart ? *zipPart : static_cast<base::TStream&>(file);

        auto description = std::make_unique<base::TMemoryStream>();
        description->SetMaxSize(MaxExtractedSize);
        auto archive = zip::TZipArchive::CreateFromStream(archiveStream, fileName);
        archive->SetupExtraction();
        // Only the names looked up below are built from the directory.
        archive->SetNameFilter(&PackageNameFilter());
        archive->Load();

        if (const int rdf = archive->FindFile(u"install.rdf"); rdf >= 0) {
            ExtractCapped(*archive, rdf, u"install.rdf", *description, MaxExtractedSize);
            opened.DescriptionKind = u"XML";
        } else if (const int manifest = archive->FindFile(u"manifest.json"); manifest >= 0) {
            ExtractCapped(*archive, manifest, u"manifest.json", *description, MaxExtractedSize);
            opened.DescriptionKind = u"JSON";
            opened.Locales = PackageLocales(*archive);
            std::u16string messagesName;
            const std::vector<std::u16string> candidates = {preferredLocale, u"en", u"en_US", u"en_GB"};
            if (const int messages = FindLocaleMessages(*archive, candidates, messagesName); messages >= 0) {
                opened.Messages = std::make_unique<base::TMemoryStream>();
                opened.Messages->SetMaxSize(MaxMessagesSize);
                try {
                    ExtractCapped(*archive, messages, messagesName, *opened.Messages, MaxMessagesSize);
                } catch (...) {
                    // The messages stream keeps whatever was written.
                }
            }
        } else {
            return nullptr;
        }
        return description;
    } catch (...) {
        opened.Messages.reset();
        return nullptr;
    }
}

std::u16string PreferredLocale(const std::u16string& setting)
{
    if (setting == u"1")
        return platform::UserDefaultLanguageName();
    if (setting.size() >= 2)
        return setting;
    return {};
}

namespace {

bool ReadOpenedPackage(std::unique_ptr<base::TMemoryStream> description, TOpenedPackage& opened, TAddoscope& record)
{
    if (!description)
        return false;
    record = TAddoscope();
    record.SetupType = opened.ContainerKind;
    bool valid;
    if (platform::SameTextLocale(opened.DescriptionKind, u"JSON")) {
        record.FileType = u"JSON";
        valid = ReadManifestJson(*description, opened.Messages.get(), record);
        record.Locales = std::move(opened.Locales);
    } else {
        valid = ReadInstallRdf(*description, record, opened.DescriptionKind);
    }
    // Chrome installs a package under the ID its header gives.
    if (opened.ContainerKind == u"CRX" || opened.ContainerKind == u"CRX3")
        record.ExtensionID = std::move(opened.ExtensionId);
    return valid;
}

} // namespace

bool ReadPackage(const std::u16string& fileName, const std::u16string& localeSetting, TAddoscope& record)
{
    TOpenedPackage opened;
    auto description = OpenPackage(fileName, PreferredLocale(localeSetting), opened);
    return ReadOpenedPackage(std::move(description), opened, record);
}

bool ReadPackageStream(base::TStream& file, const std::u16string& fileName, const std::u16string& localeSetting,
                       TAddoscope& record)
{
    TOpenedPackage opened;
    auto description = OpenPackageStream(file, fileName, PreferredLocale(localeSetting), opened);
    return ReadOpenedPackage(std::move(description), opened, record);
}

} // namespace addoscope::package
