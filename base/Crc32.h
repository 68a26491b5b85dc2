#pragma once
#include <cstddef>
#include <cstdint>

namespace addoscope::base {

// The zip format's CRC-32 (reflected polynomial 0xEDB88320).
// Running form: start with 0xFFFFFFFF, feed bytes, complement at the end.
uint32_t Crc32Update(uint32_t crc, const void* data, size_t count);
// Whole-buffer form: the finished (complemented) CRC-32.
uint32_t Crc32(const void* data, size_t count);

} // namespace addoscope::base
