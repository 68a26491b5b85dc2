// Reading install.rdf manifests into the add-on record.
#include "package/InstallRdf.h"

#include "base/MemoryStream.h"
#include "base/Text.h"

#include <gtest/gtest.h>

#include <memory>

using namespace addoscope;
using namespace addoscope::package;

namespace {

const char* const Firefox = "{ec8030f7-c20a-464f-9b0e-13a3a9e97384}";
const char* const Thunderbird = "{3550f703-e582-4d05-9a08-453d09bdfdc6}";

class InstallRdf : public ::testing::Test {
protected:
    static void SetUpTestSuite() { BuildKnownApplications(); }
    static void TearDownTestSuite() { FreeKnownApplications(); }

    // Reads the manifest text; the stream is left at its end first, since
    // the reader must rewind it itself.
    bool Read(const std::string& xml, const std::u16string& kind = u"XML")
    {
        base::TMemoryStream stream;
        stream.LoadFromBuffer(xml.data(), xml.size());
        stream.Seek(0, base::TSeekOrigin::soEnd);
        return ReadInstallRdf(stream, FRecord, kind);
    }

    static std::string Manifest(const std::string& description, const std::string& descriptionTag = "Description")
    {
        return "<?xml version=\"1.0\"?>\n"
               "<RDF xmlns=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\"\n"
               "     xmlns:em=\"http://www.mozilla.org/2004/em-rdf#\">\n"
               "  <" + descriptionTag + " about=\"urn:mozilla:install-manifest\">\n" + description +
               "\n  </" + descriptionTag + ">\n</RDF>\n";
    }

    static std::string TargetApplication(const std::string& id, const std::string& min = "1.5",
                                         const std::string& max = "2.0.*")
    {
        return "<em:targetApplication><Description><em:id>" + id + "</em:id><em:minVersion>" + min +
               "</em:minVersion><em:maxVersion>" + max + "</em:maxVersion></Description></em:targetApplication>";
    }

    TAddoscope FRecord;
};

} // namespace

TEST_F(InstallRdf, ElementFormFillsEveryField)
{
    ASSERT_TRUE(Read(Manifest("<em:id>addon@example.org</em:id>\n"
                              "<em:name>Sample &amp; Co</em:name>\n"
                              "<em:version>1.2</em:version>\n"
                              "<em:type>2</em:type>\n"
                              "<em:description>Line one\nline two</em:description>\n"
                              "<em:creator>Ann</em:creator>\n"
                              "<em:contributor>Bob</em:contributor><em:contributor>Cy</em:contributor>\n"
                              "<em:developer>Dee</em:developer>\n"
                              "<em:translator>Eve</em:translator>\n"
                              "<em:homepageURL>http://example.org/</em:homepageURL>\n"
                              "<em:updateURL>http://example.org/update</em:updateURL>\n"
                              "<em:targetPlatform>WINNT</em:targetPlatform>"
                              "<em:targetPlatform>Linux</em:targetPlatform>\n" +
                              TargetApplication(Firefox) + TargetApplication(Thunderbird, "1.0", "3.*"))));
    EXPECT_EQ(FRecord.FileType, u"XML");
    EXPECT_EQ(FRecord.ID, u"addon@example.org");
    EXPECT_EQ(FRecord.Name, u"Sample & Co");
    EXPECT_EQ(FRecord.Version, u"1.2");
    EXPECT_EQ(FRecord.AddonType, u"Extension");
    EXPECT_EQ(FRecord.Description, u"Line one\r\nline two");
    EXPECT_EQ(FRecord.Creator, u"Ann");
    EXPECT_EQ(FRecord.Contributor, u"Bob, Cy");
    EXPECT_EQ(FRecord.Developer, u"Dee");
    EXPECT_EQ(FRecord.Translator, u"Eve");
    EXPECT_EQ(FRecord.HomePageURL, u"http://example.org/");
    EXPECT_EQ(FRecord.UpdateURL, u"http://example.org/update");
    EXPECT_EQ(FRecord.TargetPlatform, u"WINNT, Linux");
    EXPECT_EQ(FRecord.Compatibility, u"Firefox, Thunderbird");
    EXPECT_EQ(FRecord.Application, u"");
    ASSERT_EQ(FRecord.StringList().Count(), 2);
    EXPECT_EQ(FRecord.StringList()[0], base::Utf8ToUtf16(Firefox) + u"=1.5-2.0.*");
    EXPECT_EQ(FRecord.StringList()[1], base::Utf8ToUtf16(Thunderbird) + u"=1.0-3.*");
}

TEST_F(InstallRdf, CompactAttributeFormReadsTheSame)
{
    ASSERT_TRUE(Read("<RDF xmlns:em=\"http://www.mozilla.org/2004/em-rdf#\">\n"
                     "  <Description about=\"urn:mozilla:install-manifest\" em:id=\"addon@example.org\"\n"
                     "      em:name=\"Compact\" em:version=\"0.9\" em:type=\"4\" em:creator=\"Ann\">\n"
                     "    <em:targetApplication>\n"
                     "      <Description em:id=\"" + std::string(Firefox) + "\" em:minVersion=\"3.0\"\n"
                     "          em:maxVersion=\"3.6.*\"/>\n"
                     "    </em:targetApplication>\n"
                     "  </Description>\n</RDF>\n"));
    EXPECT_EQ(FRecord.ID, u"addon@example.org");
    EXPECT_EQ(FRecord.Name, u"Compact");
    EXPECT_EQ(FRecord.Version, u"0.9");
    EXPECT_EQ(FRecord.AddonType, u"Theme");
    EXPECT_EQ(FRecord.Creator, u"Ann");
    EXPECT_EQ(FRecord.Compatibility, u"Firefox");
    ASSERT_EQ(FRecord.StringList().Count(), 1);
    EXPECT_EQ(FRecord.StringList()[0], base::Utf8ToUtf16(Firefox) + u"=3.0-3.6.*");
}

TEST_F(InstallRdf, DescriptionNodeIsFoundByEitherSpelling)
{
    EXPECT_TRUE(Read(Manifest("<em:id>prefixed</em:id>", "RDF:Description")));
    EXPECT_EQ(FRecord.ID, u"prefixed");
    FRecord = TAddoscope();
    EXPECT_TRUE(Read(Manifest("<em:id>small</em:id><em:ID>capital</em:ID>", "description")));
    EXPECT_EQ(FRecord.ID, u"small"); // property names keep their letter case
    // Properties under another prefix are not ours.
    FRecord = TAddoscope();
    EXPECT_TRUE(Read(Manifest("<ns:id>other</ns:id><id>bare</id>")));
    EXPECT_EQ(FRecord.ID, u"");
}

TEST_F(InstallRdf, RepeatedProperties)
{
    ASSERT_TRUE(Read(Manifest("<em:name>First</em:name><em:name>Second</em:name>"
                              "<em:contributor>Bob</em:contributor><em:contributor></em:contributor>"
                              "<em:type>64</em:type>")));
    EXPECT_EQ(FRecord.Name, u"Second");
    EXPECT_EQ(FRecord.Contributor, u"Bob, ");
    EXPECT_EQ(FRecord.AddonType, u"Unknown");
    // Leading blanks of a value are kept, trailing ones are not.
    FRecord = TAddoscope();
    ASSERT_TRUE(Read(Manifest("<em:name>  Padded  </em:name>")));
    EXPECT_EQ(FRecord.Name, u"  Padded");
}

TEST_F(InstallRdf, TargetApplications)
{
    ASSERT_TRUE(Read(Manifest(TargetApplication(Firefox) + TargetApplication(Thunderbird) +
                              TargetApplication("{EC8030F7-C20A-464F-9B0E-13A3A9E97384}", "9", "9") +
                              TargetApplication("{00000000-0000-0000-0000-000000000000}") +
                              "<em:targetApplication>no description</em:targetApplication>")));
    EXPECT_EQ(FRecord.Compatibility, u"Firefox, Thunderbird");
    ASSERT_EQ(FRecord.StringList().Count(), 3); // the repeat is dropped, the unknown id kept
    EXPECT_EQ(FRecord.StringList()[0], base::Utf8ToUtf16(Firefox) + u"=1.5-2.0.*");
    EXPECT_EQ(FRecord.StringList()[2], u"{00000000-0000-0000-0000-000000000000}=1.5-2.0.*");
    // An attribute named em:targetApplication has nothing below it.
    FRecord = TAddoscope();
    ASSERT_TRUE(Read("<RDF><Description em:id=\"a\" em:targetApplication=\"" + std::string(Firefox) +
                     "\"/></RDF>"));
    EXPECT_EQ(FRecord.ID, u"a");
    EXPECT_EQ(FRecord.Compatibility, u"");
    EXPECT_EQ(FRecord.StringList().Count(), 0);
}

TEST_F(InstallRdf, TargetVersionsOfKnownApplications)
{
    ASSERT_TRUE(Read(Manifest("<em:id>x@example.org</em:id>" + TargetApplication(Thunderbird, "1.5", "") +
                              TargetApplication("postbox@postbox-inc.com", "1.0", "3.0") +
                              TargetApplication(Firefox, "", "3.6.*") + TargetApplication(Firefox, "9", "9") +
                              TargetApplication("{a23983c0-fd0e-11dc-95ff-0800200c9a66}", "1.0", "1.1") +
                              TargetApplication("{92650c4d-4b8e-4d2a-b7eb-24ecf4f6b63a}", "", ""))));
    EXPECT_EQ(FRecord.TargetVersions, u"Thunderbird >= 1.5, Firefox <= 3.6.*, Fennec 1.0 - 1.1");
    EXPECT_EQ(FRecord.Compatibility, u"Thunderbird, Firefox, Fennec, SeaMonkey");
    EXPECT_EQ(FRecord.ExtensionID, u"x@example.org"); // as ID
    // The manifest-only fields stay empty.
    EXPECT_EQ(FRecord.ManifestVersion + FRecord.Permissions + FRecord.Locales, u"");

    FRecord = TAddoscope();
    ASSERT_TRUE(Read(Manifest(TargetApplication(Firefox, "", ""))));
    EXPECT_EQ(FRecord.TargetVersions, u"");
    EXPECT_EQ(FRecord.ExtensionID, u"");
}

TEST_F(InstallRdf, TargetApplicationFirstQuirk)
{
    // The add-on's own description is spelled RDF:Description while its
    // target applications use Description: the search for "Description"
    // meets the application's first and reads it as the add-on.
    ASSERT_TRUE(Read(Manifest("<em:id>addon@example.org</em:id><em:name>Quirk</em:name>" +
                                  TargetApplication(Firefox),
                              "RDF:Description")));
    EXPECT_EQ(FRecord.ID, base::Utf8ToUtf16(Firefox));
    EXPECT_EQ(FRecord.Name, u"");
    EXPECT_EQ(FRecord.Compatibility, u"");
}

TEST_F(InstallRdf, WhatIsNotAManifestAnswersFalse)
{
    EXPECT_FALSE(Read("<RDF:RDF><Description><em:id>x</em:id></Description></RDF:RDF>"));
    EXPECT_EQ(FRecord.FileType, u"XML");
    EXPECT_EQ(FRecord.ID, u"");
    EXPECT_FALSE(Read("<rdf><Description><em:id>x</em:id></Description></rdf>"));
    EXPECT_FALSE(Read("<RDF><em:id>x</em:id></RDF>"));
    EXPECT_FALSE(Read(""));
    EXPECT_FALSE(Read("<?xml version=\"1.0\"?><!-- nothing -->"));
    EXPECT_FALSE(Read(std::string("\xFF\xFE\x00\x00<\x00\x00\x00", 8)));
    // Only XML descriptions are read; the kind is recorded either way.
    EXPECT_FALSE(Read(Manifest("<em:id>x</em:id>"), u"JSON"));
    EXPECT_EQ(FRecord.FileType, u"JSON");
    EXPECT_EQ(FRecord.ID, u"");
    EXPECT_TRUE(Read(Manifest("<em:id>x</em:id>"), u"xml"));
    EXPECT_EQ(FRecord.FileType, u"xml");
}

TEST_F(InstallRdf, DamagedAndEncodedManifests)
{
    // Cut off in the middle: what was read before the cut is used.
    const std::string whole = Manifest("<em:id>cut@example.org</em:id><em:name>Cut</em:name><em:version>1");
    ASSERT_TRUE(Read(whole.substr(0, whole.find("<em:version>") + 13)));
    EXPECT_EQ(FRecord.ID, u"cut@example.org");
    EXPECT_EQ(FRecord.Name, u"Cut");
    EXPECT_EQ(FRecord.Version, u"1");
    // UTF-16 with a byte-order mark, a name outside ASCII.
    const std::u16string text = base::Utf8ToUtf16(Manifest("<em:name>Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC</em:name>"));
    std::string bytes = "\xFF\xFE";
    for (const char16_t unit : text)
        bytes += std::string {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
    FRecord = TAddoscope();
    ASSERT_TRUE(Read(bytes));
    EXPECT_EQ(FRecord.Name, u"Gr\u00FC\u00DFe \u20AC");
}

TEST_F(InstallRdf, MalformedAttributesAndFloodsOfNodes)
{
    // An attribute without a quoted value is dropped: it neither replaces
    // the name before it nor adds an empty contributor.
    ASSERT_TRUE(Read("<RDF><Description em:name='A' em:name=B em:contributor=C ===== em:creator='D'/></RDF>"));
    EXPECT_EQ(FRecord.Name, u"A");
    EXPECT_EQ(FRecord.Contributor, u"");
    EXPECT_EQ(FRecord.Creator, u"D");
    // A flood of tiny nodes stops at the document's node limit; the
    // properties read before it count, the manifest is still read.
    std::string flood = "<RDF><Description em:id='flood@example.org'>";
    for (int i = 0; i < 300000; ++i)
        flood += "<a/>";
    flood += "<em:name>late</em:name></Description></RDF>";
    FRecord = TAddoscope();
    ASSERT_TRUE(Read(flood));
    EXPECT_EQ(FRecord.ID, u"flood@example.org");
    EXPECT_EQ(FRecord.Name, u"");
}
