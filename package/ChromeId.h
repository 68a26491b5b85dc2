#pragma once
// The extension ID Chrome gives a package: the first 16 bytes of the SHA-256
// of its DER SubjectPublicKeyInfo, each half-byte written as a letter from
// "a" (0) to "p" (15), high half first.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace addoscope::package {

inline constexpr size_t ChromeIdBytes = 16;

// The 32 letters of a 16-byte ID.
std::u16string ChromeIdText(std::span<const uint8_t, ChromeIdBytes> id);

// The ID of a public key (DER bytes); empty for an empty key or when the
// system cannot hash.
std::u16string ChromeIdOfKey(std::span<const uint8_t> key);

// The ID of a manifest's "key" member: the key in base64 (blanks and line
// breaks between the characters are allowed). Empty when the text is no
// base64.
std::u16string ChromeIdOfBase64Key(std::u16string_view base64);

// The bytes of base64 text, blanks and line breaks skipped; false for any
// other character, a misplaced "=" or a length that leaves a lone character.
bool DecodeBase64(std::u16string_view text, std::string& bytes);

} // namespace addoscope::package
