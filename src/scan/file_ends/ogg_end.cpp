// An Ogg file (Vorbis, Opus, FLAC or Theora inside) is a run of pages, each
// with its own CRC. Every logical stream begins with a page marked first
// and ends with one marked last; the file ends with the page that ends the
// last open stream, unless a new stream (a chained file) begins after it.

#include <set>

#include "scan/file_ends/file_end.h"
#include "scan/file_ends/file_ends_layout.h"

namespace kestrum {
namespace {

using namespace ogg_layout;

struct OggCrcTable {
  std::uint32_t t[256];
  constexpr OggCrcTable() : t() {
    for (std::uint32_t i = 0; i < 256; ++i) {
      std::uint32_t c = i << 24;
      for (int b = 0; b < 8; ++b) c = c & 0x80000000u ? c << 1 ^ 0x04C11DB7u : c << 1;
      t[i] = c;
    }
  }
};
constexpr OggCrcTable kOggCrc;

struct Page {
  std::uint8_t flags = 0;
  std::uint32_t serial = 0;
  std::uint64_t size = 0;
};

// The page at `at`, when its header and CRC hold.
std::optional<Page> ReadPage(ByteSource& source, std::uint64_t at) {
  ByteView head = source.Peek(at, kHeaderSize);
  if (head.size() < kHeaderSize || !HasTag(head, 0, "OggS") || head[kVersion] != 0) return std::nullopt;
  Page page;
  page.flags = head[kFlags];
  page.serial = ReadLe32(head, kSerial);
  const std::uint32_t stored = ReadLe32(head, kCrc);
  const std::uint8_t segments = head[kSegmentCount];
  ByteView table = source.Peek(at + kHeaderSize, segments);
  if (table.size() < segments) return std::nullopt;
  page.size = kHeaderSize + segments;
  for (std::uint8_t lacing : table) page.size += lacing;
  ByteView bytes = source.Peek(at, static_cast<std::size_t>(page.size));
  if (bytes.size() < page.size) return std::nullopt;
  std::uint32_t crc = 0;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const std::uint8_t b = i >= kCrc && i < kCrc + 4 ? 0 : bytes[i];
    crc = crc << 8 ^ kOggCrc.t[(crc >> 24) ^ b];
  }
  if (crc != stored) return std::nullopt;
  return page;
}

}  // namespace

FileEnd FindOggEnd(ByteSource& source) {
  std::set<std::uint32_t> open;
  std::uint64_t at = 0;
  while (std::optional<Page> page = ReadPage(source, at)) {
    if (page->flags & kFirstPage) {
      open.insert(page->serial);
    } else if (!open.count(page->serial)) {
      break;  // a page of no stream begun here: another file's
    }
    if (page->flags & kLastPage) open.erase(page->serial);
    at += page->size;
    if (open.empty()) {
      std::optional<Page> after = ReadPage(source, at);
      if (!after || !(after->flags & kFirstPage)) return at;
    }
  }
  return std::nullopt;
}

}  // namespace kestrum
