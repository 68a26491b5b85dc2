// Reads the input as a package file through the whole reading path the
// plugin uses: container recognition, CRX headers, the zip directory,
// extraction of the description and messages file, and their readers.
// Every locale setting kind is exercised by the input's length, so that the
// messages look-up runs with and without a preferred language.
// The input is read twice, from memory and from a file (positioned reads of
// just the ranges the readers announce): both must give the same record.
#include "base/FileStream.h"
#include "base/MemoryStream.h"
#include "base/Text.h"
#include "package/Addoscope.h"
#include "package/Package.h"
#include "platform/Platform.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

using namespace addoscope;

// Whether the reading succeeded, and its record as one text.
std::u16string Reading(base::TStream& stream, const std::u16string& setting)
{
    package::TAddoscope record;
    bool read = false;
    try {
        read = package::ReadPackageStream(stream, u"fuzz.xpi", setting, record);
    } catch (const std::exception&) {
        // The plugin turns an escaping error into "no record"; a crash, a
        // leak, a hang or runaway memory is what this target looks for.
        return u"raised";
    }
    std::u16string all = read ? u"read" : u"not read";
    for (const std::u16string* field : {&record.SetupType, &record.FileType, &record.ID, &record.Name,
                                        &record.Version, &record.Description, &record.AddonType, &record.Creator,
                                        &record.Contributor, &record.Developer, &record.Translator,
                                        &record.HomePageURL, &record.UpdateURL, &record.TargetPlatform,
                                        &record.Compatibility})
        all += u'\n' + *field;
    return all;
}

// One file per fuzzing process (several may run side by side).
const std::string& FilePath()
{
    static const std::string path = [] {
        uint64_t tag = 0;
        platform::RandomBytes(&tag, sizeof tag);
        return (std::filesystem::temp_directory_path() / ("package-fuzz-" + std::to_string(tag) + ".bin")).string();
    }();
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::u16string Settings[] = {u"0", u"de", u"fr_CA"};
    const std::u16string& setting = Settings[size % 3];
    base::TMemoryStream stream;
    stream.LoadFromBuffer(data, size);
    const std::u16string fromMemory = Reading(stream, setting);

    std::ofstream(FilePath(), std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(data),
                                                                         static_cast<std::streamsize>(size));
    std::u16string fromFile;
    {
        base::TFileStream file(base::Utf8ToUtf16(FilePath()));
        fromFile = Reading(file, setting);
    }
    std::filesystem::remove(FilePath());
    if (fromFile != fromMemory)
        std::abort();
    return 0;
}
