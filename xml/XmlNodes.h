#pragma once
// The node tree of an XML document. Names and values live in the owning
// document's string table; nodes hold their IDs. A container's subnodes are
// its attributes first, then the other subnodes in document order. Nodes
// and subnode arrays live in the document's arena (xml/XmlArena.h) and are
// freed with it, so destroying a tree never recurses, however deep it is.
// Nodes are kept small, as a document of tiny nodes is bounded only by how
// many fit in its text: an element takes 48 bytes, an attribute 40 and a
// text 32, plus 8 for its entry in its parent's array.
#include "xml/XmlArena.h"
#include "xml/XmlTypes.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace addoscope::xml {

class TXmlDoc;
class TxContainerNode;

// Nodes live in their document's arena and are freed with it: no destructor
// of a node ever runs, so no node class may own anything.
class TXmlNode {
public:
    virtual ~TXmlNode() = default;
    TXmlNode(const TXmlNode&) = delete;
    TXmlNode& operator=(const TXmlNode&) = delete;

    virtual TxElementType ElementType() const = 0;
    // UTF-8, exactly as written (prefix included) or the kind's fixed name;
    // valid as long as the document holds its content.
    virtual std::string_view Name() const = 0;
    // UTF-8; references expanded and line ends converted where the kind
    // asks for it.
    virtual std::string Value() const { return {}; }
    // Subnodes, attributes included; none for an index out of range.
    virtual int NodeCount() const { return 0; }
    virtual TXmlNode* Nodes(int index) const;

    virtual TxContainerNode* AsContainer() { return nullptr; }
    virtual const TxContainerNode* AsContainer() const { return nullptr; }

    // First match in a depth-first search below this node, attributes
    // before subnodes, names compared without regard to letter case by the
    // user's locale. A name starting with "/" is matched against each
    // node's full path ("/RDF/Description").
    TXmlNode* FindNode(std::string_view name) const;
    // First direct subnode (attributes included) whose name matches.
    TXmlNode* NodeByName(std::string_view name) const;

    TxContainerNode* Parent() const { return FParent; }
    TXmlDoc& Owner() const { return *FOwner; }
    // Where in the decoded text the reader was when the node was finished
    // (positions past 4 GiB are kept as 4 GiB - 1).
    int64_t SourcePosition() const { return FSourcePos; }
    void SetSourcePosition(int64_t position)
    {
        FSourcePos = position < 0 ? 0 : position > int64_t(UINT32_MAX) ? UINT32_MAX : static_cast<uint32_t>(position);
    }

    // Identifies the name for the search's case-folding cache: the string
    // ID for written names, a value of its own for each fixed name.
    virtual uint64_t NameKey() const { return (uint64_t(1) << 32) | static_cast<uint32_t>(ElementType()); }

protected:
    TXmlNode(TXmlDoc& owner, uint32_t textID) : FOwner(&owner), FTextID(textID) {}

private:
    friend class TxContainerNode;
    TxContainerNode* FParent = nullptr;
    TXmlDoc* FOwner;
    uint32_t FSourcePos = 0;

protected:
    // The string ID of the name for the named kinds (elements, attributes,
    // document types), of the value for the text kinds. Kept here, beside
    // the position, where it fills what would be padding.
    uint32_t FTextID;
};

// The document-level nodes, in order. The document's arena holds the nodes
// and the array.
class TxNodeList {
public:
    TxNodeList() = default;
    TxNodeList(const TxNodeList&) = delete;
    TxNodeList& operator=(const TxNodeList&) = delete;

    int Count() const { return static_cast<int>(FCount); }
    // None for an index out of range.
    TXmlNode* Items(int index) const
    {
        return index < 0 || index >= Count() ? nullptr : FItems[index];
    }
    TXmlNode* operator[](int index) const { return Items(index); }

    TXmlNode* Add(TxArena& arena, TXmlNode* node)
    {
        arena.Append(FItems, FCount, node);
        return node;
    }
    // Takes the node out of the list; it stays in the arena until the
    // document is cleared.
    void Delete(int index);
    // Forgets every node; the arena frees them.
    void Clear();

private:
    TXmlNode** FItems = nullptr;
    uint32_t FCount = 0;
};

class TxAttribute;

class TxContainerNode : public TXmlNode {
public:
    int NodeCount() const override { return static_cast<int>(FCount); }
    TXmlNode* Nodes(int index) const override
    {
        return index < 0 || index >= NodeCount() ? nullptr : FItems[index];
    }
    TxContainerNode* AsContainer() override { return this; }
    const TxContainerNode* AsContainer() const override { return this; }

    int AttributeCount() const { return static_cast<int>(FDirectNodeCount); }
    // Index of the first text child (text, CDATA, white space); -1 when none.
    int ValueIndex() const;
    TxNodeClosingStyle NodeClosingStyle() const { return FClosedByEndTag ? ncFull : ncClose; }
    void SetNodeClosingStyle(TxNodeClosingStyle style) { FClosedByEndTag = style == ncFull; }

    // Inserted after the attributes already there, before other subnodes.
    TxAttribute* AttributeAdd(TxArena& arena, TxAttribute* attribute);
    // Appended after all subnodes.
    TXmlNode* NodeAdd(TxArena& arena, TXmlNode* node)
    {
        node->FParent = this;
        arena.Append(FItems, FCount, node);
        return node;
    }

protected:
    using TXmlNode::TXmlNode;

private:
    TXmlNode** FItems = nullptr; // in the arena; attributes first
    uint32_t FCount = 0;
    uint32_t FDirectNodeCount : 31 = 0;
    uint32_t FClosedByEndTag : 1 = 0;
};

class TxElement : public TxContainerNode {
public:
    TxElement(TXmlDoc& owner, uint32_t nameID) : TxContainerNode(owner, nameID) {}
    TxElementType ElementType() const override { return xeElement; }
    std::string_view Name() const override;
    // The values of the text and CDATA children, concatenated in order.
    std::string Value() const override;
    uint64_t NameKey() const override { return FTextID; }
    void SetNameID(uint32_t id) { FTextID = id; }
};

class TxAttribute : public TXmlNode {
public:
    TxAttribute(TXmlDoc& owner, uint32_t nameID, uint32_t valueID, TxQuoteStyle quote)
        : TXmlNode(owner, nameID), FValueID(valueID), FQuoteStyle(static_cast<uint8_t>(quote))
    {
    }
    TxElementType ElementType() const override { return xeAttribute; }
    std::string_view Name() const override;
    std::string Value() const override;
    uint64_t NameKey() const override { return FTextID; }
    TxQuoteStyle QuoteStyle() const { return static_cast<TxQuoteStyle>(FQuoteStyle); }
    // The value as written between the quotes.
    std::string_view RawValue() const;

private:
    uint32_t FValueID;
    uint8_t FQuoteStyle;
};

// Text; stored as written (references unexpanded, line ends already LF).
class TxCharData : public TXmlNode {
public:
    TxCharData(TXmlDoc& owner, uint32_t valueID) : TXmlNode(owner, valueID) {}
    TxElementType ElementType() const override { return xeCharData; }
    std::string_view Name() const override;
    std::string Value() const override;
    std::string_view RawValue() const;
};

class TxWhiteSpace : public TxCharData {
public:
    using TxCharData::TxCharData;
    TxElementType ElementType() const override { return xeWhiteSpace; }
    std::string_view Name() const override;
};

class TxQuotedText : public TxCharData {
public:
    using TxCharData::TxCharData;
    TxElementType ElementType() const override { return xeQuotedText; }
    std::string_view Name() const override;
};

class TxComment : public TxCharData {
public:
    using TxCharData::TxCharData;
    TxElementType ElementType() const override { return xeComment; }
    std::string_view Name() const override;
};

// The section text, never expanded or converted.
class TxCData : public TxComment {
public:
    using TxComment::TxComment;
    TxElementType ElementType() const override { return xeCData; }
    std::string_view Name() const override;
    std::string Value() const override { return std::string(RawValue()); }
};

class TxConditionalSection : public TxComment {
public:
    using TxComment::TxComment;
    TxElementType ElementType() const override { return xeCondSection; }
    std::string_view Name() const override;
};

// A processing instruction; its value is the text after "<?", target
// included.
class TxInstruction : public TxCharData {
public:
    using TxCharData::TxCharData;
    TxElementType ElementType() const override { return xeInstruction; }
    std::string_view Name() const override;
};

// The XML declaration; its pseudo-attributes are its subnodes.
class TxDeclaration : public TxContainerNode {
public:
    explicit TxDeclaration(TXmlDoc& owner) : TxContainerNode(owner, 0) {}
    TxElementType ElementType() const override { return xeDeclaration; }
    std::string_view Name() const override;
};

class TxStyleSheet : public TxDeclaration {
public:
    using TxDeclaration::TxDeclaration;
    TxElementType ElementType() const override { return xeStylesheet; }
    std::string_view Name() const override;
};

// The document type; its subnodes are the declarations of the internal
// subset.
class TxDocType : public TxContainerNode {
public:
    TxDocType(TXmlDoc& owner, uint32_t nameID) : TxContainerNode(owner, nameID) {}
    TxElementType ElementType() const override { return xeDocType; }
    std::string_view Name() const override;
    uint64_t NameKey() const override { return FTextID; }
    void SetNameID(uint32_t id) { FTextID = id; }

    // "SYSTEM", "PUBLIC" or empty, and the two literals, as string IDs.
    uint32_t FExternalID = 0;
    uint32_t FPubIDLiteral = 0;
    uint32_t FSystemLiteral = 0;
};

// Markup declarations of the internal subset: the declared name and the
// rest of the declaration as a text child.
class TxDtdElement : public TxElement {
public:
    using TxElement::TxElement;
    TxElementType ElementType() const override { return xeDtdElement; }
};

class TxDtdAttList : public TxDtdElement {
public:
    using TxDtdElement::TxDtdElement;
    TxElementType ElementType() const override { return xeDtdAttList; }
};

class TxDtdEntity : public TxDtdElement {
public:
    using TxDtdElement::TxDtdElement;
    TxElementType ElementType() const override { return xeDtdEntity; }
};

class TxDtdNotation : public TxDtdElement {
public:
    using TxDtdElement::TxDtdElement;
    TxElementType ElementType() const override { return xeDtdNotation; }
};

// The node's value as a view of its stored text, when Value() would answer
// that text unchanged: an attribute or text without references or (unless
// line ends stay LF) line ends, or an element whose one text child is such a
// text. False otherwise, and Value() gives the answer. Spares a reader of
// plain values the copies.
bool StoredValue(const TXmlNode& node, std::string_view& value);

} // namespace addoscope::xml
