#include "xml/XmlLoader.h"

#include "base/Text.h"

#include <cstdarg>
#include <cstdio>

namespace addoscope::xml {

namespace {

constexpr int EndOfInput = TxXmlParser::EndOfInput;

void TrimRight(std::string& text)
{
    size_t end = text.size();
    while (end > 0 && base::IsSpaceOrControl(static_cast<unsigned char>(text[end - 1])))
        --end;
    text.resize(end);
}

void Trim(std::string& text)
{
    TrimRight(text);
    size_t start = 0;
    while (start < text.size() && base::IsSpaceOrControl(static_cast<unsigned char>(text[start])))
        ++start;
    text.erase(0, start);
}

inline std::string_view TrimRightView(std::string_view text)
{
    size_t end = text.size();
    while (end > 0 && base::IsSpaceOrControl(static_cast<unsigned char>(text[end - 1])))
        --end;
    return text.substr(0, end);
}

inline std::string_view TrimView(std::string_view text)
{
    text = TrimRightView(text);
    size_t start = 0;
    while (start < text.size() && base::IsSpaceOrControl(static_cast<unsigned char>(text[start])))
        ++start;
    return text.substr(start);
}

char LowerAscii(int c)
{
    return static_cast<char>((c >= 'A' && c <= 'Z') ? c + 32 : c);
}

bool SameAsciiText(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (LowerAscii(static_cast<unsigned char>(a[i])) != LowerAscii(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// Code pages of the encoding names install manifests use; for diagnostics.
int CodePageOf(std::string_view encoding)
{
    static const struct {
        const char* Name;
        int CodePage;
    } table[] = {{"utf-8", 65001},       {"utf-16", 1200},         {"iso-8859-1", 28591},
                 {"us-ascii", 20127},    {"windows-1252", 1252},   {"iso-8859-15", 28605}};
    for (const auto& entry : table)
        if (SameAsciiText(encoding, entry.Name))
            return entry.CodePage;
    return 0;
}

TxStringEncoding EncodingOf(std::string_view encoding)
{
    if (encoding.empty() || SameAsciiText(encoding, "utf-8"))
        return seUTF8;
    if (SameAsciiText(encoding, "utf-16") || SameAsciiText(encoding, "utf-16le"))
        return seUTF16LE;
    if (SameAsciiText(encoding, "utf-16be"))
        return seUTF16BE;
    return seAnsi;
}

} // namespace

void TxLoader::Report(TxWarnStyle style, const char* format, ...)
{
    if (!Reporting())
        return;
    va_list args;
    va_start(args, format);
    char buffer[512];
    std::vsnprintf(buffer, sizeof(buffer), format, args);
    va_end(args);
    FDoc.FDiagnostics.Send(buffer, style);
}

TxElementType TxLoader::RecogniseTag(TxTagStart& seen)
{
    const int c = FParser.NextChar();
    if (c == EndOfInput)
        return xeError;
    seen.Add(c);
    if (c == '/')
        return xeEndTag;
    if (c == '?') {
        if (FParser.CheckString("xml"))
            return FParser.CheckString("-stylesheet") ? xeStylesheet : xeDeclaration;
        return xeInstruction;
    }
    if (c != '!') {
        FParser.MoveBack();
        return xeElement;
    }
    const int d = FParser.NextChar();
    if (d == EndOfInput)
        return xeError;
    seen.Add(d);
    switch (LowerAscii(d)) {
    case '-':
        return FParser.CheckString("-") ? xeComment : xeError;
    case '[':
        return FParser.CheckString("cdata[") ? xeCData : xeError;
    case 'd':
        return FParser.CheckString("octype") ? xeDocType : xeError;
    case 'e':
        if (FParser.CheckString("lement"))
            return xeDtdElement;
        return FParser.CheckString("ntity") ? xeDtdEntity : xeError;
    case 'a':
        return FParser.CheckString("ttlist") ? xeDtdAttList : xeError;
    case 'n':
        return FParser.CheckString("otation") ? xeDtdNotation : xeError;
    default:
        Report(wsFail, "illegal tag (\"%s\") at pos %lld", seen.c_str(), Pos());
        return xeError;
    }
}

void TxLoader::Run()
{
    for (;;) {
        if (FDoc.FAbortParsing)
            break;
        bool found = false;
        std::string_view text = FParser.ReadViewUntilChar('<', &found, FSpill);
        if (!FDoc.PreserveWhiteSpace())
            text = TrimView(text);
        if (!text.empty())
            FDoc.FRootNodes.Add(Arena(), New<TxCharData>(Intern(text)));
        ChargeSpill();
        if (!found)
            break;

        TxTagStart seen;
        const TxElementType kind = RecogniseTag(seen);
        switch (kind) {
        case xeError:
            Report(wsWarn, "illegal tag (\"%s\") at pos %lld", seen.c_str(), Pos());
            return;
        case xeEndTag:
            Report(wsWarn, "unsupported tag (\"%s\") at pos %lld", seen.c_str(), Pos());
            return;
        case xeElement: {
            auto* element = New<TxElement>(0u);
            FDoc.FRootNodes.Add(Arena(), element);
            ParseElementTree(*element);
            break;
        }
        case xeComment:
        case xeCData:
        case xeInstruction:
            FDoc.FRootNodes.Add(Arena(), ParseText(kind));
            if (kind == xeComment && FDoc.FDropCommentsOnParse) {
                Report(wsInfo, "option DropCommentsOnParse is true, deleting comment");
                FDoc.FRootNodes.Delete(FDoc.FRootNodes.Count() - 1);
            }
            break;
        case xeDeclaration:
        case xeStylesheet: {
            TxDeclaration* declaration;
            if (kind == xeStylesheet)
                declaration = New<TxStyleSheet>();
            else
                declaration = New<TxDeclaration>();
            FDoc.FRootNodes.Add(Arena(), declaration);
            ParseDeclaration(*declaration);
            if (kind == xeDeclaration)
                ReportDeclaration(*declaration);
            break;
        }
        case xeDocType: {
            auto* docType = New<TxDocType>(0u);
            FDoc.FRootNodes.Add(Arena(), docType);
            FDoc.FHasDocType = true;
            ParseDocType(*docType);
            break;
        }
        default: {
            TxDtdElement* declaration = NewMarkupDeclaration(kind);
            FDoc.FRootNodes.Add(Arena(), declaration);
            ParseMarkupDeclaration(*declaration);
            break;
        }
        }
    }
}

void TxLoader::ReportDeclaration(const TxDeclaration& declaration)
{
    FDoc.FHasDeclaration = true;
    std::string encoding;
    if (const TXmlNode* attribute = declaration.NodeByName("encoding"))
        encoding = attribute->Value();
    FDoc.FExternalEncoding = EncodingOf(encoding);
    Report(wsInfo, "declaration with encoding \"%s\" and codepage %d", encoding.c_str(), CodePageOf(encoding));
}

bool TxLoader::ParseElementStart(TxElement& element)
{
    FParser.Flush();
    element.SetNameID(Intern(TrimView(FParser.ReadViewUntilBlankOrEndTag(FSpill))));
    const int c = ParseAttributeList(element);
    if (c == '>')
        return true;
    if (FDoc.FAbortParsing)
        return false;
    if (c == '/') {
        const int d = FParser.NextChar();
        if (d == '>') {
            element.SetNodeClosingStyle(ncClose);
            element.SetSourcePosition(FParser.GetPosition());
            return false;
        }
    }
    Report(wsWarn, "illegal end tag (\"%s\") at line %lld (streampos %lld)", std::string(element.Name()).c_str(), Line(), Pos());
    element.SetSourcePosition(FParser.GetPosition());
    return false;
}

// The open elements are the chain of parents from the current element up to
// the root, so nesting costs no memory beyond the nodes themselves.
void TxLoader::ParseElementTree(TxElement& root)
{
    if (!ParseElementStart(root))
        return;
    TxElement* current = &root;
    while (current) {
        if (FDoc.FAbortParsing)
            return;
        bool found = false;
        const std::string_view text = TrimRightView(FParser.ReadViewUntilChar('<', &found, FSpill));
        if (!text.empty())
            current->NodeAdd(Arena(), New<TxCharData>(Intern(text)));
        ChargeSpill();
        if (!found) {
            Report(wsFail, "stream terminated prematurely at pos %lld", Pos());
            EndOpenElements(current, root);
            return;
        }
        TxTagStart seen;
        const TxElementType kind = RecogniseTag(seen);
        switch (kind) {
        case xeEndTag: {
            const std::string_view name = TrimView(FParser.ReadViewUntilChar('>', nullptr, FSpill));
            current->SetNodeClosingStyle(ncFull);
            if (name != current->Name())
                Report(wsWarn, "begin and end tag mismatch: \"%s\" and \"%s\" at line %lld (pos %lld)",
                       std::string(current->Name()).c_str(), std::string(name).c_str(), Line(), Pos());
            current->SetSourcePosition(FParser.GetPosition());
            // Every element below the root has an element for its parent.
            current = current == &root ? nullptr : static_cast<TxElement*>(current->Parent());
            break;
        }
        case xeElement: {
            auto* child = New<TxElement>(0u);
            current->NodeAdd(Arena(), child);
            if (ParseElementStart(*child))
                current = child;
            break;
        }
        case xeComment:
        case xeCData:
        case xeInstruction:
            current->NodeAdd(Arena(), ParseText(kind));
            break;
        default:
            Report(wsWarn, "illegal tag (\"%s\") at pos %lld", seen.c_str(), Pos());
            EndOpenElements(current, root);
            return;
        }
    }
}

void TxLoader::EndOpenElements(TxElement* innermost, const TxElement& root)
{
    TxElement* ended = innermost;
    ended->SetSourcePosition(FParser.GetPosition());
    while (ended != &root) {
        FTicker.Tick();
        Report(wsWarn, "level mismatch between subnode \"%s\" and endnode \"%s\" at line %lld (pos %lld)",
               std::string(ended->Name()).c_str(), "nil", Line(), Pos());
        ended = static_cast<TxElement*>(ended->Parent());
        ended->SetSourcePosition(FParser.GetPosition());
    }
}

void TxLoader::NodeLimitReached()
{
    if (FDoc.FAbortParsing)
        return;
    Report(wsFail, "node limit of %u reached at pos %lld", FDoc.FMaxNodeCount, Pos());
    FDoc.FAbortParsing = true;
}

// Only a well-formed attribute, a name and a quoted value, becomes a node.
// A malformed one (no name, as in a lone "=", or no quoted value) is
// reported as before and dropped: kept, a text of nothing but "=" signs
// would cost a node per byte.
int TxLoader::ParseAttributeList(TxContainerNode& node)
{
    std::string blanks;
    for (;;) {
        FTicker.Tick();
        if (FDoc.FAbortParsing)
            return EndOfInput;
        blanks.clear();
        const int c = FParser.NextCharSkipBlanks(blanks);
        if (c == EndOfInput || c == '!' || c == '/' || c == '>' || c == '?')
            return c;
        if (c == '"' || c == '\'') {
            Report(wsWarn, "illegal quote at pos %lld", Pos());
            continue;
        }
        if (Reporting() && blanks != " ")
            Report(wsHint, "non-default chardata at line %lld (pos %lld)", Line(), Pos());
        FParser.MoveBack();
        // Reading on may move the buffer the name lies in.
        FName.assign(TrimView(FParser.ReadViewUntilChar('=', nullptr, FSpill)));
        ChargeSpill();
        const int quote = FParser.NextCharSkipBlanks(blanks);
        if (quote == '"' || quote == '\'') {
            const std::string_view value = FParser.ReadViewUntilChar(static_cast<char>(quote), nullptr, FSpill);
            ChargeSpill();
            if (!FName.empty()) {
                const uint32_t nameID = Intern(FName); // the name's ID comes first
                node.AttributeAdd(Arena(), New<TxAttribute>(nameID, Intern(value), quote == '"' ? qsQuote : qsApos));
            }
        } else {
            Report(wsWarn, "quote char expected at pos %lld", Pos());
            // The byte is left for the list to judge, so a ">" still ends it.
            if (quote != EndOfInput)
                FParser.MoveBack();
        }
    }
}

TXmlNode* TxLoader::ParseText(TxElementType kind)
{
    const char* terminator = kind == xeComment ? "-->" : kind == xeCData ? "]]>" : "?>";
    const uint32_t id = Intern(FParser.ReadStringUntil(terminator));
    TXmlNode* node;
    if (kind == xeComment)
        node = New<TxComment>(id);
    else if (kind == xeCData)
        node = New<TxCData>(id);
    else
        node = New<TxInstruction>(id);
    node->SetSourcePosition(FParser.GetPosition());
    return node;
}

void TxLoader::ParseDeclaration(TxDeclaration& declaration)
{
    const int c = ParseAttributeList(declaration);
    if (c == '?' && FParser.NextChar() == '>') {
        // One line end directly after the declaration belongs to it.
        const int next = FParser.NextChar();
        if (next != '\n' && next != EndOfInput)
            FParser.MoveBack();
    } else {
        Report(wsWarn, "illegal end tag (\"%s\") at line %lld (streampos %lld)", std::string(declaration.Name()).c_str(), Line(),
               Pos());
    }
    declaration.SetSourcePosition(FParser.GetPosition());
}

TxDtdElement* TxLoader::NewMarkupDeclaration(TxElementType kind)
{
    switch (kind) {
    case xeDtdAttList:
        return New<TxDtdAttList>(0u);
    case xeDtdEntity:
        return New<TxDtdEntity>(0u);
    case xeDtdNotation:
        return New<TxDtdNotation>(0u);
    default:
        return New<TxDtdElement>(0u);
    }
}

void TxLoader::ParseMarkupDeclaration(TxDtdElement& declaration)
{
    std::string blanks;
    if (FParser.NextCharSkipBlanks(blanks) != EndOfInput)
        FParser.MoveBack();
    std::string name = FParser.ReadStringUntilBlankOrEndTag();
    Trim(name);
    declaration.SetNameID(Intern(name));
    bool found = false;
    std::string text = FParser.ReadStringUntilCharOutsideQuotes('>', &found);
    Trim(text);
    if (!text.empty())
        declaration.NodeAdd(Arena(), New<TxCharData>(Intern(text)));
    if (!found)
        Report(wsWarn, "stream terminated prematurely at pos %lld", Pos());
    declaration.SetSourcePosition(FParser.GetPosition());
}

void TxLoader::ReadLiteral(uint32_t& literal)
{
    std::string blanks;
    const int quote = FParser.NextCharSkipBlanks(blanks);
    if (quote == '"' || quote == '\'') {
        literal = Intern(FParser.ReadQuotedString(static_cast<char>(quote)));
        return;
    }
    Report(wsWarn, "quote char expected at pos %lld", Pos());
    if (quote != EndOfInput)
        FParser.MoveBack();
}

void TxLoader::ParseDocType(TxDocType& docType)
{
    std::string blanks;
    if (FParser.NextCharSkipBlanks(blanks) != EndOfInput)
        FParser.MoveBack();
    std::string name = FParser.ReadStringUntilBlankOrEndTag();
    Trim(name);
    docType.SetNameID(Intern(name));
    int c = FParser.NextCharSkipBlanks(blanks);
    if (c != '[' && c != '>') {
        if (c != EndOfInput)
            FParser.MoveBack();
        if (FParser.CheckString("system")) {
            docType.FExternalID = Intern("SYSTEM");
            ReadLiteral(docType.FSystemLiteral);
        } else if (FParser.CheckString("public")) {
            docType.FExternalID = Intern("PUBLIC");
            ReadLiteral(docType.FPubIDLiteral);
            ReadLiteral(docType.FSystemLiteral);
        } else {
            Report(wsWarn, "illegal tag (\"%s\") at pos %lld", name.c_str(), Pos());
            docType.SetSourcePosition(FParser.GetPosition());
            return;
        }
        c = FParser.NextCharSkipBlanks(blanks);
    }
    if (c == '[') {
        if (!ParseInternalSubset(docType))
            return;
        c = FParser.NextCharSkipBlanks(blanks);
    }
    if (c != '>')
        Report(wsWarn, "illegal tag (\"%s\") at pos %lld", name.c_str(), Pos());
    docType.SetSourcePosition(FParser.GetPosition());
}

// The declarations between "[" and "]"; false when the document type ended
// inside them.
bool TxLoader::ParseInternalSubset(TxDocType& docType)
{
    for (;;) {
        if (FDoc.FAbortParsing)
            return false;
        int hit = EndOfInput;
        std::string text = FParser.ReadStringUntilEither('<', ']', hit);
        TrimRight(text);
        if (!text.empty())
            docType.NodeAdd(Arena(), New<TxCharData>(Intern(text)));
        if (hit == EndOfInput) {
            Report(wsFail, "stream terminated prematurely at pos %lld", Pos());
            return false;
        }
        if (hit == ']')
            return true;
        TxTagStart seen;
        const TxElementType kind = RecogniseTag(seen);
        switch (kind) {
        case xeComment:
        case xeInstruction:
            docType.NodeAdd(Arena(), ParseText(kind));
            break;
        case xeDtdElement:
        case xeDtdAttList:
        case xeDtdEntity:
        case xeDtdNotation: {
            TxDtdElement* declaration = NewMarkupDeclaration(kind);
            docType.NodeAdd(Arena(), declaration);
            ParseMarkupDeclaration(*declaration);
            break;
        }
        default:
            Report(wsWarn, "illegal tag (\"%s\") at pos %lld", seen.c_str(), Pos());
            return false;
        }
    }
}

} // namespace addoscope::xml
