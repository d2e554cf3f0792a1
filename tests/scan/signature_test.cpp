// The signature matcher: the order of the tests, the limits of each
// pattern, and the header bytes of the formats no tool here can make.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "scan/file_signatures.h"
#include "scan/scan_category.h"

namespace kestrum {
namespace {

std::vector<std::uint8_t> SectorWith(const std::string& bytes, std::size_t at = 0, std::uint8_t fill = 0x20) {
  std::vector<std::uint8_t> s(512, fill);
  std::memcpy(s.data() + at, bytes.data(), bytes.size());
  return s;
}

ScanCategory Match(const std::vector<std::uint8_t>& sector) {
  ScanCategory category;
  bool matched = MatchFileSignature(ByteView(sector), category);
  EXPECT_EQ(matched, category != kNoCategory);
  return category;
}

ScanCategory Match(const std::string& header) { return Match(SectorWith(header)); }

TEST(FileSignatures, BlankAndFillerSectorsMatchNothing) {
  EXPECT_EQ(Match(std::vector<std::uint8_t>(512, 0)), kNoCategory);
  EXPECT_EQ(Match(std::vector<std::uint8_t>(512, 0x7F)), kNoCategory);
  // A real header with either of the first two words blank or 7F-filled.
  EXPECT_EQ(Match(std::string("\x89PNG\0\0\0\0", 8)), kNoCategory);
  EXPECT_EQ(Match(std::string("\0\0\0\0ftypisom", 12)), kNoCategory);
  EXPECT_EQ(Match(std::string("MZ\x90\0\x7F\x7F\x7F\x7F", 8)), kNoCategory);
  EXPECT_EQ(Match(std::string("\x7F\x7F\x7F\x7FWAVEfmt ", 12)), kNoCategory);
  // A view shorter than a sector.
  auto png = SectorWith("\x89PNG\r\n\x1A\n");
  ScanCategory category;
  EXPECT_FALSE(MatchFileSignature(ByteView(png).first(100), category));
}

TEST(FileSignatures, HeadersOfFormatsByTheirOwnSpecifications) {
  struct Case {
    std::string header;
    ScanCategory expected;
  } cases[] = {
      {"\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", kCategoryDoc},
      {std::string("\0\x01\0\0Standard Jet DB", 19), kCategoryMdb},
      {std::string("\0\x01\0\0Standard ACE DB", 19), kCategoryAccdb},
      {std::string("ITSF\x03\0\0\0", 8), kCategoryChm},
      {std::string("ITSF\x04\0\0\0", 8), kNoCategory},
      {"%PDF-1.7\n", kCategoryPdf},
      {"%PDF-2.0\n", kNoCategory},
      {std::string("\x3F\x5F\x03\0\x10\0\0\0", 8), kCategoryHlp},
      {std::string("LN\x02\0\x10\0\0\0", 8), kCategoryHlp},
      {"GIF87a\x01\x02", kCategoryGif},
      {"GIF89a\x01\x02", kCategoryGif},
      {"GIF88a\x01\x02", kNoCategory},
      {"\xFF\xD8\xFF\xE0\x00\x10JFIF", kCategoryJpg},
      {"\xFF\xD8\xFF\xDB\x00\x43\x00\x01", kCategoryJpg},
      {"\xFF\xD8\xFF\xC0\x00\x11\x08\x01", kNoCategory},
      {std::string("8BPS\0\x01\0\0\0\0\0\0", 12), kCategoryPsd},
      {std::string("8BPS\0\x02\0\0\0\0\0\0", 12), kNoCategory},  // PSB
      {std::string("\x12\x34II\x1A\0HEAPCCDR", 14), kCategoryRaw},
      {std::string("ID3\x03\0\0\0\x10", 8), kCategoryMp3},
      {std::string("ID3\x05\0\0\0\x10", 8), kNoCategory},
      {std::string("ID3\x04\0\0\x01\x10", 8), kNoCategory},  // a tag of 2 MiB or more
      {std::string("Rar!\x1A\x07\0\xCF", 8), kCategoryRar},
      {std::string("Rar!\x1A\x07\x01\0", 8), kNoCategory},  // RAR 5 starts with 01 00
      {"\x5F\x27\xA8\x89\x01\x02\x03\x04", kCategoryJar},
      {std::string("FLV\x01\x05\0\0\0\x09", 9), kCategoryFlv},
      {std::string("FLV\x01\x01\0\0\0\x09", 9), kNoCategory},  // video only
      {".ra\x3F\x01\x02\x03\x04", kCategoryRaw2},
      {std::string(".RMF\0\0\0\x12", 8), kCategoryRmvb},
      {std::string("\0\0\x01\0moov", 8), kCategoryMov},
      {std::string("\0\0\0\x20" "ftypmmp4", 12), kCategory3gp},
      {std::string("\0\0\0\x20" "ftyp3gp5", 12), kCategory3gp},
      {std::string("\0\0\0\x20" "ftypM4V ", 12), kCategoryM4v},
      {std::string("\0\0\0\x20" "ftypqt  ", 12), kCategoryMov},
      {std::string("\0\0\0\x20" "ftypheic", 12), kCategoryHeic},
      {std::string("\0\0\0\x20" "ftypavif", 12), kCategoryAvif},
      {std::string("\0\0\0\x18" "ftypcrx ", 12), kCategoryCr3},
      {std::string("\0\0\0\x20" "ftypabcd", 12), kNoCategory},
      {std::string("MZP\0\x02\0\x04\0", 8), kCategoryExe},
      {std::string("MZ\x90\x03\0\0", 6) + "xx", kNoCategory},
      {"AC1032\0\0", kCategoryDwg},
      {"\xD7\xCD\xC6\x9A\0\0\x01\x02", kCategoryWmf},
      {std::string("\x01\0\x09\0\0\x03\x10\0", 8), kCategoryWmf},
      {std::string("\xFF\xFE<\0h\0t\0", 8), kCategoryHtml},
      {"\xEF\xBB\xBF<html>", kCategoryHtml},
      {std::string("II*\0\x08\0\0\0", 8), kCategoryTif},
      {std::string("\x1F\x8B\x08\0\0\0\0\0\0\x03", 10), kCategoryGz},  // a stream's zero time
      {std::string("\x1F\x8B\x08\x20\0\0\0\0", 8), kNoCategory},     // a reserved flag
      {std::string("\xCA\xFE\xBA\xBE\0\0\0\x02", 8), kCategoryMacho},
      {std::string("\xCA\xFE\xBA\xBE\0\0\0\x34", 8), kNoCategory},  // a Java class, version 52
      {std::string("\x7F" "ELF\x02\x01\x01\0", 8), kCategoryElf},
      {std::string("\xFD" "7zXZ\0\0\x04", 8), kCategoryXz},
      {std::string("fLaC\0\0\0\x22", 8), kCategoryFlac},
      {std::string("fLaC\x04\0\0\x22", 8), kNoCategory},  // the first block must be STREAMINFO
      {std::string("MM\0*\0\0\0\x08", 8), kCategoryTif},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Match(c.header), c.expected) << "header of " << c.header.size() << " bytes: " << c.header;
  }
}

TEST(FileSignatures, ExeNeedsSmallBytesThreeAndFive) {
  // "MZ\x90\0\x03\0": the classic DOS stub, bytes 3 and 5 are 0.
  EXPECT_EQ(Match(std::string("MZ\x90\0\x03\0\0\0", 8)), kCategoryExe);
  EXPECT_EQ(Match(std::string("MZ\x90\x03\x03\0\0\0", 8)), kNoCategory);
  EXPECT_EQ(Match(std::string("MZ\x90\x02\x03\x03\0\0", 8)), kNoCategory);
}

TEST(FileSignatures, EarlierTestsWinOverLaterOnes) {
  // A zip whose first entry is [Content_Types].xml is an Office document.
  std::string local = std::string("PK\x03\x04\x14\0\x06\0", 8) + std::string(22, '\x01');
  auto docx = SectorWith(local);
  std::memcpy(docx.data() + 30, "[Content_Types].xml", 19);
  EXPECT_EQ(Match(docx), kCategoryDocx);
  auto zip = docx;
  std::memcpy(zip.data() + 30, "word/document.xml__", 19);
  EXPECT_EQ(Match(zip), kCategoryZip);
  EXPECT_EQ(Match(std::string("PK\x05\x06\0\0\0\0", 8)), kNoCategory) << "the second word is zero";
  EXPECT_EQ(Match(std::string("PK00PK\x03\x04", 8)), kCategoryZip);
  // WAVE at 8 is tested before "AVI " at 8, and ftyp brands before AVI.
  EXPECT_EQ(Match(std::string("RIFF\x10\0\0\0WAVEfmt ", 16)), kCategoryWav);
  EXPECT_EQ(Match(std::string("RIFF\x10\0\0\0AVI LIST", 16)), kCategoryAvi);
  EXPECT_EQ(Match(std::string("RIFF\x10\0\0\0AVI JUNK", 16)), kNoCategory);
  // An ftyp brand not listed falls through to the later tests.
  auto ftypAvi = SectorWith(std::string("\x01\0\0\0ftypAVI LIST", 16));
  EXPECT_EQ(Match(ftypAvi), kCategoryAvi);
  // A BMP header is checked beyond its magic.
  // 65 KiB: a smaller bitmap has a zero second word and counts as blank.
  auto bmp = SectorWith(std::string("BM\x36\x10\x01\0\0\0\0\0\x36\0\0\0\x28\0", 16));
  EXPECT_EQ(Match(bmp), kCategoryBmp);
  for (std::size_t at : {7u, 9u, 15u}) {
    auto b = bmp;
    b[at] = 1;
    EXPECT_EQ(Match(b), kNoCategory) << "byte " << at;
  }
  bmp[14] = 0x40;  // an OS/2 2.x header size
  EXPECT_EQ(Match(bmp), kNoCategory);
}

TEST(FileSignatures, MarkupAfterAtMostTenLineBreaks) {
  for (const char* opener : {"<html", "<HTML", "<!doctype html", "<!DOCTYPE html", "<!-- x -->", "<?xml v",
                             "<xs:schema"}) {
    EXPECT_EQ(Match(std::string(opener) + " lang"), kCategoryHtml) << opener;
  }
  EXPECT_EQ(Match("<Html lang"), kNoCategory) << "mixed case is not listed";
  EXPECT_EQ(Match("<body><p>"), kNoCategory);
  EXPECT_EQ(Match(std::string(10, '\n') + "<html>"), kCategoryHtml);
  EXPECT_EQ(Match("\r\n\r\n\r\n\r\n\r\n<html>"), kCategoryHtml);
  EXPECT_EQ(Match(std::string(11, '\n') + "<html>"), kNoCategory);
  EXPECT_EQ(Match("\n\n  <html>"), kNoCategory) << "blanks are not line breaks";
  EXPECT_EQ(Match(" <html>  "), kNoCategory) << "the first byte must be a line break or <";
}

TEST(CategoryNames, EveryCodeHasItsName) {
  const auto& names = CategoryNames();
  ASSERT_EQ(names.size(), 115u);
  EXPECT_EQ(CategoryName(kCategoryDoc), u"doc");
  EXPECT_EQ(CategoryName(kCategoryTxt), u"txt");
  EXPECT_EQ(CategoryName(kCategoryHtml), u"html");
  EXPECT_EQ(CategoryName(kCategoryRaw), u"raw");
  EXPECT_EQ(CategoryName(kCategoryRaw2), u"raw") << "two categories, one name";
  EXPECT_EQ(CategoryName(34), u"***");
  EXPECT_EQ(CategoryName(35), u"gif");
  EXPECT_EQ(CategoryName(39), u"rar");
  EXPECT_EQ(CategoryName(40), u"heic");
  EXPECT_EQ(CategoryName(kCategoryEmf), u"emf");
  EXPECT_EQ(CategoryName(75), u"***");
  EXPECT_EQ(CategoryName(99), u"***");
  EXPECT_EQ(CategoryName(kCategoryMbr), u"MBR");
  EXPECT_EQ(CategoryName(kCategoryFileRecord), u"FILE RECORD");
  EXPECT_EQ(CategoryName(kCategoryIndexRecord), u"DIR ENTRY");
  EXPECT_EQ(CategoryName(kCategoryFat32Info), u"FAT32 file sys info");
  EXPECT_EQ(CategoryName(kCategoryExfatDir), u"Exfat dir entry");
  EXPECT_TRUE(CategoryName(kNoCategory).empty());
  EXPECT_TRUE(CategoryName(-1).empty());
  int unnamed = 0;
  for (const auto& n : names) unnamed += n == u"***";
  EXPECT_EQ(unnamed, 1 + 25) << "34 and 75–99";
  for (std::int32_t place = 0; place < kFileCategoryCount; ++place) {
    EXPECT_EQ(FileCategoryPlace(FileCategoryAt(place)), place);
    EXPECT_TRUE(IsFileCategory(FileCategoryAt(place)));
  }
  EXPECT_FALSE(IsFileCategory(34));
  EXPECT_FALSE(IsFileCategory(39));
  EXPECT_FALSE(IsFileCategory(75));
}

}  // namespace
}  // namespace kestrum
