#pragma once
// The PPMd variant I (revision 1) context model, decoding side: contexts up
// to the model order with symbol statistics, binary contexts with their own
// adaptive probabilities, secondary escape estimation (SEE), and the two
// ways of going on when the model memory is used up: restart from scratch,
// or cut the model down (which is also what restoration method 2, nominally
// a freeze, means in the streams encoders write; see PpmdRestore.cpp).
#include "zip/methods/PpmdAllocator.h"
#include "zip/methods/PpmdRangeDecoder.h"

#include <cstdint>

namespace addoscope::zip::ppmd {

constexpr unsigned MinOrder = 2;
constexpr unsigned MaxOrder = 16;
constexpr unsigned RestoreRestart = 0;
constexpr unsigned RestoreCutOff = 1;
constexpr unsigned RestoreFreeze = 2;

// What DecodeSymbol answers besides a byte.
constexpr int EndMarker = -1;
constexpr int DataError = -2;

class TPpmdModel {
public:
    // memorySize in bytes; order MinOrder..MaxOrder; restoreMethod 0..2.
    // Raises std::bad_alloc when the memory cannot be had.
    // largePages: much of the memory is expected to be used (a long item).
    // memoryCut: the stream declared more memory than memorySize; the model
    // then decodes exactly as with the declared memory until it would run
    // out of the smaller one, and raises TPpmdCorrupt there rather than
    // restore itself differently from the encoder.
    TPpmdModel(uint32_t memorySize, unsigned order, unsigned restoreMethod, bool largePages = false,
               bool memoryCut = false);
    TPpmdModel(const TPpmdModel&) = delete;
    TPpmdModel& operator=(const TPpmdModel&) = delete;

    // The next byte (0..255), EndMarker, or DataError for input that no
    // encoder could have written.
    int DecodeSymbol(TPpmdRangeDecoder& rc);
    // Bytes of the model memory in use now.
    uint32_t UsedMemory() const { return FAlloc.UsedMemory(); }

private:
    struct TSee {
        uint16_t Summ;
        uint8_t Shift;
        uint8_t Count;
    };

    uint8_t* Ctx(uint32_t ref) const { return FAlloc.Ptr(ref); }
    uint32_t Ref(const uint8_t* p) const { return FAlloc.Ref(p); }
    uint8_t* Stats(uint8_t* c) const { return FAlloc.Ptr(StatsRef(c)); }
    uint8_t* Suffix(uint8_t* c) const { return FAlloc.Ptr(SuffixRef(c)); }
    // The state of symbol sym in context c (which has two symbols or more).
    uint8_t* FindState(uint8_t* c, uint8_t sym) const;

    void RestartModel();
    void NextContext();
    void Update1();
    void Update1_0();
    void Update2();
    void UpdateBin();
    void Rescale();
    TSee* MakeEscFreq(unsigned numMasked, uint32_t& escFreq);
    void UpdateModel();
    uint8_t* CreateSuccessors(bool skip, uint8_t* s1, uint8_t* c);
    uint8_t* ReduceOrder(uint8_t* s1, uint8_t* c);

    // Running out of memory (in PpmdRestore.cpp).
    void RestoreModel(uint8_t* c1);
    void Refresh(uint8_t* ctx, unsigned oldNU, unsigned scale);
    uint32_t CutOff(uint8_t* ctx, unsigned order);
    // Raises TPpmdCorrupt unless ref names a record inside the units area.
    void CheckUnitsRef(uint32_t ref, uint32_t bytes) const;

    TPpmdAllocator FAlloc;
    unsigned FMaxOrder;
    unsigned FRestoreMethod;
    bool FMemoryCut;
    uint8_t* FMinContext = nullptr;
    uint8_t* FMaxContext = nullptr;
    uint8_t* FFoundState = nullptr;
    unsigned FOrderFall = 0;
    unsigned FInitEsc = 0;
    unsigned FPrevSuccess = 0;
    int32_t FRunLength = 0;
    int32_t FInitRL = 0;
    uint16_t FBinSumm[25][64];
    TSee FSee[24][32];
    TSee FDummySee;
};

// Raised inside the model when its structure has been found inconsistent;
// the decoder treats it like corrupt data.
class TPpmdCorrupt {};

} // namespace addoscope::zip::ppmd
