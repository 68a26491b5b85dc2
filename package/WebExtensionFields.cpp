#include "package/WebExtensionFields.h"

#include "base/Budget.h"
#include "package/ChromeId.h"
#include "package/ManifestJson.h"
#include "package/StringList.h"

#include <iterator>
#include <string_view>

namespace addoscope::package {

namespace {

enum class TShape { Simple, String, Object, Array };

bool HasShape(const json::TJSONValue* value, TShape shape)
{
    switch (shape) {
    case TShape::Simple:
        return IsSimpleValue(value);
    case TShape::String:
        return value != nullptr && value->Kind() == json::TJSONKind::jkString;
    case TShape::Object:
        return json::JsonCast<json::TJSONObject>(value) != nullptr;
    case TShape::Array:
        return json::JsonCast<json::TJSONArray>(value) != nullptr;
    }
    return false;
}

// The top-level members read here, and the shape each must have.
enum TMember {
    mManifestVersion, mDefaultLocale, mPermissions, mHostPermissions, mOptionalPermissions,
    mOptionalHostPermissions, mBrowserSpecific, mApplications, mMinimumChrome, mKey, mMemberCount
};

const struct {
    std::u16string_view Name;
    TShape Shape;
} Members[mMemberCount] = {
    {u"manifest_version", TShape::Simple},
    {u"default_locale", TShape::Simple},
    {u"permissions", TShape::Array},
    {u"host_permissions", TShape::Array},
    {u"optional_permissions", TShape::Array},
    {u"optional_host_permissions", TShape::Array},
    {u"browser_specific_settings", TShape::Object},
    {u"applications", TShape::Object},
    {u"minimum_chrome_version", TShape::Simple},
    {u"key", TShape::String}, // base64, never a number
};

// The value of the last member of `object` named `name` that has the shape.
const json::TJSONValue* LastMember(const json::TJSONObject* object, std::u16string_view name, TShape shape)
{
    const json::TJSONValue* found = nullptr;
    if (object == nullptr)
        return found;
    for (const json::TJSONPair& member : *object) {
        base::BudgetTick();
        if (member.JsonString().Text() == name && HasShape(member.JsonValue(), shape))
            found = member.JsonValue();
    }
    return found;
}

const json::TJSONObject* LastObject(const json::TJSONObject* object, std::u16string_view name)
{
    return static_cast<const json::TJSONObject*>(LastMember(object, name, TShape::Object));
}

// The resolved text of a simple value; empty for none, and for a number
// whose literal has no text form.
std::u16string SimpleText(const json::TJSONValue* value, TMessageResolver& resolver)
{
    std::u16string text;
    if (value == nullptr || !ValueText(*value, text))
        return {};
    return resolver.Resolve(text);
}

void AddElements(const json::TJSONValue* array, TMessageResolver& resolver, TJoinedList& list)
{
    if (array == nullptr)
        return;
    for (const json::TJSONValue* element : *static_cast<const json::TJSONArray*>(array)) {
        base::BudgetTick();
        if (list.Full())
            return;
        if (!IsSimpleValue(element))
            continue;
        const std::u16string text = SimpleText(element, resolver);
        if (!text.empty())
            list.Add(text);
    }
}

void AddTarget(TAddoscope& record, std::u16string_view name, const json::TJSONObject* settings,
               TMessageResolver& resolver)
{
    if (settings == nullptr)
        return;
    const std::u16string versions =
        TargetVersionText(name, SimpleText(LastMember(settings, u"strict_min_version", TShape::Simple), resolver),
                          SimpleText(LastMember(settings, u"strict_max_version", TShape::Simple), resolver));
    if (!versions.empty())
        record.TargetVersions = JoinValue(std::move(record.TargetVersions), versions);
}

} // namespace

void ReadWebExtensionFields(const json::TJSONObject& manifest, TMessageResolver& resolver, TAddoscope& record)
{
    const json::TJSONValue* kept[mMemberCount] = {};
    for (const json::TJSONPair& member : manifest) {
        base::BudgetTick();
        const std::u16string_view name = member.JsonString().Text();
        for (size_t i = 0; i < std::size(Members); ++i) {
            if (name == Members[i].Name) {
                if (HasShape(member.JsonValue(), Members[i].Shape))
                    kept[i] = member.JsonValue();
                break;
            }
        }
    }

    record.ManifestVersion = SimpleText(kept[mManifestVersion], resolver);
    record.DefaultLocale = SimpleText(kept[mDefaultLocale], resolver);

    TJoinedList permissions;
    AddElements(kept[mPermissions], resolver, permissions);
    AddElements(kept[mHostPermissions], resolver, permissions);
    record.Permissions = permissions.Text();
    TJoinedList optional;
    AddElements(kept[mOptionalPermissions], resolver, optional);
    AddElements(kept[mOptionalHostPermissions], resolver, optional);
    record.OptionalPermissions = optional.Text();

    // Firefox reads its settings from browser_specific_settings, and from
    // the older applications member when that is missing.
    const auto* specific = static_cast<const json::TJSONObject*>(kept[mBrowserSpecific]);
    const auto* applications = static_cast<const json::TJSONObject*>(kept[mApplications]);
    const json::TJSONObject* specificGecko = LastObject(specific, u"gecko");
    const json::TJSONObject* applicationsGecko = LastObject(applications, u"gecko");

    std::u16string id = SimpleText(LastMember(specificGecko, u"id", TShape::Simple), resolver);
    if (id.empty())
        id = SimpleText(LastMember(applicationsGecko, u"id", TShape::Simple), resolver);
    if (id.empty()) {
        const std::u16string key = SimpleText(kept[mKey], resolver);
        if (!key.empty())
            id = ChromeIdOfBase64Key(key);
    }
    record.ExtensionID = std::move(id);

    const json::TJSONObject* android = LastObject(specific, u"gecko_android");
    if (android == nullptr)
        android = LastObject(applications, u"gecko_android");
    AddTarget(record, u"Gecko", specificGecko ? specificGecko : applicationsGecko, resolver);
    AddTarget(record, u"Firefox for Android", android, resolver);
    const std::u16string chrome = SimpleText(kept[mMinimumChrome], resolver);
    if (!chrome.empty())
        record.TargetVersions = JoinValue(std::move(record.TargetVersions), TargetVersionText(u"Chrome", chrome, {}));
}

} // namespace addoscope::package
