#pragma once
// Which found partitions become rows of the repair page, and the texts of
// their eight columns.

#include <array>
#include <string>
#include <vector>

#include "repair/found_partition.h"

namespace kestrum::repair {

constexpr std::size_t kCandidateColumns = 8;
using CandidateRow = std::array<std::u16string, kCandidateColumns>;

// Column captions: 索引, 分区格式, 起始地址, 结束地址, 分区容量, 文件数据,
// 起始地址(GB), 分区容量(GB).
CandidateRow CandidateCaptions();

// Boot sectors are rows; tables (kept only as known table places) and backup
// boot sectors are not.
bool IsCandidate(const FoundPartition& record);

// The rows' records in list order, each with its row number as index.
std::vector<FoundPartition> MakeCandidates(const FoundPartitionList& all);

// "FAT16", "FAT32", "NTFS", "EXFAT", or empty.
std::u16string KindName(ScanCategory kind);
// Whole mebibytes shown as gibibytes with two decimals: 2048 sectors is 0.00.
std::u16string SectorsAsGb(Sector64 sectors);
CandidateRow FormatCandidateRow(const FoundPartition& candidate);

}  // namespace kestrum::repair
