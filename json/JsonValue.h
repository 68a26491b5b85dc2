#pragma once
// The JSON value tree: one node class per kind of value, the lookups the
// description readers make on it, and the errors the reader raises.
//
// A tree comes only from ParseJSONValue (json/JsonParser.h). The caller owns
// the root; every node reached from it is borrowed and lives exactly as long
// as the root. Trees are read-only once built.
#include "base/Exception.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace addoscope::json {

// ---- Errors ----------------------------------------------------------------

class EJSONException : public base::Exception {
public:
    using Exception::Exception;
};

// A fault found while parsing. The message is the fault's text followed by
// ". Path '%s', line %d, position %d (offset %d)".
class EJSONParseException : public EJSONException {
public:
    EJSONParseException(const std::string& text, int64_t offset, std::string path, int64_t line,
                        int64_t position);
    int64_t Offset() const { return FOffset; }
    const std::string& Path() const { return FPath; }
    int64_t Line() const { return FLine; }
    int64_t Position() const { return FPosition; }
    // The fault's own text, without the location.
    const std::string& Text() const { return FText; }

private:
    std::string FText;
    int64_t FOffset;
    std::string FPath;
    int64_t FLine;
    int64_t FPosition;
};

// A path expression that FindValue cannot read.
class EJSONPathException : public EJSONException {
public:
    using EJSONException::EJSONException;
};

// An index outside the valid range: "Argument out of range".
class EArgumentOutOfRangeException : public base::Exception {
public:
    EArgumentOutOfRangeException() : base::Exception("Argument out of range") {}
};

// A number whose literal text does not convert.
class EConvertError : public base::Exception {
public:
    using Exception::Exception;
};

// ---- Nodes -----------------------------------------------------------------

namespace detail {
class TJSONByteReader;
}

// Exact class of a node, for the walks that must not follow the bases.
enum class TJSONKind : uint8_t { jkString, jkNumber, jkBool, jkTrue, jkFalse, jkNull, jkObject, jkArray, jkPair };

class TJSONAncestor {
public:
    virtual ~TJSONAncestor() = default;
    TJSONAncestor(const TJSONAncestor&) = delete;
    TJSONAncestor& operator=(const TJSONAncestor&) = delete;

    TJSONKind Kind() const { return FKind; }
    bool Owned() const { return FOwned; }
    virtual bool IsNull() const { return false; }
    // The node's text form: the content of a string, the text of a number,
    // "true", "false" or "null"; empty for containers and pairs.
    virtual std::u16string Value() const { return {}; }

protected:
    explicit TJSONAncestor(TJSONKind kind) : FKind(kind) {}

private:
    bool FOwned = true;
    TJSONKind FKind;
};

class TJSONValue : public TJSONAncestor {
public:
    // The value reached from this node by a path such as a.b[2] or
    // ['app.name']; this node for an empty path; nullptr when the walk finds
    // nothing. A malformed path raises EJSONPathException, a negative index
    // on an array EArgumentOutOfRangeException.
    const TJSONValue* FindValue(std::u16string_view path) const;

protected:
    using TJSONAncestor::TJSONAncestor;
};

class TJSONString : public TJSONValue {
public:
    std::u16string Value() const override { return std::u16string(Text()); }
    bool IsNull() const override { return FIsNull; }
    // The stored text without a copy (the literal of a number).
    std::u16string_view Text() const { return std::u16string_view(FValue, FLength); }

protected:
    friend class detail::TJSONByteReader;
    friend class TJSONPair;
    // The text must fit in 32 bits of length; the reader sees to that.
    TJSONString(std::u16string_view value, TJSONKind kind = TJSONKind::jkString)
        : TJSONValue(kind), FLength(static_cast<uint32_t>(value.size())), FValue(value.data())
    {
    }

private:
    // Small fields first, so that they share the base's padding: a node is
    // three words.
    bool FIsNull = false;
    uint32_t FLength;
    const char16_t* FValue; // held by the tree's storage
};

// A number keeps its literal text exactly as read; Value() formats it
// (integers of more than 11 characters digit for digit, other numbers in
// the shortest form of at most 15 significant digits with the user's
// decimal separator). Raises EConvertError for a literal out of range.
class TJSONNumber : public TJSONString {
public:
    std::u16string Value() const override;

protected:
    friend class detail::TJSONByteReader;
    explicit TJSONNumber(std::u16string_view literal) : TJSONString(literal, TJSONKind::jkNumber) {}
};

// The text form of a number literal, as TJSONNumber::Value gives it.
std::u16string NumberText(std::u16string_view literal);

class TJSONBool : public TJSONValue {
public:
    bool AsBoolean() const { return FValue; }
    std::u16string Value() const override { return FValue ? u"true" : u"false"; }

protected:
    friend class detail::TJSONByteReader;
    TJSONBool(bool value, TJSONKind kind = TJSONKind::jkBool) : TJSONValue(kind), FValue(value) {}

private:
    bool FValue;
};

class TJSONTrue : public TJSONBool {
protected:
    friend class detail::TJSONByteReader;
    TJSONTrue() : TJSONBool(true, TJSONKind::jkTrue) {}
};

class TJSONFalse : public TJSONBool {
protected:
    friend class detail::TJSONByteReader;
    TJSONFalse() : TJSONBool(false, TJSONKind::jkFalse) {}
};

class TJSONNull : public TJSONValue {
public:
    bool IsNull() const override { return true; }
    std::u16string Value() const override { return u"null"; }

protected:
    friend class detail::TJSONByteReader;
    TJSONNull() : TJSONValue(TJSONKind::jkNull) {}
};

class TJSONPair : public TJSONAncestor {
public:
    // The member name; its Value() is the name text.
    const TJSONString& JsonString() const { return FJsonString; }
    const TJSONValue* JsonValue() const { return FJsonValue; }

private:
    friend class detail::TJSONByteReader;
    TJSONPair(std::u16string_view name, const TJSONValue* value)
        : TJSONAncestor(TJSONKind::jkPair), FJsonString(name), FJsonValue(value) {}

    TJSONString FJsonString;
    const TJSONValue* FJsonValue;
};

class TJSONObject : public TJSONValue {
public:
    // Number of members, repeated names included.
    int Count() const { return static_cast<int>(FCount); }
    // The member at a 0-based index in document order; raises
    // EArgumentOutOfRangeException outside 0..Count()-1.
    const TJSONPair& GetPair(int index) const;
    // Value of the first member whose name equals `name` code unit for code
    // unit; nullptr when there is none.
    const TJSONValue* GetValue(std::u16string_view name) const;

    const TJSONPair* begin() const { return FMembers; }
    const TJSONPair* end() const { return FMembers + FCount; }

protected:
    friend class detail::TJSONByteReader;
    TJSONObject() : TJSONValue(TJSONKind::jkObject) {}

private:
    const TJSONPair* FMembers = nullptr;
    uint32_t FCount = 0;
};

class TJSONArray : public TJSONValue {
public:
    int Count() const { return static_cast<int>(FCount); }
    // The element at a 0-based index; raises EArgumentOutOfRangeException
    // outside 0..Count()-1.
    const TJSONValue* Get(int index) const;

    const TJSONValue* const* begin() const { return FElements; }
    const TJSONValue* const* end() const { return FElements + FCount; }

protected:
    friend class detail::TJSONByteReader;
    TJSONArray() : TJSONValue(TJSONKind::jkArray) {}

private:
    const TJSONValue* const* FElements = nullptr;
    uint32_t FCount = 0;
};

// ---- Path expressions --------------------------------------------------------

// One step of a path: a member name (dot notation or quoted in brackets) or
// an array index.
struct TJSONPathStep {
    bool FIsIndex = false;
    std::u16string FName;
    int32_t FIndex = 0;
};

// Reads a path into its steps, as FindValue walks them. False for a path
// that can find nothing whatever the tree holds (one ending with "."); a
// malformed path raises EJSONPathException.
bool ParseJSONPath(std::u16string_view path, std::vector<TJSONPathStep>& steps);

// Whether the path is a single member name read exactly as it stands
// (nothing to step by, nothing trimmed): then FindValue with it is GetValue
// with it, and no steps need to be made.
bool IsPlainMemberPath(std::u16string_view path);

// Class tests that follow the bases: JsonIs<TJSONString> holds for numbers.
template <class T>
const T* JsonCast(const TJSONAncestor* node)
{
    return dynamic_cast<const T*>(node);
}
template <class T>
bool JsonIs(const TJSONAncestor* node)
{
    return dynamic_cast<const T*>(node) != nullptr;
}

} // namespace addoscope::json
