#include "xml/XmlLoader.h"

#include <cstdarg>
#include <cstdio>

namespace addoscope::xml {

namespace {

constexpr int EndOfInput = TxXmlParser::EndOfInput;

void TrimRight(std::string& text)
{
    size_t end = text.size();
    while (end > 0 && static_cast<unsigned char>(text[end - 1]) <= 0x20)
        --end;
    text.resize(end);
}

void Trim(std::string& text)
{
    TrimRight(text);
    size_t start = 0;
    while (start < text.size() && static_cast<unsigned char>(text[start]) <= 0x20)
        ++start;
    text.erase(0, start);
}

std::string_view TrimRightView(std::string_view text)
{
    size_t end = text.size();
    while (end > 0 && static_cast<unsigned char>(text[end - 1]) <= 0x20)
        --end;
    return text.substr(0, end);
}

std::string_view TrimView(std::string_view text)
{
    text = TrimRightView(text);
    size_t start = 0;
    while (start < text.size() && static_cast<unsigned char>(text[start]) <= 0x20)
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

TxElementType TxLoader::RecogniseTag(std::string& seen)
{
    const int c = FParser.NextChar();
    if (c == EndOfInput)
        return xeError;
    seen.push_back(static_cast<char>(c));
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
    seen.push_back(static_cast<char>(d));
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
            FDoc.FRootNodes.Add(std::make_unique<TxCharData>(FDoc, Intern(text)));
        if (!found)
            break;

        std::string seen;
        const TxElementType kind = RecogniseTag(seen);
        switch (kind) {
        case xeError:
            Report(wsWarn, "illegal tag (\"%s\") at pos %lld", seen.c_str(), Pos());
            return;
        case xeEndTag:
            Report(wsWarn, "unsupported tag (\"%s\") at pos %lld", seen.c_str(), Pos());
            return;
        case xeElement: {
            auto* element = static_cast<TxElement*>(FDoc.FRootNodes.Add(std::make_unique<TxElement>(FDoc, 0)));
            ParseElementTree(*element);
            break;
        }
        case xeComment:
        case xeCData:
        case xeInstruction:
            FDoc.FRootNodes.Add(ParseText(kind));
            if (kind == xeComment && FDoc.FDropCommentsOnParse) {
                Report(wsInfo, "option DropCommentsOnParse is true, deleting comment");
                FDoc.FRootNodes.Delete(FDoc.FRootNodes.Count() - 1);
            }
            break;
        case xeDeclaration:
        case xeStylesheet: {
            std::unique_ptr<TxDeclaration> node;
            if (kind == xeStylesheet)
                node = std::make_unique<TxStyleSheet>(FDoc);
            else
                node = std::make_unique<TxDeclaration>(FDoc);
            auto* declaration = static_cast<TxDeclaration*>(FDoc.FRootNodes.Add(std::move(node)));
            ParseDeclaration(*declaration);
            if (kind == xeDeclaration)
                ReportDeclaration(*declaration);
            break;
        }
        case xeDocType: {
            auto* docType = static_cast<TxDocType*>(FDoc.FRootNodes.Add(std::make_unique<TxDocType>(FDoc, 0)));
            FDoc.FHasDocType = true;
            ParseDocType(*docType);
            break;
        }
        default: {
            auto* declaration = static_cast<TxDtdElement*>(FDoc.FRootNodes.Add(NewMarkupDeclaration(kind)));
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

void TxLoader::ParseElementTree(TxElement& root)
{
    if (!ParseElementStart(root))
        return;
    std::vector<TxElement*> open {&root};
    while (!open.empty()) {
        if (FDoc.FAbortParsing)
            return;
        TxElement& current = *open.back();
        bool found = false;
        const std::string_view text = TrimRightView(FParser.ReadViewUntilChar('<', &found, FSpill));
        if (!text.empty())
            current.NodeAdd(std::make_unique<TxCharData>(FDoc, Intern(text)));
        if (!found) {
            Report(wsFail, "stream terminated prematurely at pos %lld", Pos());
            EndOpenElements(open);
            return;
        }
        std::string seen;
        const TxElementType kind = RecogniseTag(seen);
        switch (kind) {
        case xeEndTag: {
            const std::string_view name = TrimView(FParser.ReadViewUntilChar('>', nullptr, FSpill));
            current.SetNodeClosingStyle(ncFull);
            if (name != current.Name())
                Report(wsWarn, "begin and end tag mismatch: \"%s\" and \"%s\" at line %lld (pos %lld)",
                       std::string(current.Name()).c_str(), std::string(name).c_str(), Line(), Pos());
            current.SetSourcePosition(FParser.GetPosition());
            open.pop_back();
            break;
        }
        case xeElement: {
            auto* child = static_cast<TxElement*>(current.NodeAdd(std::make_unique<TxElement>(FDoc, 0)));
            if (ParseElementStart(*child))
                open.push_back(child);
            break;
        }
        case xeComment:
        case xeCData:
        case xeInstruction:
            current.NodeAdd(ParseText(kind));
            break;
        default:
            Report(wsWarn, "illegal tag (\"%s\") at pos %lld", seen.c_str(), Pos());
            EndOpenElements(open);
            return;
        }
    }
}

// The innermost open element ended without its end tag; every element
// around it reports the mismatch and ends as well.
void TxLoader::EndOpenElements(std::vector<TxElement*>& open)
{
    TxElement* ended = open.back();
    open.pop_back();
    ended->SetSourcePosition(FParser.GetPosition());
    while (!open.empty()) {
        Report(wsWarn, "level mismatch between subnode \"%s\" and endnode \"%s\" at line %lld (pos %lld)",
               std::string(ended->Name()).c_str(), "nil", Line(), Pos());
        ended = open.back();
        open.pop_back();
        ended->SetSourcePosition(FParser.GetPosition());
    }
}

int TxLoader::ParseAttributeList(TxContainerNode& node)
{
    for (;;) {
        std::string blanks;
        const int c = FParser.NextCharSkipBlanks(blanks);
        if (c == EndOfInput || c == '!' || c == '/' || c == '>' || c == '?')
            return c;
        if (c == '"' || c == '\'') {
            Report(wsWarn, "illegal quote at pos %lld", Pos());
            continue;
        }
        if (blanks != " " && Reporting())
            Report(wsHint, "non-default chardata at line %lld (pos %lld)", Line(), Pos());
        FParser.MoveBack();
        const uint32_t nameID = Intern(TrimView(FParser.ReadViewUntilChar('=', nullptr, FSpill)));
        uint32_t valueID = 0;
        TxQuoteStyle quoteStyle = qsQuote;
        const int quote = FParser.NextCharSkipBlanks(blanks);
        if (quote == '"' || quote == '\'') {
            valueID = Intern(FParser.ReadViewUntilChar(static_cast<char>(quote), nullptr, FSpill));
            quoteStyle = quote == '"' ? qsQuote : qsApos;
        } else {
            Report(wsWarn, "quote char expected at pos %lld", Pos());
            // The byte is left for the list to judge, so a ">" still ends it.
            if (quote != EndOfInput)
                FParser.MoveBack();
        }
        node.AttributeAdd(std::make_unique<TxAttribute>(FDoc, nameID, valueID, quoteStyle));
    }
}

std::unique_ptr<TXmlNode> TxLoader::ParseText(TxElementType kind)
{
    const char* terminator = kind == xeComment ? "-->" : kind == xeCData ? "]]>" : "?>";
    const uint32_t id = Intern(FParser.ReadStringUntil(terminator));
    std::unique_ptr<TXmlNode> node;
    if (kind == xeComment)
        node = std::make_unique<TxComment>(FDoc, id);
    else if (kind == xeCData)
        node = std::make_unique<TxCData>(FDoc, id);
    else
        node = std::make_unique<TxInstruction>(FDoc, id);
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

std::unique_ptr<TxDtdElement> TxLoader::NewMarkupDeclaration(TxElementType kind)
{
    switch (kind) {
    case xeDtdAttList:
        return std::make_unique<TxDtdAttList>(FDoc, 0);
    case xeDtdEntity:
        return std::make_unique<TxDtdEntity>(FDoc, 0);
    case xeDtdNotation:
        return std::make_unique<TxDtdNotation>(FDoc, 0);
    default:
        return std::make_unique<TxDtdElement>(FDoc, 0);
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
    std::string text = FParser.ReadStringUntilChar('>', &found);
    Trim(text);
    if (!text.empty())
        declaration.NodeAdd(std::make_unique<TxCharData>(FDoc, Intern(text)));
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
            docType.NodeAdd(std::make_unique<TxCharData>(FDoc, Intern(text)));
        if (hit == EndOfInput) {
            Report(wsFail, "stream terminated prematurely at pos %lld", Pos());
            return false;
        }
        if (hit == ']')
            return true;
        std::string seen;
        const TxElementType kind = RecogniseTag(seen);
        switch (kind) {
        case xeComment:
        case xeInstruction:
            docType.NodeAdd(ParseText(kind));
            break;
        case xeDtdElement:
        case xeDtdAttList:
        case xeDtdEntity:
        case xeDtdNotation: {
            auto* declaration = static_cast<TxDtdElement*>(docType.NodeAdd(NewMarkupDeclaration(kind)));
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
