#include "repair/selection_checks.h"

#include "base/catalog.h"
#include "base/text.h"

namespace kestrum::repair {

namespace {

constexpr std::uint32_t kFreeSpaceQuestionMib = 500;
constexpr std::size_t kMbrEntries = 4;

bool AskDamaged(const FoundPartition& p, RepairPrompts& prompts) {
  if (p.dataState != kDataDamaged) return true;
  return prompts.AskYesNo(
      TrFormat("您选择的%02u分区的数据已经损坏，确定执行分区重建操作吗？", p.index));
}

// Overlap of p with its successor n: shortened on Yes, so that p ends
// kOverlapMargin sectors before n begins.
bool ResolveOverlap(FoundPartition& p, const FoundPartition& n, RepairPrompts& prompts) {
  if (p.endSector < n.startSector) return true;
  if (n.startSector < p.startSector + kOverlapMargin + 1) {
    prompts.Inform(TrFormat("您选择的%02u分区和%02u分区重叠，%02u分区缩小后没有剩余空间，无法重建分区表！",
                              p.index, n.index, p.index));
    return false;
  }
  if (!prompts.AskYesNo(
          TrFormat("您选择的%02u分区和%02u分区重叠，是否修改分区容量？", p.index, n.index))) {
    return false;
  }
  p.sectorCount = n.startSector - kOverlapMargin - p.startSector;
  p.endSector = n.startSector - kOverlapMargin - 1;
  return true;
}

bool AskFreeSpace(const FoundPartition& p, const FoundPartition& n, RepairPrompts& prompts) {
  const Sector64 d = n.startSector - p.endSector;
  if (d / 2048 <= kFreeSpaceQuestionMib) return true;
  return prompts.AskYesNo(TrFormat("您选择的%02u分区和%02u分区之间有%.2fGB空闲空间，确定执行分区重建操作吗？",
                                     p.index, n.index, static_cast<double>(d / 2048) * (1.0 / 1024)));
}

}  // namespace

bool ConfirmSelection(std::vector<FoundPartition>& selection, RepairPrompts& prompts) {
  if (selection.empty()) return false;
  if (selection.front().startSector == 0) {
    // Its boot sector is where the MBR would be written.
    prompts.Inform(TrFormat("您选择的%02u分区从0扇区开始，不能在它前面建立分区表！", selection.front().index));
    return false;
  }
  for (std::size_t i = 0; i + 1 < selection.size(); ++i) {
    FoundPartition& p = selection[i];
    const FoundPartition& n = selection[i + 1];
    if (!ResolveOverlap(p, n, prompts) || !AskFreeSpace(p, n, prompts) || !AskDamaged(p, prompts)) {
      return false;
    }
  }
  return AskDamaged(selection.back(), prompts);
}

bool FindTableSector(std::uint64_t a, const FoundPartitionList& allFound, std::uint64_t b,
                     Sector64& out, std::uint32_t units) {
  if (b > a) return false;
  for (const FoundPartition& record : allFound) {
    if (record.kind == kCategoryEbr && record.startSector >= b && record.startSector <= a &&
        record.startSector % units == 0) {
      out = record.startSector;
      return true;
    }
  }
  // The disk's whole sectors within [b, a].
  const std::uint64_t last = (a + 1) / units;  // one past the last
  const std::uint64_t first = (b + units - 1) / units;
  if (first >= last) return false;
  const std::uint64_t at = last - 1;
  std::uint64_t back = kEbrOffset - 1;
  out = (at >= back && at - back >= first ? at - back : at) * units;
  return true;
}

bool PlaceTables(const FoundPartitionList& allFound, std::vector<FoundPartition>& selection,
                 RepairPrompts& prompts, std::uint32_t units) {
  for (FoundPartition& record : selection) record.tableSector = 0;
  for (std::size_t k = selection.size(); k-- > 1;) {
    // A partition at sector 0 has no room before it.
    std::uint64_t a = selection[k].startSector - 1;
    std::uint64_t b = selection[k - 1].endSector + 1;
    if (selection[k].startSector == 0 || !FindTableSector(a, allFound, b, selection[k].tableSector, units)) {
      selection[k].tableSector = 0;
      break;
    }
  }
  if (selection.size() > kMbrEntries && selection[kMbrEntries - 1].tableSector == 0) {
    prompts.Inform(Tr(u"没有足够的扇区建立扩展分区！"));
    return false;
  }
  return true;
}

}  // namespace kestrum::repair
