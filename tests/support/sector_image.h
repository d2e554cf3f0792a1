#pragma once
// Byte-level disk images for tests: build sectors in memory, change single
// fields, write the result as a (sparse) file the readers can open.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace kestrum::test {

class SectorImage {
 public:
  explicit SectorImage(std::uint64_t sectors) : sectors_(sectors) {}

  std::uint64_t sectors() const { return sectors_; }
  // The 512 bytes of a sector, created zero on first use.
  std::vector<std::uint8_t>& Sector(std::uint64_t sector);
  void Put8(std::uint64_t sector, std::size_t offset, std::uint8_t value);
  void Put16(std::uint64_t sector, std::size_t offset, std::uint16_t value);
  void Put32(std::uint64_t sector, std::size_t offset, std::uint32_t value);
  void Put64(std::uint64_t sector, std::size_t offset, std::uint64_t value);
  void PutBytes(std::uint64_t sector, std::size_t offset, const void* bytes, std::size_t size);
  // Bytes that may span sectors, at an absolute byte offset.
  void PutAt(std::uint64_t byteOffset, const void* bytes, std::size_t size);
  void PutText(std::uint64_t sector, std::size_t offset, const std::string& text) {
    PutBytes(sector, offset, text.data(), text.size());
  }

  // Writes the image; untouched sectors are holes that read as zeros.
  void WriteTo(const std::string& path) const;

 private:
  std::uint64_t sectors_;
  std::map<std::uint64_t, std::vector<std::uint8_t>> data_;
};

// UTF-16LE bytes of UTF-8 text.
std::string Utf16Le(const std::string& utf8);

}  // namespace kestrum::test
