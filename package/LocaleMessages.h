#pragma once
// Choosing the messages file of a WebExtension package: the first locale
// among the candidates that the package has a messages.json for.
#include "zip/ZipArchive.h"

#include <string>
#include <vector>

namespace addoscope::package {

// Index of "_locales/<locale>/messages.json" for the first candidate that
// has one, trying each candidate as spelled and then its variant with "_"
// and "-" swapped (pt_BR and pt-BR); -1 when none has one. Empty candidates
// are skipped. `itemName` receives the name that was found.
int FindLocaleMessages(const zip::TZipArchive& archive, const std::vector<std::u16string>& candidates,
                       std::u16string& itemName);

// The folder names L of the archive's "_locales/L/messages.json" items
// (the two fixed parts matched ignoring ASCII case), sorted by code unit,
// each once, joined with ", " and bounded as TJoinedList is.
std::u16string PackageLocales(const zip::TZipArchive& archive);

// The other spelling of a five-character locale whose separator is its
// third character (pt_BR <-> pt-BR); empty for any other text.
std::u16string LocaleVariant(const std::u16string& locale);

} // namespace addoscope::package
