// A PDF ends at "%%EOF". Incremental updates and linearised files hold more
// than one, so the end is the last of a chain: every "%%EOF" that closes a
// trailer (a "startxref" just before it) and is followed by more of the same
// document (objects, a cross-reference section, a comment) moves the end on.
// A "%%EOF" inside stream data, or old bytes after the file that happen to
// hold one, do not.

#include <algorithm>
#include <cctype>
#include <string>
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

std::string_view Text(ByteView v) { return {reinterpret_cast<const char*>(v.data()), v.size()}; }

// An object ("N G obj") begins the text.
bool StartsObject(std::string_view text) {
  std::size_t j = 0;
  for (int number = 0; number < 2; ++number) {
    const std::size_t digits = j;
    while (j < text.size() && std::isdigit(static_cast<unsigned char>(text[j]))) ++j;
    if (j == digits || j >= text.size() || text[j] != ' ') return false;
    ++j;
  }
  return text.substr(j).starts_with("obj");
}

// Whether the "%%EOF" at `eof` closes a trailer of this file: a
// "startxref" just before it whose offset, counted from this file's start,
// holds a cross-reference section or stream (a trailer of a file stored
// after this one counts from that file's start instead).
bool ClosesTrailer(ByteSource& source, std::uint64_t eof) {
  const std::uint64_t from = eof > kTrailerReach ? eof - kTrailerReach : 0;
  const std::string before(Text(source.Peek(from, static_cast<std::size_t>(eof - from))));
  const std::size_t keyword = before.rfind(kStartXref);
  if (keyword == std::string::npos) return false;
  std::size_t i = keyword + kStartXref.size();
  while (i < before.size() && IsPdfSpace(static_cast<std::uint8_t>(before[i]))) ++i;
  std::uint64_t offset = 0;
  const std::size_t digits = i;
  for (; i < before.size() && std::isdigit(static_cast<unsigned char>(before[i])) && offset < eof; ++i) {
    offset = offset * 10 + static_cast<std::uint64_t>(before[i] - '0');
  }
  if (i == digits || offset >= eof) return false;
  const std::string_view target = Text(source.Peek(offset, 32));
  return target.starts_with("xref") || StartsObject(target);
}

// Whether the bytes at `at` go on with the document: "N G obj", "xref",
// "trailer", "startxref" or a comment that does not start a new file.
bool ContinuesDocument(ByteSource& source, std::uint64_t at) {
  ByteView v = source.Peek(at, kMaxGap + 32);
  std::size_t i = 0;
  while (i < v.size() && i < kMaxGap && IsPdfSpace(v[i])) ++i;
  std::string_view text = Text(v.subspan(i));
  if (text.starts_with("xref") || text.starts_with("trailer") || text.starts_with(kStartXref)) return true;
  if (text.starts_with("%")) return !text.starts_with("%PDF-") && !text.starts_with(kEof);
  return StartsObject(text);
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
