// Methods 2 to 5, reduce with compression factor 1 to 4: each byte is
// coded against the byte before it through a follower set of up to 63
// likely successors, and the byte stream so recovered is expanded by a
// small state machine in which the escape byte 144 introduces a back
// reference (or, followed by 0, stands for itself).
#include "base/Budget.h"
#include "zip/methods/UnzipHelper.h"
#include "zip/ZipErrors.h"

#include <array>
#include <memory>

namespace addoscope::zip {

namespace {

constexpr uint8_t EscapeByte = 144;

// Bits of a follower index for a set of `count` entries: enough for
// count - 1, and at least one.
int FollowerIndexBits(int count)
{
    int bits = 1;
    while ((1 << bits) < count)
        ++bits;
    return bits;
}

struct TFollowerSets {
    std::array<std::array<uint8_t, 64>, 256> Bytes{};
    std::array<uint8_t, 256> Count{};
};

} // namespace

void TUnzipHelper::Unreduce(int factor)
{
    if (factor < 1 || factor > 4)
        throw EZipInvalidFactor();

    // The sets are stored from byte 255 down to byte 0.
    auto sets = std::make_unique<TFollowerSets>();
    for (int x = 255; x >= 0; --x) {
        const int count = static_cast<int>(ReadBits(6));
        sets->Count[static_cast<size_t>(x)] = static_cast<uint8_t>(count);
        for (int i = 0; i < count; ++i)
            sets->Bytes[static_cast<size_t>(x)][static_cast<size_t>(i)] = static_cast<uint8_t>(ReadBits(8));
        if (!FBitSValid)
            return;
    }

    // The low 8 - factor bits of the byte after the escape hold the length
    // (all ones: one more length byte follows); its high factor bits are
    // the high part of the distance, whose low byte comes last.
    const int lengthMask = 0xFF >> factor;
    int last = 0;
    int state = 0;
    int length = 0;
    int distanceHigh = 0;
    while (!OutputDone()) {
        base::BudgetTick();
        const auto& followers = sets->Bytes[static_cast<size_t>(last)];
        const int count = sets->Count[static_cast<size_t>(last)];
        int c;
        if (count == 0 || ReadBits(1) == 1) {
            c = static_cast<int>(ReadBits(8));
        } else {
            const int index = static_cast<int>(ReadBits(FollowerIndexBits(count)));
            if (index >= count && FBitSValid)
                throw EZipException("Corrupt reduced data: follower index out of range");
            c = followers[static_cast<size_t>(index)];
        }
        if (!FBitSValid)
            break;
        last = c;

        switch (state) {
        case 0:
            if (c == EscapeByte)
                state = 1;
            else
                PutByte(static_cast<uint8_t>(c));
            break;
        case 1:
            if (c == 0) {
                PutByte(EscapeByte);
                state = 0;
            } else {
                length = c & lengthMask;
                distanceHigh = c >> (8 - factor);
                state = length == lengthMask ? 2 : 3;
            }
            break;
        case 2:
            length += c;
            state = 3;
            break;
        default:
            CopyMatch(distanceHigh * 256 + c + 1, length + 3);
            state = 0;
            break;
        }
    }
}

} // namespace addoscope::zip
