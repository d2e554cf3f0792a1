#include "support/sector_image.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>

#include "base/text.h"

namespace kestrum::test {

std::vector<std::uint8_t>& SectorImage::Sector(std::uint64_t sector) {
  auto& bytes = data_[sector];
  if (bytes.empty()) bytes.assign(512, 0);
  return bytes;
}

void SectorImage::Put8(std::uint64_t sector, std::size_t offset, std::uint8_t value) {
  PutBytes(sector, offset, &value, 1);
}

void SectorImage::Put16(std::uint64_t sector, std::size_t offset, std::uint16_t value) {
  std::uint8_t b[2] = {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8)};
  PutBytes(sector, offset, b, 2);
}

void SectorImage::Put32(std::uint64_t sector, std::size_t offset, std::uint32_t value) {
  std::uint8_t b[4];
  for (int i = 0; i < 4; ++i) b[i] = static_cast<std::uint8_t>(value >> (8 * i));
  PutBytes(sector, offset, b, 4);
}

void SectorImage::Put64(std::uint64_t sector, std::size_t offset, std::uint64_t value) {
  Put32(sector, offset, static_cast<std::uint32_t>(value));
  Put32(sector, offset + 4, static_cast<std::uint32_t>(value >> 32));
}

void SectorImage::PutBytes(std::uint64_t sector, std::size_t offset, const void* bytes,
                           std::size_t size) {
  PutAt(sector * 512 + offset, bytes, size);
}

void SectorImage::PutAt(std::uint64_t byteOffset, const void* bytes, std::size_t size) {
  const auto* p = static_cast<const std::uint8_t*>(bytes);
  for (std::size_t i = 0; i < size; ++i) {
    std::uint64_t at = byteOffset + i;
    Sector(at / 512)[at % 512] = p[i];
  }
}

void SectorImage::WriteTo(const std::string& path) const {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) throw std::runtime_error("cannot create " + path);
  bool ok = ::ftruncate(fd, static_cast<off_t>(sectors_ * 512)) == 0;
  for (const auto& [sector, bytes] : data_) {
    if (sector >= sectors_) continue;
    ok = ok && ::pwrite(fd, bytes.data(), 512, static_cast<off_t>(sector * 512)) == 512;
  }
  ::close(fd);
  if (!ok) throw std::runtime_error("cannot write " + path);
}

std::string Utf16Le(const std::string& utf8) {
  std::u16string text = FromUtf8(utf8);
  std::string out;
  for (char16_t c : text) {
    out += static_cast<char>(c & 0xFF);
    out += static_cast<char>(c >> 8);
  }
  return out;
}

}  // namespace kestrum::test
