#pragma once
// The indexed form of placeholder substitution, for the messages whose
// direct substitution would cost too much: internal to the package reader.
#include "package/Placeholders.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace addoscope::package::detail {

// Lengths and offsets of the indexed form are 32-bit with a bit to spare,
// and the work bound, a few times the cap, fits a 32-bit size_t.
inline constexpr size_t LargestCap = size_t(1) << 28;

// Done: `text` holds the result. Exceeded: the cap or the work bound would
// be passed. Heavy: the direct form would cost too much. NotExact: the case
// mapping changes lengths, which only the direct form follows.
enum class TOutcome { Done, Exceeded, Heavy, NotExact };

// "$" + name + "$".
std::u16string PatternOf(std::u16string_view name);

// The substitution of SubstitutePlaceholders through an index of the
// text's "$"-separated segments: a pass costs its candidates, never the
// whole text. `text` is left unspecified unless the outcome is Done.
TOutcome SubstituteIndexed(std::u16string& text, const std::vector<TPlaceholderText>& placeholders, size_t cap,
                           size_t workLimit);

} // namespace addoscope::package::detail
