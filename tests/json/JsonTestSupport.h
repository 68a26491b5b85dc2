#pragma once
#include "json/JsonParser.h"

#include <memory>
#include <string_view>

namespace addoscope::json::test {

inline std::span<const uint8_t> Bytes(std::string_view text)
{
    return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

inline std::unique_ptr<TJSONValue> Parse(std::string_view text)
{
    return ParseJSONValue(Bytes(text));
}

// Parses with RaiseExc and answers the fault's message ("" when it parsed).
inline std::string FaultOf(std::string_view text)
{
    try {
        ParseJSONValue(Bytes(text), 0, static_cast<int64_t>(text.size()),
                       TJSONParseOption::IsUTF8 | TJSONParseOption::RaiseExc);
    } catch (const EJSONParseException& e) {
        return e.Text();
    }
    return {};
}

} // namespace addoscope::json::test
