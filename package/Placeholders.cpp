#include "package/Placeholders.h"

#include "package/PlaceholderIndex.h"

#include "base/Budget.h"
#include "base/Text.h"
#include "platform/Platform.h"

#include <algorithm>
#include <cstring>

namespace addoscope::package {

using detail::LargestCap;
using detail::PatternOf;
using detail::TOutcome;

namespace {

// Work the direct form may spend (text units folded, compared and written)
// before the indexed form takes over. Real messages need a few hundred.
constexpr size_t DirectWorkLimit = 65536;
// Upper-cased copies of a text and a pattern for the case-blind search.
// Where the locale's upper-casing would change the length of either, both
// are folded in ASCII only, so that positions in the copies hold in the
// originals.
void FoldForSearch(std::u16string_view text, std::u16string_view pattern, std::u16string& foldedText,
                   std::u16string& foldedPattern)
{
    foldedText = platform::UpperCase(text);
    foldedPattern = platform::UpperCase(pattern);
    if (foldedText.size() != text.size() || foldedPattern.size() != pattern.size()) {
        foldedText.assign(text);
        foldedPattern.assign(pattern);
        for (char16_t& c : foldedText)
            c = base::AsciiUpper(c);
        for (char16_t& c : foldedPattern)
            c = base::AsciiUpper(c);
    }
}

// ---- Direct form -------------------------------------------------------------
//
// One pass over the whole text per placeholder: the plain algorithm, used
// while the text is short and the placeholders few. Occurrences are counted
// first, so that a text over the cap is never built.
// `text` is left as it was unless the outcome is Done.
TOutcome SubstituteDirect(std::u16string& text, const std::vector<TPlaceholderText>& placeholders, size_t cap,
                          size_t workLimit)
{
    if (text.size() > cap)
        return TOutcome::Exceeded;
    size_t work = 0;
    std::u16string foldedText, foldedPattern, result, current;
    // The text so far: the given one until a placeholder changes it.
    const std::u16string* so = &text;
    std::vector<size_t> found;
    for (const TPlaceholderText& placeholder : placeholders) {
        const std::u16string pattern = PatternOf(placeholder.FName);
        work += so->size() + pattern.size();
        if (work > workLimit)
            return TOutcome::Heavy;
        base::BudgetTick(static_cast<int64_t>(so->size() / 16 + 1));
        FoldForSearch(*so, pattern, foldedText, foldedPattern);

        // Every occurrence starts with "$": only there is the pattern
        // compared, each comparison counted at the pattern's length.
        const size_t length = foldedPattern.size();
        found.clear();
        for (size_t at = foldedText.find(u'$'); at != std::u16string::npos && length <= foldedText.size() - at;
             at = foldedText.find(u'$', at)) {
            work += length;
            if (work > workLimit)
                return TOutcome::Heavy;
            base::BudgetTick();
            if (foldedText.compare(at, length, foldedPattern) == 0) {
                found.push_back(at);
                at += length;
            } else {
                ++at;
            }
        }
        if (found.empty())
            continue;

        const size_t kept = so->size() - found.size() * length;
        const size_t content = placeholder.FContent.size();
        if (content != 0 && found.size() > (cap - kept) / content)
            return TOutcome::Exceeded;
        const size_t newLength = kept + found.size() * content;
        work += newLength;
        if (work > workLimit)
            return TOutcome::Heavy;
        base::BudgetTick(static_cast<int64_t>(newLength / 16 + found.size()));
        result.clear();
        result.reserve(newLength);
        size_t from = 0;
        for (const size_t at : found) {
            result.append(*so, from, at - from);
            result += placeholder.FContent;
            from = at + length;
        }
        result.append(*so, from, std::u16string::npos);
        current.swap(result);
        so = &current;
    }
    if (so == &current)
        text.swap(current);
    return TOutcome::Done;
}

} // namespace

size_t MessageTextCap(int64_t messagesBytes)
{
    if (messagesBytes <= static_cast<int64_t>(MessageTextFloor))
        return MessageTextFloor;
    return static_cast<size_t>(std::min<int64_t>(messagesBytes, static_cast<int64_t>(LargestCap)));
}

bool SubstitutePlaceholders(std::u16string& text, const std::vector<TPlaceholderText>& placeholders, size_t cap,
                            TSubstitution how, size_t workLimit)
{
    if (placeholders.empty())
        return text.size() <= cap;
    cap = std::min(cap, LargestCap);
    if (workLimit == 0)
        workLimit = SubstitutionWorkFactor * cap;
    if (how == TSubstitution::Direct)
        return SubstituteDirect(text, placeholders, cap, workLimit) == TOutcome::Done;
    TOutcome outcome = TOutcome::Heavy;
    if (how == TSubstitution::Automatic) {
        // The direct form may pass over the text a few times: a message
        // that is over the cap at its first placeholder is told so without
        // building an index.
        outcome = SubstituteDirect(text, placeholders, cap,
                                   std::min(workLimit, DirectWorkLimit + 4 * std::min(text.size(), cap)));
    }
    if (outcome == TOutcome::Heavy)
        outcome = detail::SubstituteIndexed(text, placeholders, cap, workLimit);
    // Where the case mapping would change lengths, only the direct form
    // knows what the plain algorithm does.
    if (outcome == TOutcome::NotExact)
        outcome = SubstituteDirect(text, placeholders, cap, workLimit);
    return outcome == TOutcome::Done;
}

} // namespace addoscope::package
