#include "plugin/IniFile.h"

#include <gtest/gtest.h>

#include <string>

using addoscope::plugin::DecodeIniBytes;
using addoscope::plugin::TIniFile;

namespace {

std::u16string Read(const TIniFile& file, std::u16string_view key, std::u16string_view section = u"Addoscope")
{
    return file.ReadString(section, key, u"<default>");
}

} // namespace

TEST(IniFile, NamesMatchWithoutCaseAndFirstOccurrenceWins)
{
    const TIniFile file = TIniFile::LoadFromText(u"Stray=before any section\n"
                                                 u"[Other]\n"
                                                 u"Key=other section\n"
                                                 u"; Key=comment\n"
                                                 u"  [ ADDOSCOPE ]  \r\n"
                                                 u"key = first\r\n"
                                                 u"KEY=second\r\n"
                                                 u"NoEquals\n"
                                                 u"Empty=\n"
                                                 u"[Addoscope]\n"
                                                 u"Later=second section of that name\n");
    EXPECT_EQ(Read(file, u"Key"), u"first");
    EXPECT_EQ(Read(file, u"kEy", u"addoscope"), u"first");
    EXPECT_EQ(Read(file, u"Key", u"other"), u"other section");
    EXPECT_EQ(Read(file, u"Empty"), u"");
    EXPECT_EQ(Read(file, u"NoEquals"), u"");
    EXPECT_EQ(Read(file, u"Missing"), u"<default>");
    EXPECT_EQ(Read(file, u"Stray"), u"<default>");
    EXPECT_EQ(Read(file, u"Key", u"Nowhere"), u"<default>");
    EXPECT_EQ(Read(file, u"Later"), u"<default>");
}

TEST(IniFile, ValuesLoseBlanksAndOnePairOfQuotes)
{
    const TIniFile file = TIniFile::LoadFromText(u"[Addoscope]\n"
                                                 u"A=\t  pt_BR \t\n"
                                                 u"B=  \"  fr  \"  \n"
                                                 u"C='de'\n"
                                                 u"D=\"\"x\"\"\n"
                                                 u"E=\"unbalanced\n"
                                                 u"F=\"mixed'\n"
                                                 u"G=\"\n"
                                                 u"H=a = b\n");
    EXPECT_EQ(Read(file, u"A"), u"pt_BR");
    EXPECT_EQ(Read(file, u"B"), u"  fr  ");
    EXPECT_EQ(Read(file, u"C"), u"de");
    EXPECT_EQ(Read(file, u"D"), u"\"x\"");
    EXPECT_EQ(Read(file, u"E"), u"\"unbalanced");
    EXPECT_EQ(Read(file, u"F"), u"\"mixed'");
    EXPECT_EQ(Read(file, u"G"), u"\"");
    EXPECT_EQ(Read(file, u"H"), u"a = b");
}

TEST(IniFile, LongValuesAreCut)
{
    const std::u16string text = u"[Addoscope]\nLong=\"" + std::u16string(5000, u'v') + u"\"\n";
    const std::u16string value = Read(TIniFile::LoadFromText(text), u"Long");
    EXPECT_EQ(value, std::u16string(TIniFile::MaxValueLength, u'v'));
}

TEST(IniFile, EncodingsByByteOrderMarkOrContent)
{
    // "[A]\nk=é€"
    const std::string utf8 = "[A]\nk=\xC3\xA9\xE2\x82\xAC";
    const std::u16string expected = u"[A]\nk=\u00e9\u20ac";
    EXPECT_EQ(DecodeIniBytes(utf8), expected);
    EXPECT_EQ(DecodeIniBytes("\xEF\xBB\xBF" + utf8), expected);

    std::string le = "\xFF\xFE", be = "\xFE\xFF";
    for (char16_t c : expected) {
        le += static_cast<char>(c & 0xFF), le += static_cast<char>(c >> 8);
        be += static_cast<char>(c >> 8), be += static_cast<char>(c & 0xFF);
    }
    EXPECT_EQ(DecodeIniBytes(le), expected);
    EXPECT_EQ(DecodeIniBytes(be), expected);
    EXPECT_EQ(DecodeIniBytes(le + "X"), expected); // a stray odd byte is dropped

    // Not UTF-8: the ANSI code page (0xE9 is é there).
    EXPECT_EQ(DecodeIniBytes("k=caf\xE9"), u"k=caf\u00e9");
    // Overlong and surrogate encodings are not UTF-8 either.
    EXPECT_EQ(DecodeIniBytes("\xC0\xAF"), u"\u00c0\u00af");
    EXPECT_EQ(DecodeIniBytes("\xED\xA0\x80"), u"\u00ed\u00a0\u20ac");

    const TIniFile file = TIniFile::LoadFromBytes(le);
    EXPECT_EQ(file.ReadString(u"a", u"K", u""), u"\u00e9\u20ac");
}

TEST(IniFile, BinaryAndOversizedInputStaysBounded)
{
    std::string junk;
    for (int i = 0; i < 100000; ++i)
        junk += static_cast<char>((i * 7919) % 251);
    const TIniFile binary = TIniFile::LoadFromBytes(junk + "\n[Addoscope]\nKey=found\n");
    EXPECT_EQ(binary.ReadString(u"Addoscope", u"Key", u""), u"found");

    std::string huge = "[Addoscope]\n";
    huge += std::string(TIniFile::MaxFileBytes, ' ');
    huge += "\nKey=beyond the cap\n";
    EXPECT_EQ(TIniFile::LoadFromBytes(huge).ReadString(u"Addoscope", u"Key", u"none"), u"none");
}
