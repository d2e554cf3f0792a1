// A PDF ends at "%%EOF". Incremental updates and linearised files hold more
// than one, so the end is the last of a chain: every "%%EOF" that closes a
// trailer (a "startxref" just before it) and is followed by more of the same
// document (objects, a cross-reference section, a comment) moves the end on.
// A "%%EOF" inside stream data, or old bytes after the file that happen to
// hold one, do not.

#include <algorithm>
#include <cctype>
#include <string_view>

#include "scan/file_ends/file_end.h"

namespace kestrum {
namespace {

constexpr std::string_view kEof = "%%EOF";
constexpr std::string_view kStartXref = "startxref";
// How far before "%%EOF" its "startxref" may stand ("startxref\r\n" and a
// twenty-digit offset fit with room to spare).
constexpr std::uint64_t kTrailerReach = 64;
// Whitespace between "%%EOF" and an update's first token.
constexpr std::uint64_t kMaxGap = 256;

bool IsPdfSpace(std::uint8_t c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f'; }

bool ClosesTrailer(ByteSource& source, std::uint64_t eof) {
  const std::uint64_t from = eof > kTrailerReach ? eof - kTrailerReach : 0;
  ByteView before = source.Peek(from, static_cast<std::size_t>(eof - from));
  std::string_view text(reinterpret_cast<const char*>(before.data()), before.size());
  return text.find(kStartXref) != std::string_view::npos;
}

// Whether the bytes at `at` go on with the document: "N G obj", "xref",
// "trailer", "startxref" or a comment that does not start a new file.
bool ContinuesDocument(ByteSource& source, std::uint64_t at) {
  ByteView v = source.Peek(at, kMaxGap + 32);
  std::size_t i = 0;
  while (i < v.size() && i < kMaxGap && IsPdfSpace(v[i])) ++i;
  std::string_view text(reinterpret_cast<const char*>(v.data()) + i, v.size() - i);
  if (text.starts_with("xref") || text.starts_with("trailer") || text.starts_with(kStartXref)) return true;
  if (text.starts_with("%")) return !text.starts_with("%PDF-") && !text.starts_with(kEof);
  // An object: two numbers, then "obj".
  std::size_t j = 0;
  for (int number = 0; number < 2; ++number) {
    const std::size_t digits = j;
    while (j < text.size() && std::isdigit(static_cast<unsigned char>(text[j]))) ++j;
    if (j == digits || j >= text.size() || text[j] != ' ') return false;
    ++j;
  }
  return text.substr(j).starts_with("obj");
}

}  // namespace

FileEnd FindPdfEnd(ByteSource& source) {
  FileEnd end;
  for (std::uint64_t from = 0;;) {
    std::optional<std::uint64_t> eof = source.Find(from, kEof);
    if (!eof) return end;
    from = *eof + kEof.size();
    if (!ClosesTrailer(source, *eof)) continue;
    // The line break after the marker belongs to the file.
    std::uint64_t after = from;
    if (source.Has(after, 1) && source.Byte(after) == '\r') ++after;
    if (source.Has(after, 1) && source.Byte(after) == '\n') ++after;
    end = after;
    if (!ContinuesDocument(source, after)) return end;
    from = after;
  }
}

}  // namespace kestrum
