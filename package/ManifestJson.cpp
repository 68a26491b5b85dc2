#include "package/ManifestJson.h"

#include "base/Budget.h"
#include "base/MemoryStream.h"
#include "json/JsonParser.h"
#include "package/Messages.h"
#include "package/WebExtensionFields.h"

#include <iterator>
#include <memory>
#include <vector>

namespace addoscope::package {

namespace {

// The whole stream from its start, parsed as UTF-8 JSON with "//" comments,
// as Firefox and Chrome read manifests and messages; nullptr when it is no
// valid JSON.
std::unique_ptr<json::TJSONValue> ParseStream(base::TStream& stream)
{
    constexpr json::TJSONParseOptions options = json::TJSONParseOption::IsUTF8 | json::TJSONParseOption::LineComments;
    // The opener hands over memory streams: their bytes are parsed where
    // they lie rather than copied (up to 4 MiB) first.
    if (auto* memory = dynamic_cast<base::TMemoryStream*>(&stream))
        return json::ParseJSONValue(std::span<const uint8_t>(memory->Memory(), static_cast<size_t>(memory->Size())),
                                    options);
    const int64_t size = stream.Size();
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    stream.SetPosition(0);
    stream.ReadBuffer(bytes.data(), size);
    return json::ParseJSONValue(bytes, options);
}

struct TMemberField {
    std::u16string_view FKey;
    std::u16string TAddoscope::*FField;
};

const TMemberField MemberFields[] = {
    {u"name", &TAddoscope::Name},
    {u"description", &TAddoscope::Description},
    {u"author", &TAddoscope::Creator},
    {u"version", &TAddoscope::Version},
    {u"homepage_url", &TAddoscope::HomePageURL},
    {u"update_url", &TAddoscope::UpdateURL},
};

} // namespace

bool IsSimpleValue(const json::TJSONValue* value)
{
    if (value == nullptr)
        return false;
    switch (value->Kind()) {
    case json::TJSONKind::jkString:
    case json::TJSONKind::jkNumber:
    case json::TJSONKind::jkTrue:
    case json::TJSONKind::jkFalse:
    case json::TJSONKind::jkNull:
        return true;
    default:
        return false;
    }
}

bool MatchSimplePair(const json::TJSONPair& member, const json::TJSONObject* messages, std::u16string_view key,
                     std::u16string& text)
{
    text.clear();
    if (member.JsonString().Text() != key || !IsSimpleValue(member.JsonValue()))
        return false;
    text = ResolveMessage(messages, member.JsonValue()->Value());
    return true;
}

bool ReadManifestJson(base::TStream& description, base::TStream* messages, TAddoscope& record)
{
    try {
        if (description.Size() == 0)
            return false;
        const std::unique_ptr<json::TJSONValue> manifest = ParseStream(description);
        const auto* object = json::JsonCast<json::TJSONObject>(manifest.get());
        if (object == nullptr)
            return false;

        std::unique_ptr<json::TJSONValue> messagesTree;
        if (messages != nullptr) {
            try {
                messagesTree = ParseStream(*messages);
            } catch (...) {
                // An unreadable messages file only leaves references unresolved.
                messagesTree.reset();
            }
        }
        const auto* messagesObject = json::JsonCast<json::TJSONObject>(messagesTree.get());

        // Later members of a key overwrite earlier ones, so only the last
        // one of each key is resolved: a manifest that repeats a reference
        // many times costs one resolution per field. Numbers are turned
        // into text at their own place, since one without a text form ends
        // the reading there with the fields stored before it.
        TMessageResolver resolver(messagesObject, messages != nullptr ? messages->Size() : 0);
        const json::TJSONPair* kept[std::size(MemberFields)] = {};
        const auto storeKept = [&] {
            for (size_t field = 0; field < std::size(MemberFields); ++field)
                if (kept[field] != nullptr)
                    record.*MemberFields[field].FField = resolver.Resolve(kept[field]->JsonValue()->Value());
        };
        for (const json::TJSONPair& member : *object) {
            base::BudgetTick();
            for (size_t field = 0; field < std::size(MemberFields); ++field) {
                if (member.JsonString().Text() != MemberFields[field].FKey || !IsSimpleValue(member.JsonValue()))
                    continue;
                if (member.JsonValue()->Kind() == json::TJSONKind::jkNumber) {
                    try {
                        member.JsonValue()->Value();
                    } catch (...) {
                        storeKept();
                        throw;
                    }
                }
                kept[field] = &member;
                break;
            }
        }
        storeKept();
        ReadWebExtensionFields(*object, resolver, record);
        return true;
    } catch (...) {
        return false;
    }
}

} // namespace addoscope::package
