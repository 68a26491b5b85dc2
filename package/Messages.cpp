#include "package/Messages.h"

#include "package/Placeholders.h"

#include <vector>

namespace addoscope::package {

namespace {

const std::u16string_view ReferenceMark = u"__MSG_";

} // namespace

bool ValueText(const json::TJSONValue& value, std::u16string& text)
{
    try {
        text = value.Value();
        return true;
    } catch (const json::EConvertError&) {
        return false;
    }
}

TMessageResolver::TMessageResolver(const json::TJSONObject* messages, int64_t messagesSize)
    : FMessages(messages), FCap(MessageTextCap(messagesSize))
{
}

std::u16string TMessageResolver::Resolve(const std::u16string& text)
{
    if (FMessages == nullptr || text.empty() || text.find(ReferenceMark) == std::u16string::npos)
        return text;
    // "__MSG_" + name + "__": the text without its first 6 and last 2
    // characters. Too short a text names nothing.
    if (text.size() <= ReferenceMark.size() + 2)
        return text;
    if (!FIndex)
        FIndex = std::make_unique<TMessageIndex>(*FMessages);
    const std::u16string_view name(text.data() + ReferenceMark.size(), text.size() - ReferenceMark.size() - 2);
    const auto* message = json::JsonCast<json::TJSONObject>(FIndex->Find(name));
    // A blank name is an empty path, which would reach the messages object
    // itself rather than a message.
    if (message == nullptr || message == FMessages)
        return text;
    auto known = FResolved.find(message);
    if (known == FResolved.end())
        known = FResolved.emplace(message, MessageText(*message)).first;
    return known->second ? *known->second : text;
}

std::optional<std::u16string> TMessageResolver::MessageText(const json::TJSONObject& message) const
{
    const json::TJSONValue* messageText = message.GetValue(u"message");
    std::u16string result;
    if (messageText == nullptr || !ValueText(*messageText, result))
        return std::nullopt;

    const auto* placeholders = json::JsonCast<json::TJSONObject>(message.GetValue(u"placeholders"));
    if (placeholders == nullptr)
        return result;
    std::vector<TPlaceholderText> replacements;
    for (const json::TJSONPair& placeholder : *placeholders) {
        base::BudgetTick();
        const auto* body = json::JsonCast<json::TJSONObject>(placeholder.JsonValue());
        if (body == nullptr)
            continue;
        const json::TJSONValue* content = body->GetValue(u"content");
        if (content == nullptr)
            continue;
        TPlaceholderText& replacement = replacements.emplace_back();
        replacement.FName = placeholder.JsonString().Text();
        if (!ValueText(*content, replacement.FContent))
            return std::nullopt;
    }
    if (!SubstitutePlaceholders(result, replacements, FCap))
        return std::nullopt;
    return result;
}

std::u16string ResolveMessage(const json::TJSONObject* messages, const std::u16string& text, int64_t messagesSize)
{
    return TMessageResolver(messages, messagesSize).Resolve(text);
}

} // namespace addoscope::package
