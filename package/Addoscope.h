#pragma once
// The add-on record: the parsed description of one package, one text per
// field the host can ask for, plus the list of target applications seen.
#include "package/StringList.h"

#include <memory>
#include <string>

namespace addoscope::package {

// Reference-counted holder of the target-application list. Copies of a
// record share one holder; it dies with the last copy.
class TStringListInt {
public:
    TStringList FList;
};

struct TAddoscope {
    std::shared_ptr<TStringListInt> AutoFreed; // owning, counted handle
    TStringListInt* FSTLI = nullptr;           // the same holder, borrowed

    std::u16string SetupType;      // "ZIP", "ZIP ext", "CRX" or "CRX3"
    std::u16string FileType;       // "XML" or "JSON"
    std::u16string ID;
    std::u16string Name;
    std::u16string Version;
    std::u16string Description;
    std::u16string AddonType;
    std::u16string Creator;
    std::u16string Contributor;
    std::u16string Developer;
    std::u16string Translator;
    std::u16string HomePageURL;
    std::u16string UpdateURL;
    std::u16string TargetPlatform;
    std::u16string Application;    // no reader fills it
    std::u16string Compatibility;

    // What the installing browser knows.
    std::u16string ExtensionID;         // Chrome ID of a CRX; else the add-on's own ID
    std::u16string ManifestVersion;     // manifest.json only, as are the five below
    std::u16string Permissions;         // joined
    std::u16string OptionalPermissions; // joined
    std::u16string DefaultLocale;
    std::u16string Locales;             // joined, sorted
    std::u16string TargetVersions;      // "NAME MIN - MAX" per target, joined (also install.rdf)

    // The target-application list, created on first use.
    TStringList& StringList();
};

// existing + ", " + value when existing is not empty (even for an empty
// value); otherwise value. Takes `existing` by value so that a caller who
// moves the field in (field = JoinValue(std::move(field), value)) appends in
// place: a description that repeats a joined property many times then costs
// linear, not quadratic, time.
std::u16string JoinValue(std::u16string existing, const std::u16string& value);

// The em:type value as an add-on type name ("Extension", "Theme", ...,
// "Unknown").
std::u16string AddonTypeName(std::u16string_view value);

// The known target applications, "id=name" entries, built at module load
// and read-only until unload.
void BuildKnownApplications();
void FreeKnownApplications();
// Name of the first known application whose id matches (case-insensitively),
// or empty text.
std::u16string KnownApplicationName(std::u16string_view id);

// One target's version range: "NAME MIN - MAX", "NAME >= MIN" with only a
// minimum, "NAME <= MAX" with only a maximum, empty with neither.
std::u16string TargetVersionText(std::u16string_view name, const std::u16string& minVersion,
                                 const std::u16string& maxVersion);

// Records one em:targetApplication entry: repeated ids are ignored, known
// ones are joined into Compatibility and, with their versions, into
// TargetVersions.
void AddTargetApplication(TAddoscope& record, const std::u16string& id, const std::u16string& minVersion,
                          const std::u16string& maxVersion);

} // namespace addoscope::package
