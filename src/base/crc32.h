#pragma once
// CRC-32 (the polynomial of ZIP, PNG and 7z), for formats whose headers
// carry one.

#include <cstdint>

#include "base/byte_order.h"

namespace kestrum {

// The CRC of `bytes`; `crc` carries on from an earlier piece (0 to start).
std::uint32_t Crc32(ByteView bytes, std::uint32_t crc = 0);

}  // namespace kestrum
