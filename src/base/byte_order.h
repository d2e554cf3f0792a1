#pragma once
// Little-endian field readers for on-disk structures. Every read names its
// buffer and offset; a field that does not lie wholly inside the buffer reads
// as 0, so a damaged length can never carry a parser past its data.

#include <cstddef>
#include <cstdint>
#include <span>

namespace kestrum {

using ByteView = std::span<const std::uint8_t>;

inline bool FitsIn(ByteView bytes, std::size_t offset, std::size_t width) {
  return offset <= bytes.size() && width <= bytes.size() - offset;
}

inline std::uint8_t ReadLe8(ByteView bytes, std::size_t offset) {
  return FitsIn(bytes, offset, 1) ? bytes[offset] : 0;
}

inline std::uint16_t ReadLe16(ByteView bytes, std::size_t offset) {
  if (!FitsIn(bytes, offset, 2)) return 0;
  return static_cast<std::uint16_t>(bytes[offset] | (bytes[offset + 1] << 8));
}

inline std::uint32_t ReadLe32(ByteView bytes, std::size_t offset) {
  if (!FitsIn(bytes, offset, 4)) return 0;
  return static_cast<std::uint32_t>(bytes[offset]) |
         (static_cast<std::uint32_t>(bytes[offset + 1]) << 8) |
         (static_cast<std::uint32_t>(bytes[offset + 2]) << 16) |
         (static_cast<std::uint32_t>(bytes[offset + 3]) << 24);
}

inline std::uint64_t ReadLe64(ByteView bytes, std::size_t offset) {
  if (!FitsIn(bytes, offset, 8)) return 0;
  return static_cast<std::uint64_t>(ReadLe32(bytes, offset)) |
         (static_cast<std::uint64_t>(ReadLe32(bytes, offset + 4)) << 32);
}

// Big-endian fields, for the file formats that store them so (PNG, JPEG,
// ISO media); the same bounds rule.
inline std::uint16_t ReadBe16(ByteView bytes, std::size_t offset) {
  if (!FitsIn(bytes, offset, 2)) return 0;
  return static_cast<std::uint16_t>(bytes[offset] << 8 | bytes[offset + 1]);
}

inline std::uint32_t ReadBe32(ByteView bytes, std::size_t offset) {
  if (!FitsIn(bytes, offset, 4)) return 0;
  return static_cast<std::uint32_t>(ReadBe16(bytes, offset)) << 16 | ReadBe16(bytes, offset + 2);
}

inline std::uint64_t ReadBe64(ByteView bytes, std::size_t offset) {
  if (!FitsIn(bytes, offset, 8)) return 0;
  return static_cast<std::uint64_t>(ReadBe32(bytes, offset)) << 32 | ReadBe32(bytes, offset + 4);
}

inline void WriteLe16(std::span<std::uint8_t> bytes, std::size_t offset, std::uint16_t value) {
  if (!FitsIn(bytes, offset, 2)) return;
  bytes[offset] = static_cast<std::uint8_t>(value);
  bytes[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

inline void WriteLe32(std::span<std::uint8_t> bytes, std::size_t offset, std::uint32_t value) {
  if (!FitsIn(bytes, offset, 4)) return;
  for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

inline void WriteLe64(std::span<std::uint8_t> bytes, std::size_t offset, std::uint64_t value) {
  WriteLe32(bytes, offset, static_cast<std::uint32_t>(value));
  WriteLe32(bytes, offset + 4, static_cast<std::uint32_t>(value >> 32));
}

// Whether `bytes` holds exactly the ASCII text `tag` at `offset`.
template <std::size_t N>
bool HasTag(ByteView bytes, std::size_t offset, const char (&tag)[N]) {
  constexpr std::size_t len = N - 1;
  if (!FitsIn(bytes, offset, len)) return false;
  for (std::size_t i = 0; i < len; ++i) {
    if (bytes[offset + i] != static_cast<std::uint8_t>(tag[i])) return false;
  }
  return true;
}

}  // namespace kestrum
