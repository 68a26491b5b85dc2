#include "package/InstallRdf.h"

#include "base/Budget.h"
#include "base/Text.h"
#include "platform/Platform.h"
#include "xml/XmlDoc.h"

#include <utility>

namespace addoscope::package {

namespace {

enum class TProperty {
    None, ID, Name, Version, Type, Description, Creator, Contributor, Developer, Translator,
    HomePageURL, UpdateURL, TargetPlatform, TargetApplication
};

// Property names compare exactly, letter case included.
TProperty PropertyOf(std::string_view name)
{
    static const struct {
        const char* Name;
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
    const std::u16string value = base::Utf8ToUtf16(node.Value());
    switch (property) {
    case TProperty::ID:
        record.ID = value;
        break;
    case TProperty::Name:
        record.Name = value;
        break;
    case TProperty::Version:
        record.Version = value;
        break;
    case TProperty::Type:
        record.AddonType = AddonTypeName(value);
        break;
    case TProperty::Description:
        record.Description = value;
        break;
    case TProperty::Creator:
        record.Creator = value;
        break;
    case TProperty::Contributor:
        record.Contributor = JoinValue(std::move(record.Contributor), value);
        break;
    case TProperty::Developer:
        record.Developer = JoinValue(std::move(record.Developer), value);
        break;
    case TProperty::Translator:
        record.Translator = JoinValue(std::move(record.Translator), value);
        break;
    case TProperty::HomePageURL:
        record.HomePageURL = value;
        break;
    case TProperty::UpdateURL:
        record.UpdateURL = value;
        break;
    case TProperty::TargetPlatform:
        record.TargetPlatform = JoinValue(std::move(record.TargetPlatform), value);
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
            id = base::Utf8ToUtf16(property->Value());
        else if (name == "em:minVersion")
            minVersion = base::Utf8ToUtf16(property->Value());
        else if (name == "em:maxVersion")
            maxVersion = base::Utf8ToUtf16(property->Value());
    }
    AddTargetApplication(record, id, minVersion, maxVersion);
}

bool ReadInstallRdf(base::TStream& stream, TAddoscope& record, const std::u16string& kind)
{
    record.FileType = kind;
    if (!platform::SameTextLocale(kind, u"XML"))
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
