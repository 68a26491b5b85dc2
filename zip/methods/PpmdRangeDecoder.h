#pragma once
// Input side of the PPMd decoder: a block reader over the item's data and
// the carry-less range decoder that PPMd variant I uses (32-bit low and
// range, renormalised a byte at a time while the top byte is settled or the
// range has shrunk below 2^15).
#include "base/Stream.h"

#include <cstdint>

namespace addoscope::zip::ppmd {

class TPpmdInput {
public:
    static constexpr int BlockSize = 4098;

    explicit TPpmdInput(base::TStream& stream) : FStream(stream) {}
    TPpmdInput(const TPpmdInput&) = delete;
    TPpmdInput& operator=(const TPpmdInput&) = delete;

    // The next byte; raises EArcReadError when the item's data has ended.
    uint8_t ReadByte()
    {
        if (FPos == FEnd)
            Refill();
        return *FPos++;
    }

private:
    void Refill();

    base::TStream& FStream;
    const uint8_t* FPos = FBuffer;
    const uint8_t* FEnd = FBuffer;
    uint8_t FBuffer[BlockSize];
};

class TPpmdRangeDecoder {
public:
    static constexpr uint32_t Top = 1u << 24;
    static constexpr uint32_t Bot = 1u << 15;
    // No total can exceed this: the threshold answered for a total that
    // the range cannot hold, so that the caller sees corrupt data.
    static constexpr uint32_t BadCount = 0xFFFFFFFFu;

    explicit TPpmdRangeDecoder(TPpmdInput& input) : FInput(input) {}

    // Reads the first four bytes; false when they cannot start a stream.
    bool Init()
    {
        FLow = 0;
        FRange = 0xFFFFFFFFu;
        FCode = 0;
        for (int i = 0; i < 4; i++)
            FCode = (FCode << 8) | FInput.ReadByte();
        return FCode < 0xFFFFFFFFu;
    }

    // The count in [0, total) that the coded value falls on.
    uint32_t GetThreshold(uint32_t total)
    {
        if (FRange < total)
            return BadCount;
        FRange /= total;
        return FCode / FRange;
    }
    // The same for a total of 2^14, as the binary contexts use.
    uint32_t GetBinThreshold()
    {
        FRange >>= 14;
        return FCode / FRange;
    }
    // Removes the chosen sub-range [start, start + size) of the last total.
    void Decode(uint32_t start, uint32_t size)
    {
        start *= FRange;
        FLow += start;
        FCode -= start;
        FRange *= size;
        Normalize();
    }

private:
    void Normalize()
    {
        for (;;) {
            if ((FLow ^ (FLow + FRange)) >= Top) {
                if (FRange >= Bot)
                    return;
                FRange = (0u - FLow) & (Bot - 1);
            }
            FCode = (FCode << 8) | FInput.ReadByte();
            FRange <<= 8;
            FLow <<= 8;
        }
    }

    TPpmdInput& FInput;
    uint32_t FLow = 0;
    uint32_t FRange = 0;
    uint32_t FCode = 0;
};

} // namespace addoscope::zip::ppmd
