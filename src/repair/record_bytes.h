#pragma once
// Reading and writing the repair's own files: little-endian counts and sector numbers,
// UTF-16LE texts after their length in bytes, whole sectors. Any read past
// the end marks the cursor failed, and reads then give zeros.

#include <array>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "base/byte_order.h"
#include "disk/sector.h"

namespace kestrum::repair {

constexpr std::size_t kFieldSize = 4;
constexpr std::size_t kSectorFieldSize = 8;  // a 64-bit sector number

class RecordReader {
 public:
  RecordReader(ByteView bytes, std::size_t start) : bytes_(bytes), pos_(start) {}
  bool ok() const { return ok_; }

  std::uint32_t U32() {
    if (!ok_ || !FitsIn(bytes_, pos_, kFieldSize)) return Fail();
    std::uint32_t v = ReadLe32(bytes_, pos_);
    pos_ += kFieldSize;
    return v;
  }
  std::uint64_t U64() {
    if (!ok_ || !FitsIn(bytes_, pos_, kSectorFieldSize)) return Fail();
    std::uint64_t v = ReadLe64(bytes_, pos_);
    pos_ += kSectorFieldSize;
    return v;
  }
  // A count of items that each take at least `minBytes`: one that cannot fit
  // in what is left fails before anything is allocated for it.
  std::uint32_t Count(std::size_t minBytes) {
    std::uint32_t n = U32();
    if (ok_ && std::uint64_t{n} * minBytes > bytes_.size() - pos_) return Fail();
    return n;
  }
  void Text(std::u16string& out, std::size_t maxBytes) {
    out.clear();
    std::uint32_t length = U32();
    if (!ok_ || length % 2 != 0 || length > maxBytes || !FitsIn(bytes_, pos_, length)) {
      Fail();
      return;
    }
    for (std::uint32_t i = 0; i < length; i += 2) out.push_back(ReadLe16(bytes_, pos_ + i));
    pos_ += length;
  }
  void Sector(std::array<std::uint8_t, kSectorSize>& out) { Bytes(out); }
  // Fills all of `out` from the next bytes.
  void Bytes(std::span<std::uint8_t> out) {
    if (!ok_ || !FitsIn(bytes_, pos_, out.size())) {
      Fail();
      return;
    }
    std::memcpy(out.data(), bytes_.data() + pos_, out.size());
    pos_ += out.size();
  }
  // Whether `n` more bytes are there.
  bool Fits(std::size_t n) const { return ok_ && FitsIn(bytes_, pos_, n); }
  std::uint32_t Fail() {
    ok_ = false;
    return 0;
  }

 private:
  ByteView bytes_;
  std::size_t pos_;
  bool ok_ = true;
};

inline void PutU32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

inline void PutU64(std::vector<std::uint8_t>& out, std::uint64_t v) {
  for (int i = 0; i < 8; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

// False (nothing appended) for a text longer than `maxBytes`.
inline bool PutText(std::vector<std::uint8_t>& out, const std::u16string& text, std::size_t maxBytes) {
  if (text.size() * 2 > maxBytes) return false;
  PutU32(out, static_cast<std::uint32_t>(text.size() * 2));
  for (char16_t c : text) {
    out.push_back(static_cast<std::uint8_t>(c));
    out.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  return true;
}

inline void PutSector(std::vector<std::uint8_t>& out, const std::array<std::uint8_t, kSectorSize>& s) {
  out.insert(out.end(), s.begin(), s.end());
}

// Whole-file helpers; the write goes to a new file that replaces the old one
// once flushed, so a file on disk is always complete.
bool WriteAllBytes(int fd, const std::uint8_t* data, std::size_t size);
bool ReadFileBytes(const std::string& path, std::vector<std::uint8_t>& out);
bool ReplaceFileBytes(const std::string& path, const std::vector<std::uint8_t>& bytes);

}  // namespace kestrum::repair
