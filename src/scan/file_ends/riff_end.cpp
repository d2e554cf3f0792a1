// A RIFF file (WAV, AVI) is one chunk whose header gives its size; the
// chunks inside it must fill it exactly. An AVI above 1 GiB continues in
// further RIFF "AVIX" chunks right after the first.

#include "scan/file_ends/file_end.h"
#include "scan/file_ends/file_ends_layout.h"

namespace kestrum {
namespace {

using namespace riff_layout;

bool IsChunkId(ByteView header) {
  for (std::size_t i = kChunkId; i < kChunkId + 4; ++i) {
    if (header[i] < 0x20 || header[i] > 0x7E) return false;
  }
  return true;
}

std::uint64_t Padded(std::uint64_t size) { return size + (size & 1); }

// The end of the RIFF chunk at `at` when the chunks inside it fill it.
FileEnd RiffChunkEnd(ByteSource& source, std::uint64_t at) {
  ByteView header = source.Peek(at, kHeaderSize);
  if (header.size() < kHeaderSize || !HasTag(header, 0, "RIFF")) return std::nullopt;
  const std::uint64_t end = at + kChunkHeaderSize + Padded(ReadLe32(header, kSize));
  if (!source.Fits(0, end)) return std::nullopt;
  for (std::uint64_t chunk = at + kHeaderSize; chunk < end;) {
    ByteView inner = source.Peek(chunk, kChunkHeaderSize);
    if (inner.size() < kChunkHeaderSize || !IsChunkId(inner)) return std::nullopt;
    chunk += kChunkHeaderSize + Padded(ReadLe32(inner, kChunkSize));
    if (chunk > end) return std::nullopt;
  }
  return end;
}

}  // namespace

FileEnd FindRiffEnd(ByteSource& source) {
  FileEnd end = RiffChunkEnd(source, 0);
  if (!end) return std::nullopt;
  ByteView form = source.Peek(0, kHeaderSize);
  if (!HasTag(form, kForm, "AVI ")) return end;
  while (true) {
    ByteView next = source.Peek(*end, kHeaderSize);
    if (next.size() < kHeaderSize || !HasTag(next, 0, "RIFF") || !HasTag(next, kForm, "AVIX")) return end;
    FileEnd extension = RiffChunkEnd(source, *end);
    if (!extension) return std::nullopt;
    end = extension;
  }
}

}  // namespace kestrum
