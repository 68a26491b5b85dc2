#include "xml/XmlArena.h"

#include <bit>
#include <cstring>

namespace addoscope::xml {

TXmlNode** TxArena::AllocateArray(unsigned sizeClass)
{
    if (TXmlNode** spare = FSpare[sizeClass]) {
        FSpare[sizeClass] = reinterpret_cast<TXmlNode**>(spare[0]);
        return spare;
    }
    return FMemory.AllocateArray<TXmlNode*>(size_t(1) << sizeClass);
}

void TxArena::Insert(TXmlNode**& items, uint32_t& count, uint32_t index, TXmlNode* node)
{
    if (index > count)
        index = count;
    // (count & (count - 1)) == 0: a power of two or none, without the
    // library call a population count is on the baseline processor.
    if ((count & (count - 1)) == 0) {
        // Full: its capacity is the count itself.
        if (count >= (uint32_t(1) << 30))
            throw std::bad_alloc();
        const unsigned oldClass = count == 0 ? 0 : static_cast<unsigned>(std::countr_zero(count));
        TXmlNode** grown = AllocateArray(count == 0 ? 0 : oldClass + 1);
        if (count > 0) {
            std::memcpy(grown, items, count * sizeof(TXmlNode*));
            items[0] = reinterpret_cast<TXmlNode*>(FSpare[oldClass]);
            FSpare[oldClass] = items;
        }
        items = grown;
    }
    if (index < count)
        std::memmove(items + index + 1, items + index, (count - index) * sizeof(TXmlNode*));
    items[index] = node;
    ++count;
}

void TxArena::Clear()
{
    FMemory.Clear();
    for (TXmlNode**& spare : FSpare)
        spare = nullptr;
}

} // namespace addoscope::xml
