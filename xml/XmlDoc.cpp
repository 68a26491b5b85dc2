#include "xml/XmlDoc.h"

#include "xml/XmlLoader.h"
#include "xml/XmlParser.h"

namespace addoscope::xml {

namespace {
// Bytes per read: small, so the decoded buffer stays small too.
constexpr size_t ChunkSize = 256;
} // namespace

TXmlDoc::TXmlDoc()
{
    FSymbolTable.SetDiagnostics(&FDiagnostics);
    FRootNodes.Add(FArena, FArena.New<TxElement>(*this, 0));
}

TXmlDoc::~TXmlDoc() = default;

void TXmlDoc::Clear()
{
    FRootNodes.Clear();
    // Before the first load the arena holds only the empty element of a new
    // document: its block is kept for the load rather than freed and taken
    // again, and the few bytes stay unused until the document goes.
    if (FNodeCount > 0)
        FArena.Clear();
    FNodeCount = 0;
    FSymbolTable.Clear();
    FAbortParsing = false;
    FHasDeclaration = false;
    FHasDocType = false;
    FExternalEncoding = seUTF8;
}

void TXmlDoc::LoadFromStream(base::TStream& stream)
{
    Clear();
    TxXmlParser parser(stream, ChunkSize, FDiagnostics);
    if (parser.IsBinaryXml()) {
        // The binary document form is not read: manifests never use it.
        FDiagnostics.Send("binary XML is not supported", wsWarn);
        return;
    }
    parser.ReadBOM();
    TxLoader(*this, parser).Run();
}

TxElement* TXmlDoc::Root() const
{
    for (int i = 0; i < FRootNodes.Count(); ++i) {
        TXmlNode* node = FRootNodes[i];
        if (node->ElementType() == xeElement)
            return static_cast<TxElement*>(node);
    }
    return nullptr;
}

bool TXmlDoc::IsEmpty() const
{
    const TxElement* root = Root();
    return !root || (root->NodeCount() == 0 && root->Value().empty() && root->Name().empty());
}

} // namespace addoscope::xml
