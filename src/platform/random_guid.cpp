#include "platform/random.h"

namespace kestrum {

bool NewRandomGuid(Guid& out) {
  if (!FillRandom(out)) return false;
  // Version 4 in the high nibble of the third field (stored little-endian),
  // the RFC 4122 variant in the fourth.
  out[7] = static_cast<std::uint8_t>((out[7] & 0x0F) | 0x40);
  out[8] = static_cast<std::uint8_t>((out[8] & 0x3F) | 0x80);
  return true;
}

}  // namespace kestrum
