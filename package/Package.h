#pragma once
// Turning a package file into a filled add-on record: recognising the
// container (zip, zip behind leading data, CRX, CRX3), finding the add-on's
// description inside and handing it to its reader.
#include "base/MemoryStream.h"
#include "package/Addoscope.h"
#include "zip/ZipArchive.h"

#include <memory>
#include <string>

namespace addoscope::package {

// What OpenPackage hands over besides the description stream.
struct TOpenedPackage {
    std::unique_ptr<base::TMemoryStream> Messages; // the chosen locale's messages.json, or none
    std::u16string DescriptionKind;                // "XML", "JSON" or empty
    std::u16string ContainerKind;                  // "ZIP", "ZIP ext", "CRX" or "CRX3"
    std::u16string ExtensionId;                    // a CRX's Chrome ID, from its header
    std::u16string Locales;                        // a manifest package's locales (PackageLocales)
};

// The names the package opener looks up in a package's directory:
// install.rdf, manifest.json and every "_locales/L/messages.json".
const zip::TZipNameFilter& PackageNameFilter();

// The description (install.rdf, else manifest.json) of the package, extracted
// into memory, or none when the file is no readable add-on package. Never
// raises: every opening error means "no description".
std::unique_ptr<base::TMemoryStream> OpenPackage(const std::u16string& fileName, const std::u16string& preferredLocale,
                                                 TOpenedPackage& opened);

// The same for a package already open as a stream (a file, or bytes in
// memory); `fileName` only names it in messages. Never raises.
std::unique_ptr<base::TMemoryStream> OpenPackageStream(base::TStream& file, const std::u16string& fileName,
                                                       const std::u16string& preferredLocale, TOpenedPackage& opened);

// The preferred locale for a "UseCurrentLocaleDescription" setting: "1" is
// the user's language, any other text of two or more characters is itself,
// anything else means none.
std::u16string PreferredLocale(const std::u16string& setting);

// Reads the package into `record` and answers whether a description was
// found and read. Errors other than those OpenPackage and the readers turn
// into answers propagate; the caller treats them as "no record".
bool ReadPackage(const std::u16string& fileName, const std::u16string& localeSetting, TAddoscope& record);
bool ReadPackageStream(base::TStream& file, const std::u16string& fileName, const std::u16string& localeSetting,
                       TAddoscope& record);

} // namespace addoscope::package
