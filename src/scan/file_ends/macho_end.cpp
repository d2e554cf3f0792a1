// A Mach-O file (a macOS or iOS program, library or object) ends with the
// furthest of the ranges its load commands place in it: segments, the
// relocations of their sections, the symbol and string tables, link-edit
// data (code signature, function starts, …). A fat (universal) file is a
// table of such files, one per architecture.

#include <algorithm>
#include <vector>

#include "scan/file_ends/file_end.h"
#include "scan/file_ends/file_ends_layout.h"

namespace kestrum {
namespace {

using namespace macho_layout;

class MachO {
 public:
  MachO(ByteSource& source, std::uint64_t base, bool big, bool wide)
      : source_(source), base_(base), big_(big), wide_(wide) {}

  std::uint32_t U32(ByteView v, std::size_t at) const { return big_ ? ReadBe32(v, at) : ReadLe32(v, at); }
  std::uint64_t U64(ByteView v, std::size_t at) const { return big_ ? ReadBe64(v, at) : ReadLe64(v, at); }

  // The end of the image relative to its start, when every range fits.
  std::optional<std::uint64_t> End() {
    ByteView h = source_.Peek(base_, kHeader64Size);
    if (h.size() < kHeader64Size) return std::nullopt;
    const std::uint32_t commands = U32(h, kCommandCount);
    const std::uint32_t commandBytes = U32(h, kCommandBytes);
    const std::uint64_t headerSize = wide_ ? kHeader64Size : kHeader32Size;
    if (commands > kMaxCommands || commandBytes > kMaxCommandBytes) return std::nullopt;
    ByteView all = source_.Peek(base_ + headerSize, commandBytes);
    if (all.size() < commandBytes) return std::nullopt;
    const std::vector<std::uint8_t> cmds(all.begin(), all.end());
    end_ = headerSize + commandBytes;
    std::size_t at = 0;
    for (std::uint32_t i = 0; i < commands; ++i) {
      if (at + 8 > cmds.size()) return std::nullopt;
      ByteView c = ByteView(cmds).subspan(at);
      const std::uint32_t cmd = U32(c, 0), size = U32(c, 4);
      if (size < 8 || size > c.size()) return std::nullopt;
      if (!Command(cmd, c.first(size))) return std::nullopt;
      at += size;
    }
    return end_;
  }

 private:
  bool Reach(std::uint64_t at, std::uint64_t size) {
    if (size == 0) return true;
    if (at > kMaxImage || size > kMaxImage) return false;
    end_ = std::max(end_, at + size);
    return source_.Fits(base_, end_);
  }

  bool Command(std::uint32_t cmd, ByteView c) {
    switch (cmd) {
      case kSegment: return Segment(c, U32(c, 32), U32(c, 36), U32(c, 48), kSegment32Layout);
      case kSegment64: return Segment(c, U64(c, 40), U64(c, 48), U32(c, 64), kSegment64Layout);
      case kSymtab:
        return Reach(U32(c, 8), std::uint64_t{U32(c, 12)} * (wide_ ? 16 : 12)) && Reach(U32(c, 16), U32(c, 20));
      case kDysymtab:
        return Reach(U32(c, 32), std::uint64_t{U32(c, 36)} * 8) && Reach(U32(c, 40), std::uint64_t{U32(c, 44)} * (wide_ ? 56 : 52)) &&
               Reach(U32(c, 48), std::uint64_t{U32(c, 52)} * 4) && Reach(U32(c, 56), std::uint64_t{U32(c, 60)} * 4) &&
               Reach(U32(c, 64), std::uint64_t{U32(c, 68)} * 8) && Reach(U32(c, 72), std::uint64_t{U32(c, 76)} * 8);
      case kDyldInfo:
      case kDyldInfoOnly:
        for (std::size_t f = 8; f < 48; f += 8) {
          if (!Reach(U32(c, f), U32(c, f + 4))) return false;
        }
        return true;
      default:
        if (std::find(std::begin(kLinkEditCommands), std::end(kLinkEditCommands), cmd) != std::end(kLinkEditCommands)) {
          return Reach(U32(c, 8), U32(c, 12));
        }
        return true;
    }
  }

  // A segment and the relocations of its sections.
  bool Segment(ByteView c, std::uint64_t fileOffset, std::uint64_t fileSize, std::uint32_t sections,
               const SegmentLayout& layout) {
    if (!Reach(fileOffset, fileSize)) return false;
    for (std::uint32_t s = 0; s < sections; ++s) {
      const std::size_t at = layout.firstSection + std::size_t{s} * layout.sectionSize;
      if (at + layout.sectionSize > c.size()) return false;
      if (!Reach(U32(c, at + layout.relocations), std::uint64_t{U32(c, at + layout.relocationCount)} * kRelocationSize)) {
        return false;
      }
    }
    return true;
  }

  ByteSource& source_;
  std::uint64_t base_;
  bool big_;
  bool wide_;
  std::uint64_t end_ = 0;
};

std::optional<std::uint64_t> ThinEnd(ByteSource& source, std::uint64_t base) {
  ByteView m = source.Peek(base, 4);
  if (m.size() < 4) return std::nullopt;
  const std::uint32_t be = ReadBe32(m, 0);
  bool big, wide;
  if (be == kMagic32 || be == kMagic64) big = true, wide = be == kMagic64;
  else if (ReadLe32(m, 0) == kMagic32 || ReadLe32(m, 0) == kMagic64) big = false, wide = ReadLe32(m, 0) == kMagic64;
  else return std::nullopt;
  return MachO(source, base, big, wide).End();
}

}  // namespace

FileEnd FindMachOEnd(ByteSource& source) {
  ByteView h = source.Peek(0, 8);
  if (h.size() < 8) return std::nullopt;
  if (ReadBe32(h, 0) != kFatMagic) return ThinEnd(source, 0);
  const std::uint32_t archs = ReadBe32(h, 4);
  if (archs == 0 || archs >= 20) return std::nullopt;
  std::uint64_t end = kFatHeaderSize + std::uint64_t{archs} * kFatArchSize;
  for (std::uint32_t i = 0; i < archs; ++i) {
    ByteView a = source.Peek(kFatHeaderSize + std::uint64_t{i} * kFatArchSize, kFatArchSize);
    if (a.size() < kFatArchSize) return std::nullopt;
    const std::uint64_t offset = ReadBe32(a, kFatArchOffset), size = ReadBe32(a, kFatArchBytes);
    std::optional<std::uint64_t> image = ThinEnd(source, offset);
    if (!image || *image > size || !source.Fits(offset, size)) return std::nullopt;
    end = std::max(end, offset + size);
  }
  return end;
}

}  // namespace kestrum
