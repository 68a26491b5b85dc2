#include "package/Addoscope.h"

#include "base/IntText.h"

#include <memory>
#include <utility>

namespace addoscope::package {

namespace {

// A plain pointer, not a smart one: it must have no destructor of its own
// that could run before the module's unload code frees the list.
TStringList* KnownApplications = nullptr;

} // namespace

TStringList& TAddoscope::StringList()
{
    if (!FSTLI) {
        AutoFreed = std::make_shared<TStringListInt>();
        FSTLI = AutoFreed.get();
    }
    return FSTLI->FList;
}

std::u16string JoinValue(std::u16string existing, const std::u16string& value)
{
    if (existing.empty())
        return value;
    existing.append(u", ").append(value);
    return existing;
}

std::u16string AddonTypeName(std::u16string_view value)
{
    int32_t number = 0;
    if (!base::TryStrToInt(value, number))
        number = 0;
    switch (number) {
    case 2:
        return u"Extension";
    case 4:
        return u"Theme";
    case 8:
        return u"Locale";
    case 16:
        return u"Plugin";
    case 32:
        return u"Multiple Item Package";
    default:
        return u"Unknown";
    }
}

void BuildKnownApplications()
{
    auto list = std::make_unique<TStringList>();
    list->Add(u"{ec8030f7-c20a-464f-9b0e-13a3a9e97384}=Firefox");
    list->Add(u"{86c18b42-e466-45a9-ae7a-9b95ba6f5640}=Mozilla Suite");
    list->Add(u"{92650c4d-4b8e-4d2a-b7eb-24ecf4f6b63a}=SeaMonkey");
    list->Add(u"{3550f703-e582-4d05-9a08-453d09bdfdc6}=Thunderbird");
    list->Add(u"{a463f10c-3994-11da-9945-000d60ca027b}=Flock");
    list->Add(u"{718e30fb-e89b-41dd-9da7-e25a45638b28}=Sunbird");
    list->Add(u"{a23983c0-fd0e-11dc-95ff-0800200c9a66}=Fennec");
    list->Add(u"{a79fe89b-6662-4ff4-8e88-09950ad4dfde}=Conkeror");
    delete KnownApplications;
    KnownApplications = list.release();
}

void FreeKnownApplications()
{
    delete KnownApplications;
    KnownApplications = nullptr;
}

std::u16string KnownApplicationName(std::u16string_view id)
{
    if (!KnownApplications)
        return {};
    const int index = KnownApplications->IndexOfName(id);
    return index < 0 ? std::u16string() : KnownApplications->ValueFromIndex(index);
}

std::u16string TargetVersionText(std::u16string_view name, const std::u16string& minVersion,
                                 const std::u16string& maxVersion)
{
    std::u16string text;
    if (minVersion.empty() && maxVersion.empty())
        return text;
    text.append(name);
    if (maxVersion.empty())
        text.append(u" >= ").append(minVersion);
    else if (minVersion.empty())
        text.append(u" <= ").append(maxVersion);
    else
        text.append(u" ").append(minVersion).append(u" - ").append(maxVersion);
    return text;
}

void AddTargetApplication(TAddoscope& record, const std::u16string& id, const std::u16string& minVersion,
                          const std::u16string& maxVersion)
{
    TStringList& list = record.StringList();
    // The list's hash index keeps this check constant-time, however many
    // applications a description names.
    if (list.IndexOfName(id) >= 0)
        return;
    list.Add(id + u"=" + minVersion + u"-" + maxVersion);
    const std::u16string name = KnownApplicationName(id);
    if (name.empty())
        return;
    record.Compatibility = JoinValue(std::move(record.Compatibility), name);
    const std::u16string versions = TargetVersionText(name, minVersion, maxVersion);
    if (!versions.empty())
        record.TargetVersions = JoinValue(std::move(record.TargetVersions), versions);
}

} // namespace addoscope::package
