#pragma once
// What the deep scan can say about a sector: the start of a file of a known
// type (codes 0–33, and 40–74 for the formats added after them), a
// file-system structure (100–114), or nothing (115). The name of a file
// category is also the extension and the folder name of the files found
// with it.

#include <array>
#include <cstdint>
#include <string>

namespace kestrum {

enum ScanCategory : std::int32_t {
  kCategoryDoc = 0,
  kCategoryDocx = 1,
  kCategoryMdb = 2,
  kCategoryAccdb = 3,
  kCategoryChm = 4,
  kCategoryPdf = 5,
  kCategoryHlp = 6,
  kCategoryPng = 7,
  kCategoryGif = 8,
  kCategoryJpg = 9,
  kCategoryPsd = 10,
  kCategoryBmp = 11,
  kCategoryRaw = 12,
  kCategoryTif = 13,
  kCategoryWav = 14,
  kCategoryMp3 = 15,
  kCategory7z = 16,
  kCategoryZip = 17,
  kCategoryRar = 18,
  kCategoryJar = 19,
  kCategoryFlv = 20,
  kCategoryRaw2 = 21,  // a second "raw" format, listed in a folder of its own
  kCategoryRmvb = 22,
  kCategoryMov = 23,
  kCategory3gp = 24,
  kCategoryM4a = 25,
  kCategoryM4v = 26,
  kCategoryMp4 = 27,
  kCategoryAvi = 28,
  kCategoryExe = 29,
  kCategoryDwg = 30,
  kCategoryWmf = 31,
  kCategoryTxt = 32,  // named only: no test produces it
  kCategoryHtml = 33,

  // Formats added after the first table; 35–39 stay names only.
  kCategoryHeic = 40,  // HEIF stills: HEIC, and images whose brand is only mif1/msf1
  kCategoryAvif = 41,
  kCategoryCr3 = 42,
  kCategoryWebp = 43,
  kCategoryMkv = 44,
  kCategoryWebm = 45,
  kCategoryTs = 46,
  kCategoryM2ts = 47,  // camcorder and Blu-ray transport streams, 192-byte packets
  kCategoryFlac = 48,
  kCategoryOgg = 49,
  kCategoryOpus = 50,
  kCategoryWma = 51,
  kCategoryWmv = 52,
  kCategorySqlite = 53,
  kCategoryGz = 54,
  kCategoryBz2 = 55,
  kCategoryXz = 56,
  kCategoryZst = 57,
  kCategoryTar = 58,
  kCategoryIso = 59,
  kCategoryEpub = 60,
  kCategoryOdt = 61,
  kCategoryOds = 62,
  kCategoryOdp = 63,
  kCategoryApk = 64,
  kCategoryElf = 65,
  kCategoryMacho = 66,
  kCategoryCr2 = 67,
  kCategoryNef = 68,
  kCategoryArw = 69,
  kCategoryDng = 70,
  kCategoryOrf = 71,
  kCategoryRw2 = 72,
  kCategoryPef = 73,
  kCategoryEmf = 74,

  kCategoryMbr = 100,
  kCategoryEbr = 101,
  kCategoryNtfsBoot = 102,
  kCategoryFileRecord = 103,
  kCategoryIndexRecord = 104,
  kCategoryFat16Boot = 105,
  kCategoryFat16Table = 106,  // named only
  kCategoryFat32Boot = 107,
  kCategoryFat32Table = 108,  // named only
  kCategoryFat32Info = 109,   // named only
  kCategoryFatDir = 110,
  kCategoryFatRootDir = 111,
  kCategoryExfatBoot = 112,
  kCategoryExfatRootDir = 113,
  kCategoryExfatDir = 114,

  kNoCategory = 115,
};

// Files found by content: the first table's codes below kFirstTableEnd, and
// the added ones from kFirstAddedCategory up to kAddedCategoryEnd.
constexpr std::int32_t kFirstTableEnd = 34;
constexpr std::int32_t kFirstAddedCategory = 40;
constexpr std::int32_t kAddedCategoryEnd = 75;
// One folder of the search-file volume per file category.
constexpr std::int32_t kFileCategoryCount = kFirstTableEnd + (kAddedCategoryEnd - kFirstAddedCategory);
constexpr std::size_t kCategoryNameCount = 115;

inline bool IsFileCategory(std::int32_t category) {
  return (category >= 0 && category < kFirstTableEnd) ||
         (category >= kFirstAddedCategory && category < kAddedCategoryEnd);
}

// The place of a file category among the folders of the search-file volume
// (the first table's in code order, then the added ones), and back.
inline std::int32_t FileCategoryPlace(std::int32_t category) {
  return category < kFirstTableEnd ? category : kFirstTableEnd + (category - kFirstAddedCategory);
}
inline ScanCategory FileCategoryAt(std::int32_t place) {
  return static_cast<ScanCategory>(place < kFirstTableEnd ? place : kFirstAddedCategory + (place - kFirstTableEnd));
}

// The name table, built on first use: "***" for every code without a name.
const std::array<std::u16string, kCategoryNameCount>& CategoryNames();

// The name of a code from 0 to 114; empty for any other code.
const std::u16string& CategoryName(std::int32_t category);

}  // namespace kestrum
