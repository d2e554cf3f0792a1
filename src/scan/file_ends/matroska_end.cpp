// A Matroska or WebM file is an EBML header and a Segment element whose
// size covers the rest. Where a writer could not go back to fill in the
// size (a live recording), it is "unknown" and the segment runs as far as
// its children do: the top-level elements, each giving its size, and
// clusters of unknown size that run as far as their blocks do.

#include <algorithm>
#include <bit>

#include "scan/file_ends/file_end.h"
#include "scan/file_ends/file_ends_layout.h"

namespace kestrum {
namespace {

using namespace ebml_layout;

struct Element {
  std::uint32_t id = 0;
  std::uint64_t size = 0;
  bool unknownSize = false;
  std::uint64_t data = 0;  // where its data begins
};

// An EBML variable-length number at `at`: its length, and its value with
// (size) or without (id) the length marker.
std::optional<Element> ReadElement(ByteSource& source, std::uint64_t at) {
  ByteView v = source.Peek(at, 12);
  if (v.empty()) return std::nullopt;
  const int idLength = std::countl_zero(v[0]) + 1;
  if (idLength > 4 || v.size() < static_cast<std::size_t>(idLength) + 1) return std::nullopt;
  Element e;
  for (int i = 0; i < idLength; ++i) e.id = e.id << 8 | v[i];
  const std::uint8_t first = v[idLength];
  const int sizeLength = std::countl_zero(first) + 1;
  if (sizeLength > 8 || v.size() < static_cast<std::size_t>(idLength + sizeLength)) return std::nullopt;
  std::uint64_t size = first & (0xFF >> sizeLength);
  bool allOnes = size == (0xFFu >> sizeLength);
  for (int i = 1; i < sizeLength; ++i) {
    size = size << 8 | v[idLength + i];
    allOnes = allOnes && v[idLength + i] == 0xFF;
  }
  e.unknownSize = allOnes;
  e.size = size;
  e.data = at + idLength + sizeLength;
  return e;
}

bool IsTopLevel(std::uint32_t id) {
  return std::find(std::begin(kTopLevelIds), std::end(kTopLevelIds), id) != std::end(kTopLevelIds);
}
bool IsClusterChild(std::uint32_t id) {
  return std::find(std::begin(kClusterChildIds), std::end(kClusterChildIds), id) != std::end(kClusterChildIds);
}

// The end of the element at `e` whose children are those `isChild` names:
// its size, or, when unknown, as far as its children run (each child's
// size must be known).
std::optional<std::uint64_t> ElementEnd(ByteSource& source, const Element& e, bool (*isChild)(std::uint32_t),
                                        std::uint64_t bound) {
  if (!e.unknownSize) {
    if (e.size > bound - std::min(bound, e.data) || e.data > bound) return std::nullopt;
    return e.data + e.size;
  }
  std::uint64_t at = e.data;
  while (at < bound) {
    std::optional<Element> child = ReadElement(source, at);
    if (!child || !isChild(child->id)) break;
    if (child->unknownSize || child->size > bound - child->data) return std::nullopt;
    at = child->data + child->size;
  }
  return at;
}

}  // namespace

FileEnd FindMatroskaEnd(ByteSource& source) {
  std::optional<Element> header = ReadElement(source, 0);
  if (!header || header->id != kEbmlHeaderId || header->unknownSize) return std::nullopt;
  std::optional<Element> segment = ReadElement(source, header->data + header->size);
  if (!segment || segment->id != kSegmentId) return std::nullopt;
  const std::uint64_t limit = source.Limit();
  const std::uint64_t bound = segment->unknownSize ? limit : segment->data + segment->size;
  if (bound > limit) return std::nullopt;
  // The segment's children fill it (or, unknown, run as far as they go).
  std::uint64_t at = segment->data;
  std::uint64_t children = 0;
  while (at < bound) {
    std::optional<Element> child = ReadElement(source, at);
    if (!child || !IsTopLevel(child->id)) break;
    std::optional<std::uint64_t> end =
        ElementEnd(source, *child, child->id == kClusterId ? IsClusterChild : IsTopLevel, bound);
    if (!end) return std::nullopt;
    at = *end;
    ++children;
  }
  if (children == 0) return std::nullopt;
  if (!segment->unknownSize) return at == bound ? FileEnd(at) : std::nullopt;
  // Run up to the limit: the segment may go on past it.
  return at < limit ? FileEnd(at) : std::nullopt;
}

}  // namespace kestrum
