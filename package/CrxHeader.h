#pragma once
// The extension ID in the header of a CRX package.
//
// A CRX of a version below 3 carries the public key itself. A CRX3 header
// is a protobuf message (CrxFileHeader): repeated key proofs for
// sha256_with_rsa (field 2) and sha256_with_ecdsa (field 3), each with its
// public_key (field 1), and the signed_header_data (field 10000), a
// serialised SignedData whose crx_id (field 1) is the 16-byte ID.
#include "base/Stream.h"

#include <cstdint>
#include <span>
#include <string>

namespace addoscope::package {

// Headers and keys larger than this are not read: real ones take a few
// kilobytes.
inline constexpr uint32_t MaxCrxHeaderRead = 1 << 20;

// The ID from a CRX3 header's bytes: the signed data's crx_id, else the key
// of the first RSA proof, else of the first ECDSA proof. Empty for a header
// that gives none, and for any malformed protobuf.
std::u16string Crx3HeaderId(std::span<const uint8_t> header);

// The ID of the CRX or CRX3 package in `file`, whose first bytes (up to 16)
// the caller has read into `start`: the hash of the public key, or as
// Crx3HeaderId. The key material is read in one range that also takes the
// zip part's first bytes at `zipStart` when they follow closely, so the
// look at the zip part costs no read of its own. Empty when the header
// gives none or cannot be read; never raises. Leaves the stream's position
// anywhere.
std::u16string CrxExtensionId(base::TStream& file, std::span<const uint8_t> start, int64_t zipStart);

} // namespace addoscope::package
