#pragma once
// A small zip writer for tests: archives whose every field can be chosen,
// including the wrong values a reader must survive.
#include "base/Crc32.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace addoscope::ziptest {

inline void PutLE16(std::string& out, uint32_t v)
{
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>((v >> 8) & 0xFF);
}
inline void PutLE32(std::string& out, uint32_t v)
{
    PutLE16(out, v & 0xFFFF);
    PutLE16(out, v >> 16);
}
inline void PutLE64(std::string& out, uint64_t v)
{
    PutLE32(out, static_cast<uint32_t>(v));
    PutLE32(out, static_cast<uint32_t>(v >> 32));
}

// One extra-field subfield.
inline std::string ExtraSubfield(uint16_t id, const std::string& data, std::optional<uint16_t> declaredSize = {})
{
    std::string out;
    PutLE16(out, id);
    PutLE16(out, declaredSize.value_or(static_cast<uint16_t>(data.size())));
    return out + data;
}

struct TTestEntry {
    std::string Name;             // raw name bytes
    std::string Data;             // bytes stored in the archive (compressed, if Method says so)
    std::string Content;          // uncompressed bytes, for the CRC and size (defaults to Data)
    uint16_t Method = 0;
    uint16_t Flags = 0;
    uint16_t VersionMadeBy = 0x031E; // Unix, 3.0
    uint16_t VersionNeeded = 20;
    std::optional<uint32_t> Crc;
    std::optional<uint32_t> CompressedSize;
    std::optional<uint32_t> UncompressedSize;
    std::optional<uint32_t> RelativeOffset;
    std::optional<uint32_t> LocalSignature;
    std::string Extra;        // central directory extra field
    std::string Comment;
};

struct TTestZip {
    std::vector<TTestEntry> Entries;
    std::string Comment;
    std::optional<uint16_t> CommentLengthOverride;
    std::optional<uint16_t> CountOverride; // both entry counts of the end record
    std::string Prefix;  // bytes before the first local header (offsets include them)
    std::string Trailer; // bytes after the end record
    // Zip64 end record and locator in front of the end record, whose counts
    // then hold 0xFFFF; the zip64 record holds the real count (or this).
    bool Zip64 = false;
    std::optional<uint64_t> Zip64Count;
    uint32_t Zip64TotalDisks = 1;

    std::string Build() const
    {
        std::string out = Prefix;
        std::vector<uint32_t> offsets;
        for (const auto& e : Entries) {
            offsets.push_back(static_cast<uint32_t>(out.size()));
            const std::string& content = e.Content.empty() && e.Method == 0 ? e.Data : e.Content;
            PutLE32(out, e.LocalSignature.value_or(0x04034B50));
            PutLE16(out, e.VersionNeeded);
            PutLE16(out, e.Flags);
            PutLE16(out, e.Method);
            PutLE16(out, 0x6000);
            PutLE16(out, 0x5A21);
            PutLE32(out, e.Crc.value_or(base::Crc32(content.data(), content.size())));
            PutLE32(out, e.CompressedSize.value_or(static_cast<uint32_t>(e.Data.size())));
            PutLE32(out, e.UncompressedSize.value_or(static_cast<uint32_t>(content.size())));
            PutLE16(out, static_cast<uint32_t>(e.Name.size()));
            PutLE16(out, 0);
            out += e.Name;
            out += e.Data;
        }
        const uint64_t directoryOffset = out.size();
        for (size_t i = 0; i < Entries.size(); ++i) {
            const auto& e = Entries[i];
            const std::string& content = e.Content.empty() && e.Method == 0 ? e.Data : e.Content;
            PutLE32(out, 0x02014B50);
            PutLE16(out, e.VersionMadeBy);
            PutLE16(out, e.VersionNeeded);
            PutLE16(out, e.Flags);
            PutLE16(out, e.Method);
            PutLE16(out, 0x6000);
            PutLE16(out, 0x5A21);
            PutLE32(out, e.Crc.value_or(base::Crc32(content.data(), content.size())));
            PutLE32(out, e.CompressedSize.value_or(static_cast<uint32_t>(e.Data.size())));
            PutLE32(out, e.UncompressedSize.value_or(static_cast<uint32_t>(content.size())));
            PutLE16(out, static_cast<uint32_t>(e.Name.size()));
            PutLE16(out, static_cast<uint32_t>(e.Extra.size()));
            PutLE16(out, static_cast<uint32_t>(e.Comment.size()));
            PutLE16(out, 0);
            PutLE16(out, 0);
            PutLE32(out, 0);
            PutLE32(out, e.RelativeOffset.value_or(offsets[i]));
            out += e.Name;
            out += e.Extra;
            out += e.Comment;
        }
        const uint64_t directorySize = out.size() - directoryOffset;
        uint16_t count = CountOverride.value_or(static_cast<uint16_t>(Entries.size()));
        if (Zip64) {
            const uint64_t zip64Offset = out.size();
            PutLE32(out, 0x06064B50);
            PutLE64(out, 44);
            PutLE16(out, 45);
            PutLE16(out, 45);
            PutLE32(out, 0);
            PutLE32(out, 0);
            PutLE64(out, Zip64Count.value_or(Entries.size()));
            PutLE64(out, Zip64Count.value_or(Entries.size()));
            PutLE64(out, directorySize);
            PutLE64(out, directoryOffset);
            PutLE32(out, 0x07064B50);
            PutLE32(out, 0);
            PutLE64(out, zip64Offset);
            PutLE32(out, Zip64TotalDisks);
            count = 0xFFFF;
        }
        PutLE32(out, 0x06054B50);
        PutLE16(out, 0);
        PutLE16(out, 0);
        PutLE16(out, count);
        PutLE16(out, count);
        PutLE32(out, static_cast<uint32_t>(directorySize));
        PutLE32(out, static_cast<uint32_t>(directoryOffset));
        PutLE16(out, CommentLengthOverride.value_or(static_cast<uint16_t>(Comment.size())));
        out += Comment;
        out += Trailer;
        return out;
    }
};

} // namespace addoscope::ziptest
