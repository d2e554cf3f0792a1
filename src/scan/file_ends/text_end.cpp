// Markup and text files (HTML, XML) have no structure that gives their
// length: the file is the run of text from its start (UTF-16 after its
// byte-order mark, else UTF-8 or GBK) up to the first byte that is not
// text, and ends there at its last closing ">" that ends a line (with the
// line break) or the run. A run that reaches the limit may go on past it.

#include "scan/file_ends/file_end.h"

namespace kestrum {
namespace {

bool IsControlText(std::uint32_t c) { return c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

// The length of the text character at the start of `v` (UTF-8, else a GBK
// pair), 0 when the bytes are not text, or -1 when `v` ends inside it.
int ByteChar(ByteView v) {
  const std::uint8_t b = v[0];
  if (b < 0x80) return (b >= 0x20 && b < 0x7F) || IsControlText(b) ? 1 : 0;
  int n = b >= 0xC2 && b <= 0xDF ? 2 : b >= 0xE0 && b <= 0xEF ? 3 : b >= 0xF0 && b <= 0xF4 ? 4 : 0;
  if (n > 0) {
    if (v.size() < static_cast<std::size_t>(n)) return -1;
    bool ok = true;
    for (int i = 1; i < n; ++i) ok = ok && (v[i] & 0xC0) == 0x80;
    if (ok) return n;
  }
  // GBK: a lead byte 81–FE, a trail byte 40–FE other than 7F.
  if (b >= 0x81 && b <= 0xFE) {
    if (v.size() < 2) return -1;
    if (v[1] >= 0x40 && v[1] <= 0xFE && v[1] != 0x7F) return 2;
  }
  return 0;
}

int WideChar(ByteView v) {
  if (v.size() < 2) return -1;
  const std::uint16_t u = ReadLe16(v, 0);
  if (u >= 0xD800 && u <= 0xDBFF) {
    if (v.size() < 4) return -1;
    const std::uint16_t low = ReadLe16(v, 2);
    return low >= 0xDC00 && low <= 0xDFFF ? 4 : 0;
  }
  if (u >= 0xDC00 && u <= 0xDFFF) return 0;
  return u >= 0x20 || IsControlText(u) ? 2 : 0;
}

}  // namespace

FileEnd FindTextEnd(ByteSource& source) {
  ByteView bom = source.Peek(0, 2);
  const bool wide = bom.size() == 2 && bom[0] == 0xFF && bom[1] == 0xFE;
  const std::uint64_t unit = wide ? 2 : 1;
  std::uint64_t at = wide ? 2 : 0;
  // Just past the last ">" that ends a line or the text: a ">" among the
  // bytes after a file (old data that happens to read as text) seldom does.
  std::optional<std::uint64_t> close;
  std::optional<std::uint64_t> pending;  // just past a ">" not yet known to end a line
  while (true) {
    ByteView c = source.Peek(at, 4);
    const int n = c.empty() ? -1 : wide ? WideChar(c) : ByteChar(c);
    if (n < 0) return std::nullopt;  // text up to the limit: it may go on
    if (n == 0) {
      if (pending == at) close = pending;
      break;
    }
    if (pending == at && (c[0] == '\r' || c[0] == '\n') && (!wide || c[1] == 0)) close = pending;
    pending.reset();
    if (c[0] == '>' && (!wide || c[1] == 0)) pending = at + static_cast<std::uint64_t>(n);
    at += static_cast<std::uint64_t>(n);
  }
  if (!close) return std::nullopt;
  // The line break after the last tag.
  std::uint64_t end = *close;
  for (const char c : {'\r', '\n'}) {
    ByteView b = source.Peek(end, unit);
    if (b.size() == unit && b[0] == c && (unit == 1 || b[1] == 0)) end += unit;
  }
  return end;
}

}  // namespace kestrum
