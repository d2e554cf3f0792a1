#include "repair/gpt_rebuild.h"

#include <algorithm>

#include "base/catalog.h"
#include "base/text.h"
#include "repair/history_layout.h"

namespace kestrum::repair {

Guid GptTypeFor(ScanCategory) {
  Guid basic{};
  ParseGuid(gpt::kBasicDataType, basic);
  return basic;
}

bool BuildGptForSelection(const std::vector<FoundPartition>& selection, const DiskTableFacts& facts,
                          std::vector<GptPiece>& out, RepairPrompts& prompts) {
  out.clear();
  const std::uint64_t units = facts.sectorSize / kSectorSize;
  GptBuildRequest request{facts.diskLbas, facts.sectorSize, {}, {}, {}};
  // A GUID that cannot be made stays zero, and the builder refuses it.
  NewRandomGuid(request.diskGuid);
  for (const FoundPartition& p : selection) {
    if (p.startSector % units != 0) {
      prompts.Inform(TrFormat("您选择的%02u分区的起始扇区%llu不在磁盘扇区（%u字节）的边界上，无法写入分区表！", p.index,
                                static_cast<unsigned long long>(p.startSector), facts.sectorSize));
      return false;
    }
    GptNewPartition entry;
    entry.firstLba = p.startSector / units;
    entry.lastLba = (std::uint64_t{p.endSector} + units) / units - 1;  // a partly used last sector counts
    entry.type = GptTypeFor(p.kind);
    NewRandomGuid(entry.unique);
    request.partitions.push_back(entry);
  }
  std::size_t bad = 0;
  GptPlan plan;
  switch (BuildGpt(request, out, &bad)) {
    case GptBuildFault::kNone: return true;
    case GptBuildFault::kPlan: prompts.Inform(Tr(u"磁盘太小，放不下 GPT 分区表！")); return false;
    case GptBuildFault::kOutsideUsable:
      PlanGpt(facts.diskLbas, facts.sectorSize, selection.size(), plan);
      prompts.Inform(TrFormat("您选择的%02u分区超出了 GPT 分区表留给分区的区域（扇区%llu到%llu），无法写入 GPT 分区表！",
                                selection[bad].index, static_cast<unsigned long long>(plan.firstUsableLba * units),
                                static_cast<unsigned long long>((plan.lastUsableLba + 1) * units - 1)));
      return false;
    case GptBuildFault::kReversed:
    case GptBuildFault::kOverlap:
      prompts.Inform(TrFormat("您选择的%02u分区和前一个分区重叠，无法写入分区表！", selection[bad].index));
      return false;
    case GptBuildFault::kNoGuid: break;
  }
  prompts.Inform(Tr(u"无法生成 GPT 分区表的 GUID，分区表没有任何改动。"));
  return false;
}

std::vector<SavedSector> PiecesAsSaved(const std::vector<GptPiece>& pieces, std::uint32_t sectorSize) {
  std::vector<SavedSector> saved;
  const std::uint64_t units = sectorSize / kSectorSize;
  for (const GptPiece& piece : pieces) {
    const Sector64 sector = piece.lba * units;
    SavedSector* last = saved.empty() ? nullptr : &saved.back();
    // Neighbours go together (the start and the end of the disk), as far as
    // the history takes a piece.
    if (last != nullptr && last->sector + last->data.size() / kSectorSize == sector &&
        last->data.size() + piece.bytes.size() <= history_file::kMaxPieceBytes) {
      last->data.insert(last->data.end(), piece.bytes.begin(), piece.bytes.end());
      continue;
    }
    for (std::size_t at = 0; at < piece.bytes.size(); at += history_file::kMaxPieceBytes) {
      const std::size_t size = std::min(history_file::kMaxPieceBytes, piece.bytes.size() - at);
      saved.push_back({sector + at / kSectorSize,
                       std::vector<std::uint8_t>(piece.bytes.begin() + static_cast<std::ptrdiff_t>(at),
                                                 piece.bytes.begin() + static_cast<std::ptrdiff_t>(at + size))});
    }
  }
  return saved;
}

}  // namespace kestrum::repair
