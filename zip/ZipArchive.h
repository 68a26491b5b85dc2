#pragma once
// Public face of the zip reader: an archive over a caller's seekable stream,
// its item directory, look-up by name and extraction of one item.
//
// (Interface agreed between the subsystems; the zip reader fills in the
// implementation and may add members, but keeps these signatures.)
#include "base/Stream.h"

#include <cstdint>
#include <memory>
#include <string>

namespace addoscope::zip {

class TZipArchive {
public:
    // The archive reads `stream` but does not own it; the caller frees the
    // stream after the archive.
    static std::unique_ptr<TZipArchive> CreateFromStream(base::TStream& stream, const std::u16string& archiveName);
    virtual ~TZipArchive();

    // Points the extraction slots at the archive's own procedures; without
    // this, ExtractToStream fails (quietly) with EZipNoExtraction.
    void SetupExtraction();

    // Reads the central directory. Errors propagate (EZipInvalid, ...).
    void Load();

    // Index of the item in directory order, or -1.
    int FindFile(const std::u16string& fileName) const;

    // Appends the item's uncompressed bytes to `target`. Never raises for a
    // failed extraction: the target keeps what was written.
    void ExtractToStream(const std::u16string& fileName, base::TStream& target);

    int Count() const;
    // The item's decoded name at an index in directory order.
    const std::u16string& ItemName(int index) const;

protected:
    TZipArchive() = default;
};

} // namespace addoscope::zip
