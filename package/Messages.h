#pragma once
// Localised message texts of a WebExtension: turning a manifest text such as
// "__MSG_extensionName__" into the message of the chosen locale.
#include "json/JsonValue.h"
#include "package/MessageIndex.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>

namespace addoscope::package {

// Resolves the message references of one reading. Messages are found
// through an index of the messages object, and each message is resolved
// once: repeated references cost a look-up.
//
// A reference stays as written when there are no messages, when it names
// none (a missing message, a name that is no valid path, a message that is
// not an object or has no "message" member), when a number in the message
// has no text form, and when the message would expand past the cap: the
// messages item's size in bytes taken as UTF-16 units, at least
// MessageTextFloor (Placeholders.h). Resolution never fails the reading.
class TMessageResolver {
public:
    // `messagesSize`: the size of the messages item in bytes.
    TMessageResolver(const json::TJSONObject* messages, int64_t messagesSize);
    TMessageResolver(const TMessageResolver&) = delete;
    TMessageResolver& operator=(const TMessageResolver&) = delete;

    std::u16string Resolve(const std::u16string& text);

private:
    // The text of a message object; none when it stays unresolved.
    std::optional<std::u16string> MessageText(const json::TJSONObject& message) const;

    const json::TJSONObject* FMessages;
    size_t FCap;
    std::unique_ptr<TMessageIndex> FIndex;
    std::unordered_map<const json::TJSONObject*, std::optional<std::u16string>> FResolved;
};

// A value's text; false for a number whose literal has no text form.
bool ValueText(const json::TJSONValue& value, std::u16string& text);

// One reference resolved with a resolver of its own.
std::u16string ResolveMessage(const json::TJSONObject* messages, const std::u16string& text,
                              int64_t messagesSize = 0);

} // namespace addoscope::package
