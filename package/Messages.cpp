#include "package/Messages.h"

#include "base/Text.h"
#include "platform/Platform.h"

namespace addoscope::package {

namespace {

const std::u16string_view ReferenceMark = u"__MSG_";

// Replaces every occurrence of `pattern` in `text`, ignoring letter case, by
// `replacement`. The replacement is inserted as it is and never searched.
std::u16string ReplaceIgnoringCase(const std::u16string& text, const std::u16string& pattern,
                                   const std::u16string& replacement)
{
    std::u16string upperText = platform::UpperCase(text);
    std::u16string upperPattern = platform::UpperCase(pattern);
    // Positions found in the upper-cased copy must hold in the original.
    if (upperText.size() != text.size() || upperPattern.size() != pattern.size()) {
        upperText = text;
        upperPattern = pattern;
        for (char16_t& c : upperText)
            c = base::AsciiUpper(c);
        for (char16_t& c : upperPattern)
            c = base::AsciiUpper(c);
    }
    std::u16string result;
    size_t from = 0;
    for (size_t found; (found = upperText.find(upperPattern, from)) != std::u16string::npos;
         from = found + pattern.size()) {
        result.append(text, from, found - from);
        result += replacement;
    }
    result.append(text, from, std::u16string::npos);
    return result;
}

} // namespace

std::u16string ResolveMessage(const json::TJSONObject* messages, const std::u16string& text)
{
    if (messages == nullptr || text.empty() || text.find(ReferenceMark) == std::u16string::npos)
        return text;
    // "__MSG_" + name + "__": the text without its first 6 and last 2
    // characters. Too short a text names nothing.
    if (text.size() <= ReferenceMark.size() + 2)
        return text;
    const std::u16string name = text.substr(ReferenceMark.size(), text.size() - ReferenceMark.size() - 2);
    const auto* message = json::JsonCast<json::TJSONObject>(messages->FindValue(name));
    // A blank name is an empty path, which would reach the messages object
    // itself rather than a message.
    if (message == nullptr || message == messages)
        return text;
    const json::TJSONValue* messageText = message->GetValue(u"message");
    if (messageText == nullptr)
        return text;
    std::u16string result = messageText->Value();

    const auto* placeholders = json::JsonCast<json::TJSONObject>(message->GetValue(u"placeholders"));
    if (placeholders == nullptr)
        return result;
    for (const json::TJSONPair& placeholder : *placeholders) {
        const auto* body = json::JsonCast<json::TJSONObject>(placeholder.JsonValue());
        if (body == nullptr)
            continue;
        const json::TJSONValue* content = body->GetValue(u"content");
        if (content == nullptr)
            continue;
        std::u16string pattern(1, u'$');
        pattern += placeholder.JsonString().Text();
        pattern += u'$';
        result = ReplaceIgnoringCase(result, pattern, content->Value());
    }
    return result;
}

} // namespace addoscope::package
