// Telling UTF-8, UTF-16 and GBK text from binary in a file's first bytes.

#include <gtest/gtest.h>

#include <string>

#include "base/text.h"
#include "base/text_sniff.h"

namespace kestrum {
namespace {

std::string Utf16(const std::u16string& text, bool bigEndian, bool mark) {
  std::string bytes;
  if (mark) bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
  for (char16_t c : text) {
    const char hi = static_cast<char>(c >> 8), lo = static_cast<char>(c & 0xFF);
    bytes += bigEndian ? std::string{hi, lo} : std::string{lo, hi};
  }
  return bytes;
}

ByteView View(const std::string& bytes) {
  return {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()};
}

TEST(TextSniff, EachEncodingIsToldApartAndDecodedEvenWhenCutOff) {
  const std::string gbk = "\xBC\xBE\xB6\xC8\xD7\xDC\xBD\xE1\xA3\xAC\xCA\xFD\xBE\xDD\xBB\xD6\xB8\xB4";  // 季度总结，数据恢复
  const std::string utf8 = "季度总结，数据恢复";
  std::string binary(600, '\0');
  for (std::size_t i = 0; i < binary.size(); ++i) binary[i] = static_cast<char>(i * 37 + 11);
  std::string controls(300, 'a');
  for (std::size_t i = 0; i < controls.size(); i += 20) controls[i] = '\x03';
  struct Case {
    const char* what;
    std::string bytes;
    TextEncoding encoding;
    std::u16string text;
  } cases[] = {
      {"ascii", "README\r\n\tline two\n", TextEncoding::kUtf8, u"README\r\n\tline two\n"},
      {"utf-8", utf8, TextEncoding::kUtf8, u"季度总结，数据恢复"},
      {"utf-8 with a mark", "\xEF\xBB\xBF" + utf8, TextEncoding::kUtf8, u"季度总结，数据恢复"},
      {"utf-8 cut in a character", utf8.substr(0, utf8.size() - 1), TextEncoding::kUtf8, u"季度总结，数据恢"},
      {"gbk", gbk, TextEncoding::kGbk, u"季度总结，数据恢复"},
      {"gbk cut after a lead byte", "abc " + gbk.substr(0, 5), TextEncoding::kGbk, u"abc 季度"},
      {"utf-16le with a mark", Utf16(u"Notes 笔记", false, true), TextEncoding::kUtf16Le, u"Notes 笔记"},
      {"utf-16le without one", Utf16(u"plain latin text", false, false), TextEncoding::kUtf16Le, u"plain latin text"},
      {"utf-16be", Utf16(u"Big end", true, true), TextEncoding::kUtf16Be, u"Big end"},
      {"utf-16 cut after a high surrogate", Utf16(u"ab\xD83D", false, true), TextEncoding::kUtf16Le, u"ab"},
      {"bytes of a program", binary, TextEncoding::kBinary, u""},
      {"control characters", controls, TextEncoding::kBinary, u""},
      {"nul in text", std::string("text\0more", 9), TextEncoding::kBinary, u""},
      {"neither utf-8 nor gbk", "abc\xFF\xFE\x80", TextEncoding::kBinary, u""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SniffTextEncoding(View(c.bytes)), c.encoding) << c.what;
    EXPECT_EQ(DecodeText(View(c.bytes), c.encoding), c.text) << c.what;
  }
  EXPECT_STREQ(TextEncodingName(TextEncoding::kGbk), "GBK");
  EXPECT_STREQ(TextEncodingName(TextEncoding::kBinary), "");
}

}  // namespace
}  // namespace kestrum
