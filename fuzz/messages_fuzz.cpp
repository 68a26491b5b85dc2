// Reads a manifest and a messages file, given as the input's two parts
// around its first NUL byte, through the manifest reader, and checks that
// the direct and the indexed placeholder substitution agree on every
// message of the messages file: in whether it fits, and in its text.
#include "base/Budget.h"
#include "base/MemoryStream.h"
#include "json/JsonParser.h"
#include "package/ManifestJson.h"
#include "package/Placeholders.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

using namespace addoscope;

void CompareForms(const json::TJSONObject& messages, size_t cap)
{
    for (const json::TJSONPair& pair : messages) {
        const auto* message = json::JsonCast<json::TJSONObject>(pair.JsonValue());
        if (message == nullptr)
            continue;
        const json::TJSONValue* text = message->GetValue(u"message");
        const auto* placeholders = json::JsonCast<json::TJSONObject>(message->GetValue(u"placeholders"));
        if (text == nullptr || placeholders == nullptr)
            continue;
        try {
            std::vector<package::TPlaceholderText> list;
            for (const json::TJSONPair& placeholder : *placeholders) {
                const auto* body = json::JsonCast<json::TJSONObject>(placeholder.JsonValue());
                const json::TJSONValue* content = body ? body->GetValue(u"content") : nullptr;
                if (content != nullptr)
                    list.push_back(package::TPlaceholderText{placeholder.JsonString().Text(), content->Value()});
            }
            // Work enough for either form on any input this size: only the
            // cap decides.
            const size_t work = size_t(1) << 26;
            std::u16string direct = text->Value(), indexed = direct;
            const bool directFits =
                package::SubstitutePlaceholders(direct, list, cap, package::TSubstitution::Direct, work);
            const bool indexedFits =
                package::SubstitutePlaceholders(indexed, list, cap, package::TSubstitution::Indexed, work);
            if (directFits != indexedFits || (directFits && direct != indexed))
                std::abort();
        } catch (const json::EConvertError&) {
            // A number without a text form: the message stays unresolved.
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const auto* split = static_cast<const uint8_t*>(std::memchr(data, 0, size));
    const size_t manifestSize = split ? static_cast<size_t>(split - data) : size;
    base::TMemoryStream manifest, messages;
    manifest.LoadFromBuffer(data, manifestSize);
    if (split)
        messages.LoadFromBuffer(split + 1, size - manifestSize - 1);
    package::TAddoscope record;
    try {
        package::ReadManifestJson(manifest, split ? &messages : nullptr, record);
        if (split) {
            const auto tree =
                json::ParseJSONValue(std::span(split + 1, size - manifestSize - 1));
            if (const auto* object = json::JsonCast<json::TJSONObject>(tree.get()))
                CompareForms(*object, package::MessageTextCap(static_cast<int64_t>(size - manifestSize - 1)));
        }
    } catch (const std::exception&) {
    }
    return 0;
}
