// Reads the input as a package file through the whole reading path the
// plugin uses: container recognition, CRX headers, the zip directory,
// extraction of the description and messages file, and their readers.
// Every locale setting kind is exercised by the input's length, so that the
// messages look-up runs with and without a preferred language.
#include "base/MemoryStream.h"
#include "package/Addoscope.h"
#include "package/Package.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace addoscope;
    base::TMemoryStream stream;
    stream.LoadFromBuffer(data, size);
    static const std::u16string Settings[] = {u"0", u"de", u"fr_CA"};
    package::TAddoscope record;
    try {
        package::ReadPackageStream(stream, u"fuzz.xpi", Settings[size % 3], record);
    } catch (const std::exception&) {
        // The plugin turns an escaping error into "no record"; a crash, a
        // leak, a hang or runaway memory is what this target looks for.
    }
    return 0;
}
