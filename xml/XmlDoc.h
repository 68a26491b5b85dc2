#pragma once
// An XML document loaded from a stream into a tree of nodes. The reader is
// lenient: malformed markup never raises; the tree holds what could be read
// and the problems go only to the optional diagnostics handler.
#include "base/Stream.h"
#include "xml/XmlNodes.h"
#include "xml/XmlStringTable.h"
#include "xml/XmlTypes.h"

#include <string>

namespace addoscope::xml {

class TXmlDoc {
public:
    // A new document holds one element with an empty name, so it is empty.
    TXmlDoc();
    ~TXmlDoc();
    TXmlDoc(const TXmlDoc&) = delete;
    TXmlDoc& operator=(const TXmlDoc&) = delete;

    // Replaces the content by the XML read from the stream's position to its
    // end. Only an error of the stream itself passes through.
    void LoadFromStream(base::TStream& stream);

    // No document-level element, or the first one has no subnodes, no value
    // and no name.
    bool IsEmpty() const;
    // The first document-level element, or none.
    TxElement* Root() const;

    const TxNodeList& RootNodes() const { return FRootNodes; }
    // Nodes loaded, and the most a load builds: at the limit loading stops
    // with a diagnostic, keeping what was read. The default is far beyond
    // any real document (an install manifest holds hundreds of nodes) and
    // keeps a document of tiny nodes to about 20 MB of tree, however large
    // its text.
    static constexpr uint32_t DefaultMaxNodeCount = 262144;
    uint32_t LoadedNodeCount() const { return FNodeCount; }
    uint32_t MaxNodeCount() const { return FMaxNodeCount; }
    void SetMaxNodeCount(uint32_t count) { FMaxNodeCount = count; }
    TxSymbolTable& SymbolTable() { return FSymbolTable; }
    const TxSymbolTable& SymbolTable() const { return FSymbolTable; }

    void SetOnDebugOut(TxDebugOutHandler handler) { FDiagnostics.SetHandler(std::move(handler)); }
    const TxDiagnostics& Diagnostics() const { return FDiagnostics; }
    // A diagnostics handler may stop the loading by setting this.
    void SetAbortParsing(bool abort) { FAbortParsing = abort; }
    bool AbortParsing() const { return FAbortParsing; }

    TxXmlFormat XmlFormat() const { return FXmlFormat; }
    void SetXmlFormat(TxXmlFormat format) { FXmlFormat = format; }
    bool PreserveWhiteSpace() const { return FXmlFormat == xfPreserve; }
    // How line ends appear in returned values.
    TxEolStyle EolStyle() const { return FEolStyle; }
    void SetEolStyle(TxEolStyle style) { FEolStyle = style; }
    bool DropCommentsOnParse() const { return FDropCommentsOnParse; }
    void SetDropCommentsOnParse(bool drop) { FDropCommentsOnParse = drop; }

    // The encoding named by the declaration after loading (UTF-8 without
    // one); informational only, the decoding never depends on it.
    TxStringEncoding ExternalEncoding() const { return FExternalEncoding; }
    bool HasDeclaration() const { return FHasDeclaration; }
    bool HasDocType() const { return FHasDocType; }

private:
    friend class TxLoader;
    void Clear();

    TxArena FArena; // the nodes; declared first, so it is freed last
    TxSymbolTable FSymbolTable;
    TxNodeList FRootNodes;
    uint32_t FNodeCount = 0;
    uint32_t FMaxNodeCount = DefaultMaxNodeCount;
    TxDiagnostics FDiagnostics;
    bool FAbortParsing = false;
    TxXmlFormat FXmlFormat = xfCompact;
    TxEolStyle FEolStyle = esCRLF;
    TxStringEncoding FExternalEncoding = seUTF8;
    bool FDropCommentsOnParse = false;
    bool FHasDeclaration = false;
    bool FHasDocType = false;
};

} // namespace addoscope::xml
