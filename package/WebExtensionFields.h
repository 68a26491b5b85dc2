#pragma once
// The manifest.json members a browser installs by: the add-on's ID, the
// manifest version, permissions, locales and the versions it accepts.
#include "json/JsonValue.h"
#include "package/Addoscope.h"
#include "package/Messages.h"

namespace addoscope::package {

// Fills ExtensionID, ManifestVersion, Permissions, OptionalPermissions,
// DefaultLocale and TargetVersions from the manifest's members, each text
// resolved through the resolver. Members of the wrong JSON type are
// skipped, and of repeated members the last of the right type counts.
// Raises only when the reading's budget is spent.
void ReadWebExtensionFields(const json::TJSONObject& manifest, TMessageResolver& resolver, TAddoscope& record);

} // namespace addoscope::package
