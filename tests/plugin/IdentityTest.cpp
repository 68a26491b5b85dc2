// A package must never be shown with another add-on's identity: not when
// two file names share a cache key, not when the archive carries a decoy
// description under a differently cased name, and not when a host that
// never sets its parameters passes a name whose case matters.
#include "PluginSandbox.h"
#include "plugin/RecordCache.h"
#include "tests/zip/ZipTestWriter.h"

#include <gtest/gtest.h>

#include <unordered_map>

namespace {

namespace fs = std::filesystem;
using addoscope::ziptest::TTestEntry;
using addoscope::ziptest::TTestZip;

constexpr int NameField = 3;

std::string WebExtension(const std::vector<std::pair<std::string, std::string>>& items)
{
    TTestZip zip;
    for (const auto& [name, content] : items) {
        TTestEntry entry;
        entry.Name = name;
        entry.Data = content;
        zip.Entries.push_back(entry);
    }
    return zip.Build();
}

std::string Manifest(const std::string& name)
{
    return R"({"name":")" + name + R"(","version":"1.0"})";
}

void WriteFile(const fs::path& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// Two names in the folder whose full paths share a record key.
std::pair<fs::path, fs::path> CollidingPaths(const fs::path& folder)
{
    std::unordered_map<int64_t, fs::path> seen;
    for (int i = 0; i < 4000000; ++i) {
        std::string file = std::to_string(i);
        file.append(".xpi");
        const fs::path path = folder / file;
        const std::u16string name = addoscope::base::Utf8ToUtf16(path.string());
        auto [it, added] = seen.emplace(addoscope::plugin::RecordKey(name), path);
        if (!added)
            return {it->second, path};
    }
    return {};
}

} // namespace

TEST(Identity, NamesSharingACacheKeyKeepTheirOwnRecords)
{
    TPluginSandbox sandbox;
    const auto [first, second] = CollidingPaths(sandbox.Dir());
    ASSERT_FALSE(first.empty());
    // Same size and the same time: only the name tells them apart.
    WriteFile(first, WebExtension({{"manifest.json", Manifest("Genuine")}}));
    WriteFile(second, WebExtension({{"manifest.json", Manifest("Imitate")}}));
    ASSERT_EQ(fs::file_size(first), fs::file_size(second));
    fs::last_write_time(second, fs::last_write_time(first));

    EXPECT_EQ(sandbox.Value(first, NameField), u"Genuine");
    EXPECT_EQ(sandbox.Value(second, NameField), u"Imitate");
    EXPECT_EQ(sandbox.Value(first, NameField), u"Genuine");
}

TEST(Identity, TheExactlyNamedDescriptionWinsOverADifferentlyCasedOne)
{
    TPluginSandbox sandbox;
    const fs::path decoyAfter = sandbox.Dir() / "decoy-after.xpi";
    WriteFile(decoyAfter, WebExtension({{"manifest.json", Manifest("Real")}, {"Manifest.JSON", Manifest("Decoy")}}));
    EXPECT_EQ(sandbox.Value(decoyAfter, NameField), u"Real");
    const fs::path decoyBefore = sandbox.Dir() / "decoy-before.xpi";
    WriteFile(decoyBefore, WebExtension({{"MANIFEST.json", Manifest("Decoy")}, {"manifest.json", Manifest("Real")}}));
    EXPECT_EQ(sandbox.Value(decoyBefore, NameField), u"Real");
    // The same for the messages of the chosen locale.
    const fs::path messages = sandbox.Dir() / "messages.xpi";
    WriteFile(messages, WebExtension({{"manifest.json", Manifest("__MSG_n__")},
                                      {"_locales/en/messages.json", R"({"n":{"message":"Real"}})"},
                                      {"_locales/EN/messages.json", R"({"n":{"message":"Decoy"}})"}}));
    EXPECT_EQ(sandbox.Value(messages, NameField), u"Real");
    // Without an exact name, letter case does not matter, as packages in the
    // wild ship "Install.rdf" and "_locales/EN".
    const fs::path cased = sandbox.Dir() / "cased.xpi";
    WriteFile(cased, WebExtension({{"Manifest.json", Manifest("Cased")}}));
    EXPECT_EQ(sandbox.Value(cased, NameField), u"Cased");
}

#if !defined(_WIN32)
TEST(Identity, NamesKeepTheirCaseWhenTheHostNeverSetsItsParameters)
{
    const fs::path folder = fs::temp_directory_path() / ("addoscope-case-" + std::to_string(std::random_device()()));
    fs::create_directories(folder);
    WriteFile(folder / "Tab-Tidy.XPI", WebExtension({{"manifest.json", Manifest("Upper")}}));
    WriteFile(folder / "tab-tidy.xpi", WebExtension({{"manifest.json", Manifest("Lower")}}));
    {
        const fs::path library = folder / fs::path(TPluginLibrary::Path()).filename();
        fs::copy_file(TPluginLibrary::Path(), library);
        TPluginLibrary plugin(library.string()); // no ContentSetDefaultParams
        ASSERT_TRUE(plugin.Library.IsLoaded());
        for (const char* file : {"Tab-Tidy.XPI", "tab-tidy.xpi"}) {
            const std::u16string name = addoscope::base::Utf8ToUtf16((folder / file).string());
            char16_t buffer[256] = {};
            ASSERT_EQ(plugin.GetValueW(name.c_str(), NameField, 0, buffer, sizeof buffer, 0), 11) << file;
            EXPECT_EQ(std::u16string(buffer), file[0] == 'T' ? u"Upper" : u"Lower");
        }
    }
    fs::remove_all(folder);
}
#endif
