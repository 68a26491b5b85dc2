// Value requests through the exported functions of a loaded plugin, over
// the sample packages.
#include "PluginSandbox.h"

#include "tests/zip/ZipTestWriter.h"

#include <gtest/gtest.h>

#include <map>
#include <thread>

namespace {

using TFields = std::map<int, std::u16string>;

// Every field of a package, as a host would show it.
TFields AllFields(TPluginSandbox& sandbox, const std::filesystem::path& file)
{
    TFields fields;
    for (int i = 0; i < 23; ++i) {
        std::u16string value = sandbox.Value(file, i);
        if (!value.empty())
            fields[i] = value;
    }
    return fields;
}

enum Field { Type, FileType, ID, Name, Version, Description, AddonType, Creator, Contributor, Developer,
             Translator, HomePageURL, UpdateURL, TargetPlatform, Application, Compatibility, ExtensionID,
             ManifestVersion, Permissions, OptionalPermissions, DefaultLocale, Locales, TargetVersions };

// The Chrome IDs of the sample keys, from openssl rather than this code:
//   openssl dgst -sha256 -binary examples/keys/crx2-test-public.der | head -c16 | xxd -p | tr 0-9a-f a-p
// and the same for crx3-test-public.der (the CRX3 sample's crx_id is that
// key's, written by the packer).
const char16_t* const Crx2Id = u"djhkcpoibgplkkdchkganhnecikdndcc";
const char16_t* const Crx3Id = u"khkbghnbjnjdgijikcflnpgkjcgacijb";

// A zip package of the given items in the sandbox folder.
std::filesystem::path WritePackage(TPluginSandbox& sandbox, const std::string& name,
                                   const std::vector<std::pair<std::string, std::string>>& items)
{
    addoscope::ziptest::TTestZip zip;
    for (const auto& [item, data] : items)
        zip.Entries.push_back(addoscope::ziptest::TTestEntry{.Name = item, .Data = data});
    const auto file = sandbox.Dir() / name;
    std::ofstream(file, std::ios::binary) << zip.Build();
    return file;
}

} // namespace

TEST(ValueRequest, EveryFieldOfEverySample)
{
    TPluginSandbox sandbox;
    ASSERT_TRUE(sandbox.Plugin().Library.IsLoaded());
    const std::map<std::string, TFields> expected = {
        {"tab-tidy.xpi",
         {{Type, u"ZIP"}, {FileType, u"JSON"}, {Name, u"Tab Tidy"}, {Version, u"2.4.1"},
          {Description, u"Keeps three kinds of tabs in order, quietly."}, {Creator, u"Ada Example"},
          {HomePageURL, u"https://example.org/tab-tidy"}, {ExtensionID, u"tab-tidy@example.org"},
          {ManifestVersion, u"2"}, {Permissions, u"tabs, storage, *://*.example.org/*"},
          {OptionalPermissions, u"bookmarks, sessions"}, {DefaultLocale, u"en"}, {Locales, u"de, en, pt_BR"},
          {TargetVersions, u"Gecko >= 78.0"}}},
        {"focus-timer.xpi",
         {{Type, u"ZIP"}, {FileType, u"JSON"}, {Name, u"Focus Timer"}, {Version, u"1.2.0"},
          {Description, u"Works in 25-minute blocks, with \"breaks\" // built in."}, {Creator, u"Noor Clock"},
          {HomePageURL, u"https://example.org/focus-timer"}, {ExtensionID, u"focus-timer@example.org"},
          {ManifestVersion, u"3"}, {Permissions, u"alarms, notifications, storage, https://*.example.org/*"},
          {OptionalPermissions, u"tabs, https://example.com/*"}, {DefaultLocale, u"en"}, {Locales, u"en, nl"},
          {TargetVersions, u"Gecko >= 115.0, Firefox for Android >= 120.0, Chrome >= 102"}}},
        {"mail-merge-legacy.xpi",
         {{Type, u"ZIP"}, {FileType, u"XML"}, {ID, u"mail-merge@example.org"}, {Name, u"Mail Merge"},
          {Version, u"0.9.7"}, {Description, u"Sends one message to many people, each with their own greeting."},
          {AddonType, u"Extension"}, {Creator, u"Bertha Sample"}, {Contributor, u"Carl Contributor, Dora Helper"},
          {Developer, u"Erik Dev"}, {Translator, u"Fiona (de), Gustavo (pt-BR)"},
          {HomePageURL, u"https://example.org/mail-merge"},
          {UpdateURL, u"https://example.org/mail-merge/update.rdf"}, {TargetPlatform, u"WINNT_x86-msvc, Linux"},
          {Compatibility, u"Thunderbird, SeaMonkey"}, {ExtensionID, u"mail-merge@example.org"},
          {TargetVersions, u"Thunderbird 1.5 - 2.0.*, SeaMonkey 1.0 - 1.1.*"}}},
        {"dark-theme-compact.xpi",
         {{Type, u"ZIP"}, {FileType, u"XML"}, {ID, u"{d3a1f0e2-5b7c-4c39-9b1e-7a0f1c2d3e4f}"}, {Name, u"Midnight"},
          {Version, u"3.1"}, {Description, u"A dark theme for long nights."}, {AddonType, u"Theme"},
          {Creator, u"Hana Themer"}, {HomePageURL, u"https://example.org/midnight"},
          {Compatibility, u"Firefox, Fennec"}, {ExtensionID, u"{d3a1f0e2-5b7c-4c39-9b1e-7a0f1c2d3e4f}"},
          {TargetVersions, u"Firefox 3.0 - 3.6.*, Fennec 1.0 - 1.1"}}},
        {"page-ruler.crx",
         {{Type, u"CRX"}, {FileType, u"JSON"}, {Name, u"Page Ruler"}, {Version, u"1.8"},
          {Description, u"Measures anything on a page in pixels."}, {Creator, u"Ivo Measure"},
          {UpdateURL, u"https://clients.example.com/service/update2/crx"}, {ExtensionID, Crx2Id},
          {ManifestVersion, u"2"}, {Permissions, u"activeTab, <all_urls>"}, {TargetVersions, u"Chrome >= 49"}}},
        {"quiet-reader.crx3",
         {{Type, u"CRX3"}, {FileType, u"JSON"}, {Name, u"Quiet Reader"}, {Version, u"5.0.2"},
          {Description, u"Reading view without the noise."}, {HomePageURL, u"https://example.org/quiet-reader"},
          {ExtensionID, Crx3Id}, {ManifestVersion, u"3"}, {Permissions, u"activeTab, scripting, https://*/*"},
          {DefaultLocale, u"en_US"}, {Locales, u"en_US, fr"}, {TargetVersions, u"Chrome >= 110"}}},
        {"self-extracting-toolbar.xpi",
         {{Type, u"ZIP ext"}, {FileType, u"XML"}, {ID, u"toolbar@example.org"}, {Name, u"Search Toolbar"},
          {Version, u"1.0.3"}, {AddonType, u"Extension"}, {Creator, u"Jo Toolmaker"}, {Compatibility, u"Firefox"},
          {ExtensionID, u"toolbar@example.org"}, {TargetVersions, u"Firefox 2.0 - 3.0.*"}}},
        {"hybrid-bootstrap.xpi",
         {{Type, u"ZIP"}, {FileType, u"XML"}, {ID, u"hybrid@example.org"}, {Name, u"Hybrid Helper (legacy)"},
          {Version, u"4.2"}, {AddonType, u"Extension"}, {Creator, u"Kim Bridge"}, {Compatibility, u"Firefox"},
          {ExtensionID, u"hybrid@example.org"}, {TargetVersions, u"Firefox 45.0 - 56.*"}}},
        {"holiday-photos.xpi", {}},
    };
    for (const auto& [example, fields] : expected) {
        const auto file = sandbox.AddExample(example);
        EXPECT_EQ(AllFields(sandbox, file), fields) << example;
    }
}

// The later fields where a package gives nothing for them, and the Chrome
// ID of a manifest's key.
TEST(ValueRequest, WebExtensionFieldsEmptyOrFromTheKey)
{
    TPluginSandbox sandbox;
    const auto rdf = WritePackage(sandbox, "no-versions.xpi",
                                  {{"install.rdf", "<RDF><Description em:id=\"plain@example.org\"><em:targetApplication>"
                                                   "<Description em:id=\"{ec8030f7-c20a-464f-9b0e-13a3a9e97384}\"/>"
                                                   "</em:targetApplication></Description></RDF>"},
                                   {"manifest.json", R"({"manifest_version":2,"permissions":["tabs"]})"}});
    EXPECT_EQ(AllFields(sandbox, rdf),
              (TFields{{Type, u"ZIP"}, {FileType, u"XML"}, {ID, u"plain@example.org"}, {Compatibility, u"Firefox"},
                       {ExtensionID, u"plain@example.org"}}));

    const auto objects = WritePackage(
        sandbox, "object-permissions.xpi",
        {{"manifest.json", R"({"name":"Objects","permissions":{"tabs":true},"optional_permissions":[{"a":1}],
                               "applications":{"gecko":"id"},"manifest_version":{"v":3}})"},
         {"_locales/en/messages.json", "{}"}});
    EXPECT_EQ(AllFields(sandbox, objects),
              (TFields{{Type, u"ZIP"}, {FileType, u"JSON"}, {Name, u"Objects"}, {Locales, u"en"}}));

    // The base64 of examples/keys/crx2-test-public.der (base64 -w0).
    const auto key = WritePackage(
        sandbox, "keyed.xpi",
        {{"manifest.json", "{\"name\":\"Keyed\",\"key\":\"MIGfMA0GCSqGSIb3DQEBAQUAA4GNADCBiQKBgQDecR3iJPGcEOT5fGnvT4C4+"
                           "eRTpaqGft1nIcf6XQ4YhAZ4OjoJDBXfg3FPkv8rKZtnAbEVlip2zupxa4ECUq4omKHVevZPGIoL9o9Is28RLu30"
                           "PYwCd9O2/RRy7s2FEkXB0NPF7wrhxGjuPDiIIRp71MR248Uhtjfxn62E8yiN3wIDAQAB\"}"}});
    EXPECT_EQ(sandbox.Value(key, ExtensionID), Crx2Id);
}

TEST(ValueRequest, PreferredLocaleFromTheSettingsFile)
{
    struct Case {
        const char* setting;
        const char16_t* name;
    };
    const Case cases[] = {
        {"", u"Tab Tidy"},
        {"UseCurrentLocaleDescription=de", u"Tab-Ordner"},
        {"UseCurrentLocaleDescription = \"pt_BR\"", u"Organizador de Abas"},
        {"usecurrentlocaledescription=pt-BR", u"Organizador de Abas"}, // the variant finds the pt_BR folder
        {"UseCurrentLocaleDescription=0", u"Tab Tidy"},
        {"UseCurrentLocaleDescription=ru", u"Tab Tidy"}, // no ru folder: English
    };
    for (const Case& c : cases) {
        TPluginSandbox sandbox(std::string("[Addoscope]\n") + c.setting + "\n");
        const auto file = sandbox.AddExample("tab-tidy.xpi");
        EXPECT_EQ(sandbox.Value(file, Name), c.name) << c.setting;
    }
}

TEST(ValueRequest, BufferSizesFlagsAndTheEmptyApplicationField)
{
    TPluginSandbox sandbox;
    const auto file = sandbox.AddExample("mail-merge-legacy.xpi");
    const std::u16string name = addoscope::base::Utf8ToUtf16(file.string());
    auto& plugin = sandbox.Plugin();

    char16_t small[4] = {u'#', u'#', u'#', u'#'};
    EXPECT_EQ(plugin.GetValueW(name.c_str(), Name, 0, small, 4, 0), 11);
    EXPECT_EQ(small[0], u'\0');
    EXPECT_EQ(small[1], u'#');

    std::vector<char16_t> wide(2048, u'#');
    EXPECT_EQ(plugin.GetValueW(name.c_str(), Description, 0, wide.data(), 20, 0), 11);
    EXPECT_EQ(std::u16string(wide.data()), u"Sends on"); // (20 div 2) - 2 characters

    EXPECT_EQ(plugin.GetValueW(name.c_str(), Name, 0, wide.data(), 2048, 1), 0);
    EXPECT_EQ(plugin.GetValueW(name.c_str(), Application, 0, wide.data(), 2048, 0), -3);
    EXPECT_EQ(plugin.GetValueW(name.c_str(), 23, 0, wide.data(), 2048, 0), -3);
    EXPECT_EQ(plugin.GetValueW(u"", Name, 0, wide.data(), 2048, 0), -3);

    // The 8-bit entry point takes the host's 8-bit name and answers UTF-16.
    const auto accented = sandbox.AddExample("mail-merge-legacy.xpi", "m\xC3\xA4il.xpi");
    char16_t value[64];
    EXPECT_EQ(plugin.GetValue(accented.string().c_str(), Name, 0, value, sizeof(value), 0), 11);
    EXPECT_EQ(std::u16string(value), u"Mail Merge");
}

TEST(ValueRequest, UnchangedFilesAreReadOnceChangedOnesAgain)
{
    TPluginSandbox sandbox;
    const auto file = sandbox.AddExample("tab-tidy.xpi");
    const auto other = sandbox.AddExample("page-ruler.crx");
    EXPECT_EQ(sandbox.Value(file, Name), u"Tab Tidy");

    // Same size and time but other bytes: every further request answers
    // from the first reading.
    const std::string original = ReadAll(file);
    ReplaceKeepingTimeAndSize(file, std::string(original.size(), 'x'));
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(sandbox.Value(file, i % 16 == Name ? Name : Version), i % 16 == Name ? u"Tab Tidy" : u"2.4.1");

    // A new modification time with the same size is a change.
    std::filesystem::last_write_time(file, std::filesystem::last_write_time(file) + std::chrono::seconds(5));
    EXPECT_EQ(sandbox.Value(file, Name), u"");

    // A failed reading is remembered too: a valid package put in its place
    // with the same size and time is not read.
    std::string valid = original;
    ReplaceKeepingTimeAndSize(file, valid);
    EXPECT_EQ(sandbox.Value(file, Name), u"");
    // A change of size with the same time is a change as well.
    const auto time = std::filesystem::last_write_time(file);
    std::filesystem::copy_file(other, file, std::filesystem::copy_options::overwrite_existing);
    std::filesystem::last_write_time(file, time);
    EXPECT_EQ(sandbox.Value(file, Name), u"Page Ruler");
}

TEST(ValueRequest, CacheSizeOneKeepsTwoRecords)
{
    TPluginSandbox sandbox("[addoscope]\nCacheSize_x64=0\nCacheSize_x86=0\n");
    const auto a = sandbox.AddExample("tab-tidy.xpi", "a.xpi");
    const auto b = sandbox.AddExample("tab-tidy.xpi", "b.xpi");
    const auto c = sandbox.AddExample("tab-tidy.xpi", "c.xpi");
    for (const auto& file : {a, b, c})
        EXPECT_EQ(sandbox.Value(file, Name), u"Tab Tidy");
    // a was evicted by c; b and c are still held.
    const std::string garbage(std::filesystem::file_size(a), 'x');
    for (const auto& file : {a, b, c})
        ReplaceKeepingTimeAndSize(file, garbage);
    EXPECT_EQ(sandbox.Value(c, Name), u"Tab Tidy");
    EXPECT_EQ(sandbox.Value(b, Name), u"Tab Tidy");
    EXPECT_EQ(sandbox.Value(a, Name), u"") << "evicted, so read again";
}

TEST(ValueRequest, StateNotificationsEmptyTheCache)
{
    // Capacity 2: a new directory empties the cache only when it is full.
    TPluginSandbox sandbox("[Addoscope]\nCacheSize_x64=1\nCacheSize_x86=1\n");
    auto& plugin = sandbox.Plugin();
    const auto a = sandbox.AddExample("tab-tidy.xpi", "a.xpi");
    const auto b = sandbox.AddExample("tab-tidy.xpi", "b.xpi");
    const std::string garbage(std::filesystem::file_size(a), 'x');

    EXPECT_EQ(sandbox.Value(a, Name), u"Tab Tidy");
    ReplaceKeepingTimeAndSize(a, garbage);
    plugin.SendStateInformationW(1, u"/");
    EXPECT_EQ(sandbox.Value(a, Name), u"Tab Tidy") << "one record: not full, kept";

    EXPECT_EQ(sandbox.Value(b, Name), u"Tab Tidy");
    plugin.SendStateInformationW(1, u"/");
    EXPECT_EQ(sandbox.Value(a, Name), u"") << "two records: full, emptied, read again";

    // Refresh empties the cache after a request for a file in the plugin's
    // own folder, not after one elsewhere.
    TPluginSandbox elsewhere;
    const auto outside = elsewhere.AddExample("page-ruler.crx");
    EXPECT_EQ(sandbox.Value(b, Name), u"Tab Tidy");
    ReplaceKeepingTimeAndSize(b, garbage);
    EXPECT_EQ(sandbox.Value(outside, Name), u"Page Ruler");
    plugin.SendStateInformationW(2, u"/");
    EXPECT_EQ(sandbox.Value(b, Name), u"Tab Tidy") << "last file was elsewhere: kept";
    plugin.SendStateInformationW(2, u"/");
    EXPECT_EQ(sandbox.Value(b, Name), u"") << "last file was in the plugin folder: emptied";
}

TEST(ValueRequest, NonRegularFilesNamedLikePackagesAnswerAtOnce)
{
    TPluginSandbox sandbox;
    const auto dir = sandbox.Dir() / "folder.xpi";
    std::filesystem::create_directory(dir);
    EXPECT_EQ(sandbox.Value(dir, Name), u"");
    const auto fifo = sandbox.Dir() / "pipe.xpi";
    ASSERT_EQ(std::system(("mkfifo '" + fifo.string() + "'").c_str()), 0);
    EXPECT_EQ(sandbox.Value(fifo, Name), u"");
    EXPECT_EQ(sandbox.Value("/dev/null", Name), u"");
}
