#pragma once
// String hashing for every table that a file's contents fill: member names,
// zip item names, message names, XML symbols, target-application IDs.
//
// A fixed hash lets a file be built whose keys all land in one bucket, so
// that filling the table costs quadratic time. These hashes are XXH3 (the
// xxHash library) keyed with a secret drawn once per process from the
// system's random source, and with a seed drawn afresh for every table, so
// no file can be prepared to collide in them. XXH3 is used rather than
// SipHash because these tables sit on the path of every cold reading,
// where hashing hundreds of short names must cost next to nothing.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace addoscope::base {

class TSeededHash {
public:
    // A hash with a seed of its own, unpredictable from outside.
    TSeededHash();

    uint64_t operator()(const void* data, size_t size) const;
    uint64_t operator()(std::string_view text) const { return (*this)(text.data(), text.size()); }
    uint64_t operator()(std::u16string_view text) const
    {
        return (*this)(text.data(), text.size() * sizeof(char16_t));
    }

    uint64_t Seed() const { return FSeed; }

private:
    uint64_t FSeed;
};

// The same as a hasher object for the standard unordered containers; each
// container made with a default-constructed one gets a seed of its own.
struct TSeededStringHash {
    using is_transparent = void;
    TSeededHash FHash;
    size_t operator()(std::u16string_view text) const { return static_cast<size_t>(FHash(text)); }
    size_t operator()(std::string_view text) const { return static_cast<size_t>(FHash(text)); }
    size_t operator()(const std::u16string& text) const { return (*this)(std::u16string_view(text)); }
    size_t operator()(const std::string& text) const { return (*this)(std::string_view(text)); }
};

} // namespace addoscope::base
