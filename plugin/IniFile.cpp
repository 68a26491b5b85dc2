#include "plugin/IniFile.h"

#include "base/Exception.h"
#include "base/FileStream.h"
#include "base/Text.h"
#include "base/Utf8.h"
#include "platform/Platform.h"

#include <algorithm>
#include <new>

namespace addoscope::plugin {

namespace {

// Not base::IsBlank: the profile format trims SPACE, TAB, VT and FF around
// names and values, and line ends never reach it.
bool IsProfileBlank(char16_t c)
{
    return c == u' ' || c == u'\t' || c == u'\v' || c == u'\f';
}

std::u16string_view Trim(std::u16string_view text)
{
    size_t begin = 0, end = text.size();
    while (begin < end && IsProfileBlank(text[begin]))
        ++begin;
    while (end > begin && IsProfileBlank(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

bool IsAscii(std::u16string_view text)
{
    return std::all_of(text.begin(), text.end(), [](char16_t c) { return c < 0x80; });
}

// Names are compared as the profile reader does, by the user's case rules;
// the common all-ASCII case needs no locale.
bool SameName(std::u16string_view a, std::u16string_view b)
{
    if (IsAscii(a) && IsAscii(b))
        return base::SameTextAscii(a, b);
    return platform::SameTextLocale(a, b);
}

std::u16string DecodeUtf16(std::string_view bytes, bool bigEndian)
{
    std::u16string text(bytes.size() / 2, u'\0');
    for (size_t i = 0; i < text.size(); ++i) {
        const auto first = static_cast<uint8_t>(bytes[2 * i]);
        const auto second = static_cast<uint8_t>(bytes[2 * i + 1]);
        text[i] = bigEndian ? static_cast<char16_t>((first << 8) | second)
                            : static_cast<char16_t>((second << 8) | first);
    }
    return text;
}

bool StartsWith(std::string_view bytes, std::string_view prefix)
{
    return bytes.substr(0, prefix.size()) == prefix;
}

// The value of the first line "key=value" of the first section named
// section, or false when there is none.
bool FindValue(std::u16string_view text, std::u16string_view section, std::u16string_view key,
               std::u16string_view& value)
{
    bool inSection = false;
    bool sectionSeen = false;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find_first_of(u"\r\n", pos);
        if (end == std::u16string_view::npos)
            end = text.size();
        const std::u16string_view line = Trim(text.substr(pos, end - pos));
        pos = end + 1;
        if (line.empty() || line[0] == u';')
            continue;
        if (line[0] == u'[') {
            if (sectionSeen)
                return false; // only the first section of that name counts
            const size_t close = line.find(u']');
            const std::u16string_view name =
                Trim(line.substr(1, close == std::u16string_view::npos ? std::u16string_view::npos : close - 1));
            inSection = SameName(name, section);
            sectionSeen = inSection;
            continue;
        }
        if (!inSection)
            continue;
        const size_t equals = line.find(u'=');
        const std::u16string_view lineKey = Trim(line.substr(0, equals));
        if (!SameName(lineKey, key))
            continue;
        value = equals == std::u16string_view::npos ? std::u16string_view() : Trim(line.substr(equals + 1));
        return true;
    }
    return false;
}

} // namespace

std::u16string DecodeIniBytes(std::string_view bytes)
{
    if (StartsWith(bytes, "\xFF\xFE"))
        return DecodeUtf16(bytes.substr(2), false);
    if (StartsWith(bytes, "\xFE\xFF"))
        return DecodeUtf16(bytes.substr(2), true);
    if (StartsWith(bytes, "\xEF\xBB\xBF"))
        return base::Utf8ToUtf16(bytes.substr(3));
    if (base::IsValidUtf8(bytes))
        return base::Utf8ToUtf16(bytes);
    return platform::AnsiToUnicode(bytes);
}

TIniFile TIniFile::LoadFromText(std::u16string_view text)
{
    TIniFile file;
    file.FText.assign(text);
    return file;
}

TIniFile TIniFile::LoadFromBytes(std::string_view bytes)
{
    TIniFile file;
    file.FText = DecodeIniBytes(bytes.substr(0, MaxFileBytes));
    return file;
}

TIniFile TIniFile::LoadFromFile(const std::u16string& fileName)
{
    std::string bytes;
    try {
        // Only regular files: opening a FIFO or a device could block.
        platform::TFindData found;
        if (!platform::FindFile(fileName, found))
            return {};
        base::TFileStream stream(fileName);
        const int64_t size = stream.Size();
        bytes.resize(static_cast<size_t>(std::clamp<int64_t>(size, 0, MaxFileBytes)));
        size_t done = 0;
        while (done < bytes.size()) {
            const int64_t n = stream.Read(bytes.data() + done, static_cast<int64_t>(bytes.size() - done));
            if (n <= 0)
                break;
            done += static_cast<size_t>(n);
        }
        bytes.resize(done);
    } catch (const base::Exception&) {
        // A settings file that cannot be opened or read counts as missing.
        return {};
    }
    return LoadFromBytes(bytes);
}

std::u16string TIniFile::ReadString(std::u16string_view section, std::u16string_view key,
                                    const std::u16string& defaultValue) const
{
    std::u16string_view value;
    if (!FindValue(FText, section, key, value))
        return defaultValue;
    if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') && value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    return std::u16string(value.substr(0, MaxValueLength));
}

} // namespace addoscope::plugin
