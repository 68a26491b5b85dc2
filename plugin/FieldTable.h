#pragma once
// The detect string, the fields and the copying rules of the host
// interface, kept apart from the exports so they can be tested directly.
#include "package/Addoscope.h"

#include <array>
#include <cstdint>
#include <string>

namespace addoscope::plugin {

inline constexpr char DetectString[] = "ext=\"XPI\"|ext=\"CRX\"|ext=\"CRX3\"";

struct TFieldRow {
    const char* Name;
    int32_t Type;
    std::u16string package::TAddoscope::*Field;
};

inline constexpr int FieldCount = 23;
extern const std::array<TFieldRow, FieldCount> FieldTable;

// The record's text for a field index; empty text for an index out of range.
const std::u16string& FieldText(const package::TAddoscope& record, int32_t fieldIndex);

// Copies at most maxlen - 1 characters and a zero byte; nothing for maxlen <= 0.
void CopyAnsiText(char* target, const char* text, int32_t maxlen);

// ContentGetDetectString and ContentGetSupportedField without the export glue.
void GetDetectString(char* target, int32_t maxlen);
int32_t GetSupportedField(int32_t fieldIndex, char* fieldName, char* units, int32_t maxlen);

// Copies text into the host's value buffer of maxlen bytes as UTF-16: at most
// (maxlen div 2) - 2 characters and a terminating zero. Never writes beyond
// maxlen bytes: with room for less than the terminator, nothing is written.
void CopyFieldValue(const std::u16string& text, void* fieldValue, int32_t maxlen);

} // namespace addoscope::plugin
