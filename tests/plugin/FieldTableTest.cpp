#include "plugin/ContentPlugin.h"
#include "plugin/FieldTable.h"

#include <gtest/gtest.h>

#include <cstring>
#include <iterator>

using namespace addoscope::plugin;
using addoscope::package::TAddoscope;

TEST(FieldTable, StringFieldsInOrder)
{
    // The sixteen of old keep their places; the later ones follow them.
    const char* names[] = {"Type", "File Type", "ID", "Name", "Version", "Description", "Addon Type", "Creator",
                           "Contributor", "Developer", "Translator", "Homepage URL", "Update URL",
                           "Target Platform", "Application", "Compatibility", "Extension ID", "Manifest Version",
                           "Permissions", "Optional Permissions", "Default Locale", "Locales", "Target Versions"};
    static_assert(std::size(names) == FieldCount);
    for (int i = 0; i < FieldCount; ++i) {
        char name[64];
        char units[64];
        std::memset(units, 'x', sizeof(units));
        EXPECT_EQ(GetSupportedField(i, name, units, sizeof(name)), ft_stringw);
        EXPECT_STREQ(name, names[i]);
        EXPECT_STREQ(units, "");
    }
}

TEST(FieldTable, OutOfRangeIndexesWriteNothing)
{
    for (int32_t index : {23, -1, INT32_MIN, 1000}) {
        char name[8] = "keep";
        char units[8] = "keep";
        EXPECT_EQ(GetSupportedField(index, name, units, sizeof(name)), ft_nomorefields);
        EXPECT_STREQ(name, "keep");
        EXPECT_STREQ(units, "keep");
    }
}

TEST(FieldTable, AnsiCopiesAreCutToMaxlen)
{
    char name[8];
    std::memset(name, 'x', sizeof(name));
    EXPECT_EQ(GetSupportedField(0, name, name + 4, 3), ft_stringw);
    EXPECT_EQ(std::string(name, 3), std::string("Ty\0", 3));
    EXPECT_EQ(name[3], 'x');

    char detect[8];
    std::memset(detect, 'x', sizeof(detect));
    GetDetectString(detect, 4);
    EXPECT_EQ(std::string(detect, 5), std::string("ext\0x", 5));
    char full[128];
    GetDetectString(full, sizeof(full));
    EXPECT_STREQ(full, "ext=\"XPI\"|ext=\"CRX\"|ext=\"CRX3\"");
    GetDetectString(detect, 0); // nothing to write into
}

TEST(FieldTable, FieldTextPicksTheRecordField)
{
    TAddoscope record;
    record.SetupType = u"CRX3";
    record.Name = u"Name";
    record.Compatibility = u"Firefox";
    record.ExtensionID = u"id";
    record.TargetVersions = u"Gecko >= 1";
    EXPECT_EQ(FieldText(record, 0), u"CRX3");
    EXPECT_EQ(FieldText(record, 3), u"Name");
    EXPECT_EQ(FieldText(record, 15), u"Firefox");
    EXPECT_EQ(FieldText(record, 16), u"id");
    EXPECT_EQ(FieldText(record, 22), u"Gecko >= 1");
    EXPECT_EQ(FieldText(record, 23), u"");
    EXPECT_EQ(FieldText(record, -1), u"");
}

TEST(FieldTable, ValueCopyTruncatesAndNeverOverruns)
{
    const std::u16string text(5000, u'a');
    std::vector<char16_t> buffer(1100, u'#');
    CopyFieldValue(text, buffer.data(), 2048);
    EXPECT_EQ(std::u16string(buffer.data()).size(), 1022u);
    EXPECT_EQ(buffer[1023], u'#');

    // maxlen 4: only the terminating zero.
    char16_t small[4] = {u'#', u'#', u'#', u'#'};
    CopyFieldValue(u"hello", small, 4);
    EXPECT_EQ(small[0], u'\0');
    EXPECT_EQ(small[1], u'#');

    // Below 4 bytes nothing may land past maxlen.
    unsigned char bytes[4] = {0xAA, 0xAA, 0xAA, 0xAA};
    CopyFieldValue(u"hello", bytes, 1);
    EXPECT_EQ(bytes[0], 0xAA);
    CopyFieldValue(u"hello", bytes, 3);
    EXPECT_EQ(bytes[0], 0);
    EXPECT_EQ(bytes[1], 0);
    EXPECT_EQ(bytes[2], 0xAA);
    CopyFieldValue(u"hello", bytes, -8);

    // A short text fits whole.
    char16_t room[16];
    CopyFieldValue(u"ZIP ext", room, sizeof(room));
    EXPECT_EQ(std::u16string(room), u"ZIP ext");
}
