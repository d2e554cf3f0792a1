#include "repair/table_kind.h"

#include "base/catalog.h"
#include "base/text.h"
#include "disk/device.h"
#include "disk/gpt.h"
#include "disk/sector_size.h"
#include "repair/table_entries.h"

namespace kestrum::repair {

namespace {

constexpr std::uint64_t kMbrLimit = std::uint64_t{1} << 32;

}  // namespace

bool ReadDiskTableFacts(const VolumeDescriptor& device, DiskTableFacts& out) {
  out = DiskTableFacts{};
  if (IsDeviceSectorSize(device.sectorSize)) out.sectorSize = device.sectorSize;
  DeviceHandle disk;
  if (!OpenDevice(device.diskPath, disk)) return false;
  out.diskLbas = QueryDeviceBytes(disk.fd) / out.sectorSize;
  std::vector<std::uint8_t> sector0;
  GptTable table;
  out.hadGpt = (ReadLogicalSectors(disk, out.sectorSize, 0, 1, sector0) && HasProtectiveMbr(sector0)) ||
               ReadGpt(disk, out.sectorSize, out.diskLbas, table) != GptRead::kAbsent;
  CloseDevice(disk);
  return true;
}

bool ChooseTableKind(TableChoice asked, bool ask, const std::vector<FoundPartition>& selection,
                     const DiskTableFacts& facts, RepairPrompts& prompts, TableKind& out) {
  const FoundPartition* beyond = FirstBeyondMbr(selection, facts.sectorSize / kSectorSize);
  if (asked == TableChoice::kMbr && beyond != nullptr) {
    prompts.Inform(TrFormat("您选择的%02u分区超出了MBR分区表能记录的范围（2^32个扇区），无法用MBR分区表重建！",
                              beyond->index));
    return false;
  }
  if (asked != TableChoice::kAuto) {
    out = asked == TableChoice::kGpt ? TableKind::kGpt : TableKind::kMbr;
    return true;
  }
  const bool gptFirst = facts.hadGpt || facts.diskLbas >= kMbrLimit || beyond != nullptr;
  out = gptFirst ? TableKind::kGpt : TableKind::kMbr;
  if (!ask || beyond != nullptr) return true;
  const std::u16string why = facts.hadGpt ? Tr(u"（磁盘原来使用 GPT 分区表）")
                             : facts.diskLbas >= kMbrLimit ? Tr(u"（磁盘超过 2^32 个扇区，建议 GPT）")
                                                          : Tr(u"（磁盘原来没有 GPT 分区表）");
  int choice = prompts.Choose(Tr(u"这个磁盘可以写入 GPT 分区表，也可以写入 MBR 分区表") + why + Tr(u"。要写入哪一种？"),
                              {u"GPT", u"MBR"}, gptFirst ? 0 : 1);
  if (choice < 0) return false;
  out = choice == 0 ? TableKind::kGpt : TableKind::kMbr;
  return true;
}

}  // namespace kestrum::repair
