// The field-name translations beside the built plugin (Addoscope.lng), held
// against the field names the plugin itself reports through its exports.
#include "PluginLibrary.h"

#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

// The languages the file must cover, by the section names the hosts look
// for: Double Commander maps its interface language to these codes (cs to
// CZ, nl to DUT, pt_BR to PTG, zh_CN to CHN), the names of Total
// Commander's own language files.
const std::vector<std::string> Languages = {"DEU", "FRA", "ESP", "ITA", "POL", "RUS",
                                            "CZ",  "DUT", "PTG", "JPN", "CHN"};

// Long enough for "Piattaforma di destinazione", short enough for a header.
constexpr size_t LongestTranslation = 30;

struct TLine {
    int Number = 0;
    std::string Text;
};

struct TSection {
    int Count = 0; // how often the header occurs
    std::vector<TLine> Lines;
};

std::string LngBytes()
{
    std::ifstream file(std::string(ADDOSCOPE_BIN_DIR) + "/Addoscope.lng", std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// Lines without their CRLF ends; a line with another end is a failure.
std::vector<TLine> SplitCrlfLines(const std::string& bytes)
{
    std::vector<TLine> lines;
    size_t start = 0;
    int number = 1;
    while (start < bytes.size()) {
        const size_t lf = bytes.find('\n', start);
        if (lf == std::string::npos) {
            ADD_FAILURE() << "line " << number << " has no line end";
            break;
        }
        std::string text = bytes.substr(start, lf - start);
        if (text.empty() || text.back() != '\r')
            ADD_FAILURE() << "line " << number << " ends in LF alone";
        else
            text.pop_back();
        if (text.find('\r') != std::string::npos)
            ADD_FAILURE() << "line " << number << " holds a CR";
        lines.push_back({number++, text});
        start = lf + 1;
    }
    return lines;
}

std::map<std::string, TSection> Sections(const std::vector<TLine>& lines)
{
    std::map<std::string, TSection> sections;
    TSection* current = nullptr;
    for (const TLine& line : lines) {
        if (line.Text.empty() || line.Text[0] == ';')
            continue;
        if (line.Text.front() == '[' && line.Text.back() == ']') {
            current = &sections[line.Text.substr(1, line.Text.size() - 2)];
            ++current->Count;
        } else if (!current) {
            ADD_FAILURE() << "line " << line.Number << " stands before every section";
        } else {
            current->Lines.push_back(line);
        }
    }
    return sections;
}

std::vector<std::string> PluginFieldNames()
{
    TPluginLibrary plugin;
    std::vector<std::string> names;
    if (!plugin.GetSupportedField) {
        ADD_FAILURE() << "the plugin library does not load";
        return names;
    }
    char name[256];
    char units[256];
    for (int32_t i = 0; plugin.GetSupportedField(i, name, units, sizeof(name)) != 0; ++i)
        names.emplace_back(name);
    return names;
}

} // namespace

TEST(FieldNamesLng, IsUtf8WithCrlfLineEndsAndNoByteOrderMark)
{
    const std::string bytes = LngBytes();
    ASSERT_FALSE(bytes.empty()) << "no Addoscope.lng beside the plugin";
    EXPECT_NE(bytes.rfind("\xEF\xBB\xBF", 0), 0u);
    EXPECT_EQ(addoscope::base::Utf8ToUtf16(bytes).find(u'\uFFFD'), std::u16string::npos) << "not UTF-8";
    SplitCrlfLines(bytes);
}

TEST(FieldNamesLng, HasOneSectionPerLanguageAndNoOther)
{
    const auto sections = Sections(SplitCrlfLines(LngBytes()));
    for (const std::string& language : Languages) {
        const auto it = sections.find(language);
        EXPECT_TRUE(it != sections.end() && it->second.Count == 1) << "[" << language << "] not exactly once";
    }
    EXPECT_EQ(sections.size(), Languages.size());
}

// Each field name the plugin reports, once per section, with a translation
// that is neither empty nor padded nor too long for a column header.
TEST(FieldNamesLng, EverySectionTranslatesEveryFieldOnce)
{
    const std::vector<std::string> fields = PluginFieldNames();
    ASSERT_FALSE(fields.empty());
    for (const auto& [language, section] : Sections(SplitCrlfLines(LngBytes()))) {
        std::map<std::string, int> seen;
        for (const TLine& line : section.Lines) {
            const size_t equals = line.Text.find('=');
            if (equals == std::string::npos) {
                ADD_FAILURE() << "[" << language << "] line " << line.Number << " is no key=value line";
                continue;
            }
            const std::string key = line.Text.substr(0, equals);
            const std::string value = line.Text.substr(equals + 1);
            ++seen[key];
            const std::u16string wide = addoscope::base::Utf8ToUtf16(value);
            EXPECT_FALSE(value.empty() || value.front() == ' ' || value.back() == ' ' || key.back() == ' ')
                << "[" << language << "] line " << line.Number << ": empty or padded";
            EXPECT_LE(wide.size(), LongestTranslation) << "[" << language << "] " << key << "=" << value;
        }
        for (const std::string& field : fields)
            EXPECT_EQ(seen[field], 1) << "[" << language << "] " << field;
    }
}

TEST(FieldNamesLng, TranslatesNoNameThePluginDoesNotReport)
{
    const std::vector<std::string> fieldList = PluginFieldNames();
    const std::set<std::string> fields(fieldList.begin(), fieldList.end());
    ASSERT_FALSE(fields.empty());
    for (const auto& [language, section] : Sections(SplitCrlfLines(LngBytes()))) {
        std::ostringstream unknown;
        for (const TLine& line : section.Lines) {
            const std::string key = line.Text.substr(0, line.Text.find('='));
            if (!fields.count(key))
                unknown << " \"" << key << "\"";
        }
        EXPECT_TRUE(unknown.str().empty()) << "[" << language << "] not a field:" << unknown.str();
    }
}
