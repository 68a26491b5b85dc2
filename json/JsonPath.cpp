// Path expressions over a value tree: names in dot notation (a.b), quoted
// names and indexes in brackets (['a.b'], [2]).
#include "base/IntText.h"
#include "base/Text.h"
#include "json/JsonValue.h"

#include <vector>

namespace addoscope::json {

namespace {

enum class TJSONPathToken { Undefined, Name, ArrayIndex, Eof, Error };

std::string Utf8(std::u16string_view text)
{
    return base::Utf16ToUtf8(text);
}

class TJSONPathParser {
public:
    explicit TJSONPathParser(std::u16string_view path) : FPath(path) {}

    TJSONPathToken NextToken()
    {
        if (FToken == TJSONPathToken::Eof || FToken == TJSONPathToken::Error)
            return FToken;
        SkipBlanks();
        if (AtEnd())
            return FToken = TJSONPathToken::Eof;
        const char16_t c = FPath[FPos];
        if (FToken == TJSONPathToken::Undefined) {
            if (c == u'.')
                throw EJSONPathException("Unexpected char for root element: .");
            return FToken = c == u'[' ? ParseIndexer() : ParseName();
        }
        if (c == u'.') {
            ++FPos;
            if (AtEnd())
                return FToken = TJSONPathToken::Error;
            return FToken = ParseName();
        }
        if (c == u'[')
            return FToken = ParseIndexer();
        throw UnexpectedCharacter(c);
    }

    const std::u16string& TokenName() const { return FTokenName; }
    int32_t TokenArrayIndex() const { return FTokenIndex; }

private:
    bool AtEnd() const { return FPos >= FPath.size(); }

    void SkipBlanks()
    {
        while (!AtEnd() && base::IsSpaceOrControl(FPath[FPos]))
            ++FPos;
    }

    static EJSONPathException UnexpectedCharacter(char16_t c)
    {
        return EJSONPathException("Unexpected character while parsing indexer: " + Utf8(std::u16string_view(&c, 1)));
    }

    TJSONPathToken ParseName()
    {
        size_t first = FPos;
        while (!AtEnd() && FPath[FPos] != u'.' && FPath[FPos] != u'[')
            ++FPos;
        size_t last = FPos;
        while (first < last && base::IsSpaceOrControl(FPath[first]))
            ++first;
        while (last > first && base::IsSpaceOrControl(FPath[last - 1]))
            --last;
        if (first == last)
            throw EJSONPathException("Empty name not allowed in dot notation, use ['']");
        FTokenName.assign(FPath.substr(first, last - first));
        return TJSONPathToken::Name;
    }

    TJSONPathToken ParseIndexer()
    {
        ++FPos;
        SkipBlanks();
        if (AtEnd())
            throw EJSONPathException("Path ended with an open bracket");
        TJSONPathToken token;
        const char16_t quote = FPath[FPos];
        if (quote == u'\'' || quote == u'"') {
            ++FPos;
            FTokenName.clear();
            for (;;) {
                if (AtEnd())
                    throw EJSONPathException("Path ended with an open string");
                const char16_t c = FPath[FPos];
                if (c == u'\\' && FPos + 1 < FPath.size() && FPath[FPos + 1] == quote) {
                    FTokenName += quote;
                    FPos += 2;
                } else if (c == quote) {
                    ++FPos;
                    break;
                } else {
                    FTokenName += c;
                    ++FPos;
                }
            }
            token = TJSONPathToken::Name;
        } else {
            const size_t close = FPath.find(u']', FPos);
            if (close == std::u16string_view::npos)
                throw EJSONPathException("Path ended with an open bracket");
            size_t last = close;
            while (last > FPos && base::IsSpaceOrControl(FPath[last - 1]))
                --last;
            const std::u16string_view text = FPath.substr(FPos, last - FPos);
            if (!base::TryStrToInt(text, FTokenIndex))
                throw EJSONPathException("Invalid index for array: " + Utf8(text));
            FPos = close;
            token = TJSONPathToken::ArrayIndex;
        }
        SkipBlanks();
        if (AtEnd())
            throw EJSONPathException("Path ended with an open bracket");
        if (FPath[FPos] != u']')
            throw UnexpectedCharacter(FPath[FPos]);
        ++FPos;
        return token;
    }

    std::u16string_view FPath;
    size_t FPos = 0;
    TJSONPathToken FToken = TJSONPathToken::Undefined;
    std::u16string FTokenName;
    int32_t FTokenIndex = 0;
};

} // namespace

bool IsPlainMemberPath(std::u16string_view path)
{
    return !path.empty() && !base::IsSpaceOrControl(path.front()) && !base::IsSpaceOrControl(path.back()) &&
           path.find_first_of(u".[") == std::u16string_view::npos;
}

bool ParseJSONPath(std::u16string_view path, std::vector<TJSONPathStep>& steps)
{
    steps.clear();
    TJSONPathParser parser(path);
    for (;;) {
        const TJSONPathToken token = parser.NextToken();
        if (token == TJSONPathToken::Eof)
            return true;
        if (token == TJSONPathToken::Error)
            return false;
        TJSONPathStep& step = steps.emplace_back();
        step.FIsIndex = token == TJSONPathToken::ArrayIndex;
        if (step.FIsIndex)
            step.FIndex = parser.TokenArrayIndex();
        else
            step.FName = parser.TokenName();
    }
}

const TJSONValue* TJSONValue::FindValue(std::u16string_view path) const
{
    // The whole path is read before the walk, so a malformed path raises
    // whatever the tree holds.
    std::vector<TJSONPathStep> steps;
    if (!ParseJSONPath(path, steps))
        return nullptr;
    const TJSONValue* current = this;
    for (const TJSONPathStep& step : steps) {
        if (!step.FIsIndex) {
            if (current->Kind() != TJSONKind::jkObject)
                return nullptr;
            current = static_cast<const TJSONObject*>(current)->GetValue(step.FName);
        } else {
            if (current->Kind() != TJSONKind::jkArray)
                return nullptr;
            const auto* array = static_cast<const TJSONArray*>(current);
            if (step.FIndex >= array->Count())
                return nullptr;
            current = array->Get(step.FIndex); // a negative index raises here
        }
        if (current == nullptr)
            return nullptr;
    }
    return current;
}

} // namespace addoscope::json
