#include "xml/XmlStringTable.h"

namespace addoscope::xml {

namespace {
const std::string EmptyString;
}

uint32_t TxSymbolTable::AddString(std::string_view text)
{
    if (text.empty())
        return 0;
    if (auto found = FBySymbol.find(text); found != FBySymbol.end())
        return found->second;
    FByID.emplace_back(text);
    const uint32_t id = static_cast<uint32_t>(FByID.size());
    try {
        FBySymbol.emplace(std::string_view(FByID.back()), id);
    } catch (...) {
        FByID.pop_back();
        throw;
    }
    return id;
}

const std::string& TxSymbolTable::GetString(uint32_t id) const
{
    if (id == 0)
        return EmptyString;
    if (id > FByID.size()) {
        if (FDiagnostics)
            FDiagnostics->Send("string ID not found", wsWarn);
        return EmptyString;
    }
    return FByID[id - 1];
}

void TxSymbolTable::Clear()
{
    FBySymbol.clear();
    FByID.clear();
}

} // namespace addoscope::xml
