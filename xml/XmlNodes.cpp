#include "xml/XmlNodes.h"

#include "xml/XmlDoc.h"
#include "xml/XmlValue.h"

namespace addoscope::xml {

// ---- TxNodeList ------------------------------------------------------------

TXmlNode* TxNodeList::Items(int index) const
{
    if (index < 0 || index >= Count())
        return nullptr;
    return FItems[static_cast<size_t>(index)].get();
}

TXmlNode* TxNodeList::Add(std::unique_ptr<TXmlNode> node)
{
    FItems.push_back(std::move(node));
    return FItems.back().get();
}

TXmlNode* TxNodeList::Insert(int index, std::unique_ptr<TXmlNode> node)
{
    if (index < 0 || index > Count())
        index = Count();
    auto at = FItems.insert(FItems.begin() + index, std::move(node));
    return at->get();
}

void TxNodeList::Delete(int index)
{
    if (index < 0 || index >= Count())
        return;
    std::unique_ptr<TXmlNode> node = std::move(FItems[static_cast<size_t>(index)]);
    FItems.erase(FItems.begin() + index);
    TxNodeList single;
    single.FItems.push_back(std::move(node));
}

// A document nested a million levels deep must not be freed by a million
// nested destructor calls: the subnodes of each node are moved to a work
// list before the node dies, so every destructor finds an empty list.
void TxNodeList::Clear()
{
    std::vector<std::unique_ptr<TXmlNode>> pending = std::move(FItems);
    FItems.clear();
    while (!pending.empty()) {
        std::unique_ptr<TXmlNode> node = std::move(pending.back());
        pending.pop_back();
        if (TxContainerNode* container = node->AsContainer()) {
            auto& items = container->FNodes.FItems;
            for (auto& item : items)
                pending.push_back(std::move(item));
            items.clear();
        }
    }
}

// ---- TXmlNode and containers -------------------------------------------------

TXmlNode* TXmlNode::Nodes(int) const
{
    return nullptr;
}

TxAttribute* TxContainerNode::AttributeAdd(std::unique_ptr<TxAttribute> attribute)
{
    attribute->FParent = this;
    TXmlNode* added = FNodes.Insert(FDirectNodeCount, std::move(attribute));
    ++FDirectNodeCount;
    if (FValueIndex >= 0)
        ++FValueIndex;
    return static_cast<TxAttribute*>(added);
}

TXmlNode* TxContainerNode::NodeAdd(std::unique_ptr<TXmlNode> node)
{
    node->FParent = this;
    const TxElementType type = node->ElementType();
    if (FValueIndex < 0 && (type == xeCharData || type == xeCData || type == xeWhiteSpace))
        FValueIndex = FNodes.Count();
    return FNodes.Add(std::move(node));
}

// ---- Names and values ------------------------------------------------------

namespace {

std::string_view FixedName(TxElementType type)
{
    static const std::string names[] = {"Text", "WhiteSpace", "QuotedText", "Comment", "CData",
                                        "ConditionalSection", "PI", "xml", "xml-stylesheet"};
    switch (type) {
    case xeWhiteSpace:
        return names[1];
    case xeQuotedText:
        return names[2];
    case xeComment:
        return names[3];
    case xeCData:
        return names[4];
    case xeCondSection:
        return names[5];
    case xeInstruction:
        return names[6];
    case xeDeclaration:
        return names[7];
    case xeStylesheet:
        return names[8];
    default:
        return names[0];
    }
}

} // namespace

std::string_view TxElement::Name() const
{
    return Owner().SymbolTable().GetString(FNameID);
}

std::string TxElement::Value() const
{
    std::string value;
    const int count = NodeCount();
    for (int i = ValueIndex() < 0 ? count : ValueIndex(); i < count; ++i) {
        const TXmlNode* node = Nodes(i);
        const TxElementType type = node->ElementType();
        if (type == xeCharData || type == xeCData || type == xeWhiteSpace)
            value += node->Value();
    }
    return value;
}

std::string_view TxAttribute::Name() const
{
    return Owner().SymbolTable().GetString(FNameID);
}

std::string_view TxAttribute::RawValue() const
{
    return Owner().SymbolTable().GetString(FValueID);
}

std::string TxAttribute::Value() const
{
    return ExpandText(RawValue(), Owner().EolStyle());
}

std::string_view TxCharData::Name() const
{
    return FixedName(xeCharData);
}

std::string_view TxCharData::RawValue() const
{
    return Owner().SymbolTable().GetString(FValueID);
}

std::string TxCharData::Value() const
{
    return ExpandText(RawValue(), Owner().EolStyle());
}

std::string_view TxWhiteSpace::Name() const
{
    return FixedName(xeWhiteSpace);
}

std::string_view TxQuotedText::Name() const
{
    return FixedName(xeQuotedText);
}

std::string_view TxComment::Name() const
{
    return FixedName(xeComment);
}

std::string_view TxCData::Name() const
{
    return FixedName(xeCData);
}

std::string_view TxConditionalSection::Name() const
{
    return FixedName(xeCondSection);
}

std::string_view TxInstruction::Name() const
{
    return FixedName(xeInstruction);
}

std::string_view TxDeclaration::Name() const
{
    return FixedName(xeDeclaration);
}

std::string_view TxStyleSheet::Name() const
{
    return FixedName(xeStylesheet);
}

std::string_view TxDocType::Name() const
{
    return Owner().SymbolTable().GetString(FNameID);
}

} // namespace addoscope::xml
