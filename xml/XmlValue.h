#pragma once
// The value rules of text nodes.
#include "xml/XmlTypes.h"

#include <string>
#include <string_view>

namespace addoscope::xml {

// Converts the LF line ends of stored text to the given style, then expands
// the predefined entities and numeric references up to FFFF hex; every
// other reference stays as written.
std::string ExpandText(std::string_view stored, TxEolStyle eolStyle);

} // namespace addoscope::xml
