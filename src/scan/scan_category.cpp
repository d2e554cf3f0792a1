#include "scan/scan_category.h"

namespace kestrum {

namespace {

std::array<std::u16string, kCategoryNameCount> BuildNames() {
  std::array<std::u16string, kCategoryNameCount> names;
  names.fill(u"***");
  const char16_t* files[kFileCategoryCount] = {
      u"doc",  u"docx", u"mdb",  u"accdb", u"chm", u"pdf",  u"hlp",  u"png", u"gif",    u"jpg", u"psd", u"bmp",
      u"raw",  u"tif",  u"wav",  u"mp3",   u"7z",  u"zip",  u"rar",  u"jar", u"flv",    u"raw", u"rmvb", u"mov",
      u"3gp",  u"m4a",  u"m4v",  u"mp4",   u"avi", u"exe",  u"dwg",  u"wmf", u"txt",    u"html",
      // From kFirstAddedCategory on.
      u"heic", u"avif", u"cr3",  u"webp",  u"mkv", u"webm", u"ts",   u"m2ts", u"flac",  u"ogg", u"opus", u"wma",
      u"wmv",  u"sqlite", u"gz", u"bz2",   u"xz",  u"zst",  u"tar",  u"iso", u"epub",   u"odt", u"ods", u"odp",
      u"apk",  u"elf",  u"macho", u"cr2",  u"nef", u"arw",  u"dng",  u"orf", u"rw2",    u"pef", u"emf"};
  for (std::int32_t i = 0; i < kFileCategoryCount; ++i) names[static_cast<std::size_t>(FileCategoryAt(i))] = files[i];
  // Second copies of a few names, kept for the numbering of later codes.
  const char16_t* spare[] = {u"gif", u"jpg", u"pdf", u"png", u"rar"};
  for (std::size_t i = 0; i < 5; ++i) names[35 + i] = spare[i];
  names[kCategoryMbr] = u"MBR";
  names[kCategoryEbr] = u"EBR";
  names[kCategoryNtfsBoot] = u"NTFS DBR";
  names[kCategoryFileRecord] = u"FILE RECORD";
  names[kCategoryIndexRecord] = u"DIR ENTRY";
  names[kCategoryFat16Boot] = u"FAT16 DBR";
  names[kCategoryFat16Table] = u"FAT16 fat table";
  names[kCategoryFat32Boot] = u"FAT32 DBR";
  names[kCategoryFat32Table] = u"FAT32 FAT Table";
  names[kCategoryFat32Info] = u"FAT32 file sys info";
  names[kCategoryFatDir] = u"FAT Dir entry";
  names[kCategoryFatRootDir] = u"FAT Root Dir entry";
  names[kCategoryExfatBoot] = u"EXFAT DBR";
  names[kCategoryExfatRootDir] = u"Exfat root dir entry";
  names[kCategoryExfatDir] = u"Exfat dir entry";
  return names;
}

}  // namespace

const std::array<std::u16string, kCategoryNameCount>& CategoryNames() {
  static const std::array<std::u16string, kCategoryNameCount> names = BuildNames();
  return names;
}

const std::u16string& CategoryName(std::int32_t category) {
  static const std::u16string none;
  if (category < 0 || static_cast<std::size_t>(category) >= kCategoryNameCount) return none;
  return CategoryNames()[static_cast<std::size_t>(category)];
}

}  // namespace kestrum
