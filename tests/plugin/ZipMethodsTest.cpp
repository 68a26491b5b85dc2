// Every zip method the reader decodes, end to end: an add-on whose
// manifest.json is packed with that method shows its name and description
// through the exported functions of the built library. The packages come
// from tests/data/plugin/make_method_packages.py. WavPack (97) is missing:
// it always unpacks to a WAV file, which no manifest can be.
#include "PluginSandbox.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

namespace {

// The index the host would find for a field, by asking the plugin.
int FieldIndex(TPluginLibrary& plugin, const char* wanted)
{
    for (int32_t i = 0;; ++i) {
        char name[256] = {}, units[256] = {};
        if (plugin.GetSupportedField(i, name, units, sizeof(name)) == 0)
            return -1;
        if (std::strcmp(name, wanted) == 0)
            return i;
    }
}

} // namespace

TEST(ZipMethods, ManifestPackedWithEachMethodShowsItsName)
{
    TPluginSandbox sandbox;
    ASSERT_TRUE(sandbox.Plugin().Library.IsLoaded());
    const int name = FieldIndex(sandbox.Plugin(), "Name");
    const int description = FieldIndex(sandbox.Plugin(), "Description");
    ASSERT_GE(name, 0);
    ASSERT_GE(description, 0);

    const struct {
        const char* File;
        const char16_t* Label;
    } packages[] = {
        {"m00_stored.xpi", u"store"},
        {"m01_shrink.xpi", u"shrink"},
        {"m02_reduce1.xpi", u"reduce 1"},
        {"m03_reduce2.xpi", u"reduce 2"},
        {"m04_reduce3.xpi", u"reduce 3"},
        {"m05_reduce4.xpi", u"reduce 4"},
        {"m06_implode_4k2t.xpi", u"implode 4K 2 trees"},
        {"m06_implode_8k3t.xpi", u"implode 8K 3 trees"},
        {"m08_deflate.xpi", u"deflate"},
        {"m09_deflate64.xpi", u"deflate64"},
        {"m12_bzip2.xpi", u"bzip2"},
        {"m14_lzma.xpi", u"LZMA"},
        {"m98_ppmd.xpi", u"PPMd"},
    };
    // The description repeats itself, so the packers turned most of it into
    // copies: it comes out right only if those were decoded.
    const std::u16string expectedDescription =
        u"One manifest per zip method: the method packs this text, the reader must unpack this text, and "
        u"the name shows whether the reader unpacked this text.";
    const std::string dir = std::string(ADDOSCOPE_TEST_DATA) + "/plugin/methods/";
    for (const auto& p : packages) {
        SCOPED_TRACE(p.File);
        const auto file = sandbox.Dir() / p.File;
        std::filesystem::copy_file(dir + p.File, file);
        EXPECT_EQ(sandbox.Value(file, name), std::u16string(u"Packed with ") + p.Label);
        EXPECT_EQ(sandbox.Value(file, description), expectedDescription);
    }
}
