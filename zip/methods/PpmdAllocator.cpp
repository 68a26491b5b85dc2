#include "zip/methods/PpmdAllocator.h"

#include "platform/Memory.h"

#include <new>

namespace addoscope::zip::ppmd {

void TPpmdAllocator::TBlockFree::operator()(uint8_t* block) const
{
    platform::FreeBlock(block);
}

TPpmdAllocator::TPpmdAllocator(uint32_t size, bool largePages) : FSize(size)
{
    // One zeroed unit before the heap, so that the offset 0 ("none") still
    // names readable memory, and one after it, whose zero stamp ends every
    // walk over neighbouring free blocks.
    FMemory.reset(static_cast<uint8_t*>(platform::AllocateBlock(size_t(size) + 2 * UnitSize, largePages)));
    if (!FMemory)
        throw std::bad_alloc();
    FBase = FMemory.get();
    FHeapStart = FBase + UnitSize;
    std::memset(FBase, 0, UnitSize);
    std::memset(FHeapStart + size, 0, UnitSize);
    Reset();
}

void TPpmdAllocator::Reset()
{
    FFreeList.fill(0);
    FStamps.fill(0);
    Text = FHeapStart;
    HiUnit = FHeapStart + FSize;
    LoUnit = UnitsStart = HiUnit - FSize / 8 / UnitSize * 7 * UnitSize;
    GlueCount = 0;
}

void TPpmdAllocator::SplitBlock(uint8_t* p, unsigned oldIndx, unsigned newIndx)
{
    unsigned nu = I2U(oldIndx) - I2U(newIndx);
    p += U2B(I2U(newIndx));
    unsigned i = U2I(nu);
    if (I2U(i) != nu) {
        unsigned k = I2U(--i);
        InsertNode(p + U2B(k), nu - k - 1);
    }
    InsertNode(p, i);
}

void TPpmdAllocator::GlueFreeBlocks()
{
    GlueCount = 1u << 13;
    FStamps.fill(0);
    // A zero stamp at the gap stops the merging below at its edge; the
    // unit after the heap stops it at the top.
    if (LoUnit != HiUnit)
        SetNodeStamp(LoUnit, 0);

    // Chain every free block into one list (in free-list order), merging
    // each with the free blocks that directly follow it.
    uint32_t head = 0;
    uint8_t* tail = nullptr;
    uint8_t* const end = HeapEnd();
    for (unsigned i = 0; i < NumIndexes; i++) {
        uint32_t next = FFreeList[i];
        FFreeList[i] = 0;
        while (next != 0) {
            uint8_t* node = Ptr(next);
            next = NodeNext(node);
            uint32_t nu = NodeUnits(node);
            if (nu == 0)
                continue;
            if (tail)
                SetNodeNext(tail, Ref(node));
            else
                head = Ref(node);
            tail = node;
            for (;;) {
                uint8_t* after = node + U2B(nu);
                if (after >= end || NodeStamp(after) != EmptyStamp || NodeUnits(after) == 0)
                    break;
                nu += NodeUnits(after);
                SetNodeUnits(after, 0);
            }
            SetNodeUnits(node, nu);
        }
    }
    if (tail)
        SetNodeNext(tail, 0);

    // Hand the merged blocks out again in size classes.
    while (head != 0) {
        uint8_t* node = Ptr(head);
        head = NodeNext(node);
        uint32_t nu = NodeUnits(node);
        if (nu == 0)
            continue;
        for (; nu > 128; nu -= 128, node += U2B(128))
            InsertNode(node, NumIndexes - 1);
        unsigned i = U2I(nu);
        if (I2U(i) != nu) {
            unsigned k = I2U(--i);
            InsertNode(node + U2B(k), nu - k - 1);
        }
        InsertNode(node, i);
    }
}

uint8_t* TPpmdAllocator::AllocUnitsRare(unsigned indx)
{
    if (GlueCount == 0) {
        GlueFreeBlocks();
        if (FFreeList[indx] != 0)
            return RemoveNode(indx);
    }
    unsigned i = indx;
    do {
        if (++i == NumIndexes) {
            uint32_t numBytes = U2B(I2U(indx));
            GlueCount--;
            if (static_cast<uint32_t>(UnitsStart - Text) > numBytes)
                return UnitsStart -= numBytes;
            return nullptr;
        }
    } while (FFreeList[i] == 0);
    uint8_t* p = RemoveNode(i);
    SplitBlock(p, i, indx);
    return p;
}

void TPpmdAllocator::SpecialFreeUnit(uint8_t* p)
{
    if (p != UnitsStart)
        InsertNode(p, 0);
    else
        UnitsStart += UnitSize;
}

uint8_t* TPpmdAllocator::ExpandUnits(uint8_t* oldPtr, unsigned oldNU)
{
    unsigned i0 = U2I(oldNU);
    unsigned i1 = U2I(oldNU + 1);
    if (i0 == i1)
        return oldPtr;
    uint8_t* p = AllocUnits(i1);
    if (p) {
        std::memcpy(p, oldPtr, U2B(oldNU));
        InsertNode(oldPtr, i0);
    }
    return p;
}

uint8_t* TPpmdAllocator::ShrinkUnits(uint8_t* oldPtr, unsigned oldNU, unsigned newNU)
{
    unsigned i0 = U2I(oldNU);
    unsigned i1 = U2I(newNU);
    if (i0 == i1)
        return oldPtr;
    if (FFreeList[i1] != 0) {
        uint8_t* p = RemoveNode(i1);
        std::memcpy(p, oldPtr, U2B(newNU));
        InsertNode(oldPtr, i0);
        return p;
    }
    SplitBlock(oldPtr, i0, i1);
    return oldPtr;
}

uint8_t* TPpmdAllocator::MoveUnitsUp(uint8_t* oldPtr, unsigned nu)
{
    unsigned indx = U2I(nu);
    if (oldPtr > UnitsStart + 16 * 1024 || Ref(oldPtr) > FFreeList[indx])
        return oldPtr;
    uint8_t* p = RemoveNode(indx);
    std::memcpy(p, oldPtr, U2B(nu));
    if (oldPtr != UnitsStart)
        InsertNode(oldPtr, indx);
    else
        UnitsStart += U2B(I2U(indx));
    return p;
}

void TPpmdAllocator::ExpandTextArea()
{
    uint32_t count[NumIndexes] = {};
    if (LoUnit != HiUnit)
        SetNodeStamp(LoUnit, 0);

    // The free blocks lying at the bottom of the units area are marked
    // (stamp 0) and become text area.
    uint8_t* node = UnitsStart;
    uint8_t* const end = HeapEnd();
    while (node < end && NodeStamp(node) == EmptyStamp) {
        uint32_t nu = NodeUnits(node);
        if (nu == 0 || nu > 128)
            break;
        SetNodeStamp(node, 0);
        count[U2I(nu)]++;
        node += U2B(nu);
    }
    UnitsStart = node;

    // Unlink the marked blocks from their free lists.
    for (unsigned i = 0; i < NumIndexes; i++) {
        uint8_t* prev = nullptr; // nullptr: the list head
        while (count[i] != 0) {
            uint32_t ref = prev ? NodeNext(prev) : FFreeList[i];
            if (ref == 0)
                break;
            uint8_t* n = Ptr(ref);
            if (NodeStamp(n) == 0) {
                if (prev)
                    SetNodeNext(prev, NodeNext(n));
                else
                    FFreeList[i] = NodeNext(n);
                FStamps[i]--;
                count[i]--;
            } else {
                prev = n;
            }
        }
    }
}

uint32_t TPpmdAllocator::UsedMemory() const
{
    uint32_t units = 0;
    for (unsigned i = 0; i < NumIndexes; i++)
        units += FStamps[i] * I2U(i);
    return FSize - static_cast<uint32_t>(HiUnit - LoUnit) - static_cast<uint32_t>(UnitsStart - Text) - U2B(units);
}

} // namespace addoscope::zip::ppmd
