// Zip method 98: PPMd variant I revision 1. The item data starts with a
// 16-bit parameter word (model order - 1 in bits 0-3, model memory in MiB
// - 1 in bits 4-11, restoration method in bits 12-15), followed by the
// range-coded symbols, which end with the model's end marker.
#include "base/Budget.h"
#include "zip/methods/Decoders.h"
#include "zip/methods/PpmdModel.h"
#include "zip/ZipErrors.h"
#include <algorithm>

#include <memory>

namespace addoscope::zip {

namespace ppmd {

void TPpmdInput::Refill()
{
    int64_t got = FStream.Read(FBuffer, BlockSize);
    if (got <= 0)
        throw EArcReadError();
    FPos = FBuffer;
    FEnd = FBuffer + got;
}

} // namespace ppmd

namespace {
constexpr int64_t LargePagesFrom = int64_t(1) << 20;
// The most model memory set aside for one item. A stream may declare up to
// 256 MiB, but a model that really fills more than this would pass the
// reading's memory budget anyway, and setting aside the whole declared
// block for a small item would ask the host for address space (and, on
// Windows, commit) that is never used.
constexpr uint32_t MaxModelMemory = uint32_t(128) << 20;
}

void PpmdDecode(base::TStream& input, base::TStream& output, const TDecodeParams& params)
{
    ppmd::TPpmdInput in(input);
    unsigned word = in.ReadByte();
    word |= unsigned(in.ReadByte()) << 8;
    const unsigned order = (word & 0x0F) + 1;
    const uint32_t memory = (((word >> 4) & 0xFF) + 1) << 20;
    const unsigned restore = word >> 12;
    // No encoder writes these: an order-1 model or an unknown restoration
    // method cannot be decoded as written.
    if (order < ppmd::MinOrder || restore > ppmd::RestoreFreeze)
        throw EZipInvalidMethod();

    // A long item fills much of the model memory, and then large pages
    // save a page fault per 4 KiB and many TLB misses (a tenth of the
    // decoding time at order 6); a short one touches a few pages only, so
    // it keeps the small ones. std::bad_alloc, when the memory cannot be
    // had, fails the item.
    const bool largePages = params.UncompressedSize >= LargePagesFrom;
    auto model = std::make_unique<ppmd::TPpmdModel>(std::min(memory, MaxModelMemory), order, restore, largePages,
                                                    memory > MaxModelMemory);
    ppmd::TPpmdRangeDecoder rc(in);
    if (!rc.Init())
        return;

    // The model memory is reserved whole but only filled as the model
    // grows: what it has used at most is what is counted.
    base::TBudgetCharge modelCharge;
    uint32_t mostUsed = 0;
    uint8_t buffer[4096];
    size_t count = 0;
    try {
        for (;;) {
            int symbol = model->DecodeSymbol(rc);
            if (symbol < 0)
                break;
            buffer[count++] = static_cast<uint8_t>(symbol);
            if (count == sizeof(buffer)) {
                // Symbols cost tens of nanoseconds each, more when they
                // escape through the orders.
                base::BudgetTick(sizeof(buffer) * 2);
                if (const uint32_t used = model->UsedMemory(); used > mostUsed) {
                    mostUsed = used;
                    modelCharge.Resize(used);
                }
                output.WriteBuffer(buffer, count);
                count = 0;
            }
        }
    } catch (const ppmd::TPpmdCorrupt&) {
        // Treated like any other decoding error: the output ends here.
    } catch (const EArcReadError&) {
        // The bytes decoded before the data ran out are kept.
        if (count)
            output.WriteBuffer(buffer, count);
        throw;
    }
    if (count)
        output.WriteBuffer(buffer, count);
}

} // namespace addoscope::zip
