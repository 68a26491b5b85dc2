#pragma once
// The string table of one document: every distinct name and value is stored
// once and referred to by a 32-bit ID, handed out in order of first
// insertion from 1. ID 0 is the empty string.
#include "xml/XmlTypes.h"

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>

namespace addoscope::xml {

class TxSymbolTable {
public:
    TxSymbolTable() = default;
    TxSymbolTable(const TxSymbolTable&) = delete;
    TxSymbolTable& operator=(const TxSymbolTable&) = delete;

    // The ID of exactly this byte string, adding it when new; 0 for "".
    uint32_t AddString(std::string_view text);
    // The stored text; "" for 0, and "" with a diagnostic for an unknown ID.
    const std::string& GetString(uint32_t id) const;
    void Clear();
    uint32_t Count() const { return static_cast<uint32_t>(FByID.size()); }

    // Diagnostics for unknown IDs go here (may be null).
    void SetDiagnostics(const TxDiagnostics* diagnostics) { FDiagnostics = diagnostics; }

private:
    // Symbols in ID order; a deque never moves its elements, so the views
    // in the index stay valid as it grows.
    std::deque<std::string> FByID;
    // Lookup by content: a hash index beside the ID list keeps insertion and
    // lookup constant-time, however many distinct strings a document holds.
    std::unordered_map<std::string_view, uint32_t> FBySymbol;
    const TxDiagnostics* FDiagnostics = nullptr;
};

} // namespace addoscope::xml
