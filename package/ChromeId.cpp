#include "package/ChromeId.h"

#include "base/Budget.h"
#include "platform/Platform.h"

namespace addoscope::package {

namespace {

int Base64Value(char16_t c)
{
    if (c >= u'A' && c <= u'Z')
        return c - u'A';
    if (c >= u'a' && c <= u'z')
        return c - u'a' + 26;
    if (c >= u'0' && c <= u'9')
        return c - u'0' + 52;
    if (c == u'+')
        return 62;
    if (c == u'/')
        return 63;
    return -1;
}

} // namespace

std::u16string ChromeIdText(std::span<const uint8_t, ChromeIdBytes> id)
{
    std::u16string text;
    text.reserve(2 * ChromeIdBytes);
    for (const uint8_t byte : id) {
        text += static_cast<char16_t>(u'a' + (byte >> 4));
        text += static_cast<char16_t>(u'a' + (byte & 0x0F));
    }
    return text;
}

std::u16string ChromeIdOfKey(std::span<const uint8_t> key)
{
    platform::TSha256Digest digest;
    if (key.empty() || !platform::Sha256(key.data(), key.size(), digest))
        return {};
    return ChromeIdText(std::span<const uint8_t, ChromeIdBytes>(digest.data(), ChromeIdBytes));
}

bool DecodeBase64(std::u16string_view text, std::string& bytes)
{
    bytes.clear();
    bytes.reserve(text.size() / 4 * 3 + 3);
    uint32_t bits = 0;
    int held = 0;     // characters of the current group of four
    int padding = 0;  // "=" seen; only more "=" and blanks may follow
    for (const char16_t c : text) {
        base::BudgetTick();
        // Keys are often pasted broken over lines.
        if (c == u' ' || c == u'\t' || c == u'\n' || c == u'\r')
            continue;
        if (c == u'=') {
            // Padding completes a group of two or three characters.
            if (held + padding < 2 || held + padding >= 4)
                return false;
            ++padding;
            continue;
        }
        const int value = Base64Value(c);
        if (value < 0 || padding > 0)
            return false;
        bits = bits << 6 | static_cast<uint32_t>(value);
        if (++held == 4) {
            bytes += static_cast<char>(bits >> 16);
            bytes += static_cast<char>(bits >> 8);
            bytes += static_cast<char>(bits);
            bits = 0;
            held = 0;
        }
    }
    // A group of one character holds less than a byte.
    if (held == 1 || (padding > 0 && held + padding != 4))
        return false;
    if (held == 2) {
        bytes += static_cast<char>(bits >> 4);
    } else if (held == 3) {
        bytes += static_cast<char>(bits >> 10);
        bytes += static_cast<char>(bits >> 2);
    }
    return true;
}

std::u16string ChromeIdOfBase64Key(std::u16string_view base64)
{
    std::string key;
    if (!DecodeBase64(base64, key))
        return {};
    return ChromeIdOfKey(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(key.data()), key.size()));
}

} // namespace addoscope::package
