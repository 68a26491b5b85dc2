#pragma once
// Localised message texts of a WebExtension: turning a manifest text such as
// "__MSG_extensionName__" into the message of the chosen locale.
#include "json/JsonValue.h"

#include <string>

namespace addoscope::package {

// The text of the message the given manifest text refers to, with its
// placeholders filled in; the text itself when there are no messages, it
// refers to none, or the message is missing. The message name is read as a
// path, so a name that is no valid path raises EJSONPathException.
std::u16string ResolveMessage(const json::TJSONObject* messages, const std::u16string& text);

} // namespace addoscope::package
