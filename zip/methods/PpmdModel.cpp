#include "zip/methods/PpmdModel.h"

#include <array>
#include <iterator>

namespace addoscope::zip::ppmd {

namespace {

constexpr unsigned MaxFreq = 124;
constexpr unsigned IntBits = 7;
constexpr unsigned PeriodBits = 7;
constexpr unsigned BinScale = 1u << 14;

constexpr uint16_t InitBinEsc[8] = {0x3CDD, 0x1F3F, 0x59BF, 0x48F3, 0x64A1, 0x5ABC, 0x6632, 0x6051};
constexpr uint8_t ExpEscape[16] = {25, 14, 9, 7, 5, 5, 4, 4, 4, 3, 3, 3, 2, 2, 2, 2};

// Quantisation of a symbol count (or a binary frequency) into the rows of
// the SEE and binary-probability tables.
constexpr std::array<uint8_t, 260> MakeNs2Indx()
{
    std::array<uint8_t, 260> t{};
    unsigned i = 0;
    for (; i < 5; i++)
        t[i] = static_cast<uint8_t>(i);
    for (unsigned m = i, k = 1; i < 260; i++) {
        t[i] = static_cast<uint8_t>(m);
        if (--k == 0)
            k = (++m) - 4;
    }
    return t;
}
constexpr std::array<uint8_t, 260> Ns2Indx = MakeNs2Indx();

// Quantisation of the suffix's symbol count for the binary contexts.
constexpr std::array<uint8_t, 256> MakeNs2BsIndx()
{
    std::array<uint8_t, 256> t{};
    t[0] = 0;
    t[1] = 2;
    for (unsigned i = 2; i < 11; i++)
        t[i] = 4;
    for (unsigned i = 11; i < 256; i++)
        t[i] = 6;
    return t;
}
constexpr std::array<uint8_t, 256> Ns2BsIndx = MakeNs2BsIndx();

inline unsigned GetMean(unsigned prob) { return (prob + (1u << (PeriodBits - 2))) >> PeriodBits; }

} // namespace

TPpmdModel::TPpmdModel(uint32_t memorySize, unsigned order, unsigned restoreMethod, bool largePages, bool memoryCut)
    : FAlloc(memorySize, largePages), FMaxOrder(order), FRestoreMethod(restoreMethod), FMemoryCut(memoryCut)
{
    FDummySee.Summ = 0;
    FDummySee.Shift = PeriodBits;
    FDummySee.Count = 64;
    RestartModel();
}

uint8_t* TPpmdModel::FindState(uint8_t* c, uint8_t sym) const
{
    // The symbol is always there in a consistent model; the bound keeps an
    // inconsistent one inside the arena.
    uint8_t* s = Stats(c);
    uint8_t* const last = FAlloc.HeapEnd() - StateSize;
    while (Symbol(s) != sym) {
        if (s >= last)
            throw TPpmdCorrupt();
        s += StateSize;
    }
    return s;
}

void TPpmdModel::RestartModel()
{
    FAlloc.Reset();
    FOrderFall = FMaxOrder;
    FRunLength = FInitRL = -static_cast<int32_t>(FMaxOrder < 12 ? FMaxOrder : 12) - 1;
    FPrevSuccess = 0;

    // The order-0 context knows every byte once.
    uint8_t* root = FAlloc.HiUnit -= UnitSize;
    FMinContext = FMaxContext = root;
    SetSuffixRef(root, 0);
    NumStats(root) = 255;
    Flags(root) = 0;
    SetSummFreq(root, 256 + 1);
    uint8_t* stats = FAlloc.LoUnit;
    FAlloc.LoUnit += U2B(256 / 2);
    SetStatsRef(root, Ref(stats));
    FFoundState = stats;
    for (unsigned i = 0; i < 256; i++) {
        uint8_t* s = stats + i * StateSize;
        Symbol(s) = static_cast<uint8_t>(i);
        Freq(s) = 1;
        SetSuccessor(s, 0);
    }

    // Each row of binary probabilities starts from the estimate for the
    // largest frequency it quantises.
    for (unsigned m = 0, i = 0; m < 25; m++) {
        while (Ns2Indx[i] == m)
            i++;
        for (unsigned k = 0; k < 8; k++) {
            uint16_t val = static_cast<uint16_t>(BinScale - InitBinEsc[k] / (i + 1));
            for (unsigned r = 0; r < 64; r += 8)
                FBinSumm[m][k + r] = val;
        }
    }
    // The same for the escape estimators, whose rows quantise symbol counts.
    for (unsigned m = 0, i = 3; m < 24; m++) {
        while (Ns2Indx[i] == m + 3)
            i++;
        for (unsigned k = 0; k < 32; k++) {
            TSee& see = FSee[m][k];
            see.Shift = PeriodBits - 4;
            see.Summ = static_cast<uint16_t>((2 * i - 1) << see.Shift);
            see.Count = 7;
        }
    }
}

void TPpmdModel::NextContext()
{
    uint8_t* c = Ctx(Successor(FFoundState));
    if (FOrderFall == 0 && c >= FAlloc.UnitsStart) {
        FMinContext = FMaxContext = c;
    } else {
        UpdateModel();
        FMinContext = FMaxContext;
    }
}

void TPpmdModel::Update1()
{
    uint8_t* s = FFoundState;
    Freq(s) += 4;
    AddSummFreq(FMinContext, 4);
    if (Freq(s) > Freq(s - StateSize)) {
        SwapStates(s, s - StateSize);
        FFoundState = s -= StateSize;
        if (Freq(s) > MaxFreq)
            Rescale();
    }
    NextContext();
}

void TPpmdModel::Update1_0()
{
    FPrevSuccess = 2 * Freq(FFoundState) >= SummFreq(FMinContext) ? 1 : 0;
    FRunLength += FPrevSuccess;
    AddSummFreq(FMinContext, 4);
    if ((Freq(FFoundState) += 4) > MaxFreq)
        Rescale();
    NextContext();
}

void TPpmdModel::UpdateBin()
{
    if (Freq(FFoundState) < 196)
        Freq(FFoundState)++;
    FPrevSuccess = 1;
    FRunLength++;
    NextContext();
}

void TPpmdModel::Update2()
{
    AddSummFreq(FMinContext, 4);
    if ((Freq(FFoundState) += 4) > MaxFreq)
        Rescale();
    FRunLength = FInitRL;
    UpdateModel();
    FMinContext = FMaxContext;
}

void TPpmdModel::Rescale()
{
    uint8_t* mc = FMinContext;
    uint8_t* stats = Stats(mc);
    uint8_t* s = FFoundState;
    uint8_t tmp[StateSize];

    // The found state moves to the front; then every frequency is halved
    // and the list kept sorted by frequency.
    if (s != stats) {
        CopyState(tmp, s);
        do {
            CopyState(s, s - StateSize);
            s -= StateSize;
        } while (s != stats);
        CopyState(s, tmp);
    }
    unsigned escFreq = SummFreq(mc) - Freq(s);
    Freq(s) += 4;
    unsigned adder = FOrderFall != 0 ? 1 : 0;
    Freq(s) = static_cast<uint8_t>((Freq(s) + adder) >> 1);
    unsigned sumFreq = Freq(s);

    unsigned i = NumStats(mc);
    do {
        s += StateSize;
        escFreq -= Freq(s);
        Freq(s) = static_cast<uint8_t>((Freq(s) + adder) >> 1);
        sumFreq += Freq(s);
        if (Freq(s) > Freq(s - StateSize)) {
            uint8_t* s1 = s;
            CopyState(tmp, s1);
            do {
                CopyState(s1, s1 - StateSize);
                s1 -= StateSize;
            } while (s1 != stats && tmp[1] > Freq(s1 - StateSize));
            CopyState(s1, tmp);
        }
    } while (--i);

    if (Freq(s) == 0) {
        // Symbols whose frequency dropped to zero leave the context.
        unsigned numStats = NumStats(mc);
        i = 0;
        do {
            i++;
            s -= StateSize;
        } while (Freq(s) == 0);
        escFreq += i;
        NumStats(mc) = static_cast<uint8_t>(numStats - i);
        if (NumStats(mc) == 0) {
            CopyState(tmp, stats);
            unsigned f = (2 * tmp[1] + escFreq - 1) / escFreq;
            tmp[1] = static_cast<uint8_t>(f > MaxFreq / 3 ? MaxFreq / 3 : f);
            FAlloc.InsertNode(stats, U2I((numStats + 2) >> 1));
            Flags(mc) = static_cast<uint8_t>((Flags(mc) & 0x10) + 0x08 * (tmp[0] >= 0x40));
            FFoundState = OneState(mc);
            CopyState(FFoundState, tmp);
            return;
        }
        unsigned n0 = (numStats + 2) >> 1;
        unsigned n1 = (NumStats(mc) + 2u) >> 1;
        if (n0 != n1)
            SetStatsRef(mc, Ref(FAlloc.ShrinkUnits(stats, n0, n1)));
        Flags(mc) &= ~0x08;
        s = Stats(mc);
        for (unsigned k = 0; k <= NumStats(mc); k++, s += StateSize)
            Flags(mc) |= 0x08 * (Symbol(s) >= 0x40);
    }
    SetSummFreq(mc, sumFreq + escFreq - (escFreq >> 1));
    Flags(mc) |= 0x04;
    FFoundState = Stats(mc);
}

TPpmdModel::TSee* TPpmdModel::MakeEscFreq(unsigned numMasked, uint32_t& escFreq)
{
    uint8_t* mc = FMinContext;
    unsigned numStats = NumStats(mc);
    if (numStats == 0xFF) {
        escFreq = 1;
        return &FDummySee;
    }
    TSee* see = &FSee[Ns2Indx[numStats + 2] - 3]
                     [(SummFreq(mc) > 11 * (numStats + 1)) + 2 * (2 * numStats < NumStats(Suffix(mc)) + numMasked) +
                      Flags(mc)];
    unsigned r = see->Summ >> see->Shift;
    see->Summ = static_cast<uint16_t>(see->Summ - r);
    escFreq = r + (r == 0);
    return see;
}

int TPpmdModel::DecodeSymbol(TPpmdRangeDecoder& rc)
{
    uint8_t charMask[256];
    uint8_t* mc = FMinContext;

    if (NumStats(mc) != 0) {
        uint8_t* s = Stats(mc);
        uint32_t summ = SummFreq(mc);
        uint32_t count = rc.GetThreshold(summ);
        uint32_t hiCnt = Freq(s);
        if (count < hiCnt) {
            rc.Decode(0, hiCnt);
            FFoundState = s;
            uint8_t sym = Symbol(s);
            Update1_0();
            return sym;
        }
        FPrevSuccess = 0;
        unsigned i = NumStats(mc);
        do {
            s += StateSize;
            hiCnt += Freq(s);
            if (hiCnt > count) {
                rc.Decode(hiCnt - Freq(s), Freq(s));
                FFoundState = s;
                uint8_t sym = Symbol(s);
                Update1();
                return sym;
            }
        } while (--i);
        if (count >= summ)
            return DataError;
        rc.Decode(hiCnt, summ - hiCnt);
        std::memset(charMask, 0xFF, sizeof(charMask));
        s = Stats(mc);
        for (unsigned k = 0; k <= NumStats(mc); k++, s += StateSize)
            charMask[Symbol(s)] = 0;
    } else {
        uint8_t* s = OneState(mc);
        // A binary context's frequency stays within 1..196 and its flags
        // never carry the rescaled bit, so the index stays in the table.
        if (Freq(s) == 0)
            return DataError;
        uint16_t* prob = &FBinSumm[Ns2Indx[Freq(s) - 1]]
                                  [Ns2BsIndx[NumStats(Suffix(mc))] + FPrevSuccess + Flags(mc) +
                                   ((FRunLength >> 26) & 0x20)];
        if (rc.GetBinThreshold() < *prob) {
            rc.Decode(0, *prob);
            *prob = static_cast<uint16_t>(*prob + (1u << IntBits) - GetMean(*prob));
            FFoundState = s;
            uint8_t sym = Symbol(s);
            UpdateBin();
            return sym;
        }
        rc.Decode(*prob, BinScale - *prob);
        *prob = static_cast<uint16_t>(*prob - GetMean(*prob));
        FInitEsc = ExpEscape[*prob >> 10];
        std::memset(charMask, 0xFF, sizeof(charMask));
        charMask[Symbol(s)] = 0;
        FPrevSuccess = 0;
    }

    for (;;) {
        // Escape to the nearest shorter context that has symbols not yet
        // excluded; past the order-0 context lies the end marker.
        unsigned numMasked = NumStats(mc);
        do {
            FOrderFall++;
            if (SuffixRef(mc) == 0)
                return EndMarker;
            mc = Suffix(mc);
        } while (NumStats(mc) == numMasked);
        if (NumStats(mc) < numMasked)
            return DataError;
        FMinContext = mc;

        uint8_t* ps[256];
        unsigned num = NumStats(mc) - numMasked; // symbols left to choose from
        unsigned n = 0;
        uint32_t hiCnt = 0;
        uint8_t* s = Stats(mc);
        for (unsigned k = 0; k <= NumStats(mc) && n != num; k++, s += StateSize) {
            unsigned m = charMask[Symbol(s)];
            hiCnt += Freq(s) & m;
            ps[n] = s;
            n += m & 1;
        }
        if (n != num)
            return DataError;

        uint32_t freqSum;
        TSee* see = MakeEscFreq(numMasked, freqSum);
        freqSum += hiCnt;
        uint32_t count = rc.GetThreshold(freqSum);
        if (count < hiCnt) {
            uint8_t** pps = ps;
            hiCnt = 0;
            while ((hiCnt += Freq(*pps)) <= count)
                pps++;
            s = *pps;
            rc.Decode(hiCnt - Freq(s), Freq(s));
            if (see->Shift < PeriodBits && --see->Count == 0) {
                see->Summ = static_cast<uint16_t>(see->Summ << 1);
                see->Count = static_cast<uint8_t>(3 << see->Shift++);
            }
            FFoundState = s;
            uint8_t sym = Symbol(s);
            Update2();
            return sym;
        }
        if (count >= freqSum)
            return DataError;
        rc.Decode(hiCnt, freqSum - hiCnt);
        see->Summ = static_cast<uint16_t>(see->Summ + freqSum);
        for (unsigned k = 0; k < n; k++)
            charMask[Symbol(ps[k])] = 0;
    }
}

void TPpmdModel::UpdateModel()
{
    uint8_t* const fs = FFoundState;
    uint8_t* const mc = FMinContext;
    uint32_t fSuccessor = Successor(fs);
    const unsigned fFreq = Freq(fs);
    const uint8_t fSymbol = Symbol(fs);
    uint8_t* s = nullptr;

    // The shorter context saw the symbol too.
    if (fFreq < MaxFreq / 4 && SuffixRef(mc) != 0) {
        uint8_t* c = Suffix(mc);
        if (NumStats(c) == 0) {
            s = OneState(c);
            if (Freq(s) < 32)
                Freq(s)++;
        } else {
            s = Stats(c);
            if (Symbol(s) != fSymbol) {
                s = FindState(c, fSymbol);
                if (Freq(s) >= Freq(s - StateSize)) {
                    SwapStates(s, s - StateSize);
                    s -= StateSize;
                }
            }
            if (Freq(s) < MaxFreq - 9) {
                Freq(s) += 2;
                AddSummFreq(c, 2);
            }
        }
    }

    uint8_t* c = FMaxContext;
    if (FOrderFall == 0 && fSuccessor) {
        uint8_t* cs = CreateSuccessors(true, s, mc);
        if (!cs) {
            SetSuccessor(fs, 0);
            RestoreModel(c);
        } else {
            SetSuccessor(fs, Ref(cs));
            FMaxContext = cs;
        }
        return;
    }

    *FAlloc.Text++ = fSymbol;
    uint32_t successor = Ref(FAlloc.Text);
    if (FAlloc.Text >= FAlloc.UnitsStart) {
        RestoreModel(c);
        return;
    }

    if (!fSuccessor) {
        uint8_t* cs = ReduceOrder(s, mc);
        if (!cs) {
            RestoreModel(c);
            return;
        }
        fSuccessor = Ref(cs);
    } else if (Ctx(fSuccessor) < FAlloc.UnitsStart) {
        uint8_t* cs = CreateSuccessors(false, s, mc);
        if (!cs) {
            RestoreModel(c);
            return;
        }
        fSuccessor = Ref(cs);
    }

    if (--FOrderFall == 0) {
        successor = fSuccessor;
        FAlloc.Text -= (FMaxContext != FMinContext);
    }

    // Add the symbol to every context that escaped.
    const unsigned ns = NumStats(mc);
    const unsigned s0 = SummFreq(mc) - ns - fFreq;
    const uint8_t flag = static_cast<uint8_t>(0x08 * (fSymbol >= 0x40));
    for (; c != mc; c = Suffix(c)) {
        unsigned ns1 = NumStats(c);
        if (ns1 != 0) {
            if (ns1 & 1) {
                uint8_t* p = FAlloc.ExpandUnits(Stats(c), (ns1 + 1) >> 1);
                if (!p) {
                    RestoreModel(c);
                    return;
                }
                SetStatsRef(c, Ref(p));
            }
            AddSummFreq(c, (3 * ns1 + 1 < ns) ? 1 : 0);
        } else {
            uint8_t* s2 = FAlloc.AllocUnits(0);
            if (!s2) {
                RestoreModel(c);
                return;
            }
            CopyState(s2, OneState(c));
            SetStatsRef(c, Ref(s2));
            if (Freq(s2) < MaxFreq / 4 - 1)
                Freq(s2) = static_cast<uint8_t>(Freq(s2) << 1);
            else
                Freq(s2) = MaxFreq - 4;
            SetSummFreq(c, Freq(s2) + FInitEsc + (ns > 2 ? 1 : 0));
        }
        uint32_t cf = 2 * fFreq * (SummFreq(c) + 6);
        uint32_t sf = s0 + SummFreq(c);
        if (cf < 6 * sf) {
            cf = 1 + (cf > sf) + (cf >= 4 * sf);
            AddSummFreq(c, 4);
        } else {
            cf = 4 + (cf > 9 * sf) + (cf > 12 * sf) + (cf > 15 * sf);
            AddSummFreq(c, cf);
        }
        uint8_t* s2 = Stats(c) + (ns1 + 1) * StateSize;
        SetSuccessor(s2, successor);
        Symbol(s2) = fSymbol;
        Freq(s2) = static_cast<uint8_t>(cf);
        Flags(c) |= flag;
        NumStats(c) = static_cast<uint8_t>(ns1 + 1);
    }
    FMaxContext = FMinContext = Ctx(fSuccessor);
}

uint8_t* TPpmdModel::CreateSuccessors(bool skip, uint8_t* s1, uint8_t* c)
{
    const uint32_t upBranch = Successor(FFoundState);
    const uint8_t fSymbol = Symbol(FFoundState);
    uint8_t* ps[MaxOrder + 8];
    unsigned numPs = 0;
    if (!skip)
        ps[numPs++] = FFoundState;

    // Walk down the suffixes while they still point at the same text.
    while (SuffixRef(c)) {
        uint8_t* s;
        c = Suffix(c);
        if (s1) {
            s = s1;
            s1 = nullptr;
        } else if (NumStats(c) != 0) {
            s = FindState(c, fSymbol);
            if (Freq(s) < MaxFreq - 9) {
                Freq(s)++;
                AddSummFreq(c, 1);
            }
        } else {
            s = OneState(c);
            if (NumStats(Suffix(c)) == 0 && Freq(s) < 24)
                Freq(s)++;
        }
        uint32_t successor = Successor(s);
        if (successor != upBranch) {
            c = Ctx(successor);
            break;
        }
        if (numPs == std::size(ps))
            throw TPpmdCorrupt();
        ps[numPs++] = s;
    }
    if (numPs == 0)
        return c;

    // The new contexts know one symbol: the one that followed in the text.
    if (upBranch == 0 || FAlloc.Ptr(upBranch) >= FAlloc.HeapEnd())
        throw TPpmdCorrupt();
    const uint8_t upSymbol = *FAlloc.Ptr(upBranch);
    const uint8_t flags = static_cast<uint8_t>(0x10 * (fSymbol >= 0x40) + 0x08 * (upSymbol >= 0x40));
    unsigned upFreq;
    if (NumStats(c) == 0) {
        upFreq = Freq(OneState(c));
    } else {
        uint8_t* s = FindState(c, upSymbol);
        uint32_t cf = Freq(s) - 1u;
        uint32_t s0 = SummFreq(c) - NumStats(c) - cf;
        if (s0 == 0)
            throw TPpmdCorrupt();
        upFreq = 1 + ((2 * cf <= s0) ? (5 * cf > s0) : ((cf + 2 * s0 - 3) / s0));
    }

    do {
        uint8_t* c1 = FAlloc.AllocContext();
        if (!c1)
            return nullptr;
        NumStats(c1) = 0;
        Flags(c1) = flags;
        uint8_t* one = OneState(c1);
        Symbol(one) = upSymbol;
        Freq(one) = static_cast<uint8_t>(upFreq);
        SetSuccessor(one, upBranch + 1);
        SetSuffixRef(c1, Ref(c));
        SetSuccessor(ps[--numPs], Ref(c1));
        c = c1;
    } while (numPs != 0);
    return c;
}

uint8_t* TPpmdModel::ReduceOrder(uint8_t* s1, uint8_t* c)
{
    uint8_t* s = nullptr;
    uint8_t* const c1 = c;
    const uint32_t upBranch = Ref(FAlloc.Text);
    const uint8_t fSymbol = Symbol(FFoundState);
    // The suffix chain of a consistent model is at most the order long.
    unsigned depth = 1;
    SetSuccessor(FFoundState, upBranch);
    FOrderFall++;

    for (;;) {
        if (s1) {
            c = Suffix(c);
            s = s1;
            s1 = nullptr;
        } else {
            if (!SuffixRef(c))
                return c;
            c = Suffix(c);
            if (NumStats(c)) {
                s = FindState(c, fSymbol);
                if (Freq(s) < MaxFreq - 9) {
                    Freq(s) += 2;
                    AddSummFreq(c, 2);
                }
            } else {
                s = OneState(c);
                if (Freq(s) < 32)
                    Freq(s)++;
            }
        }
        if (Successor(s))
            break;
        if (++depth > MaxOrder + 8)
            throw TPpmdCorrupt();
        SetSuccessor(s, upBranch);
        FOrderFall++;
    }

    if (Successor(s) <= upBranch) {
        uint8_t* saved = FFoundState;
        FFoundState = s;
        uint8_t* successor = CreateSuccessors(false, nullptr, c);
        SetSuccessor(s, successor ? Ref(successor) : 0);
        FFoundState = saved;
    }
    if (FOrderFall == 1 && c1 == FMaxContext) {
        SetSuccessor(FFoundState, Successor(s));
        FAlloc.Text--;
    }
    if (Successor(s) == 0)
        return nullptr;
    return Ctx(Successor(s));
}

} // namespace addoscope::zip::ppmd
