// An ELF file (a Linux program, library or object) ends with the furthest
// of its header tables and the sections and segments they place in it
// (usually the section header table, written last).

#include <algorithm>
#include <vector>

#include "scan/file_ends/file_end.h"
#include "scan/file_ends/file_ends_layout.h"

namespace kestrum {
namespace {

using namespace elf_layout;

struct Reader {
  bool big;
  bool wide;  // 64-bit
  std::uint64_t Word(ByteView v, std::size_t at32, std::size_t at64) const {
    const std::size_t at = wide ? at64 : at32;
    if (wide) return big ? ReadBe64(v, at) : ReadLe64(v, at);
    return big ? ReadBe32(v, at) : ReadLe32(v, at);
  }
  std::uint32_t U32(ByteView v, std::size_t at) const { return big ? ReadBe32(v, at) : ReadLe32(v, at); }
  std::uint16_t U16(ByteView v, std::size_t at) const { return big ? ReadBe16(v, at) : ReadLe16(v, at); }
};

}  // namespace

FileEnd FindElfEnd(ByteSource& source) {
  ByteView ident = source.Peek(0, kHeader64Size);
  if (ident.size() < kHeader32Size) return std::nullopt;
  const Reader r{ident[kData] == 2, ident[kClass] == 2};
  const std::vector<std::uint8_t> h(ident.begin(), ident.end());
  if (r.wide && h.size() < kHeader64Size) return std::nullopt;
  const std::uint64_t phoff = r.Word(h, 28, 32), shoff = r.Word(h, 32, 40);
  const std::uint16_t ehsize = r.U16(h, r.wide ? 52 : 40);
  const std::uint16_t phentsize = r.U16(h, r.wide ? 54 : 42), phnum = r.U16(h, r.wide ? 56 : 44);
  const std::uint16_t shentsize = r.U16(h, r.wide ? 58 : 46), shnum = r.U16(h, r.wide ? 60 : 48);
  if (ehsize != (r.wide ? kHeader64Size : kHeader32Size)) return std::nullopt;
  if ((phnum != 0 && phentsize != (r.wide ? kProgram64Size : kProgram32Size)) ||
      (shnum != 0 && shentsize != (r.wide ? kSection64Size : kSection32Size)) || (shnum == 0 && shoff != 0)) {
    return std::nullopt;
  }
  std::uint64_t end = ehsize;
  auto reach = [&](std::uint64_t at, std::uint64_t size) {
    if (!source.Fits(at, size)) return false;
    end = std::max(end, at + size);
    return true;
  };
  if (!reach(phoff, std::uint64_t{phnum} * phentsize) || !reach(shoff, std::uint64_t{shnum} * shentsize)) {
    return std::nullopt;
  }
  for (std::uint16_t i = 0; i < phnum; ++i) {
    ByteView p = source.Peek(phoff + std::uint64_t{i} * phentsize, phentsize);
    if (p.size() < phentsize || !reach(r.Word(p, 4, 8), r.Word(p, 16, 32))) return std::nullopt;
  }
  for (std::uint16_t i = 0; i < shnum; ++i) {
    ByteView s = source.Peek(shoff + std::uint64_t{i} * shentsize, shentsize);
    if (s.size() < shentsize) return std::nullopt;
    if (r.U32(s, kSectionType) == kNoBits) continue;
    if (!reach(r.Word(s, 16, 24), r.Word(s, 20, 32))) return std::nullopt;
  }
  return end;
}

}  // namespace kestrum
