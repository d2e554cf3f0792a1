#pragma once
// The bytes a scan finding carries beyond its fixed fields, in one heap
// block of their own: a boot sector's or partition table's copy, or an MFT
// record's name and run list. Files found by content, INDX and directory
// sectors carry none and cost no block, and a record's few bytes cost one
// block instead of one per field.

#include <cstdint>
#include <memory>
#include <string_view>

#include "base/byte_order.h"

namespace kestrum {

class FindingBytes {
 public:
  FindingBytes() = default;
  // Each part at most 65,535 bytes (characters); longer ones are cut.
  FindingBytes(ByteView sectorCopy, std::u16string_view name, ByteView runs);
  FindingBytes(const FindingBytes& other) { *this = other; }
  FindingBytes& operator=(const FindingBytes& other);
  FindingBytes(FindingBytes&&) noexcept = default;
  FindingBytes& operator=(FindingBytes&&) noexcept = default;

  ByteView SectorCopy() const;
  std::u16string_view Name() const;
  ByteView Runs() const;
  bool Empty() const { return block_ == nullptr; }

 private:
  // The block in 16-bit units: the three lengths, the name, then the
  // sector copy and the run list as bytes (padded to whole units).
  enum : std::size_t { kSectorBytes = 0, kNameUnits = 1, kRunBytes = 2, kHeaderUnits = 3 };
  std::size_t Units() const;
  const std::uint8_t* BytesAt(std::size_t unit) const {
    return reinterpret_cast<const std::uint8_t*>(block_.get() + unit);
  }

  std::unique_ptr<char16_t[]> block_;
};

}  // namespace kestrum
