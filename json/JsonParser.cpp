// The JSON reader: one pass over the caller's bytes, building the tree in an
// arena owned by the root. Nesting is tracked on an explicit stack, so deep
// input costs heap, never call stack.
#include "json/JsonParser.h"

#include "base/Budget.h"
#include "base/IntText.h"
#include "base/Arena.h"
#include "base/Exception.h"
#include "base/Simd.h"
#include "base/Text.h"
#include "base/Utf8.h"
#include "json/JsonStringCache.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <optional>


namespace addoscope::json {
namespace detail {

namespace {

const char* const NotValidJSON = "The input value is not a valid JSON";

// The root node carries the arena that holds the rest of its tree.
class TArenaOwner {
public:
    std::unique_ptr<base::TArena> FArena;
};

template <class T>
class TRooted final : public T, public TArenaOwner {
public:
    template <class... TArgs>
    explicit TRooted(TArgs&&... args) : T(std::forward<TArgs>(args)...)
    {
    }
};

// Inputs above this size intern their member names.
constexpr int64_t InternThreshold = 1000000;

// Bytes a string takes over as they are: ASCII other than the quote and the
// backslash.
constexpr auto PlainStringByte = [] {
    std::array<bool, 256> table{};
    for (int c = 0; c < 0x80; ++c)
        table[c] = c != '"' && c != '\\';
    return table;
}();

constexpr auto BlankByte = [] {
    std::array<bool, 256> table{};
    for (int c = 0; c < 256; ++c)
        table[c] = base::IsBlank(static_cast<uint32_t>(c));
    return table;
}();

// Bytes that may start whitespace or a comment.
constexpr auto SkipStartByte = [] {
    std::array<bool, 256> table = BlankByte;
    table['/'] = true;
    return table;
}();

#ifdef ADDOSCOPE_SSE2
inline __m128i Load16(const uint8_t* p)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

inline __m128i Equal16(__m128i block, char c)
{
    return _mm_cmpeq_epi8(block, _mm_set1_epi8(c));
}
#endif

// The first byte from `p` on that `runByte` does not hold for. Runs are
// mostly long, so where the input has sixteen bytes left they are tested
// as a block: `blockStops` answers the bytes of the block that end the run
// (their top bits).
template <class TBlockStops>
const uint8_t* SkipRun(const uint8_t* p, const uint8_t* end, const std::array<bool, 256>& runByte,
                       [[maybe_unused]] TBlockStops blockStops)
{
#ifdef ADDOSCOPE_SSE2
    for (; end - p >= 16; p += 16) {
        const unsigned stops = static_cast<unsigned>(_mm_movemask_epi8(blockStops(Load16(p))));
        if (stops != 0)
            return p + std::countr_zero(stops);
    }
#endif
    while (p < end && runByte[*p])
        ++p;
    return p;
}

// The first byte from `p` on that a string does not take over as it is.
const uint8_t* SkipPlain(const uint8_t* p, const uint8_t* end)
{
    return SkipRun(p, end, PlainStringByte, [](auto block) {
#ifdef ADDOSCOPE_SSE2
        // A byte of 80 hex or above stops the run by its own top bit.
        return _mm_or_si128(_mm_or_si128(Equal16(block, '"'), Equal16(block, '\\')), block);
#else
        return block;
#endif
    });
}

// The first byte from `p` on that is no blank. Indents of pretty-printed
// files are runs of many blanks; one blank alone (after a colon) needs no
// block test.
const uint8_t* SkipBlanks(const uint8_t* p, const uint8_t* end)
{
    if (p < end && !BlankByte[*p])
        return p;
    if (end - p >= 2 && !BlankByte[p[1]])
        return p + 1;
    return SkipRun(p, end, BlankByte, [](auto block) {
#ifdef ADDOSCOPE_SSE2
        const __m128i blanks = _mm_or_si128(_mm_or_si128(Equal16(block, ' '), Equal16(block, '\n')),
                                            _mm_or_si128(Equal16(block, '\t'), Equal16(block, '\r')));
        return _mm_andnot_si128(blanks, _mm_set1_epi8(-128));
#else
        return block;
#endif
    });
}


// The reader's message for a malformed UTF-8 sequence; values beyond
// Unicode (F4 90 .. F7 BF) count as a bad lead byte.
std::string Utf8FaultText(const base::TUtf8Sequence& sequence)
{
    switch (sequence.Fault) {
    case base::TUtf8Fault::ufTooShort:
        return "UTF8: A start byte not followed by enough continuation bytes";
    case base::TUtf8Fault::ufContinuation:
        return base::FormatText("UTF8: An unexpected continuation byte in %d-byte UTF8", sequence.Length);
    case base::TUtf8Fault::ufLead:
    case base::TUtf8Fault::ufNone:
        break;
    }
    return "UTF8: Type cannot be determined out of header byte";
}

// One of the reader's stacks. Its first entries live inside the reader, so
// that a small text takes no heap for them; beyond those it doubles on the
// heap like a vector. The entries are plain values.
template <class T, size_t InlineCount>
class TReaderStack {
public:
    TReaderStack() = default;
    TReaderStack(const TReaderStack&) = delete;
    TReaderStack& operator=(const TReaderStack&) = delete;

    bool empty() const { return FSize == 0; }
    size_t size() const { return FSize; }
    size_t capacity() const { return FCapacity; }
    const T* data() const { return FData; }
    T& operator[](size_t index) { return FData[index]; }
    const T& operator[](size_t index) const { return FData[index]; }
    T& back() { return FData[FSize - 1]; }
    const T& back() const { return FData[FSize - 1]; }
    void push_back(const T& item) { FData[FSize++] = item; } // within capacity()
    void pop_back() { --FSize; }
    void resize(size_t size) { FSize = size; } // never beyond size()

    void reserve(size_t capacity)
    {
        if (capacity <= FCapacity)
            return;
        if (capacity > SIZE_MAX / sizeof(T))
            throw std::bad_alloc();
        auto grown = std::make_unique_for_overwrite<T[]>(capacity);
        std::memcpy(grown.get(), FData, FSize * sizeof(T));
        FHeap = std::move(grown);
        FData = FHeap.get();
        FCapacity = capacity;
    }

private:
    T FInline[InlineCount];
    std::unique_ptr<T[]> FHeap;
    T* FData = FInline;
    size_t FSize = 0;
    size_t FCapacity = InlineCount;
};

} // namespace

class TJSONByteReader {
public:
    TJSONByteReader(const uint8_t* data, const uint8_t* start, const uint8_t* end, TJSONParseOptions options)
        : FData(data), FDataStart(start), FPos(start), FDataEnd(end),
          FIsUTF8(options.Contains(TJSONParseOption::IsUTF8)),
          FUseBool(options.Contains(TJSONParseOption::UseBool)),
          FLineComments(options.Contains(TJSONParseOption::LineComments)),
          // A tree takes a few times the bytes of its text.
          FArena(std::make_unique<base::TArena>(std::clamp<size_t>(static_cast<size_t>(end - start) * 4, 4096,
                                                                 size_t(1) << 20))),
          FCache(end - start > InternThreshold)
    {
        // Small inputs do not pay for keying a hash they never use.
        if (FCache)
            FStringCache.emplace();
    }

    // The root of the whole text; raises EJSONParseException on a fault.
    std::unique_ptr<TJSONValue> Parse()
    {
        SkipWhitespace();
        ReadValue();
        while (!FFrames.empty())
            Step();
        // With comments, a scalar at the top may have one after it.
        if (FLineComments)
            SkipWhitespace();
        if (FPos != FDataEnd)
            Fail();
        FRootOwner->FArena = std::move(FArena);
        return std::move(FRoot);
    }

private:
    struct TFrame {
        TJSONValue* FNode;
        size_t FStart;       // first own entry in FPairs / FElements
        size_t FParentEntry; // own entry in the parent's list
        bool FIsObject;
    };
    struct TPendingPair {
        std::u16string_view FName;
        const TJSONValue* FValue;
    };

    // ---- Faults -----------------------------------------------------------

    [[noreturn]] void Raise(const uint8_t* at, const std::string& text, bool withPath)
    {
        base::BudgetTick((at - FDataStart) / 32);
        int64_t line = 1;
        const uint8_t* lineStart = FDataStart;
        for (const uint8_t* p = FDataStart; p < at; ++p)
            if (*p == '\n') {
                ++line;
                lineStart = p + 1;
            }
        throw EJSONParseException(text, at - FData, withPath ? PathText() : std::string(), line,
                                  at - lineStart + 1);
    }

    // A fault of structure at the reading position. A multi-byte character
    // there is checked first, so that broken UTF-8 is reported as such.
    [[noreturn]] void Fail()
    {
        if (FIsUTF8 && FPos < FDataEnd && *FPos >= 0x80) {
            char16_t units[2];
            const uint8_t* p = FPos;
            DecodeUtf8(p, units);
        }
        Raise(FPos, NotValidJSON, true);
    }

    std::string PathText() const
    {
        std::u16string path;
        auto addName = [&path](std::u16string_view name) {
            if (!path.empty())
                path += u'.';
            path += name;
        };
        auto addIndex = [&path](size_t index) {
            path += u'[';
            for (char c : std::to_string(index))
                path += static_cast<char16_t>(c);
            path += u']';
        };
        for (size_t i = 0; i < FFrames.size(); ++i) {
            const TFrame& frame = FFrames[i];
            const size_t count = (frame.FIsObject ? FPairs.size() : FElements.size()) - frame.FStart;
            size_t entry;
            if (i + 1 < FFrames.size())
                entry = FFrames[i + 1].FParentEntry;
            else if (!frame.FIsObject && !FAfterValue)
                entry = frame.FStart + count; // the element being read
            else if (count > 0)
                entry = frame.FStart + count - 1;
            else
                break;
            if (frame.FIsObject)
                addName(FPairs[entry].FName);
            else
                addIndex(entry - frame.FStart);
        }
        std::string result;
        for (char16_t c : path)
            result += c < 0x80 ? static_cast<char>(c) : '?';
        return result;
    }

    // ---- Building ---------------------------------------------------------

    // Appends to one of the reader's stacks, whose memory the budget counts.
    template <class TStack, class T>
    void Push(TStack& list, const T& item)
    {
        if (list.size() == list.capacity()) {
            list.reserve(std::max<size_t>(16, list.capacity() * 2));
            FStackCharge.Resize(static_cast<int64_t>(FFrames.capacity() * sizeof(TFrame) +
                                                     FPairs.capacity() * sizeof(TPendingPair) +
                                                     FElements.capacity() * sizeof(const TJSONValue*)));
        }
        list.push_back(item);
    }

    template <class T, class... TArgs>
    T* NewNode(TArgs&&... args)
    {
        if (FRoot == nullptr) {
            auto* root = new TRooted<T>(std::forward<TArgs>(args)...);
            FRoot.reset(root);
            FRootOwner = root;
            return root;
        }
        return ::new (FArena->Allocate(sizeof(T), alignof(T))) T(std::forward<TArgs>(args)...);
    }

    // Hands a finished or freshly opened value to the container being read.
    void Attach(const TJSONValue* value)
    {
        if (FFrames.empty())
            return; // the root, already held by FRoot
        if (FFrames.back().FIsObject)
            FPairs.back().FValue = value;
        else
            Push(FElements, value);
    }

    template <class T>
    void Open(bool isObject)
    {
        if (FLevel >= MaxJSONNestingLevel)
            Raise(FPos,
                  base::FormatText("The nesting level of JSON arrays / objects is greater than %d",
                                   MaxJSONNestingLevel),
                  false);
        ++FLevel;
        T* node = NewNode<T>();
        Attach(node);
        size_t parentEntry = 0;
        if (!FFrames.empty())
            parentEntry = FFrames.back().FIsObject ? FPairs.size() - 1 : FElements.size() - 1;
        Push(FFrames, TFrame{node, isObject ? FPairs.size() : FElements.size(), parentEntry, isObject});
        ++FPos;
        SkipWhitespace();
        FAfterValue = false;
    }

    void Close()
    {
        ++FPos;
        const TFrame frame = FFrames.back();
        if (frame.FIsObject) {
            const size_t count = FPairs.size() - frame.FStart;
            if (count > UINT32_MAX)
                throw std::bad_alloc();
            auto* object = static_cast<TJSONObject*>(frame.FNode);
            TJSONPair* members = FArena->AllocateArray<TJSONPair>(count);
            for (size_t i = 0; i < count; ++i) {
                const TPendingPair& pending = FPairs[frame.FStart + i];
                ::new (&members[i]) TJSONPair(pending.FName, pending.FValue);
            }
            object->FMembers = members;
            object->FCount = static_cast<uint32_t>(count);
            FPairs.resize(frame.FStart);
        } else {
            const size_t count = FElements.size() - frame.FStart;
            if (count > UINT32_MAX)
                throw std::bad_alloc();
            auto* array = static_cast<TJSONArray*>(frame.FNode);
            const TJSONValue** elements = FArena->AllocateArray<const TJSONValue*>(count);
            if (count > 0)
                std::memcpy(elements, FElements.data() + frame.FStart, count * sizeof(const TJSONValue*));
            array->FElements = elements;
            array->FCount = static_cast<uint32_t>(count);
            FElements.resize(frame.FStart);
        }
        FFrames.pop_back();
        --FLevel;
        // Containers take the whitespace after them; scalars leave it.
        SkipWhitespace();
        FAfterValue = true;
    }

    // ---- Grammar ----------------------------------------------------------

    void SkipWhitespace()
    {
        if (FPos < FDataEnd && !SkipStartByte[*FPos])
            return;
        const uint8_t* start = FPos;
        for (;;) {
            FPos = SkipBlanks(FPos, FDataEnd);
            if (!FLineComments || FPos == FDataEnd || FPos[0] != '/' || FDataEnd - FPos < 2 || FPos[1] != '/')
                break;
            const void* lineEnd = std::memchr(FPos + 2, '\n', static_cast<size_t>(FDataEnd - FPos - 2));
            FPos = lineEnd ? static_cast<const uint8_t*>(lineEnd) + 1 : FDataEnd;
        }
        // Runs of a few blanks are paid for by the step they belong to.
        if (FPos - start > 64)
            Work((FPos - start) / 32);
    }

    // Counts work for the budget. The units are handed over in batches, so
    // that the steps of small values need not look at the budget each time.
    void Work(int64_t units)
    {
        if ((FWork += units) >= WorkBatch) {
            base::BudgetTick(FWork);
            FWork = 0;
        }
    }

    bool Literal(const char* word, size_t length)
    {
        if (static_cast<size_t>(FDataEnd - FPos) < length || std::memcmp(FPos, word, length) != 0)
            return false;
        FPos += length;
        return true;
    }

    // One value at the reading position: a scalar is read whole, a container
    // is opened and filled by the following steps.
    void ReadValue()
    {
        if (FPos >= FDataEnd)
            Fail();
        switch (*FPos) {
        case '"':
            Attach(NewNode<TJSONString>(ReadStringValue()));
            break;
        case '-':
        case '0':
        case '1':
        case '2':
        case '3':
        case '4':
        case '5':
        case '6':
        case '7':
        case '8':
        case '9':
            ReadNumber();
            break;
        case '[':
            Open<TJSONArray>(false);
            return;
        case '{':
            Open<TJSONObject>(true);
            return;
        case 't':
            if (!Literal("true", 4))
                Fail();
            Attach(FUseBool ? static_cast<TJSONValue*>(NewNode<TJSONBool>(true)) : NewNode<TJSONTrue>());
            break;
        case 'f':
            if (!Literal("false", 5))
                Fail();
            Attach(FUseBool ? static_cast<TJSONValue*>(NewNode<TJSONBool>(false)) : NewNode<TJSONFalse>());
            break;
        case 'n':
            if (!Literal("null", 4))
                Fail();
            Attach(NewNode<TJSONNull>());
            break;
        default:
            Fail();
        }
        FAfterValue = true;
    }

    // One step inside the innermost open container: close it, or read its
    // next member or element.
    void Step()
    {
        Work(1);
        const bool isObject = FFrames.back().FIsObject;
        const uint8_t closing = isObject ? '}' : ']';
        if (FAfterValue) {
            SkipWhitespace();
            if (FPos >= FDataEnd)
                Fail();
            if (*FPos == closing) {
                Close();
                return;
            }
            if (*FPos != ',')
                Fail();
            ++FPos;
            SkipWhitespace();
            FAfterValue = false;
        } else if (FPos < FDataEnd && *FPos == closing) {
            Close();
            return;
        }
        if (isObject) {
            if (FPos >= FDataEnd || *FPos != '"')
                Fail();
            Push(FPairs, TPendingPair{ReadName(), nullptr});
            SkipWhitespace();
            if (FPos >= FDataEnd || *FPos != ':')
                Fail();
            ++FPos;
            SkipWhitespace();
        }
        ReadValue();
    }

    void ReadNumber()
    {
        const uint8_t* start = FPos;
        auto digits = [this] {
            const uint8_t* first = FPos;
            while (FPos < FDataEnd && *FPos >= '0' && *FPos <= '9')
                ++FPos;
            return FPos > first;
        };
        if (*FPos == '-' && ++FPos >= FDataEnd)
            Fail();
        if (*FPos == '0') {
            ++FPos;
            if (FPos < FDataEnd && *FPos >= '0' && *FPos <= '9')
                Fail();
        } else if (!digits()) {
            Fail();
        }
        if (FPos < FDataEnd && *FPos == '.') {
            ++FPos;
            if (!digits())
                Fail();
        }
        if (FPos < FDataEnd && (*FPos == 'e' || *FPos == 'E')) {
            ++FPos;
            if (FPos < FDataEnd && (*FPos == '+' || *FPos == '-'))
                ++FPos;
            if (!digits())
                Fail();
        }
        const size_t length = static_cast<size_t>(FPos - start);
        Work(static_cast<int64_t>(length / 32));
        char16_t* text = FArena->AllocateArray<char16_t>(length);
        base::WidenBytes(start, length, text);
        Attach(NewNode<TJSONNumber>(std::u16string_view(text, length)));
    }

    void ReserveChars(size_t extra)
    {
        if (FCharCapacity - FCharCount >= extra)
            return;
        // Texts with escapes or other than ASCII characters come here; the
        // buffer is made for the first of them.
        size_t capacity = std::max<size_t>(FCharCapacity, 16);
        while (capacity - FCharCount < extra)
            capacity *= 2;
        FCharCharge.Resize(static_cast<int64_t>(capacity * sizeof(char16_t)));
        auto grown = std::make_unique_for_overwrite<char16_t[]>(capacity);
        if (FCharCount > 0)
            std::memcpy(grown.get(), FCharData.get(), FCharCount * sizeof(char16_t));
        FCharData = std::move(grown);
        FCharCapacity = capacity;
    }

    void AddChar(char16_t unit)
    {
        ReserveChars(1);
        FCharData[FCharCount++] = unit;
    }

    // The string at the reading position as text held by the tree. Most
    // strings are plain ASCII; those go straight into the tree.
    std::u16string_view ReadStringValue()
    {
        const uint8_t* start = FPos + 1;
        const uint8_t* run = SkipPlain(start, FDataEnd);
        if (run == FDataEnd || *run != '"') {
            ReadString();
            return StoreText();
        }
        FPos = run + 1;
        const size_t length = static_cast<size_t>(run - start);
        if (length == 0)
            return {};
        Work(static_cast<int64_t>(length / 32));
        CheckLength(length);
        char16_t* text = FArena->AllocateArray<char16_t>(length);
        base::WidenBytes(start, length, text);
        return std::u16string_view(text, length);
    }

    // A member name. Large inputs share the texts of names met before.
    std::u16string_view ReadName()
    {
        if (!FCache)
            return ReadStringValue();
        ReadString();
        return StoreName();
    }

    // Texts keep their length in 32 bits.
    static void CheckLength(size_t length)
    {
        if (length > UINT32_MAX)
            throw std::bad_alloc();
    }

    // Collects the text of the string at the reading position in FCharData.
    void ReadString()
    {
        ++FPos;
        FCharCount = 0;
        // Plain runs are paid for by the step, like the strings without
        // escapes; each escape and character beyond ASCII counts.
        for (;;) {
            const uint8_t* run = SkipPlain(FPos, FDataEnd);
            if (run > FPos) {
                const size_t length = static_cast<size_t>(run - FPos);
                Work(static_cast<int64_t>(length / 32));
                ReserveChars(length);
                base::WidenBytes(FPos, length, FCharData.get() + FCharCount);
                FCharCount += length;
                FPos = run;
            }
            if (FPos >= FDataEnd)
                Fail();
            if (*FPos == '"') {
                ++FPos;
                return;
            }
            if (*FPos == '\\') {
                Work(1);
                ReadEscape();
            } else if (FIsUTF8) {
                // Words of other scripts are runs of multi-byte characters.
                do {
                    Work(1);
                    ReserveChars(2);
                    FCharCount += static_cast<size_t>(DecodeUtf8(FPos, FCharData.get() + FCharCount));
                } while (FPos < FDataEnd && *FPos >= 0x80);
            } else {
                Work(1);
                AddChar(*FPos++);
            }
        }
    }

    void ReadEscape()
    {
        ++FPos;
        if (FPos >= FDataEnd)
            Fail();
        char16_t unit;
        switch (*FPos) {
        case '"':
        case '/':
        case '\\':
            unit = *FPos;
            break;
        case 'b':
            unit = 0x08;
            break;
        case 'f':
            unit = 0x0C;
            break;
        case 'n':
            unit = 0x0A;
            break;
        case 'r':
            unit = 0x0D;
            break;
        case 't':
            unit = 0x09;
            break;
        case 'u': {
            unsigned value = 0;
            for (int i = 0; i < 4; ++i) {
                ++FPos;
                const int digit = FPos < FDataEnd ? base::HexDigitValue(*FPos) : -1;
                if (digit < 0)
                    Fail();
                value = value * 16 + static_cast<unsigned>(digit);
            }
            unit = static_cast<char16_t>(value);
            break;
        }
        default:
            Fail();
        }
        ++FPos;
        AddChar(unit);
    }

    // Decodes the multi-byte UTF-8 character at `p` into one or two UTF-16
    // units and moves `p` past it; a malformed sequence raises.
    int DecodeUtf8(const uint8_t*& p, char16_t* units)
    {
        // Overlong forms and encoded surrogates pass as the value they spell.
        const base::TUtf8Sequence sequence = base::DecodeUtf8(p, FDataEnd);
        if (sequence.Fault != base::TUtf8Fault::ufNone || sequence.BeyondUnicode())
            Raise(p + sequence.FaultOffset, Utf8FaultText(sequence), false);
        p += sequence.Length;
        return static_cast<int>(base::EncodeUtf16(sequence.CodePoint, units));
    }

    // The collected characters as text held by the tree.
    std::u16string_view StoreText()
    {
        if (FCharCount == 0)
            return {};
        CheckLength(FCharCount);
        char16_t* text = FArena->AllocateArray<char16_t>(FCharCount);
        std::memcpy(text, FCharData.get(), FCharCount * sizeof(char16_t));
        return std::u16string_view(text, FCharCount);
    }

    std::u16string_view StoreName()
    {
        if (!FCache || FCharCount == 0)
            return StoreText();
        return FStringCache->Intern(std::u16string_view(FCharData.get(), FCharCount), [this] { return StoreText(); });
    }

    const uint8_t* FData;
    const uint8_t* FDataStart;
    const uint8_t* FPos;
    const uint8_t* FDataEnd;
    bool FIsUTF8;
    bool FUseBool;
    bool FLineComments;
    bool FAfterValue = false;
    std::unique_ptr<base::TArena> FArena;
    std::unique_ptr<TJSONValue> FRoot; // holds what was built until the parse succeeds
    TArenaOwner* FRootOwner = nullptr;
    std::unique_ptr<char16_t[]> FCharData;
    size_t FCharCapacity = 0;
    size_t FCharCount = 0;
    int FLevel = 0;
    int64_t FWork = 0; // not yet handed to the budget
    static constexpr int64_t WorkBatch = 64;
    bool FCache;
    std::optional<TStringCache> FStringCache;
    TReaderStack<TFrame, 16> FFrames;
    TReaderStack<TPendingPair, 64> FPairs;
    TReaderStack<const TJSONValue*, 64> FElements;
    base::TBudgetCharge FStackCharge; // the three stacks above
    base::TBudgetCharge FCharCharge;  // FCharData
};

} // namespace detail

std::unique_ptr<TJSONValue> ParseJSONValue(std::span<const uint8_t> data, int64_t offset, int64_t aLength,
                                           TJSONParseOptions options)
{
    const bool raise = options.Contains(TJSONParseOption::RaiseExc);
    // A range outside the buffer leaves no bytes to read.
    if (data.empty() || offset < 0 || aLength <= offset || aLength > static_cast<int64_t>(data.size())) {
        if (raise)
            throw EJSONParseException(detail::NotValidJSON, std::max<int64_t>(offset, 0), std::string(), 1, 1);
        return nullptr;
    }
    const uint8_t* start = data.data() + offset;
    const uint8_t* end = data.data() + aLength;
    if (options.Contains(TJSONParseOption::IsUTF8) && end - start >= 3 && start[0] == 0xEF && start[1] == 0xBB &&
        start[2] == 0xBF)
        start += 3;
    detail::TJSONByteReader reader(data.data(), start, end, options);
    try {
        return reader.Parse();
    } catch (const EJSONParseException&) {
        if (raise)
            throw;
        return nullptr;
    }
}

} // namespace addoscope::json
