#pragma once
// The markup parser: builds a document's node tree from the input layer.
// Open elements are kept on a stack of their own rather than on the call
// stack, so nesting depth costs heap memory only.
#include "xml/XmlDoc.h"
#include "xml/XmlParser.h"

#include "base/Budget.h"

#include <string>
#include <utility>

namespace addoscope::xml {

// The bytes a tag began with (at most two), kept for messages.
struct TxTagStart {
    char Text[3] = {};
    unsigned Length = 0;
    void Add(int c) { Text[Length++] = static_cast<char>(c); }
    const char* c_str() const { return Text; }
};

// base::BudgetTick with the thread's budget looked up once, for the length
// of a load (which runs on one thread). In a shared library each look-up
// of thread-local storage is a call that costs more than the tick itself,
// and the loader ticks for every node, attribute and string.
class TxTicker {
public:
    void Tick(int64_t work = 1)
    {
        if ((FState.TicksLeft -= work) <= 0)
            base::detail::TickSlow();
    }

private:
    base::detail::TBudgetState& FState = base::detail::State();
};

class TxLoader {
public:
    TxLoader(TXmlDoc& doc, TxXmlParser& parser) : FDoc(doc), FParser(parser) {}
    // The document-level loop: runs until the input ends, loading is
    // aborted, or an illegal or unsupported tag stands at document level.
    void Run();

private:
    TxElementType RecogniseTag(TxTagStart& seen);
    // Name and attributes; true when content follows (">"), false when the
    // element is complete ("/>") or its start tag was malformed.
    bool ParseElementStart(TxElement& element);
    void ParseElementTree(TxElement& root);
    // The innermost open element ended without its end tag: so do the open
    // elements around it, up to the root.
    void EndOpenElements(TxElement* innermost, const TxElement& root);
    // Answers the byte that ended the list ("!", "/", ">", "?") or
    // EndOfInput.
    int ParseAttributeList(TxContainerNode& node);
    TXmlNode* ParseText(TxElementType kind);
    void ParseDeclaration(TxDeclaration& declaration);
    void ParseDocType(TxDocType& docType);
    bool ParseInternalSubset(TxDocType& docType);
    void ParseMarkupDeclaration(TxDtdElement& declaration);
    void ReadLiteral(uint32_t& literal);
    TxDtdElement* NewMarkupDeclaration(TxElementType kind);
    void ReportDeclaration(const TxDeclaration& declaration);

    // A node of the document, counted against its node limit; reaching the
    // limit stops the loading.
    template <class T, class... TArgs>
    T* New(TArgs&&... args)
    {
        FTicker.Tick();
        T* node = FDoc.FArena.New<T>(FDoc, std::forward<TArgs>(args)...);
        if (++FDoc.FNodeCount >= FDoc.FMaxNodeCount)
            NodeLimitReached();
        return node;
    }
    void NodeLimitReached();
    TxArena& Arena() { return FDoc.FArena; }
    // Counts the scratch text that ran across chunks.
    void ChargeSpill()
    {
        if (FSpill.capacity() != static_cast<size_t>(FSpillCharge.Bytes()))
            FSpillCharge.Resize(static_cast<int64_t>(FSpill.capacity()));
    }

    // As the table's AddString, ticking here.
    uint32_t Intern(std::string_view text)
    {
        if (text.empty())
            return 0;
        FTicker.Tick();
        return FDoc.FSymbolTable.AddStringTicked(text);
    }
    bool Reporting() const { return FDoc.FDiagnostics.Enabled(); }
    void Report(TxWarnStyle style, const char* format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 3, 4)))
#endif
        ;
    long long Pos() const { return static_cast<long long>(FParser.GetPosition()); }
    long long Line() const { return static_cast<long long>(FParser.GetLineNumber()); }

    TxTicker FTicker;
    TXmlDoc& FDoc;
    TxXmlParser& FParser;
    std::string FSpill; // text that ran across chunks, reused
    base::TBudgetCharge FSpillCharge;
    std::string FName;  // an attribute's name while its value is read
};

} // namespace addoscope::xml
