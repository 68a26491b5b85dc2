#pragma once
// Reading a JSON text into a value tree.
#include "json/JsonValue.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace addoscope::json {

enum class TJSONParseOption : uint8_t {
    IsUTF8 = 1,   // the bytes are UTF-8 (a leading byte-order mark is skipped)
    UseBool = 2,  // literals become TJSONBool instead of TJSONTrue / TJSONFalse
    RaiseExc = 4, // faults raise EJSONParseException instead of giving no value
    // "//" outside a string starts a comment that runs to the end of the
    // line, wherever whitespace may stand, as browsers read manifest.json
    // and messages.json. Off, the reader is strict JSON.
    LineComments = 8,
};

class TJSONParseOptions {
public:
    constexpr TJSONParseOptions() = default;
    constexpr TJSONParseOptions(TJSONParseOption option) : FBits(static_cast<uint8_t>(option)) {}
    constexpr TJSONParseOptions operator|(TJSONParseOptions other) const { return FromBits(FBits | other.FBits); }
    constexpr bool Contains(TJSONParseOption option) const { return (FBits & static_cast<uint8_t>(option)) != 0; }

private:
    static constexpr TJSONParseOptions FromBits(unsigned bits)
    {
        TJSONParseOptions result;
        result.FBits = static_cast<uint8_t>(bits);
        return result;
    }
    uint8_t FBits = 0;
};

constexpr TJSONParseOptions operator|(TJSONParseOption a, TJSONParseOption b)
{
    return TJSONParseOptions(a) | TJSONParseOptions(b);
}

// Nesting depth of arrays and objects that the reader accepts.
constexpr int MaxJSONNestingLevel = 512;

// Parses data[offset] .. data[aLength-1] as exactly one JSON value. The
// bytes are read in place and must stay valid only during the call. Answers
// the root, owned by the caller, or nullptr when the bytes are not exactly one
// complete value (or when offset/aLength lie outside the buffer). Without
// RaiseExc no fault of the text raises; exhausted memory still does.
std::unique_ptr<TJSONValue> ParseJSONValue(std::span<const uint8_t> data, int64_t offset, int64_t aLength,
                                           TJSONParseOptions options);

// The whole buffer as UTF-8.
inline std::unique_ptr<TJSONValue> ParseJSONValue(std::span<const uint8_t> data,
                                                  TJSONParseOptions options = TJSONParseOption::IsUTF8)
{
    return ParseJSONValue(data, 0, static_cast<int64_t>(data.size()), options);
}

} // namespace addoscope::json
