#include "xml/XmlTypes.h"

namespace addoscope::xml {

const char* ElementTypeName(TxElementType type)
{
    static const char* const names[] = {"Element",     "Attribute",  "Text",       "Comment",    "CData",
                                        "ConditionalSection", "Declaration", "Stylesheet", "DocType",
                                        "DtdElement",  "DtdAttList", "DtdEntity",  "DtdNotation", "Instruction",
                                        "WhiteSpace",  "QuotedText", "EndTag",     "Error"};
    const unsigned index = static_cast<unsigned>(type);
    return index < sizeof(names) / sizeof(names[0]) ? names[index] : "";
}

const char* EncodingName(TxStringEncoding encoding)
{
    static const char* const names[] = {"ANSI",     "UTF-8",     "UTF-16BE",  "UTF-16LE", "UTF-32BE",
                                        "UTF-32LE", "UCS-4 2143", "UCS-4 3412", "EBCDIC"};
    const unsigned index = static_cast<unsigned>(encoding);
    return index < sizeof(names) / sizeof(names[0]) ? names[index] : "";
}

} // namespace addoscope::xml
