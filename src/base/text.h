#pragma once
// Text at the edges of the core: strings are UTF-16 inside, UTF-8 in paths,
// on the terminal and in JSON, and GBK (code page 936) in the vendor texts and
// FAT labels that Chinese systems write.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kestrum {

std::string ToUtf8(std::u16string_view text);
// The code point at text[i], advancing i past it; a lone surrogate is U+FFFD.
char32_t NextCodePoint(std::u16string_view text, std::size_t& i);
void AppendUtf8(std::string& out, char32_t c);
std::u16string FromUtf8(std::string_view text);
// Bytes in the Chinese ANSI code page; undecodable bytes become U+FFFD.
std::u16string FromGbk(std::string_view bytes);  // the system's converter: src/platform

std::u16string TrimTrailingBlanks(std::u16string_view text);

// printf-style formatting into UTF-16 (the format and %s arguments are UTF-8);
// KESTRUM_PRINTF_FORMAT, set by the build, names the C library's formats.
std::u16string FormatText(const char* format, ...) __attribute__((format(KESTRUM_PRINTF_FORMAT, 1, 2)));
// A number in decimal, as sector numbers and counts are shown.
std::u16string DecimalText(std::uint64_t value);

// Fixed-size, zero-terminated UTF-16 text inside plain records such as the
// status message; longer text is cut so the terminator always fits.
template <std::size_t N>
void CopyFixedText(std::array<char16_t, N>& out, std::u16string_view text) {
  std::size_t n = text.size() < N - 1 ? text.size() : N - 1;
  for (std::size_t i = 0; i < n; ++i) out[i] = text[i];
  for (std::size_t i = n; i < N; ++i) out[i] = 0;
}

template <std::size_t N>
std::u16string FixedText(const std::array<char16_t, N>& text) {
  std::size_t n = 0;
  while (n < N && text[n] != 0) ++n;
  return std::u16string(text.data(), n);
}

}  // namespace kestrum
