#include "xml/XmlNodes.h"

#include "xml/XmlDoc.h"
#include "xml/XmlValue.h"

#include <cstring>

namespace addoscope::xml {

// What a tiny node costs is what bounds a document of tiny nodes. (The sizes
// also catch a member that would own memory, which the arena never frees.)
static_assert(sizeof(void*) != 8 || sizeof(TxElement) == 48);
static_assert(sizeof(void*) != 8 || sizeof(TxAttribute) == 40);
static_assert(sizeof(void*) != 8 || sizeof(TxCharData) == 32);
static_assert(sizeof(void*) != 8 || sizeof(TxDocType) == 64);

// ---- TxNodeList ------------------------------------------------------------

void TxNodeList::Delete(int index)
{
    if (index < 0 || index >= Count())
        return;
    std::memmove(FItems + index, FItems + index + 1, (FCount - static_cast<uint32_t>(index) - 1) * sizeof(TXmlNode*));
    --FCount;
}

void TxNodeList::Clear()
{
    FItems = nullptr;
    FCount = 0;
}

// ---- TXmlNode and containers -------------------------------------------------

TXmlNode* TXmlNode::Nodes(int) const
{
    return nullptr;
}

namespace {

bool IsTextKind(TxElementType type)
{
    return type == xeCharData || type == xeCData || type == xeWhiteSpace;
}

} // namespace

int TxContainerNode::ValueIndex() const
{
    for (uint32_t i = 0; i < FCount; ++i) {
        base::BudgetTick();
        if (IsTextKind(FItems[i]->ElementType()))
            return static_cast<int>(i);
    }
    return -1;
}

TxAttribute* TxContainerNode::AttributeAdd(TxArena& arena, TxAttribute* attribute)
{
    attribute->FParent = this;
    uint32_t attributes = FDirectNodeCount;
    arena.Insert(FItems, FCount, attributes, attribute);
    FDirectNodeCount = attributes + 1;
    return attribute;
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
    return Owner().SymbolTable().GetString(FTextID);
}

std::string TxElement::Value() const
{
    std::string value;
    const int count = NodeCount();
    for (int i = AttributeCount(); i < count; ++i) {
        base::BudgetTick();
        const TXmlNode* node = Nodes(i);
        // The usual single text is taken as it is, not copied again.
        if (IsTextKind(node->ElementType())) {
            if (value.empty())
                value = node->Value();
            else
                value += node->Value();
        }
    }
    return value;
}

namespace {

// Whether ExpandText gives the stored text back as it is.
bool ExpandsToItself(std::string_view stored, TxEolStyle eolStyle)
{
    return stored.find('&') == std::string_view::npos &&
           (eolStyle == esLF || stored.find('\n') == std::string_view::npos);
}

} // namespace

bool StoredValue(const TXmlNode& node, std::string_view& value)
{
    const TxEolStyle eolStyle = node.Owner().EolStyle();
    switch (node.ElementType()) {
    case xeAttribute:
        value = static_cast<const TxAttribute&>(node).RawValue();
        return ExpandsToItself(value, eolStyle);
    case xeCharData:
    case xeWhiteSpace:
        value = static_cast<const TxCharData&>(node).RawValue();
        return ExpandsToItself(value, eolStyle);
    case xeCData:
        value = static_cast<const TxCData&>(node).RawValue();
        return true;
    case xeElement:
        break;
    default:
        return false;
    }
    // As TxElement::Value: the text children are what counts.
    const auto& element = static_cast<const TxElement&>(node);
    const TXmlNode* text = nullptr;
    for (int i = element.AttributeCount(); i < element.NodeCount(); ++i) {
        base::BudgetTick();
        const TXmlNode* child = element.Nodes(i);
        if (!IsTextKind(child->ElementType()))
            continue;
        if (text)
            return false;
        text = child;
    }
    if (!text) {
        value = {};
        return true;
    }
    return StoredValue(*text, value);
}

std::string_view TxAttribute::Name() const
{
    return Owner().SymbolTable().GetString(FTextID);
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
    return Owner().SymbolTable().GetString(FTextID);
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
    return Owner().SymbolTable().GetString(FTextID);
}

} // namespace addoscope::xml
