#pragma once
// The reader of the legacy install manifest install.rdf (RDF/XML with "em:"
// properties). Names are matched as written, prefix included: a manifest is
// read when it has an unprefixed "RDF" root and "em" properties.
#include "base/Stream.h"
#include "package/Addoscope.h"

#include <string>

namespace addoscope::xml {
class TXmlNode;
}

namespace addoscope::package {

// Fills the record from the manifest in the stream (read from offset 0; the
// stream stays the caller's). Stores the description kind in FileType and
// answers whether a description node was found; "XML" is the only kind it
// reads. Never raises: any error answers false, keeping the fields stored.
bool ReadInstallRdf(base::TStream& stream, TAddoscope& record, const std::u16string& kind);

// Records one em:targetApplication node: the id and version range from the
// first "Description" below it. A node without one is ignored.
void ReadTargetApplication(TAddoscope& record, const xml::TXmlNode& node);

} // namespace addoscope::package
