#pragma once
// Byte layout of the PPMd model's records inside its memory arena. Records
// are addressed by 32-bit offsets from the arena's base (0 is "none"), so
// the model has the same shape on 32- and 64-bit builds and every record is
// reached through plain byte accesses (no type punning of the arena).
//
// State, 6 bytes:   symbol, frequency, successor (32-bit offset).
// Context, 12 bytes: symbol count - 1, flags, frequency sum (16-bit),
//                    states (32-bit offset), suffix (32-bit offset).
//                    A context with one symbol keeps that state inside
//                    itself, over the frequency sum and the states offset.
// Free block, one unit or more: stamp (all ones), next free block, units.
#include <cstdint>
#include <cstring>

namespace addoscope::zip::ppmd {

constexpr uint32_t UnitSize = 12;
constexpr uint32_t StateSize = 6;
constexpr uint32_t EmptyStamp = 0xFFFFFFFFu;

inline uint16_t Load16(const uint8_t* p)
{
    uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}
inline void Store16(uint8_t* p, uint16_t v) { std::memcpy(p, &v, 2); }
inline uint32_t Load32(const uint8_t* p)
{
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}
inline void Store32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }

// States.
inline uint8_t& Symbol(uint8_t* s) { return s[0]; }
inline uint8_t& Freq(uint8_t* s) { return s[1]; }
inline uint32_t Successor(const uint8_t* s) { return Load32(s + 2); }
inline void SetSuccessor(uint8_t* s, uint32_t ref) { Store32(s + 2, ref); }
inline void CopyState(uint8_t* to, const uint8_t* from) { std::memcpy(to, from, StateSize); }
inline void SwapStates(uint8_t* a, uint8_t* b)
{
    uint8_t t[StateSize];
    std::memcpy(t, a, StateSize);
    std::memcpy(a, b, StateSize);
    std::memcpy(b, t, StateSize);
}

// Contexts.
inline uint8_t& NumStats(uint8_t* c) { return c[0]; }
inline uint8_t& Flags(uint8_t* c) { return c[1]; }
inline uint32_t SummFreq(const uint8_t* c) { return Load16(c + 2); }
inline void SetSummFreq(uint8_t* c, uint32_t v) { Store16(c + 2, static_cast<uint16_t>(v)); }
inline void AddSummFreq(uint8_t* c, uint32_t d) { SetSummFreq(c, SummFreq(c) + d); }
inline uint32_t StatsRef(const uint8_t* c) { return Load32(c + 4); }
inline void SetStatsRef(uint8_t* c, uint32_t ref) { Store32(c + 4, ref); }
inline uint32_t SuffixRef(const uint8_t* c) { return Load32(c + 8); }
inline void SetSuffixRef(uint8_t* c, uint32_t ref) { Store32(c + 8, ref); }
inline uint8_t* OneState(uint8_t* c) { return c + 2; }

// Free blocks.
inline uint32_t NodeStamp(const uint8_t* n) { return Load32(n); }
inline void SetNodeStamp(uint8_t* n, uint32_t v) { Store32(n, v); }
inline uint32_t NodeNext(const uint8_t* n) { return Load32(n + 4); }
inline void SetNodeNext(uint8_t* n, uint32_t ref) { Store32(n + 4, ref); }
inline uint32_t NodeUnits(const uint8_t* n) { return Load32(n + 8); }
inline void SetNodeUnits(uint8_t* n, uint32_t nu) { Store32(n + 8, nu); }

} // namespace addoscope::zip::ppmd
