#pragma once
// Kinds, styles and the diagnostics channel shared by the XML reader's units.
#include <cstdint>
#include <functional>
#include <string>

namespace addoscope::xml {

enum TxElementType {
    xeElement,
    xeAttribute,
    xeCharData,
    xeComment,
    xeCData,
    xeCondSection,
    xeDeclaration,
    xeStylesheet,
    xeDocType,
    xeDtdElement,
    xeDtdAttList,
    xeDtdEntity,
    xeDtdNotation,
    xeInstruction,
    xeWhiteSpace,
    xeQuotedText,
    xeEndTag, // only a result of tag recognition
    xeError   // only a result of tag recognition
};

// "Element", "Attribute", "Text", ... in the order of TxElementType.
const char* ElementTypeName(TxElementType type);

enum TxWarnStyle { wsInfo, wsHint, wsWarn, wsFail };

enum TxStringEncoding {
    seAnsi,
    seUTF8,
    seUTF16BE,
    seUTF16LE,
    seUTF32BE,
    seUTF32LE,
    seUCS4_2143,
    seUCS4_3412,
    seEBCDIC
};

const char* EncodingName(TxStringEncoding encoding);

enum TxXmlFormat { xfCompact, xfReadable, xfPreserve };
enum TxEolStyle { esLF, esCRLF, esCR };
enum TxNodeClosingStyle { ncFull, ncClose };
enum TxQuoteStyle { qsQuote, qsApos };

using TxDebugOutHandler = std::function<void(const std::string& message, TxWarnStyle style)>;

// Where the reader's diagnostics go. Nothing is formatted unless a handler
// is installed, so a document full of faults costs no more than a clean one.
class TxDiagnostics {
public:
    void SetHandler(TxDebugOutHandler handler) { FHandler = std::move(handler); }
    bool Enabled() const { return static_cast<bool>(FHandler); }
    void Send(const std::string& message, TxWarnStyle style) const
    {
        if (FHandler)
            FHandler(message, style);
    }

private:
    TxDebugOutHandler FHandler;
};

} // namespace addoscope::xml
