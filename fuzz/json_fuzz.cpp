// Fuzzes the JSON reader and the path look-up. The input is split at the
// first NUL byte: before it a path (UTF-8), after it the document. Inputs
// without a NUL are a document alone, looked up with a few fixed paths.
// Some documents are parsed once more padded with blanks past the size at
// which member names are interned: the tree must come out the same, and
// every name goes through a name table of its own as well.
#include "base/Text.h"
#include "json/JsonParser.h"
#include "json/JsonStringCache.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

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

// Kinds, names and texts of the whole tree in document order; every name
// also passes through `cache`, which must hand back the same text.
std::u16string Describe(const json::TJSONValue* root, json::detail::TStringCache& cache,
                        std::deque<std::u16string>& stored)
{
    std::u16string out;
    std::vector<const json::TJSONValue*> pending {root};
    while (!pending.empty()) {
        const json::TJSONValue* value = pending.back();
        pending.pop_back();
        out += static_cast<char16_t>(u'A' + static_cast<int>(value->Kind()));
        if (const auto* object = json::JsonCast<json::TJSONObject>(value)) {
            for (int i = object->Count() - 1; i >= 0; --i) {
                const std::u16string_view name = object->GetPair(i).JsonString().Text();
                const std::u16string_view interned = cache.Intern(name, [&] {
                    return std::u16string_view(stored.emplace_back(name));
                });
                if (interned != name)
                    __builtin_trap();
                out.append(u"<").append(name).append(u">");
                pending.push_back(object->GetPair(i).JsonValue());
            }
        } else if (const auto* array = json::JsonCast<json::TJSONArray>(value)) {
            out.push_back(u'[');
            out.push_back(static_cast<char16_t>(array->Count() & 0xFFFF));
            for (int i = array->Count() - 1; i >= 0; --i)
                pending.push_back(array->Get(i));
        } else if (const auto* text = json::JsonCast<json::TJSONString>(value)) {
            out.append(text->Text()).append(u"|");
        }
    }
    return out;
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
    // Strict JSON has no "//" outside strings: what parses strictly parses
    // the same with comments allowed.
    const auto commented = json::ParseJSONValue(std::span(document, documentSize),
                                                json::TJSONParseOption::IsUTF8 | json::TJSONParseOption::LineComments);
    if (root != nullptr && commented == nullptr)
        __builtin_trap();
    if (root == nullptr)
        return 0;
    Touch(root.get());
    const bool container = json::JsonCast<json::TJSONObject>(root.get()) || json::JsonCast<json::TJSONArray>(root.get());
    if (container && documentSize % 8 == 1) {
        std::vector<uint8_t> padded(document, document + documentSize);
        padded.resize(1000001 + documentSize, ' ');
        const auto large = json::ParseJSONValue(padded);
        std::deque<std::u16string> stored; // the cache keeps views of these: they may not move
        json::detail::TStringCache cache;
        if (!large || Describe(large.get(), cache, stored) != Describe(root.get(), cache, stored))
            __builtin_trap();
    }
    if (split) {
        Look(*root, base::Utf8ToUtf16(std::string_view(reinterpret_cast<const char*>(data), split - data)));
    } else {
        for (const char16_t* path : {u"name", u"a.b", u"list[0]", u"['x.y'][1].z", u"[0]"})
            Look(*root, path);
    }
    return 0;
}
