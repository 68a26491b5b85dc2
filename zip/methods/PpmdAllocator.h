#pragma once
// The PPMd model's memory: one arena split into a text area (the symbols
// seen, growing up from the start) and a units area (contexts and state
// lists in 12-byte units, handed out from both ends of the gap between
// LoUnit and HiUnit and recycled through 38 free lists of block sizes
// 1..128 units). When the gap is used up, free blocks are glued and split,
// and as a last resort units are taken from the top of the text area.
//
// The arena is allocated without being cleared, so a large model costs
// only the pages the model actually touches (large pages, when asked for,
// trade some of that for speed).
#include "zip/methods/PpmdLayout.h"

#include <array>
#include <cstdint>
#include <memory>

namespace addoscope::zip::ppmd {

constexpr unsigned NumIndexes = 38;

struct TUnitTables {
    std::array<uint8_t, NumIndexes> Indx2Units{};
    std::array<uint8_t, 128> Units2Indx{};
};

constexpr TUnitTables MakeUnitTables()
{
    TUnitTables t;
    unsigned k = 0;
    for (unsigned i = 0; i < NumIndexes; i++) {
        unsigned step = i >= 12 ? 4 : (i >> 2) + 1;
        do {
            t.Units2Indx[k++] = static_cast<uint8_t>(i);
        } while (--step);
        t.Indx2Units[i] = static_cast<uint8_t>(k);
    }
    return t;
}

inline constexpr TUnitTables UnitTables = MakeUnitTables();

inline unsigned I2U(unsigned indx) { return UnitTables.Indx2Units[indx]; }
inline unsigned U2I(unsigned nu) { return UnitTables.Units2Indx[nu - 1]; }
inline uint32_t U2B(uint32_t nu) { return nu * UnitSize; }

class TPpmdAllocator {
public:
    // size: the model memory in bytes (at most 256 MiB); largePages: the
    // model is expected to fill much of it (see platform::AllocateBlock).
    // Raises std::bad_alloc when the memory cannot be had.
    TPpmdAllocator(uint32_t size, bool largePages);
    TPpmdAllocator(const TPpmdAllocator&) = delete;
    TPpmdAllocator& operator=(const TPpmdAllocator&) = delete;

    uint8_t* Ptr(uint32_t ref) const { return FBase + ref; }
    uint32_t Ref(const uint8_t* p) const { return static_cast<uint32_t>(p - FBase); }
    uint32_t Size() const { return FSize; }
    uint8_t* HeapStart() const { return FHeapStart; }
    // One past the last byte a record may occupy.
    uint8_t* HeapEnd() const { return FHeapStart + FSize; }

    // Empties both areas: no free blocks, text at the start, units at 7/8.
    void Reset();

    uint8_t* AllocContext()
    {
        if (HiUnit != LoUnit)
            return HiUnit -= UnitSize;
        if (FFreeList[0] != 0)
            return RemoveNode(0);
        return AllocUnitsRare(0);
    }
    // A block of I2U(indx) units, or nullptr when memory is exhausted.
    uint8_t* AllocUnits(unsigned indx)
    {
        if (FFreeList[indx] != 0)
            return RemoveNode(indx);
        uint32_t numBytes = U2B(I2U(indx));
        if (numBytes <= static_cast<uint32_t>(HiUnit - LoUnit)) {
            uint8_t* p = LoUnit;
            LoUnit += numBytes;
            return p;
        }
        return AllocUnitsRare(indx);
    }
    void InsertNode(uint8_t* node, unsigned indx)
    {
        SetNodeStamp(node, EmptyStamp);
        SetNodeNext(node, FFreeList[indx]);
        SetNodeUnits(node, I2U(indx));
        FFreeList[indx] = Ref(node);
        FStamps[indx]++;
    }
    void FreeUnits(uint8_t* p, unsigned nu) { InsertNode(p, U2I(nu)); }
    // Frees one unit; the lowest unit of the units area goes back to the
    // text area instead.
    void SpecialFreeUnit(uint8_t* p);
    // Grows a block of oldNU units by one unit, moving it when its size
    // class changes; nullptr when memory is exhausted (the block is kept).
    uint8_t* ExpandUnits(uint8_t* oldPtr, unsigned oldNU);
    uint8_t* ShrinkUnits(uint8_t* oldPtr, unsigned oldNU, unsigned newNU);
    // Moves a block near the bottom of the units area into a free block
    // of its size class at a lower address, if there is one.
    uint8_t* MoveUnitsUp(uint8_t* oldPtr, unsigned nu);
    // Gives the free blocks at the bottom of the units area to the text area.
    void ExpandTextArea();
    uint32_t UsedMemory() const;

    uint8_t* Text = nullptr;
    uint8_t* UnitsStart = nullptr;
    uint8_t* LoUnit = nullptr;
    uint8_t* HiUnit = nullptr;
    uint32_t GlueCount = 0;

private:
    uint8_t* RemoveNode(unsigned indx)
    {
        uint8_t* node = Ptr(FFreeList[indx]);
        FFreeList[indx] = NodeNext(node);
        FStamps[indx]--;
        return node;
    }
    uint8_t* AllocUnitsRare(unsigned indx);
    void SplitBlock(uint8_t* p, unsigned oldIndx, unsigned newIndx);
    void GlueFreeBlocks();

    struct TBlockFree {
        void operator()(uint8_t* block) const;
    };
    std::unique_ptr<uint8_t, TBlockFree> FMemory;
    uint8_t* FBase = nullptr;
    uint8_t* FHeapStart = nullptr;
    uint32_t FSize = 0;
    std::array<uint32_t, NumIndexes> FFreeList{};
    std::array<uint32_t, NumIndexes> FStamps{};
};

} // namespace addoscope::zip::ppmd
