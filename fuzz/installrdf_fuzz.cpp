// Reads the input as an install.rdf manifest into an add-on record.
#include "base/MemoryStream.h"
#include "package/InstallRdf.h"

#include <cstddef>
#include <cstdint>

using namespace addoscope;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool built = [] {
        package::BuildKnownApplications();
        return true;
    }();
    (void)built;
    base::TMemoryStream stream;
    stream.LoadFromBuffer(data, size);
    package::TAddoscope record;
    package::ReadInstallRdf(stream, record, u"XML");
    return 0;
}
