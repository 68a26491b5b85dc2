#pragma once
// The string table of one document: every distinct name and value is stored
// once and referred to by a 32-bit ID, handed out in order of first
// insertion from 1. ID 0 is the empty string.
#include "base/Budget.h"
#include "base/SeededHash.h"
#include "xml/XmlTypes.h"

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace addoscope::xml {

class TxSymbolTable {
public:
    TxSymbolTable();
    TxSymbolTable(const TxSymbolTable&) = delete;
    TxSymbolTable& operator=(const TxSymbolTable&) = delete;

    // The ID of exactly this byte string, adding it when new; 0 for "".
    uint32_t AddString(std::string_view text);
    // As AddString, for a caller that has ticked the budget for a non-empty
    // text already.
    uint32_t AddStringTicked(std::string_view text);
    // The stored text, valid while the table lives and is not cleared; ""
    // for 0, and "" with a diagnostic for an unknown ID.
    std::string_view GetString(uint32_t id) const
    {
        if (id - 1 < FByID.size()) // 0 wraps around to fail
            return FByID[id - 1];
        return MissingString(id);
    }
    void Clear();
    uint32_t Count() const { return static_cast<uint32_t>(FByID.size()); }

    // Diagnostics for unknown IDs go here (may be null).
    void SetDiagnostics(const TxDiagnostics* diagnostics) { FDiagnostics = diagnostics; }

private:
    uint32_t Add(std::string_view text, bool tick);
    std::string_view MissingString(uint32_t id) const;
    std::string_view Store(std::string_view text);
    std::string_view StoreInNewBlock(std::string_view text);
    void Grow();
    void Charge();

    // Symbols in ID order, as views of the bytes kept in FBlocks.
    std::vector<std::string_view> FByID;
    std::vector<std::unique_ptr<char[]>> FBlocks;
    size_t FBlockFree = 0;
    char* FBlockNext = nullptr;
    // Lookup by content: an open-addressing hash index beside the ID list
    // keeps insertion and lookup constant-time, however many distinct
    // strings a document holds. A slot holds the upper half of the string's
    // hash and its ID; 0 is a free slot.
    std::vector<uint64_t> FSlots;
    // Keyed afresh for every table and every load, so that no document can
    // be prepared whose strings crowd one run of slots.
    base::TSeededHash FHash;
    size_t FBlockBytes = 0;
    base::TBudgetCharge FCharge; // blocks, slots and the ID list
    const TxDiagnostics* FDiagnostics = nullptr;
};

} // namespace addoscope::xml
