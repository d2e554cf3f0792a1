#include "repair/candidates.h"

#include "base/catalog.h"
#include "base/text.h"

namespace kestrum::repair {

CandidateRow CandidateCaptions() {
  return {Tr(u"索引"),     Tr(u"分区格式"), Tr(u"起始地址"),     Tr(u"结束地址"),
          Tr(u"分区容量"), Tr(u"文件数据"), Tr(u"起始地址(GB)"), Tr(u"分区容量(GB)")};
}

bool IsCandidate(const FoundPartition& record) {
  return record.kind != kCategoryMbr && record.kind != kCategoryEbr && record.dataState != kDataBackup;
}

std::vector<FoundPartition> MakeCandidates(const FoundPartitionList& all) {
  std::vector<FoundPartition> rows;
  for (const FoundPartition& record : all) {
    if (!IsCandidate(record)) continue;
    rows.push_back(record);
    rows.back().index = static_cast<std::uint32_t>(rows.size() - 1);
  }
  return rows;
}

std::u16string KindName(ScanCategory kind) {
  switch (kind) {
    case kCategoryFat16Boot: return u"FAT16";
    case kCategoryFat32Boot: return u"FAT32";
    case kCategoryNtfsBoot: return u"NTFS";
    case kCategoryExfatBoot: return u"EXFAT";
    default: return u"";
  }
}

std::u16string SectorsAsGb(Sector64 sectors) {
  return FormatText("%.2f", static_cast<double>(sectors / 2048) * (1.0 / 1024));
}

CandidateRow FormatCandidateRow(const FoundPartition& c) {
  return {FormatText("%02u", c.index),
          KindName(c.kind),
          DecimalText(c.startSector),
          DecimalText(c.endSector),
          DecimalText(c.sectorCount),
          c.dataState != kDataDamaged ? Tr(u"正确") : Tr(u"错误"),
          SectorsAsGb(c.startSector),
          SectorsAsGb(c.sectorCount)};
}

}  // namespace kestrum::repair
