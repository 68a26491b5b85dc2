#pragma once
// A read-only reader of profile (INI) files, answering values the way the
// Windows profile reader does for the cases that matter here: section and
// key names match case-insensitively, blanks around a value and one pair of
// enclosing quotes are removed, values are cut to 2047 characters, the first
// occurrence wins, and anything missing gives the caller's default.
#include <cstddef>
#include <string>
#include <string_view>

namespace addoscope::plugin {

class TIniFile {
public:
    // Longest value answered, as with a 2048-character buffer.
    static constexpr size_t MaxValueLength = 2047;
    // Only this much of a file is read: a settings file is tiny, and a huge
    // or foreign file must not cost the host memory or time.
    static constexpr size_t MaxFileBytes = 1 << 20;

    TIniFile() = default;

    // Reads a file; a missing or unreadable file reads as empty. Raises only
    // std::bad_alloc.
    static TIniFile LoadFromFile(const std::u16string& fileName);
    // Parses file bytes: UTF-16LE or UTF-16BE with a byte-order mark, else
    // UTF-8 (with or without one), else the ANSI code page.
    static TIniFile LoadFromBytes(std::string_view bytes);
    static TIniFile LoadFromText(std::u16string_view text);

    std::u16string ReadString(std::u16string_view section, std::u16string_view key,
                              const std::u16string& defaultValue) const;

private:
    // The decoded text, scanned on each read: a settings file is read for
    // two values, and keeping only the text bounds memory by the file cap.
    std::u16string FText;
};

// The file's bytes as text, by the encoding rules of LoadFromBytes.
std::u16string DecodeIniBytes(std::string_view bytes);

} // namespace addoscope::plugin
