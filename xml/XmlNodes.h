#pragma once
// The node tree of an XML document. Names and values live in the owning
// document's string table; nodes hold their IDs. Every container owns its
// subnodes; the attributes come first, then the other subnodes in document
// order. Destroying a tree never recurses, however deep it is.
#include "xml/XmlTypes.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace addoscope::xml {

class TXmlDoc;
class TxContainerNode;

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
    // Where in the decoded text the reader was when the node was finished.
    int64_t SourcePosition() const { return FSourcePos; }
    void SetSourcePosition(int64_t position) { FSourcePos = position; }

    // Identifies the name for the search's case-folding cache: the string
    // ID for written names, a value of its own for each fixed name.
    virtual uint64_t NameKey() const { return (uint64_t(1) << 32) | static_cast<uint32_t>(ElementType()); }

protected:
    explicit TXmlNode(TXmlDoc& owner) : FOwner(&owner) {}

private:
    friend class TxContainerNode;
    TxContainerNode* FParent = nullptr;
    TXmlDoc* FOwner;
    int64_t FSourcePos = 0;
};

// An owning list of nodes.
class TxNodeList {
public:
    TxNodeList() = default;
    ~TxNodeList() { Clear(); }
    TxNodeList(const TxNodeList&) = delete;
    TxNodeList& operator=(const TxNodeList&) = delete;

    int Count() const { return static_cast<int>(FItems.size()); }
    // None for an index out of range.
    TXmlNode* Items(int index) const;
    TXmlNode* operator[](int index) const { return Items(index); }

    TXmlNode* Add(std::unique_ptr<TXmlNode> node);
    TXmlNode* Insert(int index, std::unique_ptr<TXmlNode> node);
    void Delete(int index);
    // Frees every node and its whole subtree without recursion.
    void Clear();

private:
    friend class TxContainerNode;
    std::vector<std::unique_ptr<TXmlNode>> FItems;
};

class TxAttribute;

class TxContainerNode : public TXmlNode {
public:
    int NodeCount() const override { return FNodes.Count(); }
    TXmlNode* Nodes(int index) const override { return FNodes.Items(index); }
    TxContainerNode* AsContainer() override { return this; }
    const TxContainerNode* AsContainer() const override { return this; }

    int AttributeCount() const { return FDirectNodeCount; }
    int ValueIndex() const { return FValueIndex; }
    TxNodeClosingStyle NodeClosingStyle() const { return FNodeClosingStyle; }
    void SetNodeClosingStyle(TxNodeClosingStyle style) { FNodeClosingStyle = style; }

    // Inserted after the attributes already there, before other subnodes.
    TxAttribute* AttributeAdd(std::unique_ptr<TxAttribute> attribute);
    // Appended after all subnodes; the first text child becomes the value.
    TXmlNode* NodeAdd(std::unique_ptr<TXmlNode> node);

protected:
    using TXmlNode::TXmlNode;

private:
    friend class TxNodeList;
    TxNodeList FNodes;
    int FDirectNodeCount = 0;
    int FValueIndex = -1;
    TxNodeClosingStyle FNodeClosingStyle = ncClose;
};

class TxElement : public TxContainerNode {
public:
    TxElement(TXmlDoc& owner, uint32_t nameID) : TxContainerNode(owner), FNameID(nameID) {}
    TxElementType ElementType() const override { return xeElement; }
    std::string_view Name() const override;
    // The values of the text and CDATA children, concatenated in order.
    std::string Value() const override;
    uint64_t NameKey() const override { return FNameID; }
    void SetNameID(uint32_t id) { FNameID = id; }

private:
    uint32_t FNameID;
};

class TxAttribute : public TXmlNode {
public:
    TxAttribute(TXmlDoc& owner, uint32_t nameID, uint32_t valueID, TxQuoteStyle quote)
        : TXmlNode(owner), FNameID(nameID), FValueID(valueID), FQuoteStyle(quote)
    {
    }
    TxElementType ElementType() const override { return xeAttribute; }
    std::string_view Name() const override;
    std::string Value() const override;
    uint64_t NameKey() const override { return FNameID; }
    TxQuoteStyle QuoteStyle() const { return FQuoteStyle; }
    // The value as written between the quotes.
    std::string_view RawValue() const;

private:
    uint32_t FNameID;
    uint32_t FValueID;
    TxQuoteStyle FQuoteStyle;
};

// Text; stored as written (references unexpanded, line ends already LF).
class TxCharData : public TXmlNode {
public:
    TxCharData(TXmlDoc& owner, uint32_t valueID) : TXmlNode(owner), FValueID(valueID) {}
    TxElementType ElementType() const override { return xeCharData; }
    std::string_view Name() const override;
    std::string Value() const override;
    std::string_view RawValue() const;

private:
    uint32_t FValueID;
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
    explicit TxDeclaration(TXmlDoc& owner) : TxContainerNode(owner) {}
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
    TxDocType(TXmlDoc& owner, uint32_t nameID) : TxContainerNode(owner), FNameID(nameID) {}
    TxElementType ElementType() const override { return xeDocType; }
    std::string_view Name() const override;
    uint64_t NameKey() const override { return FNameID; }
    void SetNameID(uint32_t id) { FNameID = id; }

    // "SYSTEM", "PUBLIC" or empty, and the two literals, as string IDs.
    uint32_t FExternalID = 0;
    uint32_t FPubIDLiteral = 0;
    uint32_t FSystemLiteral = 0;

private:
    uint32_t FNameID;
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

} // namespace addoscope::xml
