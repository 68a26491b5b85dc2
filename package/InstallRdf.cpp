#include "package/InstallRdf.h"

#include "base/Budget.h"
#include "base/Text.h"
#include "platform/Platform.h"
#include "xml/XmlDoc.h"

#include <string_view>
#include <utility>

namespace addoscope::package {

namespace {

// Manifest values are nearly always ASCII, which widens unit for unit; any
// other text is decoded in full.
std::u16string Utf16Of(std::string_view text)
{
    for (const char c : text)
        if (static_cast<unsigned char>(c) >= 0x80)
            return base::Utf8ToUtf16(text);
    return std::u16string(text.begin(), text.end());
}

// The node's value in UTF-16, taken straight from the document's text when
// no reference or line end in it needs converting.
std::u16string ValueOf(const xml::TXmlNode& node)
{
    std::string_view stored;
    if (xml::StoredValue(node, stored))
        return Utf16Of(stored);
    return Utf16Of(node.Value());
}

// As JoinValue, without copying the value into an empty field.
void Join(std::u16string& field, std::u16string&& value)
{
    if (field.empty())
        field = std::move(value);
    else
        field = JoinValue(std::move(field), value);
}

enum class TProperty {
    None, ID, Name, Version, Type, Description, Creator, Contributor, Developer, Translator,
    HomePageURL, UpdateURL, TargetPlatform, TargetApplication
};

// Property names compare exactly, letter case included.
TProperty PropertyOf(std::string_view name)
{
    // Views, so that a name of another length is passed over at once.
    static constexpr struct {
        std::string_view Name;
        TProperty Property;
    } table[] = {
        {"em:id", TProperty::ID},
        {"em:name", TProperty::Name},
        {"em:version", TProperty::Version},
        {"em:type", TProperty::Type},
        {"em:description", TProperty::Description},
        {"em:creator", TProperty::Creator},
        {"em:contributor", TProperty::Contributor},
        {"em:developer", TProperty::Developer},
        {"em:translator", TProperty::Translator},
        {"em:homepageURL", TProperty::HomePageURL},
        {"em:updateURL", TProperty::UpdateURL},
        {"em:targetPlatform", TProperty::TargetPlatform},
        {"em:targetApplication", TProperty::TargetApplication},
    };
    for (const auto& entry : table)
        if (name == entry.Name)
            return entry.Property;
    return TProperty::None;
}

void ApplyProperty(TAddoscope& record, const xml::TXmlNode& node)
{
    const TProperty property = PropertyOf(node.Name());
    if (property == TProperty::None)
        return;
    if (property == TProperty::TargetApplication) {
        ReadTargetApplication(record, node);
        return;
    }
    std::u16string value = ValueOf(node);
    switch (property) {
    case TProperty::ID:
        record.ID = std::move(value);
        break;
    case TProperty::Name:
        record.Name = std::move(value);
        break;
    case TProperty::Version:
        record.Version = std::move(value);
        break;
    case TProperty::Type:
        record.AddonType = AddonTypeName(value);
        break;
    case TProperty::Description:
        record.Description = std::move(value);
        break;
    case TProperty::Creator:
        record.Creator = std::move(value);
        break;
    case TProperty::Contributor:
        Join(record.Contributor, std::move(value));
        break;
    case TProperty::Developer:
        Join(record.Developer, std::move(value));
        break;
    case TProperty::Translator:
        Join(record.Translator, std::move(value));
        break;
    case TProperty::HomePageURL:
        record.HomePageURL = std::move(value);
        break;
    case TProperty::UpdateURL:
        record.UpdateURL = std::move(value);
        break;
    case TProperty::TargetPlatform:
        Join(record.TargetPlatform, std::move(value));
        break;
    default:
        break;
    }
}

const xml::TXmlNode* FindRdfRoot(const xml::TXmlDoc& doc)
{
    const xml::TxNodeList& roots = doc.RootNodes();
    for (int i = 0; i < roots.Count(); ++i) {
        base::BudgetTick();
        const xml::TXmlNode* node = roots[i];
        if (node && node->ElementType() == xml::xeElement && node->Name() == "RDF")
            return node;
    }
    return nullptr;
}

} // namespace

void ReadTargetApplication(TAddoscope& record, const xml::TXmlNode& node)
{
    const xml::TXmlNode* description = node.FindNode("Description");
    if (!description)
        return;
    std::u16string id;
    std::u16string minVersion;
    std::u16string maxVersion;
    for (int i = 0; i < description->NodeCount(); ++i) {
        base::BudgetTick();
        const xml::TXmlNode* property = description->Nodes(i);
        if (!property)
            continue;
        const std::string_view name = property->Name();
        if (name == "em:id")
            id = ValueOf(*property);
        else if (name == "em:minVersion")
            minVersion = ValueOf(*property);
        else if (name == "em:maxVersion")
            maxVersion = ValueOf(*property);
    }
    AddTargetApplication(record, id, minVersion, maxVersion);
}

bool ReadInstallRdf(base::TStream& stream, TAddoscope& record, const std::u16string& kind)
{
    record.FileType = kind;
    // The kind is nearly always written exactly so; only another spelling
    // needs the locale's comparison.
    if (kind != u"XML" && !platform::SameTextLocale(kind, u"XML"))
        return false;
    try {
        xml::TXmlDoc doc;
        stream.Seek(0, base::TSeekOrigin::soBeginning);
        doc.LoadFromStream(stream);
        if (doc.IsEmpty())
            return false;
        const xml::TXmlNode* rdf = FindRdfRoot(doc);
        if (!rdf)
            return false;
        const xml::TXmlNode* description = rdf->FindNode("Description");
        if (!description)
            description = rdf->FindNode("RDF:Description");
        if (!description)
            return false;
        const int count = description->NodeCount();
        for (int i = 0; i < count; ++i) {
            base::BudgetTick();
            if (const xml::TXmlNode* property = description->Nodes(i))
                ApplyProperty(record, *property);
        }
        // A legacy add-on installs under its own ID.
        record.ExtensionID = record.ID;
        return true;
    } catch (...) {
        return false;
    }
}

} // namespace addoscope::package
