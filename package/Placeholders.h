#pragma once
// Filling in the placeholders of a localised message.
//
// Each placeholder in turn replaces every "$" + name + "$" of the text made
// so far by its content: letter case ignored, left to right, without
// overlaps, and without searching the content it has just inserted. A
// messages file can chain placeholders so that the text doubles at every
// one, or use thousands of them over a long text, so the substitution is
// bounded: the text may never grow past a cap, and the work past a fixed
// multiple of it. Within those bounds the result is exactly that of the
// plain sequential replacement.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace addoscope::package {

struct TPlaceholderText {
    std::u16string_view FName;
    std::u16string FContent;
};

// The longest text a message may expand to, in UTF-16 units: the size of
// the messages item in bytes (a file cannot spell out more text than it
// holds), but at least MessageTextFloor, so that the placeholders of a tiny
// file still have room.
inline constexpr size_t MessageTextFloor = 4096;
size_t MessageTextCap(int64_t messagesBytes);

// How the replacement is carried out. Automatic replaces directly while
// that stays cheap and moves to the indexed form when it would not; the
// other two force one form (for tests and benchmarks).
enum class TSubstitution { Automatic, Direct, Indexed };

// Replaces the placeholders of `text` in order. False when a text along
// the way would pass `cap` units, or the substitution would need more than
// `workLimit` units of work (SubstitutionWorkFactor * cap when 0; a unit is
// a light step, such as a segment visited or a few text units hashed):
// `text` is then unspecified and the caller shows the reference as written.
inline constexpr size_t SubstitutionWorkFactor = 4;
bool SubstitutePlaceholders(std::u16string& text, const std::vector<TPlaceholderText>& placeholders, size_t cap,
                            TSubstitution how = TSubstitution::Automatic, size_t workLimit = 0);

} // namespace addoscope::package
