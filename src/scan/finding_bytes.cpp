#include "scan/finding_bytes.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace kestrum {

namespace {

constexpr std::size_t kMaxPart = std::numeric_limits<std::uint16_t>::max();

std::size_t UnitsFor(std::size_t bytes) { return (bytes + 1) / 2; }

}  // namespace

FindingBytes::FindingBytes(ByteView sectorCopy, std::u16string_view name, ByteView runs) {
  sectorCopy = sectorCopy.first(std::min(sectorCopy.size(), kMaxPart));
  name = name.substr(0, kMaxPart);
  runs = runs.first(std::min(runs.size(), kMaxPart));
  if (sectorCopy.empty() && name.empty() && runs.empty()) return;
  const std::size_t units = kHeaderUnits + name.size() + UnitsFor(sectorCopy.size()) + UnitsFor(runs.size());
  block_ = std::make_unique<char16_t[]>(units);  // zeroed: the padding is defined
  block_[kSectorBytes] = static_cast<char16_t>(sectorCopy.size());
  block_[kNameUnits] = static_cast<char16_t>(name.size());
  block_[kRunBytes] = static_cast<char16_t>(runs.size());
  std::copy(name.begin(), name.end(), block_.get() + kHeaderUnits);
  auto* bytes = reinterpret_cast<std::uint8_t*>(block_.get() + kHeaderUnits + name.size());
  if (!sectorCopy.empty()) std::memcpy(bytes, sectorCopy.data(), sectorCopy.size());
  bytes += UnitsFor(sectorCopy.size()) * 2;
  if (!runs.empty()) std::memcpy(bytes, runs.data(), runs.size());
}

std::size_t FindingBytes::Units() const {
  if (block_ == nullptr) return 0;
  return kHeaderUnits + block_[kNameUnits] + UnitsFor(block_[kSectorBytes]) + UnitsFor(block_[kRunBytes]);
}

FindingBytes& FindingBytes::operator=(const FindingBytes& other) {
  if (this == &other) return *this;
  if (other.block_ == nullptr) {
    block_.reset();
    return *this;
  }
  const std::size_t units = other.Units();
  block_ = std::make_unique_for_overwrite<char16_t[]>(units);
  std::copy_n(other.block_.get(), units, block_.get());
  return *this;
}

ByteView FindingBytes::SectorCopy() const {
  if (block_ == nullptr) return {};
  return ByteView(BytesAt(kHeaderUnits + block_[kNameUnits]), block_[kSectorBytes]);
}

std::u16string_view FindingBytes::Name() const {
  if (block_ == nullptr) return {};
  return std::u16string_view(block_.get() + kHeaderUnits, block_[kNameUnits]);
}

ByteView FindingBytes::Runs() const {
  if (block_ == nullptr) return {};
  return ByteView(BytesAt(kHeaderUnits + block_[kNameUnits] + UnitsFor(block_[kSectorBytes])), block_[kRunBytes]);
}

}  // namespace kestrum
