// What the PPMd model does when its memory is used up: undo the half-made
// update, then restart, or cut the model down to the contexts still in use.
#include "zip/methods/PpmdModel.h"

namespace addoscope::zip::ppmd {

namespace {
// Binary contexts above this order lose their successor-less state in a cut.
constexpr unsigned CutOffBound = 9;
}

void TPpmdModel::CheckUnitsRef(uint32_t ref, uint32_t bytes) const
{
    uint8_t* p = FAlloc.Ptr(ref);
    if (p < FAlloc.UnitsStart || p > FAlloc.HeapEnd() || bytes > static_cast<uint32_t>(FAlloc.HeapEnd() - p))
        throw TPpmdCorrupt();
}

void TPpmdModel::RestoreModel(uint8_t* c1)
{
    // Where and how the model state runs out depends only on whether an
    // allocation succeeds, so a model given less memory than the stream
    // declared decodes the same bytes until here; past this point it would
    // not.
    if (FMemoryCut)
        throw TPpmdCorrupt();
    FAlloc.Text = FAlloc.HeapStart();

    // The contexts above c1 received the new symbol: take it back.
    uint8_t* c = FMaxContext;
    for (; c != c1; c = Suffix(c)) {
        if (SuffixRef(c) == 0)
            throw TPpmdCorrupt();
        if (--NumStats(c) == 0) {
            uint8_t* s = Stats(c);
            Flags(c) = static_cast<uint8_t>((Flags(c) & 0x10) + 0x08 * (Symbol(s) >= 0x40));
            CopyState(OneState(c), s);
            FAlloc.SpecialFreeUnit(s);
            Freq(OneState(c)) = static_cast<uint8_t>((Freq(OneState(c)) + 11) >> 3);
        } else {
            Refresh(c, (NumStats(c) + 3u) >> 1, 0);
        }
    }
    // The contexts down to the one that coded the symbol escaped once more.
    for (; c != FMinContext; c = Suffix(c)) {
        if (SuffixRef(c) == 0)
            throw TPpmdCorrupt();
        if (NumStats(c) == 0) {
            Freq(OneState(c)) = static_cast<uint8_t>(Freq(OneState(c)) - (Freq(OneState(c)) >> 1));
        } else {
            AddSummFreq(c, 4);
            if (SummFreq(c) > 128 + 4u * NumStats(c))
                Refresh(c, (NumStats(c) + 2u) >> 1, 1);
        }
    }

    // Restoration method 2 names a freeze, but no stream we can read was
    // written that way. python-ppmd's encoder writes the very same bytes for
    // methods 1 and 2 (and any higher number), cutting the model down at
    // every exhaustion, and its decoder reads method 2 the same way; 7-Zip
    // refuses method 2 outright, so nothing it handles could tell otherwise.
    // A frozen model would lose step with those streams at their first
    // exhaustion, so every method but a restart cuts the model down.
    if (FRestoreMethod == RestoreRestart || FAlloc.UsedMemory() < (FAlloc.Size() >> 1)) {
        RestartModel();
    } else {
        while (SuffixRef(FMaxContext))
            FMaxContext = Suffix(FMaxContext);
        // Each pass removes at least the deepest leaves, so a handful of
        // passes always reaches the target; the bound guards a damaged model.
        unsigned passes = 0;
        do {
            if (++passes > 4 * (MaxOrder + 1))
                throw TPpmdCorrupt();
            CutOff(FMaxContext, 0);
            FAlloc.ExpandTextArea();
        } while (FAlloc.UsedMemory() > 3 * (FAlloc.Size() >> 2));
        FAlloc.GlueCount = 0;
        FOrderFall = FMaxOrder;
    }
}

void TPpmdModel::Refresh(uint8_t* ctx, unsigned oldNU, unsigned scale)
{
    unsigned i = NumStats(ctx);
    CheckUnitsRef(StatsRef(ctx), U2B(oldNU));
    uint8_t* s = FAlloc.ShrinkUnits(Stats(ctx), oldNU, (i + 2) >> 1);
    SetStatsRef(ctx, Ref(s));
    // A sum this large would overflow on the next additions: halve it too.
    scale |= SummFreq(ctx) >= (1u << 15) ? 1 : 0;
    unsigned flags = (Flags(ctx) & (0x10 + 0x04 * scale)) + 0x08 * (Symbol(s) >= 0x40);
    unsigned escFreq = SummFreq(ctx) - Freq(s);
    Freq(s) = static_cast<uint8_t>((Freq(s) + scale) >> scale);
    unsigned sumFreq = Freq(s);
    do {
        s += StateSize;
        escFreq -= Freq(s);
        Freq(s) = static_cast<uint8_t>((Freq(s) + scale) >> scale);
        sumFreq += Freq(s);
        flags |= 0x08 * (Symbol(s) >= 0x40);
    } while (--i);
    SetSummFreq(ctx, sumFreq + ((escFreq + scale) >> scale));
    Flags(ctx) = static_cast<uint8_t>(flags);
}

uint32_t TPpmdModel::CutOff(uint8_t* ctx, unsigned order)
{
    CheckUnitsRef(Ref(ctx), UnitSize);
    if (NodeStamp(ctx) == EmptyStamp)
        throw TPpmdCorrupt();
    if (NumStats(ctx) == 0) {
        uint8_t* s = OneState(ctx);
        if (Ctx(Successor(s)) >= FAlloc.UnitsStart) {
            if (order < FMaxOrder)
                SetSuccessor(s, CutOff(Ctx(Successor(s)), order + 1));
            else
                SetSuccessor(s, 0);
            if (Successor(s) || order <= CutOffBound)
                return Ref(ctx);
        }
        FAlloc.SpecialFreeUnit(ctx);
        return 0;
    }

    const unsigned nu = (NumStats(ctx) + 2u) >> 1;
    CheckUnitsRef(StatsRef(ctx), U2B(nu));
    SetStatsRef(ctx, Ref(FAlloc.MoveUnitsUp(Stats(ctx), nu)));
    uint8_t* const stats = Stats(ctx);
    // States without a successor context go to the end of the list.
    int i = NumStats(ctx);
    for (int k = i; k >= 0; k--) {
        uint8_t* s = stats + k * StateSize;
        if (Ctx(Successor(s)) < FAlloc.UnitsStart) {
            uint8_t* s2 = stats + (i--) * StateSize;
            SetSuccessor(s, 0);
            SwapStates(s, s2);
        } else if (order < FMaxOrder) {
            SetSuccessor(s, CutOff(Ctx(Successor(s)), order + 1));
        } else {
            SetSuccessor(s, 0);
        }
    }

    if (i != NumStats(ctx) && order) {
        NumStats(ctx) = static_cast<uint8_t>(i);
        if (i < 0) {
            FAlloc.FreeUnits(stats, nu);
            FAlloc.SpecialFreeUnit(ctx);
            return 0;
        }
        if (i == 0) {
            Flags(ctx) = static_cast<uint8_t>((Flags(ctx) & 0x10) + 0x08 * (Symbol(stats) >= 0x40));
            CopyState(OneState(ctx), stats);
            FAlloc.FreeUnits(stats, nu);
            Freq(OneState(ctx)) = static_cast<uint8_t>((Freq(OneState(ctx)) + 11) >> 3);
        } else {
            Refresh(ctx, nu, SummFreq(ctx) > 16u * static_cast<unsigned>(i) ? 1 : 0);
        }
    }
    return Ref(ctx);
}

} // namespace addoscope::zip::ppmd
