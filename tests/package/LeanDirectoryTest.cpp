// The package opener loads a directory through its name filter, building
// items only for the names it looks up. For every name it may ask, that
// lean directory must answer exactly what the full directory answers: the
// same entry, or nothing, or the same failure to load. Compared here over
// the samples, the zip fixtures, the hostile corpus and the fuzz corpora,
// and over crafted directories whose decoded names differ from their bytes.
#include "package/LocaleMessages.h"
#include "package/Package.h"

#include "base/Crc32.h"
#include "base/Exception.h"
#include "base/FileStream.h"
#include "base/LittleEndian.h"
#include "base/MemoryStream.h"
#include "base/Text.h"
#include "base/WindowStream.h"
#include "tests/zip/ZipTestWriter.h"

#include <gtest/gtest.h>

#include <cstring>
#include <exception>
#include <filesystem>
#include <string>
#include <typeinfo>
#include <vector>

namespace addoscope::package {
namespace {

namespace fs = std::filesystem;

struct TLoaded {
    std::unique_ptr<zip::TZipArchive> Archive;
    std::string Failure; // the error's class and message, when Load failed
};

TLoaded LoadArchive(base::TStream& stream, bool lean)
{
    TLoaded loaded;
    stream.SetPosition(0);
    loaded.Archive = zip::TZipArchive::CreateFromStream(stream, u"package");
    if (lean)
        loaded.Archive->SetNameFilter(&PackageNameFilter());
    try {
        loaded.Archive->Load();
    } catch (const std::exception& e) {
        loaded.Failure = std::string(typeid(e).name()) + ": " + e.what();
    } catch (...) {
        loaded.Failure = "unknown";
    }
    return loaded;
}

std::u16string Folded(std::u16string name, bool upper)
{
    for (char16_t& c : name)
        c = upper ? base::AsciiUpper(c) : base::AsciiLower(c);
    return name;
}

// Compares the two loads of one zip part; `what` names it in failures.
// Answers the number of names compared.
size_t CompareLoads(base::TStream& stream, const std::string& what)
{
    const TLoaded full = LoadArchive(stream, false);
    const TLoaded lean = LoadArchive(stream, true);
    EXPECT_EQ(full.Failure, lean.Failure) << what;
    if (!full.Failure.empty() || !lean.Failure.empty())
        return 0;
    const zip::TZipArchive& f = *full.Archive;
    const zip::TZipArchive& l = *lean.Archive;
    EXPECT_EQ(f.DirectoryEntries(), l.DirectoryEntries()) << what;
    EXPECT_EQ(f.StubSize(), l.StubSize()) << what;
    EXPECT_EQ(PackageLocales(f), PackageLocales(l)) << what;

    std::vector<std::u16string> names = {u"install.rdf", u"manifest.json", u"Manifest.JSON", u"INSTALL.RDF"};
    for (const char16_t* locale : {u"en", u"en_US", u"en_GB", u"en-US", u"de", u"pt_BR", u"pt-BR", u"x/y", u"\u00E9"})
        names.push_back(u"_locales/" + std::u16string(locale) + u"/messages.json");
    for (int i = 0; i < f.Count(); ++i) {
        names.push_back(f.ItemName(i));
        names.push_back(Folded(f.ItemName(i), true));
        names.push_back(Folded(f.ItemName(i), false));
    }
    for (const std::u16string& name : names) {
        const int fi = f.FindFile(name);
        const int li = l.FindFile(name);
        if (!PackageNameFilter().Wants(std::u16string_view(name))) {
            // Unwanted names promise nothing but an item of that name.
            EXPECT_TRUE(li < 0 || base::SameTextAscii(l.ItemName(li), name)) << what;
            continue;
        }
        EXPECT_EQ(fi < 0, li < 0) << what << ": " << base::Utf16ToUtf8(name);
        if (fi < 0 || li < 0)
            continue;
        const zip::TZipItem& a = f.Item(fi);
        const zip::TZipItem& b = l.Item(li);
        EXPECT_EQ(a.GetDirectoryIndex(), static_cast<uint32_t>(fi)) << what;
        EXPECT_EQ(a.GetDirectoryIndex(), b.GetDirectoryIndex()) << what << ": " << base::Utf16ToUtf8(name);
        EXPECT_EQ(a.GetRelativeOffset(), b.GetRelativeOffset()) << what;
        EXPECT_EQ(a.GetFileName(), b.GetFileName()) << what;
        EXPECT_EQ(a.GetCompressedSize(), b.GetCompressedSize()) << what;
        EXPECT_EQ(a.GetCRC32(), b.GetCRC32()) << what;
    }
    return names.size();
}

// The file as the package opener sees it: the whole file, and for a CRX
// also its zip part behind the header.
size_t CompareFile(const fs::path& path)
{
    base::TFileStream file(base::Utf8ToUtf16(path.string()));
    size_t compared = CompareLoads(file, path.string());
    uint8_t header[16] = {};
    file.SetPosition(0);
    if (file.Read(header, sizeof header) == sizeof header && std::memcmp(header, "Cr24", 4) == 0) {
        const uint32_t start = base::GetLE32(header + 4) >= 3
                                   ? base::GetLE32(header + 8) + 12u
                                   : base::GetLE32(header + 8) + base::GetLE32(header + 12) + 16u;
        if (start < file.Size()) {
            base::TWindowStream part(file, start);
            compared += CompareLoads(part, path.string() + " (zip part)");
        }
    }
    return compared;
}

// Every file under the folders; answers how many there were.
size_t CompareTree(const std::vector<fs::path>& roots, size_t& names)
{
    size_t files = 0;
    for (const fs::path& root : roots) {
        EXPECT_TRUE(fs::is_directory(root)) << root;
        if (!fs::is_directory(root))
            continue;
        for (const auto& entry : fs::recursive_directory_iterator(root)) {
            if (!entry.is_regular_file())
                continue;
            try {
                names += CompareFile(entry.path());
                ++files;
            } catch (const base::EFOpenError&) {
                // A file name the UTF-16 interface cannot spell (the
                // hostile corpus has some); the package opener cannot
                // reach it either.
            }
        }
    }
    return files;
}

TEST(LeanDirectory, SamplesFixturesAndHostileCorpus)
{
    size_t names = 0;
    const size_t files = CompareTree({ADDOSCOPE_EXAMPLES_DIR, std::string(ADDOSCOPE_TEST_DATA) + "/zip", HOSTILE_CORPUS}, names);
    EXPECT_GT(files, 50u);
    EXPECT_GT(names, 1000u);
}

TEST(LeanDirectory, FuzzCorpora)
{
    size_t names = 0;
    const size_t files = CompareTree({ADDOSCOPE_FUZZ_CORPUS}, names);
    EXPECT_GT(files, 100u);
}

// Entries whose decoded name is not their bytes, or that the filter must
// not judge by their bytes.
TEST(LeanDirectory, NamesDecodedOtherwiseThanTheirBytes)
{
    using ziptest::ExtraSubfield;
    using ziptest::PutLE16;
    using ziptest::PutLE32;
    auto upath = [](const std::string& raw, const std::string& utf8) {
        std::string data(1, '\1');
        PutLE32(data, base::Crc32(raw.data(), raw.size()));
        return ExtraSubfield(0x7075, data + utf8);
    };
    std::string nucx;
    PutLE32(nucx, 0x5843554E);
    PutLE32(nucx, 11);
    for (char16_t c : std::u16string(u"install.rdf"))
        PutLE16(nucx, c);
    std::string zip64;
    ziptest::PutLE64(zip64, 2);

    ziptest::TTestZip zip;
    zip.Entries = {
        {.Name = "manifest.json", .Data = "{1}"},
        {.Name = "a.txt", .Data = "{2}", .Extra = upath("a.txt", "manifest.json")},   // named by its path field
        {.Name = "MANIFEST.JSON", .Data = "{3}", .Extra = upath("MANIFEST.JSON", "b.txt")}, // renamed away
        {.Name = "c.txt", .Data = "x", .Extra = ExtraSubfield(0x554E, nucx)},
        {.Name = "_locales/de/messages.json", .Data = "{}", .VersionMadeBy = 0x0014},
        {.Name = "_locales/fr/d.txt", .Data = "x", .Extra = upath("_locales/fr/d.txt", "_locales/fr/messages.json")},
        {.Name = "_LOCALES/\xC3\xA9/MESSAGES.JSON", .Data = "{}", .Flags = 0x0800},
        {.Name = "big.bin", .Data = "xx", .UncompressedSize = 0xFFFFFFFFu, .Extra = ExtraSubfield(0x0001, zip64)},
        {.Name = std::string("manifest.json\0", 14), .Data = "{4}"},
    };
    base::TMemoryStream stream;
    const std::string bytes = zip.Build();
    stream.LoadFromBuffer(bytes.data(), bytes.size());
    CompareLoads(stream, "crafted");

    const TLoaded lean = LoadArchive(stream, true);
    ASSERT_EQ(lean.Failure, "");
    // Kept: the two manifests by name or path field, the install.rdf of
    // the NUCX field, and the four messages files; not the zip64 item.
    EXPECT_EQ(lean.Archive->Count(), 8);
    EXPECT_EQ(lean.Archive->Item(lean.Archive->FindFile(u"manifest.json")).GetDirectoryIndex(), 1u);
    EXPECT_EQ(PackageLocales(*lean.Archive), u"de, fr, \u00E9");
}

// A zip64 value that cannot be read fails the load, whether or not the
// entry's name is wanted; so does a directory that breaks off.
TEST(LeanDirectory, DamagedDirectoriesFailAlike)
{
    ziptest::TTestZip shortZip64;
    shortZip64.Entries = {{.Name = "a.txt", .Data = "x", .UncompressedSize = 0xFFFFFFFFu,
                           .Extra = ziptest::ExtraSubfield(0x0001, "1234")}};
    ziptest::TTestZip broken;
    broken.Entries = {{.Name = "a.txt", .Data = "x"}, {.Name = "manifest.json", .Data = "{}"}};
    broken.CountOverride = 3;
    for (const ziptest::TTestZip* zip : {&shortZip64, &broken}) {
        const std::string bytes = zip->Build();
        base::TMemoryStream stream;
        stream.LoadFromBuffer(bytes.data(), bytes.size());
        CompareLoads(stream, "damaged");
        EXPECT_NE(LoadArchive(stream, true).Failure, "");
    }
}

} // namespace
} // namespace addoscope::package
