// Method 1, shrink: LZW whose code size (9 to 13 bits) is raised by the
// compressor with the control sequence 256,1, and whose full table is
// recycled by 256,2, which frees every code that no other code extends
// (the leaves of the string tree); freed codes are reused lowest first.
#include "zip/UnzipHelper.h"
#include "zip/ZipErrors.h"

#include <array>
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

struct TShrinkTable {
    std::vector<int16_t> Prefix = std::vector<int16_t>(TableSize, FreeSlot);
    std::vector<uint8_t> Suffix = std::vector<uint8_t>(TableSize, 0);
    int FreeCode = FirstFreeCode; // lowest unused code, TableSize when full

    TShrinkTable()
    {
        for (int c = 0; c < 256; ++c) {
            Prefix[c] = NoPrefix;
            Suffix[c] = static_cast<uint8_t>(c);
        }
    }

    bool InTable(int code) const { return code != ControlCode && Prefix[code] != FreeSlot; }

    void AdvanceFreeCode()
    {
        while (FreeCode < TableSize && Prefix[FreeCode] != FreeSlot)
            ++FreeCode;
    }

    void Add(int prefix, uint8_t suffix)
    {
        if (FreeCode >= TableSize)
            return;
        Prefix[FreeCode] = static_cast<int16_t>(prefix);
        Suffix[FreeCode] = suffix;
        ++FreeCode;
        AdvanceFreeCode();
    }

    // Frees every code that is not the prefix of another code in the table.
    void PartialClear()
    {
        std::vector<bool> isPrefix(TableSize, false);
        for (int c = FirstFreeCode; c < TableSize; ++c)
            if (Prefix[c] >= 0)
                isPrefix[static_cast<size_t>(Prefix[c])] = true;
        for (int c = FirstFreeCode; c < TableSize; ++c)
            if (!isPrefix[static_cast<size_t>(c)])
                Prefix[c] = FreeSlot;
        FreeCode = FirstFreeCode;
        AdvanceFreeCode();
    }

    // Writes the string of `code` backwards from the end of `stack`;
    // answers where it starts. Any chain that runs through a free code or
    // longer than the table can hold (a loop) is corrupt.
    size_t Expand(int code, std::array<uint8_t, TableSize>& stack) const
    {
        size_t start = stack.size();
        while (code >= FirstFreeCode) {
            if (start == 0 || Prefix[code] == FreeSlot)
                CorruptShrink("broken string chain");
            stack[--start] = Suffix[code];
            code = Prefix[code];
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
