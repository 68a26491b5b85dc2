// Fuzzes the JSON reader and the path look-up. The input is split at the
// first NUL byte: before it a path (UTF-8), after it the document. Inputs
// without a NUL are a document alone, looked up with a few fixed paths.
#include "base/Text.h"
#include "json/JsonParser.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

using namespace addoscope;

namespace {

void Touch(const json::TJSONValue* value)
{
    if (value == nullptr)
        return;
    try {
        (void)value->Value(); // numbers may refuse to convert
    } catch (const json::EConvertError&) {
    }
    if (const auto* object = json::JsonCast<json::TJSONObject>(value)) {
        for (const json::TJSONPair& pair : *object)
            (void)pair.JsonString().Value();
        if (object->Count() > 0)
            (void)object->GetValue(object->GetPair(object->Count() - 1).JsonString().Text());
    }
}

void Look(const json::TJSONValue& root, const std::u16string& path)
{
    try {
        Touch(root.FindValue(path));
    } catch (const json::EJSONPathException&) {
    } catch (const json::EArgumentOutOfRangeException&) {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const auto* split = static_cast<const uint8_t*>(std::memchr(data, 0, size));
    const uint8_t* document = split ? split + 1 : data;
    const size_t documentSize = size - static_cast<size_t>(document - data);

    const auto root = json::ParseJSONValue(std::span(document, documentSize));
    // The raising variant must agree on success and raise only parse faults.
    bool raised = false;
    try {
        json::ParseJSONValue(std::span(document, documentSize), 0, static_cast<int64_t>(documentSize),
                             json::TJSONParseOption::IsUTF8 | json::TJSONParseOption::RaiseExc);
    } catch (const json::EJSONParseException&) {
        raised = true;
    }
    if (raised != (root == nullptr))
        __builtin_trap();
    if (root == nullptr)
        return 0;
    Touch(root.get());
    if (split) {
        Look(*root, base::Utf8ToUtf16(std::string_view(reinterpret_cast<const char*>(data), split - data)));
    } else {
        for (const char16_t* path : {u"name", u"a.b", u"list[0]", u"['x.y'][1].z", u"[0]"})
            Look(*root, path);
    }
    return 0;
}
