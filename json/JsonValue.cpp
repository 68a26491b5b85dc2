#include "json/JsonValue.h"

namespace addoscope::json {

EJSONParseException::EJSONParseException(const std::string& text, int64_t offset, std::string path, int64_t line,
                                         int64_t position)
    : EJSONException(text + base::FormatText(". Path '%s', line %lld, position %lld (offset %lld)", path.c_str(),
                                             static_cast<long long>(line), static_cast<long long>(position),
                                             static_cast<long long>(offset))),
      FText(text), FOffset(offset), FPath(std::move(path)), FLine(line), FPosition(position)
{
}

const TJSONPair& TJSONObject::GetPair(int index) const
{
    if (index < 0 || static_cast<uint32_t>(index) >= FCount)
        throw EArgumentOutOfRangeException();
    return FMembers[index];
}

const TJSONValue* TJSONObject::GetValue(std::u16string_view name) const
{
    for (const TJSONPair& pair : *this)
        if (pair.JsonString().Text() == name)
            return pair.JsonValue();
    return nullptr;
}

const TJSONValue* TJSONArray::Get(int index) const
{
    if (index < 0 || static_cast<uint32_t>(index) >= FCount)
        throw EArgumentOutOfRangeException();
    return FElements[index];
}

} // namespace addoscope::json
