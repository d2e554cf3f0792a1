#include "fs/bitlocker.h"

#include <algorithm>

namespace kestrum {

namespace {

template <std::size_t N>
bool HoldsAt(ByteView sector, std::size_t offset, const std::array<std::uint8_t, N>& bytes) {
  return sector.size() >= offset + N && std::equal(bytes.begin(), bytes.end(), sector.begin() + offset);
}

}  // namespace

bool IsBitLockerBootSector(ByteView sector) {
  return HoldsAt(sector, bitlocker::kSignature, bitlocker::kSignatureBytes) ||
         HoldsAt(sector, bitlocker::kToGoIdentifier, bitlocker::kToGoIdentifierBytes);
}

}  // namespace kestrum
