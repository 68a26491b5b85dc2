// Method 1, shrink: LZW whose code size (9 to 13 bits) is raised by the
// compressor with the control sequence 256,1, and whose full table is
// recycled by 256,2, which frees every code that no other code extends
// (the leaves of the string tree); freed codes are reused lowest first.
#include "base/Budget.h"
#include "zip/methods/UnzipHelper.h"
#include "zip/ZipErrors.h"

#include <array>
#include <bit>
#include <memory>
#include <string>
#include <vector>

namespace addoscope::zip {

namespace {

constexpr int MinCodeSize = 9;
constexpr int MaxCodeSize = 13;
constexpr int TableSize = 1 << MaxCodeSize; // 8,192 codes
constexpr int ControlCode = 256;
constexpr int FirstFreeCode = 257;
constexpr int16_t NoPrefix = -1; // a literal
constexpr int16_t FreeSlot = -2; // a code not in the table

[[noreturn]] void CorruptShrink(const char* what)
{
    throw EZipException(std::string("Corrupt shrunk data: ") + what);
}

// The string table. Besides prefix and suffix it keeps, for every code,
// how many codes in the table extend it, the list of current leaves and a
// bitmap of free codes, so that a partial clear costs only the codes it
// frees and finding the lowest free code is a short word scan: a stream of
// clears cannot make the decoder crawl.
struct TShrinkTable {
    std::array<int16_t, TableSize> Prefix;
    std::array<uint8_t, TableSize> Suffix;
    std::array<uint16_t, TableSize> ChildCount{};
    std::array<int16_t, TableSize> LeafPos;
    std::vector<int16_t> Leaves;
    std::vector<int16_t> Cleared; // kept to spare an allocation per clear
    std::array<uint64_t, TableSize / 64> FreeBits{};
    int FreeCode = FirstFreeCode; // lowest unused code, TableSize when full

    TShrinkTable()
    {
        Prefix.fill(FreeSlot);
        Suffix.fill(0);
        LeafPos.fill(-1);
        for (int c = 0; c < 256; ++c) {
            Prefix[static_cast<size_t>(c)] = NoPrefix;
            Suffix[static_cast<size_t>(c)] = static_cast<uint8_t>(c);
        }
        for (int c = FirstFreeCode; c < TableSize; ++c)
            SetFree(c, true);
        Leaves.reserve(TableSize);
        Cleared.reserve(TableSize);
    }

    bool InTable(int code) const { return code != ControlCode && Prefix[static_cast<size_t>(code)] != FreeSlot; }

    void SetFree(int code, bool isFree)
    {
        const uint64_t bit = uint64_t{1} << (code % 64);
        if (isFree)
            FreeBits[static_cast<size_t>(code / 64)] |= bit;
        else
            FreeBits[static_cast<size_t>(code / 64)] &= ~bit;
    }

    int NextFree(int from) const
    {
        for (int word = from / 64; word < TableSize / 64; ++word) {
            uint64_t bits = FreeBits[static_cast<size_t>(word)];
            if (word == from / 64)
                bits &= ~uint64_t{0} << (from % 64);
            if (bits != 0)
                return word * 64 + std::countr_zero(bits);
        }
        return TableSize;
    }

    void AddLeaf(int code)
    {
        LeafPos[static_cast<size_t>(code)] = static_cast<int16_t>(Leaves.size());
        Leaves.push_back(static_cast<int16_t>(code));
    }

    void RemoveLeaf(int code)
    {
        const int16_t at = LeafPos[static_cast<size_t>(code)];
        const int16_t last = Leaves.back();
        Leaves[static_cast<size_t>(at)] = last;
        LeafPos[static_cast<size_t>(last)] = at;
        Leaves.pop_back();
        LeafPos[static_cast<size_t>(code)] = -1;
    }

    void Add(int prefix, uint8_t suffix)
    {
        if (FreeCode >= TableSize)
            return;
        const int code = FreeCode;
        Prefix[static_cast<size_t>(code)] = static_cast<int16_t>(prefix);
        Suffix[static_cast<size_t>(code)] = suffix;
        SetFree(code, false);
        // A code can be extended already: the previous code may have been
        // freed by a clear and its slot reused for this one.
        if (ChildCount[static_cast<size_t>(code)] == 0)
            AddLeaf(code);
        if (prefix >= FirstFreeCode && ChildCount[static_cast<size_t>(prefix)]++ == 0 &&
            LeafPos[static_cast<size_t>(prefix)] >= 0)
            RemoveLeaf(prefix);
        FreeCode = NextFree(code + 1);
    }

    // Frees every code that is not the prefix of another code in the table.
    // Codes that lose their last extension here become leaves for the next
    // clear, not this one.
    void PartialClear()
    {
        Cleared.clear();
        Cleared.swap(Leaves);
        base::BudgetTick(1 + static_cast<int64_t>(Cleared.size() / 16));
        for (const int16_t code : Cleared) {
            const int prefix = Prefix[static_cast<size_t>(code)];
            LeafPos[static_cast<size_t>(code)] = -1;
            Prefix[static_cast<size_t>(code)] = FreeSlot;
            SetFree(code, true);
            if (prefix >= FirstFreeCode && --ChildCount[static_cast<size_t>(prefix)] == 0 &&
                Prefix[static_cast<size_t>(prefix)] != FreeSlot && LeafPos[static_cast<size_t>(prefix)] < 0)
                AddLeaf(prefix);
        }
        FreeCode = NextFree(FirstFreeCode);
    }

    // Writes the string of `code` backwards from the end of `stack`;
    // answers where it starts. Any chain that runs through a free code or
    // longer than the table can hold (a loop) is corrupt.
    size_t Expand(int code, std::array<uint8_t, TableSize>& stack) const
    {
        size_t start = stack.size();
        base::BudgetTick(1);
        while (code >= FirstFreeCode) {
            if (start == 0 || Prefix[static_cast<size_t>(code)] == FreeSlot)
                CorruptShrink("broken string chain");
            stack[--start] = Suffix[static_cast<size_t>(code)];
            code = Prefix[static_cast<size_t>(code)];
        }
        if (code < 0 || code == ControlCode || start == 0)
            CorruptShrink("broken string chain");
        stack[--start] = static_cast<uint8_t>(code);
        return start;
    }
};

} // namespace

void TUnzipHelper::Unshrink()
{
    auto table = std::make_unique<TShrinkTable>();
    auto stack = std::make_unique<std::array<uint8_t, TableSize>>();
    int codeSize = MinCodeSize;
    int prev = -1;

    while (!OutputDone()) {
        base::BudgetTick();
        const int code = static_cast<int>(ReadBits(codeSize));
        if (!FBitSValid)
            break;
        if (code == ControlCode) {
            const int control = static_cast<int>(ReadBits(codeSize));
            if (!FBitSValid)
                break;
            if (control == 1) {
                if (++codeSize > MaxCodeSize)
                    CorruptShrink("code size above 13 bits");
            } else if (control == 2) {
                table->PartialClear();
            } else {
                CorruptShrink("unknown control code");
            }
            continue;
        }

        size_t start;
        if (table->InTable(code)) {
            start = table->Expand(code, *stack);
            if (prev >= 0)
                table->Add(prev, (*stack)[start]);
        } else if (prev >= 0 && code == table->FreeCode) {
            // The code being defined right now: the previous string
            // followed by its own first byte.
            start = table->Expand(prev, *stack);
            const uint8_t first = (*stack)[start];
            table->Add(prev, first);
            start = table->Expand(code, *stack);
        } else {
            CorruptShrink("code outside the table");
        }
        for (size_t i = start; i < stack->size() && !OutputDone(); ++i)
            PutByte((*stack)[i]);
        prev = code;
    }
}

} // namespace addoscope::zip
