// A Windows program or library (PE) ends with the furthest of its headers,
// the raw data of its sections, its COFF symbol and string tables, and the
// certificate table of a signed file, which lies after everything else and
// is the one directory that gives a file offset. A DOS program without a
// PE header gives its size in pages.

#include <algorithm>

#include "scan/file_ends/file_end.h"
#include "scan/file_ends/file_ends_layout.h"

namespace kestrum {

FileEnd FindPeEnd(ByteSource& source) {
  using namespace pe_layout;
  ByteView dos = source.Peek(0, kDosHeaderSize);
  if (dos.size() < kDosHeaderSize) return std::nullopt;
  const std::uint32_t peAt = ReadLe32(dos, kPeOffset);
  const std::uint16_t lastPage = ReadLe16(dos, kLastPageBytes), pages = ReadLe16(dos, kPages);
  ByteView pe = source.Peek(peAt, kCoffEnd + 2);
  if (pe.size() < kCoffEnd + 2 || !HasTag(pe, 0, "PE\0")) {
    // A DOS program: its pages, the last one partly used.
    if (pages == 0 || lastPage >= 512) return std::nullopt;
    const std::uint64_t end = (std::uint64_t{pages} - (lastPage ? 1 : 0)) * 512 + lastPage;
    return source.Fits(0, end) ? FileEnd(end) : std::nullopt;
  }
  const std::uint16_t sections = ReadLe16(pe, kSectionCount);
  const std::uint32_t symbols = ReadLe32(pe, kSymbolTable), symbolCount = ReadLe32(pe, kSymbolCount);
  const std::uint16_t optionalSize = ReadLe16(pe, kOptionalSize);
  const std::uint64_t optional = std::uint64_t{peAt} + kCoffEnd;
  ByteView opt = source.Peek(optional, optionalSize);
  if (opt.size() < optionalSize || optionalSize < kHeadersSizeField + 4 || sections == 0 || sections > 96) {
    return std::nullopt;
  }
  const std::uint16_t magic = ReadLe16(opt, 0);
  if (magic != kPe32 && magic != kPe32Plus) return std::nullopt;
  const std::size_t directories = magic == kPe32 ? kDirectories32 : kDirectories64;
  std::uint64_t end = ReadLe32(opt, kHeadersSizeField);
  auto reach = [&](std::uint64_t at, std::uint64_t size) {
    if (!source.Fits(at, size)) return false;
    end = std::max(end, at + size);
    return true;
  };
  if (optionalSize >= directories + (kCertificateDirectory + 1) * 8) {
    const std::uint32_t certificates = ReadLe32(opt, directories + kCertificateDirectory * 8);
    if (certificates != 0 && !reach(certificates, ReadLe32(opt, directories + kCertificateDirectory * 8 + 4))) {
      return std::nullopt;
    }
  }
  const std::uint64_t table = optional + optionalSize;
  for (std::uint16_t i = 0; i < sections; ++i) {
    ByteView s = source.Peek(table + std::uint64_t{i} * kSectionHeaderSize, kSectionHeaderSize);
    if (s.size() < kSectionHeaderSize) return std::nullopt;
    const std::uint32_t raw = ReadLe32(s, kRawSize);
    if (raw != 0 && !reach(ReadLe32(s, kRawPointer), raw)) return std::nullopt;
  }
  if (!reach(table, std::uint64_t{sections} * kSectionHeaderSize)) return std::nullopt;
  if (symbols != 0) {
    // The string table follows the symbols, its first word its size.
    const std::uint64_t strings = std::uint64_t{symbols} + std::uint64_t{symbolCount} * kSymbolSize;
    ByteView n = source.Peek(strings, 4);
    if (n.size() < 4 || !reach(strings, std::max<std::uint32_t>(4, ReadLe32(n, 0)))) return std::nullopt;
  }
  return end;
}

}  // namespace kestrum
