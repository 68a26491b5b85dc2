#pragma once
// Reading a WebExtension manifest.json into the add-on record.
#include "base/Stream.h"
#include "json/JsonValue.h"
#include "package/Addoscope.h"

#include <string>
#include <string_view>

namespace addoscope::package {

// Fills Name, Description, Creator, Version, HomePageURL and UpdateURL from
// the top-level members "name", "description", "author", "version",
// "homepage_url" and "update_url", and the fields ReadWebExtensionFields
// reads, resolving message references through the messages stream when
// there is one. Both files may hold "//" comments. False when the manifest is empty, not
// JSON, not an object, or a reading error occurs (fields stored before the
// error stay). A messages stream that is not a JSON object is ignored. The
// streams stay the caller's.
bool ReadManifestJson(base::TStream& description, base::TStream* messages, TAddoscope& record);

// True when the member is named `key` and holds a simple value; `text` is
// then the value's text with message references resolved, else empty.
bool MatchSimplePair(const json::TJSONPair& member, const json::TJSONObject* messages, std::u16string_view key,
                     std::u16string& text);

// A number, a string, true, false or null.
bool IsSimpleValue(const json::TJSONValue* value);

} // namespace addoscope::package
